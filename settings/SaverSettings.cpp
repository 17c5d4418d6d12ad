#include "settings/SaverSettings.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "QuillmoorMothwake/GlimmerfoldScene.h"
#include "QuillmoorMothwake/GlimmerfoldView.h"
#include "QuillmoorMothwake/QuillmoorScene.h"
#include "QuillmoorMothwake/QuillmoorMothwakeView.h"
#include "QuillmoorMothwake/QuillmoorScene.h"

namespace {

constexpr SaverSettingInfo table[] = {
    {SaverSetting::scene, "scene", "unknown scene", "forest, skyline", false},
    {SaverSetting::speed, "speed", "bad speed", "0.01 ... 1000", false},
    {SaverSetting::panFrames, "pan-frames", "bad frames per pan", "1 ... 1000000000", false},
    {SaverSetting::animal, "animal", "unknown animal", "moose, bear, fox", false},
    {SaverSetting::showFps, "fps", "bad fps", "1 or 0", true},
    {SaverSetting::seed, "seed", "bad seed", "64-bit decimal or 0x-hex", false},
    {SaverSetting::grown, "grown", "bad grown", "1 or 0", true},
};

constexpr std::string_view animalNames[] = {"moose", "bear", "fox"};

std::optional<std::string> animalName(std::optional<quillmoor::Animals::Species> species) {
    if (!species) return std::nullopt;
    for (const std::string_view name : animalNames)
        if (quillmoor::Animals::species(name) == species) return std::string(name);
    return std::nullopt;
}

template <class T>
std::optional<T> parseWhole(std::string_view text, int base) {
    if (text.empty()) return std::nullopt;
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

bool hasHexPrefix(std::string_view text) { return text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'); }

// Whether text is a value the setting takes; when it is, it is stored.
bool store(SaverSetting setting, std::string_view text, SaverSettings& settings) {
    switch (setting) {
    case SaverSetting::scene:
        if (!isKnownScene(text)) return false;
        settings.scene = text;
        return true;
    case SaverSetting::speed: {
        const auto speed = parseSpeed(text);
        if (!speed || speed->millionths < slowestSpeed.millionths || speed->millionths > fastestSpeed.millionths)
            return false;
        settings.speed = speed;
        return true;
    }
    case SaverSetting::panFrames: {
        const auto n = parseCount(text, maxPanFrames);
        if (!n || *n < 1) return false;
        settings.sceneSettings.panFrames = *n;
        return true;
    }
    case SaverSetting::animal: {
        const auto species = quillmoor::Animals::species(text);
        if (!species) return false;
        settings.sceneSettings.animal = species;
        return true;
    }
    case SaverSetting::showFps:
        if (text != "1" && text != "0") return false;
        settings.showFps = text == "1";
        return true;
    case SaverSetting::seed: {
        const auto seed = parseSeed(text);
        if (!seed) return false;
        settings.seed = seed;
        return true;
    }
    case SaverSetting::grown:
        if (text != "1" && text != "0") return false;
        settings.grown = text == "1";
        return true;
    }
    return false;
}

}  // namespace

bool isKnownScene(std::string_view name) { return name == "forest" || name == "skyline"; }

std::string knownSceneNames() { return "forest, skyline"; }

int64_t grownFrame(std::string_view scene) {
    if (scene == "forest") return quillmoor::QuillmoorScene::grownFrames;
    if (scene == "skyline") return quillmoor::GlimmerfoldScene::grownFrames;
    return 0;
}

std::span<const SaverSettingInfo> saverSettings() { return table; }

const SaverSettingInfo* findSaverSetting(std::string_view name) {
    const auto found = std::find_if(std::begin(table), std::end(table), [&](const auto& info) { return info.name == name; });
    return found == std::end(table) ? nullptr : found;
}

std::optional<std::string> readSaverSetting(const SaverSettingInfo& info, std::string_view text, SaverSettings& settings) {
    if (store(info.setting, text, settings)) return std::nullopt;
    return std::string(info.problem) + " \"" + std::string(text) + "\" (" + std::string(info.expected) + ")";
}

std::optional<std::string> saverSettingText(const SaverSettingInfo& info, const SaverSettings& settings) {
    switch (info.setting) {
    case SaverSetting::scene:
        if (settings.scene == defaultSceneName) return std::nullopt;
        return settings.scene;
    case SaverSetting::speed:
        if (!settings.speed) return std::nullopt;
        return speedText(*settings.speed);
    case SaverSetting::panFrames:
        if (!settings.sceneSettings.panFrames) return std::nullopt;
        return std::to_string(*settings.sceneSettings.panFrames);
    case SaverSetting::animal: return animalName(settings.sceneSettings.animal);
    case SaverSetting::showFps:
        if (!settings.showFps) return std::nullopt;
        return "1";
    case SaverSetting::seed:
        if (!settings.seed) return std::nullopt;
        return std::to_string(*settings.seed);
    case SaverSetting::grown:
        if (!settings.grown) return std::nullopt;
        return "1";
    }
    return std::nullopt;
}

std::optional<uint64_t> parseSeed(std::string_view text) {
    if (hasHexPrefix(text)) return parseWhole<uint64_t>(text.substr(2), 16);
    return parseWhole<uint64_t>(text, 10);
}

std::optional<int64_t> parseCount(std::string_view text, int64_t max) {
    // Digits only: a sign, even on zero ("-0"), is refused like any other stray character.
    if (text.empty() || text[0] < '0' || text[0] > '9') return std::nullopt;
    const auto value = parseWhole<int64_t>(text, 10);
    if (!value || *value < 0 || *value > max) return std::nullopt;
    return value;
}

std::optional<Speed> parseSpeed(std::string_view text) {
    constexpr int places = 6;  // millionths
    const size_t point = text.find_first_of(".,");
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view{} : text.substr(point + 1);
    if (point != std::string_view::npos && (fraction.empty() || fraction.size() > places)) return std::nullopt;
    // Far above any speed taken, yet no overflow in millionths.
    const auto units = parseCount(whole, 1'000'000'000'000);
    if (!units) return std::nullopt;
    int64_t millionths = *units * 1'000'000;
    int64_t scale = 100'000;
    for (const char digit : fraction) {
        if (digit < '0' || digit > '9') return std::nullopt;
        millionths += (digit - '0') * scale;
        scale /= 10;
    }
    return Speed{millionths};
}

std::string speedText(Speed speed) {
    std::string text = std::to_string(speed.millionths / 1'000'000);
    std::string fraction = std::to_string(1'000'000 + speed.millionths % 1'000'000).substr(1);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    if (!fraction.empty()) text += "." + fraction;
    return text;
}

int64_t ownPanFrames(std::string_view scene) {
    return scene == "skyline" ? quillmoor::GlimmerfoldScene::defaultPanFrames : quillmoor::QuillmoorScene::defaultPanFrames;
}

int64_t panFramesAtSpeed(int64_t ownFrames, Speed speed) {
    // own ÷ speed rounded, halves up, in whole numbers: (2·own·10⁶ + m) ÷ 2m.
    const int64_t m = std::max<int64_t>(1, speed.millionths);
    return std::max<int64_t>(1, (2 * ownFrames * 1'000'000 + m) / (2 * m));
}

std::optional<int64_t> chosenPanFrames(const SaverSettings& settings, const char* environmentPanFrames) {
    const auto set = quillmoor::preferring(settings.sceneSettings,
                                           quillmoor::sceneSettingsFromEnvironment(environmentPanFrames, nullptr));
    if (set.panFrames) return set.panFrames;
    if (settings.speed) return panFramesAtSpeed(ownPanFrames(settings.scene), *settings.speed);
    return std::nullopt;
}

std::unique_ptr<quillmoor::PixelSaverView> makeSaverView(const SaverSettings& settings, platform::Host& host,
                                                         platform::Rect frame, bool isPreview) {
    const char* environmentPanFrames = std::getenv("MOTHWAKES_PAN_FRAMES");
    quillmoor::SceneSettings scene = quillmoor::preferring(
        settings.sceneSettings, quillmoor::sceneSettingsFromEnvironment(environmentPanFrames, std::getenv("MOTHWAKES_ANIMAL")));
    scene.panFrames = chosenPanFrames(settings, environmentPanFrames);
    std::unique_ptr<quillmoor::PixelSaverView> view;
    if (settings.scene == "forest") view = std::make_unique<quillmoor::QuillmoorMothwakeView>(host, frame, isPreview, scene);
    if (settings.scene == "skyline") view = std::make_unique<quillmoor::GlimmerfoldView>(host, frame, isPreview, scene);
    if (view && settings.grown) view->setStartFrame(grownFrame(settings.scene));
    return view;
}
