#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "apps/XScreenSaverSetup.h"
#include "tests/cli_support.h"

namespace {

namespace fs = std::filesystem;

// A fresh directory, removed with everything in it at the end of the scope.
struct ScopedDir {
    explicit ScopedDir(const std::string& name)
        : path(fs::temp_directory_path() / ("quillmoor-" + name + "-" + std::to_string(getpid()))) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~ScopedDir() { fs::remove_all(path); }
    fs::path path;
};

// The shape of XScreenSaver's app-defaults file: X resources, comments, and
// a programs list whose last entry ends the value without a backslash.
const std::string defaults =
    "! comment\n"
    "#error Do not run app-defaults files through xrdb!\n"
    "*timeout:\t\t0:10:00\n"
    "*programs:\t\t\t\t\t\t\t\t      \\\n"
    "\t\t\t\tmaze --root\t\t\t\t    \\n\\\n"
    "- GL: \t\t\t\tsuperquadrics --root\t\t\t    \\n\\\n"
    "\t\t\t\tattraction --root\t\t\t    \\n\n"
    "\n"
    "*hacks.maze.name: Maze\n";

// A file as xscreensaver-settings writes it.
const std::string settingsFile =
    "# XScreenSaver Preferences File\n"
    "mode:\t\tone\n"
    "selected:\t1\n"
    "programs:\t\t\t\t\t\t\t\t      \\\n"
    "\t\t\t\tmaze --root\t\t\t\t    \\n\\\n"
    "  \"Fancy qix\"  \t\t\tqix --root -solid\t\t    \\n\\\n"
    "\n"
    "pointerHysteresis: 10\n";

const auto entries = saverEntries("quillmoor-mothwake");

ProgramsEdit edited(std::optional<std::string_view> file, std::string_view from = defaults) {
    auto result = addProgramsEntries(file, from, entries);
    if (const auto* error = std::get_if<std::string>(&result)) ADD_FAILURE() << *error;
    return std::get<ProgramsEdit>(std::move(result));
}

// The lines of `after` with the saver's own taken out.
std::string withoutSaverLines(const std::string& after) {
    std::string kept;
    std::istringstream lines(after);
    for (std::string line; std::getline(lines, line);)
        if (line.find("quillmoor-mothwake") == std::string::npos) kept += line + '\n';
    return kept;
}

// A second run finds both entries where the first one put them.
void expectSettled(const ProgramsEdit& first) {
    const ProgramsEdit again = edited(first.text);
    EXPECT_EQ(again.added, 0);
    EXPECT_EQ(again.text, first.text);
    EXPECT_EQ(again.positions, first.positions);
}

TEST(ProgramsList, NoFileStartsFromTheDefaultListWithTheEntriesAtItsEnd) {
    const ProgramsEdit edit = edited(std::nullopt);
    EXPECT_EQ(edit.added, 2);
    EXPECT_TRUE(edit.listFromDefaults);
    EXPECT_EQ(edit.positions, (std::vector<int>{4, 5}));
    EXPECT_NE(edit.text.find("\nprograms:\t"), std::string::npos) << edit.text;
    EXPECT_NE(edit.text.find("- GL: \t\t\t\tsuperquadrics --root"), std::string::npos);
    EXPECT_NE(edit.text.find("attraction --root\t\t\t    \\n\\\n  \"Quillmoor Mothwake\""), std::string::npos) << edit.text;
    EXPECT_EQ(edit.text.find("timeout"), std::string::npos) << "only the list is copied";
    EXPECT_TRUE(edit.text.ends_with("-scene skyline  \\n\\\n\n")) << edit.text;
    expectSettled(edit);
}

TEST(ProgramsList, OtherEntriesAndSettingsKeepTheirLinesAndPlaces) {
    const ProgramsEdit edit = edited(settingsFile);
    EXPECT_EQ(edit.added, 2);
    EXPECT_FALSE(edit.listFromDefaults);
    EXPECT_EQ(edit.positions, (std::vector<int>{3, 4}));
    EXPECT_EQ(withoutSaverLines(edit.text), settingsFile);
    EXPECT_NE(edit.text.find("-solid\t\t    \\n\\\n  \"Quillmoor Mothwake\"          quillmoor-mothwake -root  \\n\\\n"
                             "  \"Quillmoor Mothwake: skyline\" quillmoor-mothwake -root -scene skyline  \\n\\\n\npointer"),
              std::string::npos)
        << edit.text;
    expectSettled(edit);
}

TEST(ProgramsList, AnEntryAlreadyThereIsFoundByItsNameWhateverItsOptions) {
    const std::string file = settingsFile.substr(0, settingsFile.find("\n\npointer")) +
                             "\n  \"quillmoor mothwake\" /opt/q/quillmoor-mothwake --root --seed 5 \\n\\\n\npointerHysteresis: 10\n";
    const ProgramsEdit edit = edited(file);
    EXPECT_EQ(edit.added, 1);
    EXPECT_EQ(edit.positions, (std::vector<int>{3, 4}));
    EXPECT_EQ(edit.text.find("\"Quillmoor Mothwake\""), std::string::npos) << "the forest entry was added again";
    expectSettled(edit);
}

TEST(ProgramsList, ListsEndedOtherwiseGoOnIntoTheEntries) {
    struct Case {
        const char* what;
        std::string file;
        int before;  // entries in the list before
    };
    const Case cases[] = {
        {"last entry without \\n, no newline at the end", "programs: maze -root \\n\\\n  qix -root", 2},
        {"last entry ending in \\n", "programs: \\\n  maze -root \\n\\\n  qix -root \\n\nlock: False\n", 2},
        {"the file ends inside the list", "programs: \\\n  maze -root \\n\\\n  qix -root \\", 2},
        {"an entry continued before a blank line", "programs: \\\n  maze -root \\\n\nlock: False\n", 1},
        {"an empty list", "programs:\nlock: False\n", 0},
        {"an empty list going on into a blank line", "programs: \\\n\n", 0},
        {"an entry ending in an escaped backslash and n", "programs: a \\\\n\n", 1},
        {"the last of two lists counts", "programs: a \\n\\\n b \\n\\\n\nprograms: c\n", 1},
    };
    for (const auto& c : cases) {
        const ProgramsEdit edit = edited(c.file);
        EXPECT_EQ(edit.added, 2) << c.what;
        EXPECT_EQ(edit.positions, (std::vector<int>{c.before + 1, c.before + 2})) << c.what << "\n" << edit.text;
        expectSettled(edit);
    }
}

TEST(ProgramsList, AFileWithoutAListGetsTheDefaultOneAfterItsOwnLines) {
    const std::string file = "# mine\nmode:\t\tone\nselected:\t2";
    const ProgramsEdit edit = edited(file);
    EXPECT_TRUE(edit.listFromDefaults);
    EXPECT_TRUE(edit.text.starts_with(file + "\n\nprograms:")) << edit.text;
    EXPECT_EQ(edit.positions, (std::vector<int>{4, 5}));
    expectSettled(edit);

    const auto noDefaults = addProgramsEntries(file, "*timeout: 0:10:00\n", entries);
    ASSERT_TRUE(std::holds_alternative<std::string>(noDefaults));
}

TEST(ProgramsList, TheProgramIsNamedAsXScreenSaverFindsIt) {
    ScopedDir dir("xss-program");
    const fs::path bin = dir.path / "bin" / "quillmoor-mothwake";
    fs::create_directories(bin.parent_path());
    fs::create_directories(dir.path / "hacks");
    fs::create_directories(dir.path / "other hacks");
    std::ofstream(bin) << "program";
    fs::create_symlink("../bin/quillmoor-mothwake", dir.path / "hacks" / "quillmoor-mothwake");
    EXPECT_EQ(programAsXScreenSaverRunsIt(bin, dir.path / "hacks"), "quillmoor-mothwake");
    EXPECT_EQ(programAsXScreenSaverRunsIt(bin, dir.path / "other hacks"), bin.string());

    const fs::path spaced = dir.path / "other hacks" / "quillmoor-mothwake";
    std::ofstream(spaced) << "another";
    const std::string quoted = programAsXScreenSaverRunsIt(spaced, dir.path / "hacks");
    EXPECT_TRUE(quoted.starts_with('\'') && quoted.ends_with('\'') && quoted.substr(1, quoted.size() - 2) == spaced) << quoted;
}

class SetupFiles : public ::testing::Test {
protected:
    void SetUp() override { std::ofstream(files.defaults) << defaults; }
    SetupOutcome run() const { return addToXScreenSaver(files, "quillmoor-mothwake", now); }
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir.path)) found.push_back(entry.path().filename());
        std::sort(found.begin(), found.end());
        return found;
    }

    ScopedDir dir{"xss-setup"};
    XScreenSaverFiles files{(dir.path / ".xscreensaver").string(), (dir.path / "XScreenSaver").string()};
    std::time_t now = 1'700'000'000;
};

