// The connection instance on an ONVIF camera: a small scripted device service
// on loopback that checks logins the way cameras do (UsernameToken against its
// own clock, or HTTP Digest), records every operation, and holds users and
// network settings. What it proves: the login with a skewed clock, Digest,
// a refused password, the reads after Connect, and the order of the writes
// with each failure part-way.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <map>
#include <memory>

#include "device/camera_control.h"
#include "device/net_camera_control.h"
#include "device/onvif_auth.h"
#include "device/onvif_soap.h"
#include "protocol/protocol.h"
#include "protocol/wire.h"

QT_BEGIN_NAMESPACE
// Readable QStrings in the test's failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
QT_END_NAMESPACE

namespace {

using namespace device::onvif;

enum class Auth { Token, DigestMd5, DigestSha256 };

class FakeOnvifCamera {
 public:
  explicit FakeOnvifCamera(Auth auth, qint64 clockAheadMs = 0) : auth_(auth), clockAheadMs_(clockAheadMs) {
    Listen(u"127.0.0.1"_qs, 0);
  }

  quint16 port() const { return servers_.front()->serverPort(); }

  // The camera's state.
  std::map<QString, QString> users{{u"admin"_qs, u"1234"_qs}};
  QString address = u"127.0.0.1"_qs;
  int prefix = 8;
  QString gateway = u"127.0.0.254"_qs;
  bool rebootNeeded = false;
  bool ignoresGateway = false;  // answers success and changes nothing
  bool ignoresCreate = false;
  bool ignoresAll = false;        // answers every Set* with success and changes nothing
  bool noAuth = false;            // takes every request, with or without credentials
  bool reportsNoGateway = false;  // GetNetworkDefaultGateway answers no address
  int lateMs = 0;                 // a new password, gateway or address takes effect this late
  int answerDelayMs = 0;          // every answer leaves this late
  bool sendsDate = true;          // answers carry an HTTP Date header in the camera's time
  std::vector<QString> log;
  std::vector<QString> answeredAt;  // the local address of each request, in order  // "Operation by user" in order
  std::vector<QByteArray> requests;

  int Count(const QString& operation) const {
    return static_cast<int>(
        std::count_if(log.begin(), log.end(), [&](const QString& l) { return l.startsWith(operation + u' '); }));
  }

 private:
  void Listen(const QString& at, quint16 port) {
    auto server = std::make_unique<QTcpServer>();
    EXPECT_TRUE(server->listen(QHostAddress(at), port)) << at.toStdString();
    QTcpServer* raw = server.get();
    QObject::connect(raw, &QTcpServer::newConnection, raw, [this, raw] {
      while (QTcpSocket* socket = raw->nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { Read(socket); });
      }
    });
    servers_.push_back(std::move(server));
  }

