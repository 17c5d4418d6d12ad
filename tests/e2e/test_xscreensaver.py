#!/usr/bin/env python3
"""The saver as the only program of the real XScreenSaver daemon: activated,
it runs in the daemon's window and shows the scene; deactivated, it ends at
once with status 0. The daemon will not run programs as root, so as root the
test runs it as an unprivileged user of its own."""
import os
import pwd
import re
import shutil
import subprocess
import tempfile
import time

from xharness import EXIT_LIMIT, HACK, Process, Xvfb, is_lit, run_cases, scanline_rows

USER = "quillmoor-e2e"
HERE = os.path.dirname(os.path.abspath(__file__))


def as_user(args, home, display):
    env = ["env", f"HOME={home}", f"DISPLAY={display}", "PATH=/usr/bin:/bin"]
    if os.getuid() != 0:
        return env + args
    return ["runuser", "-u", USER, "--"] + env + args


def ensure_user():
    if os.getuid() != 0:
        return
    try:
        pwd.getpwnam(USER)
    except KeyError:
        subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", USER], check=True)


def command(home, x, *args):
    return subprocess.run(as_user(["xscreensaver-command", *args], home, x.display), env=x.env,
                          capture_output=True, text=True, timeout=10)


def test_runs_under_xscreensaver():
    ensure_user()
    home = tempfile.mkdtemp(prefix="quillmoor-xss-")
    os.chmod(home, 0o755)
    shutil.copy(HACK, home)
    shutil.copy(os.path.join(HERE, "hack-wrapper.sh"), home)
    status_file = os.path.join(home, "status")
    with open(os.path.join(home, ".xscreensaver"), "w") as f:
        f.write("mode: one\nselected: 0\nfade: False\nunfade: False\nlock: False\nsplash: False\n"
                "captureStderr: False\ntimeout: 0:30:00\n"
                f"programs: {home}/hack-wrapper.sh -root -verbose \\n\n")
    if os.getuid() == 0:
        shutil.chown(home, USER)
        for name in os.listdir(home):
            shutil.chown(os.path.join(home, name), USER)

    with Xvfb("1000x900") as x:
        env = dict(x.env, QUILLMOOR_STATUS_FILE=status_file)
        daemon = Process(as_user(["env", f"QUILLMOOR_STATUS_FILE={status_file}",
                                  "xscreensaver", "-no-splash", "-verbose"], home, x.display), env,
                         own_group=True)
        try:
            daemon.expect("running in process")
            deadline = time.monotonic() + 10
            while command(home, x, "-activate").returncode != 0:
                assert time.monotonic() < deadline, "the daemon never took -activate"
                time.sleep(0.2)

            launched = daemon.expect("hack-wrapper.sh -root -verbose\" in pid")
            window = re.search(r"on window (0x[0-9a-f]+)", launched).group(1)
            daemon.expect(f"quillmoor-mothwake: window {window} 1000x900")
            daemon.expect("quillmoor-mothwake: canvas 500x450 scale 2")
            time.sleep(0.5)
            screen = x.grab("root", os.path.join(home, "screen.ppm"))
            assert is_lit(screen), "the screen is black while the saver runs"
            assert scanline_rows(screen) > 0.9, "no scanlines on the screen"

            assert command(home, x, "-deactivate").returncode == 0
            deadline = time.monotonic() + 3
            while not os.path.exists(status_file):
                assert time.monotonic() < deadline, "the saver did not end after -deactivate"
                time.sleep(0.05)
            status, ms = map(int, open(status_file).read().split())
            assert status == 0, f"the saver ended with status {status}"
            assert ms < EXIT_LIMIT * 1000, f"the saver took {ms} ms to end after SIGTERM"
        finally:
            command(home, x, "-exit")
            try:
                daemon.wait(3)
            except subprocess.TimeoutExpired:
                pass
            daemon.kill_group()
    shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    run_cases([test_runs_under_xscreensaver])
