#!/usr/bin/env bash
# Builds the storage client benchmark optimised and runs it against storescu.
# Usage: bash bench/run-dicom-store.sh [objects-per-kind]
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUIVA_BENCH_BUILD_DIR:-$top/build-bench}
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUIVA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_dicom_store -j "${QUIVA_JOBS:-4}" >/dev/null
"$build/bench/bench_dicom_store" "${1:-20}"
