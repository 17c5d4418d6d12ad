#!/usr/bin/env bash
# Renders a snapshot of the screen after 10 s of scene time and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${QUILLMOOR_SNAPSHOT:-build/snapshot.png}
build/quillmoor-render --screen 1920x1080 --frames 300 --out "$out"
echo "$out"
