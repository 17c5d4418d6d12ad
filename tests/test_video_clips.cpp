// Clips from the renderer, decoded with libwebp and libavcodec and compared
// with the frames the renderer itself makes.
#include <gtest/gtest.h>
#include <webp/demux.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "apps/HeadlessRenderer.h"
#include "apps/RenderOptions.h"
#include "cli_support.h"
#include "platform/ClipWriter.h"

using namespace cli;

namespace {

struct Frame {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;  // 3 bytes a pixel
};

// The renderer's own frames `from` ... `from + count - 1` of a clip: the
// canvas of a bare scene or the screen, scaled up by a whole number.
std::vector<Frame> expectedFrames(const std::string& args, int64_t from, int64_t count, int scale) {
    std::string error;
    std::vector<std::string> words;
    for (size_t at = 0, next; at < args.size(); at = next + 1) {
        next = std::min(args.find(' ', at), args.size());
        words.push_back(args.substr(at, next - at));
    }
    const auto options = parseRenderOptions(words, error);
    EXPECT_TRUE(options) << error;
    HeadlessRun run(*options, stderr);
    std::vector<Frame> frames;
    for (int64_t frame = 0; frame < from + count; ++frame) {
        run.advance(frame, true);
        if (frame < from) continue;
        const FrameView v = run.clipFrame();
        Frame f{v.width * scale, v.height * scale, {}};
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x) {
                const uint32_t p = v.pixels[static_cast<size_t>(y / scale) * static_cast<size_t>(v.width) + static_cast<size_t>(x / scale)];
                f.rgb.insert(f.rgb.end(), {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16)});
            }
        frames.push_back(std::move(f));
    }
    return frames;
}

struct WebpClip {
    WebPAnimInfo info{};
    std::vector<Frame> frames;
    std::vector<int> timestamps;
};

WebpClip decodeWebp(const fs::path& path) {
    const std::string bytes = slurp(path);
    const WebPData data{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
    WebPAnimDecoderOptions options;
    WebPAnimDecoderOptionsInit(&options);
    options.color_mode = MODE_RGBA;
    WebpClip clip;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    if (!decoder) return clip;
    WebPAnimDecoderGetInfo(decoder, &clip.info);
    uint8_t* rgba = nullptr;
    int timestamp = 0;
    while (WebPAnimDecoderHasMoreFrames(decoder) && WebPAnimDecoderGetNext(decoder, &rgba, &timestamp)) {
        Frame f{int(clip.info.canvas_width), int(clip.info.canvas_height), {}};
        for (size_t i = 0; i < size_t(f.width) * size_t(f.height); ++i) f.rgb.insert(f.rgb.end(), rgba + i * 4, rgba + i * 4 + 3);
        clip.frames.push_back(std::move(f));
        clip.timestamps.push_back(timestamp);
    }
    WebPAnimDecoderDelete(decoder);
    return clip;
}

struct Mp4Clip {
    AVRational frameRate{0, 1};
    std::vector<Frame> frames;
};

// Decodes every frame and turns it back into RGB the way players do (BT.709, limited range).
Mp4Clip decodeMp4(const fs::path& path) {
    Mp4Clip clip;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return clip;
    avformat_find_stream_info(format, nullptr);
    const AVStream* stream = format->streams[0];
    clip.frameRate = stream->avg_frame_rate;
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(context, stream->codecpar);
    avcodec_open2(context, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    SwsContext* toRgb = nullptr;
    const auto drain = [&] {
        while (avcodec_receive_frame(context, frame) == 0) {
            toRgb = sws_getCachedContext(toRgb, frame->width, frame->height, AVPixelFormat(frame->format), frame->width, frame->height,
                                         AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr);
            const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(toRgb, bt709, 0, bt709, 1, 0, 1 << 16, 1 << 16);
            Frame f{frame->width, frame->height, std::vector<uint8_t>(size_t(frame->width) * size_t(frame->height) * 3)};
            uint8_t* planes[1] = {f.rgb.data()};
            const int strides[1] = {f.width * 3};
            sws_scale(toRgb, frame->data, frame->linesize, 0, frame->height, planes, strides);
            clip.frames.push_back(std::move(f));
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        avcodec_send_packet(context, packet);
        av_packet_unref(packet);
        drain();
    }
    avcodec_send_packet(context, nullptr);
    drain();
    sws_freeContext(toRgb);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    avformat_close_input(&format);
    return clip;
}

double psnr(const Frame& a, const Frame& b) {
    double sum = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) sum += std::pow(double(a.rgb[i]) - double(b.rgb[i]), 2);
    const double mse = sum / double(a.rgb.size());
    return mse == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 / mse);
}

// The names of the top-level boxes of an MP4 file, in order.
std::vector<std::string> topLevelBoxes(const std::string& bytes) {
    std::vector<std::string> names;
    for (size_t at = 0; at + 8 <= bytes.size();) {
        uint64_t size = 0;
        for (int i = 0; i < 4; ++i) size = size << 8 | uint8_t(bytes[at + size_t(i)]);
        names.push_back(bytes.substr(at + 4, 4));
        if (size < 8) break;
        at += size;
    }
    return names;
}

using VideoClips = TempDirTest;

}  // namespace

