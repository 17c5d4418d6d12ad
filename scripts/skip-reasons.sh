#!/usr/bin/env bash
# After a CTest run in the given build directory, prints each skipped test
# with the reason it gave: the "skipped: ..." line of an end-to-end test, or
# the message of a GoogleTest GTEST_SKIP.
set -euo pipefail
log=${1:-build}/Testing/Temporary/LastTest.log
[[ -f $log ]] || exit 0
awk '
  /^[0-9]+\/[0-9]+ Test: / { name = $3; next }
  /^skipped: / { print "  " name ": " substr($0, 10); next }
  /: Skipped$/ { wantReason = 1; next }
  wantReason { if ($0 != "") print "  " name ": " $0; wantReason = 0 }
' "$log" | sort -u | { mapfile -t lines; [[ ${#lines[@]} -eq 0 ]] || { echo "Skipped:"; printf '%s\n' "${lines[@]}"; }; }
