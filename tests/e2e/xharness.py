"""Shared pieces of the end-to-end tests: a private Xvfb, the saver as a
child process whose stderr is watched line by line, and screenshots."""
import os
import queue
import signal
import subprocess
import sys
import threading
import time

BUILD = os.environ.get("QUILLMOOR_BUILD", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
HACK = os.path.join(BUILD, "quillmoor-mothwake")
PROBE = os.path.join(BUILD, "tests", "x11-probe")
# How soon the saver must exit after SIGTERM or SIGINT. Sanitizer builds check
# memory at exit and get more room; the limit for real builds is 200 ms.
EXIT_LIMIT = float(os.environ.get("QUILLMOOR_EXIT_LIMIT_MS", "200")) / 1000


class Xvfb:
    """An X server on a display number it picks itself (-displayfd)."""

    def __init__(self, size="1024x768"):
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", size + "x24", "-nolisten", "tcp", "-ac"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as f:
            number = f.readline().strip()
        if not number:
            self.stop()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number
        self.env = dict(os.environ, DISPLAY=self.display)
        self.env.pop("XSCREENSAVER_WINDOW", None)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def grab(self, window, path):
        """The window's pixels (or "root") as (width, height, rgb bytes)."""
        subprocess.run([PROBE, "grab", str(window), path], env=self.env, check=True)
        return read_ppm(path)

    def root_children(self):
        out = subprocess.run(["xwininfo", "-root", "-children"], env=self.env, check=True,
                             capture_output=True, text=True).stdout
        return [line.split()[0] for line in out.splitlines() if line.strip().startswith("0x")]


class Process:
    """A child whose stderr lines are collected as they come."""

    def __init__(self, args, env, own_group=False):
        self.args = args
        self.proc = subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                                     start_new_session=own_group)
        self.lines = queue.Queue()
        self.seen = []
        threading.Thread(target=self._pump, daemon=True).start()

    def _pump(self):
        for line in self.proc.stderr:
            self.lines.put(line.rstrip("\n"))

    def expect(self, needle, timeout=10):
        """Waits for a stderr line containing needle and returns it."""
        end = time.monotonic() + timeout
        for line in self.seen:
            if needle in line:
                self.seen.remove(line)
                return line
        while True:
            left = end - time.monotonic()
            if left <= 0:
                raise AssertionError(f"no line with {needle!r} from {self.args[0]}; saw {self.seen}")
            try:
                line = self.lines.get(timeout=left)
            except queue.Empty:
                continue
            if needle in line:
                return line
            self.seen.append(line)

    def signal_and_time(self, signo, timeout=5):
        """Sends a signal; returns (exit status, seconds until exit)."""
        start = time.monotonic()
        self.proc.send_signal(signo)
        status = self.proc.wait(timeout)
        return status, time.monotonic() - start

    def wait(self, timeout=5):
        return self.proc.wait(timeout)

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def kill_group(self):
        """Ends the child and everything it started in its process group."""
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.proc.wait()


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    magic, size, depth, pixels = data.split(b"\n", 3)
    width, height = map(int, size.split())
    return width, height, pixels


def pixel(image, x, y):
    width, _, px = image
    i = (y * width + x) * 3
    return px[i], px[i + 1], px[i + 2]


def is_lit(image):
    """True when a fair share of the picture is not black."""
    width, height, px = image
    lit = sum(1 for i in range(0, len(px), 3 * 97) if px[i] + px[i + 1] + px[i + 2] > 30)
    return lit > len(px) // (3 * 97) // 4


def scanline_rows(image, x0=0, x1=None):
    """Fraction of row pairs (2i, 2i+1) whose lower row is darker, over the
    columns x0..x1: close to 1 when every canvas row has its scanline."""
    width, height, px = image
    x1 = width if x1 is None else x1
    darker = total = 0
    for y in range(0, height - 1, 2):
        upper = sum(sum(pixel(image, x, y)) for x in range(x0, x1, 7))
        lower = sum(sum(pixel(image, x, y + 1)) for x in range(x0, x1, 7))
        if upper > 0:
            total += 1
            darker += lower < upper
    return darker / total if total else 0.0


def run_cases(cases):
    """Runs each case, prints a line per case and the closing count."""
    failed = 0
    for case in cases:
        start = time.monotonic()
        try:
            case()
            print(f"ok   {case.__name__} ({time.monotonic() - start:.1f} s)", flush=True)
        except Exception as error:  # noqa: BLE001 - report every failure and go on
            failed += 1
            print(f"FAIL {case.__name__}: {error}", flush=True)
    print(f"{len(cases) - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)
