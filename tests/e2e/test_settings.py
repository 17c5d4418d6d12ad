#!/usr/bin/env python3
"""The settings description xscreensaver-settings reads: built like the stock
ones, every command line it makes is one the saver takes, its speed slider
gives both scenes the pace it says at its ends and middle, and the settings
reach the screen exactly as the renderer draws them.

The slider is read as XScreenSaver 6 reads it: a range is real when one of
its numbers has a decimal point, convert="ratio" puts 1 in the middle with
each half linear (its config/README's table is checked below), a value equal
to the default adds nothing to the command line, and others are written with
three decimals, trailing zeros dropped."""
import itertools
import os
import subprocess
import tempfile
import xml.etree.ElementTree as ElementTree

from xharness import HACK, RENDER, Xvfb, differing_pixels, held_picture, rendered, run_cases

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
XML = os.path.join(SOURCE, "packaging", "quillmoor-mothwake.xml")
STOCK = "/usr/share/xscreensaver/config"
TMP = tempfile.mkdtemp(prefix="quillmoor-settings-")


def description():
    return ElementTree.parse(XML).getroot()


def slider_value(number, fraction):
    """The value of a slider moved this fraction of the way from its left end."""
    low, high = float(number.get("low")), float(number.get("high"))
    if number.get("convert") == "ratio":
        if fraction <= 0.5:
            return low + (1 - low) * fraction * 2
        return 1 + (high - 1) * (fraction - 0.5) * 2
    value = low + (high - low) * fraction
    return low + high - value if number.get("convert") == "invert" else value


def slider_arguments(number, value):
    """What the slider adds to the command line at this value: nothing at its default."""
    real = any("." in number.get(k) for k in ("low", "high", "default"))
    if abs(value - float(number.get("default"))) < 1e-6:
        return []
    text = ("%.3f" % value).rstrip("0").rstrip(".") if real else str(round(value))
    return number.get("arg").replace("%", text).split()


def choices(root):
    """For each control, the arguments each of its settings adds (empty: the default)."""
    result = []
    for control in root:
        if control.tag == "select":
            result.append([option.get("arg-set", "").split() for option in control])
        elif control.tag == "number":
            result.append([slider_arguments(control, slider_value(control, fraction))
                           for fraction in (0, 0.25, 0.5, 0.75, 1)])
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
        low, high, default = (float(number.get(k)) for k in ("low", "high", "default"))
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
    assert len(lines) >= 2 * 5 * 4 * 2
    for line in lines:
        # The saver reads its whole command line before it acts on -help.
        run = subprocess.run([HACK, *line, "-help"], capture_output=True, text=True)
        assert run.returncode == 0, f"{' '.join(line)}: {run.stderr.strip()}"

    manual = open(os.path.join(SOURCE, "packaging", "quillmoor-mothwake.6")).read().replace("\\-", "-")
    usage = subprocess.run([HACK, "-help"], capture_output=True, text=True).stdout
    for switch in {word.lstrip("-") for line in lines for word in line if word.startswith("--")}:
        assert f"-{switch}" in usage, f"-help does not mention -{switch}"
        assert f"-{switch}" in manual, f"the man page does not mention -{switch}"


def test_the_slider_model_spaces_values_as_xscreensaver_documents():
    # config/README: a ratio slider over 0.3 ... 20.0 at 13 evenly spaced positions.
    documented = "0.3 0.4 0.5 0.6 0.8 0.9 1.0 4.2 7.3 10.5 13.7 16.8 20.0".split()
    number = ElementTree.fromstring('<number low="0.3" high="20.0" default="1.0" convert="ratio" arg="-x %"/>')
    assert [f"{slider_value(number, i / 12):.1f}" for i in range(13)] == documented


def pan_trace(scene, frames, arguments):
    return subprocess.run([RENDER, "--canvas", "64x36", "--seed", "5", "--frames", str(frames), "--trace",
                           "--scene", scene, *arguments], capture_output=True, text=True, check=True).stdout


def test_the_speed_slider_gives_both_scenes_the_pace_it_says():
    root = description()
    [number] = [n for n in root.iter("number") if n.get("arg").startswith("--speed ")]
    assert number.get("_low-label") == "\u00bc\u00d7" and number.get("_high-label") == "30\u00d7"
    assert "1\u00d7 in the middle" in number.get("_label")
    # At each end and the middle: the speed meant, and each scene's frames per column at it.
    for fraction, speed, frames in ((0, 0.25, {"forest": 7200, "skyline": 240}),
                                    (0.5, 1, {"forest": 1800, "skyline": 60}),
                                    (1, 30, {"forest": 60, "skyline": 2})):
        arguments = slider_arguments(number, slider_value(number, fraction))
        assert arguments == ([] if speed == 1 else ["--speed", f"{speed:g}"]), (fraction, arguments)
        for scene, expected in frames.items():
            # A trace of every frame past the first pan (and past the skyline's first
            # buildings, before which a pan shows nothing) tells frames per column apart by one.
            run = expected + 300
            shown = pan_trace(scene, run, arguments)
            assert shown == pan_trace(scene, run, ["--pan-frames", str(expected)]), \
                f"{scene} at {speed}x: not a column every {expected} frames"
            for other in (expected - 1, expected + 1):
                assert shown != pan_trace(scene, run, ["--pan-frames", str(max(other, 1))]), (scene, other)


def test_the_fastest_scroll_and_one_animal_reach_the_screen():
    held = ["--seed", "77", "--frames", "240"]
    chosen = ["--speed", "30", "--animal", "fox"]  # the slider's fast end, and a choice from the menu
    with Xvfb("640x360") as x:
        shown = held_picture(x, ["-root", *held, *chosen], os.path.join(TMP, "held.ppm"))
    wrong = differing_pixels(shown, rendered(["--screen", "640x360", *held, *chosen], os.path.join(TMP, "chosen.png")))
    assert wrong == 0, f"{wrong} pixels differ from the renderer given the same settings"
    plain = rendered(["--screen", "640x360", *held], os.path.join(TMP, "plain.png"))
    assert differing_pixels(shown, plain) > 0, "the settings changed nothing on the screen"


if __name__ == "__main__":
    run_cases()
