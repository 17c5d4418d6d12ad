#!/usr/bin/env python3
"""The Windows installer under Wine: /S puts the .scr in the user's programs
folder, makes it the selected screen saver and lists the uninstaller in Apps;
the installed saver runs; the uninstaller removes every file, folder and value
and puts back the saver selected before, or none, unless the user has picked
another one since; unticked on the installer's page, the option to make it
the screen saver leaves the selected one alone.

Usage: test_installer_under_wine.py [SETUP [SCR]]
(defaults: build-windows/quillmoor-mothwake-setup-VERSION.exe, VERSION the
project's, and build-windows/quillmoor-mothwake.scr). Exits 77 when Wine,
makensis, Xvfb, ImageMagick or xdotool are missing."""
import filecmp
import os
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
import xharness  # noqa: E402  (the private X servers of the X11 tests)
from wineharness import WINE, make_prefix, not_ready, run_case, run_suite, stop_wine, wine_env  # noqa: E402


def project_version():
    with open(os.path.join(SOURCE, "CMakeLists.txt")) as f:
        return re.search(r"project\(\S+ VERSION (\S+)", f.read()).group(1)


VERSION = project_version()
SETUP = sys.argv[1] if len(sys.argv) > 1 else os.path.join(SOURCE, "build-windows",
                                                            f"quillmoor-mothwake-setup-{VERSION}.exe")
SCR = sys.argv[2] if len(sys.argv) > 2 else os.path.join(SOURCE, "build-windows", "quillmoor-mothwake.scr")
DESKTOP = r"HKCU\Control Panel\Desktop"
UNINSTALL = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillmoor Mothwake"
SETTINGS = r"HKCU\Software\Quillmoor Mothwake"
OTHER_SAVER = r"C:\windows\system32\other.scr"


class Prefix:
    """A Wine prefix of its own on a private Xvfb, and its registry."""

    def __init__(self, tmp):
        self.x = xharness.Xvfb("1024x768")
        self.tmp = tmp
        self.env = wine_env(self.x.env, os.path.join(tmp, "prefix"))
        make_prefix(self.env, os.path.join(tmp, "wineboot.log"))
        self.local_app_data = self.windows_to_unix(self.wine("cmd", "/c", "echo %LOCALAPPDATA%").strip())
        self.programs = os.path.join(self.local_app_data, "Programs")
        self.folder = os.path.join(self.programs, "Quillmoor Mothwake")
        self.windows_folder = self.wine("winepath", "-w", self.folder).strip()

    def wine(self, *args, check=True):
        result = subprocess.run([WINE, *args], env=self.env, stdin=subprocess.DEVNULL, capture_output=True,
                                text=True, timeout=120)
        if check and result.returncode != 0:
            raise AssertionError(f"wine {' '.join(args)}: status {result.returncode}: {result.stderr.strip()}")
        return result.stdout

    def windows_to_unix(self, path):
        return self.wine("winepath", "-u", path).strip()

    def values(self, key):
        """The key's own values as {name: data}, REG_DWORDs as ints; None when the key is missing."""
        result = subprocess.run([WINE, "reg", "query", key], env=self.env, stdin=subprocess.DEVNULL,
                                capture_output=True, text=True, timeout=60)
        if result.returncode != 0:
            return None
        found = {}
        for line in result.stdout.split("\n\n")[0].splitlines()[1:]:
            parts = line.strip().split("    ")
            if len(parts) >= 2:
                name, kind, data = parts[0], parts[1], parts[2] if len(parts) > 2 else ""
                found[name] = int(data, 16) if kind == "REG_DWORD" else data
        return found

    def set_value(self, key, name, data):
        self.wine("reg", "add", key, "/v", name, "/d", data, "/f")

    def delete_value(self, key, name):
        self.wine("reg", "delete", key, "/v", name, "/f", check=False)

    def screenshot(self, name):
        path = os.path.join(self.tmp, name + ".png")
        subprocess.run(["import", "-silent", "-window", "root", path], env=self.x.env, check=True)
        return path

    def close(self):
        """The X server first: stop_wine reaps until no child is left, and
        waiting for the X server to go would take it to its time limit."""
        self.x.stop()
        stop_wine(self.env)


def files_under(folder):
    """What is in the folder, but for Temp, where the uninstaller's copy runs
    (and which Windows, unlike Wine, empties of it only at the next start)."""
    found = []
    for top, dirs, files in os.walk(folder):
        if top == folder and "Temp" in dirs:
            dirs.remove("Temp")
        found += [os.path.relpath(os.path.join(top, name), folder) for name in dirs + files]
    return sorted(found)


