#include "base/command_line.h"

namespace base {

std::string Version() {
  return std::to_string(SENTROVA_VERSION_MAJOR) + "." + std::to_string(SENTROVA_VERSION_MINOR) + "." +
         std::to_string(SENTROVA_VERSION_PATCH);
}

std::string UsageError(std::string_view program, std::string_view problem) {
  std::string line(program);
  line += ": ";
  line += problem;
  line += "; try --help";
  return line;
}

std::string ParserProblem(std::string_view parserMessage, std::string_view firstUnknownOption) {
  if (!firstUnknownOption.empty()) {
    return "unknown option '" + std::string(firstUnknownOption.size() == 1 ? "-" : "--") +
           std::string(firstUnknownOption) + "'";
  }
  std::string problem(parserMessage);
  while (!problem.empty() && (problem.back() == '.' || problem.back() == '\n')) problem.pop_back();
  if (!problem.empty() && problem.front() >= 'A' && problem.front() <= 'Z') {
    problem.front() = static_cast<char>(problem.front() - 'A' + 'a');
  }
  return problem;
}

}  // namespace base
