#include "device/net_options.h"

#include <QStringList>
#include <algorithm>

namespace device {
namespace {

std::optional<ChosenInterface> WithIPv4(const QNetworkInterface& interface) {
  for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
    if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol) {
      return ChosenInterface{interface, entry.ip(), entry.broadcast()};
    }
  }
  return std::nullopt;
}

bool IsUp(const QNetworkInterface& interface) {
  return interface.flags().testFlag(QNetworkInterface::IsUp) &&
         interface.flags().testFlag(QNetworkInterface::IsRunning);
}

}  // namespace

InterfaceChoice ChooseInterfaces(const QString& interfaceName) {
  InterfaceChoice choice;
  if (!interfaceName.isEmpty()) {
    const QNetworkInterface interface = QNetworkInterface::interfaceFromName(interfaceName);
    if (!interface.isValid()) {
      choice.error = QStringLiteral("unknown interface \"%1\"").arg(interfaceName);
      return choice;
    }
    if (!IsUp(interface)) {
      choice.error = QStringLiteral("interface \"%1\" is down").arg(interfaceName);
      return choice;
    }
    std::optional<ChosenInterface> chosen = WithIPv4(interface);
    if (!chosen) {
      choice.error = QStringLiteral("interface \"%1\" has no IPv4 address").arg(interfaceName);
      return choice;
    }
    choice.loopbackOnly = interface.flags().testFlag(QNetworkInterface::IsLoopBack);
    if (choice.loopbackOnly) chosen->broadcast = QHostAddress();
    choice.interfaces.push_back(*chosen);
    return choice;
  }
  for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
    const auto flags = interface.flags();
    if (!IsUp(interface) || flags.testFlag(QNetworkInterface::IsLoopBack) ||
        !flags.testFlag(QNetworkInterface::CanMulticast)) {
      continue;
    }
    if (std::optional<ChosenInterface> chosen = WithIPv4(interface)) choice.interfaces.push_back(*chosen);
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
  return std::none_of(networks.begin(), networks.end(), [&](const QNetworkAddressEntry& entry) {
    return entry.ip().protocol() == QAbstractSocket::IPv4Protocol &&
           camera.isInSubnet(entry.ip(), entry.prefixLength());
  });
}

bool MayContact(const InterfaceChoice& choice, const QString& address) {
  // A named interface that cannot be used confines to nothing at all.
  if (!choice.error.isEmpty() || !protocol::IsIPv4(address)) return false;
  return !choice.loopbackOnly || protocol::IsLoopback(address);
}

}  // namespace device