  void Read(QTcpSocket* socket) {
    QByteArray& buffer = buffers_[socket];
    buffer += socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) return;
    const qsizetype lengthAt = buffer.toLower().indexOf("content-length: ");
    const int length =
        lengthAt < 0 ? 0 : buffer.mid(lengthAt + 16, buffer.indexOf("\r\n", lengthAt) - lengthAt - 16).toInt();
    if (buffer.size() < end + 4 + length) return;
    requests.push_back(buffer);
    answeredAt.push_back(socket->localAddress().toString());
    const QByteArray answer = Answer(buffer.left(end), buffer.mid(end + 4, length));
    buffers_.erase(socket);
    QTimer::singleShot(answerDelayMs, socket, [socket, answer] {
      socket->write(answer);
      socket->disconnectFromHost();
    });
  }

  QByteArray Http(const QByteArray& status, const QByteArray& body, QByteArray extra = {}) const {
    if (sendsDate)
      extra += "Date: " + Now().toString(Qt::RFC2822Date).replace(u"+0000"_qs, u"GMT"_qs).toLatin1() + "\r\n";
    return "HTTP/1.1 " + status +
           "\r\nContent-Type: application/soap+xml\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" +
           extra + "\r\n" + body;
  }

  static QByteArray Fault(const char* subcode) {
    return Envelope(QStringLiteral("<s:Fault><s:Code><s:Value>s:Sender</s:Value><s:Subcode><s:Value "
                                   "xmlns:ter=\"http://www.onvif.org/ver10/error\">ter:%1</s:Value></s:Subcode>"
                                   "</s:Code><s:Reason><s:Text xml:lang=\"en\">refused</s:Text></s:Reason></s:Fault>")
                        .arg(QString::fromLatin1(subcode)));
  }

  QDateTime Now() const { return QDateTime::currentDateTimeUtc().addMSecs(clockAheadMs_); }

  // The user a request authenticates as; empty when it does not.
  QString Authenticated(const QByteArray& head, const XmlElement& envelope, bool* challenged) {
    *challenged = false;
    if (noAuth) return u"anyone"_qs;
    if (auth_ == Auth::Token) {
      const XmlElement* header = envelope.Child(u"Header", Ns::Soap);
      const XmlElement* security = header ? header->Child(u"Security", Ns::Security) : nullptr;
      const XmlElement* token = security ? security->Child(u"UsernameToken", Ns::Security) : nullptr;
      if (!token) return {};
      const QString user = token->ChildText(u"Username", Ns::Security);
      const QString created = token->ChildText(u"Created", Ns::Utility);
      const QByteArray nonce = QByteArray::fromBase64(token->ChildText(u"Nonce", Ns::Security).toLatin1());
      const XmlElement* password = token->Child(u"Password", Ns::Security);
      const auto known = users.find(user);
      if (!password || known == users.end() || !password->Attribute(u"Type").endsWith(u"#PasswordDigest")) return {};
      // Cameras take a token only within a few seconds of their own clock.
      const QDateTime stamp = QDateTime::fromString(created, Qt::ISODateWithMs);
      if (!stamp.isValid() || std::abs(stamp.msecsTo(Now())) > 5000) return {};
      return password->text == protocol::PasswordDigest(nonce, created, known->second) ? user : QString();
    }
    const qsizetype at = head.indexOf("Authorization: Digest ");
    if (at < 0) {
      *challenged = true;
      return {};
    }
    const QMap<QString, QString> p = protocol::ParseAuthParams(head.mid(at + 22, head.indexOf("\r\n", at) - at - 22));
    const auto known = users.find(p.value(u"username"_qs));
    if (known == users.end()) return {};
    const QString expected = protocol::DigestResponse(
        p.value(u"algorithm"_qs), known->first, known->second, p.value(u"realm"_qs), p.value(u"nonce"_qs), u"POST"_qs,
        p.value(u"uri"_qs), p.value(u"nc"_qs), p.value(u"cnonce"_qs), p.value(u"qop"_qs));
    return p.value(u"response"_qs) == expected ? known->first : QString();
  }

  QByteArray Answer(const QByteArray& head, const QByteArray& body) {
    const protocol::XmlRead read = protocol::ReadXml(body);
    const XmlElement* envelopeBody = read.root ? read.root->Child(u"Body", Ns::Soap) : nullptr;
    if (!envelopeBody || envelopeBody->children.empty()) return Http("400 Bad Request", Fault("WellFormed"));
    const XmlElement& request = envelopeBody->children.front();
    const QString operation = request.name;
    if (operation == u"GetSystemDateAndTime") {
      log.push_back(operation + u" by -"_qs);
      const QDateTime now = Now();
      return Http(
          "200 OK",
          Envelope(
              QStringLiteral(
                  "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime><tt:DateTimeType>Manual</tt:DateTimeType>"
                  "<tt:UTCDateTime><tt:Time><tt:Hour>%1</tt:Hour><tt:Minute>%2</tt:Minute><tt:Second>%3</tt:Second></"
                  "tt:Time>"
                  "<tt:Date><tt:Year>%4</tt:Year><tt:Month>%5</tt:Month><tt:Day>%6</tt:Day></tt:Date></tt:UTCDateTime>"
                  "</tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>")
                  .arg(now.time().hour())
                  .arg(now.time().minute())
                  .arg(now.time().second())
                  .arg(now.date().year())
                  .arg(now.date().month())
                  .arg(now.date().day())));
    }
    bool challenged = false;
    const QString user = Authenticated(head, *read.root, &challenged);
    if (!challenged) log.push_back(operation + u" by "_qs + (user.isEmpty() ? u"nobody"_qs : user));
    if (challenged) {
      const QByteArray algorithm = auth_ == Auth::DigestMd5 ? "MD5" : "SHA-256";
      return Http(
          "401 Unauthorized", {},
          "WWW-Authenticate: Digest realm=\"onvif\", qop=\"auth\", nonce=\"abc123\", algorithm=" + algorithm + "\r\n");
    }
    if (user.isEmpty())
      return auth_ == Auth::Token ? Http("400 Bad Request", Fault("NotAuthorized")) : Http("401 Unauthorized", {});
    if (operation == u"GetDeviceInformation") {
      return Ok(
          u"<tds:GetDeviceInformationResponse><tds:Manufacturer>Acme</tds:Manufacturer><tds:Model>DC-1</tds:Model>"
          "<tds:FirmwareVersion>2.4.001</tds:FirmwareVersion><tds:SerialNumber>7</tds:SerialNumber>"
          "<tds:HardwareId>1</tds:HardwareId></tds:GetDeviceInformationResponse>"_qs);
    }
    if (operation == u"GetNetworkInterfaces") {
      return Ok(
          QStringLiteral(
              "<tds:GetNetworkInterfacesResponse><tds:NetworkInterfaces token=\"eth0\"><tt:Enabled>true</tt:Enabled>"
              "<tt:Info><tt:HwAddress>00:0c:22:ff:01:02</tt:HwAddress></tt:Info><tt:IPv4><tt:Enabled>true</tt:Enabled>"
              "<tt:Config><tt:Manual><tt:Address>%1</tt:Address><tt:PrefixLength>%2</tt:PrefixLength></tt:Manual>"
              "<tt:DHCP>false</tt:DHCP></tt:Config></tt:IPv4></tds:NetworkInterfaces></"
              "tds:GetNetworkInterfacesResponse>")
              .arg(address)
              .arg(prefix));
    }
    if (operation == u"GetNetworkDefaultGateway" && reportsNoGateway) {
      return Ok(
          u"<tds:GetNetworkDefaultGatewayResponse><tds:NetworkGateway/></tds:GetNetworkDefaultGatewayResponse>"_qs);
    }
    if (operation == u"GetNetworkDefaultGateway") {
      return Ok(QStringLiteral("<tds:GetNetworkDefaultGatewayResponse><tds:NetworkGateway><tt:IPv4Address>%1"
                               "</tt:IPv4Address></tds:NetworkGateway></tds:GetNetworkDefaultGatewayResponse>")
                    .arg(gateway));
    }
    if (operation == u"GetUsers") {
      QString list;
      for (const auto& [name, password] : users) {
        list += u"<tds:User><tt:Username>"_qs + name +
                u"</tt:Username><tt:UserLevel>Administrator</tt:UserLevel></tds:User>"_qs;
      }
      return Ok(u"<tds:GetUsersResponse>"_qs + list + u"</tds:GetUsersResponse>"_qs);
    }
    const XmlElement* newUser = request.Child(u"User");
    if (operation == u"SetUser" && newUser) {
      Later([this, name = newUser->ChildText(u"Username"), password = newUser->ChildText(u"Password")] {
        users[name] = password;
      });
      return Ok(u"<tds:SetUserResponse/>"_qs);
    }
    if (operation == u"CreateUsers" && newUser) {
      if (!ignoresCreate) users[newUser->ChildText(u"Username")] = newUser->ChildText(u"Password");
      return Ok(u"<tds:CreateUsersResponse/>"_qs);
    }
    if (operation == u"DeleteUsers") {
      users.erase(request.ChildText(u"Username"));
      return Ok(u"<tds:DeleteUsersResponse/>"_qs);
    }
    if (operation == u"SetNetworkDefaultGateway") {
      if (!ignoresGateway) Later([this, next = request.ChildText(u"IPv4Address")] { gateway = next; });
      return Ok(u"<tds:SetNetworkDefaultGatewayResponse/>"_qs);
    }
    if (operation == u"SetNetworkInterfaces") {
      const XmlElement* interface = request.Child(u"NetworkInterface");
      const XmlElement* ipv4 = interface ? interface->Child(u"IPv4") : nullptr;
      const XmlElement* manual = ipv4 ? ipv4->Child(u"Manual") : nullptr;
      if (!manual || request.ChildText(u"InterfaceToken") != u"eth0")
        return Http("400 Bad Request", Fault("InvalidArgVal"));
      // Without a reboot the camera answers at its new address (once it took it).
      Later([this, next = manual->ChildText(u"Address"), length = manual->ChildText(u"PrefixLength").toInt()] {
        address = next;
        prefix = length;
        if (!rebootNeeded) Listen(address, port());
      });
      return Ok(QStringLiteral("<tds:SetNetworkInterfacesResponse><tds:RebootNeeded>%1</tds:RebootNeeded>"
                               "</tds:SetNetworkInterfacesResponse>")
                    .arg(rebootNeeded ? u"true"_qs : u"false"_qs));
    }
    if (operation == u"SystemReboot")
      return Ok(u"<tds:SystemRebootResponse><tds:Message>Rebooting</tds:Message></tds:SystemRebootResponse>"_qs);
    return Http("400 Bad Request", Fault("ActionNotSupported"));
  }

  QByteArray Ok(const QString& body) const { return Http("200 OK", Envelope(body)); }

  // A change the camera answers for: taken now, lateMs later, or never.
  void Later(std::function<void()> change) {
    if (ignoresAll) return;
    if (lateMs == 0) return change();
    QTimer::singleShot(lateMs, servers_.front().get(), std::move(change));
  }

  Auth auth_;
  qint64 clockAheadMs_;
  std::vector<std::unique_ptr<QTcpServer>> servers_;
  std::map<QTcpSocket*, QByteArray> buffers_;
};

