#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace cli {

namespace fs = std::filesystem;

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

inline std::string renderer() { return std::string(QUILLMOOR_BINARY_DIR) + "/quillmoor-render"; }

// Runs a shell command, capturing its standard output and error.
inline Outcome shell(const std::string& command) {
    const fs::path dir = fs::temp_directory_path() / ("quillmoor-cli-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path errFile = dir / "stderr.txt";
    Outcome run{-1, {}, {}};
    FILE* pipe = popen(("{ " + command + "; } 2>" + errFile.string()).c_str(), "r");
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream err(errFile);
    run.err.assign(std::istreambuf_iterator<char>(err), {});
    return run;
}

// Runs the renderer with the given arguments (shell-quoted by the caller).
inline Outcome render(const std::string& args) { return shell(renderer() + " " + args); }

inline long lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

inline std::string slurp(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

inline bool isPng(const fs::path& p) { return slurp(p).substr(0, 8) == std::string("\x89PNG\r\n\x1a\n", 8); }

// A fresh directory per test, removed afterwards.
class TempDirTest : public ::testing::Test {
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

}  // namespace cli
