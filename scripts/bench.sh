#!/usr/bin/env bash
# Runs every benchmark binary.
set -euo pipefail
cd "$(dirname "$0")/.."
for b in build/bench/bench_*; do
  [[ -x "$b" ]] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_counters_tabular=true
done

# The desktop saver's CPU use beside two XScreenSaver programs.
if [[ -x build/quillmoor-mothwake ]]; then
  echo "== cpu-measure"
  scripts/cpu-measure.sh
fi
