#!/usr/bin/env python3
"""The saver drawing into a window someone else made, as XScreenSaver and
xsecurelock have it: it follows the window's size, ends when the window is
destroyed, and ends cleanly on SIGTERM."""
import os
import re
import signal
import subprocess
import tempfile
import time

from xharness import EXIT_LIMIT, HACK, PROBE, Process, Xvfb, is_lit, run_cases, scanline_rows

TMP = tempfile.mkdtemp(prefix="quillmoor-e2e-")


class ProbeWindow:
    """A window made by the probe, which resizes or destroys it on request."""

    def __init__(self, x, size):
        self.proc = subprocess.Popen([PROBE, "window", size], env=x.env, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
        self.id = int(self.proc.stdout.readline())

    def command(self, text):
        self.proc.stdin.write(text + "\n")
        self.proc.stdin.flush()
        assert self.proc.stdout.readline().strip() == "ok"

    def close(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()
            self.proc.wait(5)


def test_follows_resize_and_ends_with_window():
    with Xvfb("1280x1024") as x:
        window = ProbeWindow(x, "640x480")
        children = x.root_children()
        hack = Process([HACK, "-window-id", hex(window.id), "-verbose", "-seed", "7"], x.env)
        try:
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
            share = scanline_rows(big, 0, 1000)
            assert share > 0.9, f"scanlines on only {share:.0%} of the canvas rows"

            window.command("destroy")
            start = time.monotonic()
            status = hack.wait(2)
            assert status == 0, f"exit status {status} after the window went away"
            assert time.monotonic() - start < 0.5, "slow to notice the window went away"
            hack.expect("stopping (window destroyed)")
        finally:
            hack.kill()
            window.close()


def test_sigterm_and_sigint_end_it_promptly():
    with Xvfb("800x600") as x:
        window = ProbeWindow(x, "200x150")
        try:
            for signo, name in ((signal.SIGTERM, "SIGTERM"), (signal.SIGINT, "SIGINT")):
                # xsecurelock hands the window over in decimal, without options.
                env = dict(x.env, XSCREENSAVER_WINDOW=str(window.id))
                hack = Process([HACK, "-verbose"], env)
                try:
                    hack.expect(f"window {hex(window.id)} 200x150")
                    hack.expect("canvas 200x150 scale 1")
                    time.sleep(0.3)
                    status, seconds = hack.signal_and_time(signo)
                    assert status == 0, f"exit status {status} after {name}"
                    assert seconds < EXIT_LIMIT, f"{seconds * 1000:.0f} ms to exit after {name}"
                    hack.expect(f"stopping ({name})")
                finally:
                    hack.kill()
        finally:
            window.close()


def test_sleeps_between_frames():
    with Xvfb("800x600") as x:
        window = ProbeWindow(x, "200x150")
        hack = Process([HACK, "-window-id", str(window.id), "-verbose"], x.env)
        try:
            hack.expect("canvas 200x150")
            def cpu():
                fields = open(f"/proc/{hack.proc.pid}/stat").read().rsplit(")", 1)[1].split()
                return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
            before, start = cpu(), time.monotonic()
            time.sleep(1.0)
            share = (cpu() - before) / (time.monotonic() - start)
            assert share < 0.3, f"{share:.0%} of a core for a 200x150 window: busy-waiting?"
            assert hack.proc.poll() is None
        finally:
            hack.kill()
            window.close()


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
        ):
            result = subprocess.run([HACK, *args], env=dict(x.env, **env), capture_output=True, text=True, timeout=5)
            lines = result.stderr.strip().splitlines()
            assert result.returncode == code, f"{args} {env}: status {result.returncode}, wanted {code}"
            assert len(lines) == 1 and re.search(pattern, lines[0]), f"{args} {env}: stderr {result.stderr!r}"


if __name__ == "__main__":
    run_cases([test_follows_resize_and_ends_with_window, test_sigterm_and_sigint_end_it_promptly,
               test_sleeps_between_frames, test_bad_windows])
