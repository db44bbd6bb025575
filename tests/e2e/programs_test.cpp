// The three programs as a terminal sees them, with no display at all: what
// --help and --version print, how a command line they cannot take is named,
// and every exit status. None of these runs reaches the network.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

namespace {

const QString Wizard = QStringLiteral(SENTROVA_WIZARD);
const QString Cli = QStringLiteral(SENTROVA_CLI);
const QString Camd = QStringLiteral(SENTROVA_CAMD);

struct ProgramRun {
  bool finished = false;
  bool crashed = false;  // ended by a signal (an abort among them)
  int status = -1;
  QString out;
  QString err;
};

// The environment of a machine with no display: neither X nor Wayland, no
// platform chosen; `extra` adds to it.
ProgramRun Start(const QString& program, const QStringList& arguments, const QStringList& extra = {}) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
    environment.remove(QString::fromLatin1(name));
  for (const QString& assignment : extra) {
    environment.insert(assignment.section(u'=', 0, 0), assignment.section(u'=', 1));
  }
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(program, arguments);
  ProgramRun run;
  run.finished = process.waitForFinished(20000);
  if (!run.finished) process.kill();
  run.crashed = process.exitStatus() == QProcess::CrashExit;
  run.status = process.exitCode();
  run.out = QString::fromUtf8(process.readAllStandardOutput());
  run.err = QString::fromUtf8(process.readAllStandardError());
  return run;
}

enum class Out { Empty, Exactly, Contains };

struct Case {
  const char* what;
  QString program;
  QStringList arguments;
  int status;
  Out outRule;
  QString out;
  QString err;  // stderr holds this (exactly when errExact); empty: stderr is empty
  bool errExact = true;
  QStringList environment = {};
};

