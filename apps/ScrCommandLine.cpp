#include "apps/ScrCommandLine.h"

#include <cctype>
#include <string_view>

#include "apps/Options.h"

namespace {

std::string lowercase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// The command letter of "/s", "-S", "/p:1234" ..., and what follows its colon.
struct Command {
    char letter = 0;
    std::optional<std::string> attached;
};

std::optional<Command> readCommand(const std::string& argument) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-')) return std::nullopt;
    const std::string lower = lowercase(argument.substr(1));
    Command command{lower[0], std::nullopt};
    if (lower.size() > 1) {
        if (lower[1] != ':') return std::nullopt;
        command.attached = argument.substr(3);
    }
    if (command.letter != 's' && command.letter != 'p' && command.letter != 'c' && command.letter != 'a')
        return std::nullopt;
    return command;
}

// The options /s and /p take after the command, as the X11 program spells them.
std::optional<std::string> readRunOptions(std::span<const std::string> args, ScrCommand& command) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& argument = args[i];
        const auto name = optionName(argument);
        if (!name) return "unexpected argument \"" + argument + "\"";
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if (const SaverSettingInfo* setting = findSaverSetting(*name)) {
            const auto text = setting->isSwitch ? std::optional<std::string>("1") : value();
            if (!text) return "-" + *name + " needs a value";
            if (auto error = readSaverSetting(*setting, *text, command.settings)) return error;
        } else if (*name == "frames") {
            const auto text = value();
            if (!text) return "-frames needs a number";
            const auto n = parseCount(*text, 1'000'000'000);
            if (!n) return "bad frame count \"" + *text + "\" (0 ... 1000000000)";
            command.frames = static_cast<long>(*n);
        } else if (*name == "verbose") {
            command.verbose = true;
        } else {
            return "unknown option \"" + argument + "\"";
        }
    }
    return std::nullopt;
}

}  // namespace

std::variant<ScrCommand, std::string> parseScrCommandLine(std::span<const std::string> args,
                                                          const SaverSettings& stored) {
    ScrCommand result;
    result.settings = stored;
    if (args.empty()) return result;
    const auto command = readCommand(args[0]);
    if (!command) return "unknown argument \"" + args[0] + "\"";
    std::size_t next = 1;
    // The window after a colon or as the next argument (decimal, as Windows
    // writes it, or 0x-hex).
    const auto readWindow = [&]() -> std::optional<std::string> {
        std::optional<std::string> text = command->attached;
        if (!text && next < args.size() && !args[next].empty() && std::isdigit(static_cast<unsigned char>(args[next][0])))
            text = args[next++];
        if (!text) return std::nullopt;
        const auto id = parseWindowId(*text);
        if (!id) return "bad window handle \"" + *text + "\"";
        result.window = *id;
        return std::nullopt;
    };
    switch (command->letter) {
    case 'a': result.mode = ScrMode::password; return result;
    case 'c':
        result.mode = ScrMode::settings;
        if (auto error = readWindow()) return *error;
        return result;
    case 'p':
        result.mode = ScrMode::preview;
        if (auto error = readWindow()) return *error;
        if (!result.window) return "\"" + args[0] + "\" needs a window handle";
        break;
    default:
        result.mode = ScrMode::saver;
        if (command->attached) return "unknown argument \"" + args[0] + "\"";
        break;
    }
    if (auto error = readRunOptions(args.subspan(next), result)) return *error;
    return result;
}
