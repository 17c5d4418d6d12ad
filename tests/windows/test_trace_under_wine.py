#!/usr/bin/env python3
"""The Windows renderer under Wine against the native one: for every scene,
size and seed the traces are the same bytes, settings and fresh seeds reach
the scenes alike, and what the Windows build leaves out is refused in one line.

Usage: test_trace_under_wine.py [NATIVE [WINDOWS_EXE]]
(defaults: build/quillmoor-render and build-windows/quillmoor-render.exe).
Exits 77 when Wine is not installed."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

from wineharness import WINE, WINESERVER, adopt_orphans, make_prefix, run_case, stop_wine, wine_env

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
NATIVE = sys.argv[1] if len(sys.argv) > 1 else os.path.join(SOURCE, "build", "quillmoor-render")
EXE = sys.argv[2] if len(sys.argv) > 2 else os.path.join(SOURCE, "build-windows", "quillmoor-render.exe")
SCENES = ("forest", "skyline")


class Renderers:
    """The two renderers, the Windows one in a Wine prefix of its own under a
    temporary folder."""

    def __init__(self):
        self.tmp = tempfile.mkdtemp(prefix="quillmoor-wine-")
        base = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        self.env = wine_env(base, os.path.join(self.tmp, "prefix"))

    def start(self):
        adopt_orphans()
        make_prefix(self.env, os.path.join(self.tmp, "wineboot.log"))

    def run(self, program, args, env=None, stdout=subprocess.PIPE):
        """Runs the native renderer or the Windows one; returns (status, stdout bytes, stderr text)."""
        command, base = ([WINE, EXE], self.env) if program == "windows" else ([NATIVE], os.environ)
        result = subprocess.run([*command, *args], stdin=subprocess.DEVNULL, stdout=stdout, stderr=subprocess.PIPE,
                                env={**base, **(env or {})}, timeout=600)
        return result.returncode, result.stdout, result.stderr.decode(errors="replace")

    def stop(self):
        stop_wine(self.env)
        shutil.rmtree(self.tmp, ignore_errors=True)


def assert_same_traces(renderers, args, env=None):
    native = renderers.run("native", args, env)
    windows = renderers.run("windows", args, env)
    assert native[0] == 0 and native[1], f"native {' '.join(args)}: status {native[0]}: {native[2]}"
    assert windows == native, (f"{' '.join(args)}: Windows status {windows[0]}, {len(windows[1])} bytes, "
                               f"{windows[2]!r}; native {len(native[1])} bytes")


def test_canvas_traces_are_the_native_bytes(renderers):
    for scene in SCENES:
        for size, seed in (("960x540", "1"), ("960x540", "0xdeadbeefcafef00d"), ("480x270", "18446744073709551615"),
                           ("1366x768", "7"), ("7x3", "0")):
            assert_same_traces(renderers, ["--scene", scene, "--canvas", size, "--seed", seed,
                                           "--frames", "3000", "--trace", "--every", "100"])


def test_screen_sizing_traces_are_the_native_bytes(renderers):
    for scene in SCENES:
        for size in ("1920x1080", "1366x768", "3840x2160", "333x77"):
            assert_same_traces(renderers, ["--scene", scene, "--screen", size, "--seed", "42",
                                           "--frames", "300", "--trace", "--every", "50"])


def test_settings_reach_the_scenes_alike(renderers):
    for scene in SCENES:
        base = ["--scene", scene, "--canvas", "480x270", "--seed", "9", "--frames", "1500", "--trace", "--every", "100"]
        assert_same_traces(renderers, [*base, "--animal", "fox", "--pan-frames", "3"])
        assert_same_traces(renderers, [*base, "--speed", "7,5"])
        assert_same_traces(renderers, base, env={"MOTHWAKES_PAN_FRAMES": "2", "MOTHWAKES_ANIMAL": "bear"})


def test_a_fresh_seed_is_reported_and_repeats_natively(renderers):
    args = ["--canvas", "320x180", "--frames", "200", "--trace", "--every", "50"]
    seeds = set()
    for _ in range(2):
        status, trace, err = renderers.run("windows", args)
        match = re.fullmatch(r"seed: (0x[0-9a-f]{16})\n", err)
        assert status == 0 and match, f"status {status}, stderr {err!r}"
        seeds.add(match.group(1))
        native = renderers.run("native", [*args, "--seed", match.group(1)])
        assert native[1] == trace, f"seed {match.group(1)} draws otherwise natively"
    assert len(seeds) == 2, f"two runs drew the same seed {seeds}"


def test_png_and_clips_are_refused_in_one_line(renderers):
    png, clip = os.path.join(renderers.tmp, "screen.png"), os.path.join(renderers.tmp, "clip.webp")
    unavailable = "PNG output is not available in this build"
    for args, message in ((["--out", png], unavailable), (["--canvas", "64x36", "--canvas-out", png], unavailable),
                          (["--video", clip], f"cannot write {clip}: this program writes no clips")):
        status, out, err = renderers.run("windows", [*args, "--frames", "1", "--seed", "1"])
        assert (status, out, err) == (2, b"", f"quillmoor-render: {message}\n"), (args, status, err)
        assert not os.path.exists(png) and not os.path.exists(clip), args


def test_errors_are_the_native_ones(renderers):
    for args in (["--canvas", "0x5", "--trace"], ["--seed", "x", "--trace"], ["--screen", "9x9", "--canvas", "9x9"],
                 ["--bogus"], []):
        native = renderers.run("native", args)
        assert native[0] == 2 and native[2], args
        assert renderers.run("windows", args) == native, args
    with open("/dev/full", "wb") as full:
        for program in ("native", "windows"):
            status, _, err = renderers.run(program, ["--canvas", "64x36", "--frames", "1", "--seed", "1", "--trace"],
                                           stdout=full)
            assert (status, err) == (2, "quillmoor-render: cannot write the trace: No space left on device\n"), \
                (program, status, err)


def run_cases(renderers):
    """Runs this script's test_ functions in order; a line per case and the closing count."""
    cases = [f for name, f in globals().items() if name.startswith("test_")]
    failed = sum(run_case(case, renderers) for case in cases)
    print(f"{len(cases) - failed} passed, {failed} failed")
    return failed


def main():
    if not WINE or not WINESERVER:
        print("skipped: this test needs Wine; install with 'sudo apt-get install wine wine64' "
              "(or run scripts/deps.sh windows as root)")
        return 77
    for path, how in ((NATIVE, "make build"), (EXE, "make windows")):
        if not os.access(path, os.X_OK):
            print(f"test_trace_under_wine: {path} is not built ({how} builds it)", file=sys.stderr)
            return 2
    renderers = Renderers()
    try:
        renderers.start()
        return 1 if run_cases(renderers) else 0
    finally:
        renderers.stop()


if __name__ == "__main__":
    sys.exit(main())
