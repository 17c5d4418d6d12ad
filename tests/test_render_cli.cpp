// The renderer's command line, and how its output files treat what is
// already on disk and what they leave behind when a write fails or the
// process dies.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "cli_support.h"
#include "platform/OutputFile.h"
#include "settings/SaverSettings.h"

using namespace cli;

namespace {

struct stat statOf(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st;
}

void writeText(const fs::path& p, const std::string& text, mode_t mode = 0644) {
    std::ofstream(p) << text;
    fs::permissions(p, static_cast<fs::perms>(mode));
}

std::vector<std::string> names(const fs::path& dir) {
    std::vector<std::string> all;
    for (const auto& e : fs::directory_iterator(dir)) all.push_back(e.path().filename().string());
    std::sort(all.begin(), all.end());
    return all;
}

// As root, cases that depend on the permission checks run as `nobody`;
// otherwise as the user running the tests.
bool root() { return ::geteuid() == 0; }
std::string unprivileged() { return root() ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : ""; }
void giveToUnprivileged(const fs::path& p) {
    if (!root()) return;
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    ASSERT_EQ(::lchown(p.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
}

// Exactly n lowercase hexadecimal digits.
bool isHex(const std::string& text, size_t n) {
    return text.size() == n && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

const std::string canvasArgs = "--canvas 16x9 --seed 1 --canvas-out ";
const std::string screenArgs = "--screen 400x300 --seed 1 --out ";

class RenderCli : public TempDirTest {
protected:
    void TearDown() override {
        if (mounted) ::umount2(dir.c_str(), MNT_DETACH);
        TempDirTest::TearDown();
    }

    // A tiny file system over the test directory, in a mount namespace of
    // this process's own so that nothing outside sees it.
    bool mountSmallFileSystem(std::string& why) {
        if (!root()) {
            why = "mounting a file system needs root";
            return false;
        }
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("quillmoor-test", dir.c_str(), "tmpfs", 0, "size=256k") != 0) {
            why = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
            return false;
        }
        mounted = true;
        return true;
    }

    // Fills the file system to the last byte, then removes the filler's name
    // but keeps it open, so the space stays taken.
    int fillUp() {
        const int fd = ::open((dir / "filler").c_str(), O_CREAT | O_WRONLY, 0600);
        const std::vector<char> block(4096);
        while (::write(fd, block.data(), block.size()) > 0) {}
        while (::write(fd, block.data(), 1) > 0) {}
        ::unlink((dir / "filler").c_str());
        return fd;
    }

    bool mounted = false;
};

// The staged image's size in a running renderer: the descriptor it holds open
// in the test directory (an unnamed temporary file), or -1 when there is none.
off_t stagedBytes(pid_t pid, const fs::path& dir) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const std::string target = fs::read_symlink(e.path(), ec).string();
        if (!ec && target.rfind(dir.string() + "/", 0) == 0) return statOf(e.path()).st_size;
    }
    return -1;
}

}  // namespace

