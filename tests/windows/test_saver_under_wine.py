#!/usr/bin/env python3
"""quillmoor-mothwake.scr under Wine on private X servers: /s shows on every
monitor exactly what the native renderer draws for that monitor's size and
ends on a key, a click or a move of more than a few pixels (not on a small
one); /p draws into a child window filling a host window of another process
and ends when that window goes; the other commands answer as Windows expects.

Usage: test_saver_under_wine.py [NATIVE_RENDERER [SCR [PREVIEW_HOST]]]
(defaults: build/quillmoor-render, build-windows/quillmoor-mothwake.scr and
build-windows/tests/preview-host.exe). Exits 77 when Wine, Xvfb, ImageMagick
or xdotool are missing. QUILLMOOR_KEEP_SCREENSHOTS=DIR keeps the screenshots."""
import os
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
import xharness  # noqa: E402  (the private X servers of the X11 tests)
from wineharness import (WINE, make_prefix, not_ready, run_case, run_suite, stop_wine, wine_env,  # noqa: E402
                         without_wines_own_faults)

RENDER = sys.argv[1] if len(sys.argv) > 1 else os.path.join(SOURCE, "build", "quillmoor-render")
SCR = sys.argv[2] if len(sys.argv) > 2 else os.path.join(SOURCE, "build-windows", "quillmoor-mothwake.scr")
HOST = sys.argv[3] if len(sys.argv) > 3 else os.path.join(SOURCE, "build-windows", "tests", "preview-host.exe")
KEEP = os.environ.get("QUILLMOOR_KEEP_SCREENSHOTS")
# The saver leaves its windows to the end of the process, which takes them at
# once (closed one by one they would cost Wine without a window manager 2 s each).
END_LIMIT = 1.0


class Wine:
    """A Wine prefix of its own on one X display."""

    def __init__(self, x, tmp):
        self.x = x
        self.tmp = tmp
        self.started = []
        self.env = wine_env(x.env, os.path.join(tmp, "prefix-" + x.display.strip(":")))
        make_prefix(self.env, os.path.join(tmp, "wineboot.log"))

    def start(self, program, *args, env=None, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL):
        process = subprocess.Popen([WINE, program, *args], env={**self.env, **(env or {})}, stdin=stdin,
                                   stdout=stdout, stderr=subprocess.PIPE, text=True)
        self.started.append(process)
        return process

    def end_leftovers(self):
        """Kills what a failed case left running."""
        for process in self.started:
            if process.poll() is None:
                process.kill()
                process.wait()
        self.started.clear()

    def stop(self):
        stop_wine(self.env)


class Display:
    """An X server with Wine on it, for the cases that share it."""

    def __init__(self, x, tmp):
        self.x, self.tmp = x, tmp
        self.wine = Wine(x, tmp)
        self.shots = 0

    def screenshot(self, crop=None):
        """The root window (or a part, WxH+X+Y) as a PNG file; its path."""
        self.shots += 1
        path = os.path.join(self.tmp, f"shot-{self.x.display.strip(':')}-{self.shots}.png")
        subprocess.run(["import", "-silent", "-window", "root", path], env=self.x.env, check=True)
        if crop:
            subprocess.run(["convert", path, "-crop", crop, "+repage", path], check=True)
        if KEEP:
            os.makedirs(KEEP, exist_ok=True)
            shutil.copy(path, KEEP)
        return path

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], env=self.x.env, check=True)

    def close(self):
        self.wine.stop()
        self.x.stop()


def reference(tmp, size, seed, frames):
    path = os.path.join(tmp, f"ref-{size}-{seed}-{frames}.png")
    subprocess.run([RENDER, "--screen", size, "--seed", str(seed), "--frames", str(frames), "--out", path],
                   check=True, capture_output=True)
    return path


def differing(a, b):
    """ImageMagick's count of differing pixels (AE), or None when the sizes differ."""
    result = subprocess.run(["compare", "-metric", "AE", a, b, "null:"], capture_output=True, text=True)
    try:
        return int(float(result.stderr.split()[0]))
    except (ValueError, IndexError):
        return None


