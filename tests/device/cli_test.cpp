// sentrova-cli search against the simulator: its JSON, its table and its exit
// status.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "injector.h"
#include "simulator.h"

namespace {

const QString OddCaption = QStringLiteral("Hall\x1b[2J\nrm -rf ~ \\ end");

struct CliRun {
  int status = -1;
  QString out;
  QString err;
};

// Waits in the event loop, so that an injector in this process can answer.
CliRun RunCli(const QStringList& arguments) {
  QProcess cli;
  cli.start(QString::fromUtf8(SENTROVA_CLI), arguments);
  CliRun run;
  if (!WaitUntil([&] { return cli.state() == QProcess::NotRunning; }, 20000)) return run;
  run.status = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
  run.out = QString::fromUtf8(cli.readAllStandardOutput());
  run.err = QString::fromUtf8(cli.readAllStandardError());
  return run;
}


// A camera whose caption no simulated camera may have.
void AnswerWithOddCaption(Injector& in, const QString& nonce) {
  QJsonObject answer = in.Answer(nonce, 7);
  answer.insert(u"caption"_qs, OddCaption);
  answer.insert(u"version"_qs, u"2.10.001"_qs);
  in.SendFrom(7, Injector::Bytes(answer));
}

TEST(Cli, JsonHasExactlyTheListedKeysForEveryCamera) {
  Simulator sim(std::vector<SimCamera>{
      {.host = 200, .family = 0, .mode = u"C-100"_qs, .caption = u"Yard"_qs, .version = u"1.2"_qs}});
  ASSERT_TRUE(sim.Start());
  Injector injector(sim, AnswerWithOddCaption);
  const CliRun run = RunCli({u"search"_qs, u"--interface"_qs, u"lo"_qs, u"--json"_qs, u"--port"_qs,
                             QString::number(sim.port())});
  ASSERT_EQ(run.status, 0) << run.err.toStdString();
  const QJsonArray cameras = QJsonDocument::fromJson(run.out.toUtf8()).array();
  ASSERT_EQ(cameras.size(), 2) << run.out.toStdString();
  const QStringList keys{u"address"_qs, u"assigned"_qs, u"caption"_qs, u"gateway"_qs,
                         u"mac"_qs,     u"mask"_qs,     u"mode"_qs,    u"version"_qs};
  for (const QJsonValue& camera : cameras) EXPECT_EQ(camera.toObject().keys(), keys);
  const QJsonObject first = cameras[0].toObject();
  const QStringList macParts = sim.Mac(7).split(u'.');
  QStringList hex;
  for (const QString& part : macParts) hex << QStringLiteral("%1").arg(part.toInt(), 2, 16, QLatin1Char('0')).toUpper();
  EXPECT_EQ(first.value(u"mac").toString(), hex.join(u' ')) << "as the list shows it";
  EXPECT_EQ(first.value(u"address").toString(), sim.Address(7));
  EXPECT_EQ(first.value(u"mask").toString(), u"255.255.255.0");
  EXPECT_EQ(first.value(u"gateway").toString(), sim.Address(1));
  EXPECT_EQ(first.value(u"assigned").toString(), u"ok");
  EXPECT_EQ(first.value(u"mode").toString(), u"X-350");
  EXPECT_EQ(first.value(u"caption").toString(), OddCaption) << "JSON carries the text exactly";
  EXPECT_EQ(first.value(u"version").toString(), u"2.10.001");
  EXPECT_EQ(cameras[1].toObject().value(u"address").toString(), sim.Address(200));
}

TEST(Cli, TableEscapesControlCharacters) {
  Simulator sim(std::vector<SimCamera>{{.host = 8}});
  ASSERT_TRUE(sim.Start());
  Injector injector(sim, AnswerWithOddCaption);
  const CliRun run = RunCli({u"search"_qs, u"--interface"_qs, u"lo"_qs, u"--port"_qs, QString::number(sim.port())});
  ASSERT_EQ(run.status, 0) << run.err.toStdString();
  const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3) << "a header and two rows: " << run.out.toStdString();
  EXPECT_TRUE(lines[0].startsWith(u"MAC"));
  EXPECT_TRUE(lines[1].contains(u"Hall\\x1b[2J\\nrm -rf ~ \\\\ end"_qs)) << lines[1].toStdString();
  EXPECT_FALSE(run.out.contains(QChar(0x1b)));
  EXPECT_TRUE(lines[1].contains(sim.Address(7)));
}

TEST(Cli, UnusableInterfaceOrBadOptionsFailWithAMessage) {
  struct Case {
    QStringList arguments;
    const char16_t* message;
  };
  const Case cases[] = {
      {{u"search"_qs, u"--interface"_qs, u"no-such-if0"_qs}, u"unknown interface \"no-such-if0\""},
      {{u"search"_qs, u"--interface"_qs, u"ifb0"_qs}, u"interface \"ifb0\" is down"},
      {{u"search"_qs, u"--port"_qs, u"0"_qs}, u"--port"},
      {{u"search"_qs, u"--port"_qs, u"http"_qs}, u"--port"},
      {{u"search"_qs, u"--timeout"_qs, u"-5"_qs}, u"--timeout"},
      {{u"find"_qs}, u"usage"},
      {{}, u"usage"},
  };
  for (const Case& c : cases) {
    const CliRun run = RunCli(c.arguments);
    EXPECT_GT(run.status, 0) << c.arguments.join(u' ').toStdString();
    EXPECT_TRUE(run.err.contains(QString::fromStdU16String(c.message))) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
  }
}

}  // namespace
