#!/usr/bin/env python3
"""What the saver puts on the screen is exactly the headless renderer's
picture, and a window nobody can see costs nothing."""
import os
import signal
import tempfile
import time

from xharness import HACK, Process, ProbeWindow, Xvfb, cpu_used, differing_pixels, held_picture, rendered, run_cases

TMP = tempfile.mkdtemp(prefix="quillmoor-present-")


def expect_same(shown, size, seed, frames, scene="forest"):
    expected = rendered(["--screen", size, "--seed", str(seed), "--frames", str(frames), "--scene", scene],
                        os.path.join(TMP, "expected.png"))
    wrong = differing_pixels(shown, expected)
    assert wrong == 0, f"{size} {scene}: {wrong} pixels differ from the renderer"


def test_root_after_n_frames_equals_the_renderer():
    for size, scene, frames in (("1920x1080", "forest", 40), ("1366x768", "skyline", 25), ("801x601", "forest", 7)):
        with Xvfb(size) as x:
            shown = held_picture(x, ["-root", "-scene", scene, "-seed", "77", "-frames", str(frames)],
                                 os.path.join(TMP, "root.ppm"))
        expect_same(shown, size, 77, frames, scene)


def test_frames_put_without_shared_memory_equal_the_renderer():
    with Xvfb("1280x720", extra=("-extension", "MIT-SHM")) as x:
        expect_same(held_picture(x, ["-root", "-seed", "9", "-frames", "45"], os.path.join(TMP, "noshm.ppm")),
                    "1280x720", 9, 45)


def test_own_window_after_n_frames_equals_the_renderer():
    with Xvfb("1920x1080") as x:
        width, height, px = held_picture(x, ["-seed", "5", "-frames", "30", "-fps"], os.path.join(TMP, "own.ppm"))
    # The frame-rate overlay's corner is painted over with the renderer's picture.
    expected = rendered(["--screen", "1280x720", "--seed", "5", "--frames", "30"], os.path.join(TMP, "own.png"))
    px = bytearray(px)
    for y in range(height - 60, height):
        px[y * width * 3:(y * width + 300) * 3] = expected[2][y * width * 3:(y * width + 300) * 3]
    wrong = differing_pixels((width, height, bytes(px)), expected)
    assert wrong == 0, f"{wrong} pixels differ from the renderer"


def test_covered_window_stops_using_the_cpu_and_resumes():
    with Xvfb("1280x720") as x, Process([HACK, "-verbose", "-window"], x.env) as hack:
        hack.expect("canvas 1280x720")
        time.sleep(0.5)
        with ProbeWindow(x, "1280x720"):
            time.sleep(0.3)
            covered = cpu_used(hack)
        time.sleep(0.3)
        shown = cpu_used(hack)
        assert covered == 0, f"{covered:.2f} s of CPU in 2 s while covered"
        assert shown > 0, "no frames after the cover went away"
        assert hack.signal_and_time(signal.SIGTERM)[0] == 0


if __name__ == "__main__":
    run_cases()
