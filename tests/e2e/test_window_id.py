#!/usr/bin/env python3
"""The saver drawing into a window someone else made, as XScreenSaver and
xsecurelock have it: it follows the window's size, ends when the window is
destroyed, and ends cleanly on SIGTERM."""
import signal
import subprocess
import tempfile
import time

from xharness import HACK, Process, ProbeWindow, Xvfb, assert_one_line, cpu_used, is_lit, run_cases, scanlines_every, \
    shows_reference

TMP = tempfile.mkdtemp(prefix="quillmoor-e2e-")


def test_follows_resize_and_ends_with_window():
    with Xvfb("1280x1024") as x:
        window = ProbeWindow(x, "640x480")
        children = x.root_children()
        with window, Process([HACK, "-window-id", hex(window.id), "-verbose", "-seed", "7"], x.env) as hack:
            hack.expect(f"window {hex(window.id)} 640x480")
            hack.expect("canvas 640x480 scale 1")
            time.sleep(0.2)
            assert is_lit(x.grab(window.id, f"{TMP}/small.ppm")), "nothing drawn into the window"
            assert x.root_children() == children, "the saver made a window of its own"

            window.command("resize 1000 900")
            hack.expect(f"window {hex(window.id)} 1000x900")
            hack.expect("canvas 500x450 scale 2")
            time.sleep(0.2)
            big = x.grab(window.id, f"{TMP}/big.ppm")
            assert big[0] == 1000 and big[1] == 900
            assert is_lit(big), "nothing drawn after the resize"
            share = scanlines_every(big, 2)
            assert share > 0.9, f"scanlines on only {share:.0%} of the canvas rows"

            window.command("destroy")
            start = time.monotonic()
            status = hack.wait(2)
            assert status == 0, f"exit status {status} after the window went away"
            assert time.monotonic() - start < 0.5, "slow to notice the window went away"
            hack.expect("stopping (window destroyed)")


def test_a_bigger_window_with_the_same_canvas_shows_the_held_scene_at_the_new_scale():
    # 1920x1080 and 2880x1620 both make a 960x540 forest canvas: the scene
    # held after 30 frames stays, drawn whole at scale 3.
    with Xvfb("2880x1620") as x, ProbeWindow(x, "1920x1080") as window, \
            Process([HACK, "-window-id", hex(window.id), "-verbose", "-seed", "7", "-frames", "30"], x.env) as hack:
        for size, scale in (("1920x1080", 2), ("2880x1620", 3)):
            if scale == 3:
                window.command("resize 2880 1620")
            hack.expect(f"window {hex(window.id)} {size}")
            hack.expect(f"canvas 960x540 scale {scale} seed 0x0000000000000007")
            shows_reference(lambda: x.grab(window.id, f"{TMP}/shown.ppm"), size, 7, 30, f"{TMP}/ref-{size}.png")
        hack.stop_promptly()


def test_sigterm_and_sigint_end_it_promptly():
    with Xvfb("800x600") as x, ProbeWindow(x, "200x150") as window:
        for signo in (signal.SIGTERM, signal.SIGINT):
            # xsecurelock hands the window over in decimal, without options.
            with Process([HACK, "-verbose"], dict(x.env, XSCREENSAVER_WINDOW=str(window.id))) as hack:
                hack.expect(f"window {hex(window.id)} 200x150")
                hack.expect("canvas 200x150 scale 1")
                time.sleep(0.3)
                hack.stop_promptly(signo)
                hack.expect(f"stopping ({signo.name})")


def test_sleeps_between_frames():
    with Xvfb("800x600") as x, ProbeWindow(x, "200x150") as window, \
            Process([HACK, "-window-id", str(window.id), "-verbose"], x.env) as hack:
        hack.expect("canvas 200x150")
        share = cpu_used(hack, 1.0)
        assert share < 0.3, f"{share:.0%} of a core for a 200x150 window: busy-waiting?"
        assert hack.proc.poll() is None


def test_bad_windows():
    with Xvfb("320x240") as x:
        for args, env, code, pattern in (
            (["-window-id", "0x12zz"], {}, 2, r"bad window id"),
            (["--window-id"], {}, 2, r"needs a window id"),
            (["-window-id", "0"], {}, 2, r"bad window id"),
            ([], {"XSCREENSAVER_WINDOW": "nonsense"}, 2, r"bad XSCREENSAVER_WINDOW"),
            (["-root"], {"XSCREENSAVER_WINDOW": "0x"}, 2, r"bad XSCREENSAVER_WINDOW"),
            (["-window-id", "0x3fffff0"], {}, 1, r"no window 0x3fffff0"),
            (["--frobnicate"], {}, 2, r"unknown option"),
            ([], {"DISPLAY": ":4711"}, 1, r"cannot open display"),
        ):
            result = subprocess.run([HACK, *args], env=dict(x.env, **env), capture_output=True, text=True, timeout=5)
            assert_one_line(result, code, pattern, f"{args} {env}")


if __name__ == "__main__":
    run_cases()