struct Connected {
  std::unique_ptr<FakeOnvifCamera> camera;
  std::unique_ptr<device::NetCameraControl> camTemp;
};

device::NetOptions Loopback() {
  device::NetOptions options;
  options.interfaceNames = QStringList{u"lo"_qs};
  options.httpConnectTimeout = std::chrono::milliseconds(500);
  options.httpTimeout = std::chrono::milliseconds(1000);
  options.settleWindow = std::chrono::milliseconds(1500);
  options.settleInterval = std::chrono::milliseconds(100);
  return options;
}

// The launch's calls on the connection instance for an ONVIF row.
std::unique_ptr<device::NetCameraControl> Target(const FakeOnvifCamera& camera, const char16_t* user,
                                                 const char16_t* password, const char16_t* rowMac = u"") {
  auto camTemp = std::make_unique<device::NetCameraControl>(Loopback());
  camTemp->ProtocolFamily(2);
  camTemp->ProtocolOption(protocol::OnvifProtocolOption);
  camTemp->TargetAddress(u"127.0.0.1");
  camTemp->TargetMac(rowMac);
  camTemp->TargetPort(camera.port());
  camTemp->LoginID(user);
  camTemp->LoginPassword(password);
  return camTemp;
}

TEST(OnvifLogin, WorksWithTheCamerasClockHoursOffAndReadsItsSettings) {
  for (const qint64 ahead : {qint64{2} * 3600 * 1000, qint64{-3600} * 1000, qint64{0}}) {
    FakeOnvifCamera camera(Auth::Token, ahead);
    camera.sendsDate = false;
    auto camTemp = Target(camera, u"admin", u"1234");
    EXPECT_EQ(camTemp->Connect(), 1) << "camera ahead by " << ahead << " ms";
    EXPECT_EQ(camTemp->GetSettingText(u"SysAdminID"), u"admin");
    EXPECT_EQ(camTemp->GetSettingText(u"SysAdminPassword"), u"1234");
    EXPECT_EQ(camTemp->GetSettingText(u"SysIPAddress"), u"127.0.0.1");
    EXPECT_EQ(camTemp->GetSettingText(u"SysSubnetMask"), u"255.0.0.0");
    EXPECT_EQ(camTemp->GetSettingText(u"SysDefaultGateway"), u"127.0.0.254");
    EXPECT_EQ(camTemp->GetSettingText(u"SysFirmwareVersion"), u"2.4.001");
    EXPECT_EQ(camTemp->GetSettingText(u"SysMacAddress"), u"0.12.34.255.1.2");
    EXPECT_EQ(camTemp->GetSettingNumber(u"DeviceType"), 0) << "no wireless bit: the wired path";
    ASSERT_GE(camera.log.size(), 3u);
    EXPECT_EQ(camera.log[0], u"GetDeviceInformation by nobody"_qs) << "whether a login is needed, without one";
    EXPECT_EQ(camera.log[1], u"GetSystemDateAndTime by -"_qs) << "no Date header: the camera's clock";
    EXPECT_EQ(camera.log[2], u"GetDeviceInformation by admin"_qs);
  }
}

