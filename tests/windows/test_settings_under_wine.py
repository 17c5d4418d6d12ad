#!/usr/bin/env python3
"""quillmoor-mothwake.scr's settings under Wine on a private Xvfb: the dialog
of /c, driven with keys, keeps what OK chose under HKEY_CURRENT_USER\\Software\\
Quillmoor Mothwake and nothing after Cancel; it shows what is kept, its
Defaults button clears it, and /c:HWND makes it that window's. /s then shows
exactly what the native renderer draws for the kept settings, the command
line winning over them, and a kept value of the wrong type or out of range
leaves its setting at the default.

Usage: test_settings_under_wine.py [NATIVE_RENDERER [SCR [PREVIEW_HOST]]]
(defaults: build/quillmoor-render, build-windows/quillmoor-mothwake.scr and
build-windows/tests/preview-host.exe, the stand-in owner window). Exits 77
when Wine, Xvfb, ImageMagick, xdotool or xprop are missing.
QUILLMOOR_KEEP_SCREENSHOTS=DIR keeps the screenshots, the dialog's among them."""
import os
import subprocess
import sys

from test_saver_under_wine import (END_LIMIT, HOST, RENDER, SCR, PreviewHost, ended, reference, run_on, saver, shows,
                                   xharness)
from wineharness import WINE, not_ready, run_suite

KEY = r"HKCU\Software\Quillmoor Mothwake"
TITLE = "Quillmoor Mothwake Settings"
SIZE = "1024x768"


# --- the registry, through Wine's reg ---------------------------------------

def reg(display, *args, check=True):
    result = subprocess.run([WINE, "reg", *args], env=display.wine.env, stdin=subprocess.DEVNULL,
                            capture_output=True, text=True, timeout=60)
    if check and result.returncode != 0:
        raise AssertionError(f"reg {' '.join(args)}: status {result.returncode}: {result.stdout}{result.stderr}")
    return result


def stored(display):
    """The key's values as {name: (type, data)}; None when there is no key."""
    result = reg(display, "query", KEY, check=False)
    if result.returncode != 0:
        return None
    values = {}
    for line in result.stdout.splitlines():
        words = line.split(None, 2)
        if len(words) >= 2 and words[1].startswith("REG_"):
            values[words[0]] = (words[1], words[2] if len(words) > 2 else "")
    return values


def store(display, **values):
    """Starts the key afresh with these values, each (type, data)."""
    reg(display, "delete", KEY, "/f", check=False)
    for name, (kind, data) in values.items():
        reg(display, "add", KEY, "/v", name, "/t", kind, "/d", data, "/f")


# --- the dialog and the saver -----------------------------------------------

def visible(display, title):
    return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title], env=display.x.env,
                          capture_output=True, text=True).stdout.split()


def dialog(display, *args):
    """/c with these arguments, once its dialog is shown and has the focus; the process and the dialog's X window."""
    process = display.wine.start(SCR, "/c", *args)
    found = xharness.wait_for(lambda: visible(display, TITLE), 30, "the settings dialog")
    # Wine may map the window a moment before X takes the focus on it.
    xharness.wait_for(lambda: subprocess.run(["xdotool", "windowfocus", "--sync", found[0]], env=display.x.env,
                                             capture_output=True).returncode == 0, 10, "the dialog's focus")
    return process, found[0]


def answer(display, process, *keys):
    display.xdotool("key", "--delay", "100", *keys)
    ended(process, 20, f"the dialog after {' '.join(keys)}")


def skyline(display, seed, frames, *options):
    path = os.path.join(display.tmp, f"skyline-{seed}-{frames}{''.join(options)}.png")
    subprocess.run([RENDER, "--screen", SIZE, "--seed", str(seed), "--frames", str(frames), "--scene", "skyline",
                    *options, "--out", path], check=True, capture_output=True)
    return path


def saver_shows(display, expected, *args):
    """/s with these options shows the expected picture and ends on a key; its stderr."""
    display.xdotool("mousemove", "300", "200")
    process = saver(display, *args)
    shows(display, expected)
    display.xdotool("key", "a")
    ended(process, END_LIMIT, "after a key")
    return process.stderr.read()


# --- the cases ----------------------------------------------------------------

