// sentrova-cli search against the simulator: its JSON, its table and its exit
// status.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include "injector.h"
#include "simulator.h"

namespace {

const QString OddCaption = QStringLiteral("Hall\x1b[2J\nrm -rf ~ \\ end");
// Every kind of character a terminal must not get raw: DEL, C1 controls, bidi
// overrides and isolates, the Arabic letter mark, line and paragraph separators.
const QString HostileCaption = u"a\u007fb\u009b2Jc\u0085d\u202eevil\u2066x\u2069\u061ce\u2028f\u2029g"_qs;
const QString WideCaption = u"\u6771\u4eac\u30ab\u30e1\u30e9"_qs;  // ten columns in five characters

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

// Cameras whose captions no simulated camera may have.
void AnswerWithOddCaptions(Injector& in, const QString& nonce) {
  QJsonObject answer = in.Answer(nonce, 7);
  answer.insert(u"caption"_qs, OddCaption);
  answer.insert(u"version"_qs, u"2.10.001"_qs);
  in.SendFrom(7, Injector::Bytes(answer));
  answer = in.Answer(nonce, 8);
  answer.insert(u"caption"_qs, HostileCaption);
  in.SendFrom(8, Injector::Bytes(answer));
  answer = in.Answer(nonce, 9);
  answer.insert(u"caption"_qs, WideCaption);
  in.SendFrom(9, Injector::Bytes(answer));
}

// None of the characters a terminal must not get raw is in the output.
void ExpectNoRawUnsafeCharacter(const QString& out) {
  const char16_t unsafe[] = {0x1b, 0x7f, 0x85, 0x9b, 0x202e, 0x2066, 0x2069, 0x061c, 0x2028, 0x2029};
  for (char16_t c : unsafe) {
    EXPECT_FALSE(out.contains(QChar(c))) << "U+" << std::hex << int(c) << " raw in " << out.toStdString();
  }
}

CliRun Search(const Simulator& sim, const QStringList& more = {}) {
  return RunCli(QStringList{u"search"_qs, u"--interface"_qs, u"lo"_qs, u"--port"_qs, QString::number(sim.port()),
                            u"--onvif-port"_qs, QString::number(sim.onvifPort())} +
                more);
}

// The MAC as the simulator's fleet gives it, in hex groups joined by separator.
QString HexMac(const Simulator& sim, int host, QChar separator) {
  QStringList hex;
  for (const QString& part : sim.Mac(host).split(u'.')) {
    hex << QStringLiteral("%1").arg(part.toInt(), 2, 16, QLatin1Char('0')).toUpper();
  }
  return hex.join(separator);
}

TEST(Cli, JsonGivesTypedValuesAndEscapesUnsafeCharacters) {
  Simulator sim(std::vector<SimCamera>{
      {.host = 200, .family = 0, .mode = u"C-100"_qs, .caption = u"Yard"_qs, .version = u"1.2"_qs}});
  ASSERT_TRUE(sim.Start());
  Injector injector(sim, AnswerWithOddCaptions);
  const CliRun run = Search(sim, {u"--json"_qs});
  ASSERT_EQ(run.status, 0) << run.err.toStdString();
  QJsonParseError parseError;
  const QJsonArray cameras = QJsonDocument::fromJson(run.out.toUtf8(), &parseError).array();
  ASSERT_EQ(parseError.error, QJsonParseError::NoError) << run.out.toStdString();
  ASSERT_EQ(cameras.size(), 4) << run.out.toStdString();
  const QStringList keys{u"address"_qs, u"assigned"_qs, u"gateway"_qs, u"interface"_qs, u"mac"_qs,
                         u"mask"_qs,    u"mode"_qs,     u"name"_qs,    u"origin"_qs,    u"version"_qs};
  for (const QJsonValue& camera : cameras) {
    EXPECT_EQ(camera.toObject().keys(), keys);
    EXPECT_EQ(camera.toObject().value(u"interface").toString(), u"lo") << "the interface it was heard on";
  }
  const QJsonObject first = cameras[0].toObject();
  EXPECT_EQ(first.value(u"mac").toString(), HexMac(sim, 7, u':')) << "the usual colon form";
  EXPECT_EQ(first.value(u"address").toString(), sim.Address(7));
  EXPECT_EQ(first.value(u"mask").toString(), u"255.255.255.0");
  EXPECT_EQ(first.value(u"gateway").toString(), sim.Address(1));
  EXPECT_EQ(first.value(u"assigned"), QJsonValue(true));
  EXPECT_EQ(first.value(u"mode").toString(), u"X-350");
  EXPECT_EQ(first.value(u"name").toString(), OddCaption) << "JSON carries the text exactly";
  EXPECT_EQ(first.value(u"version").toString(), u"2.10.001");
  EXPECT_EQ(first.value(u"origin").toString(), u"search");
  EXPECT_EQ(cameras[1].toObject().value(u"name").toString(), HostileCaption) << "escaped, the same text";
  EXPECT_EQ(cameras[2].toObject().value(u"name").toString(), WideCaption);
  const QJsonObject simulated = cameras[3].toObject();
  EXPECT_EQ(simulated.value(u"address").toString(), sim.Address(200));
  EXPECT_EQ(simulated.value(u"mac").toString(), HexMac(sim, 200, u':'));
  EXPECT_EQ(simulated.value(u"name").toString(), u"Yard");
  EXPECT_EQ(simulated.value(u"version").toString(), u"1.2");
  ExpectNoRawUnsafeCharacter(run.out);
  EXPECT_TRUE(run.out.contains(u"a\\u007fb\\u009b2Jc\\u0085d\\u202eevil\\u2066x\\u2069\\u061ce\\u2028f\\u2029g"_qs))
      << run.out.toStdString();
  EXPECT_TRUE(run.out.contains(WideCaption)) << "printable text stays as it is";
}

TEST(Cli, TableEscapesUnsafeCharactersAndKeepsItsColumnsForWideText) {
  Simulator sim(std::vector<SimCamera>{{.host = 200, .caption = u"Camera"_qs, .version = u"9.99.999"_qs}});
  ASSERT_TRUE(sim.Start());
  Injector injector(sim, AnswerWithOddCaptions);
  const CliRun run = Search(sim);
  ASSERT_EQ(run.status, 0) << run.err.toStdString();
  const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 5) << "a header and four rows: " << run.out.toStdString();
  EXPECT_TRUE(lines[0].startsWith(u"MAC"));
  EXPECT_TRUE(lines[1].startsWith(HexMac(sim, 7, u' '))) << "the list's own form";
  EXPECT_TRUE(lines[1].contains(u"Hall\\x1b[2J\\nrm -rf ~ \\\\ end"_qs)) << lines[1].toStdString();
  EXPECT_TRUE(lines[1].contains(sim.Address(7)));
  EXPECT_TRUE(lines[2].contains(u"a\\x7fb\\x9b2Jc\\x85d\\u202eevil\\u2066x\\u2069\\u061ce\\u2028f\\u2029g"_qs))
      << lines[2].toStdString();
  ExpectNoRawUnsafeCharacter(run.out);
  EXPECT_TRUE(lines[4].contains(u" ok "_qs)) << "an assigned address, the list's mark: " << lines[4].toStdString();
  // The VERSION column starts in the same terminal column on both rows: the
  // wide caption takes ten columns in five characters, "Camera" six in six,
  // so its row reaches VERSION five characters sooner.
  const QString& wide = lines[3];
  const QString& ascii = lines[4];
  const qsizetype asciiVersion = ascii.indexOf(u"9.99.999");
  const qsizetype wideVersion = wide.indexOf(u"1.00.000");
  ASSERT_GT(asciiVersion, 0) << ascii.toStdString();
  ASSERT_GT(wideVersion, 0) << wide.toStdString();
  const qsizetype asciiCaption = ascii.indexOf(u"Camera");
  const qsizetype wideCaption = wide.indexOf(WideCaption);
  EXPECT_EQ(asciiCaption, wideCaption) << "the columns before it are aligned";
  EXPECT_EQ(asciiVersion - asciiCaption, (wideVersion - wideCaption) + 5) << run.out.toStdString();
}

