#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli_support.h"

using namespace cli;

namespace {

// Exactly n lowercase hexadecimal digits.
bool isHex(const std::string& text, size_t n) {
    return text.size() == n && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

using RenderCli = TempDirTest;

}  // namespace

TEST_F(RenderCli, BadInputExitsTwoWithOneLineAndNoFile) {
    const std::string out = (dir / "x.png").string();
    const char* bad[] = {"--bogus", "-screen", "--screen 0x5", "--screen 16385x10", "--screen -5x5", "--screen 5x",
                         "--canvas 12", "--frames -1", "--frames 1.5", "--seed abc", "--seed 18446744073709551616",
                         "--seed 0x", "--seed ' 5'", "--every 0 --trace", "--every 5", "--scene nowhere",
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

TEST_F(RenderCli, WritesWholePngsAndNothingElse) {
    const fs::path screen = dir / "screen.png", canvas = dir / "canvas.png";
    const Outcome run = render("--screen 400x300 --seed 0x10 --frames 3 --out " + screen.string() + " --canvas-out " +
                           canvas.string());
    ASSERT_EQ(run.status, 0) << run.err;
    for (const fs::path& p : {screen, canvas}) EXPECT_TRUE(isPng(p)) << p;
    EXPECT_EQ(entries(), 2);
}
