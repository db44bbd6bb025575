#!/usr/bin/env bash
# Builds the pattern engine's fuzzer with clang (sanitizers on) and runs it for
# a minute on a copy of the saved corpus. Fails on any crash, sanitizer report
# or inconsistent answer. Inputs that merely run long are not failures: the
# engine is exponential on nested repetition by design.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/fuzz
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DSENTROVA_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-Wno-unknown-warning-option >/dev/null
cmake --build "$build" --target sentrova_regex_fuzz -j"$(nproc)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/artifacts"
cp tests/regex/corpus/* "$work/corpus/"
# In fork mode libFuzzer ends with the timeout exit code (70) once it has met a
# slow input, even with -ignore_timeouts; only a crash, leak or out-of-memory
# artifact, or any other exit code, is a failure.
status=0
"$build/tests/regex/sentrova_regex_fuzz" "$work/corpus" -fork=1 -ignore_timeouts=1 -timeout=10 \
  -max_total_time=60 -max_len=80 -rss_limit_mb=2048 -artifact_prefix="$work/artifacts/" 2>"$work/log" || status=$?
failures=$(find "$work/artifacts" -type f ! -name 'timeout-*' | wc -l)
if [ "$failures" -gt 0 ] || { [ "$status" -ne 0 ] && [ "$status" -ne 70 ]; }; then
  tail -n 60 "$work/log" >&2
  mkdir -p "$build/artifacts" && cp -r "$work/artifacts/." "$build/artifacts/"
  echo "fuzz-smoke: the pattern engine crashed (exit $status); inputs kept in $build/artifacts" >&2
  exit 1
fi
slow=$(find "$work/artifacts" -type f -name 'timeout-*' | wc -l)
echo "fuzz-smoke: no crash in 60 s of fuzzing the pattern engine ($slow slow inputs, exponential by design)"
