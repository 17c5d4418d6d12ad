#!/usr/bin/env python3
"""-grown on X11: the saver's first picture is the renderer's at the scene's
grown frame, and so is every one after it; a scene made anew for a new
window size starts grown too; a stop during the stepping ends it at once."""
import os
import signal
import subprocess
import tempfile
import time

from xharness import HACK, Process, ProbeWindow, Xvfb, differing_pixels, held_picture, rendered, run_cases

TMP = tempfile.mkdtemp(prefix="quillmoor-grown-")
# The frames at which the scenes look finished, as -grown promises them.
GROWN = {"forest": 3600, "skyline": 1800}


def expect_grown(shown, size, seed, frames, scene, what):
    expected = rendered(["--screen", size, "--seed", str(seed), "--from", str(GROWN[scene]), "--frames", str(frames),
                         "--scene", scene], os.path.join(TMP, "expected.png"))
    wrong = differing_pixels(shown, expected)
    assert wrong == 0, f"{what} {size} {scene}: {wrong} pixels differ from quillmoor-render --from {GROWN[scene]}"


def test_grown_then_n_frames_equals_the_renderer_from_the_grown_frame():
    cases = (("1920x1080", "forest", 12, "-root"), ("1366x768", "skyline", 30, "-root"),
             ("801x601", "forest", 0, "-root"), ("3840x2160", "skyline", 4, "-root"),
             ("1920x1080", "skyline", 9, "-window"), ("1920x1080", "forest", 5, "-window"))
    for size, scene, frames, target in cases:
        with Xvfb(size) as x:
            shown = held_picture(x, [target, "-grown", "-scene", scene, "-seed", "31", "-frames", str(frames)],
                                 os.path.join(TMP, "shot.ppm"))
        # -window opens at 1280x720 whatever the screen.
        expect_grown(shown, f"{shown[0]}x{shown[1]}", 31, frames, scene, target)


def test_a_scene_made_for_a_new_size_starts_grown():
    with Xvfb("1280x1024") as x, ProbeWindow(x, "640x480") as window:
        with Process([HACK, "-window-id", hex(window.id), "-verbose", "-grown", "-seed", "8", "-frames", "6"],
                     x.env) as hack:
            hack.expect("canvas 640x480 scale 1")
            time.sleep(0.6)  # the six steps done: the picture is held
            window.command("resize 1000 900")
            hack.expect("canvas 500x450 scale 2")
            time.sleep(0.3)
            shown = x.grab(window.id, os.path.join(TMP, "resized.ppm"))
            assert hack.signal_and_time(signal.SIGTERM)[0] == 0
    # The steps were spent on the first scene: the new one is held at its first picture.
    expect_grown(shown, "1000x900", 8, 0, "forest", "resized window")


def test_a_stop_during_the_grown_start_ends_it_promptly():
    # Starved to a tenth of a core or so, the stepping takes a second or more.
    busy = subprocess.Popen(["taskset", "-c", "0", "sh", "-c", "while :; do :; done"])
    times = {}
    try:
        with Xvfb("3840x2160", extra=("-noreset",)) as x:
            for signo in (signal.SIGTERM, signal.SIGINT):
                for scene in ("forest", "skyline"):
                    args = ["taskset", "-c", "0", "nice", "-n", "10", HACK, "-root", "-verbose", "-grown", "-scene", scene]
                    with Process(args, x.env) as hack:
                        hack.expect(" 3840x2160 (")  # the window is there: the first frame, and the stepping, begin
                        time.sleep(0.05)
                        status, seconds = hack.signal_and_time(signo)
                        rest = hack.seen + [hack.lines.get() for _ in range(hack.lines.qsize())]
                        assert status == 0, f"{scene}: status {status} after {signo.name}"
                        assert not any("canvas " in line for line in rest), f"{scene}: the stepping ended first: {rest}"
                        times.setdefault(signo.name, []).append(round(seconds * 1000))
    finally:
        busy.kill()
        busy.wait()
    print(f"     ms from signal to exit during the grown start, starved (forest, skyline): {times}", flush=True)
    assert max(max(t) for t in times.values()) < 1000, times


if __name__ == "__main__":
    run_cases()