// More cameras than the list holds: the first 4096 heard are printed,
// stderr says how many more answered, and the status is 4. The answers come
// once, from 5000 loopback addresses, one datagram each, in bursts the
// receive buffer holds.
TEST(Cli, MoreCamerasThanTheListHoldsAreCountedOnStderrWithStatusFour) {
  Simulator sim(std::vector<SimCamera>{{.host = 10}});
  ASSERT_TRUE(sim.Start());
  constexpr int Answers = 5000;
  int sent = 0;
  QString nonce;
  QTimer pace;
  Injector injector(sim, [&](Injector&, const QString& heard) {
    nonce = heard;
    pace.start(5);
  });
  QObject::connect(&pace, &QTimer::timeout, [&] {
    for (int burst = 0; burst < 250 && sent < Answers; ++burst, ++sent) {
      const QString address = u"127.77.%1.%2"_qs.arg(sent / 200).arg(sent % 200 + 10);
      QJsonObject answer = injector.Answer(nonce, 10);
      answer.insert(u"address"_qs, address);
      answer.insert(u"mac"_qs, u"2.77.0.%1.%2.%3"_qs.arg(sent / 200).arg(sent % 200 + 10).arg(sent % 7));
      SendOnceFrom(address, sim.port(), Injector::Bytes(answer));
    }
    if (sent == Answers) pace.stop();
  });
  // The ONVIF part, that nobody answers, keeps the search listening while
  // the answers are sent.
  const CliRun run = Search(sim, {u"--json"_qs});
  EXPECT_EQ(run.status, 4) << run.err.toStdString();
  EXPECT_EQ(QJsonDocument::fromJson(run.out.toUtf8()).array().size(), 4096);
  const QRegularExpressionMatch said = QRegularExpression(
                                           u"^sentrova-cli: at least (\\d+) more cameras answered than the list holds; "
                                           "the first 4096 heard are listed\n$"_qs)
                                           .match(run.err);
  ASSERT_TRUE(said.hasMatch()) << run.err.toStdString();
  EXPECT_GT(said.captured(1).toInt(), 0);
  EXPECT_LE(said.captured(1).toInt(), Answers + 1 - 4096);
}

