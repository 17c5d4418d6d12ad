"""Shared pieces of the Wayland end-to-end tests: a headless sway, weston or
KWin of its own, run with its clients as an unprivileged user when the tests run
as root (sway refuses root)."""
import atexit
import contextlib
import glob
import json
import os
import pwd
import shutil
import subprocess
import tempfile
import time

from xharness import BUILD, KEEP, USER, Process, ensure_user, for_user, read_png, wait_for

_BUILT = os.path.realpath(BUILD) + os.sep


def as_user(args):
    """The command run as the test user (as is, when not root), with programs
    of the build replaced by copies that user can reach. setpriv execs in
    place, so signals and exit status are the command's own."""
    if os.getuid() != 0:
        return args
    user = pwd.getpwnam(USER)
    args = [for_user(a) if os.path.realpath(a).startswith(_BUILT) and os.path.isfile(a) else a for a in args]
    return ["setpriv", f"--reuid={user.pw_uid}", f"--regid={user.pw_gid}", "--clear-groups", "--"] + args


def private_dir(prefix):
    """A directory of the test user's, with a 0700 runtime directory inside."""
    ensure_user()
    home = tempfile.mkdtemp(prefix=prefix)
    runtime = os.path.join(home, "run")
    os.mkdir(runtime, 0o700)
    os.chmod(home, 0o755)
    if os.getuid() == 0:
        shutil.chown(home, USER)
        shutil.chown(runtime, USER)
    return home, runtime


def until_exit(attempt, done, what):
    """Input helpers make their virtual device first and use it after a pause,
    so the saver has a seat device by then; on a loaded machine that can take
    more than one try. Calls attempt() until done(timeout) stops raising."""
    for _ in range(3):
        attempt()
        try:
            return done(2)
        except (subprocess.TimeoutExpired, AssertionError):
            continue
    raise AssertionError(f"{what} three times and the saver still runs")


# Sanitizer settings reach the saver through the clean environments below.
PASSED_ON = {name: value for name, value in os.environ.items() if name.endswith("SAN_OPTIONS")}


class Compositor:
    """A compositor of the test user's; clients get env."""

    def __init__(self, prefix):
        self.home, self.runtime = private_dir(prefix)
        self.proc = None
        self.env = {}

    def _wait_for_socket(self, pattern="wayland-*"):
        def socket():
            found = [p for p in glob.glob(os.path.join(self.runtime, pattern)) if not p.endswith(".lock")]
            return found[0] if found else None
        return os.path.basename(wait_for(socket, 15, f"the compositor's socket in {self.runtime}"))

    @contextlib.contextmanager
    def _stopped_on_failure(self):
        """A compositor that started but never got ready is ended, not left behind."""
        try:
            yield
        except BaseException:
            self.stop()
            raise

    def client(self, args, own_group=False):
        return Process(as_user(args), self.env, own_group=own_group)

    def run(self, args, check=True):
        return subprocess.run(as_user(args), env=self.env, capture_output=True, text=True, timeout=20, check=check)

    def path(self, name):
        return os.path.join(self.home, name)

    def stop(self):
        if self.proc:
            self.proc.kill_group()
        shutil.rmtree(self.home, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


class Sway(Compositor):
    """sway on the headless backend with the pixman renderer; with parent,
    nested on the wayland backend instead: each output is then a window of
    the parent, and closing that window removes the output."""

    def __init__(self, parent=None):
        super().__init__("quillmoor-sway-")
        config = self.path("config")
        with open(config, "w") as f:
            f.write("xwayland disable\n")  # no swaybg: it would share the background layer
        env = {"HOME": self.home, "PATH": "/usr/bin:/bin", "XDG_RUNTIME_DIR": self.runtime,
               "WLR_LIBINPUT_NO_DEVICES": "1", "WLR_RENDERER": "pixman",
               "WLR_BACKENDS": "wayland" if parent else "headless"}
        if parent:
            env["WAYLAND_DISPLAY"] = os.path.join(parent.runtime, parent.env["WAYLAND_DISPLAY"])
        self.proc = Process(as_user(["sway", "-c", config]), env, own_group=True)
        with self._stopped_on_failure():
            display = self._wait_for_socket()
            ipc = os.path.join(self.runtime, self._wait_for_socket("sway-ipc.*.sock"))
            self.env = {"HOME": self.home, "PATH": "/usr/bin:/bin", "XDG_RUNTIME_DIR": self.runtime,
                        "WAYLAND_DISPLAY": display, "SWAYSOCK": ipc, **PASSED_ON}
            wait_for(lambda: self.outputs(), 10, "sway's first output")

    def msg(self, *args):
        result = json.loads(self.run(["swaymsg", "-r", *args]).stdout or "null")
        if isinstance(result, list) and result and isinstance(result[0], dict) and "success" in result[0]:
            assert all(r["success"] for r in result), f"swaymsg {args}: {result}"
        return result

    def outputs(self):
        """{name: (device width, device height, scale)} of the active outputs."""
        return {o["name"]: (o["current_mode"]["width"], o["current_mode"]["height"], o["scale"])
                for o in self.msg("-t", "get_outputs") if o.get("active") and o.get("current_mode")}

    def create_output(self):
        before = set(self.outputs())
        self.msg("create_output")
        return wait_for(lambda: (set(self.outputs()) - before or {None}).pop(), 10, "a new output")

    def set_output(self, name, size, scale):
        self.msg("output", name, "resolution", size, "scale", str(scale))
        width, height = map(int, size.split("x"))
        wait_for(lambda: self.outputs().get(name) == (width, height, scale), 10, f"{name} at {size} scale {scale}")

    def grab(self, output, name):
        path = self.path(name)
        self.run(["grim", "-o", output, path])
        return read_png(path)


class Weston(Compositor):
    """weston on its headless backend with the pixman renderer and one output
    of width x height logical units at this scale; --debug lets
    weston-screenshooter take screenshots."""

    def __init__(self, width, height, scale):
        super().__init__("quillmoor-weston-")
        env = {"HOME": self.home, "PATH": "/usr/bin:/bin", "XDG_RUNTIME_DIR": self.runtime}
        self.proc = Process(as_user(["weston", "--backend=headless-backend.so", "--use-pixman", f"--width={width}",
                                     f"--height={height}", f"--scale={scale}", "--debug", "--no-config",
                                     "--socket=quillmoor-weston"]), env, own_group=True)
        with self._stopped_on_failure():
            self.env = dict(env, WAYLAND_DISPLAY=self._wait_for_socket("quillmoor-weston"), **PASSED_ON)

    def screenshot(self, name):
        """The whole screen, through weston-screenshooter (which writes into
        its working directory)."""
        before = set(glob.glob(self.path("wayland-screenshot-*.png")))
        subprocess.run(as_user(["weston-screenshooter"]), env=self.env, cwd=self.home, check=True, timeout=20,
                       capture_output=True)
        shot = (set(glob.glob(self.path("wayland-screenshot-*.png"))) - before).pop()
        path = self.path(name)
        os.replace(shot, path)
        return read_png(path)


def without_capabilities(program):
    """A copy of a program the test user can run, without the file
    capabilities of the original (kwin_wayland has cap_sys_resource, which a
    container may not grant: exec then fails). Copying the content alone
    leaves them behind."""
    directory = tempfile.mkdtemp(prefix="quillmoor-e2e-bin-")
    os.chmod(directory, 0o755)
    atexit.register(shutil.rmtree, directory, ignore_errors=True)
    copy = os.path.join(directory, os.path.basename(program))
    shutil.copyfile(program, copy)
    os.chmod(copy, 0o755)
    return copy


CAPTURE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "kwin_capture.py")


