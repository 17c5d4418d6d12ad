#!/usr/bin/env python3
"""Full screen on several monitors: one view per monitor, each at its own
size and each showing exactly the headless renderer's picture for that size.
The X.Org dummy server needs root; without it the test is skipped."""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile

from xharness import HACK, Process, XephyrXinerama, XorgDummy, run_cases, shows_reference

TMP = tempfile.mkdtemp(prefix="quillmoor-monitors-")
SEED, FRAMES = 31, 12


def check_one_view_per_monitor(x, sizes):
    hack = Process([HACK, "-fullscreen", "-verbose", "-seed", str(SEED), "-frames", str(FRAMES)], x.env)
    try:
        windows = {}
        for _ in sizes:
            line = hack.expect(" (")
            match = re.search(r"window (0x[0-9a-f]+) (\d+)x(\d+)", line)
            windows[(int(match.group(2)), int(match.group(3)))] = int(match.group(1), 16)
        assert sorted(windows) == sorted(sizes), f"views {sorted(windows)} for monitors {sorted(sizes)}"
        for _ in sizes:
            hack.expect("canvas ")
        for (width, height), window in windows.items():
            shows_reference(lambda: x.grab(window, os.path.join(TMP, "shown.ppm")), f"{width}x{height}", SEED, FRAMES,
                            os.path.join(TMP, "expected.png"))
        assert hack.signal_and_time(signal.SIGTERM)[0] == 0
    finally:
        hack.kill()


def test_randr_monitors_side_by_side():
    sizes = [(1280, 720), (1024, 768), (800, 600)]
    with XorgDummy(sizes, TMP) as x:
        out = subprocess.run(["xrandr", "--listmonitors"], env=x.env, capture_output=True, text=True).stdout
        assert out.startswith("Monitors: 3"), out
        check_one_view_per_monitor(x, sizes)


def test_xinerama_heads_where_randr_sees_one_screen():
    sizes = [(640, 480), (800, 600)]
    with XephyrXinerama(sizes) as x:
        out = subprocess.run(["xrandr", "--listmonitors"], env=x.env, capture_output=True, text=True).stdout
        assert out.startswith("Monitors: 1"), out
        check_one_view_per_monitor(x, sizes)


if __name__ == "__main__":
    cases = [test_xinerama_heads_where_randr_sees_one_screen]
    if os.getuid() == 0 and shutil.which("Xorg"):
        cases.insert(0, test_randr_monitors_side_by_side)
    else:
        print("skipping the X.Org dummy case: starting X.Org needs root", file=sys.stderr)
    run_cases(cases)
