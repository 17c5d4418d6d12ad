#!/usr/bin/env python3
"""The saver under the real XScreenSaver daemon, set up as the README says
(quillmoor-mothwake --add-to-xscreensaver): both scenes run in the daemon's
window when selected; deactivated, the saver ends at once with status 0.
The set-up itself, as an ordinary user, on files it may not read or write."""
import os
import re
import shutil
import subprocess
import tempfile
import time

from xharness import (EXIT_LIMIT, HACK, USER, Process, Xvfb, assert_one_line, ensure_user, for_user, is_lit, run_cases,
                      scanlines_every, wait_for)

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
# Settings that keep the daemon quiet and quick: no fading, no locking.
QUIET = ("mode: one\nselected: 0\nfade: False\nunfade: False\nlock: False\nsplash: False\n"
         "captureStderr: False\ntimeout: 0:30:00\n")


def as_user(args, home, display, path="/usr/bin:/bin"):
    env = ["env", f"HOME={home}", f"DISPLAY={display}", f"PATH={path}"]
    if os.getuid() != 0:
        return env + args
    return ["runuser", "-u", USER, "--"] + env + args


def make_home(programs, files=()):
    """A home for the daemon's user: ~/.xscreensaver with these programs:
    entries (each ending in \\n\\), or without a programs: list when None,
    plus files copied in."""
    ensure_user()
    home = tempfile.mkdtemp(prefix="quillmoor-xss-")
    os.chmod(home, 0o755)
    for source, name in files:
        os.makedirs(os.path.dirname(os.path.join(home, name)), exist_ok=True)
        shutil.copy(source, os.path.join(home, name))
    with open(os.path.join(home, ".xscreensaver"), "w") as f:
        f.write(QUIET)
        if programs is not None:
            f.write("programs:\t\t\t\t\t\t\t\t      \\\n")
            f.write("".join(line + "\n" for line in programs) + "\n")
    if os.getuid() == 0:
        for directory, _, names in os.walk(home):
            shutil.chown(directory, USER)
            for name in names:
                shutil.chown(os.path.join(directory, name), USER)
    return home


class Daemon:
    """xscreensaver -verbose on its own Xvfb, as the test user."""

    def __init__(self, home, size="1000x900", path="/usr/bin:/bin", env=None):
        self.home, self.size, self.path, self.extra = home, size, path, env or {}

    def __enter__(self):
        self.x = Xvfb(self.size)
        extra = [f"{name}={value}" for name, value in self.extra.items()]
        self.proc = Process(as_user(["env", *extra, "xscreensaver", "-no-splash", "-verbose"], self.home,
                                    self.x.display, self.path), self.x.env, own_group=True)
        self.proc.expect("running in process")
        return self

    def command(self, *args):
        return subprocess.run(as_user(["xscreensaver-command", *args], self.home, self.x.display),
                              env=self.x.env, capture_output=True, text=True, timeout=10)

    def start(self, *args, launched):
        """Sends the command until the daemon takes it; returns (pid, window)
        of the program it launched, whose command line must be `launched`.
        The daemon may show an option's one dash as two."""
        wait_for(lambda: self.command(*args).returncode == 0, 10, f"the daemon to take {args}")
        line = self.proc.expect('" in pid')
        while " on window " not in line:  # a helper of the daemon's, not a saver
            line = self.proc.expect('" in pid')
        command = re.sub(r"(^| )--", r"\1-", line.split('"')[1])
        assert command == launched, f"the daemon ran {command!r}, not {launched!r}"
        found = re.search(r"in pid (\d+) on window (0x[0-9a-f]+)", line)
        assert found, line
        return int(found.group(1)), found.group(2)

    def screen(self):
        return self.x.grab("root", os.path.join(self.home, "screen.ppm"))

    def __exit__(self, *exc):
        self.command("-exit")
        try:
            self.proc.wait(3)
        except subprocess.TimeoutExpired:
            pass
        self.proc.kill_group()
        self.x.stop()
        shutil.rmtree(self.home, ignore_errors=True)


