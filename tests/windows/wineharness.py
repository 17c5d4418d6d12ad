"""What the tests under Wine share: where Wine is, a prefix of a test's own,
and ending Wine's services, which outlive the programs that start them. The
test process adopts them (child subreaper) so that it can reap them."""
import ctypes
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time


def first_program(*candidates):
    for candidate in candidates:
        found = shutil.which(candidate)
        if found:
            return found
    return None


WINE = first_program("wine64", "/usr/lib/wine/wine64", "wine")
WINESERVER = first_program("wineserver", "/usr/lib/wine/wineserver", "wineserver-stable")


# Now and then Wine 8 reports a fault of its own on a console program's
# standard error, always at the same address, whatever the program (Wine's
# hostname.exe gets it too, about one run in fifteen here), while the program
# runs on and ends as usual. Such a line is not the renderer's: it is dropped
# and noted. A fault of the renderer itself still shows in its exit status.
WINES_OWN_FAULT = re.compile(r"^wine: Unhandled page fault on .* starting debugger\.\.\.\n", re.M)


def without_wines_own_faults(err):
    for line in WINES_OWN_FAULT.findall(err):
        print(f"     (left out of the comparison, Wine's own: {line.strip()})", flush=True)
    return WINES_OWN_FAULT.sub("", err)


def not_ready(test, tools, built):
    """Why the test cannot run here: 77 (skipped) when a tool is missing, 2
    when a program is not built, with one line saying which; else None.
    tools: extra program names besides Wine's; built: (path, what builds it)."""
    missing = [name for name, found in (("wine64", WINE), ("wineserver", WINESERVER)) if not found]
    missing += [name for name in tools if not shutil.which(name)]
    if missing:
        print(f"skipped: this test needs {', '.join(missing)}")
        return 77
    for path, how in built:
        if not os.path.exists(path):
            print(f"{test}: {path} is not built ({how} builds it)", file=sys.stderr)
            return 2
    return None


def adopt_orphans():
    ctypes.CDLL(None, use_errno=True).prctl(36, 1, 0, 0, 0)  # PR_SET_CHILD_SUBREAPER


def wine_env(base, prefix):
    return dict(base, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=d")


def make_prefix(env, log_path):
    """The first command builds the prefix and starts the services, which
    keep its standard streams: those go to a file, never into a pipe."""
    with open(log_path, "ab") as log:
        subprocess.run([WINE, "cmd", "/c", "exit"], stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                       env=env, check=True, timeout=300)


def stop_wine(env):
    """Tells the prefix's server to stop and reaps what it leaves."""
    subprocess.run([WINESERVER, "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        try:
            if os.waitpid(-1, os.WNOHANG) == (0, 0):
                time.sleep(0.05)
        except ChildProcessError:
            break


def run_case(case, *args):
    """Runs one test case with these arguments and prints its line; True when it failed."""
    start = time.monotonic()
    try:
        case(*args)
        print(f"ok   {case.__name__} ({time.monotonic() - start:.1f} s)", flush=True)
        return False
    except Exception as error:  # noqa: BLE001 - report every failure and go on
        print(f"FAIL {case.__name__}: {error}", flush=True)
        return True


def run_suite(folder_prefix, run):
    """Runs run(tmp), which returns (cases run, cases failed), with Wine's
    orphans adopted and a temporary folder removed afterwards; prints the
    tally and returns the exit status."""
    adopt_orphans()
    tmp = tempfile.mkdtemp(prefix=folder_prefix)
    try:
        cases, failed = run(tmp)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    print(f"{cases - failed} passed, {failed} failed")
    return 1 if failed else 0