TEST(OnvifLogin, AnswersHttpDigestMd5AndSha256AndNeverSendsThePassword) {
  for (const Auth auth : {Auth::DigestMd5, Auth::DigestSha256}) {
    FakeOnvifCamera camera(auth);
    auto camTemp = Target(camera, u"admin", u"1234");
    EXPECT_EQ(camTemp->Connect(), 1);
    EXPECT_EQ(camTemp->GetSettingText(u"SysIPAddress"), u"127.0.0.1");
    const QByteArray algorithm = auth == Auth::DigestMd5 ? "algorithm=MD5" : "algorithm=SHA-256";
    EXPECT_TRUE(std::any_of(camera.requests.begin(), camera.requests.end(),
                            [&](const QByteArray& r) { return r.contains(algorithm); }));
    for (const QByteArray& request : camera.requests) {
      EXPECT_FALSE(request.contains("1234")) << "a login never carries the password: " << request.toStdString();
      EXPECT_FALSE(request.contains("Authorization: Basic"));
    }
  }
}

TEST(OnvifLogin, AWrongPasswordIsRefusedPromptly) {
  for (const Auth auth : {Auth::Token, Auth::DigestSha256}) {
    FakeOnvifCamera camera(auth);
    auto camTemp = Target(camera, u"admin", u"wrong");
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(camTemp->Connect(), 0);
    std::u16string id = u"admin";
    std::u16string password = u"wrong";
    EXPECT_EQ(camTemp->Login(id, password), device::LoginNeeded);
    password = u"1234";
    EXPECT_EQ(camTemp->Login(id, password), device::LoginGranted);
    EXPECT_LT(clock.elapsed(), 3000) << "refusals are answers, not timeouts";
    EXPECT_EQ(camTemp->LoginPassword(), u"1234");
  }
}

// The settings the wired summary keeps, with what the user chose.
void KeepSettings(device::NetCameraControl& camTemp, const char16_t* id, const char16_t* password,
                  const char16_t* address, const char16_t* mask, const char16_t* gateway) {
  camTemp.LoginID(u"admin");
  camTemp.LoginPassword(u"1234");
  camTemp.SetSetting(u"SysAdminID", std::u16string(id));
  camTemp.SetSetting(u"SysAdminPassword", std::u16string(password));
  camTemp.SetSetting(u"SysIPAssignment", int16_t{1});
  camTemp.SetSetting(u"SysIPAddress", std::u16string(address));
  camTemp.SetSetting(u"SysSubnetMask", std::u16string(mask));
  camTemp.SetSetting(u"SysDefaultGateway", std::u16string(gateway));
}

