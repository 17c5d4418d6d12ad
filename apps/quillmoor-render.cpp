// Headless front end: drives a saver view (or a bare scene) without a display
// and writes PNG snapshots, video clips and per-frame traces.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "apps/HeadlessRenderer.h"
#include "apps/RenderOptions.h"
#include "platform/ClipWriter.h"
#include "platform/StandardStreams.h"

#ifdef _WIN32
#include <windows.h>
// shellapi.h needs the types windows.h defines.
#include <shellapi.h>
#endif

namespace {

#ifdef _WIN32
// The arguments in UTF-8, as the rest of the program takes text. argv holds
// them in the ANSI code page, which cannot spell every file name; Windows
// keeps the command line in UTF-16 too.
std::vector<std::string> arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide) return {argv + 1, argv + argc};
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) {
        const int length = static_cast<int>(wcslen(wide[i]));
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], length, nullptr, 0, nullptr, nullptr);
        std::string arg(static_cast<size_t>(size > 0 ? size : 0), '\0');
        if (size > 0) WideCharToMultiByte(CP_UTF8, 0, wide[i], length, arg.data(), size, nullptr, nullptr);
        args.push_back(std::move(arg));
    }
    LocalFree(wide);
    return args;
}
#else
std::vector<std::string> arguments(int argc, char** argv) { return {argv + 1, argv + argc}; }
#endif

// Whether text reached standard output. The stream's error flag counts too:
// MinGW's stdio functions can report success when the write beneath fails.
bool printed(const std::string& text, unsigned closedStreams) {
    return !(closedStreams & 2) && std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 && !std::ferror(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned closedStreams = platform::reserveStandardStreams();
#ifdef SIGXFSZ
    // A file size limit then fails the write with EFBIG, reported like any other cause.
    std::signal(SIGXFSZ, SIG_IGN);
#endif

    const std::vector<std::string> args = arguments(argc, argv);
    std::string error;
    const auto options = parseRenderOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "quillmoor-render: %s (try --help)\n", error.c_str());
        return 2;
    }
    if (options->help) {
        if (printed(renderUsage(), closedStreams)) return 0;
        std::fprintf(stderr, "quillmoor-render: cannot write the usage: %s\n", std::strerror(closedStreams & 2 ? EBADF : errno));
        return 2;
    }
    if (options->version) {
        if (printed("quillmoor-render " QUILLMOOR_VERSION "\n", closedStreams)) return 0;
        std::fprintf(stderr, "quillmoor-render: cannot write the version: %s\n", std::strerror(closedStreams & 2 ? EBADF : errno));
        return 2;
    }
    // A run that writes nothing was almost surely meant to write something.
    if (writesNothing(*options)) {
        std::fputs(renderUsage().c_str(), stderr);
        return 2;
    }
    if (options->trace && (closedStreams & 2)) {
        std::fprintf(stderr, "quillmoor-render: cannot write the trace: %s\n", std::strerror(EBADF));
        return 2;
    }
#ifdef QUILLMOOR_CLIPS
    return renderHeadless(*options, stdout, stderr, platform::openClipWriter);
#else
    return renderHeadless(*options, stdout, stderr);
#endif
}
