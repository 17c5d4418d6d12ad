#include "apps/XScreenSaverSetup.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>

#include "platform/OutputFile.h"

namespace {

constexpr const char* programName = "quillmoor-mothwake";

using Lines = std::vector<std::string>;

// A resource's physical lines in a file, first and last included: a line
// ending in a backslash goes on in the next one.
struct Block {
    size_t first = 0;
    size_t last = 0;
};

Lines splitLines(std::string_view text) {
    Lines lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::string joinLines(const Lines& lines) {
    std::string text;
    for (const auto& line : lines) text += line + '\n';
    return text;
}

bool continues(const std::string& line) { return !line.empty() && line.back() == '\\'; }

bool isBlank(std::string_view text) { return text.find_first_not_of(" \t\r") == std::string_view::npos; }

std::string_view trimmed(std::string_view text) {
    const size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string_view::npos) return {};
    return text.substr(start, text.find_last_not_of(" \t\r") - start + 1);
}

// The name of the resource a logical line sets, or nothing for comments and
// blank lines. In the app-defaults file it is the last component of an X
// resource ("*programs"); in ~/.xscreensaver the whole key.
std::optional<std::string> resourceKey(const std::string& line, bool xResources) {
    const std::string_view text = trimmed(line);
    if (text.empty() || text[0] == '#' || text[0] == '!' || text[0] == ';') return std::nullopt;
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view key = trimmed(text.substr(0, colon));
    if (xResources) key.remove_prefix(std::min(key.size(), key.find_last_of("*.") + 1));
    return std::string(key);
}

// The last programs: resource in the lines (XScreenSaver, too, keeps the last).
std::optional<Block> findPrograms(const Lines& lines, bool xResources) {
    std::optional<Block> found;
    for (size_t i = 0; i < lines.size(); ++i) {
        Block block{i, i};
        while (continues(lines[block.last]) && block.last + 1 < lines.size()) ++block.last;
        const auto key = resourceKey(lines[i], xResources);
        if (key && strcasecmp(key->c_str(), "programs") == 0) found = block;
        i = block.last;
    }
    return found;
}

// The value as written, lines first ... last joined (a trailing backslash
// and its newline vanish), from after the key's colon.
std::string rawValue(const Lines& lines, size_t first, size_t last) {
    std::string joined;
    for (size_t i = first; i <= last; ++i)
        joined += continues(lines[i]) ? std::string_view(lines[i]).substr(0, lines[i].size() - 1) : lines[i];
    return joined.substr(std::min(joined.size(), joined.find(':') + 1));
}

// Whether the value written so far ends an entry (in the escape "\n") or
// holds none yet, so that another entry may follow directly.
bool endsAnEntry(std::string_view raw) {
    raw = trimmed(raw);
    if (raw.empty()) return true;
    if (raw.size() < 2 || raw.back() != 'n') return false;
    // An odd run of backslashes before the n: the last one escapes it (npos,
    // all backslashes, counts as the index -1).
    const size_t before = raw.find_last_not_of('\\', raw.size() - 2);
    return (raw.size() - 2 - before) % 2 == 1;
}

// Escapes as XScreenSaver reads them: "\n" is a newline, a backslash keeps
// any other character as it is.
std::string unescaped(std::string_view raw) {
    std::string text;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size()) {
            ++i;
            text += raw[i] == 'n' ? '\n' : raw[i] == 't' ? '\t' : raw[i];
        } else {
            text += raw[i];
        }
    }
    return text;
}

