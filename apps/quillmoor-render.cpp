// Headless front end: drives a saver view (or a bare scene) without a display
// and writes PNG snapshots, video clips and per-frame traces.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "apps/HeadlessRenderer.h"
#include "apps/RenderOptions.h"
#include "platform/ClipWriter.h"
#include "platform/StandardStreams.h"

namespace {

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

    const std::vector<std::string> args(argv + 1, argv + argc);
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