TEST_F(RenderCli, FailuresAreOneLineWithTheCauseAndLeaveNothing) {
    fs::create_symlink("loop-b", dir / "loop-a");
    fs::create_symlink("loop-a", dir / "loop-b");
    fs::create_directory(dir / "sub");
    fs::create_symlink("/dev/full", dir / "full.mp4");
    fs::create_symlink("/dev/full", dir / "full.webp");
    const std::string clip = (dir / "clip").string(), seeded = renderer() + " --seed 1";
    const struct {
        std::string command, cause;
    } cases[] = {
        {renderer() + " " + canvasArgs + (dir / "loop-a").string(), "Too many levels of symbolic links"},
        {renderer() + " " + screenArgs + "/dev/full", "No space left on device"},
        {"ulimit -f 2; " + renderer() + " " + screenArgs + (dir / "big.png").string(), "File too large"},
        {renderer() + " " + canvasArgs + (dir / "sub").string(), "Is a directory"},
        {renderer() + " " + canvasArgs + (dir / "none" / "x.png").string(), "No such file or directory"},
        {renderer() + " --canvas 16x9 --seed 1 --trace >/dev/full", "cannot write the trace: No space left on device"},
        {renderer() + " --canvas 16x9 --seed 1 --frames 2000 --trace >/dev/full", "cannot write the trace: No space left on device"},
        {renderer() + " --canvas 16x9 --seed 1 --trace >&-", "cannot write the trace: Bad file descriptor"},
        {seeded + " --frames 2 --video " + clip + ".avi", "expected a name ending in .webp or .mp4"},
        {seeded + " --frames 2 --video " + (dir / "none" / "x.mp4").string(), "No such file or directory"},
        {seeded + " --canvas 96x54 --frames 2 --video " + (dir / "full.mp4").string(), "No space left on device"},
        {seeded + " --canvas 96x54 --frames 2 --video " + (dir / "full.webp").string(), "No space left on device"},
        {"ulimit -f 40; " + seeded + " --screen 480x270 --frames 20 --video " + clip + ".mp4", "File too large"},
        {seeded + " --canvas 16384x1 --frames 1 --video " + clip + ".webp", "at most 16383 pixels"},
        {seeded + " --canvas 16384x1 --frames 1 --video " + clip + ".mp4", "wider than 16384"},
        {seeded + " --video " + clip + ".mp4", "--video needs --frames of at least 1"},
        {seeded + " --frames 5 --from 2 --grown --trace", "--from and --grown exclude each other"},
    };
    for (const auto& c : cases) {
        const Outcome run = shell(c.command);
        EXPECT_EQ(run.status, 2) << c.command;
        EXPECT_EQ(lines(run.err), 1) << c.command << ": " << run.err;
        EXPECT_NE(run.err.find(c.cause), std::string::npos) << c.command << ": " << run.err;
        EXPECT_EQ(names(dir), (std::vector<std::string>{"full.mp4", "full.webp", "loop-a", "loop-b", "sub"})) << c.command;
        EXPECT_TRUE(fs::is_empty(dir / "sub"));
    }
}

TEST_F(RenderCli, ReplacedFilesKeepModeAndLinksAndTheLongestNameWorks) {
    const fs::path own = dir / "own.png", linked = dir / "linked.png", second = dir / "second.png";
    writeText(own, "old", 0640);
    writeText(linked, "old");
    fs::create_hard_link(linked, second);
    for (const fs::path& p : {own, linked}) ASSERT_EQ(render(canvasArgs + p.string()).status, 0) << p;
    EXPECT_TRUE(isPng(own));
    EXPECT_EQ(statOf(own).st_mode & 07777, 0640u);
    // A file with a second name is written in place, so both names see the image.
    EXPECT_TRUE(isPng(second));
    EXPECT_EQ(statOf(linked).st_ino, statOf(second).st_ino);

    const std::string longest(255 - 4, 'n');
    ASSERT_EQ(render(canvasArgs + (dir / (longest + ".png")).string()).status, 0);
    EXPECT_EQ(names(dir), (std::vector<std::string>{"linked.png", longest + ".png", "own.png", "second.png"}));

    // Root may write any file, as the shell's redirection and cp do; a
    // write-protected file keeps its protection.
    if (!root()) GTEST_SKIP() << "the rest is root's view of write-protected files";
    const fs::path locked = dir / "locked.png";
    writeText(locked, "old", 0444);
    ASSERT_EQ(render(canvasArgs + locked.string()).status, 0);
    EXPECT_TRUE(isPng(locked));
    EXPECT_EQ(statOf(locked).st_mode & 07777, 0444u);
}

