#!/bin/sh
# Usage: requires.sh "PROGRAM..." COMMAND [ARG...]
# Runs COMMAND when every PROGRAM is installed. Otherwise prints which are
# missing and the packages that bring them, and exits 77: CTest counts the
# test as skipped, not failed.
needs=$1
shift
missing=
for program in $needs; do
  command -v "$program" >/dev/null 2>&1 || missing="$missing $program"
done
if [ -n "$missing" ]; then
  packages=$(for program in $missing; do
    case $program in
      Xvfb) echo xvfb ;;
      xwininfo | xdpyinfo | xprop) echo x11-utils ;;
      xrandr) echo x11-xserver-utils ;;
      xscreensaver*) echo xscreensaver ;;
      convert | identify) echo imagemagick ;;
      kwin_wayland) echo kwin-wayland ;;
      dbus-run-session | dbus-send) echo dbus ;;
      *) echo "$program" ;;
    esac
  done | sort -u | xargs)
  echo "skipped: this test needs$missing, not installed here; install with" \
       "'sudo apt-get install $packages' (or run scripts/deps.sh test as root)"
  exit 77
fi
exec "$@"
