#!/usr/bin/env python3
"""The saver in windows of its own and on the root window."""
import re
import subprocess

from xharness import HACK, PROBE, Process, Xvfb, run_cases


def window_of(hack, size):
    line = hack.expect(f" {size} (")
    return int(re.search(r"window (0x[0-9a-f]+)", line).group(1), 16)


def test_own_window_shows_scene_and_closes():
    with Xvfb("1920x1080") as x, Process([HACK, "-verbose", "-fps"], x.env) as hack:
        window = window_of(hack, "1280x720")
        hack.expect("canvas 1280x720 scale 1")
        assert hex(window) in x.root_children(), "no top-level window of its own"
        title = subprocess.run(["xwininfo", "-id", str(window)], env=x.env, capture_output=True, text=True).stdout
        assert '"Quillmoor Mothwake"' in title, title
        subprocess.run([PROBE, "close", str(window)], env=x.env, check=True)
        assert hack.wait(2) == 0
        hack.expect("stopping (quit)")
        assert hex(window) not in x.root_children(), "its window outlived it"


def test_root_draws_on_the_root_window():
    with Xvfb("640x480") as x:
        children, root = x.root_children(), x.root_id()
        with Process([HACK, "-root", "-verbose"], x.env) as hack:
            hack.expect(f"window {root} 640x480")
            hack.expect("canvas ")
            assert x.root_children() == children, "the saver made a window of its own"
            hack.stop_promptly()


if __name__ == "__main__":
    run_cases()