TEST_F(VideoClips, WebpFramesAreTheRenderersOwnExactly) {
    const struct {
        std::string args;
        int64_t from, frames;
    } cases[] = {{"--canvas 96x54 --seed 7", 40, 30}, {"--screen 320x180 --seed 3 --scene skyline", 0, 4}};
    for (const auto& c : cases) {
        const fs::path clip = dir / "clip.webp";
        const std::string args = c.args + " --frames " + std::to_string(c.frames);
        const Outcome run = render(args + " --from " + std::to_string(c.from) + " --video " + clip.string());
        ASSERT_EQ(run.status, 0) << run.err;
        const WebpClip decoded = decodeWebp(clip);
        EXPECT_EQ(decoded.info.loop_count, 0u) << c.args;
        const std::vector<Frame> expected = expectedFrames(args, c.from, c.frames, 1);
        // A frame identical to the one before lengthens it instead of being
        // stored, so each decoded frame stands for the frames that end
        // within its time, each at its own 1/30 s rounded to the millisecond.
        size_t shown = 0;
        for (size_t i = 0; i < expected.size(); ++i) {
            const int end = int((int64_t(i + 1) * 1000 + 15) / 30);
            while (shown < decoded.frames.size() && decoded.timestamps[shown] < end) ++shown;
            ASSERT_LT(shown, decoded.frames.size()) << c.args << " frame " << i;
            EXPECT_EQ(decoded.frames[shown].width, expected[i].width);
            EXPECT_TRUE(decoded.frames[shown].rgb == expected[i].rgb) << c.args << " frame " << i;
        }
        EXPECT_EQ(shown + 1, decoded.frames.size()) << c.args;
        EXPECT_EQ(decoded.timestamps.back(), int((c.frames * 1000 + 15) / 30)) << c.args;
    }
}

TEST_F(VideoClips, Mp4IsScaledUpAndCloseToTheRenderersFrames) {
    const struct {
        std::string args;
        int64_t from, frames;
        int scale, width, height;
    } cases[] = {{"--screen 480x270 --seed 3", 20, 12, 4, 1920, 1080}, {"--canvas 96x54 --seed 7", 0, 3, 20, 1920, 1080}};
    for (const auto& c : cases) {
        const fs::path clip = dir / "clip.mp4";
        const std::string args = c.args + " --frames " + std::to_string(c.frames);
        const Outcome run = render(args + " --from " + std::to_string(c.from) + " --video " + clip.string());
        ASSERT_EQ(run.status, 0) << run.err;
        // The index comes first, so that players can start before the download ends.
        const std::vector<std::string> boxes = topLevelBoxes(slurp(clip));
        ASSERT_GE(boxes.size(), 3u);
        EXPECT_EQ(boxes[1], "moov") << c.args;

        const Mp4Clip decoded = decodeMp4(clip);
        EXPECT_EQ(decoded.frameRate.num, 30 * decoded.frameRate.den) << c.args;
        const std::vector<Frame> expected = expectedFrames(args, c.from, c.frames, c.scale);
        ASSERT_EQ(decoded.frames.size(), expected.size()) << c.args;
        for (size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(decoded.frames[i].width, c.width);
            ASSERT_EQ(decoded.frames[i].height, c.height);
            EXPECT_GE(psnr(decoded.frames[i], expected[i]), 40.0) << c.args << " frame " << i;
        }
    }
}

TEST_F(VideoClips, Mp4KeepsTheColourOfSinglePixelsAt1080Rows) {
    // Pink and blue single pixels on a night sky, at even and odd places,
    // in a frame already 1080 rows high: each must keep a chroma sample of
    // its own rather than share one with the sky around it.
    constexpr int width = 64, height = 1080;
    constexpr uint32_t sky = 0xFF301010, dots[] = {0xFFB469FF, 0xFFFF7850};
    std::vector<uint32_t> pixels(size_t(width) * height, sky);
    std::vector<std::pair<int, int>> placed;
    for (int y = 5; y < height; y += 7)
        for (int x = 3 + y % 2; x < width; x += 6) {
            pixels[size_t(y) * width + size_t(x)] = dots[placed.size() % 2];
            placed.emplace_back(x, y);
        }
    const fs::path path = dir / "dots.mp4";
    std::string error;
    auto clip = platform::openClipWriter(path.string(), width, height, error);
    ASSERT_TRUE(clip) << error;
    ASSERT_TRUE(clip->addFrame(pixels.data()) && clip->finish()) << clip->error();

    const Mp4Clip decoded = decodeMp4(path);
    ASSERT_EQ(decoded.frames.size(), 1u);
    const Frame& f = decoded.frames[0];
    ASSERT_EQ(f.width % width, 0);
    const int scale = f.width / width;
    EXPECT_EQ(scale % 2, 0) << "4:2:0 needs every pixel to cover whole 2 x 2 chroma blocks";
    ASSERT_EQ(f.height, height * scale);
    // The colour of each dot, averaged over the pixels it became.
    int worst = 0;
    for (size_t i = 0; i < placed.size(); ++i) {
        int sum[3] = {};
        for (int dy = 0; dy < scale; ++dy)
            for (int dx = 0; dx < scale; ++dx) {
                const size_t y = size_t(placed[i].second * scale + dy), x = size_t(placed[i].first * scale + dx);
                for (int c = 0; c < 3; ++c) sum[c] += f.rgb[(y * size_t(f.width) + x) * 3 + size_t(c)];
            }
        for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(sum[c] / (scale * scale) - int((dots[i % 2] >> (8 * c)) & 0xFF)));
    }
    EXPECT_LE(worst, 24) << "the largest error of a channel of a dot's colour";
}
