#!/usr/bin/env bash
# Builds build-deb/quillmoor-mothwake_VERSION_ARCH.deb with dpkg-buildpackage
# from a copy of the source tree (dpkg-buildpackage writes its results beside
# the tree it builds, so the copy keeps them in build-deb/), then checks the
# package with lintian. The browser page goes in when build-web/ has it.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(dpkg-parsechangelog -S Version)
project=$(sed -n 's/^project(QuillmoorMothwake VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
if [[ $version != "$project" ]]; then
  echo "debian/changelog is at $version but CMakeLists.txt at $project: add a changelog entry first" >&2
  exit 1
fi
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
out=build-deb
src=$out/quillmoor-mothwake-$version
deb=$out/quillmoor-mothwake_${version}_$arch.deb

rm -rf "$out"
mkdir -p "$src"
tar -c --exclude=./.git --exclude=./build --exclude='./build-*' --exclude='__pycache__' . | tar -x -C "$src"
if [[ -f build-web/quillmoor-mothwake.html ]]; then
  mkdir -p "$src/build-web"
  cp build-web/quillmoor-mothwake.html "$src/build-web/"
fi

log=$out/build.log
echo "Building the package (log: $log)"
if ! (cd "$src" && DEB_BUILD_OPTIONS="parallel=$(nproc) noautodbgsym" dpkg-buildpackage -b -us -uc) >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "dpkg-buildpackage failed; the whole log is in $log" >&2
  exit 1
fi
rm -rf "$src"

echo "Checking it with lintian"
lintian --fail-on error,warning "$out"/quillmoor-mothwake_"${version}"_"$arch".changes
echo "$deb"
