#!/usr/bin/env bash
# Makes sure the Debian packages of the named lists (scripts/packages/NAME.txt:
# build, test, bench, fuzz, web, windows, extras) are installed: as root it
# installs the missing ones, otherwise it prints the exact command to run.
# One line of output.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
[[ $# -gt 0 ]] || set -- build

wanted=()
for list in "$@"; do
  file="$here/packages/$list.txt"
  [[ -f $file ]] || { echo "deps.sh: no package list '$list' (have: $(cd "$here/packages" && ls | sed 's/\.txt$//' | xargs))" >&2; exit 2; }
  mapfile -t -O "${#wanted[@]}" wanted < <(grep -v -E '^\s*(#|$)' "$file")
done

missing=()
for pkg in $(printf '%s\n' "${wanted[@]}" | sort -u); do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done
if [[ ${#missing[@]} -eq 0 ]]; then
  echo "Packages ($*): all installed"
  exit 0
fi

if [[ $(id -u) -eq 0 ]]; then
  echo "Packages ($*): installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
else
  echo "Missing Debian packages. Run:" >&2
  echo "  sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
