#!/usr/bin/env bash
# Installs every Debian package the project needs (the list is scripts/debian-packages.txt).
# Safe to run again: packages already present are left as they are.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
mapfile -t pkgs < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$here/debian-packages.txt" | grep -v '^$')
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
# One query for the whole list (one a package costs seconds on a busy machine); a package dpkg
# does not know at all is simply not among the installed ones.
declare -A installed=()
while read -r name; do
  installed[$name]=1
done < <(dpkg-query -W -f='${Status} ${Package}\n' "${pkgs[@]}" 2>/dev/null | sed -n 's/^install ok installed //p')
missing=()
for p in "${pkgs[@]}"; do
  [ -n "${installed[$p]:-}" ] || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#pkgs[@]} packages present"
  exit 0
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
