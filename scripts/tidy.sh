#!/usr/bin/env bash
# clang-tidy (.clang-tidy's checks) over every source file of src/, with the
# compile commands of build/ci (configure it first, as scripts/test.sh does).
# Usage: scripts/tidy.sh [FILE...]   (default: every .cpp under src/)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${SENTROVA_BUILD:-build/ci}  # or another build folder: SENTROVA_BUILD=build
[ -f "$build/compile_commands.json" ] || cmake -S . -B "$build" -DSENTROVA_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Qt's generated headers (moc, uic, rcc) must exist before clang-tidy reads a file.
cmake --build "$build" -j"$(nproc)" --target sentrova_desktop_autogen sentrova_camd_autogen >/dev/null 2>&1 || true
if [ "$#" -eq 0 ]; then
  mapfile -t files < <(git ls-files 'src/*.cpp')
else
  files=("$@")
fi
# The build's GCC-only warning options are no concern of clang-tidy's.
run-clang-tidy -quiet -p "$build" -j"$(nproc)" -extra-arg=-Wno-unknown-warning-option "${files[@]}"