TEST_F(SetupFiles, CreatesTheFileOnceAndBacksUpWhatItChanges) {
    const SetupOutcome created = run();
    ASSERT_TRUE(created.ok) << created.text;
    EXPECT_NE(created.text.find("Created " + files.config), std::string::npos) << created.text;
    EXPECT_NE(created.text.find("xscreensaver-command -select 4\n"), std::string::npos) << created.text;
    EXPECT_EQ(names(), (std::vector<std::string>{".xscreensaver", "XScreenSaver"})) << "a backup of nothing";

    const std::string written = cli::slurp(files.config);
    const SetupOutcome again = run();
    EXPECT_TRUE(again.ok);
    EXPECT_NE(again.text.find("nothing changed"), std::string::npos) << again.text;
    EXPECT_EQ(cli::slurp(files.config), written);
    EXPECT_EQ(names().size(), 2u);

    std::ofstream(files.config) << settingsFile;
    fs::permissions(files.config, fs::perms::owner_read | fs::perms::owner_write);
    const SetupOutcome added = run();
    ASSERT_TRUE(added.ok) << added.text;
    char stamp[64];
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, ".xscreensaver.bak-%Y%m%d-%H%M%S", &local);
    EXPECT_EQ(cli::slurp(dir.path / stamp), settingsFile);
    EXPECT_NE(added.text.find(std::string("the old file is ") + (dir.path / stamp).string()), std::string::npos) << added.text;
    EXPECT_EQ(withoutSaverLines(cli::slurp(files.config)), settingsFile);
    EXPECT_EQ(fs::status(files.config).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

    // Changed again within the same second: the first backup stays.
    std::ofstream(files.config) << settingsFile;
    ASSERT_TRUE(run().ok);
    EXPECT_EQ(cli::slurp(dir.path / (std::string(stamp) + ".2")), settingsFile);
}

