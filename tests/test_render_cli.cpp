#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

// Runs the renderer with the given arguments (shell-quoted by the caller).
Outcome render(const std::string& args) {
    const fs::path dir = fs::temp_directory_path() / ("quillmoor-cli-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path errFile = dir / "stderr.txt";
    const std::string command = std::string(QUILLMOOR_BINARY_DIR) + "/quillmoor-render " + args + " 2>" + errFile.string();
    Outcome run{-1, {}, {}};
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream err(errFile);
    run.err.assign(std::istreambuf_iterator<char>(err), {});
    return run;
}

// Exactly n lowercase hexadecimal digits.
bool isHex(const std::string& text, size_t n) {
    return text.size() == n && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

class RenderCli : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("quillmoor-out-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    bool empty() const { return fs::is_empty(dir); }
    fs::path dir;
};

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
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args << ": " << run.err;
        EXPECT_TRUE(run.out.empty()) << args;
        EXPECT_TRUE(empty()) << args;
    }
}

TEST_F(RenderCli, LinksAndDevicesAreWrittenThroughNotReplaced) {
    const fs::path target = dir / "target.png", link = dir / "link.png";
    fs::create_symlink(target.filename(), link);
    ASSERT_EQ(render("--canvas 16x9 --seed 1 --canvas-out " + link.string()).status, 0);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_GT(fs::file_size(target), 8u);

    if (::geteuid() != 0) GTEST_SKIP() << "making a device node needs root";
    const fs::path device = dir / "null";
    ASSERT_EQ(::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
    EXPECT_EQ(render("--canvas 16x9 --seed 1 --canvas-out " + device.string()).status, 0);
    EXPECT_TRUE(fs::is_character_file(device));
}

TEST_F(RenderCli, UnwritableOutputFailsBeforeRendering) {
    for (const std::string& path : {(dir / "missing" / "x.png").string(), dir.string()}) {
        const Outcome run = render("--canvas 32x18 --frames 5 --canvas-out " + path);
        EXPECT_EQ(run.status, 2) << path;
        EXPECT_NE(run.err.find("cannot write"), std::string::npos) << run.err;
    }
    EXPECT_TRUE(empty());
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
    for (const fs::path& p : {screen, canvas}) {
        std::ifstream f(p, std::ios::binary);
        char magic[8] = {};
        f.read(magic, 8);
        EXPECT_EQ(std::string(magic, 8), std::string("\x89PNG\r\n\x1a\n", 8)) << p;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 2);
}
