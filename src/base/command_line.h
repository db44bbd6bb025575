#pragma once
// What the three programs (the wizard, the simulator, the terminal search)
// share about their command lines: the version they print, how they name a
// command line they cannot take, and the status they then exit with.
#include <string>
#include <string_view>

namespace base {

// The exit status of a program whose command line is wrong: an unknown
// command or option, a missing or malformed value, an interface named that
// cannot be used. 0 is success; a program that cannot run for another reason
// exits with a status of its own.
inline constexpr int ExitUsage = 2;

// The project's version, as every program's --version prints it ("2.61.0").
std::string Version();

// The line a program prints on stderr for a command line it does not know:
// "<program>: <problem>; try --help".
std::string UsageError(std::string_view program, std::string_view problem);

// The problem a command-line parser found, in the programs' own words: the
// first unknown option named as it is typed ("unknown option '--bogus'",
// "unknown option '-x'"), or else the parser's own message with a lower-case
// start and without its final full stop ("missing value after '--port'").
std::string ParserProblem(std::string_view parserMessage, std::string_view firstUnknownOption);

}  // namespace base
