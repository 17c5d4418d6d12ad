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
        std::fputs(renderUsage, stdout);
        return 0;
    }
    return renderHeadless(*options, stdout, stderr);
}