std::vector<QString> Writes(const FakeOnvifCamera& camera) {
  std::vector<QString> writes;
  for (const QString& line : camera.log) {
    if (line.startsWith(u"Set") || line.startsWith(u"Create") || line.startsWith(u"Delete") ||
        line.startsWith(u"System")) {
      writes.push_back(line);
    }
  }
  return writes;
}

TEST(OnvifApply, WritesInTheSafeOrderEachReadBack) {
  FakeOnvifCamera camera(Auth::Token);
  auto camTemp = Target(camera, u"admin", u"1234");
  ASSERT_EQ(camTemp->Connect(), 1);
  const size_t before = camera.log.size();
  KeepSettings(*camTemp, u"keeper", u"n3w", u"127.0.0.2", u"255.255.0.0", u"127.0.0.1");
  camTemp->ApplySettings(1, 0);
  const std::vector<QString> applied(camera.log.begin() + static_cast<long>(before), camera.log.end());
  const std::vector<QString> expected = {u"GetNetworkInterfaces by admin"_qs,
                                         u"GetNetworkDefaultGateway by admin"_qs,  // fresh values to compare
                                         u"CreateUsers by admin"_qs,
                                         u"GetUsers by keeper"_qs,  // the new ID proven
                                         u"GetDeviceInformation by keeper"_qs,
                                         u"DeleteUsers by keeper"_qs,
                                         u"GetUsers by keeper"_qs,  // only then the old one goes
                                         u"SetNetworkDefaultGateway by keeper"_qs,
                                         u"GetNetworkDefaultGateway by keeper"_qs,
                                         u"SetNetworkInterfaces by keeper"_qs,
                                         u"GetNetworkInterfaces by keeper"_qs};  // the address last
  EXPECT_EQ(applied, expected);
  EXPECT_EQ(camera.users, (std::map<QString, QString>{{u"keeper"_qs, u"n3w"_qs}}));
  EXPECT_EQ(camera.address, u"127.0.0.2"_qs);
  EXPECT_EQ(camera.prefix, 16);
  EXPECT_EQ(camera.gateway, u"127.0.0.1"_qs);
  EXPECT_EQ(camTemp->LoginID(), u"keeper") << "the credentials in use follow the camera's";
  EXPECT_EQ(camTemp->LoginPassword(), u"n3w");
}

TEST(OnvifApply, OnlyWhatChangedIsWrittenAndAReboootFollowsWhenNeeded) {
  FakeOnvifCamera camera(Auth::DigestMd5);
  camera.rebootNeeded = true;
  auto camTemp = Target(camera, u"admin", u"1234");
  ASSERT_EQ(camTemp->Connect(), 1);
  KeepSettings(*camTemp, u"admin", u"5678", u"127.0.0.3", u"255.0.0.0", u"127.0.0.254");
  camTemp->ApplySettings(1, 0);
  EXPECT_EQ(Writes(camera), (std::vector<QString>{u"SetUser by admin"_qs, u"SetNetworkInterfaces by admin"_qs,
                                                  u"SystemReboot by admin"_qs}));
  EXPECT_EQ(camera.users.at(u"admin"_qs), u"5678"_qs);
  EXPECT_EQ(camera.Count(u"SetNetworkDefaultGateway"_qs), 0) << "an unchanged gateway is not re-sent";
}

TEST(OnvifApply, CredentialsTheyCutShortAreNotTakenAsAChange) {
  // The pages hold 12 characters of an ID and 8 of a password.
  FakeOnvifCamera camera(Auth::Token);
  camera.users = {{u"administrator"_qs, u"longpassword1"_qs}};
  auto camTemp = Target(camera, u"administrator", u"longpassword1");
  ASSERT_EQ(camTemp->Connect(), 1);
  camTemp->SetSetting(u"SysAdminID", std::u16string(u"administrato"));
  camTemp->SetSetting(u"SysAdminPassword", std::u16string(u"longpass"));
  camTemp->ApplySettings(1, 0);
  EXPECT_TRUE(Writes(camera).empty());
  EXPECT_EQ(camera.users, (std::map<QString, QString>{{u"administrator"_qs, u"longpassword1"_qs}}));
}