TEST_F(RenderCli, OnlyFilesTheUserCouldWriteAreWritten) {
    // Write-protected: refused, left as it was.
    const fs::path locked = dir / "locked.png";
    writeText(locked, "old", 0444);
    giveToUnprivileged(locked);
    giveToUnprivileged(dir);
    Outcome run = shell(unprivileged() + renderer() + " " + canvasArgs + locked.string());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "quillmoor-render: cannot write " + locked.string() + ": Permission denied\n");
    EXPECT_EQ(slurp(locked), "old");

    // Writable by everyone, in a directory the user cannot write: written in
    // place, nothing else created there.
    const fs::path closed = dir / "closed", open = closed / "open.png";
    fs::create_directory(closed);
    writeText(open, "old", 0666);
    fs::permissions(closed, static_cast<fs::perms>(0555));
    const ino_t before = statOf(open).st_ino;
    run = shell(unprivileged() + renderer() + " " + canvasArgs + open.string());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(isPng(open));
    EXPECT_EQ(statOf(open).st_ino, before);
    EXPECT_EQ(statOf(open).st_mode & 07777, 0666u);
    run = shell(unprivileged() + renderer() + " " + canvasArgs + (closed / "new.png").string());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("Permission denied"), std::string::npos) << run.err;
    EXPECT_EQ(names(closed), std::vector<std::string>{"open.png"});
    fs::permissions(closed, fs::perms::owner_all);

    if (!root()) GTEST_SKIP() << "someone else's files need root to set up";
    // Someone else's file in the user's own directory: refused unless the
    // user may write it, and then written in place, keeping its owner.
    const fs::path foreign = dir / "foreign.png", shared = dir / "shared.png";
    writeText(foreign, "old", 0644);
    writeText(shared, "old", 0666);
    run = shell(unprivileged() + renderer() + " " + canvasArgs + foreign.string());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(lines(run.err), 1);
    EXPECT_EQ(slurp(foreign), "old");
    run = shell(unprivileged() + renderer() + " " + canvasArgs + shared.string());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(isPng(shared));
    EXPECT_EQ(statOf(shared).st_uid, 0u);
}

TEST_F(RenderCli, FullDiskLeavesEveryKindOfTargetAsItWas) {
    const fs::path fresh = dir / "fresh.png", own = dir / "own.png", linked = dir / "linked.png", second = dir / "second.png";
    std::string why;
    if (!mountSmallFileSystem(why)) GTEST_SKIP() << why;
    writeText(own, "old");
    writeText(linked, "old");
    fs::create_hard_link(linked, second);
    const int filler = fillUp();
    // A new file, one replaced through a temporary file, one written in place.
    for (const fs::path& p : {fresh, own, linked}) {
        const Outcome run = render(screenArgs + p.string());
        EXPECT_EQ(run.status, 2) << p;
        EXPECT_EQ(run.err, "quillmoor-render: cannot write " + p.string() + ": No space left on device\n");
    }
    EXPECT_EQ(names(dir), (std::vector<std::string>{"linked.png", "own.png", "second.png"}));
    EXPECT_EQ(slurp(own), "old");
    EXPECT_EQ(slurp(second), "old");
    ::close(filler);
}

TEST_F(RenderCli, KilledWhileWritingLeavesNoTemporaryFile) {
    const int unnamed = ::open(dir.c_str(), O_TMPFILE | O_WRONLY, 0600);
    if (unnamed < 0) GTEST_SKIP() << "this file system has no unnamed temporary files; named ones can outlive a kill";
    ::close(unnamed);
    const fs::path target = dir / "big.png";
    const std::string binary = renderer(), path = target.string();
    for (const bool existing : {false, true}) {
        if (existing) writeText(target, "old");
        char* argv[] = {const_cast<char*>("quillmoor-render"), const_cast<char*>("--screen"), const_cast<char*>("6144x3456"),
                        const_cast<char*>("--seed"), const_cast<char*>("1"), const_cast<char*>("--out"),
                        const_cast<char*>(path.c_str()), nullptr};
        pid_t pid = 0;
        ASSERT_EQ(::posix_spawn(&pid, binary.c_str(), nullptr, nullptr, argv, environ), 0);
        int status = 0;
        bool writing = false;
        while (!writing && ::waitpid(pid, &status, WNOHANG) == 0) {
            writing = stagedBytes(pid, dir) > 0;
            if (!writing) ::usleep(100);
        }
        ASSERT_TRUE(writing) << "the renderer finished before it could be stopped";
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        EXPECT_EQ(names(dir), existing ? std::vector<std::string>{"big.png"} : std::vector<std::string>{});
        EXPECT_EQ(slurp(target), existing ? "old" : "");
    }
}

