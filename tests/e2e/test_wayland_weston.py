#!/usr/bin/env python3
"""The Wayland saver on weston, which has no layer shell: full screen
through xdg-shell, sharp at scale 2, and a clear refusal of --saver."""
import signal

from wlharness import Weston, differing_pixels, reference, wait_for
from xharness import EXIT_LIMIT, HACK, run_cases

SEED = "0x5eed"
FRAMES = 24


def test_fullscreen_matches_the_renderer_at_scale_2():
    with Weston(640, 480, 2) as weston:
        hack = weston.client([HACK, "--fullscreen", "--verbose", "--seed", SEED, "--frames", str(FRAMES)])
        try:
            hack.expect("output output-")
            hack.expect(" 1280x960 (full-screen window, scale 2)")
            expected = reference("1280x960", SEED, FRAMES, weston.path("ref.png"))
            last = [None]

            def same():
                last[0] = differing_pixels(weston.screenshot("screen.png"), expected)
                return last[0] == 0
            try:
                wait_for(same, 15, "the screen to show the renderer's picture")
            except AssertionError:
                raise AssertionError(f"{last[0]} pixels differ from quillmoor-render --screen 1280x960") from None
            status, seconds = hack.signal_and_time(signal.SIGTERM)
            assert status == 0 and seconds < EXIT_LIMIT, f"status {status} after {seconds:.3f} s"
        finally:
            hack.kill()


def test_window_is_the_default_and_sized_in_device_pixels():
    with Weston(1600, 1000, 2) as weston:
        hack = weston.client([HACK, "--verbose"])
        try:
            hack.expect("protocols: ")
            hack.expect("window 2560x1440 (window, scale 2)")  # 1280x720 logical on a scale 2 output
            hack.expect("canvas ")
            status, seconds = hack.signal_and_time(signal.SIGINT)
            assert status == 0 and seconds < EXIT_LIMIT, f"status {status} after {seconds:.3f} s"
        finally:
            hack.kill()


def test_saver_and_wallpaper_need_a_layer_shell():
    with Weston(320, 240, 1) as weston:
        for mode in ("--saver", "--wallpaper"):
            result = weston.run([HACK, mode], check=False)
            assert result.returncode == 1, f"{mode}: status {result.returncode}"
            lines = result.stderr.strip().splitlines()
            assert len(lines) == 1 and "zwlr_layer_shell_v1" in lines[0], f"{mode}: {result.stderr!r}"


if __name__ == "__main__":
    run_cases([test_fullscreen_matches_the_renderer_at_scale_2, test_window_is_the_default_and_sized_in_device_pixels,
               test_saver_and_wallpaper_need_a_layer_shell])
