// Headless front end: drives a saver view (or a bare scene) without a display
// and writes PNG snapshots and per-frame traces.
#include <cstdio>
#include <string>
#include <vector>

#include "apps/HeadlessRenderer.h"
#include "apps/RenderOptions.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto options = parseRenderOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "quillmoor-render: %s (try --help)\n", error.c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(renderUsage().c_str(), stdout);
        return 0;
    }
    if (options->version) {
        std::fputs("quillmoor-render " QUILLMOOR_VERSION "\n", stdout);
        return 0;
    }
    // A run that writes nothing was almost surely meant to write something.
    if (writesNothing(*options)) {
        std::fputs(renderUsage().c_str(), stderr);
        return 2;
    }
    return renderHeadless(*options, stdout, stderr);
}
