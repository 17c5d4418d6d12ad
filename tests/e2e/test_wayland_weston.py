#!/usr/bin/env python3
"""The Wayland saver on weston, which has no layer shell: full screen
through xdg-shell, sharp at scale 2, and a clear refusal of --saver."""
import signal
import subprocess

from wlharness import Weston, as_user
from xharness import HACK, run_cases, shows_reference, start_timed, stops_cleanly_at_any_moment

SEED = "0x5eed"
FRAMES = 24


def test_fullscreen_matches_the_renderer_at_scale_2():
    with Weston(640, 480, 2) as weston:
        hack = weston.client([HACK, "--fullscreen", "--verbose", "--seed", SEED, "--frames", str(FRAMES)])
        try:
            hack.expect("output output-")
            hack.expect(" 1280x960 (full-screen window, scale 2)")
            shows_reference(lambda: weston.screenshot("screen.png"), "1280x960", SEED, FRAMES, weston.path("ref.png"))
            hack.stop_promptly()
        finally:
            hack.kill()


def test_window_is_the_default_and_sized_in_device_pixels():
    with Weston(1600, 1000, 2) as weston:
        hack = weston.client([HACK, "--verbose"])
        try:
            hack.expect("protocols: ")
            hack.expect("window 2560x1440 (window, scale 2)")  # 1280x720 logical on a scale 2 output
            hack.expect("canvas ")
            hack.stop_promptly(signal.SIGINT)
        finally:
            hack.kill()


def test_missing_layer_shell_or_compositor_is_one_line_and_status_1():
    with Weston(320, 240, 1) as weston:
        for mode in ("--saver", "--wallpaper"):
            result = weston.run([HACK, mode], check=False)
            assert result.returncode == 1, f"{mode}: status {result.returncode}"
            lines = result.stderr.strip().splitlines()
            assert len(lines) == 1 and "zwlr_layer_shell_v1" in lines[0], f"{mode}: {result.stderr!r}"
    for env in ({"WAYLAND_DISPLAY": "nowhere", "XDG_RUNTIME_DIR": "/tmp"}, {"WAYLAND_DISPLAY": "nowhere"}):
        result = subprocess.run([HACK, "--wayland"], env=env, capture_output=True, text=True, timeout=10)
        lines = result.stderr.strip().splitlines()
        assert result.returncode == 1 and len(lines) == 1 and "cannot connect" in lines[0], f"{env}: {result}"


def test_sigterm_at_any_moment_of_the_start_exits_cleanly():
    # The start waits for the compositor's answers; a stop signal must end
    # those waits too.
    with Weston(320, 240, 1) as weston:
        stops_cleanly_at_any_moment(lambda: start_timed(as_user([HACK, "--fullscreen"]), weston.env),
                                    [0, 0.5, 1, 2, 5, 10, 50], 5)


if __name__ == "__main__":
    run_cases([test_fullscreen_matches_the_renderer_at_scale_2, test_window_is_the_default_and_sized_in_device_pixels,
               test_missing_layer_shell_or_compositor_is_one_line_and_status_1,
               test_sigterm_at_any_moment_of_the_start_exits_cleanly])
