#!/usr/bin/env python3
"""The Wayland saver on a headless KWin at scales 1, 1.5 and 2: the saver,
the wallpaper, a window and full-screen windows each show, pixel for pixel,
what the headless renderer draws for their size in device pixels; swayidle
starts the saver and a key ends it."""
import os
import sys

from wlharness import KWin, until_exit
from xharness import BUILD, HACK, for_user, rendered, run_cases, shows_picture, wait_for

FAKE_KEY = os.path.join(BUILD, "tests", "kwin-fake-key")
KEY_X = 45  # linux/input-event-codes.h
SEED = "0x5eed"
FRAMES = 30
# An output of 1600x900 logical units; a window of 1280x720, which KWin
# places in the middle. At every scale here both fall on whole device
# pixels, so KWin shows each buffer pixel as one screen pixel and the
# workspace (or the window's part of it) must equal the renderer's picture.
OUTPUT = (1600, 900)
WINDOW = (1280, 720)
MODES = (("--saver", "overlay layer"), ("--wallpaper", "background layer"), ("--fullscreen", "full-screen window"),
         (None, "window"))


def device(size, scale):
    return f"{round(size[0] * scale)}x{round(size[1] * scale)}"


def window_part(image, scale):
    """The middle of the workspace where KWin puts a window of WINDOW's size."""
    width, height, px = image
    w, h = round(WINDOW[0] * scale), round(WINDOW[1] * scale)
    x0, y0 = (width - w) // 2, (height - h) // 2
    rows = [px[((y0 + y) * width + x0) * 3:((y0 + y) * width + x0 + w) * 3] for y in range(h)]
    return w, h, b"".join(rows)


def shown(kwin, mode, scale):
    """What the saver shows: the workspace, or the window's part of it."""
    workspace = kwin.screenshot("shown.ppm")
    return workspace if mode else window_part(workspace, scale)


def references(kwin, scale):
    sizes = {device(OUTPUT, scale), device(WINDOW, scale)}
    return {size: rendered(["--screen", size, "--seed", SEED, "--frames", str(FRAMES)], kwin.path(f"ref-{size}.png"))
            for size in sizes}


def shows_every_mode_at(scale):
    with KWin(*OUTPUT, scale) as kwin:
        expected = references(kwin, scale)
        for mode, role in MODES:
            size = device(WINDOW if mode is None else OUTPUT, scale)
            args = [HACK, "--verbose", "--seed", SEED, "--frames", str(FRAMES)] + ([mode] if mode else [])
            with kwin.client(args) as hack:
                hack.expect(f"{size} ({role}, scale {scale:g})")
                shows_picture(lambda: shown(kwin, mode, scale), expected[size],
                              f"quillmoor-render --screen {size} ({mode or 'window'})")
                hack.stop_promptly()


def test_every_mode_shows_the_renderers_picture_at_scale_1():
    shows_every_mode_at(1)


def test_every_mode_shows_the_renderers_picture_at_scale_1_5():
    shows_every_mode_at(1.5)


def test_every_mode_shows_the_renderers_picture_at_scale_2():
    shows_every_mode_at(2)


def test_swayidle_starts_the_saver_and_a_key_ends_it():
    # swayidle works with KWin's idle notifications. KWin has no virtual
    # keyboard for wtype: kwin-fake-key makes a fake input device, which
    # gives the seat a keyboard, and presses its key after a pause in which
    # the saver binds that keyboard.
    with KWin(*OUTPUT, 1.5) as kwin:
        log, status = kwin.path("saver.log"), kwin.path("status")
        command = f"{for_user(HACK)} --saver --verbose 2>>{log}; echo $? >>{status}"
        idle = kwin.client(["swayidle", "-w", "timeout", "1", command], own_group=True)
        try:
            wait_for(lambda: os.path.exists(log) and "canvas " in open(log).read(), 10, "swayidle to start the saver")
            until_exit(lambda: kwin.run([FAKE_KEY, str(KEY_X)]),
                       lambda timeout: wait_for(lambda: os.path.exists(status) and open(status).read().strip(), timeout,
                                                        "the saver to end"),
                       "'x' pressed")
            assert open(status).read().split()[0] == "0", open(log).read()
            assert "stopping (key press)" in open(log).read()
        finally:
            idle.kill_group()


if __name__ == "__main__":
    reason = KWin.unavailable()
    if reason:
        print(f"skipped: {reason}")
        sys.exit(77)
    run_cases()
