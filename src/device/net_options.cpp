#include "device/net_options.h"

#include <QStringList>
#include <algorithm>
#include <optional>

namespace device {
namespace {

// Every IPv4 address of the interface; under loopback confinement only those
// in 127.0.0.0/8, and no broadcast.
std::optional<ChosenInterface> WithIPv4(const QNetworkInterface& interface, bool loopbackOnly) {
  ChosenInterface chosen{interface, {}};
  for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
    if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol) continue;
    if (!loopbackOnly) {
      chosen.sources.push_back({entry.ip(), entry.broadcast()});
    } else if (protocol::IsLoopback(entry.ip().toString())) {
      chosen.sources.push_back({entry.ip(), QHostAddress()});
    }
  }
  if (chosen.sources.empty()) return std::nullopt;
  return chosen;
}

bool IsUp(const QNetworkInterface& interface) {
  return interface.flags().testFlag(QNetworkInterface::IsUp) &&
         interface.flags().testFlag(QNetworkInterface::IsRunning);
}

bool IsLoopbackInterface(const QNetworkInterface& interface) {
  return interface.flags().testFlag(QNetworkInterface::IsLoopBack);
}

}  // namespace

std::vector<ChosenInterface> SearchableInterfaces() {
  std::vector<ChosenInterface> searchable;
  for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
    if (!IsUp(interface) || IsLoopbackInterface(interface) ||
        !interface.flags().testFlag(QNetworkInterface::CanMulticast)) {
      continue;
    }
    if (std::optional<ChosenInterface> chosen = WithIPv4(interface, false)) searchable.push_back(*chosen);
  }
  return searchable;
}

InterfaceChoice ChooseInterfaces(const QStringList& interfaceNames) {
  InterfaceChoice choice;
  if (interfaceNames.isEmpty()) {
    choice.interfaces = SearchableInterfaces();
    return choice;
  }
  std::vector<QNetworkInterface> named;
  for (const QString& name : interfaceNames) {
    const QNetworkInterface interface = QNetworkInterface::interfaceFromName(name);
    if (!interface.isValid()) {
      choice.error = QStringLiteral("unknown interface \"%1\"").arg(name);
    } else if (!IsUp(interface)) {
      choice.error = QStringLiteral("interface \"%1\" is down").arg(name);
    } else if (std::none_of(named.begin(), named.end(),
                            [&](const QNetworkInterface& one) { return one.index() == interface.index(); })) {
      named.push_back(interface);
    }
    if (!choice.error.isEmpty()) return choice;
  }
  choice.loopbackOnly = std::any_of(named.begin(), named.end(), IsLoopbackInterface);
  if (choice.loopbackOnly && named.size() > 1) {
    choice.error = QStringLiteral("the loopback interface confines to 127.0.0.0/8 and cannot be chosen with another");
    return choice;
  }
  for (const QNetworkInterface& interface : named) {
    std::optional<ChosenInterface> chosen = WithIPv4(interface, choice.loopbackOnly);
    if (!chosen) {
      choice.error = QStringLiteral("interface \"%1\" has no IPv4 address").arg(interface.name());
      choice.interfaces.clear();
      return choice;
    }
    choice.interfaces.push_back(*chosen);
  }
  return choice;
}

QString InterfaceNetworks(const QString& interfaceName) {
  QStringList networks;
  for (const QNetworkAddressEntry& entry : QNetworkInterface::interfaceFromName(interfaceName).addressEntries()) {
    if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol) continue;
    networks << QStringLiteral("%1/%2 on %3").arg(entry.ip().toString()).arg(entry.prefixLength()).arg(interfaceName);
  }
  return networks.join(QStringLiteral(", "));
}

bool IsOutsideNetworks(const QString& address, const QString& interfaceName) {
  if (interfaceName.isEmpty()) return false;
  return IsOutsideNetworks(address, QNetworkInterface::interfaceFromName(interfaceName).addressEntries());
}

bool IsOutsideNetworks(const QString& address, const QList<QNetworkAddressEntry>& networks) {
  if (!protocol::IsIPv4(address) || protocol::IsLoopback(address)) return false;
  const QHostAddress camera(address);
  bool hasNetwork = false;  // an interface without IPv4 networks tells nothing
  for (const QNetworkAddressEntry& entry : networks) {
    if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol) continue;
    hasNetwork = true;
    if (camera.isInSubnet(entry.ip(), entry.prefixLength())) return false;
  }
  return hasNetwork;
}

bool MayContact(const InterfaceChoice& choice, const QString& address) {
  // A named interface that cannot be used confines to nothing at all.
  if (!choice.error.isEmpty()) return false;
  if (IsScopedLinkLocal(address)) {
    const QString scope = QHostAddress(address).scopeId();
    return !choice.loopbackOnly && std::any_of(choice.interfaces.begin(), choice.interfaces.end(),
                                               [&](const ChosenInterface& one) { return one.interface.name() == scope; });
  }
  if (!protocol::IsIPv4(address)) return false;
  return !choice.loopbackOnly || protocol::IsLoopback(address);
}

bool IsScopedLinkLocal(const QString& address) {
  const qsizetype percent = address.indexOf(u'%');
  if (percent <= 0 || percent == address.size() - 1 || address.size() > 80) return false;
  const QHostAddress host(address);
  return host.protocol() == QAbstractSocket::IPv6Protocol && host.isLinkLocal() && !host.scopeId().isEmpty();
}

}  // namespace device