// What a device sends reaches stderr escaped as in the table: here the
// warning about an endpoint that answers from a second address.
TEST(Cli, LogLinesEscapeDeviceText) {
  Simulator sim(std::vector<SimCamera>{{.host = 200}});
  ASSERT_TRUE(sim.Start());
  const QString endpoint = u"urn:\u202eevil\u0085x\u009by"_qs;
  OnvifInjector injector(sim, [&](OnvifInjector& in, const QString& messageId) {
    in.SendFrom(30, OnvifInjector::Matches(messageId, {endpoint}));
    in.SendFrom(31, OnvifInjector::Matches(messageId, {endpoint}));
  });
  const CliRun run = Search(sim);
  ASSERT_EQ(run.status, 0) << run.err.toStdString();
  EXPECT_TRUE(run.err.contains(u"endpoint urn:\\u202eevil\\x85x\\x9by also answers from"_qs)) << run.err.toStdString();
  ExpectNoRawUnsafeCharacter(run.err);
}

TEST(Cli, UnusableInterfaceOrBadOptionsFailWithAMessage) {
  struct Case {
    QStringList arguments;
    const char16_t* message;
  };
  // Each a command line the cli cannot take: status 2.
  const Case cases[] = {
      {{u"search"_qs, u"--interface"_qs, u"no-such-if0"_qs}, u"unknown interface \"no-such-if0\""},
      {{u"search"_qs, u"--interface"_qs, u"ifb0"_qs}, u"interface \"ifb0\" is down"},
      {{u"search"_qs, u"--interface"_qs, u"lo"_qs, u"--interface"_qs, u"no-such-if0"_qs},
       u"unknown interface \"no-such-if0\""},
      {{u"search"_qs, u"--port"_qs, u"0"_qs}, u"--port wants 1 to 65535"},
      {{u"search"_qs, u"--port"_qs, u"http"_qs}, u"--port wants 1 to 65535"},
      {{u"search"_qs, u"--timeout"_qs, u"-5"_qs}, u"--timeout wants 1 to 600000 ms"},
      {{u"search"_qs, u"--timeout"_qs}, u"missing value after '--timeout'; try --help"},
      {{u"listen"_qs, u"--seconds"_qs, u"0"_qs}, u"--seconds wants 1 to 86400"},
      {{u"find"_qs}, u"unknown command 'find'; try --help"},
      {{}, u"no command given; try --help"},
      {{u"search"_qs, u"--interface"_qs, u"lo"_qs, u"--address"_qs, u"10.1.2.3"_qs},
       u"10.1.2.3 is outside the loopback network 127.0.0.0/8 the search is confined to; nothing was sent"},
      {{u"search"_qs, u"--interface"_qs, u"lo"_qs, u"--address"_qs, u"127.0.0.1"_qs, u"--address"_qs,
        u"cam\x1b[2J.local"_qs},
       u"not an IPv4 address: cam\\x1b[2J.local"},
      {{u"search"_qs, u"--interface"_qs, u"lo"_qs, u"--address"_qs, u"127.0.0.1:70000"_qs},
       u"not a port from 1 to 65535: 70000"},
  };
  for (const Case& c : cases) {
    const CliRun run = RunCli(c.arguments);
    EXPECT_EQ(run.status, 2) << c.arguments.join(u' ').toStdString();
    EXPECT_EQ(run.err, u"sentrova-cli: "_qs + QString::fromStdU16String(c.message) + u'\n');
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
  }
}