// Runs `check` in a child process as an ordinary user (nobody) when this
// one is root, which permissions do not stop, with the directory its own.
void asOrdinaryUser(const fs::path& directory, const std::function<bool()>& check) {
    const uid_t nobody = 65534;
    if (geteuid() == 0) {
        for (const auto& entry : fs::recursive_directory_iterator(directory)) ASSERT_EQ(lchown(entry.path().c_str(), nobody, nobody), 0);
        ASSERT_EQ(chown(directory.c_str(), nobody, nobody), 0);
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(nobody) != 0 || setuid(nobody) != 0)) _exit(3);
        _exit(check() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(SetupFiles, AFileItMayNotReadOrWriteIsLeftAsItWas) {
    struct Case {
        fs::perms mode;
        std::string reason;
    };
    for (const auto& [mode, reason] : {Case{fs::perms::owner_write, "cannot read "}, Case{fs::perms::owner_read, "cannot write "}}) {
        std::ofstream(files.config) << settingsFile;
        fs::permissions(files.config, mode);
        asOrdinaryUser(dir.path, [&] {
            const SetupOutcome outcome = run();
            return !outcome.ok && outcome.text == reason + files.config + ": Permission denied";
        });
        fs::permissions(files.config, fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(cli::slurp(files.config), settingsFile) << reason;
        EXPECT_EQ(names().size(), 2u) << reason << ": something was left beside it";
    }

    fs::remove(files.config);
    fs::create_directory(files.config);
    const SetupOutcome directory = run();
    EXPECT_FALSE(directory.ok);
    EXPECT_EQ(directory.text, "cannot read " + files.config + ": Is a directory");
}

}  // namespace
