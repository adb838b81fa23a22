#!/usr/bin/env bash
# Prepares a clinic for the capture module in DATA_DIR: drive D (DATA_DIR/d) holding the clinic's
# data folder HRB4100 with its exe folder, the stand-in helper libraries from BUILD_DIR with an
# account file, an SQLite clinic database with two sample patients (12345 홍길동, 67890 김영희),
# two study names, the image directory D:\HRB4100\IMAGE and the institution number, and the
# synthetic capture card in DATA_DIR/devices.txt. An account file and a database already there
# are kept; the helper libraries and the capture card are written anew.
#
#   prepare-clinic.sh DATA_DIR BUILD_DIR
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
data=$1
build=$2
# The clinic's data folder is HRB4100 on drive D, which stands for $data/d.
drive=$data/d
clinic=$drive/HRB4100
exe=$clinic/exe
mkdir -p "$exe" "$clinic/IMAGE"
cp "$build"/host/HRBSConst.dll "$build"/host/HRBCrypto.dll "$exe/"
if [ ! -f "$exe/HRBAccount.ini" ]; then
  # The embedded database file needs no password; the helper libraries hand this account on.
  (umask 077 && printf '[0]\nuser=dba\npassword=local\n' > "$exe/HRBAccount.ini")
fi
if [ ! -f "$clinic/HRB4100.db" ]; then
  python3 - "$src/resources/db/sqlite.sql" "$src/resources/db/sample-clinic.sql" "$clinic/HRB4100.db" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[3])
for script in sys.argv[1:3]:
    db.executescript(open(script, encoding="utf-8").read())
db.commit()
PY
fi
# The synthetic capture card, seen alike by the device monitor and the capture module.
printf 'card "QUIVA Capture Card"\n' > "$data/devices.txt"

