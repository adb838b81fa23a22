#!/usr/bin/env bash
# Builds every libFuzzer harness under fuzz/ with clang 14 (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a short time over its seed corpus. A finding
# fails the script; the input that caused it is kept under <build>/findings/<harness>/.
# An input that takes more than 2 GB or QUIVA_FUZZ_TIMEOUT seconds (default 10) is a finding.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUIVA_FUZZ_BUILD_DIR:-$top/build-fuzz}
seconds=${QUIVA_FUZZ_SECONDS:-20}
timeout=${QUIVA_FUZZ_TIMEOUT:-10}
seed=${QUIVA_FUZZ_SEED:-1}
runs=${QUIVA_FUZZ_RUNS:-200000}
CC=clang-14 CXX=clang++-14 cmake -S "$top" -B "$build" -DQUIVA_FUZZ=ON -DQUIVA_BUILD_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target fuzzers -j4
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
for harness in "$build"/fuzz/*_fuzzer; do
  name=$(basename "$harness" _fuzzer)
  corpus=$build/corpus/$name
  findings=$build/findings/$name
  mkdir -p "$corpus" "$findings"
  if [ -x "$build/fuzz/${name}_seeds" ]; then "$build/fuzz/${name}_seeds" "$corpus"; fi
  # The inputs that once found faults start the corpus too.
  if [ -d "$top/tests/data/findings/$name" ]; then cp "$top/tests/data/findings/$name"/* "$corpus"/; fi
  echo "fuzzing $name for ${seconds}s"
  # A fixed seed and run count make the run repeatable: a machine that is slower reaches the
  # time limit first and has then run a prefix of the same inputs.
  "$harness" -seed="$seed" -runs="$runs" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout="$timeout" \
    -artifact_prefix="$findings/" \
    -print_final_stats=1 "$corpus" 2>&1 | tail -n 20
  status=${PIPESTATUS[0]}
  if [ "$status" -ne 0 ]; then
    echo "fuzz: $name found a fault (exit $status); inputs in $findings" >&2
    exit 1
  fi
done
