#!/usr/bin/env bash
# Runs a command as one line of output: prints the step's name, keeps the
# command's output in a log, and shows that log only when the command fails.
# Usage: quiet.sh "Step name" command [args...]
set -uo pipefail
name=$1
shift
log=$(mktemp "${TMPDIR:-/tmp}/quillmoor-step.XXXXXX")
trap 'rm -f "$log"' EXIT
echo "$name"
"$@" >"$log" 2>&1
status=$?
if [[ $status -ne 0 ]]; then
  cat "$log" >&2
  echo "$name: failed (exit status $status)" >&2
  exit "$status"
fi
