// The headless renderer's command line, one argument per line of the input.

#include <string>
#include <vector>

#include "apps/RenderOptions.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/OptionValues.h"

namespace {

bool sameSize(const Size& a, const Size& b) { return a.width == b.width && a.height == b.height; }

bool sameMeaning(const RenderOptions& a, const RenderOptions& b) {
    return sameSize(a.screen, b.screen) && a.canvas.has_value() == b.canvas.has_value() &&
           (!a.canvas || sameSize(*a.canvas, *b.canvas)) && a.settings.seed == b.settings.seed && a.frames == b.frames &&
           a.out == b.out && a.canvasOut == b.canvasOut && a.trace == b.trace && a.every == b.every &&
           a.settings.scene == b.settings.scene && a.help == b.help;
}

std::string spell(const Size& size) { return std::to_string(size.width) + "x" + std::to_string(size.height); }

// A plain command line that asks for the same: each option once, values in decimal.
std::vector<std::string> spell(const RenderOptions& o) {
    std::vector<std::string> arguments;
    if (o.canvas)
        arguments.insert(arguments.end(), {"--canvas", spell(*o.canvas)});
    else
        arguments.insert(arguments.end(), {"--screen", spell(o.screen)});
    if (o.settings.seed) arguments.insert(arguments.end(), {"--seed", std::to_string(*o.settings.seed)});
    arguments.insert(arguments.end(), {"--frames", std::to_string(o.frames), "--scene", o.settings.scene});
    if (!o.out.empty()) arguments.insert(arguments.end(), {"--out", o.out});
    if (!o.canvasOut.empty()) arguments.insert(arguments.end(), {"--canvas-out", o.canvasOut});
    if (o.trace) arguments.insert(arguments.end(), {"--trace", "--every", std::to_string(o.every)});
    if (o.help) arguments.push_back("--help");
    return arguments;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> arguments = fuzz::splitArguments(fuzz::asText(data, size));
    for (const std::string& argument : arguments) fuzz::checkValueParsers(argument);

    std::string error;
    const auto options = parseRenderOptions(arguments, error);
    if (!options) {
        fuzz::expect(fuzz::isOneLine(error), "a rejected command line gives a one-line message");
        return 0;
    }
    const RenderOptions& o = *options;
    fuzz::expect(isKnownScene(o.settings.scene), "the scene is a known one");
    fuzz::expect(o.frames >= 0 && o.every >= 1 && (o.trace || o.every == 1), "frame counts are in range");
    fuzz::expect(!o.canvas || o.out.empty(), "--out needs a screen");

    std::string again;
    const auto reparsed = parseRenderOptions(spell(o), again);
    fuzz::expect(reparsed && sameMeaning(*reparsed, o), "the options read back from their plain spelling");
    return 0;
}
