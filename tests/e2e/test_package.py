#!/usr/bin/env python3
"""make install and make uninstall (scripts/install.sh) on a prefix of their
own: every file lands under the prefix, in the layout the Debian package has
under /usr (both programs, no empty directory), the hack in XScreenSaver's
directory is the program, and uninstalling removes exactly what was
installed, directories included, and nothing that was there before."""
import os
import subprocess
import tempfile

from xharness import BUILD, run_cases

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
INSTALL = os.path.join(SOURCE, "scripts", "install.sh")
EXPECTED = {
    "bin/quillmoor-mothwake",
    "bin/quillmoor-render",
    "libexec/xscreensaver/quillmoor-mothwake",
    "share/xscreensaver/config/quillmoor-mothwake.xml",
    "share/man/man6/quillmoor-mothwake.6",
    "share/man/man1/quillmoor-render.1",
    "share/applications/quillmoor-mothwake.desktop",
    "share/icons/hicolor/scalable/apps/quillmoor-mothwake.svg",
    "share/icons/hicolor/48x48/apps/quillmoor-mothwake.png",
}


def tree(root):
    """Every file and link under root, relative to it; directories separately."""
    files, dirs = set(), set()
    for directory, subdirs, names in os.walk(root):
        dirs.update(os.path.relpath(os.path.join(directory, d), root) for d in subdirs)
        files.update(os.path.relpath(os.path.join(directory, n), root) for n in names)
    return files, dirs


def script(*args):
    env = dict(os.environ, QUILLMOOR_BUILD=BUILD)
    run = subprocess.run([INSTALL, *args], env=env, capture_output=True, text=True)
    assert run.returncode == 0, f"install.sh {' '.join(args)}: {run.stdout}{run.stderr}"


def test_install_keeps_to_its_prefix_and_uninstall_leaves_what_was_there():
    root = tempfile.mkdtemp(prefix="quillmoor-install-")
    prefix = os.path.join(root, "opt", "qm")
    # Someone else's manual page, in a directory the install shares.
    os.makedirs(os.path.join(prefix, "share", "man", "man6"))
    other = os.path.join(prefix, "share", "man", "man6", "other.6")
    open(other, "w").close()
    before = tree(root)

    script("install", prefix)
    files, _ = tree(root)
    page = os.path.join(SOURCE, "build-web", "quillmoor-mothwake.html")
    expected = EXPECTED | ({"share/quillmoor-mothwake/quillmoor-mothwake.html"} if os.path.exists(page) else set())
    assert files == {os.path.join("opt", "qm", f) for f in expected} | before[0], f"installed: {sorted(files)}"
    empty = [d for d, subdirs, names in os.walk(prefix) if not subdirs and not names]
    assert not empty, f"empty directories: {empty}"

    hack = os.path.join(prefix, "libexec", "xscreensaver", "quillmoor-mothwake")
    assert os.path.islink(hack) and not os.path.isabs(os.readlink(hack)), "the hack should be a relative link"
    assert os.path.realpath(hack) == os.path.realpath(os.path.join(prefix, "bin", "quillmoor-mothwake"))
    version = subprocess.run([hack, "--version"], capture_output=True, text=True)
    assert version.returncode == 0 and version.stdout.startswith("quillmoor-mothwake "), version

    script("uninstall")
    assert tree(root) == before, f"left behind or removed: {tree(root)} instead of {before}"
    os.remove(other)
    os.removedirs(os.path.dirname(other))


if __name__ == "__main__":
    run_cases()
