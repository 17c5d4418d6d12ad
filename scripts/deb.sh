#!/usr/bin/env bash
# Builds build-deb/quillmoor-mothwake_VERSION_ARCH.deb with dpkg-buildpackage
# from a copy of the source tree (dpkg-buildpackage writes its results beside
# the tree it builds, so the copy keeps them in build-deb/), then checks the
# package with lintian and that it holds both programs and no empty
# directory. The browser page goes in when build-web/ has it.
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

# dpkg-deb lists directories with a trailing slash; one that no other entry
# lies under is empty.
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for program in ./usr/bin/quillmoor-mothwake ./usr/bin/quillmoor-render; do
  if ! grep -qxF "$program" <<<"$contents"; then
    echo "$deb lacks $program" >&2
    exit 1
  fi
done
empty=$(awk '{ paths[NR] = $0 } END {
  for (i = 1; i <= NR; i++) if (paths[i] ~ /\/$/) {
    used = 0
    for (j = 1; j <= NR; j++) if (j != i && index(paths[j], paths[i]) == 1) { used = 1; break }
    if (!used) print paths[i]
  } }' <<<"$contents")
if [[ -n $empty ]]; then
  echo "$deb holds empty directories: $empty" >&2
  exit 1
fi
echo "$deb"
