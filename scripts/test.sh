#!/usr/bin/env bash
# Builds the project with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUIVA_TEST_BUILD_DIR:-$top/build-test}
bash "$top/scripts/install-deps.sh"
if [ -x "$top/scripts/start-services.sh" ]; then bash "$top/scripts/start-services.sh"; fi
# The fuzz harnesses run first, briefly, so that ctest's summary closes the output.
bash "$top/scripts/fuzz.sh"
cmake -S "$top" -B "$build" -DQUIVA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# The README's main job, headless, in a scratch data folder (once the capture module is built).
if [ -x "$build/bin/quiva-host" ]; then
  data=$(mktemp -d)
  QUIVA_SKIP_INSTALL=1 QUIVA_BUILD_DIR="$build" QUIVA_DATA_DIR="$data" QUIVA_HEADLESS=1 bash "$top/scripts/run-capture.sh"
  rm -rf "$data"
fi
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
