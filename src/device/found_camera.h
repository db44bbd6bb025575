#pragma once
// A camera heard in a search, and the list one search gathers them in: the
// first cameras heard are kept up to the row cap, each camera once, and a
// row keeps the protocol it was listed with. Every check costs the same
// however many rows there are, so a flood of answers cannot slow the search.
#include <QHash>
#include <QSet>
#include <QString>
#include <vector>

namespace device {

struct FoundCamera {
  QString mac;
  QString address;
  QString mask;
  QString gateway;
  QString mode;
  QString caption;
  QString version;
  int family = 0;
  int port = 0;      // its setup API's, or an ONVIF camera's device service's
  QString endpoint;  // an ONVIF camera's EndpointReference address; empty for our own protocol
  QString path;      // an ONVIF camera's device service path; empty for our own protocol

  // How the row came to be: a search's answer, the camera's own announcement
  // (WS-Discovery Hello), or an address the user gave.
  enum class Origin { Search, Announced, ByAddress };
  Origin origin = Origin::Search;
  bool gone = false;      // the camera said Bye since it was listed
  QString interfaceName;  // the interface it was heard on; empty when not known
  bool outside = false;   // its address lies in none of that interface's networks
  QString linkLocal;      // its device service's IPv6 link-local address with scope ("fe80::1%eth0"), when offered
};

// What the list says beside a row about how its camera is reached ("other
// network", "announced", "added by address", "gone (said Bye)"); empty for a
// camera that answered the search on one of the computer's networks.
QString RowNote(const FoundCamera& camera);

class FoundList {
 public:
  explicit FoundList(int cap) : cap_(cap) {}

  // Whether a camera heard was listed. Added: a new row (the last of
  // cameras()); Held: an ONVIF camera kept back until Release.
  enum class Heard { Added, Held, Again, SameCamera, LeftOut };

  // A camera of our own protocol, as it answered from its address.
  Heard AddOwn(const FoundCamera& camera);
  // An ONVIF camera, one match of an answer from its address. A camera
  // heard over IPv6 link-local is the same camera as the rows with its
  // endpoint: they take its linkLocal, the first one heard for the endpoint,
  // and so does a row of that endpoint listed later. While held
  // (the first answers of our own protocol are still due), it waits so that
  // a camera answering both protocols is listed once, as ours.
  Heard AddOnvif(const FoundCamera& camera);
  void HoldOnvif() { holding_ = true; }
  // Lists the ONVIF cameras held back (each one not heard meanwhile as ours)
  // and returns how many rows that added at the end of cameras().
  int ReleaseOnvif();

  // Cap reached: nothing more is read, only counted.
  bool full() const { return static_cast<int>(rows_.size() + held_.size()) >= cap_; }
  // An answer from `address` not read because the list was full; counted
  // once per address that holds no row.
  void LeftOutFrom(const QString& address);
  // At least this many cameras answered beyond the cap (counted by address).
  int leftOut() const { return static_cast<int>(leftOutAt_.size()); }

  const std::vector<FoundCamera>& cameras() const { return rows_; }
  // How many rows stand at an address.
  int RowsAt(const QString& address) const { return rowsAt_.value(address); }

 private:
  bool SameAsOwn(const FoundCamera& onvif) const;
  bool SameAsOnvif(const FoundCamera& own) const;
  void ListOnvif(const FoundCamera& camera);
  void GiveLinkLocal(const QString& endpoint, const QString& linkLocal);

  int cap_;
  bool holding_ = false;
  std::vector<FoundCamera> rows_;
  std::vector<FoundCamera> held_;
  QHash<QString, int> rowsAt_;             // address: rows listed or held there
  QSet<QString> ownKeys_;                  // MAC@address of our own protocol's rows
  QSet<QString> ownMacs_;                  // their MACs
  QHash<QString, int> ownAt_;              // address: our own protocol's rows there
  QSet<QString> onvifKeys_;                // endpoint@address heard (listed or held)
  QSet<QString> endpoints_;                // their endpoints
  QSet<QString> onvifMacKeys_;             // MAC@address of listed ONVIF rows that name their MAC
  QHash<QString, int> onvifAt_;            // address: listed ONVIF rows there
  QHash<QString, int> onvifMacUnknownAt_;  // address: listed ONVIF rows there without a MAC
  QSet<QString> leftOutAt_;
  QHash<QString, QString> linkLocals_;  // endpoint: the link-local address it was heard at
};

}  // namespace device
