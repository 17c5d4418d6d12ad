#!/usr/bin/env bash
# install [PREFIX]: installs what build-programs/ (or $QUILLMOOR_BUILD) holds under PREFIX
#   (default /usr/local) and remembers what it put there: the files in
#   build-programs/install_manifest.txt (CMake's list), the directories it had
#   to create in build-programs/install_dirs.txt.
# uninstall: removes those files, then those directories when they are empty.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${QUILLMOOR_BUILD:-build-programs}
manifest=$build/install_manifest.txt
created=$build/install_dirs.txt

stage=
trap '[[ -n $stage ]] && rm -rf "$stage"' EXIT

install() {
  local prefix=${1:-/usr/local} dirs
  if [[ ! -x $build/quillmoor-mothwake ]]; then
    echo "Nothing to install yet: run 'make programs' (as yourself) first." >&2
    exit 1
  fi
  # A staged install first shows which directories the real one will create.
  stage=$(mktemp -d "${TMPDIR:-/tmp}/quillmoor-stage.XXXXXX")
  DESTDIR=$stage cmake --install "$build" --prefix "$prefix" >/dev/null
  dirs=$(
    [[ -f $created ]] && cat "$created"
    (cd "$stage" && find . -mindepth 1 -type d | sed 's|^\.||') | while IFS= read -r dir; do
      [[ -d $dir ]] || echo "$dir"
    done
  )
  scripts/quiet.sh "Installing under $prefix" cmake --install "$build" --prefix "$prefix"
  [[ -n $dirs ]] && sort -u <<<"$dirs" >"$created"
  while IFS= read -r file || [[ -n $file ]]; do echo "  $file"; done <"$manifest"
}

uninstall() {
  if [[ ! -f $manifest ]]; then
    echo "Nothing to uninstall: $manifest is missing (make install writes it)." >&2
    exit 1
  fi
  echo "Removing the files listed in $manifest"
  # CMake ends the list without a newline: the last line counts too.
  while IFS= read -r file || [[ -n $file ]]; do
    if [[ -e $file || -L $file ]]; then
      rm -f -- "$file"
      echo "  $file"
    fi
  done <"$manifest"
  # Deepest first, so a directory's emptied children are gone before it.
  if [[ -f $created ]]; then
    sort -r "$created" | while IFS= read -r dir; do
      rmdir -- "$dir" 2>/dev/null && echo "  $dir/" || true
    done
  fi
  rm -f "$manifest" "$created"
}

case ${1:-} in
  install) install "${2:-}" ;;
  uninstall) uninstall ;;
  *) echo "usage: $0 install [PREFIX] | uninstall" >&2; exit 2 ;;
esac