def shows(display, expected, crop=None, timeout=20):
    """Waits for the screen (or its part) to equal the expected picture."""
    deadline = time.monotonic() + timeout
    while True:
        diff = differing(display.screenshot(crop), expected)
        if diff == 0:
            return
        if time.monotonic() > deadline:
            raise AssertionError(f"{diff} pixels differ from {os.path.basename(expected)}")
        time.sleep(0.5)


def ended(process, limit, what):
    start = time.monotonic()
    try:
        status = process.wait(limit)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        raise AssertionError(f"{what}: still running {limit} s later") from None
    assert status == 0, f"{what}: status {status}: {process.stderr.read()!r}"
    return time.monotonic() - start


def saver(display, *args):
    """/s with these options, once its first picture is up."""
    process = display.wine.start(SCR, "/s", *args)
    display.xdotool("sleep", "0")  # the server is there
    return process


# --- one monitor (Xvfb) ---------------------------------------------------

def test_the_saver_shows_the_renderers_picture_and_a_key_ends_it(display):
    display.xdotool("mousemove", "300", "200")
    process = saver(display, "-seed", "7", "-frames", "40")
    shows(display, reference(display.tmp, "1024x768", 7, 40))
    display.xdotool("key", "a")
    print(f"     a key ended /s {ended(process, END_LIMIT, 'after a key'):.2f} s later")


def test_options_reach_the_scene(display):
    process = saver(display, "-seed", "0x2a", "-frames", "10", "-scene", "skyline")
    expected = os.path.join(display.tmp, "skyline.png")
    subprocess.run([RENDER, "--screen", "1024x768", "--seed", "0x2a", "--frames", "10", "--scene", "skyline",
                    "--out", expected], check=True, capture_output=True)
    shows(display, expected)
    display.xdotool("click", "1")
    print(f"     a click ended /s {ended(process, END_LIMIT, 'after a click'):.2f} s later")


def test_a_small_move_goes_on_and_a_larger_one_ends_it(display):
    display.xdotool("mousemove", "500", "400")
    process = saver(display, "-seed", "3", "-frames", "5")
    shows(display, reference(display.tmp, "1024x768", 3, 5))
    display.xdotool("mousemove", "502", "400")
    time.sleep(1.5)
    assert process.poll() is None, f"a 2-pixel move ended /s (status {process.poll()})"
    display.xdotool("mousemove", "510", "400")
    print(f"     a 10-pixel move ended /s {ended(process, END_LIMIT, 'after a 10-pixel move'):.2f} s later")


def test_the_wheel_ends_it(display):
    process = saver(display, "-seed", "4", "-frames", "0")
    shows(display, reference(display.tmp, "1024x768", 4, 0))
    display.xdotool("click", "4")
    ended(process, END_LIMIT, "after the wheel")


def test_a_password_change_has_nothing_to_do(display):
    for command in ("/a", "-A", "/a:1234"):
        process = display.wine.start(SCR, command)
        ended(process, 10, command)


def test_an_unknown_command_is_named_in_a_message_box(display):
    process = display.wine.start(SCR, "/x")
    window = xharness.wait_for(lambda: subprocess.run(["xdotool", "search", "--name", "Quillmoor Mothwake"],
                                                      env=display.x.env, capture_output=True, text=True).stdout.split(),
                               20, "the message box")
    display.screenshot()
    display.xdotool("windowfocus", "--sync", window[0])
    display.xdotool("key", "Return")
    status = process.wait(10)
    err = without_wines_own_faults(process.stderr.read())
    assert status == 2 and err == 'quillmoor-mothwake: unknown argument "/x"\n', (status, err)


# --- the preview ----------------------------------------------------------

