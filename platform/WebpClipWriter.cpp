#include "platform/WebpClipWriter.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <cstddef>
#include <cstdint>

#include "platform/Framebuffer.h"

namespace platform {

namespace {

// Effort of the lossless coder. Method 0 made a 1080p screen clip twenty
// times larger (4.4 MB against 0.2 MB a second) at about the same speed;
// method 1 with the least quality effort is the cheapest setting that
// compresses the scaled pixels and scanlines well (see bench_clips).
constexpr int webpMethod = 1;
constexpr float webpQuality = 0;

class WebpClipWriter final : public ClipWriter {
public:
    WebpClipWriter(std::unique_ptr<OutputFile> file, WebPAnimEncoder* encoder, int width, int height)
        : file_(std::move(file)), encoder_(encoder), width_(width), height_(height) {
        WebPPictureInit(&picture_);
        picture_.use_argb = 1;
        picture_.width = width;
        picture_.height = height;
        WebPConfigInit(&config_);
        config_.lossless = 1;
        config_.method = webpMethod;
        config_.quality = webpQuality;
    }
    ~WebpClipWriter() override {
        WebPPictureFree(&picture_);
        WebPAnimEncoderDelete(encoder_);
    }
    WebpClipWriter(const WebpClipWriter&) = delete;
    WebpClipWriter& operator=(const WebpClipWriter&) = delete;

    bool addFrame(const uint32_t* pixels) override {
        if (frames_ >= maxFrames) return failed("too many frames for its millisecond timestamps");
        if (!picture_.argb && !WebPPictureAlloc(&picture_)) return failed("out of memory");
        for (int y = 0; y < height_; ++y) {
            const uint32_t* from = pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
            uint32_t* to = picture_.argb + static_cast<std::size_t>(y) * static_cast<std::size_t>(picture_.argb_stride);
            for (int x = 0; x < width_; ++x) to[x] = swapRedBlue(from[x]) | 0xFF000000u;
        }
        if (!WebPAnimEncoderAdd(encoder_, &picture_, timestamp(frames_), &config_)) return failed(WebPAnimEncoderGetError(encoder_));
        ++frames_;
        return true;
    }

    bool finish() override {
        WebPData data;
        WebPDataInit(&data);
        const bool assembled =
            WebPAnimEncoderAdd(encoder_, nullptr, timestamp(frames_), nullptr) && WebPAnimEncoderAssemble(encoder_, &data);
        if (!assembled) return failed(WebPAnimEncoderGetError(encoder_));
        const bool written = file_->write(data.bytes, data.size) && file_->commit();
        WebPDataClear(&data);
        return written;
    }

    std::string error() const override { return file_->error(); }

private:
    // Milliseconds, rounded, so that frame lengths alternate 33 and 34 ms
    // and the clip keeps 30 frames a second over any length.
    static constexpr int64_t maxFrames = int64_t{INT32_MAX} / 1000 * clipFramesPerSecond - 1;
    static int timestamp(int64_t frame) {
        return static_cast<int>((frame * 1000 + clipFramesPerSecond / 2) / clipFramesPerSecond);
    }

    bool failed(const char* reason) {
        file_->fail(std::string("WebP encoder: ") + reason);
        return false;
    }

    std::unique_ptr<OutputFile> file_;
    WebPAnimEncoder* encoder_;
    WebPPicture picture_;
    WebPConfig config_;
    int width_;
    int height_;
    int64_t frames_ = 0;
};

}  // namespace

std::unique_ptr<ClipWriter> openWebpClip(std::unique_ptr<OutputFile> file, int width, int height, std::string& error) {
    if (width > WEBP_MAX_DIMENSION || height > WEBP_MAX_DIMENSION) {
        file->fail("WebP frames are at most " + std::to_string(WEBP_MAX_DIMENSION) + " pixels a side");
        error = file->error();
        return nullptr;
    }
    WebPAnimEncoderOptions options;
    WebPAnimEncoderOptionsInit(&options);
    options.anim_params.loop_count = 0;  // forever
    options.anim_params.bgcolor = 0xFF000000u;
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(width, height, &options);
    if (!encoder) {
        file->fail("WebP encoder: out of memory");
        error = file->error();
        return nullptr;
    }
    return std::make_unique<WebpClipWriter>(std::move(file), encoder, width, height);
}

}  // namespace platform
