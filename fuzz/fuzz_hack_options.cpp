// The desktop saver's command line. The input holds one argument per line; a
// first line "XSCREENSAVER_WINDOW=VALUE" stands for that variable being set.

#include <string>
#include <variant>
#include <vector>

#include "apps/HackOptions.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/OptionValues.h"

namespace {

using platform::X11Target;

std::variant<HackOptions, std::string> parse(std::vector<std::string>& arguments, const char* screensaverWindow) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    return parseHackOptions(argv, screensaverWindow);
}

bool sameMeaning(const HackOptions& a, const HackOptions& b) {
    return a.target == b.target && (a.target != X11Target::window || a.windowId == b.windowId) &&
           a.settings.scene == b.settings.scene && a.settings.seed == b.settings.seed &&
           a.settings.showFps == b.settings.showFps && a.verbose == b.verbose && a.help == b.help && a.version == b.version;
}

// The shortest command line that asks for the same, with the variable unset.
std::vector<std::string> spell(const HackOptions& o) {
    std::vector<std::string> arguments;
    switch (o.target) {
    case X11Target::ownWindow: arguments = {"-window"}; break;
    case X11Target::fullscreen: arguments = {"-fullscreen"}; break;
    case X11Target::root: arguments = {"-root"}; break;
    case X11Target::window: arguments = {"-window-id", std::to_string(o.windowId)}; break;
    case X11Target::wallpaper: arguments = {"-wallpaper"}; break;
    }
    arguments.insert(arguments.end(), {"--scene", o.settings.scene});
    if (o.settings.seed) arguments.insert(arguments.end(), {"-seed", fuzz::hex(*o.settings.seed)});
    if (o.settings.showFps) arguments.push_back("-fps");
    if (o.verbose) arguments.push_back("--verbose");
    if (o.help) arguments.push_back("-h");
    if (o.version) arguments.push_back("-version");
    return arguments;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments = fuzz::splitArguments(fuzz::asText(data, size));
    std::optional<std::string> screensaverWindow;
    constexpr std::string_view variable = "XSCREENSAVER_WINDOW=";
    if (!arguments.empty() && arguments.front().starts_with(variable)) {
        screensaverWindow = arguments.front().substr(variable.size());
        arguments.erase(arguments.begin());
    }
    for (const std::string& argument : arguments) fuzz::checkValueParsers(argument);
    if (screensaverWindow) fuzz::checkValueParsers(*screensaverWindow);

    const auto parsed = parse(arguments, screensaverWindow ? screensaverWindow->c_str() : nullptr);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        fuzz::expect(fuzz::isOneLine(*error), "a rejected command line gives a one-line message");
        return 0;
    }
    const HackOptions& options = std::get<HackOptions>(parsed);
    fuzz::expect(isKnownScene(options.settings.scene), "the scene is a known one");
    fuzz::expect(options.target != X11Target::window || (options.windowId >= 1 && options.windowId <= 0xFFFFFFFFul),
                 "a window to draw into has a valid id");
    fuzz::expect(!screensaverWindow || screensaverWindow->empty() || options.target != X11Target::root,
                 "with XSCREENSAVER_WINDOW set, -root draws into that window");

    std::vector<std::string> again = spell(options);
    const auto reparsed = parse(again, nullptr);
    const auto* same = std::get_if<HackOptions>(&reparsed);
    fuzz::expect(same && sameMeaning(*same, options), "the options read back from their plain spelling");
    return 0;
}
