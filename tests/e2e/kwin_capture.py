#!/usr/bin/env python3
"""Writes KWin's picture of the whole workspace, in device pixels, to a
binary PPM: kwin_capture.py OUT.ppm. Runs on KWin's session bus (as the
user KWin runs as); KWin must run with KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1,
or it answers only clients it knows by their desktop file."""
import os
import sys
import threading

import dbus

# QImage formats KWin sends: 32-bit words, blue in the low byte (4, 5, 6), or
# bytes in the order red, green, blue, alpha (16, 17, 18).
BLUE_FIRST = {4, 5, 6}
RED_FIRST = {16, 17, 18}


def capture(path):
    read_end, write_end = os.pipe()
    data = bytearray()

    def drain():
        with os.fdopen(read_end, "rb") as pipe:
            while chunk := pipe.read(1 << 20):
                data.extend(chunk)
    reader = threading.Thread(target=drain)
    reader.start()
    try:
        shooter = dbus.SessionBus().get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2")
        info = shooter.CaptureWorkspace({"native-resolution": True}, dbus.types.UnixFd(write_end),
                                        dbus_interface="org.kde.KWin.ScreenShot2", timeout=20)
    finally:
        os.close(write_end)
        reader.join()
    width, height, stride, form = (int(info[k]) for k in ("width", "height", "stride", "format"))
    if form not in BLUE_FIRST | RED_FIRST:
        sys.exit(f"kwin_capture: image format {form} not known")
    order = (2, 1, 0) if form in BLUE_FIRST else (0, 1, 2)
    rgb = bytearray(width * height * 3)
    for y in range(height):
        row = data[y * stride:y * stride + width * 4]
        for channel, offset in enumerate(order):
            rgb[y * width * 3 + channel:(y + 1) * width * 3:3] = row[offset::4]
    with open(path + ".part", "wb") as out:
        out.write(b"P6\n%d %d\n255\n" % (width, height) + bytes(rgb))
    os.replace(path + ".part", path)


if __name__ == "__main__":
    capture(sys.argv[1])
