#!/usr/bin/env python3
"""The Windows renderer under Wine against the native one: for every scene,
size and seed the traces are the same bytes and the pictures the same pixels,
settings and fresh seeds reach the scenes alike, a picture that cannot be
written fails in one line and leaves nothing behind, and clips, which the
Windows build leaves out, are refused in one line.

Usage: test_trace_under_wine.py [NATIVE [WINDOWS_EXE]]
(defaults: build/quillmoor-render and build-windows/quillmoor-render.exe).
Exits 77 when Wine is not installed."""
import ctypes
import os
import re
import shutil
import subprocess
import sys
import tempfile

from wineharness import (WINE, adopt_orphans, make_prefix, not_ready, run_case, stop_wine, wine_env,
                         without_wines_own_faults)

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
NATIVE = sys.argv[1] if len(sys.argv) > 1 else os.path.join(SOURCE, "build", "quillmoor-render")
EXE = sys.argv[2] if len(sys.argv) > 2 else os.path.join(SOURCE, "build-windows", "quillmoor-render.exe")
SCENES = ("forest", "skyline")


def own_mount_namespace():
    """Moves this process, and the Wine services it is about to start, into a
    mount namespace of its own (root only), so that a test may mount a small
    file system that both renderers see and nothing else does."""
    libc = ctypes.CDLL(None, use_errno=True)
    return os.geteuid() == 0 and libc.unshare(0x00020000) == 0 and \
        libc.mount(None, b"/", None, 0x4000 | 0x40000, None) == 0  # CLONE_NEWNS; MS_REC | MS_PRIVATE


class Renderers:
    """The two renderers, the Windows one in a Wine prefix of its own under a
    temporary folder."""

    def __init__(self):
        self.tmp = tempfile.mkdtemp(prefix="quillmoor-wine-")
        base = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        self.env = wine_env(base, os.path.join(self.tmp, "prefix"))

    def start(self):
        adopt_orphans()
        self.private_mounts = own_mount_namespace()
        make_prefix(self.env, os.path.join(self.tmp, "wineboot.log"))

    def run(self, program, args, env=None, stdout=subprocess.PIPE):
        """Runs the native renderer or the Windows one; returns (status, stdout bytes, stderr text)."""
        command, base = ([WINE, EXE], self.env) if program == "windows" else ([NATIVE], os.environ)
        result = subprocess.run([*command, *args], stdin=subprocess.DEVNULL, stdout=stdout, stderr=subprocess.PIPE,
                                env={**base, **(env or {})}, timeout=600)
        return result.returncode, result.stdout, without_wines_own_faults(result.stderr.decode(errors="replace"))

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


def assert_same_pictures(renderers, args, outputs):
    """Runs both renderers with each output option given a file of their own
    and compares the pictures pixel for pixel."""
    files = {}
    for program in ("native", "windows"):
        paths = [os.path.join(renderers.tmp, f"{program}{option}.png") for option in outputs]
        status, _, err = renderers.run(program, [*args, *(x for pair in zip(outputs, paths) for x in pair)])
        assert status == 0 and all(os.path.getsize(p) > 0 for p in paths), f"{program} {' '.join(args)}: {err}"
        files[program] = paths
    for native, windows in zip(files["native"], files["windows"]):
        compared = subprocess.run(["compare", "-metric", "AE", native, windows, "null:"], capture_output=True, text=True)
        assert (compared.returncode, compared.stderr) == (0, "0"), f"{' '.join(args)}: {compared.stderr}"
        os.remove(native)
        os.remove(windows)


def test_pictures_are_the_native_pixels(renderers):
    for scene in SCENES:
        for size, seed, frames in (("1920x1080", "3", "600"), ("333x77", "0xdeadbeefcafef00d", "40")):
            assert_same_pictures(renderers, ["--scene", scene, "--screen", size, "--seed", seed, "--frames", frames],
                                 ["--out", "--canvas-out"])
            assert_same_pictures(renderers, ["--scene", scene, "--canvas", size, "--seed", seed, "--frames", frames],
                                 ["--canvas-out"])
    assert_same_pictures(renderers, ["--canvas", "1x1", "--seed", "1"], ["--canvas-out"])


def test_any_name_is_written_and_links_are_kept(renderers):
    args = ["--screen", "64x36", "--seed", "1", "--out"]
    named = os.path.join(renderers.tmp, "bild ø 木.png")
    real, link = os.path.join(renderers.tmp, "real.png"), os.path.join(renderers.tmp, "link.png")
    with open(real, "w") as old:
        old.write("old")
    os.symlink("real.png", link)
    for path in (named, link):
        status, _, err = renderers.run("windows", [*args, path])
        assert status == 0 and err == "", (path, status, err)
    assert os.path.islink(link) and open(real, "rb").read() == open(named, "rb").read()
    for path in (named, real, link):
        os.remove(path)