// The name of one entry ("" when it has none): [-] [visual:] ["name"] command.
std::string entryName(std::string_view entry) {
    entry = trimmed(entry);
    if (!entry.empty() && entry[0] == '-') entry = trimmed(entry.substr(1));
    const size_t visualEnd = entry.find_first_of(":\" \t");
    if (visualEnd != std::string_view::npos && entry[visualEnd] == ':') entry = trimmed(entry.substr(visualEnd + 1));
    if (entry.empty() || entry[0] != '"') return {};
    const size_t close = entry.find('"', 1);
    return std::string(entry.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
}

// The names of the entries of a programs: value, blank ones skipped as
// XScreenSaver skips them.
std::vector<std::string> entryNames(const Lines& lines, const Block& block) {
    std::vector<std::string> names;
    const std::string value = unescaped(rawValue(lines, block.first, block.last));
    for (const auto& entry : splitLines(value))
        if (!isBlank(entry)) names.push_back(entryName(entry));
    return names;
}

std::string entryLine(const ProgramsEntry& entry) {
    std::string line = "  \"" + entry.name + "\"";
    line.resize(std::max<size_t>(line.size() + 1, 32), ' ');
    return line + entry.command + "  \\n\\";
}

// Puts `added` (whole lines, each ending in "\n\") after the last entry of the
// list in `block`, changing only what it must to end the list after them;
// returns the index of the first line put in.
size_t appendToList(Lines& lines, const Block& block, Lines added) {
    if (block.last > block.first && isBlank(lines[block.last])) {
        // The usual end: the last entry's "\n\", then a blank line.
        if (!endsAnEntry(rawValue(lines, block.first, block.last - 1))) added.insert(added.begin(), "\\n\\");
        lines.insert(lines.begin() + static_cast<long>(block.last), added.begin(), added.end());
        return block.last;
    }
    if (continues(lines[block.last])) {  // the file ended inside the list
        if (!endsAnEntry(rawValue(lines, block.first, block.last))) added.insert(added.begin(), "\\n\\");
    } else {
        // The list ends on a line with text (the last entry, or "programs:"
        // alone): it goes on into the new entries now.
        std::string& end = lines[block.last];
        const std::string raw = rawValue(lines, block.first, block.last);
        end += isBlank(raw) ? " \\" : endsAnEntry(raw) ? "\\" : " \\n\\";
    }
    added.emplace_back();
    lines.insert(lines.begin() + static_cast<long>(block.last) + 1, added.begin(), added.end());
    return block.last + 1;
}

// The defaults' programs: resource as a line of ~/.xscreensaver.
std::optional<Lines> defaultPrograms(std::string_view defaults) {
    const Lines lines = splitLines(defaults);
    const auto block = findPrograms(lines, true);
    if (!block) return std::nullopt;
    Lines list(lines.begin() + static_cast<long>(block->first), lines.begin() + static_cast<long>(block->last) + 1);
    list.front() = "programs" + list.front().substr(list.front().find(':'));
    return list;
}

bool sameName(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

std::string quotedForShell(const std::string& text) {
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("/._+-,=@%", c);
    });
    if (plain) return text;
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// A file's whole text; nothing when it does not exist.
std::variant<std::optional<std::string>, std::string> readFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return std::optional<std::string>();
        return "cannot read " + path + ": " + std::strerror(errno);
    }
    std::string text;
    char buffer[65536];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) text.append(buffer, static_cast<size_t>(n));
    const int err = errno;
    close(fd);
    if (n < 0) return "cannot read " + path + ": " + std::strerror(err);
    return std::optional<std::string>(std::move(text));
}

std::string backupName(const std::string& config, std::time_t now) {
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, ".bak-%Y%m%d-%H%M%S", &local);
    return config + stamp;
}

struct Backup {
    std::string name;
    std::string error;  // empty when written
};

// Writes the old text beside the file under a name not taken yet, with the
// old file's permissions.
Backup writeBackup(const std::string& config, const std::string& text, std::time_t now) {
    struct stat status {};
    const mode_t mode = stat(config.c_str(), &status) == 0 ? status.st_mode & 0777 : 0600;
    const std::string base = backupName(config, now);
    for (int attempt = 1; attempt < 100; ++attempt) {
        const std::string name = attempt == 1 ? base : base + "." + std::to_string(attempt);
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return {name, "cannot write the backup " + name + ": " + std::strerror(errno)};
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        const int err = errno;
        if (close(fd) != 0 || done < text.size()) {
            unlink(name.c_str());
            return {name, "cannot write the backup " + name + ": " + std::strerror(done < text.size() ? err : errno)};
        }
        return {name, ""};
    }
    return {"", "cannot write a backup of " + config + ": every name is taken"};
}

std::string describe(const ProgramsEdit& edit, std::span<const ProgramsEntry> entries, const XScreenSaverFiles& files,
                     bool created, const std::string& backup) {
    std::string text;
    if (edit.added == 0) {
        text = files.config + " lists the saver already: nothing changed.\n";
    } else if (created) {
        text = "Created " + files.config + " with XScreenSaver's list of programs (from " + files.defaults +
               ") and the saver's entries at its end.\n";
    } else {
        text = "Added " + std::to_string(edit.added) + (edit.added == 1 ? " entry" : " entries") + " to " +
               (edit.listFromDefaults ? "XScreenSaver's list of programs (from " + files.defaults + "), now in " : "the programs: list of ") +
               files.config + "; the old file is " + backup + ".\n";
    }
    for (size_t i = 0; i < entries.size(); ++i)
        text += "  " + std::to_string(edit.positions[i]) + ". \"" + entries[i].name + "\"  " + entries[i].command + "\n";
    text += "Pick one in xscreensaver-settings (Mode: Only One Screen Saver), or with the daemon running\n"
            "try it at once: xscreensaver-command -select " + std::to_string(edit.positions.front()) + "\n";
    return text;
}

}  // namespace

