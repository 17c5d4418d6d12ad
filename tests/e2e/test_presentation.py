#!/usr/bin/env python3
"""What the saver puts on the screen is exactly the headless renderer's
picture, and a window nobody can see costs nothing."""
import os
import signal
import subprocess
import tempfile
import time

from pngread import differing_pixels, read_png
from xharness import BUILD, HACK, PROBE, Process, Xvfb, run_cases

RENDER = os.path.join(BUILD, "quillmoor-render")
TMP = tempfile.mkdtemp(prefix="quillmoor-present-")


def rendered(size, seed, frames, scene="forest"):
    out = os.path.join(TMP, f"render-{scene}-{size}-{frames}.png")
    subprocess.run([RENDER, "--screen", size, "--seed", str(seed), "--frames", str(frames), "--scene", scene,
                    "--out", out], check=True, capture_output=True)
    return read_png(out)


def held_picture(x, args, name):
    """The pixels of the saver's window (its first one) once it holds its last frame."""
    hack = Process([HACK, "-verbose"] + args, x.env)
    try:
        window = int(hack.expect(" (").split("window ")[1].split()[0], 16)
        hack.expect("canvas ")
        previous = None
        for _ in range(100):
            time.sleep(0.2)
            shot = x.grab(window, os.path.join(TMP, name))
            if shot == previous:
                return shot
            previous = shot
        raise AssertionError("the picture never came to rest")
    finally:
        assert hack.signal_and_time(signal.SIGTERM)[0] == 0
        hack.kill()


def test_root_after_n_frames_equals_the_renderer():
    for size, scene, frames in (("1920x1080", "forest", 40), ("1366x768", "skyline", 25), ("801x601", "forest", 7)):
        with Xvfb(size) as x:
            shown = held_picture(x, ["-root", "-scene", scene, "-seed", "77", "-frames", str(frames)],
                                 f"root-{size}.ppm")
            wrong = differing_pixels(shown, rendered(size, 77, frames, scene))
            assert wrong == 0, f"{size} {scene}: {wrong} pixels differ from the renderer"


def test_frames_put_without_shared_memory_equal_the_renderer():
    with Xvfb("1280x720", extra=("-extension", "MIT-SHM")) as x:
        shown = held_picture(x, ["-root", "-seed", "9", "-frames", "45"], "noshm.ppm")
        assert differing_pixels(shown, rendered("1280x720", 9, 45)) == 0


def test_own_window_after_n_frames_equals_the_renderer():
    with Xvfb("1920x1080") as x:
        shown = held_picture(x, ["-seed", "5", "-frames", "30", "-fps"], "own.ppm")
        expected = rendered("1280x720", 5, 30)
        # The frame-rate overlay sits in the lower-left corner; the rest must match.
        width, height, _ = expected
        corner = [(px, py) for py in range(height - 60, height) for px in range(0, 300)]
        wrong = differing_pixels(_masked(shown, corner), _masked(expected, corner))
        assert wrong == 0, f"{wrong} pixels differ from the renderer"


def _masked(image, points):
    width, height, px = image
    px = bytearray(px)
    for x, y in points:
        i = (y * width + x) * 3
        px[i:i + 3] = b"\0\0\0"
    return width, height, bytes(px)


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


def test_covered_window_stops_using_the_cpu_and_resumes():
    with Xvfb("1280x720") as x:
        hack = Process([HACK, "-verbose", "-window"], x.env)
        try:
            hack.expect("canvas 1280x720")
            time.sleep(0.5)
            cover = subprocess.Popen([PROBE, "window", "1280x720"], env=x.env, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
            cover.stdout.readline()
            time.sleep(0.3)
            before = cpu_ticks(hack.proc.pid)
            time.sleep(2)
            covered = cpu_ticks(hack.proc.pid) - before
            cover.stdin.write("quit\n")
            cover.stdin.close()
            cover.wait(5)
            time.sleep(0.3)
            before = cpu_ticks(hack.proc.pid)
            time.sleep(2)
            shown = cpu_ticks(hack.proc.pid) - before
            assert covered == 0, f"{covered} clock ticks used in 2 s while covered"
            assert shown > 0, "no frames after the cover went away"
            assert hack.signal_and_time(signal.SIGTERM)[0] == 0
        finally:
            hack.kill()


if __name__ == "__main__":
    run_cases([
        test_root_after_n_frames_equals_the_renderer,
        test_frames_put_without_shared_memory_equal_the_renderer,
        test_own_window_after_n_frames_equals_the_renderer,
        test_covered_window_stops_using_the_cpu_and_resumes,
    ])
