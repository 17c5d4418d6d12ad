// The settings as the Windows saver keeps them between runs: the values read
// back into settings, the ones it cannot take left at their defaults, and the
// scroll-speed slider of its settings dialog.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/StoredSettings.h"

using quillmoor::Animals;

TEST(StoredSettings, WhatIsWrittenReadsBackAsTheSameSettings) {
    SaverSettings chosen;
    chosen.scene = "skyline";
    chosen.sceneSettings.panFrames = 300;
    chosen.sceneSettings.animal = Animals::Species::fox;
    chosen.showFps = true;
    chosen.seed = 99;  // never kept
    const StoredValues values = storedValuesOf(chosen);
    EXPECT_EQ(values, (StoredValues{{"Scene", "skyline"}, {"PanFrames", 300u}, {"Animal", "fox"}, {"ShowFps", 1u}}));

    const StoredRead read = readStoredSettings(values);
    EXPECT_TRUE(read.ignored.empty());
    EXPECT_EQ(read.settings.scene, "skyline");
    EXPECT_EQ(read.settings.sceneSettings.panFrames, 300);
    EXPECT_EQ(read.settings.sceneSettings.animal, Animals::Species::fox);
    EXPECT_TRUE(read.settings.showFps);
    EXPECT_FALSE(read.settings.seed);

    EXPECT_TRUE(storedValuesOf(SaverSettings{}).empty()) << "the defaults are kept as no values at all";
    for (const char* animal : {"moose", "bear"})
        EXPECT_EQ(readStoredSettings({{"Animal", animal}}).settings.sceneSettings.animal, Animals::species(animal));
}

TEST(StoredSettings, AValueOfTheWrongKindOrOutOfRangeKeepsThatSettingsDefault) {
    const std::vector<std::pair<StoredValues, std::string>> cases = {
        {{{"Scene", 1u}}, "ignoring stored Scene: a number where text belongs"},
        {{{"Scene", "moon"}}, "ignoring stored Scene: unknown scene \"moon\" (forest, skyline)"},
        {{{"Scene", "Skyline"}}, "ignoring stored Scene: unknown scene \"Skyline\" (forest, skyline)"},
        {{{"PanFrames", "300"}}, "ignoring stored PanFrames: text where a number belongs"},
        {{{"PanFrames", 0u}}, "ignoring stored PanFrames: bad frames per pan \"0\" (1 ... 1000000000)"},
        {{{"PanFrames", 5u}}, "ignoring stored PanFrames: scroll speed 5 outside 10 ... 1800"},
        {{{"PanFrames", 1801u}}, "ignoring stored PanFrames: scroll speed 1801 outside 10 ... 1800"},
        {{{"PanFrames", 4294967295u}}, "ignoring stored PanFrames: bad frames per pan \"4294967295\" (1 ... 1000000000)"},
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
    const StoredRead mixed = readStoredSettings({{"Scene", "skyline"}, {"PanFrames", 5u}, {"ShowFps", 1u}, {"Colour", "red"}});
    EXPECT_EQ(mixed.ignored.size(), 1u);
    EXPECT_EQ(storedValuesOf(mixed.settings), (StoredValues{{"Scene", "skyline"}, {"ShowFps", 1u}}));
    EXPECT_EQ(readStoredSettings({{"PanFrames", 10u}}).settings.sceneSettings.panFrames, 10);
    EXPECT_EQ(readStoredSettings({{"PanFrames", 1800u}}).settings.sceneSettings.panFrames, 1800);
}

TEST(StoredSettings, TheSliderRunsFromEachScenesOwnPaceToTenFramesPerPan) {
    EXPECT_EQ(panSliderPosition(std::nullopt), 10) << "no value: the slow end";
    EXPECT_EQ(panFramesAtSlider(10), std::nullopt);
    EXPECT_EQ(panSliderPosition(10), 1800);
    EXPECT_EQ(panFramesAtSlider(1800), 10);
    int64_t previous = slowestDialogPanFrames;
    for (int position = 11; position <= 1800; ++position) {
        const auto frames = panFramesAtSlider(position);
        ASSERT_TRUE(frames) << position;
        EXPECT_LT(*frames, previous) << "faster to the right, at " << position;
        EXPECT_EQ(panSliderPosition(frames), position);
        previous = *frames;
    }
    EXPECT_EQ(panSliderPosition(5), 1800) << "values the slider does not offer go to its nearer end";
    EXPECT_EQ(panSliderPosition(100000), 10);
}
