#!/bin/bash
# Stands between XScreenSaver and the saver so the test can see how the saver
# ended: forwards SIGTERM and writes "STATUS MILLISECONDS" (from SIGTERM to the
# saver's exit, -1 when no SIGTERM came) to $QUILLMOOR_STATUS_FILE.
here=$(dirname "$0")
"$here/quillmoor-mothwake" "$@" &
child=$!
termed=
trap 'termed=$(date +%s%N); kill -TERM "$child" 2>/dev/null' TERM
wait "$child"
status=$?
# A wait cut short by the trap is followed by the one that gets the status;
# after a completed wait the child is gone and this one answers 127.
wait "$child" 2>/dev/null
again=$?
[[ $again -ne 127 ]] && status=$again
ms=-1
[[ -n $termed ]] && ms=$(( ($(date +%s%N) - termed) / 1000000 ))
echo "$status $ms" > "$QUILLMOOR_STATUS_FILE.tmp"
mv "$QUILLMOOR_STATUS_FILE.tmp" "$QUILLMOOR_STATUS_FILE"
