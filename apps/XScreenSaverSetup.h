#pragma once

#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// quillmoor-mothwake --add-to-xscreensaver: puts the saver's entries in the
// programs: list of ~/.xscreensaver, the list XScreenSaver runs its programs
// from. The file is read and written in XScreenSaver's own syntax: "key:
// value" lines, a line ending in a backslash continuing on the next one, and
// the programs: value holding one entry per "\n" ([-] [visual:] ["name"]
// command). Only that list changes; every other line stays as it was.

// One entry of the programs: list: the name xscreensaver-settings lists, and
// the command line the daemon runs.
struct ProgramsEntry {
    std::string name;
    std::string command;
};

// The saver's entries, one per scene, naming the program as `program`.
std::vector<ProgramsEntry> saverEntries(const std::string& program);

// How the entries name the program at `self` (its resolved path): by its bare
// name when XScreenSaver finds it there by itself, because hackDirectory (the
// directory XScreenSaver puts first on the path of the programs it runs)
// holds the same program under that name; otherwise by its full path, quoted
// for the shell when it needs to be.
std::string programAsXScreenSaverRunsIt(const std::string& self, const std::string& hackDirectory);

struct ProgramsEdit {
    std::string text;            // the whole file afterwards
    std::vector<int> positions;  // each entry's place in the list, counted from 1 as xscreensaver-command -select does
    int added = 0;               // how many of the entries were not in the list before
    bool listFromDefaults = false;  // the file had no programs: list, so one was made from the defaults
};

// Adds to the programs: list of `file` (the text of ~/.xscreensaver, or nothing
// when there is none) those of `entries` it does not list yet by name, after
// its last entry, so that the entries before keep their places (the file's
// `selected:` counts on them). A file without a programs: list, or no file,
// gets the list of `defaults` (XScreenSaver's app-defaults file), which is
// what XScreenSaver runs until then, with the entries after it. On failure
// the result is a one-line reason.
std::variant<ProgramsEdit, std::string> addProgramsEntries(std::optional<std::string_view> file, std::string_view defaults,
                                                           std::span<const ProgramsEntry> entries);

struct XScreenSaverFiles {
    std::string config;    // ~/.xscreensaver
    std::string defaults;  // XScreenSaver's app-defaults file
};

struct SetupOutcome {
    bool ok = false;
    std::string text;  // what was done and how to pick the saver, or a one-line reason
};

// The whole command: reads the files, adds the entries naming `program`, and
// when the file changes keeps its old text as CONFIG.bak-YYYYMMDD-HHMMSS (the
// local time `now`) and puts the new one in place through a temporary file.
// On any failure nothing has changed.
SetupOutcome addToXScreenSaver(const XScreenSaverFiles& files, const std::string& program, std::time_t now);