TEST(OnvifApply, BadValuesAreRefusedBeforeAnythingIsSent) {
  struct Case {
    std::u16string id;
    std::u16string password;
    const char16_t* address;
    const char16_t* mask;
    const char16_t* gateway;
    const char* because;
  };
  const std::u16string loneSurrogate = std::u16string(u"ad") + char16_t(0xD800);
  const Case cases[] = {{u"other", u"n3w", u"127.0.0.2", u"255.0.255.0", u"127.0.0.1", "not a contiguous prefix"},
                        {u"other", u"n3w", u"127.0.0.2", u"0.0.0.0", u"127.0.0.1", "not a contiguous prefix"},
                        {u"other", u"n3w", u"127.0.0.300", u"255.0.0.0", u"127.0.0.1", "IP address"},
                        {u"other", u"n3w", u"224.0.0.1", u"255.0.0.0", u"127.0.0.1", "IP address"},
                        {u"other", u"n3w", u"127.0.0.2", u"255.0.0.0", u"gateway", "default gateway"},
                        // Addresses nothing reaches after the change: the subnet's own and its broadcast.
                        {u"other", u"n3w", u"127.255.255.255", u"255.0.0.0", u"127.0.0.1", "broadcast address"},
                        {u"other", u"n3w", u"127.0.1.0", u"255.255.255.0", u"127.0.0.1", "broadcast address"},
                        // Credentials no login could spell again.
                        {loneSurrogate, u"n3w", u"127.0.0.2", u"255.0.0.0", u"127.0.0.1", "administrator ID"},
                        {u"\u009b2J", u"n3w", u"127.0.0.2", u"255.0.0.0", u"127.0.0.1", "administrator ID"},
                        {u"other", u"pw\u0085", u"127.0.0.2", u"255.0.0.0", u"127.0.0.1", "administrator password"}};
  for (const Case& c : cases) {
    FakeOnvifCamera camera(Auth::Token);
    auto camTemp = Target(camera, u"admin", u"1234");
    ASSERT_EQ(camTemp->Connect(), 1);
    KeepSettings(*camTemp, c.id.c_str(), c.password.c_str(), c.address, c.mask, c.gateway);
    try {
      camTemp->ApplySettings(1, 0);
      ADD_FAILURE() << c.because << ": not refused";
    } catch (const device::CameraControlError& error) {
      EXPECT_TRUE(QString::fromUtf8(error.what()).contains(QString::fromLatin1(c.because))) << error.what();
      EXPECT_TRUE(QString::fromUtf8(error.what()).contains(u"nothing was written"_qs)) << error.what();
    }
    EXPECT_TRUE(Writes(camera).empty()) << c.because;
    EXPECT_EQ(camera.users.count(u"admin"_qs), 1u);
  }
}

// The change-address dialog's calls on an ONVIF row. ONVIF has no MAC
// commands: the camera reached at the address the login reached takes the
// new address (written by the apply) only when the MAC it reports is the
// row's; a twin, or a row whose MAC is unknown, gets nothing.
TEST(OnvifChangeAddress, OnlyTheCameraChosenTakesTheNewAddress) {
  struct Case {
    const char16_t* rowMac;
    const char* refusal;  // empty: the address changes
  };
  for (const Case& c :
       {Case{u"0.12.34.255.1.2", ""}, Case{u"0.12.34.255.1.3", "is another one"}, Case{u"", "its MAC is unknown"}}) {
    FakeOnvifCamera camera(Auth::Token);
    auto camTemp = Target(camera, u"", u"", c.rowMac);
    ASSERT_EQ(camTemp->LoginState(), device::LoginNeeded) << "the password dialog's check";
    std::u16string id = u"admin", password = u"1234";
    ASSERT_EQ(camTemp->Login(id, password), device::LoginGranted);
    EXPECT_EQ(camTemp->AddressInUse(), -1) << "the camera answers at its own address";
    camTemp->TargetAddress(u"127.0.0.2");
    camTemp->TargetMac(c.rowMac);
    EXPECT_EQ(camTemp->LoginID(), std::u16string(c.rowMac).empty() ? u"" : u"admin")
        << "the same camera keeps its login; one known only by its address does not";
    std::u16string address = u"127.0.0.2", mask = u"255.0.0.0", gateway = u"127.0.0.254";
    try {
      EXPECT_EQ(camTemp->ChangeAddress(address, mask, gateway), 1);
      camTemp->ApplySettings(1, 0);
      EXPECT_STREQ(c.refusal, "");
    } catch (const device::CameraControlError& error) {
      EXPECT_NE(std::string(error.what()).find(c.refusal), std::string::npos) << error.what();
      EXPECT_NE(std::string(error.what()).find("nothing was sent"), std::string::npos) << error.what();
    }
    const bool changes = std::string(c.refusal).empty();
    EXPECT_EQ(camera.address, changes ? u"127.0.0.2"_qs : u"127.0.0.1"_qs) << c.refusal;
    EXPECT_EQ(Writes(camera),
              changes ? std::vector<QString>{u"SetNetworkInterfaces by admin"_qs} : std::vector<QString>{})
        << c.refusal;
  }
}

// A write the camera answers with success but does not take is reported by
// name, with what is in effect; the writes after it still go out with
// credentials the camera takes.
std::string ApplyFailure(device::NetCameraControl& camTemp) {
  try {
    camTemp.ApplySettings(1, 0);
  } catch (const device::CameraControlError& error) {
    return error.what();
  }
  ADD_FAILURE() << "reported as done";
  return {};
}

