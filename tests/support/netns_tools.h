#pragma once
// What the tests and probe programs that make network namespaces share: the
// status that says "no namespaces here", commands run with and without a
// shell, a socket that hears every frame of an interface, waiting for a text
// in a log, and the "name=value" lines a probe reports in.
#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <sys/socket.h>

#include <QFile>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>
#include <cstdio>
#include <cstdlib>

namespace netns {

// A probe's exit status when it cannot make a namespace (ctest's
// SKIP_RETURN_CODE, and what the tests that start a probe look for).
inline constexpr int SkipStatus = 77;

// Runs one of the test's own fixed command lines through the shell.
inline bool Shell(const char* command) { return std::system(command) == 0; }
inline bool Shell(const QString& command) { return Shell(command.toLocal8Bit().constData()); }

// Runs a program with its arguments, no shell; true when it exits 0 within 10 s.
inline bool RunCommand(const QStringList& command) {
  QProcess process;
  process.start(command.first(), command.mid(1));
  return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// `ip` with its arguments run inside the named namespace. Through nsenter,
// which enters the network namespace only: "ip -n" and "ip netns exec" also
// remount / and /sys, which fails where / is not a mount point (a chroot).
inline QStringList Ip(const QString& netns, const QStringList& arguments) {
  return QStringList{QStringLiteral("nsenter"), QStringLiteral("--net=/run/netns/") + netns, QStringLiteral("ip")} +
         arguments;
}

// A raw socket that hears every frame of the interface; -1 when it cannot.
inline int OpenCapture(const char* interfaceName) {
  const int fd = socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ALL));
  if (fd < 0) return -1;
  sockaddr_ll address{};
  address.sll_family = AF_PACKET;
  address.sll_protocol = htons(ETH_P_ALL);
  address.sll_ifindex = static_cast<int>(if_nametoindex(interfaceName));
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
  return fd;
}

// Whether the file holds the text within timeoutMs.
inline bool WaitForText(const QString& path, const QString& text, int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; waited += 20) {
    QFile log(path);
    if (log.open(QIODevice::ReadOnly) && QString::fromUtf8(log.readAll()).contains(text)) return true;
    QThread::msleep(20);
  }
  return false;
}

// What a probe program printed (its "name=value" lines read into values)
// and its exit status; -1 when it did not end within timeoutMs.
struct ProbeRun {
  int status = -1;
  QString output;
  QMap<QString, QString> values;
};
inline ProbeRun RunProbe(const QString& program, const QStringList& arguments, int timeoutMs) {
  ProbeRun run;
  QProcess probe;
  probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  probe.start(program, arguments);
  if (!probe.waitForFinished(timeoutMs)) return run;
  run.status = probe.exitCode();
  run.output = QString::fromUtf8(probe.readAllStandardOutput());
  for (const QString& line : run.output.split(u'\n', Qt::SkipEmptyParts)) {
    run.values.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
  }
  return run;
}

inline void PrintValue(const char* name, const QString& value) { std::printf("%s=%s\n", name, qPrintable(value)); }
inline void PrintValue(const char* name, int value) { std::printf("%s=%d\n", name, value); }

}  // namespace netns
