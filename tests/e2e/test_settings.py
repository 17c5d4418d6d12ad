#!/usr/bin/env python3
"""The settings description xscreensaver-settings reads: built like the stock
ones, every command line it makes is one the saver takes, and the settings
reach the screen exactly as the renderer draws them."""
import itertools
import os
import subprocess
import tempfile
import xml.etree.ElementTree as ElementTree

from xharness import HACK, Xvfb, differing_pixels, held_picture, rendered, run_cases

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
XML = os.path.join(SOURCE, "packaging", "quillmoor-mothwake.xml")
STOCK = "/usr/share/xscreensaver/config"
TMP = tempfile.mkdtemp(prefix="quillmoor-settings-")


def description():
    return ElementTree.parse(XML).getroot()


def choices(root):
    """For each control, the arguments each of its settings adds (empty: the default)."""
    result = []
    for control in root:
        if control.tag == "select":
            result.append([option.get("arg-set", "").split() for option in control])
        elif control.tag == "number":
            low, high, default = (int(control.get(k)) for k in ("low", "high", "default"))
            result.append([[] if value == default else control.get("arg").replace("%", str(value)).split()
                           for value in (low, (low + high) // 2, high, default)])
        elif control.tag == "boolean":
            result.append([[], control.get("arg-set").split()])
    return result


def test_description_is_built_like_the_stock_ones():
    root = description()
    assert root.tag == "screensaver" and root.get("name") == "quillmoor-mothwake" and root.get("_label")
    assert [c.get("arg") for c in root.iter("command")] == ["--root"]
    assert (root.findtext("_description") or "").strip(), "no description text"

    for select in root.iter("select"):
        options = list(select)
        assert sum(1 for o in options if o.get("arg-set") is None) == 1, f"{select.get('id')}: one default option"
        switches = {o.get("arg-set").split()[0] for o in options if o.get("arg-set")}
        assert len(switches) == 1, f"{select.get('id')}: every choice must use the same switch, not {switches}"
    for number in root.iter("number"):
        low, high, default = (int(number.get(k)) for k in ("low", "high", "default"))
        assert number.get("type") == "slider" and low < high and low <= default <= high, number.attrib
        assert number.get("arg").count("%") == 1 and number.get("_low-label") and number.get("_high-label")
    assert [b.get("arg-set") for b in root.iter("boolean")] == ["--grown", "--fps"]

    # Only elements and attributes the stock descriptions use, so xscreensaver-settings knows them all.
    if os.path.isdir(STOCK):
        known = {}
        for name in os.listdir(STOCK):
            if name.endswith(".xml"):
                for element in ElementTree.parse(os.path.join(STOCK, name)).getroot().iter():
                    known.setdefault(element.tag, set()).update(element.attrib)
        for element in root.iter():
            assert element.tag in known, f"<{element.tag}> is in no stock description"
            unknown = set(element.attrib) - known[element.tag]
            assert not unknown, f"<{element.tag}> has attributes no stock description uses: {unknown}"


def test_every_command_line_it_makes_is_one_the_saver_takes():
    root = description()
    command = [c.get("arg") for c in root.iter("command")]
    lines = [command + sum(parts, []) for parts in itertools.product(*choices(root))]
    assert len(lines) >= 2 * 4 * 4 * 2
    for line in lines:
        # The saver reads its whole command line before it acts on -help.
        run = subprocess.run([HACK, *line, "-help"], capture_output=True, text=True)
        assert run.returncode == 0, f"{' '.join(line)}: {run.stderr.strip()}"

    manual = open(os.path.join(SOURCE, "packaging", "quillmoor-mothwake.6")).read().replace("\\-", "-")
    usage = subprocess.run([HACK, "-help"], capture_output=True, text=True).stdout
    for switch in {word.lstrip("-") for line in lines for word in line if word.startswith("--")}:
        assert f"-{switch}" in usage, f"-help does not mention -{switch}"
        assert f"-{switch}" in manual, f"the man page does not mention -{switch}"


def test_the_fastest_scroll_and_one_animal_reach_the_screen():
    held = ["--seed", "77", "--frames", "240"]
    chosen = ["--pan-frames", "10", "--animal", "fox"]  # the slider's fast end, and a choice from the menu
    with Xvfb("640x360") as x:
        shown = held_picture(x, ["-root", *held, *chosen], os.path.join(TMP, "held.ppm"))
    wrong = differing_pixels(shown, rendered(["--screen", "640x360", *held, *chosen], os.path.join(TMP, "chosen.png")))
    assert wrong == 0, f"{wrong} pixels differ from the renderer given the same settings"
    plain = rendered(["--screen", "640x360", *held], os.path.join(TMP, "plain.png"))
    assert differing_pixels(shown, plain) > 0, "the settings changed nothing on the screen"


if __name__ == "__main__":
    run_cases()