def differing(a, b):
    """ImageMagick's count of differing pixels (AE)."""
    result = subprocess.run(["compare", "-metric", "AE", a, b, "null:"], capture_output=True, text=True)
    return int(float(result.stderr.split()[0]))


def install(prefix):
    start = time.monotonic()
    prefix.wine(SETUP, "/S")
    print(f"     installed in {time.monotonic() - start:.1f} s")


def install_through_the_pages(prefix, *keys):
    """Runs the installer's pages: these keys on the first, then Enter until it closes."""
    start = time.monotonic()
    process = subprocess.Popen([WINE, SETUP], env=prefix.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "Quillmoor Mothwake Setup"],
                       env=prefix.x.env, stdout=subprocess.DEVNULL, check=True, timeout=30)
        subprocess.run(["xdotool", "key", *keys], env=prefix.x.env, check=True)
        deadline = time.monotonic() + 30
        while process.poll() is None:  # Enter does nothing until the next button is enabled
            assert time.monotonic() < deadline, "the installer's pages did not close"
            subprocess.run(["xdotool", "key", "Return"], env=prefix.x.env, check=True)
            time.sleep(0.5)
        assert process.returncode == 0, f"the installer ended with status {process.returncode}"
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    print(f"     installed through the pages in {time.monotonic() - start:.1f} s")


def uninstall_in_place(prefix):
    """The uninstaller run where it is, as `/S _?=DIR`, which waits for it."""
    start = time.monotonic()
    prefix.wine(os.path.join(prefix.folder, "uninstall.exe"), "/S", "_?=" + prefix.windows_folder)
    print(f"     uninstalled in {time.monotonic() - start:.1f} s")


def uninstall_as_apps_does(prefix):
    """QuietUninstallString as Apps runs it: the uninstaller copies itself
    away, starts the copy and returns; the copy removes everything."""
    command = prefix.values(UNINSTALL)["QuietUninstallString"]
    match = re.fullmatch(r'"([^"]+)" /S', command)
    assert match, f"QuietUninstallString is {command!r}"
    start = time.monotonic()
    prefix.wine(match.group(1), "/S")
    xharness.wait_for(lambda: prefix.values(UNINSTALL) is None and not os.path.exists(prefix.folder), 30,
                      "the uninstaller's copy to finish")
    print(f"     uninstalled in {time.monotonic() - start:.1f} s")


def selected_saver(prefix):
    return prefix.values(DESKTOP).get("SCRNSAVE.EXE")


def assert_installed(prefix):
    """The .scr in place, selected, and the uninstaller listed with its values."""
    scr = os.path.join(prefix.folder, "quillmoor-mothwake.scr")
    assert filecmp.cmp(scr, SCR, shallow=False), f"{scr} is not the built .scr"
    selected = selected_saver(prefix)
    assert selected and " " not in selected, f"SCRNSAVE.EXE is {selected!r}, not a path without spaces"
    assert os.path.samefile(prefix.windows_to_unix(selected), scr), f"SCRNSAVE.EXE {selected!r} is not {scr}"
    assert prefix.values(DESKTOP).get("ScreenSaveActive") == "1"
    entry = prefix.values(UNINSTALL)
    assert entry, f"no {UNINSTALL}"
    folder, uninstaller = prefix.windows_folder, prefix.windows_folder + r"\uninstall.exe"
    expected = {"DisplayName": "Quillmoor Mothwake", "DisplayVersion": VERSION, "Publisher": "Quillmoor Mothwake",
                "DisplayIcon": uninstaller, "InstallLocation": folder,
                "UninstallString": f'"{uninstaller}"', "QuietUninstallString": f'"{uninstaller}" /S',
                "NoModify": 1, "NoRepair": 1}
    wrong = {name: entry.get(name) for name, value in expected.items() if entry.get(name) != value}
    assert not wrong, f"uninstall entry values {wrong}, expected {expected}"
    kilobytes = (os.path.getsize(scr) + os.path.getsize(os.path.join(prefix.folder, "uninstall.exe"))) // 1024
    assert abs(entry.get("EstimatedSize", 0) - kilobytes) <= 2, f"EstimatedSize {entry.get('EstimatedSize')}"


def assert_removed(prefix, before):
    """Nothing the installer wrote is left: files, folders, keys."""
    after = files_under(prefix.local_app_data)
    assert after == before, (f"AppData\\Local gained {sorted(set(after) - set(before))}, "
                             f"lost {sorted(set(before) - set(after))}")
    assert prefix.values(UNINSTALL) is None, f"{UNINSTALL} is still there"
    assert prefix.values(SETTINGS) is None, f"{SETTINGS} is still there"


