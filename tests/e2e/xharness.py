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

    def __init__(self, size="1024x768", extra=()):
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", size + "x24", "-nolisten", "tcp", "-ac", *extra],
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


XORG_DUMMY_CONF = """Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 8192 4096
  EndSubSection
EndSection
"""


def _display_from(fd_read, proc, what):
    with os.fdopen(fd_read) as f:
        number = f.readline().strip()
    if not number:
        proc.kill()
        raise RuntimeError(f"{what} did not start")
    return ":" + number


class XorgDummy(Xvfb):
    """A real X.Org server on the dummy driver, whose outputs DUMMY0-15 are
    monitors RandR can lay side by side. Needs root."""

    def __init__(self, monitors, workdir):
        conf = os.path.join(workdir, "xorg.conf")
        with open(conf, "w") as f:
            f.write(XORG_DUMMY_CONF)
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ["Xorg", "-displayfd", str(write_end), "-config", conf, "-noreset", "-nolisten", "tcp", "-ac",
             "-logfile", os.path.join(workdir, "xorg.log")],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        self.display = _display_from(read_end, self.proc, "Xorg")
        self.env = dict(os.environ, DISPLAY=self.display)
        self.env.pop("XSCREENSAVER_WINDOW", None)
        layout, x = [], 0
        for i, (width, height) in enumerate(monitors):
            mode = f"{width}x{height}_e2e"
            self.xrandr("--newmode", mode, "60", str(width), str(width + 8), str(width + 16), str(width + 24),
                        str(height), str(height + 1), str(height + 2), str(height + 3))
            self.xrandr("--addmode", f"DUMMY{i}", mode)
            layout += ["--output", f"DUMMY{i}", "--mode", mode, "--pos", f"{x}x0"]
            x += width
        self.xrandr(*layout)

    def xrandr(self, *args):
        subprocess.run(["xrandr", *args], env=self.env, check=True, capture_output=True)


class XephyrXinerama(Xvfb):
    """A nested X server with Xinerama heads side by side, where RandR sees a
    single screen."""

    def __init__(self, heads):
        self.host = Xvfb("4000x2000")
        read_end, write_end = os.pipe()
        args = ["Xephyr", "-displayfd", str(write_end), "+xinerama", "-ac", "-noreset", "-nolisten", "tcp"]
        for width, height in heads:
            args += ["-screen", f"{width}x{height}"]
        self.proc = subprocess.Popen(args, env=self.host.env, pass_fds=(write_end,),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        self.display = _display_from(read_end, self.proc, "Xephyr")
        self.env = dict(os.environ, DISPLAY=self.display)
        self.env.pop("XSCREENSAVER_WINDOW", None)

    def stop(self):
        super().stop()
        self.host.stop()