TEST(Programs, HelpVersionAndWrongCommandLinesWithoutADisplay) {
  const QString help = QStringLiteral("--help");
  const Case cases[] = {
      // --help and --version: stdout, status 0, no display needed.
      {"wizard help", Wizard, {help}, 0, Out::Contains, u"--interface <NAME>"_qs, {}},
      {"wizard help, short", Wizard, {u"-h"_qs}, 0, Out::Contains, u"--discovery-port <N>"_qs, {}},
      {"wizard version", Wizard, {u"--version"_qs}, 0, Out::Exactly, u"sentrova 2.61.0\n"_qs, {}},
      {"wizard help with Qt's options", Wizard, {u"--help-all"_qs}, 0, Out::Contains, u"-platform <VALUE>"_qs, {}},
      {"cli help", Cli, {help}, 0, Out::Contains, u"--json"_qs, {}},
      {"cli help with Qt's options", Cli, {u"--help-all"_qs}, 0, Out::Contains, u"--json"_qs, {}},
      {"cli version", Cli, {u"--version"_qs}, 0, Out::Exactly, u"sentrova-cli 2.61.0\n"_qs, {}},
      {"simulator help", Camd, {help}, 0, Out::Contains, u"--fleet <FILE>"_qs, {}},
      {"simulator version", Camd, {u"-v"_qs}, 0, Out::Exactly, u"sentrova-camd 2.61.0\n"_qs, {}},
      // What none of them knows is named, with the way to help: status 2.
      {"wizard unknown option",
       Wizard,
       {u"--bogus"_qs},
       2,
       Out::Empty,
       {},
       u"sentrova: unknown option '--bogus'; try --help\n"_qs},
      {"wizard unknown short option",
       Wizard,
       {u"-x"_qs},
       2,
       Out::Empty,
       {},
       u"sentrova: unknown option '-x'; try --help\n"_qs},
      {"wizard missing value",
       Wizard,
       {u"--interface"_qs},
       2,
       Out::Empty,
       {},
       u"sentrova: missing value after '--interface'; try --help\n"_qs},
      {"wizard stray argument",
       Wizard,
       {u"lo"_qs},
       2,
       Out::Empty,
       {},
       u"sentrova: unexpected argument 'lo'; try --help\n"_qs},
      {"cli unknown command",
       Cli,
       {u"serch"_qs},
       2,
       Out::Empty,
       {},
       u"sentrova-cli: unknown command 'serch'; try --help\n"_qs},
      {"cli no command", Cli, {}, 2, Out::Empty, {}, u"sentrova-cli: no command given; try --help\n"_qs},
      {"cli unknown option",
       Cli,
       {u"search"_qs, u"--bogus"_qs},
       2,
       Out::Empty,
       {},
       u"sentrova-cli: unknown option '--bogus'; try --help\n"_qs},
      {"cli stray argument",
       Cli,
       {u"search"_qs, u"lo"_qs},
       2,
       Out::Empty,
       {},
       u"sentrova-cli: unexpected argument 'lo'; try --help\n"_qs},
      {"cli command with an escape sequence",
       Cli,
       {u"\x1b[2J"_qs},
       2,
       Out::Empty,
       {},
       u"sentrova-cli: unknown command '\\x1b[2J'; try --help\n"_qs},
      {"simulator unknown option",
       Camd,
       {u"--bogus"_qs},
       2,
       Out::Empty,
       {},
       u"sentrova-camd: unknown option '--bogus'; try --help\n"_qs},
      {"simulator stray argument",
       Camd,
       {u"fleet.json"_qs},
       2,
       Out::Empty,
       {},
       u"sentrova-camd: unexpected argument 'fleet.json'; try --help\n"_qs},
      // A bad value of a known option keeps its message; status 2 as well.
      {"wizard bad port",
       Wizard,
       {u"--discovery-port"_qs, u"http"_qs},
       2,
       Out::Empty,
       {},
       u"sentrova: --discovery-port wants 1 to 65535\n"_qs,
       false},
      {"wizard unknown interface",
       Wizard,
       {u"--interface"_qs, u"no-such-if0"_qs},
       2,
       Out::Empty,
       {},
       u"sentrova: unknown interface \"no-such-if0\"\n"_qs,
       false},
      {"cli unknown interface",
       Cli,
       {u"search"_qs, u"--interface"_qs, u"no-such-if0"_qs},
       2,
       Out::Empty,
       {},
       u"sentrova-cli: unknown interface \"no-such-if0\"\n"_qs},
      {"cli bad port",
       Cli,
       {u"search"_qs, u"--port"_qs, u"0"_qs},
       2,
       Out::Empty,
       {},
       u"sentrova-cli: --port wants 1 to 65535\n"_qs},
      {"cli bad ONVIF port",
       Cli,
       {u"search"_qs, u"--onvif-port"_qs, u"-1"_qs},
       2,
       Out::Empty,
       {},
       u"sentrova-cli: --onvif-port wants 0 to 65535\n"_qs},
      {"simulator bad count",
       Camd,
       {u"--count"_qs, u"many"_qs},
       2,
       Out::Empty,
       {},
       u"sentrova-camd: --count must be a number\n"_qs},
      {"simulator bad port",
       Camd,
       {u"--count"_qs, u"1"_qs, u"--discovery-port"_qs, u"0"_qs},
       2,
       Out::Empty,
       {},
       u"sentrova-camd: --discovery-port must be 1-65535\n"_qs},
      // The wizard itself without a display: said on stderr, status 1, never an abort.
      {"wizard without DISPLAY",
       Wizard,
       {},
       1,
       Out::Empty,
       {},
       u"sentrova: no display: DISPLAY is not set; run sentrova in a desktop session, or choose a platform with "
       "QT_QPA_PLATFORM\n"_qs,
       false},
      {"wizard with a display that does not answer",
       Wizard,
       {},
       1,
       Out::Empty,
       {},
       u"sentrova: cannot open the display \":7391\" (DISPLAY)"_qs,
       false,
       {u"DISPLAY=:7391"_qs}},
      {"wizard on a platform that does not exist",
       Wizard,
       {u"-platform"_qs, u"nosuchplatform"_qs},
       1,
       Out::Empty,
       {},
       u"sentrova: cannot open a display on the platform \"nosuchplatform\""_qs,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ProgramRun run = Start(c.program, c.arguments, c.environment);
    ASSERT_TRUE(run.finished);
    EXPECT_FALSE(run.crashed) << run.err.toStdString();
    EXPECT_EQ(run.status, c.status) << run.err.toStdString();
    switch (c.outRule) {
      case Out::Empty:
        EXPECT_EQ(run.out, QString());
        break;
      case Out::Exactly:
        EXPECT_EQ(run.out, c.out);
        break;
      case Out::Contains:
        EXPECT_TRUE(run.out.contains(c.out)) << run.out.toStdString();
        break;
    }
    if (c.errExact) {
      EXPECT_EQ(run.err, c.err);
    } else {
      EXPECT_TRUE(run.err.contains(c.err)) << run.err.toStdString();
    }
  }
}

// Qt's own options still reach QApplication: -platform offscreen opens, and
// the start-up error after it stays on stderr (nobody sees a box there).
TEST(Programs, QtOptionsAreTakenAndAStartupErrorAfterThemIsOnStderr) {
  const ProgramRun run = Start(Wizard, {u"-platform"_qs, u"offscreen"_qs, u"--interface"_qs, u"no-such-if0"_qs});
  ASSERT_TRUE(run.finished);
  EXPECT_FALSE(run.crashed);
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(run.err.startsWith(u"sentrova: unknown interface \"no-such-if0\"\n"_qs)) << run.err.toStdString();
  EXPECT_FALSE(run.err.contains(u"display"_qs)) << "the display opened";
}

}  // namespace
