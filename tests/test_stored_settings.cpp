// The settings as the Windows saver keeps them between runs: the values read
// back into settings, the ones it cannot take left at their defaults, and the
// speed slider of its settings dialog.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/StoredSettings.h"

using quillmoor::Animals;

namespace {

SaverSettings withSpeed(Speed speed) {
    SaverSettings settings;
    settings.speed = speed;
    return settings;
}

}  // namespace

TEST(StoredSettings, WhatIsWrittenReadsBackAsTheSameSettings) {
    SaverSettings chosen;
    chosen.scene = "skyline";
    chosen.speed = Speed{2'500'000};
    chosen.sceneSettings.animal = Animals::Species::fox;
    chosen.showFps = true;
    chosen.seed = 99;  // never kept
    const StoredValues values = storedValuesOf(chosen);
    EXPECT_EQ(values, (StoredValues{{"Scene", "skyline"}, {"Speed", "2.5"}, {"Animal", "fox"}, {"ShowFps", 1u}}));

    const StoredRead read = readStoredSettings(values);
    EXPECT_TRUE(read.ignored.empty());
    EXPECT_EQ(read.settings.scene, "skyline");
    EXPECT_EQ(read.settings.speed, Speed{2'500'000});
    EXPECT_EQ(read.settings.sceneSettings.animal, Animals::Species::fox);
    EXPECT_TRUE(read.settings.showFps);
    EXPECT_FALSE(read.settings.seed);
    SaverSettings panning;
    panning.sceneSettings.panFrames = 300;
    EXPECT_EQ(storedValuesOf(panning), StoredValues{}) << "frames per pan are for the command line alone";

    EXPECT_TRUE(storedValuesOf(SaverSettings{}).empty()) << "the defaults are kept as no values at all";
    for (const char* animal : {"moose", "bear"})
        EXPECT_EQ(readStoredSettings({{"Animal", animal}}).settings.sceneSettings.animal, Animals::species(animal));
}

TEST(StoredSettings, AValueOfTheWrongKindOrOutOfRangeKeepsThatSettingsDefault) {
    const std::vector<std::pair<StoredValues, std::string>> cases = {
        {{{"Scene", 1u}}, "ignoring stored Scene: a number where text belongs"},
        {{{"Scene", "moon"}}, "ignoring stored Scene: unknown scene \"moon\" (forest, skyline)"},
        {{{"Scene", "Skyline"}}, "ignoring stored Scene: unknown scene \"Skyline\" (forest, skyline)"},
        {{{"Speed", 2u}}, "ignoring stored Speed: a number where text belongs"},
        {{{"Speed", "fast"}}, "ignoring stored Speed: bad speed \"fast\" (0.01 ... 1000)"},
        {{{"Speed", "0.2"}}, "ignoring stored Speed: speed 0.2 outside 0.25 ... 30"},
        {{{"Speed", "30.5"}}, "ignoring stored Speed: speed 30.5 outside 0.25 ... 30"},
        {{{"Animal", "wolf"}}, "ignoring stored Animal: unknown animal \"wolf\" (moose, bear, fox)"},
        {{{"Animal", ""}}, "ignoring stored Animal: unknown animal \"\" (moose, bear, fox)"},
        {{{"ShowFps", 2u}}, "ignoring stored ShowFps: bad fps \"2\" (1 or 0)"},
        {{{"ShowFps", "1"}}, "ignoring stored ShowFps: text where a number belongs"},
    };
    for (const auto& [values, line] : cases) {
        const StoredRead read = readStoredSettings(values);
        EXPECT_EQ(read.ignored, std::vector<std::string>{line});
        EXPECT_EQ(storedValuesOf(read.settings), StoredValues{}) << line;
    }

    // One bad value leaves the others as they are; unknown names are passed over.
    const StoredRead mixed = readStoredSettings({{"Scene", "skyline"}, {"Speed", "50"}, {"ShowFps", 1u}, {"PanFrames", 300u}});
    EXPECT_EQ(mixed.ignored.size(), 1u);
    EXPECT_EQ(storedValuesOf(mixed.settings), (StoredValues{{"Scene", "skyline"}, {"ShowFps", 1u}}));
    EXPECT_EQ(readStoredSettings({{"Speed", "0.25"}}).settings.speed, slowestDialogSpeed);
    EXPECT_EQ(readStoredSettings({{"Speed", "30"}}).settings.speed, fastestDialogSpeed);
}

TEST(StoredSettings, TheSliderRunsFromAQuarterThroughTheOwnPaceInTheMiddleToThirtyTimes) {
    EXPECT_EQ(speedAtSlider(0), slowestDialogSpeed);
    EXPECT_EQ(speedAtSlider(speedSliderPositions / 2), std::nullopt) << "the middle: each scene's own pace";
    EXPECT_EQ(speedAtSlider(speedSliderPositions), fastestDialogSpeed);
    EXPECT_EQ(speedSliderPosition(std::nullopt), speedSliderPositions / 2);
    int64_t previous = 0;
    for (int position = 0; position <= speedSliderPositions; ++position) {
        const Speed speed = speedAtSlider(position).value_or(ownSpeed);
        EXPECT_GT(speed.millionths, previous) << "faster to the right, at " << position;
        EXPECT_EQ(speedSliderPosition(speed), position);
        // What the dialog keeps reads back as the same speed.
        if (position != speedSliderPositions / 2) {
            EXPECT_EQ(readStoredSettings(storedValuesOf(withSpeed(speed))).settings.speed, speed);
        }
        previous = speed.millionths;
    }
    EXPECT_EQ(speedSliderPosition(Speed{2'000'000}), speedSliderPositions / 2 + 3) << "the nearest position: 1.87";
    EXPECT_EQ(speedSliderPosition(Speed{10'000}), 0) << "values the slider does not offer go to its nearer end";
    EXPECT_EQ(speedSliderPosition(Speed{1'000'000'000}), speedSliderPositions);
}