def entries(folder):
    return sorted(os.listdir(folder))


def test_unwritable_targets_fail_in_one_line_and_leave_nothing(renderers):
    folder = os.path.join(renderers.tmp, "targets")
    os.makedirs(os.path.join(folder, "sub"))
    readonly = os.path.join(folder, "readonly.png")
    with open(readonly, "w") as old:
        old.write("old")
    os.chmod(readonly, 0o444)
    before = entries(folder)
    args = ["--screen", "64x36", "--seed", "1", "--frames", "1"]
    sub, same = os.path.join(folder, "sub"), os.path.join(folder, "same.png")
    for outputs in (["--out", sub], ["--out", sub + "/"], ["--out", os.path.join(folder, "none", "a.png")],
                    ["--out", same, "--canvas-out", os.path.join(folder, ".", "same.png")]):
        native = renderers.run("native", [*args, *outputs])
        assert native[0] == 2 and native[2].count("\n") == 1, (outputs, native)
        assert renderers.run("windows", [*args, *outputs]) == native, outputs
    # Windows refuses what it cannot replace: a read-only file, the running
    # program, a device.
    for target, reason in ((readonly, "Permission denied"), (EXE, "it is the running program"),
                           ("NUL", "it is a device, not a file")):
        status, out, err = renderers.run("windows", [*args, "--out", target])
        assert (status, out, err) == (2, b"", f"quillmoor-render: cannot write {target}: {reason}\n"), (target, err)
    assert entries(folder) == before and open(readonly).read() == "old", entries(folder)
    assert entries(os.path.join(folder, "sub")) == []


class SmallFileSystem:
    """A 256 KiB tmpfs over a folder, in the mount namespace this test made
    its own before Wine started, so that nothing outside sees it."""

    def __init__(self, folder):
        self.folder = folder
        os.makedirs(folder)
        libc = ctypes.CDLL(None, use_errno=True)
        self.mounted = libc.mount(b"quillmoor-test", folder.encode(), b"tmpfs", 0, b"size=256k") == 0
        self.why = os.strerror(ctypes.get_errno())

    def fill_up(self):
        """Takes every free byte with a file that has no name but stays open."""
        filler = os.path.join(self.folder, "filler")
        fd = os.open(filler, os.O_CREAT | os.O_WRONLY, 0o600)
        for block in (4096, 1):
            try:
                while os.write(fd, b"\0" * block):
                    pass
            except OSError:
                pass
        os.unlink(filler)
        return fd

    def unmount(self):
        ctypes.CDLL(None, use_errno=True).umount2(self.folder.encode(), 2)  # MNT_DETACH


def test_a_full_disk_fails_like_native_and_leaves_the_old_file(renderers):
    if not renderers.private_mounts:
        print("     skipped: a tmpfs needs root and a mount namespace of this test's own")
        return
    small = SmallFileSystem(os.path.join(renderers.tmp, "small"))
    assert small.mounted, f"cannot mount a tmpfs: {small.why}"
    try:
        own = os.path.join(small.folder, "own.png")
        with open(own, "w") as old:
            old.write("old")
        filler = small.fill_up()
        for target in (os.path.join(small.folder, "fresh.png"), own):
            args = ["--screen", "400x300", "--seed", "1", "--out", target]
            native = renderers.run("native", args)
            assert native[2] == f"quillmoor-render: cannot write {target}: No space left on device\n", native
            assert renderers.run("windows", args) == native, target
        os.close(filler)
        assert entries(small.folder) == ["own.png"] and open(own).read() == "old", entries(small.folder)
    finally:
        small.unmount()


def test_clips_are_refused_in_one_line(renderers):
    clip = os.path.join(renderers.tmp, "clip.webp")
    status, out, err = renderers.run("windows", ["--video", clip, "--frames", "1", "--seed", "1"])
    assert (status, out, err) == (2, b"", f"quillmoor-render: cannot write {clip}: this program writes no clips\n"), err
    assert not os.path.exists(clip)


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
    reason = not_ready("test_trace_under_wine", (), ((NATIVE, "make build"), (EXE, "make windows")))
    if reason:
        return reason
    renderers = Renderers()
    try:
        renderers.start()
        return 1 if run_cases(renderers) else 0
    finally:
        renderers.stop()


if __name__ == "__main__":
    sys.exit(main())