def read_ppm(path):
    """(width, height, rgb bytes) of a binary PPM."""
    if KEEP:
        os.makedirs(KEEP, exist_ok=True)
        shutil.copy(path, os.path.join(KEEP, f"{time.monotonic_ns()}-{os.path.basename(path)}"))
    with open(path, "rb") as f:
        _, size, _, pixels = f.read().split(b"\n", 3)
    width, height = map(int, size.split())
    return width, height, pixels


class KWin(Compositor):
    """KWin on its virtual backend with one output of width x height logical
    units at this scale, in a D-Bus session of its own (its screenshots come
    through D-Bus), from a copy without file capabilities."""

    _binary = None

    def __init__(self, width, height, scale):
        super().__init__("quillmoor-kwin-")
        if not KWin._binary:
            KWin._binary = without_capabilities(shutil.which("kwin_wayland"))
        bus = self.path("bus")
        # KWin takes screenshots for, and offers its fake input device to,
        # only clients it knows by their desktop files unless told otherwise.
        env = {"HOME": self.home, "PATH": "/usr/bin:/bin", "XDG_RUNTIME_DIR": self.runtime,
               "KWIN_SCREENSHOT_NO_PERMISSION_CHECKS": "1", "KWIN_WAYLAND_NO_PERMISSION_CHECKS": "1"}
        # dbus-run-session names its bus only to its child: the shell writes
        # the address down for the clients, then becomes KWin.
        self.proc = Process(as_user(["dbus-run-session", "--", "sh", "-c",
                                     f'echo "$DBUS_SESSION_BUS_ADDRESS" >{bus}.part && mv {bus}.part {bus} && '
                                     'exec "$0" "$@"', KWin._binary, "--virtual", "--no-lockscreen",
                                     "--no-global-shortcuts", "--no-kactivities", "--width", str(width),
                                     "--height", str(height), "--scale", str(scale), "--socket", "quillmoor-kwin"]),
                            env, own_group=True)
        with self._stopped_on_failure():
            display = self._wait_for_socket("quillmoor-kwin")
            wait_for(lambda: os.path.exists(bus) or self.proc.proc.poll() is not None, 15, "KWin's D-Bus session")
            assert self.proc.proc.poll() is None, f"KWin ended at its start: {self.proc.seen}"
            address = open(bus).read().strip()
            self.env = dict(env, WAYLAND_DISPLAY=display, DBUS_SESSION_BUS_ADDRESS=address, **PASSED_ON)
            # Its screenshot service comes up with the compositor, a moment after the socket.
            wait_for(lambda: self.run(["dbus-send", "--session", "--print-reply", "--dest=org.kde.KWin",
                                       "/org/kde/KWin/ScreenShot2", "org.freedesktop.DBus.Properties.Get",
                                       "string:org.kde.KWin.ScreenShot2", "string:Version"],
                                      check=False).returncode == 0, 15, "KWin's screenshot service")

    @staticmethod
    def unavailable():
        """Why no KWin can run here, or None."""
        missing = [p for p in ("kwin_wayland", "dbus-run-session", "dbus-send") if not shutil.which(p)]
        if missing:
            return f"needs {' '.join(missing)} (kwin-wayland, dbus)"
        # kwin_capture.py asks KWin for screenshots through it, in the system's Python.
        if subprocess.run(["python3", "-c", "import dbus"], env={"PATH": "/usr/bin:/bin"},
                          capture_output=True).returncode != 0:
            return "needs the Python D-Bus module (python3-dbus)"
        try:
            with KWin(640, 480, 1):
                return None
        except (AssertionError, OSError) as error:
            return f"KWin does not start here: {error}"

    def screenshot(self, name):
        """The whole workspace in device pixels."""
        path = self.path(name)
        self.run(["python3", for_user(CAPTURE), path])
        return read_ppm(path)