TEST_F(RenderCli, NamedTemporaryFilesAreRemovedOrRenamed) {
    const fs::path target = dir / "named.png";
    const auto hidden = [&] {
        const std::vector<std::string> all = names(dir);
        return std::count_if(all.begin(), all.end(), [](const std::string& n) { return n.size() == 9 && n.rfind(".qm", 0) == 0; });
    };
    for (const bool existing : {false, true}) {
        if (existing) writeText(target, "old", 0600);
        std::string error;
        {
            auto dropped = platform::OutputFile::open(target.string(), error, platform::OutputFile::Temporary::named);
            ASSERT_TRUE(dropped) << error;
            EXPECT_TRUE(dropped->write("new", 3));
            EXPECT_EQ(hidden(), 1);
        }
        EXPECT_EQ(hidden(), 0);
        auto file = platform::OutputFile::open(target.string(), error, platform::OutputFile::Temporary::named);
        ASSERT_TRUE(file) << error;
        EXPECT_TRUE(file->write("new", 3));
        EXPECT_TRUE(file->commit()) << file->error();
        EXPECT_EQ(names(dir), std::vector<std::string>{"named.png"});
        EXPECT_EQ(slurp(target), "new");
        const mode_t mask = ::umask(0);
        ::umask(mask);
        EXPECT_EQ(statOf(target).st_mode & 07777, existing ? 0600u : 0666u & ~mask);
    }
}

TEST_F(RenderCli, SizesBeyondMemoryFailWithOneLine) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
    for (const char* size : {"--canvas 16384x16384", "--canvas 1x16384", "--screen 16384x16384"}) {
        const Outcome run = shell("ulimit -v 600000; " + renderer() + " " + std::string(size) + " --seed 1 --canvas-out " +
                                  (dir / "x.png").string());
        EXPECT_EQ(run.status, 1) << size;
        EXPECT_EQ(lines(run.err), 1) << size << ": " << run.err;
        EXPECT_NE(run.err.find("not enough memory"), std::string::npos) << run.err;
        EXPECT_TRUE(empty());
    }
}

TEST_F(RenderCli, BadInputExitsTwoWithOneLineAndNoFile) {
    const std::string out = (dir / "x.png").string();
    const char* bad[] = {"--bogus", "-screen", "--screen 0x5", "--screen 16385x10", "--screen -5x5", "--screen 5x",
                         "--canvas 12", "--frames -1", "--frames -0", "--frames +3", "--frames 1.5", "--seed abc",
                         "--seed 18446744073709551616", "--seed 0x", "--seed ' 5'", "--every 0 --trace", "--every 5", "--scene nowhere",
                         "--screen 800x600 --canvas 80x60", "--canvas 80x60 --out x.png", "stray"};
    for (const char* args : bad) {
        const Outcome run = render(std::string(args) + " --out " + out);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_EQ(lines(run.err), 1) << args << ": " << run.err;
        EXPECT_TRUE(run.out.empty()) << args;
        EXPECT_TRUE(empty()) << args;
    }
}

TEST_F(RenderCli, LinksAndDevicesAreWrittenThroughNotReplaced) {
    const fs::path target = dir / "target.png", link = dir / "link.png";
    fs::create_symlink(target.filename(), link);
    ASSERT_EQ(render("--canvas 16x9 --seed 1 --canvas-out " + link.string()).status, 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(isPng(target));

    const fs::path fifo = dir / "fifo", copy = dir / "copy.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(shell("cat " + fifo.string() + " >" + copy.string() + " & " + renderer() + " --canvas 16x9 --seed 1 --canvas-out " +
                    fifo.string() + "; wait").status, 0);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(slurp(copy), slurp(target));
    EXPECT_EQ(render("--canvas 16x9 --seed 1 --canvas-out /dev/stdout").out, slurp(target));

    if (::geteuid() != 0) GTEST_SKIP() << "making a device node needs root";
    const fs::path device = dir / "null";
    ASSERT_EQ(::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
    EXPECT_EQ(render("--canvas 16x9 --seed 1 --canvas-out " + device.string()).status, 0);
    EXPECT_TRUE(fs::is_character_file(device));
}

