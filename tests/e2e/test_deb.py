#!/usr/bin/env python3
"""The Debian package `make deb` leaves in build-deb/, checked without
installing it: its files are where Debian's XScreenSaver looks, it depends
on every library the program links, and the hack it ships, named by its
path in a programs: line, runs under the XScreenSaver daemon. Skipped when
there is no package to check."""
import glob
import os
import re
import subprocess
import sys
import tempfile
import time

from test_xscreensaver import Daemon, make_home
from xharness import is_lit, run_cases, scanline_rows

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PACKAGES = sorted(glob.glob(os.path.join(SOURCE, "build-deb", "quillmoor-mothwake_*_*.deb")))
EXPECTED = {
    "usr/bin/quillmoor-mothwake",
    "usr/libexec/xscreensaver/quillmoor-mothwake",
    "usr/share/xscreensaver/config/quillmoor-mothwake.xml",
    "usr/share/man/man6/quillmoor-mothwake.6.gz",
    "usr/share/applications/quillmoor-mothwake.desktop",
    "usr/share/icons/hicolor/scalable/apps/quillmoor-mothwake.svg",
    "usr/share/icons/hicolor/48x48/apps/quillmoor-mothwake.png",
    "usr/share/doc/quillmoor-mothwake/changelog.gz",
    "usr/share/doc/quillmoor-mothwake/copyright",
}


def output(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout


def package_owning(path):
    """The installed package a library belongs to, whichever of its names
    (/lib or /usr/lib, link or target) dpkg has on record."""
    real = os.path.realpath(path)
    for name in (path, real, re.sub(r"^/usr/", "/", path), re.sub(r"^/usr/", "/", real)):
        search = subprocess.run(["dpkg", "--search", name], capture_output=True, text=True)
        if search.returncode == 0:
            return search.stdout.split(":")[0]
    raise AssertionError(f"no installed package owns {path}")


def test_files_sit_where_xscreensaver_looks_and_every_library_is_a_dependency():
    package = PACKAGES[-1]
    listing = output("dpkg-deb", "--contents", package).splitlines()
    paths = {line.split(None, 5)[5].split(" -> ")[0].lstrip("./") for line in listing if not line.startswith("d")}
    page = "usr/share/quillmoor-mothwake/quillmoor-mothwake.html"
    assert paths - {page} == EXPECTED, f"the package holds {sorted(paths)}"

    depends = {re.split(r"[ (]", d.strip())[0] for d in output("dpkg-deb", "--field", package, "Depends").split(",")}
    with tempfile.TemporaryDirectory() as unpacked:
        output("dpkg-deb", "--extract", package, unpacked)
        program = os.path.join(unpacked, "usr", "bin", "quillmoor-mothwake")
        needed = re.findall(r"\(NEEDED\).*\[(.+)\]", output("readelf", "--dynamic", program))
        found = dict(re.findall(r"^\s*(\S+) => (/\S+)", output("ldd", program), re.M))
    for soname in needed:
        owner = package_owning(found[soname])
        assert owner in depends, f"links {soname} from {owner}, which is not among the dependencies {depends}"


def test_its_hack_runs_under_xscreensaver():
    hack = "{home}/pkg/usr/libexec/xscreensaver/quillmoor-mothwake"
    home = make_home([f'  "Quillmoor Mothwake"  {hack} -root \\n\\'])
    output("dpkg-deb", "--extract", PACKAGES[-1], os.path.join(home, "pkg"))
    with Daemon(home) as daemon:
        daemon.start("-activate", launched=hack.replace("{home}", home) + " -root")
        time.sleep(1)
        screen = daemon.screen()
        assert is_lit(screen) and scanline_rows(screen) > 0.9, "the packaged hack does not draw the forest"


if __name__ == "__main__":
    if not PACKAGES:
        print("skipped: there is no Debian package to check; 'make deb' builds "
              "build-deb/quillmoor-mothwake_VERSION_ARCH.deb")
        sys.exit(77)
    run_cases([test_files_sit_where_xscreensaver_looks_and_every_library_is_a_dependency,
               test_its_hack_runs_under_xscreensaver])