class PreviewHost:
    """The stand-in for the settings window, in its own Wine process."""

    def __init__(self, display):
        self.process = display.wine.start(HOST, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        words = self.process.stdout.readline().split()
        assert words[:1] == ["window"], f"preview host said {words}"
        self.window = words[1]

    def ask(self, command):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        return self.process.stdout.readline().split() if command == "child" else None


def test_the_preview_fills_the_hosts_window_and_ends_with_it(display):
    host = PreviewHost(display)
    pixels = os.path.join(display.tmp, "preview.ppm")
    preview = display.wine.start(SCR, f"/p:{host.window}", "-seed", "11", "-frames", "30",
                                 env={"QUILLMOOR_PIXELS_OUT": pixels})
    child = xharness.wait_for(lambda: (lambda w: w if w[1:2] != ["none"] else None)(host.ask("child")), 20,
                              "the preview's child window")
    # child HWND WxH parent HWND pid PID
    assert child[2] == "152x112" and child[4] == host.window, f"child window {child}"
    # The picture: what Wine cannot show across processes is checked in the
    # preview's own framebuffer.
    expected = reference(display.tmp, "152x112", 11, 30)
    xharness.wait_for(lambda: os.path.exists(pixels) and differing(pixels, expected) == 0, 20,
                      "the preview's picture to equal the renderer's "
                      f"({differing(pixels, expected) if os.path.exists(pixels) else 'none'} pixels differ)")
    if KEEP:
        subprocess.run(["convert", pixels, os.path.join(KEEP, "preview.png")], check=True)
    assert preview.poll() is None, "the preview ended by itself"
    host.ask("close")
    host_status = host.process.wait(10)
    closed = time.monotonic()
    ended(preview, 10, "the preview after its host closed")
    late = time.monotonic() - closed
    assert host_status == 0 and late < 1.0, f"the preview ended {late:.2f} s after its host"
    print(f"     the preview ended {late * 1000:.0f} ms after its host process")


def test_the_preview_also_takes_its_window_as_a_second_argument(display):
    host = PreviewHost(display)
    preview = display.wine.start(SCR, "/P", host.window)
    child = xharness.wait_for(lambda: (lambda w: w if w[1:2] != ["none"] else None)(host.ask("child")), 20,
                              "the preview's child window")
    assert child[2] == "152x112" and child[4] == host.window, f"child window {child}"
    host.ask("close")
    host.process.wait(10)
    ended(preview, 2, "the preview after its host closed")


# --- two monitors (X.Org's dummy driver) -----------------------------------

MONITORS = ((1920, 1080), (1280, 1024))


def test_every_monitor_gets_its_own_picture(display):
    process = saver(display, "-seed", "5", "-frames", "20", "-verbose")
    x = 0
    for width, height in MONITORS:
        size = f"{width}x{height}"
        shows(display, reference(display.tmp, size, 5, 20), crop=f"{size}+{x}+0")
        x += width
    # (Keys are checked on one monitor: without a window manager the X focus
    # stays where it was and Wine may not see them.)
    display.xdotool("mousemove_relative", "--", "20", "20")
    ended(process, END_LIMIT, "after a move")
    reported = sorted(line for line in process.stderr.read().splitlines() if "monitor window" in line)
    assert reported == ["quillmoor-mothwake: monitor window 1280x1024", "quillmoor-mothwake: monitor window 1920x1080"], \
        reported


def test_a_monitor_resized_while_it_runs_gets_a_window_and_view_of_its_new_size(display):
    # The pointer stays off the monitor that changes: X moves it off a monitor
    # while that one's mode is set, and Wine passes that on as a move.
    first, second = MONITORS
    display.xdotool("mousemove", "100", "100")
    process = saver(display, "-seed", "8", "-frames", "15", "-verbose")
    shows(display, reference(display.tmp, "%dx%d" % second, 8, 15), crop="%dx%d+%d+0" % (*second, first[0]))
    display.x.xrandr("--newmode", "1024x768_e2e", "60", "1024", "1032", "1040", "1048", "768", "769", "770", "771")
    display.x.xrandr("--addmode", "DUMMY1", "1024x768_e2e")
    display.x.xrandr("--output", "DUMMY1", "--mode", "1024x768_e2e")
    try:
        shows(display, reference(display.tmp, "1024x768", 8, 15), crop=f"1024x768+{first[0]}+0")
        shows(display, reference(display.tmp, "%dx%d" % first, 8, 15), crop="%dx%d+0+0" % first)
    finally:
        display.x.xrandr("--output", "DUMMY1", "--mode", "%dx%d_e2e" % second)
    display.xdotool("key", "a")
    ended(process, END_LIMIT + 2, "after a key")
    made = [line for line in process.stderr.read().splitlines() if "monitor window" in line]
    assert made[-2:] in (["quillmoor-mothwake: monitor window 1024x768", "quillmoor-mothwake: monitor window 1920x1080"],
                         ["quillmoor-mothwake: monitor window 1920x1080", "quillmoor-mothwake: monitor window 1024x768"]), \
        made


def test_a_key_with_the_pointer_on_either_monitor_ends_it(display):
    first, second = MONITORS
    for x, y in ((first[0] // 2, first[1] // 2), (first[0] + second[0] // 2, second[1] // 2)):
        display.xdotool("mousemove", str(x), str(y))
        process = saver(display, "-seed", "9", "-frames", "0")
        shows(display, reference(display.tmp, "%dx%d" % second, 9, 0), crop="%dx%d+%d+0" % (*second, first[0]))
        display.xdotool("key", "space")
        print(f"     a key with the pointer at {x},{y} ended /s {ended(process, END_LIMIT, 'after a key'):.2f} s later")


ONE_MONITOR = [test_the_saver_shows_the_renderers_picture_and_a_key_ends_it, test_options_reach_the_scene,
               test_a_small_move_goes_on_and_a_larger_one_ends_it, test_the_wheel_ends_it,
               test_a_password_change_has_nothing_to_do, test_an_unknown_command_is_named_in_a_message_box,
               test_the_preview_fills_the_hosts_window_and_ends_with_it,
               test_the_preview_also_takes_its_window_as_a_second_argument]
TWO_MONITORS = [test_every_monitor_gets_its_own_picture, test_a_key_with_the_pointer_on_either_monitor_ends_it,
                test_a_monitor_resized_while_it_runs_gets_a_window_and_view_of_its_new_size]


def dummy_monitors(tmp):
    """X.Org's dummy driver with MONITORS side by side. Wine reads the layout
    without asking the server to probe its outputs (it takes the "current"
    resources), and may then find one monitor only; a full query first, as
    xrandr makes, brings the server's layout up to date, and Wine's prefix is
    made on this display after it."""
    x = xharness.XorgDummy(MONITORS, tmp)
    xharness.wait_for(lambda: subprocess.run(["xrandr", "--listmonitors"], env=x.env, capture_output=True, text=True)
                      .stdout.startswith(f"Monitors: {len(MONITORS)}"), 10, "the dummy driver's monitors")
    return x


def run_on(make_display, cases, tmp):
    """Runs the cases on one X server; returns how many failed."""
    failed = 0
    try:
        display = Display(make_display(), tmp)
    except Exception as error:  # noqa: BLE001 - the cases it would have run fail
        for case in cases:
            print(f"FAIL {case.__name__}: no display: {error}", flush=True)
        return len(cases)
    try:
        for case in cases:
            failed += run_case(case, display)
            display.wine.end_leftovers()
    finally:
        display.close()
    return failed


def main():
    reason = not_ready("test_saver_under_wine", ("Xvfb", "compare", "xdotool"),
                       ((RENDER, "make build"), (SCR, "make windows"), (HOST, "make windows")))
    if reason:
        return reason
    return run_suite("quillmoor-scr-", run_cases)


def run_cases(tmp):
    failed = run_on(lambda: xharness.Xvfb("1024x768"), ONE_MONITOR, tmp)
    if os.getuid() != 0 or not shutil.which("Xorg"):
        print("skipped: two monitors need X.Org's dummy driver, as root")
        return len(ONE_MONITOR), failed
    return len(ONE_MONITOR) + len(TWO_MONITORS), failed + run_on(lambda: dummy_monitors(tmp), TWO_MONITORS, tmp)


if __name__ == "__main__":
    sys.exit(main())