TEST(OnvifApply, AFailurePartWayLeavesCredentialsTheCameraTakes) {
  {  // The new ID does not log in: it is removed again, the old one stays.
    FakeOnvifCamera camera(Auth::Token);
    camera.ignoresCreate = true;
    auto camTemp = Target(camera, u"admin", u"1234");
    ASSERT_EQ(camTemp->Connect(), 1);
    KeepSettings(*camTemp, u"keeper", u"n3w", u"127.0.0.2", u"255.0.0.0", u"127.0.0.1");
    const std::string message = ApplyFailure(*camTemp);
    EXPECT_NE(message.find("the new ID keeper did not take"), std::string::npos) << message;
    EXPECT_NE(message.find("the address is now 127.0.0.2"), std::string::npos) << message;
    EXPECT_EQ(camera.Count(u"DeleteUsers"_qs), 1) << "the new ID that does not log in is removed again";
    EXPECT_EQ(camera.users.count(u"admin"_qs), 1u);
    EXPECT_EQ(camTemp->LoginID(), u"admin");
  }
  {  // The gateway answers success and stays: named, the password and address are in effect.
    FakeOnvifCamera camera(Auth::Token);
    camera.ignoresGateway = true;
    auto camTemp = Target(camera, u"admin", u"1234");
    ASSERT_EQ(camTemp->Connect(), 1);
    KeepSettings(*camTemp, u"admin", u"n3w", u"127.0.0.2", u"255.0.0.0", u"127.0.0.1");
    const std::string message = ApplyFailure(*camTemp);
    EXPECT_NE(message.find("the password is now the new one"), std::string::npos) << message;
    EXPECT_NE(message.find("the gateway did not take: the camera answered the change but holds 127.0.0.254"),
              std::string::npos)
        << message;
    EXPECT_EQ(camTemp->LoginPassword(), u"n3w") << "the password already written is the one in use";
    EXPECT_EQ(camera.users.at(u"admin"_qs), u"n3w"_qs);
    EXPECT_EQ(camera.address, u"127.0.0.2"_qs);
  }
}

// The login dialog's calls, then the launch's: LoginState, Login with what
// was typed, the typed values put, Connect.
int32_t DialogLogin(device::NetCameraControl& camTemp, std::u16string id, std::u16string password) {
  int32_t state = camTemp.LoginState();
  if (state == device::LoginNeeded) state = camTemp.Login(id, password);
  if (state != device::LoginGranted) return state;
  camTemp.LoginID(id);
  camTemp.LoginPassword(password);
  return camTemp.Connect() == 1 ? device::LoginGranted : 0;
}

TEST(OnvifLogin, TakesAtMostFourRequestsAndNeverSendsAnEmptyID) {
  for (const Auth auth : {Auth::Token, Auth::DigestSha256}) {
    FakeOnvifCamera camera(auth);
    auto camTemp = Target(camera, u"", u"");
    EXPECT_EQ(DialogLogin(*camTemp, u"admin", u"1234"), device::LoginGranted);
    const size_t answered = camera.log.size();  // HTTP Digest's challenges are not logged
    EXPECT_LE(answered, 4u) << "LoginState, Login and Connect together";
    for (const QByteArray& request : camera.requests) {
      EXPECT_FALSE(request.contains("<wsse:Username></wsse:Username>")) << request.toStdString();
      EXPECT_FALSE(request.contains("username=\"\"")) << request.toStdString();
    }
    EXPECT_EQ(camTemp->GetSettingNumber(protocol::NoLoginKey), 0);
  }
}

TEST(OnvifLogin, ACameraThatTakesEveryLoginIsKnownAsOpen) {
  FakeOnvifCamera camera(Auth::Token);
  camera.noAuth = true;
  auto camTemp = Target(camera, u"", u"");
  EXPECT_EQ(camTemp->LoginState(), device::LoginGranted) << "no login needed";
  camTemp->LoginID(u"anyone");
  camTemp->LoginPassword(u"x");
  ASSERT_EQ(camTemp->Connect(), 1);
  EXPECT_EQ(camTemp->GetSettingNumber(protocol::NoLoginKey), -1);
  // Without a read it refuses, a new password cannot be confirmed: said so, not a failure.
  KeepSettings(*camTemp, u"anyone", u"n3w", u"127.0.0.1", u"255.0.0.0", u"127.0.0.254");
  camTemp->LoginID(u"anyone");
  camTemp->LoginPassword(u"x");
  EXPECT_NO_THROW(camTemp->ApplySettings(1, 0));
}

TEST(OnvifLogin, ACameraTooSlowToAnswerGetsAMessageOfOurs) {
  FakeOnvifCamera camera(Auth::Token);
  camera.answerDelayMs = 1500;  // the test's limit is 1 s
  auto camTemp = Target(camera, u"", u"");
  try {
    camTemp->LoginState();
    ADD_FAILURE() << "a silent result";
  } catch (const device::CameraControlError& error) {
    EXPECT_STREQ(error.what(), "the camera at 127.0.0.1 did not answer within 1 s");
  }
  std::u16string id = u"admin", password = u"1234";
  EXPECT_THROW(camTemp->Login(id, password), device::CameraControlError);
}

