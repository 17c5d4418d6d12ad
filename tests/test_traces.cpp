// Whole runs of both scenes, pinned frame by frame: the canvas fingerprint and
// the generator state at chosen frames. Any change in behaviour, however
// small, shows here; these values change only when behaviour is meant to.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "apps/HeadlessRenderer.h"
#include "settings/SaverSettings.h"

namespace {

struct Trace {
    const char* scene;
    int width, height;
    uint64_t seed;
    const char* panFrames;  // MOTHWAKES_PAN_FRAMES, or null
    const char* animal;     // MOTHWAKES_ANIMAL, or null
    int every;
    std::vector<std::string> lines;  // frames 0, every, 2 * every, ...
};

const Trace traces[] = {
    {"forest", 160, 90, 7, "1", nullptr, 500,
     {"0 2c188b522acd3139 ad8544af11857fa0", "500 067f027fff817def 4e80d73836f81d83",
      "1000 c2ec47a21469c799 da5e30754b220b71", "1500 5198cf80c57ebb35 fc189c49571c9487",
      "2000 706de06577c716dc 340631ce291a3dc6", "2500 2c320e8477c63bf5 74f956d6fe0ae72f",
      "3000 f463e7480e3a5ddc b289fc25ae680cbf"}},
    {"forest", 200, 112, 123, "1", "moose", 500,
     {"0 d872dd5964af8aeb 06bf02ba7e966ff9", "500 18b8708df53dbb38 d7c5ce8fb7c68b12",
      "1000 a9d38909627f0ccb 61779f60d49a0973", "1500 3eec76916402407c 20d0b6bbf80dfe62",
      "2000 658c5916bbac1e01 8c7c708f3c7967ad"}},
    {"forest", 97, 61, 0xdeadbeef, nullptr, nullptr, 500,
     {"0 aa97e230a3a89d95 0c78c1cb8bfac2ce", "500 d2e55030266f27be 877b929348f4e61b",
      "1000 2698991c3fb50651 9271aae07f8d6625", "1500 5641a14aeeb59370 f0ec1740312f4ac2",
      "2000 213a682d1d647a3b 2eb46cec897a41b5", "2500 6a96dc220bce548b 908d03ef2300a11c"}},
    {"forest", 321, 181, 5, "3", "fox", 500,
     {"0 5584048512bf825b 98c9d0da4e019da7", "500 c6b4f8de4274f8fe 347f1c571848f503",
      "1000 c4d3bc031a11837a 06412149e5c30ad5", "1500 90abb5ffe2f173d2 7e0adfce961f17bf",
      "2000 bd4011b39e4b69c0 a605e2b7d8ef7cd6"}},
    {"forest", 960, 540, 42, nullptr, nullptr, 40,
     {"0 351798aea72d5cf9 2a32e8ca833e4b9b", "40 53ba9e65e54b84c3 c2ae5a00d8faffca"}},
    {"skyline", 480, 270, 9, nullptr, nullptr, 600,
     {"0 8adb11da148284a5 6b177e86d248c022", "600 c787743b73326d85 b5ccafd21861ad2e",
      "1200 f2af2708aa1767dd d7ca23a6f47593af", "1800 3b3a88d357955fcf 50aa16313377598d"}},
    {"skyline", 120, 68, 3, "1", nullptr, 1000,
     {"0 a0252ee1ae3ed965 3eb3d899f50ff9b4", "1000 948ca4524f6fb8a5 65a72832f23267bf",
      "2000 39e69a0614b2eb3b dbc50d91cce3e159"}},
};

void setOrClear(const char* name, const char* value) {
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

std::string traceLine(int64_t frame, const quillmoor::Canvas& canvas, const quillmoor::PixelScene& scene) {
    char line[64];
    std::snprintf(line, sizeof line, "%" PRId64 " %016" PRIx64 " %016" PRIx64, frame,
                  canvasFingerprint(canvas.px.data(), canvas.px.size()), scene.rngState());
    return line;
}

}  // namespace

TEST(Traces, WholeRunsStayExactlyTheSame) {
    for (const Trace& t : traces) {
        setOrClear("MOTHWAKES_PAN_FRAMES", t.panFrames);
        setOrClear("MOTHWAKES_ANIMAL", t.animal);
        platform::Host host;
        SaverSettings settings;
        settings.scene = t.scene;
        auto view = makeSaverView(settings, host, {0, 0, double(t.width), double(t.height)}, false);
        EXPECT_EQ(view->targetRows(), std::string(t.scene) == "forest" ? 450 : 225);
        auto scene = view->makeScene(t.width, t.height, t.seed);
        quillmoor::Canvas canvas(t.width, t.height);
        const int64_t last = static_cast<int64_t>(t.lines.size() - 1) * t.every;
        std::vector<std::string> seen;
        for (int64_t frame = 0; frame <= last; ++frame) {
            if (frame > 0) scene->step();
            if (frame % t.every != 0) continue;
            scene->draw(canvas);
            seen.push_back(traceLine(frame, canvas, *scene));
        }
        EXPECT_EQ(seen, t.lines) << t.scene << " " << t.width << "x" << t.height << " seed " << t.seed;
    }
    ::unsetenv("MOTHWAKES_PAN_FRAMES");
    ::unsetenv("MOTHWAKES_ANIMAL");
}
