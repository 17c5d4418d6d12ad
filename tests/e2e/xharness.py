"""Shared pieces of the end-to-end tests: private X servers, the saver as a
child whose stderr is watched line by line, screenshots and the renderer's
reference pictures."""
import atexit
import os
import pwd
import queue
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time


BUILD = os.environ.get("QUILLMOOR_BUILD", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
HACK = os.path.join(BUILD, "quillmoor-mothwake")
RENDER = os.path.join(BUILD, "quillmoor-render")
PROBE = os.path.join(BUILD, "tests", "x11-probe")
# How soon the saver must exit after SIGTERM or SIGINT: it exits within about
# 100 ms whatever it is doing; the limit leaves room for a busy 2-core machine.
# Sanitizer builds check memory at exit and get more.
EXIT_LIMIT = float(os.environ.get("QUILLMOOR_EXIT_LIMIT_MS", "1000")) / 1000
# When set, every PNG read is also copied here, to be looked at.
KEEP = os.environ.get("QUILLMOOR_KEEP_SCREENSHOTS")
# Programs that refuse to run as root (the XScreenSaver daemon, sway) run as this user.
USER = "quillmoor-e2e"


def ensure_user():
    if os.getuid() != 0:
        return
    try:
        pwd.getpwnam(USER)
    except KeyError:
        subprocess.run(["useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", USER], check=True)


_USER_COPIES = {}


def for_user(path):
    """A path to this program that the test user can run. As root, a copy in
    a directory of its own under /tmp: the build may sit where the test user
    cannot go (a checkout in /root or in a home directory of mode 700)."""
    if os.getuid() != 0:
        return path
    if path not in _USER_COPIES:
        ensure_user()
        directory = tempfile.mkdtemp(prefix="quillmoor-e2e-bin-")
        os.chmod(directory, 0o755)
        atexit.register(shutil.rmtree, directory, ignore_errors=True)
        copy = os.path.join(directory, os.path.basename(path))
        shutil.copy2(path, copy)
        os.chmod(copy, 0o755)
        _USER_COPIES[path] = copy
    return _USER_COPIES[path]


def wait_for(predicate, timeout, what):
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.05)


