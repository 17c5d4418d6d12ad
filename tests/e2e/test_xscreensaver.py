#!/usr/bin/env python3
"""The saver under the real XScreenSaver daemon, set up as the README says:
both scenes run in the daemon's window when selected; deactivated, the
saver ends at once with status 0."""
import os
import re
import shutil
import subprocess
import tempfile
import time

from xharness import EXIT_LIMIT, HACK, USER, Process, Xvfb, ensure_user, is_lit, run_cases, scanlines_every, wait_for

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


def readme_programs_lines():
    """The programs: entries the README tells users to add; the man page must show the same."""
    with open(os.path.join(SOURCE, "README.md")) as f:
        readme = [line for line in f.read().splitlines() if re.match(r'\s*"Quillmoor Mothwake[^"]*"\s', line)]
    with open(os.path.join(SOURCE, "packaging", "quillmoor-mothwake.6")) as f:
        manual = f.read().replace("\\-", "-").replace("\\\\", "\\")
    assert len(readme) == 2, f"the README should show one programs: line per scene, not {readme}"
    for line in readme:
        assert line.strip() in manual, f"the man page lacks the README's line {line.strip()!r}"
    return readme


def make_home(programs, files=()):
    """A home for the daemon's user: ~/.xscreensaver with these programs:
    entries (each ending in \\n\\ as in the README), plus files copied in."""
    ensure_user()
    home = tempfile.mkdtemp(prefix="quillmoor-xss-")
    os.chmod(home, 0o755)
    for source, name in files:
        os.makedirs(os.path.dirname(os.path.join(home, name)), exist_ok=True)
        shutil.copy(source, os.path.join(home, name))
    with open(os.path.join(home, ".xscreensaver"), "w") as f:
        f.write(QUIET + "programs:\t\t\t\t\t\t\t\t      \\\n")
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


def test_readme_programs_lines_run_both_scenes():
    programs = readme_programs_lines()
    home = make_home(programs, [(HACK, "bin/quillmoor-mothwake")])
    with Daemon(home, path=f"{home}/bin:/usr/bin:/bin") as daemon:
        # The city: 225 canvas rows on a 900-row screen, so every fourth row carries a scanline.
        pid, _ = daemon.start("-select", "2", launched="quillmoor-mothwake -root -scene skyline")
        time.sleep(1)
        screen = daemon.screen()
        assert is_lit(screen), "the screen is black while the skyline runs"
        assert scanlines_every(screen, 4) > 0.9, "the skyline's scanlines are not every fourth row"
        assert scanlines_every(screen, 2) < 0.7, "scanlines every second row: this is not the skyline"

        # The forest replaces it: 450 rows, a scanline every second row.
        daemon.start("-select", "1", launched="quillmoor-mothwake -root")
        wait_for(lambda: gone(pid), 2, "the skyline's process to end after the switch")
        time.sleep(1)
        screen = daemon.screen()
        assert is_lit(screen), "the screen is black while the forest runs"
        assert scanlines_every(screen, 2) > 0.9, "the forest's scanlines are not every second row"


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
