// The cost of the discovery codec per datagram: a search of 1000 cameras
// parses about 3000 answers, so this bounds the component's own share.
#include <benchmark/benchmark.h>

#include "protocol/protocol.h"

namespace {

protocol::Message Answer() {
  protocol::Message m;
  m.kind = protocol::Kind::Here;
  m.nonce = QStringLiteral("0123456789abcdef");
  m.mac = QStringLiteral("0.12.34.255.1.2");
  m.address = QStringLiteral("127.0.1.5");
  m.mask = QStringLiteral("255.255.255.0");
  m.gateway = QStringLiteral("127.0.1.1");
  m.mode = QStringLiteral("X-350");
  m.caption = QStringLiteral("Front door");
  m.version = QStringLiteral("2.10.001");
  m.family = 2;
  m.port = 80;
  return m;
}

void ParseAnswer(benchmark::State& state) {
  const QByteArray datagram = protocol::BuildDatagram(Answer());
  for (auto _ : state) benchmark::DoNotOptimize(protocol::ParseDatagram(datagram));
}
BENCHMARK(ParseAnswer);

void RejectGarbage(benchmark::State& state) {
  const QByteArray datagram(1400, '{');
  for (auto _ : state) benchmark::DoNotOptimize(protocol::ParseDatagram(datagram));
}
BENCHMARK(RejectGarbage);

void BuildAnswer(benchmark::State& state) {
  const protocol::Message answer = Answer();
  for (auto _ : state) benchmark::DoNotOptimize(protocol::BuildDatagram(answer));
}
BENCHMARK(BuildAnswer);

void LoginProof(benchmark::State& state) {
  protocol::Message login;
  login.kind = protocol::Kind::LoginRequest;
  login.nonce = QStringLiteral("0123456789abcdef");
  login.mac = QStringLiteral("0.12.34.255.1.2");
  login.id = QStringLiteral("admin");
  login.challenge = QStringLiteral("00112233445566778899aabbccddeeff");
  for (auto _ : state) benchmark::DoNotOptimize(protocol::Proof(login, QStringLiteral("secret")));
}
BENCHMARK(LoginProof);

}  // namespace

BENCHMARK_MAIN();