def runs(prefix):
    """The selected saver, started as Windows starts it, covers the screen and a key ends it."""
    before = prefix.screenshot("before")
    process = subprocess.Popen([WINE, selected_saver(prefix), "/s", "-seed", "1", "-frames", "0"], env=prefix.env,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    try:
        xharness.wait_for(lambda: differing(before, prefix.screenshot("saver")) > 1024 * 768 // 2, 20,
                          "the saver's picture")
        subprocess.run(["xdotool", "key", "a"], env=prefix.x.env, check=True)
        status = process.wait(5)
        assert status == 0, f"the saver ended with status {status}: {process.stderr.read()!r}"
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


# ---------------------------------------------------------------------------

def test_installs_over_a_previous_saver_runs_and_uninstalling_puts_it_back(prefix):
    prefix.set_value(DESKTOP, "SCRNSAVE.EXE", OTHER_SAVER)
    prefix.set_value(DESKTOP, "ScreenSaveActive", "0")
    before = files_under(prefix.local_app_data)
    install(prefix)
    assert_installed(prefix)
    runs(prefix)
    prefix.set_value(SETTINGS, "scene", "skyline")  # as the settings dialog would
    uninstall_in_place(prefix)
    assert_removed(prefix, before)
    desktop = prefix.values(DESKTOP)
    assert desktop.get("SCRNSAVE.EXE") == OTHER_SAVER, f"SCRNSAVE.EXE is {desktop.get('SCRNSAVE.EXE')!r}"
    assert desktop.get("ScreenSaveActive") == "0", f"ScreenSaveActive is {desktop.get('ScreenSaveActive')!r}"


def test_without_a_previous_saver_installing_twice_then_uninstalling_leaves_none(prefix):
    prefix.delete_value(DESKTOP, "SCRNSAVE.EXE")
    prefix.delete_value(DESKTOP, "ScreenSaveActive")
    before = files_under(prefix.local_app_data)
    install(prefix)
    install(prefix)  # the second time must not take ours for the previous saver
    assert_installed(prefix)
    uninstall_as_apps_does(prefix)
    assert_removed(prefix, before)
    desktop = prefix.values(DESKTOP)
    assert "SCRNSAVE.EXE" not in desktop, f"SCRNSAVE.EXE is {desktop['SCRNSAVE.EXE']!r}"
    assert "ScreenSaveActive" not in desktop, f"ScreenSaveActive is {desktop['ScreenSaveActive']!r}"


def test_a_saver_chosen_after_installing_is_left_alone(prefix):
    prefix.set_value(DESKTOP, "SCRNSAVE.EXE", OTHER_SAVER)
    before = files_under(prefix.local_app_data)
    install(prefix)
    chosen = r"C:\windows\system32\chosen.scr"
    prefix.set_value(DESKTOP, "SCRNSAVE.EXE", chosen)
    uninstall_in_place(prefix)
    assert_removed(prefix, before)
    assert selected_saver(prefix) == chosen, f"SCRNSAVE.EXE is {selected_saver(prefix)!r}"
    assert prefix.values(DESKTOP).get("ScreenSaveActive") == "1"


def test_unticking_the_pages_option_leaves_the_selected_saver_alone(prefix):
    prefix.set_value(DESKTOP, "SCRNSAVE.EXE", OTHER_SAVER)
    before = files_under(prefix.local_app_data)
    install_through_the_pages(prefix, "Down", "space")  # the option below the saver itself
    assert os.path.exists(os.path.join(prefix.folder, "quillmoor-mothwake.scr")), "the .scr is not installed"
    assert selected_saver(prefix) == OTHER_SAVER, f"SCRNSAVE.EXE is {selected_saver(prefix)!r}"
    uninstall_in_place(prefix)
    assert_removed(prefix, before)
    assert selected_saver(prefix) == OTHER_SAVER, f"SCRNSAVE.EXE is {selected_saver(prefix)!r}"


CASES = (test_installs_over_a_previous_saver_runs_and_uninstalling_puts_it_back,
         test_without_a_previous_saver_installing_twice_then_uninstalling_leaves_none,
         test_a_saver_chosen_after_installing_is_left_alone,
         test_unticking_the_pages_option_leaves_the_selected_saver_alone)


def main():
    reason = not_ready("test_installer_under_wine", ("makensis", "Xvfb", "compare", "xdotool"),
                       ((SETUP, "make windows"), (SCR, "make windows")))
    if reason:
        return reason
    return run_suite("quillmoor-setup-", run_cases)


def run_cases(tmp):
    prefix = Prefix(tmp)
    try:
        return len(CASES), sum(run_case(case, prefix) for case in CASES)
    finally:
        prefix.close()


if __name__ == "__main__":
    sys.exit(main())