def test_ok_keeps_the_chosen_scene_and_the_saver_shows_it(display):
    reg(display, "delete", KEY, "/f", check=False)
    process, _ = dialog(display)
    # The scene's list has the focus: the next scene, then OK, the default button.
    answer(display, process, "Down", "Return")
    assert stored(display) == {"Scene": ("REG_SZ", "skyline")}, stored(display)
    saver_shows(display, skyline(display, 21, 12), "-seed", "21", "-frames", "12")
    # The command line wins over what is kept.
    saver_shows(display, reference(display.tmp, SIZE, 21, 12), "-seed", "21", "-frames", "12", "-scene", "forest")

    # Tab to the speed slider: its right end is thirty times each scene's own pace.
    process, _ = dialog(display)
    answer(display, process, "Tab", "End", "Return")
    assert stored(display) == {"Scene": ("REG_SZ", "skyline"), "Speed": ("REG_SZ", "30")}, stored(display)
    saver_shows(display, skyline(display, 21, 12, "--speed", "30"), "-seed", "21", "-frames", "12")
    process, _ = dialog(display)
    answer(display, process, "Tab", "Home", "Return")
    assert stored(display)["Speed"] == ("REG_SZ", "0.25"), stored(display)


def test_cancel_keeps_nothing(display):
    reg(display, "delete", KEY, "/f", check=False)
    process, _ = dialog(display)
    answer(display, process, "Down", "Escape")
    assert stored(display) is None, f"Cancel kept {stored(display)}"
    store(display, Scene=("REG_SZ", "skyline"))
    process, _ = dialog(display)
    answer(display, process, "Up", "Escape")
    assert stored(display) == {"Scene": ("REG_SZ", "skyline")}, f"Cancel changed them to {stored(display)}"


def test_the_dialog_shows_what_is_kept_and_defaults_clears_it(display):
    kept = {"Scene": ("REG_SZ", "skyline"), "Speed": ("REG_SZ", "2.45"), "Animal": ("REG_SZ", "fox"),
            "ShowFps": ("REG_DWORD", "0x1")}
    store(display, **kept)
    # OK with nothing changed writes back what the controls were given.
    process, _ = dialog(display)
    display.screenshot()  # the dialog with every control away from its default
    answer(display, process, "Return")
    assert stored(display) == kept, stored(display)
    process, _ = dialog(display)
    answer(display, process, "alt+d", "Return")
    assert stored(display) == {}, f"after Defaults and OK: {stored(display)}"
    saver_shows(display, reference(display.tmp, SIZE, 8, 40), "-seed", "8", "-frames", "40")


def test_values_of_the_wrong_type_or_out_of_range_leave_the_defaults(display):
    forest = reference(display.tmp, SIZE, 9, 40)
    for values, lines in (
            ({"Scene": ("REG_DWORD", "1"), "Speed": ("REG_DWORD", "2")},
             ["ignoring stored Scene: a number where text belongs",
              "ignoring stored Speed: a number where text belongs"]),
            ({"Scene": ("REG_SZ", "moon"), "Speed": ("REG_SZ", "50")},
             ['ignoring stored Scene: unknown scene "moon" (forest, skyline)',
              "ignoring stored Speed: speed 50 outside 0.25 ... 30"]),
            ({"Speed": ("REG_SZ", "fast"), "Scene": ("REG_BINARY", "01"), "PanFrames": ("REG_DWORD", "0x1")},
             ['ignoring stored Speed: bad speed "fast" (0.01 ... 1000)'])):
        store(display, **values)
        errors = saver_shows(display, forest, "-seed", "9", "-frames", "40", "-verbose")
        reported = [line.removeprefix("quillmoor-mothwake: ") for line in errors.splitlines() if "ignoring" in line]
        assert reported == lines, f"{values}: {reported}"


def test_the_dialog_belongs_to_the_window_given(display):
    host = PreviewHost(display)
    host_window = xharness.wait_for(lambda: visible(display, "Preview host"), 20, "the host's window")[0]
    process, window = dialog(display, f"/c:{host.window}")
    owner = subprocess.run(["xprop", "-id", window, "WM_TRANSIENT_FOR"], env=display.x.env, capture_output=True,
                           text=True).stdout.split()[-1]
    answer(display, process, "Escape")
    host.ask("close")
    host.process.wait(10)
    assert int(owner, 16) == int(host_window), f"the dialog belongs to {owner}, not the host's {host_window}"


CASES = [test_ok_keeps_the_chosen_scene_and_the_saver_shows_it, test_cancel_keeps_nothing,
         test_the_dialog_shows_what_is_kept_and_defaults_clears_it,
         test_values_of_the_wrong_type_or_out_of_range_leave_the_defaults, test_the_dialog_belongs_to_the_window_given]


def main():
    reason = not_ready("test_settings_under_wine", ("Xvfb", "compare", "xdotool", "xprop"),
                       ((RENDER, "make build"), (SCR, "make windows"), (HOST, "make windows")))
    if reason:
        return reason
    return run_suite("quillmoor-settings-", lambda tmp: (len(CASES), run_on(lambda: xharness.Xvfb(SIZE), CASES, tmp)))


if __name__ == "__main__":
    sys.exit(main())
