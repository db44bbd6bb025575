#pragma once
// The fleet a simulator plays: each camera's fixed identity, its starting
// settings and the faults it plays. Read from a JSON file or generated.
//
// Fleet file:
//   {"cameras": [
//     {"mac": "0.12.34.77.0.10", "family": 2, "mode": "X-350", "caption": "Front door",
//      "version": "2.10.001", "wireless": true,
//      "settings": {"SysIPAddress": "127.77.0.10", "SysAdminID": "admin", ...},
//      "protocols": ["sentrova", "onvif"], "macScope": true, "httpPort": 8080, "answersProbes": true,
//      "faults": {"refuseConnections": false, "answerDelayMs": 0,
//                 "dropShare": 0.0, "dieDuringApply": false,
//                 "clockSkewSeconds": 0, "rebootNeeded": false,
//                 "digestOnly": false, "usernameTokenOnly": false,
//                 "refuseOperations": ["SetNetworkInterfaces"],
//                 "writesIgnored": false, "openReads": false, "refusalAs400": false,
//                 "emptyGateway": false, "settleMs": 0, "rebootAnswerMs": 0}}]}
// "mac", settings.SysIPAddress and (for a camera speaking our own protocol)
// "family" are required; everything else has a default. "protocols" is
// ["sentrova"] unless given; an ONVIF-only camera serves its ONVIF services
// on port 80 unless "httpPort" names another (only such a camera may: our
// own protocol's port follows the family). Unknown fields are refused so
// that a typo is not silently ignored.
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace camd {

struct Faults {
  bool refuseConnections = false;  // HTTP port closed; discovery still answers
  int answerDelayMs = 0;           // every answer (UDP, HTTP, ONVIF and WS-Discovery) this much later
  double dropShare = 0.0;          // share of datagrams lost, in and out
  bool dieDuringApply = false;     // the process aborts halfway through saving
  // ONVIF only:
  int clockSkewSeconds = 0;        // the camera's clock this far from true time
  bool rebootNeeded = false;       // SetNetworkInterfaces takes effect on SystemReboot
  bool digestOnly = false;         // UsernameToken is not accepted
  bool usernameTokenOnly = false;  // HTTP Digest is not offered
  QStringList refuseOperations;    // answered with a ter:Action fault after the login, nothing changed
  bool writesIgnored = false;      // Set*, CreateUsers, DeleteUsers, SystemReboot: success, nothing changed
  bool openReads = false;          // GetUsers answered without a login
  bool refusalAs400 = false;       // a refused login is HTTP 400 with ter:NotAuthorized, never 401
  bool emptyGateway = false;       // GetNetworkDefaultGateway names no address
  int settleMs = 0;                // a new account, address or gateway takes effect this long after the answer
  int rebootAnswerMs = 0;          // SystemReboot is answered this long after the request
};

struct CameraProfile {
  QString mac;  // six decimal numbers joined by "."
  int family = 2;
  QString mode;
  QString caption;
  QString version;
  bool wireless = false;
  bool sentrova = true;       // answers our own discovery and setup API
  bool onvif = false;         // answers WS-Discovery and the ONVIF services
  bool macScope = true;       // ONVIF scopes name the MAC
  bool answersProbes = true;  // false: an ONVIF camera only announces itself (its answers go elsewhere)
  quint16 httpPort = 0;       // an ONVIF-only camera's service port; 0: the family's
  // ONVIF: also answers probes to [ff02::c] and serves its device service at
  // the cameras' interface's IPv6 link-local address.
  bool ipv6LinkLocal = false;
  QJsonObject settings;  // complete and valid
  Faults faults;
};

// Parses a fleet file's content. `loopbackOnly` refuses addresses outside
// 127.0.0.0/8. On failure returns nothing and sets `error`.
std::optional<std::vector<CameraProfile>> ParseFleet(const QByteArray& json, bool loopbackOnly, QString& error);

// `count` cameras from `firstAddress` on, a mix of both families, wired and
// wireless, and versions that do and do not pass the firmware version test.
std::optional<std::vector<CameraProfile>> GenerateFleet(int count, const QString& firstAddress, bool loopbackOnly,
                                                        QString& error);

// The firmware version test: "0" at position 4 and "001" at positions 6-8.
bool VersionRestartsOnRequest(const QString& version);

}  // namespace camd
