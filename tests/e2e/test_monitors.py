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
    """Returns how many monitors RandR sees ("Monitors: n")."""
    with Process([HACK, "-fullscreen", "-verbose", "-seed", str(SEED), "-frames", str(FRAMES)], x.env) as hack:
        windows = {}
        for _ in sizes:
            match = re.search(r"window (0x[0-9a-f]+) (\d+)x(\d+)", hack.expect(" ("))
            windows[(int(match.group(2)), int(match.group(3)))] = int(match.group(1), 16)
        assert sorted(windows) == sorted(sizes), f"views {sorted(windows)} for monitors {sorted(sizes)}"
        for _ in sizes:
            hack.expect("canvas ")
        for (width, height), window in windows.items():
            shows_reference(lambda: x.grab(window, os.path.join(TMP, "shown.ppm")), f"{width}x{height}", SEED, FRAMES,
                            os.path.join(TMP, "expected.png"))
        assert hack.signal_and_time(signal.SIGTERM)[0] == 0
    out = subprocess.run(["xrandr", "--listmonitors"], env=x.env, capture_output=True, text=True).stdout
    return out.split("\n")[0]


def test_randr_monitors_side_by_side():
    sizes = [(1280, 720), (1024, 768), (800, 600)]
    with XorgDummy(sizes, TMP) as x:
        assert check_one_view_per_monitor(x, sizes) == "Monitors: 3"


def test_xinerama_heads_where_randr_sees_one_screen():
    sizes = [(640, 480), (800, 600)]
    with XephyrXinerama(sizes) as x:
        assert check_one_view_per_monitor(x, sizes) == "Monitors: 1"


if __name__ == "__main__":
    if os.getuid() != 0 or not shutil.which("Xorg"):
        print("skipping the X.Org dummy case: starting X.Org needs root", file=sys.stderr)
    run_cases(skip=() if os.getuid() == 0 and shutil.which("Xorg") else (test_randr_monitors_side_by_side,))