// listen: one JSON line per announcement, as it arrives, until its seconds
// are over: the simulator's ONVIF camera says Hello as it starts, Bye as it
// ends.
TEST(Cli, ListenPrintsEachHelloAndByeAsOneJsonLine) {
  SimCamera camera;
  camera.host = 40;
  camera.protocols = {u"onvif"_qs};
  camera.caption = u"Gate"_qs;
  Simulator sim({camera});
  QProcess cli;
  cli.start(QString::fromUtf8(SENTROVA_CLI),
            {u"listen"_qs, u"--interface"_qs, u"lo"_qs, u"--onvif-port"_qs, QString::number(sim.onvifPort()),
             u"--json"_qs, u"--seconds"_qs, u"3"_qs});
  ASSERT_TRUE(cli.waitForStarted());
  QByteArray out;
  QObject::connect(&cli, &QProcess::readyReadStandardOutput, [&] { out += cli.readAllStandardOutput(); });
  // It listens once it has started; a camera heard before would be missed.
  QTimer::singleShot(500, [&] { sim.Start(); });
  ASSERT_TRUE(WaitUntil([&] { return out.count('\n') >= 1; }, 5000)) << "no Hello printed";
  sim.Stop();
  ASSERT_TRUE(WaitUntil([&] { return cli.state() == QProcess::NotRunning; }, 10000));
  out += cli.readAllStandardOutput();
  EXPECT_EQ(cli.exitCode(), 0);
  const QList<QByteArray> lines = out.trimmed().split('\n');
  ASSERT_EQ(lines.size(), 2) << out.toStdString();
  const QJsonObject hello = QJsonDocument::fromJson(lines[0]).object();
  const QJsonObject bye = QJsonDocument::fromJson(lines[1]).object();
  EXPECT_EQ(hello.value(u"kind"_qs), u"hello"_qs);
  EXPECT_EQ(hello.value(u"address"_qs), sim.Address(40));
  EXPECT_EQ(hello.value(u"interface"_qs), u"lo"_qs);
  EXPECT_EQ(hello.value(u"note"_qs), u"announced"_qs);
  EXPECT_TRUE(hello.value(u"name"_qs).toString().startsWith(u"Gate")) << lines[0].toStdString();
  EXPECT_EQ(bye.value(u"kind"_qs), u"bye"_qs);
  EXPECT_EQ(bye.value(u"endpoint"_qs), hello.value(u"endpoint"_qs));
  EXPECT_LE(hello.value(u"ms"_qs).toInt(), bye.value(u"ms"_qs).toInt());
}

// --address adds a camera the search of the network does not list (here an
// ONVIF camera while the ONVIF search is off): marked in both forms.
TEST(Cli, AnAddressGivenAddsItsCameraMarkedAsAddedByAddress) {
  Simulator sim(std::vector<SimCamera>{{.host = 20}, {.host = 21, .protocols = {u"onvif"_qs}}});
  ASSERT_TRUE(sim.Start());
  const QStringList more{u"--onvif-port"_qs, u"0"_qs,         u"--address"_qs,
                         sim.Address(21),    u"--address"_qs, sim.Address(22)};
  const CliRun json = Search(sim, QStringList{u"--json"_qs} + more);
  ASSERT_EQ(json.status, 0) << json.err.toStdString();
  const QJsonArray cameras = QJsonDocument::fromJson(json.out.toUtf8()).array();
  ASSERT_EQ(cameras.size(), 2) << json.out.toStdString();
  EXPECT_EQ(cameras[0].toObject().value(u"origin").toString(), u"search");
  EXPECT_EQ(cameras[1].toObject().value(u"address").toString(), sim.Address(21));
  EXPECT_EQ(cameras[1].toObject().value(u"mode").toString(), u"ONVIF");
  EXPECT_EQ(cameras[1].toObject().value(u"origin").toString(), u"address");
  EXPECT_TRUE(json.err.contains(u"sentrova-cli: No camera answered at %1 within 1 s"_qs.arg(sim.Address(22))))
      << json.err.toStdString();
  const CliRun table = Search(sim, more);
  const QStringList lines = table.out.split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3) << table.out.toStdString();
  EXPECT_TRUE(lines[0].endsWith(u"NETWORK"));
  EXPECT_FALSE(lines[1].endsWith(u"added by address"));
  EXPECT_TRUE(lines[2].contains(sim.Address(21)) && lines[2].endsWith(u"added by address")) << table.out.toStdString();
}

}  // namespace