def gone(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except FileNotFoundError:
        return True


def add_to_xscreensaver(home, program):
    return subprocess.run(as_user([program, "--add-to-xscreensaver"], home, ":0"), capture_output=True, text=True,
                          timeout=10)


def test_added_entries_run_both_scenes():
    # Settings of its own but no programs: list, so the command copies
    # XScreenSaver's list from its defaults and puts the saver at its end.
    home = make_home(None)
    program = for_user(HACK)
    added = add_to_xscreensaver(home, program)
    assert added.returncode == 0, added
    forest, skyline = (int(n) for n in re.findall(r"^ *(\d+)\. ", added.stdout, re.M))
    assert f"xscreensaver-command -select {forest}" in added.stdout, added.stdout
    with open(os.path.join(home, ".xscreensaver")) as f:
        assert f.read().startswith(QUIET), "the settings before the list changed"
    with Daemon(home) as daemon:
        # The city: 225 canvas rows on a 900-row screen, so every fourth row carries a scanline.
        pid, _ = daemon.start("-select", str(skyline), launched=f"{program} -root -scene skyline")
        time.sleep(1)
        screen = daemon.screen()
        assert is_lit(screen), "the screen is black while the skyline runs"
        assert scanlines_every(screen, 4) > 0.9, "the skyline's scanlines are not every fourth row"
        assert scanlines_every(screen, 2) < 0.7, "scanlines every second row: this is not the skyline"

        # The forest replaces it: 450 rows, a scanline every second row.
        daemon.start("-select", str(forest), launched=f"{program} -root")
        wait_for(lambda: gone(pid), 2, "the skyline's process to end after the switch")
        time.sleep(1)
        screen = daemon.screen()
        assert is_lit(screen), "the screen is black while the forest runs"
        assert scanlines_every(screen, 2) > 0.9, "the forest's scanlines are not every second row"


def test_setup_refuses_files_it_may_not_read_or_write():
    """As an ordinary user (permissions do not stop root): one line, status 2,
    the file as it was and no backup beside it."""
    if os.getuid() != 0:
        print("skipped: needs root to run the set-up as the test user")
        return
    program = for_user(HACK)
    for mode, reason in ((0o200, "cannot read"), (0o400, "cannot write")):
        home = make_home(["  maze -root \\n\\"])
        config = os.path.join(home, ".xscreensaver")
        with open(config) as f:
            before = f.read()
        os.chmod(config, mode)
        try:
            result = add_to_xscreensaver(home, program)
            assert_one_line(result, 2, rf"^quillmoor-mothwake: {reason} {re.escape(config)}: Permission denied$",
                            f"a file of mode {mode:o}")
            os.chmod(config, 0o600)
            with open(config) as f:
                assert f.read() == before, f"the file of mode {mode:o} changed"
            assert sorted(os.listdir(home)) == [".xscreensaver"], os.listdir(home)
        finally:
            shutil.rmtree(home, ignore_errors=True)


def test_deactivated_saver_ends_at_once_with_status_zero():
    home = make_home([f"  hack-wrapper.sh -root -verbose \\n\\"],
                     [(HACK, "quillmoor-mothwake"), (os.path.join(HERE, "hack-wrapper.sh"), "hack-wrapper.sh")])
    status_file = os.path.join(home, "status")
    with Daemon(home, path=f"{home}:/usr/bin:/bin", env={"QUILLMOOR_STATUS_FILE": status_file}) as daemon:
        _, window = daemon.start("-activate", launched="hack-wrapper.sh -root -verbose")
        daemon.proc.expect(f"quillmoor-mothwake: window {window} 1000x900")
        daemon.proc.expect("quillmoor-mothwake: canvas 500x450 scale 2")

        assert daemon.command("-deactivate").returncode == 0
        wait_for(lambda: os.path.exists(status_file), 3, "the saver to end after -deactivate")
        status, ms = map(int, open(status_file).read().split())
        assert status == 0, f"the saver ended with status {status}"
        assert ms < EXIT_LIMIT * 1000, f"the saver took {ms} ms to end after SIGTERM"


if __name__ == "__main__":
    run_cases()