TEST_F(RenderCli, OtherUsersLinksInStickyDirectoriesAreNotFollowed) {
    if (!root()) GTEST_SKIP() << "links of another user need root to make";
    constexpr uid_t other = 999;
    const fs::path victim = dir / "victim.png", shared = dir / "shared", theirs = dir / "theirs";
    writeText(victim, "old");
    for (const fs::path& d : {shared, theirs}) {
        fs::create_directory(d);
        fs::permissions(d, static_cast<fs::perms>(01777));
    }
    ASSERT_EQ(::chown(theirs.c_str(), other, other), 0);
    const auto link = [&](const fs::path& to, const fs::path& at, uid_t owner) {
        fs::create_symlink(to, at);
        ASSERT_EQ(::lchown(at.c_str(), owner, owner), 0);
    };
    // Planted by another user: straight at the file, at the end of a chain
    // that starts with a link of root's own, and on the way to a directory.
    link(victim, shared / "planted.webp", other);
    link(shared / "planted.webp", shared / "chain.png", 0);
    link(dir, shared / "up", other);
    const std::vector<std::string> before = names(shared);
    const std::string canvas = "--canvas 16x9 --seed 1 ";
    for (const std::string& args : {canvas + "--frames 2 --video " + (shared / "planted.webp").string(),
                                    canvas + "--canvas-out " + (shared / "chain.png").string(),
                                    "--screen 32x18 --seed 1 --out " + (shared / "up" / "victim.png").string()}) {
        const Outcome run = render(args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_EQ(lines(run.err), 1) << args << ": " << run.err;
        EXPECT_NE(run.err.find("belongs to another user in a sticky world-writable directory"), std::string::npos) << run.err;
        EXPECT_EQ(slurp(victim), "old") << args;
        EXPECT_EQ(names(shared), before) << args;
        EXPECT_EQ(names(dir), (std::vector<std::string>{"shared", "theirs", "victim.png"})) << args;
    }

    // Followed: root's own link there, another user's link where the
    // directory is not sticky, and one owned by the sticky directory's owner.
    link(victim, shared / "own.png", 0);
    link(victim, dir / "plain.png", other);
    link(victim, theirs / "owner.png", other);
    for (const fs::path& p : {shared / "own.png", dir / "plain.png", theirs / "owner.png"}) {
        writeText(victim, "old");
        const Outcome run = render(canvas + "--canvas-out " + p.string());
        EXPECT_EQ(run.status, 0) << p << ": " << run.err;
        EXPECT_TRUE(fs::is_symlink(p));
        EXPECT_TRUE(isPng(victim)) << p;
    }
}

TEST_F(RenderCli, TwoOutputsNamingOneFileAreRefused) {
    const fs::path existing = dir / "existing.png";
    writeText(existing, "old");
    fs::create_hard_link(existing, dir / "second.png");
    fs::create_symlink("clip.webp", dir / "link.webp");
    const std::string canvas = "--canvas 16x9 --seed 1 --frames 2 ", at = dir.string() + "/";
    for (const std::string& args : {canvas + "--video " + at + "clip.webp --canvas-out " + at + "clip.webp",
                                    canvas + "--video " + at + "clip.webp --canvas-out " + at + "./sub/../clip.webp",
                                    canvas + "--video " + at + "link.webp --canvas-out " + at + "clip.webp",
                                    "--screen 32x18 --seed 1 --out " + at + "second.png --canvas-out " + at + "existing.png"}) {
        if (!fs::exists(dir / "sub")) fs::create_directory(dir / "sub");
        const Outcome run = render(args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_EQ(lines(run.err), 1) << args << ": " << run.err;
        EXPECT_NE(run.err.find("name the same file"), std::string::npos) << run.err;
        EXPECT_EQ(names(dir), (std::vector<std::string>{"existing.png", "link.webp", "second.png", "sub"})) << args;
        EXPECT_EQ(slurp(existing), "old");
    }
}

TEST_F(RenderCli, TraceIsReproducibleFromThePrintedSeed) {
    const Outcome first = render("--screen 320x200 --frames 6 --trace");
    ASSERT_EQ(first.status, 0) << first.err;
    const size_t at = first.err.find("seed: 0x");
    ASSERT_NE(at, std::string::npos) << first.err;
    const std::string seed = first.err.substr(at + 6, 18);
    ASSERT_TRUE(isHex(seed.substr(2), 16)) << seed;
    const Outcome again = render("--screen 320x200 --frames 6 --trace --seed " + seed);
    EXPECT_EQ(again.out, first.out);
    EXPECT_TRUE(again.err.empty());

    std::istringstream lines(first.out);
    int count = 0;
    for (std::string l; std::getline(lines, l); ++count) {
        const std::string frame = std::to_string(count) + " ";
        ASSERT_EQ(l.size(), frame.size() + 33) << l;
        EXPECT_EQ(l.substr(0, frame.size()), frame);
        EXPECT_TRUE(isHex(l.substr(frame.size(), 16), 16) && l[frame.size() + 16] == ' ' && isHex(l.substr(frame.size() + 17), 16)) << l;
    }
    EXPECT_EQ(count, 7);
}

// The frames stepped without drawing leave the scene where drawing every
// frame does: the trace from the start frame on is the plain run's.
TEST_F(RenderCli, FromAndGrownStartLaterWithTheFramesOfAPlainRun) {
    for (const char* scene : {"forest", "skyline"}) {
        const int64_t grown = grownFrame(scene);
        for (const std::string size : {"--screen 400x300", "--canvas 70x40"}) {
            const std::string args = size + " --seed 21 --scene " + scene + " --trace --every " + std::to_string(grown);
            const Outcome plain = render(args + " --frames " + std::to_string(grown + 3));
            ASSERT_EQ(plain.status, 0) << plain.err;
            const std::string tail = plain.out.substr(plain.out.find('\n') + 1);  // frames grown and grown + 3
            const Outcome from = render(args + " --from " + std::to_string(grown) + " --frames 3");
            EXPECT_EQ(from.out, tail) << scene << " " << size;
            EXPECT_EQ(render(args + " --grown --frames 3").out, tail) << scene << " " << size;
        }
    }
    // With a picture: the last frame is the start frame plus --frames.
    const Outcome picture = render("--screen 200x150 --seed 4 --from 9 --frames 2 --out " + (dir / "a.png").string());
    ASSERT_EQ(picture.status, 0) << picture.err;
    ASSERT_EQ(render("--screen 200x150 --seed 4 --frames 11 --out " + (dir / "b.png").string()).status, 0);
    EXPECT_EQ(slurp(dir / "a.png"), slurp(dir / "b.png"));
}

TEST_F(RenderCli, EveryKeepsMultiplesAndTheLastFrame) {
    const Outcome run = render("--canvas 64x36 --seed 7 --frames 25 --trace --every 10");
    ASSERT_EQ(run.status, 0);
    std::istringstream lines(run.out);
    std::vector<int> frames;
    for (std::string l; std::getline(lines, l);) frames.push_back(std::stoi(l));
    EXPECT_EQ(frames, (std::vector<int>{0, 10, 20, 25}));

    const Outcome full = render("--canvas 64x36 --seed 7 --frames 25 --trace");
    std::istringstream kept(run.out);
    for (std::string l; std::getline(kept, l);) EXPECT_NE(full.out.find(l + "\n"), std::string::npos) << l;
}