TEST(OnvifLogin, ANewTargetNeverGetsTheEarlierCamerasLogin) {
  FakeOnvifCamera first(Auth::Token);
  FakeOnvifCamera second(Auth::DigestMd5);
  auto camTemp = Target(first, u"", u"", u"0.12.34.255.1.2");
  ASSERT_EQ(DialogLogin(*camTemp, u"admin", u"1234"), device::LoginGranted);
  // The next launch, on another camera, in the launch's order.
  camTemp->ProtocolOption(protocol::OnvifProtocolOption);
  camTemp->TargetAddress(u"127.0.0.1");
  camTemp->TargetMac(u"0.12.34.255.1.9");
  camTemp->TargetPort(second.port());
  EXPECT_EQ(camTemp->LoginID(), u"");
  EXPECT_EQ(camTemp->LoginPassword(), u"");
  EXPECT_EQ(camTemp->LoginState(), device::LoginNeeded);
  std::u16string id = u"admin", wrong = u"typo";
  EXPECT_EQ(camTemp->Login(id, wrong), device::LoginNeeded) << "the typed password, not the earlier camera's";
  EXPECT_EQ(camTemp->Connect(), 0);
  EXPECT_EQ(second.Count(u"GetDeviceInformation"_qs), 2) << "the probe and the typed login: " << second.log.size();
  for (const QString& line : second.log) EXPECT_NE(line, u"GetDeviceInformation by admin"_qs);
}

TEST(OnvifApply, ChangesThatTakeEffectLateAreWaitedForAndTheRebootFollowsTheCamera) {
  for (const Auth auth : {Auth::Token, Auth::DigestMd5}) {
    FakeOnvifCamera camera(auth);
    camera.lateMs = 400;
    auto camTemp = Target(camera, u"admin", u"1234");
    ASSERT_EQ(camTemp->Connect(), 1);
    KeepSettings(*camTemp, u"admin", u"n3w", u"127.0.0.2", u"255.0.0.0", u"127.0.0.1");
    EXPECT_NO_THROW(camTemp->ApplySettings(1, 0));
    EXPECT_EQ(camera.users.at(u"admin"_qs), u"n3w"_qs);
    EXPECT_EQ(camera.address, u"127.0.0.2"_qs);
    EXPECT_EQ(camera.gateway, u"127.0.0.1"_qs);
    EXPECT_EQ(camTemp->LoginPassword(), u"n3w") << "the credentials in use are the camera's";
    camTemp->Restart();
    ASSERT_EQ(camera.log.back(), u"SystemReboot by admin"_qs);
    EXPECT_EQ(camera.answeredAt.back(), u"127.0.0.2"_qs) << "the reboot goes where the camera is";
  }
}

TEST(OnvifApply, ACameraThatChangesNothingIsReportedNeverDone) {
  FakeOnvifCamera camera(Auth::Token);
  camera.ignoresAll = true;
  auto camTemp = Target(camera, u"admin", u"1234");
  ASSERT_EQ(camTemp->Connect(), 1);
  KeepSettings(*camTemp, u"admin", u"n3w", u"127.0.0.2", u"255.0.0.0", u"127.0.0.1");
  const std::string message = ApplyFailure(*camTemp);
  for (const char* named : {"the password did not take", "the gateway did not take", "the address did not take"}) {
    EXPECT_NE(message.find(named), std::string::npos) << named << " in: " << message;
  }
  EXPECT_EQ(camTemp->LoginPassword(), u"1234") << "still the password that works";
  EXPECT_EQ(camTemp->Connect(), 1);
  EXPECT_EQ(camTemp->UnconfirmedSettings(), u"") << "nothing was written";
}

TEST(OnvifApply, AGatewayTheCameraCannotReportDoesNotHoldUpTheAddress) {
  FakeOnvifCamera camera(Auth::Token);
  camera.reportsNoGateway = true;
  auto camTemp = Target(camera, u"admin", u"1234");
  ASSERT_EQ(camTemp->Connect(), 1);
  EXPECT_EQ(camTemp->GetSettingText(u"SysDefaultGateway"), u"");
  KeepSettings(*camTemp, u"admin", u"1234", u"127.0.0.2", u"255.0.0.0", u"127.0.0.1");
  EXPECT_NO_THROW(camTemp->ApplySettings(1, 0)) << "written, not confirmed: not a failure";
  EXPECT_EQ(camera.gateway, u"127.0.0.1"_qs);
  EXPECT_EQ(camera.address, u"127.0.0.2"_qs);
  EXPECT_EQ(camTemp->UnconfirmedSettings(),
            u"the gateway 127.0.0.1 was written, not confirmed (the camera reports no gateway)")
      << "said as such";
}

}  // namespace