std::vector<ProgramsEntry> saverEntries(const std::string& program) {
    return {{"Quillmoor Mothwake", program + " -root"}, {"Quillmoor Mothwake: skyline", program + " -root -scene skyline"}};
}

std::string programAsXScreenSaverRunsIt(const std::string& self, const std::string& hackDirectory) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path hack = fs::path(hackDirectory) / programName;
    if (fs::path(self).filename() == programName && fs::equivalent(hack, self, error)) return programName;
    return quotedForShell(self);
}

std::variant<ProgramsEdit, std::string> addProgramsEntries(std::optional<std::string_view> file, std::string_view defaults,
                                                           std::span<const ProgramsEntry> entries) {
    ProgramsEdit edit;
    Lines lines = splitLines(file.value_or(""));
    const size_t originalLines = lines.size();
    auto block = findPrograms(lines, false);
    if (!block) {
        auto list = defaultPrograms(defaults);
        if (!list) return std::string("XScreenSaver's defaults have no list of programs to start from");
        if (!file)
            lines = {"# XScreenSaver Preferences File", "# Its programs: list, made by quillmoor-mothwake --add-to-xscreensaver",
                     "# from XScreenSaver's defaults; xscreensaver-settings adds the other settings.", ""};
        else if (!lines.empty() && !isBlank(lines.back()))
            lines.emplace_back();
        block = Block{lines.size(), lines.size() + list->size() - 1};
        lines.insert(lines.end(), list->begin(), list->end());
        edit.listFromDefaults = true;
    }

    const std::vector<std::string> names = entryNames(lines, *block);
    Lines added;
    for (const auto& entry : entries) {
        const auto found = std::find_if(names.begin(), names.end(), [&](const auto& name) { return sameName(name, entry.name); });
        if (found != names.end()) {
            edit.positions.push_back(static_cast<int>(found - names.begin()) + 1);
        } else {
            edit.positions.push_back(static_cast<int>(names.size() + added.size()) + 1);
            added.push_back(entryLine(entry));
        }
    }
    edit.added = static_cast<int>(added.size());
    if (edit.added == 0) {
        edit.text = std::string(file.value_or(""));
        return edit;
    }
    const size_t at = appendToList(lines, *block, std::move(added));
    edit.text = joinLines(lines);
    // A last line without a newline stays so when nothing was put after it.
    if (file && !file->empty() && file->back() != '\n' && at < originalLines) edit.text.pop_back();
    return edit;
}

SetupOutcome addToXScreenSaver(const XScreenSaverFiles& files, const std::string& program, std::time_t now) {
    const auto read = readFile(files.config);
    if (const auto* error = std::get_if<std::string>(&read)) return {false, *error};
    const auto& old = std::get<std::optional<std::string>>(read);
    const auto defaults = readFile(files.defaults);
    const auto* defaultsText = std::get_if<std::optional<std::string>>(&defaults);

    const auto entries = saverEntries(program);
    const auto result = addProgramsEntries(old, defaultsText && *defaultsText ? **defaultsText : std::string(), entries);
    if (const auto* error = std::get_if<std::string>(&result))
        return {false, *error + " (" + files.defaults + "): is XScreenSaver installed?"};
    const auto& edit = std::get<ProgramsEdit>(result);
    if (edit.added == 0) return {true, describe(edit, entries, files, false, "")};

    std::string error;
    const auto out = platform::OutputFile::open(files.config, error);
    if (!out) return {false, error};
    std::string backup;
    if (old) {
        const Backup written = writeBackup(files.config, *old, now);
        if (!written.error.empty()) return {false, written.error};
        backup = written.name;
    }
    if (!out->write(edit.text.data(), edit.text.size()) || !out->commit()) {
        if (!backup.empty()) unlink(backup.c_str());
        return {false, out->error()};
    }
    return {true, describe(edit, entries, files, !old, backup)};
}
