#!/usr/bin/env python3
"""The commands of the README's shell blocks marked <!-- run --> (an HTML
comment, invisible when rendered) run as written after its own set-up:

- `make TARGET`: the Makefile has the target;
- a program of this project by a path under a build directory
  (build-programs/quillmoor-render): a `make` earlier in the same block
  configures that directory's CMake preset, and this build's program takes the command's
  arguments (frame counts cut to one and files written to a scratch directory,
  so that minutes of rendering become a second);
- a program of this project by name or by its installed path
  (quillmoor-mothwake, /usr/bin/quillmoor-mothwake): the install puts it in
  bin/, and a set-up command (--add-to-xscreensaver) runs on a scratch home;
- a package file (./build-deb/NAME.deb): the name make deb gives it.

Other programs (apt, xsecurelock) are the system's. The README's figure for
the page's size is checked against the page when build-web/ has one."""
import json
import os
import re
import shlex
import subprocess
import sys
import tempfile

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.environ.get("QUILLMOOR_BUILD", os.path.join(SOURCE, "build"))
OUTPUTS = (".png", ".mp4", ".webp")


def marked_commands(readme):
    """(block number, command words) for each command line of a marked block."""
    for number, block in enumerate(re.findall(r"^<!-- run -->\n```sh\n(.*?)^```", readme, re.M | re.S), 1):
        for line in block.splitlines():
            words = shlex.split(line, comments=True)
            if words:
                yield number, words


def make_recipes():
    """Target -> its recipe, from the Makefile."""
    with open(os.path.join(SOURCE, "Makefile")) as f:
        return {name: recipe for name, recipe in re.findall(r"^([a-z][\w-]*):.*\n((?:\t.*\n)*)", f.read(), re.M)}


def preset_directories():
    """Binary directory -> configure preset, from CMakePresets.json."""
    with open(os.path.join(SOURCE, "CMakePresets.json")) as f:
        presets = json.load(f)["configurePresets"]
    return {p["binaryDir"].replace("${sourceDir}/", ""): p["name"] for p in presets if "binaryDir" in p}


def installed_programs():
    """The programs the install rules put in bin/ (a staged install of this build)."""
    stage = tempfile.mkdtemp(prefix="quillmoor-readme-stage-")
    subprocess.run(["cmake", "--install", BUILD, "--prefix", "/usr"], env=dict(os.environ, DESTDIR=stage),
                   check=True, capture_output=True)
    programs = set(os.listdir(os.path.join(stage, "usr", "bin")))
    subprocess.run(["rm", "-rf", stage], check=True)
    return programs


def run_program(name, args, scratch):
    """This build's program with the command's arguments, cheaply; a failure message or None."""
    cheap, previous = [], None
    for arg in args:
        if previous in ("--frames", "--from", "-frames"):
            arg = "1"
        elif arg.endswith(OUTPUTS):
            arg = os.path.join(scratch, os.path.basename(arg))
        cheap.append(arg)
        previous = arg
    run = subprocess.run([os.path.join(BUILD, name), *cheap], cwd=scratch, capture_output=True, text=True,
                         env=dict(os.environ, HOME=scratch), timeout=120)
    if run.returncode != 0:
        return f"{name} {' '.join(cheap)}: status {run.returncode}: {run.stderr.strip()}"
    for arg in cheap:
        if arg.startswith(scratch) and not os.path.getsize(arg):
            return f"{name} {' '.join(cheap)} wrote nothing to {arg}"
    return None


def check_command(words, context, scratch, made):
    """What is wrong with one command, or None; made: the make targets run
    before it in its block."""
    env = {}
    while words and re.match(r"^[A-Z_]+=", words[0]):
        name, value = words.pop(0).split("=", 1)
        env[name] = value
    if words[:1] == ["sudo"]:
        words = words[1:]
    program, args = words[0], words[1:]
    for value in env.values():
        if value.startswith("/usr/bin/") and os.path.basename(value) not in context["installed"]:
            return f"the install puts no {os.path.basename(value)} in bin/"

    if program == "make":
        targets = [a for a in args if "=" not in a]
        made.extend(targets)
        missing = [t for t in targets if t not in context["recipes"]]
        return f"the Makefile has no target {missing}" if missing else None
    if program in ("apt", "apt-get"):
        debs = [a for a in args if a.endswith(".deb")]
        wrong = [d for d in debs if os.path.normpath(d) != context["deb"]]
        return f"make deb makes {context['deb']}, not {wrong}" if wrong else None
    name = os.path.basename(program)
    if not name.startswith("quillmoor-"):
        return None  # the system's
    if "/" in program and not program.startswith("/"):
        directory = os.path.dirname(program)
        preset = context["presets"].get(directory)
        if not any(preset and f"--preset {preset}" in context["recipes"].get(t, "") for t in made):
            return f"nothing before it in its block builds {directory}/"
        return run_program(name, args, scratch)
    if name not in context["installed"]:
        return f"the install puts no {name} in bin/"
    if args == ["--add-to-xscreensaver"]:
        return run_program(name, args, scratch)
    return None


def check_page_size(readme):
    page = os.path.join(SOURCE, "build-web", "quillmoor-mothwake.html")
    stated = re.search(r"one\s+file\s+of\s+about\s+(\d+)\s+KB", readme)
    if not stated:
        return ["the README no longer says how big the page is"]
    if not os.path.exists(page):
        print("the page is not built: its size is not checked")
        return []
    size = os.path.getsize(page) / 1024
    if abs(size - int(stated.group(1))) > 0.1 * size:
        return [f"the README says the page is about {stated.group(1)} KB; it is {size:.0f} KB"]
    return []


def main():
    with open(os.path.join(SOURCE, "README.md")) as f:
        readme = f.read()
    with open(os.path.join(SOURCE, "debian", "changelog")) as f:
        version = re.match(r"\S+ \(([^)]+)\)", f.readline()).group(1)
    arch = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True, check=True).stdout.strip()
    context = {
        "recipes": make_recipes(),
        "presets": preset_directories(),
        "installed": installed_programs(),
        "deb": f"build-deb/quillmoor-mothwake_{version}_{arch}.deb",
    }
    commands = list(marked_commands(readme))
    failures = check_page_size(readme)
    if len(commands) < 10:
        failures.append(f"only {len(commands)} commands in marked blocks: are the <!-- run --> marks still there?")
    made = {}
    with tempfile.TemporaryDirectory(prefix="quillmoor-readme-") as scratch:
        for block, words in commands:
            problem = check_command(list(words), context, scratch, made.setdefault(block, []))
            status = "ok  " if problem is None else "FAIL"
            print(f"{status} block {block}: {shlex.join(words)}" + (f"\n     {problem}" if problem else ""))
            if problem:
                failures.append(problem)
    print(f"{len(commands)} commands, {len(failures)} problems")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
