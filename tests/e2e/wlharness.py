"""Shared pieces of the Wayland end-to-end tests: a headless sway or weston
of its own, run with its clients as an unprivileged user when the tests run
as root (sway refuses root)."""
import contextlib
import glob
import json
import os
import pwd
import shutil
import subprocess
import tempfile

from xharness import BUILD, USER, Process, ensure_user, for_user, read_png, wait_for

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
