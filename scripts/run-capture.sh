#!/usr/bin/env bash
# The capture module end to end on this machine: installs the packages, builds, prepares the
# embedded default under the user's data folder and opens the capture window for the sample
# patient. With an X display a person uses the window; without one (or with QUIVA_HEADLESS=1) a
# short scripted session takes a still and a recording, saves them and prints where they went.
#
#   QUIVA_SKIP_INSTALL=1   do not run scripts/install-deps.sh
#   QUIVA_BUILD_DIR        build folder (default build/)
#   QUIVA_DATA_DIR         data folder (default $XDG_DATA_HOME/quiva, else ~/.local/share/quiva)
set -euo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
build=${QUIVA_BUILD_DIR:-$src/build}
data=${QUIVA_DATA_DIR:-${XDG_DATA_HOME:-$HOME/.local/share}/quiva}

if [ "${QUIVA_SKIP_INSTALL:-0}" != 1 ]; then
  bash "$src/scripts/install-deps.sh"
fi
# A build folder configured once is not configured again: its build runs cmake itself when a
# CMakeLists.txt changed. A fresh folder is configured with Ninja when it is there (its build
# of what is current takes a fraction of a second), else with make.
if [ ! -f "$build/CMakeCache.txt" ] || { [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; }; then
  generator=()
  if [ ! -f "$build/CMakeCache.txt" ] && command -v ninja >/dev/null; then generator=(-G Ninja); fi
  cmake -S "$src" -B "$build" "${generator[@]}" >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target quiva-host QUIVACaptureManager HRBSConst HRBCrypto

bash "$src/scripts/prepare-clinic.sh" "$data" "$build"
drive=$data/d
clinic=$drive/HRB4100

export QUIVA_DRIVE_D=$drive
export QUIVA_DEVICES=$data/devices.txt
export PATH=$build/monitor/bin:$PATH
cd "$data"
host=$build/bin/quiva-host
today=$(date +%Y-%m-%d)

if [ -n "${DISPLAY:-}" ] && [ "${QUIVA_HEADLESS:-0}" != 1 ]; then
  exec "$host" --chart 12345 --date "$today"
fi

export QUIVA_HEADLESS=1
# The image directory keeps what earlier runs saved: this run's save adds its still and recording.
saved=$(find "$clinic/IMAGE" -mindepth 5 -maxdepth 5 -type f | wc -l)
"$host" --script - <<SCRIPT
parent
show 12345 $today
wait-preview 60000
print
activate
key space
wait-files "$clinic/temp/image/12345/*/*/*.jpg" 1 60000
key f6
wait 2000
key f6
wait-text "$clinic/temp/image/12345/*/*/info.xml" .avi 60000
key ctrl+s
wait-files "$clinic/IMAGE/*/*/*/*/*" $((saved + 2)) 60000
click 20 50
wait-closed 60000
expect-shown 0
SCRIPT
echo "Temporary store (what was not saved): $clinic/temp/image"
find "$clinic/temp" -type f 2>/dev/null | sed 's/^/  /' || true
echo "Image directory (saved stills and recordings): $clinic/IMAGE"
find "$clinic/IMAGE" -type f | sed 's/^/  /'
echo "Database $clinic/HRB4100.db:"
python3 - "$clinic/HRB4100.db" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
for table in ("MMAIN", "MIMG"):
    for row in db.execute(f"SELECT * FROM {table}"):
        print(f"  {table} {row}")
PY
