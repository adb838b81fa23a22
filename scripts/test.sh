#!/usr/bin/env bash
# Builds the project with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test,
# after the fuzz harnesses and the threaded tests under ThreadSanitizer.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUIVA_TEST_BUILD_DIR:-$top/build-test}
bash "$top/scripts/install-deps.sh"
if [ -x "$top/scripts/start-services.sh" ]; then bash "$top/scripts/start-services.sh"; fi
# The fuzz harnesses run first, briefly, so that ctest's summary closes the output.
bash "$top/scripts/fuzz.sh"
# ThreadSanitizer: the threaded tests (platform, capture, device monitor, and the application's,
# whose recording tick and engines run off the UI thread) in a tree of their own that builds
# only those programs. A race or lock-order report fails the run; a test that
# only misses a wall-clock deadline under TSan's slowdown does not (the run below checks them).
tsan=${QUIVA_TSAN_BUILD_DIR:-$top/build-tsan}
cmake -S "$top" -B "$tsan" -DQUIVA_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$tsan" -j "$(nproc)" --target test_platform test_capture test_monitor test_app
TSAN_OPTIONS="suppressions=$top/scripts/tsan.supp second_deadlock_stack=1 ${TSAN_OPTIONS:-}" \
  ctest --test-dir "$tsan" -L '^test_(platform|capture|monitor|app)$' --output-on-failure -j "$(nproc)" \
  >"$tsan/tsan.log" 2>&1 || true
if grep -q "WARNING: ThreadSanitizer" "$tsan/tsan.log"; then
  cat "$tsan/tsan.log"
  echo "ThreadSanitizer found races (the reports are above and in $tsan/tsan.log)" >&2
  exit 1
fi
grep -E "tests passed|tests failed" "$tsan/tsan.log" | sed 's/^/ThreadSanitizer run: /'
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