def _start_server(args, env):
    """Starts an X server that picks its display number (-displayfd); returns (process, display)."""
    read_end, write_end = os.pipe()
    proc = subprocess.Popen([args[0], "-displayfd", str(write_end), *args[1:]], env=env, pass_fds=(write_end,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as f:
        number = f.readline().strip()
    if not number:
        proc.kill()
        raise RuntimeError(f"{args[0]} did not start")
    return proc, ":" + number


class Xvfb:
    def __init__(self, size="1024x768", extra=()):
        self._started(["Xvfb", "-screen", "0", size + "x24", "-nolisten", "tcp", "-ac", *extra])

    def _started(self, args, env=None):
        self.proc, self.display = _start_server(args, env)
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
        subprocess.run(["import", "-silent", "-window", str(window), "-depth", "8", "ppm:" + path], env=self.env, check=True)
        with open(path, "rb") as f:
            _, size, _, pixels = f.read().split(b"\n", 3)
        width, height = map(int, size.split())
        return width, height, pixels

    def root_children(self):
        out = subprocess.run(["xwininfo", "-root", "-children"], env=self.env, check=True,
                             capture_output=True, text=True).stdout
        return [line.split()[0] for line in out.splitlines() if line.strip().startswith("0x")]

    def root_id(self):
        out = subprocess.run(["xwininfo", "-root"], env=self.env, check=True, capture_output=True, text=True).stdout
        return re.search(r"Window id: (0x[0-9a-f]+)", out).group(1)


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


class XorgDummy(Xvfb):
    """X.Org on the dummy driver, with monitors laid side by side through
    RandR on its outputs DUMMY0-15. Needs root."""

    def __init__(self, monitors, workdir):
        conf = os.path.join(workdir, "xorg.conf")
        with open(conf, "w") as f:
            f.write(XORG_DUMMY_CONF)
        self._started(["Xorg", "-config", conf, "-noreset", "-nolisten", "tcp", "-ac",
                       "-logfile", os.path.join(workdir, "xorg.log")])
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
    """A nested X server with Xinerama heads side by side, where RandR sees a single screen."""

    def __init__(self, heads):
        self.host = Xvfb("4000x2000")
        screens = [arg for width, height in heads for arg in ("-screen", f"{width}x{height}")]
        self._started(["Xephyr", "+xinerama", "-ac", "-noreset", "-nolisten", "tcp", *screens], self.host.env)

    def stop(self):
        super().stop()
        self.host.stop()


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

    def stop_promptly(self, signo=signal.SIGTERM, limit=EXIT_LIMIT):
        status, seconds = self.signal_and_time(signo)
        print(f"     exit {seconds * 1000:.0f} ms after {signo.name}", flush=True)
        assert status == 0, f"exit status {status} after {signo.name}"
        assert seconds < limit, f"{seconds * 1000:.0f} ms to exit after {signo.name}"

    def wait(self, timeout=5):
        return self.proc.wait(timeout)

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.kill()

    def kill_group(self):
        """Ends the child and everything it started in its process group."""
        try:
            os.killpg(self.proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.proc.wait()


class ProbeWindow:
    """A window made by x11-probe, which resizes or destroys it on request."""

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

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def start_timed(args, env):
    """Starts a program and returns it once the saver's main has begun in it."""
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(args, env=dict(env, QUILLMOOR_START_FD=str(write_end)), pass_fds=(write_end,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as marker:
        assert marker.readline() == "main\n", "no start marker"
    return proc


def stops_cleanly_at_any_moment(start, delays_ms, starts_per_delay):
    """SIGTERM at each delay after main begins, several times each: status 0 every time."""
    statuses = {}
    for delay in delays_ms:
        for _ in range(starts_per_delay):
            proc = start()
            time.sleep(delay / 1000)
            proc.send_signal(signal.SIGTERM)
            statuses.setdefault(proc.wait(10), []).append(delay)
    assert list(statuses) == [0], f"exit statuses by delay (ms): {statuses}"


# A starved saver typically exits 100-200 ms after the signal; the process's
# own teardown (unmapping a 132 MB screen image) at a tenth of a core takes
# the rest. The limit leaves room for a CI machine busy with other work.
STARVED_LIMIT = float(os.environ.get("QUILLMOOR_STARVED_EXIT_LIMIT_MS", "1000")) / 1000


def starved_stops(start, what, starts=10):
    """SIGTERM and SIGINT, each `starts` times at moments spread over the
    first 3 s, to a saver that shares CPU 0 at nice 10 with a busy loop (a
    tenth of a core or so), while it builds and draws its first frames:
    status 0 and an exit within the limit every time. start(wrap) starts the
    saver with its command passed through wrap."""
    busy = subprocess.Popen(["taskset", "-c", "0", "sh", "-c", "while :; do :; done"])
    times = {}
    try:
        for signo in (signal.SIGTERM, signal.SIGINT):
            for i in range(starts):
                proc = start(lambda args: ["taskset", "-c", "0", "nice", "-n", "10", *args])
                time.sleep(3.0 * i / (starts - 1))
                began = time.monotonic()
                proc.send_signal(signo)
                try:
                    status = proc.wait(10)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
                    status = "still running 10 s later"
                ms = (time.monotonic() - began) * 1000
                times.setdefault(signo.name, []).append(round(ms))
                assert status == 0, f"{what}: status {status} after {signo.name} {3.0 * i / (starts - 1):.1f} s in"
    finally:
        busy.kill()
        busy.wait()
    print(f"     {what}, starved: ms from signal to exit {times}", flush=True)
    worst = max(max(t) for t in times.values())
    assert worst < STARVED_LIMIT * 1000, f"{what}: {worst} ms to exit, starved: {times}"


def cpu_seconds(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def cpu_used(process, seconds=2.0):
    """CPU seconds the process spends over the next `seconds`."""
    before = cpu_seconds(process.proc.pid)
    time.sleep(seconds)
    return cpu_seconds(process.proc.pid) - before


def assert_one_line(result, status, pattern, what):
    """A failed run: this exit status and a single stderr line matching pattern."""
    lines = result.stderr.strip().splitlines()
    assert result.returncode == status, f"{what}: status {result.returncode}, wanted {status}: {result.stderr!r}"
    assert len(lines) == 1 and re.search(pattern, lines[0]), f"{what}: stderr {result.stderr!r}"


def read_png(path):
    """(width, height, rgb bytes) of a PNG, read through ImageMagick."""
    if KEEP:
        os.makedirs(KEEP, exist_ok=True)
        shutil.copy(path, os.path.join(KEEP, f"{time.monotonic_ns()}-{os.path.basename(path)}"))
    width, height = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True, text=True,
                                   check=True).stdout.split()
    rgb = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout
    return int(width), int(height), rgb


def differing_pixels(a, b):
    """How many pixels two images differ in; None when their sizes differ."""
    if a[:2] != b[:2]:
        return None
    pa, pb = a[2], b[2]
    return sum(1 for i in range(0, len(pa), 3) if pa[i:i + 3] != pb[i:i + 3]) if pa != pb else 0


def rendered(args, path):
    """The picture quillmoor-render makes with these arguments."""
    subprocess.run([RENDER, *args, "--out", path], check=True, capture_output=True)
    return read_png(path)


def shows_picture(screenshot, expected, what, timeout=15):
    """Waits for screenshot() to equal the expected picture; fails with the
    count of differing pixels when it does not."""
    last = [None]

    def same():
        last[0] = screenshot()
        return last[0][:2] == expected[:2] and last[0][2] == expected[2]
    try:
        wait_for(same, timeout, what)
    except AssertionError:
        raise AssertionError(f"{differing_pixels(last[0], expected)} pixels differ from {what}") from None


def shows_reference(screenshot, size, seed, frames, path, extra=()):
    """Waits for screenshot() to show the renderer's picture for a screen of
    this size (with the renderer's extra arguments); fails with the count of
    differing pixels when it does not."""
    expected = rendered(["--screen", size, "--seed", str(seed), "--frames", str(frames), *extra], path)
    shows_picture(screenshot, expected, f"quillmoor-render --screen {size}")


def held_picture(x, args, path):
    """The pixels of the saver's (first) window once it holds its last frame."""
    with Process([HACK, "-verbose", *args], x.env) as hack:
        window = int(hack.expect(" (").split("window ")[1].split()[0], 16)
        hack.expect("canvas ")
        previous = None
        for _ in range(100):
            time.sleep(0.2)
            shot = x.grab(window, path)
            if shot == previous:
                assert hack.signal_and_time(signal.SIGTERM)[0] == 0
                return shot
            previous = shot
        raise AssertionError("the picture never came to rest")


def is_lit(image):
    """True when a fair share of the picture is not black."""
    width, height, px = image
    lit = sum(1 for i in range(0, len(px), 3 * 97) if px[i] + px[i + 1] + px[i + 2] > 30)
    return lit > len(px) // (3 * 97) // 4


def scanlines_every(image, period, x0=0, x1=None):
    """Fraction of canvas rows, `period` screen rows each, whose last screen
    row (over columns x0..x1) is darker than the one above: close to 1 at that
    pixel scale."""
    width, height, px = image
    columns = range(x0, width if x1 is None else x1, 7)

    def brightness(y):
        return sum(sum(px[(y * width + x) * 3:(y * width + x) * 3 + 3]) for x in columns)
    darker = total = 0
    for y in range(period - 1, height, period):
        upper = brightness(y - 1)
        if upper > 0:
            total += 1
            darker += brightness(y) < upper
    return darker / total if total else 0.0


def run_cases(skip=()):
    """Runs the calling script's test_ functions in order, but those in skip;
    prints a line per case and the closing count."""
    cases = [f for name, f in vars(sys.modules["__main__"]).items() if name.startswith("test_") and f not in skip]
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
