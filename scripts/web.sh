#!/usr/bin/env bash
# make web: the browser page and the Node renderer in build-web/, with
# Debian's Emscripten. Everything here is decided after deps.sh has installed
# Emscripten, so a first run on a bare machine sees the same cache as a second.
# Emscripten's cache of system libraries must be writable: the shared one
# where it is (root), otherwise a private one inside build-web that links to
# the shared one's files, because Debian's Emscripten will not build into an
# empty cache. One line per step, as make run, and the page's path at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

scripts/deps.sh web
export NODE_PATH=/usr/share/nodejs
shared=/usr/share/emscripten/cache
if [[ ! -w $shared ]]; then
  export EM_CACHE=$PWD/build-web/em-cache
  if [[ ! -d $EM_CACHE && -d $shared ]]; then
    mkdir -p build-web
    rm -rf "$EM_CACHE.tmp"
    cp -rs "$shared" "$EM_CACHE.tmp" && mv "$EM_CACHE.tmp" "$EM_CACHE"
  fi
fi
scripts/quiet.sh "Configuring (build-web/)" cmake --preset web
scripts/quiet.sh "Building the page and the Node renderer with Emscripten (minutes the first time)" \
  cmake --build build-web -j "$jobs"
page=build-web/quillmoor-mothwake.html
echo "$page ($(( ($(stat -c %s "$page") + 512) / 1024 )) KB)"
