#!/usr/bin/env bash
# Builds the fuzzers of the parsers of hostile input with clang (sanitizers on)
# in one build and runs them side by side on copies of their saved corpora:
# the pattern engine for a minute; the HTTP response reader, the discovery
# datagram codec, the camera control's ONVIF readers and the simulator's SOAP
# reader for 30 s each. Fails when a fuzzer cannot be built, and on any
# crash, sanitizer report or inconsistent answer. Inputs that merely run long
# are not failures: the engine is exponential on nested repetition by design.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/fuzz
mkdir -p "$build"
if ! cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DSENTROVA_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build/configure.log" 2>&1; then
  tail -n 40 "$build/configure.log" >&2
  echo "fuzz-smoke: FAILED to configure the fuzz build (clang with -DSENTROVA_FUZZ=ON in $build)" >&2
  exit 1
fi
if ! cmake --build "$build" -j"$(nproc)" --target sentrova_regex_fuzz sentrova_http_fuzz sentrova_datagram_fuzz \
  sentrova_onvif_fuzz sentrova_soap_fuzz; then
  echo "fuzz-smoke: FAILED to build the fuzzers in $build" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# run NAME PROGRAM SECONDS CORPUS [libFuzzer options]: fuzzes in the background
# on a copy of the corpus; the exit code lands in $work/NAME/status.
run() {
  local name=$1 program=$2 seconds=$3 corpus=$4
  shift 4
  mkdir -p "$work/$name/corpus" "$work/$name/artifacts"
  cp "$corpus"/* "$work/$name/corpus/"
  echo "$seconds" >"$work/$name/seconds"
  (
    status=0
    "$program" "$work/$name/corpus" -fork=1 -ignore_timeouts=1 -timeout=10 -max_total_time="$seconds" \
      -rss_limit_mb=2048 -artifact_prefix="$work/$name/artifacts/" "$@" 2>"$work/$name/log" || status=$?
    echo "$status" >"$work/$name/status"
  ) &
}
run regex "$build/tests/regex/sentrova_regex_fuzz" 60 tests/regex/corpus -max_len=80
run http "$build/tests/device/sentrova_http_fuzz" 30 tests/device/corpus/http -max_len=20000 \
  -dict=tests/device/corpus/http.dict
run datagram "$build/tests/device/sentrova_datagram_fuzz" 30 tests/device/corpus/datagram -max_len=2048 \
  -dict=tests/device/corpus/datagram.dict
run onvif "$build/tests/device/sentrova_onvif_fuzz" 30 tests/device/onvif_corpus -max_len=8192
run soap "$build/tests/camd/sentrova_soap_fuzz" 30 tests/camd/corpus/soap -max_len=8192
wait

# In fork mode libFuzzer ends with the timeout exit code (70) once it has met a
# slow input, even with -ignore_timeouts; only a crash, leak or out-of-memory
# artifact, or any other exit code, is a failure.
failed=0
for name in regex http datagram onvif soap; do
  status=$(cat "$work/$name/status")
  failures=$(find "$work/$name/artifacts" -type f ! -name 'timeout-*' | wc -l)
  slow=$(find "$work/$name/artifacts" -type f -name 'timeout-*' | wc -l)
  if [ "$failures" -gt 0 ] || { [ "$status" -ne 0 ] && [ "$status" -ne 70 ]; }; then
    tail -n 60 "$work/$name/log" >&2
    mkdir -p "$build/artifacts/$name" && cp -r "$work/$name/artifacts/." "$build/artifacts/$name/"
    echo "fuzz-smoke: the $name fuzzer FAILED (exit $status); inputs kept in $build/artifacts/$name" >&2
    failed=1
  else
    echo "fuzz-smoke: no crash in $(cat "$work/$name/seconds") s of fuzzing $name ($slow slow inputs)"
  fi
done
exit "$failed"
