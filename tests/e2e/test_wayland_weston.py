#!/usr/bin/env python3
"""The Wayland saver on weston, which has no layer shell: full screen
through xdg-shell, sharp at scale 2, and a clear refusal of --saver."""
import signal
import subprocess

from wlharness import Weston, as_user
from xharness import HACK, assert_one_line, run_cases, shows_reference, start_timed, stops_cleanly_at_any_moment

SEED = "0x5eed"
FRAMES = 24


def test_fullscreen_matches_the_renderer_at_scale_2():
    with Weston(640, 480, 2) as weston:
        with weston.client([HACK, "--fullscreen", "--verbose", "--seed", SEED, "--frames", str(FRAMES)]) as hack:
            hack.expect("output output-")
            hack.expect(" 1280x960 (full-screen window, scale 2)")
            shows_reference(lambda: weston.screenshot("screen.png"), "1280x960", SEED, FRAMES, weston.path("ref.png"))
            hack.stop_promptly()


def test_window_is_the_default_and_sized_in_device_pixels():
    with Weston(1600, 1000, 2) as weston, weston.client([HACK, "--verbose"]) as hack:
        hack.expect("protocols: ")
        hack.expect("window 2560x1440 (window, scale 2)")  # 1280x720 logical on a scale 2 output
        hack.expect("canvas ")
        hack.stop_promptly(signal.SIGINT)


def test_missing_layer_shell_or_compositor_is_one_line_and_status_1():
    with Weston(320, 240, 1) as weston:
        for mode in ("--saver", "--wallpaper"):
            assert_one_line(weston.run([HACK, mode], check=False), 1, "zwlr_layer_shell_v1", mode)
    for env in ({"WAYLAND_DISPLAY": "nowhere", "XDG_RUNTIME_DIR": "/tmp"}, {"WAYLAND_DISPLAY": "nowhere"}):
        result = subprocess.run([HACK, "--wayland"], env=env, capture_output=True, text=True, timeout=10)
        assert_one_line(result, 1, "cannot connect", str(env))


def test_sigterm_at_any_moment_of_the_start_exits_cleanly():
    # The start waits for the compositor's answers; a stop signal must end
    # those waits too.
    with Weston(320, 240, 1) as weston:
        stops_cleanly_at_any_moment(lambda: start_timed(as_user([HACK, "--fullscreen"]), weston.env),
                                    [0, 0.5, 1, 2, 5, 10, 50], 5)


if __name__ == "__main__":
    run_cases()
