#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "QuillmoorMothwake/PixelSaverView.h"
#include "apps/RenderOptions.h"
#include "platform/ClipWriter.h"
#include "platform/Framebuffer.h"
#include "platform/SoftwareGraphicsContext.h"

// FNV-1a 64 over the canvas bytes in memory order: red, green, blue, X per pixel.
uint64_t canvasFingerprint(const uint32_t* pixels, size_t count);

// The seed source handed to the view: the fixed seed when one was given,
// otherwise the system's, reported so that the run can be reproduced.
class SeedSource final : public platform::SecureRandom {
public:
    SeedSource(std::optional<uint64_t> fixed, FILE* err) : fixed_(fixed), err_(err) {}
    uint64_t next64() override;

private:
    std::optional<uint64_t> fixed_;
    FILE* err_;
    platform::SystemSecureRandom system_;
};

// Pixels someone else owns, row 0 at the top.
struct FrameView {
    const uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
};

// One run as the renderer makes it: the saver view driven on a screen, or
// (with --canvas) a bare scene built for exactly that canvas.
class HeadlessRun {
public:
    HeadlessRun(const RenderOptions& options, FILE* err);

    // The scene's frame drawn first (--from, --grown; else 0): the scene is
    // stepped there without drawing.
    int64_t firstFrame() const { return first_; }
    // The first frame is the first draw; every later frame steps first. A
    // bare scene draws only when asked, since drawing changes nothing in it.
    void advance(int64_t frame, bool draw);

    const quillmoor::Canvas& canvas() const;
    const quillmoor::PixelScene& scene() const;
    FrameView screen() const { return {framebuffer_.px.data(), framebuffer_.width, framebuffer_.height}; }
    // What a clip shows: the canvas of a bare scene, otherwise the screen.
    FrameView clipFrame() const;

private:
    bool bare_;
    SeedSource seeds_;
    platform::Host host_;
    platform::Framebuffer framebuffer_;
    platform::SoftwareGraphicsContext context_;
    std::unique_ptr<quillmoor::PixelSaverView> view_;
    platform::ViewRunner runner_;
    std::unique_ptr<quillmoor::PixelScene> ownScene_;
    std::unique_ptr<quillmoor::Canvas> ownCanvas_;
    int64_t first_ = 0;
};

// Opens a clip writer; the renderer is handed one so that only the program
// that writes clips links the encoders.
using ClipOpener = std::function<std::unique_ptr<platform::ClipWriter>(const std::string& path, int width, int height,
                                                                       std::string& error)>;

// Runs the saver without a display as the options say: traces to out,
// messages and progress to err. Returns the process exit status.
int renderHeadless(const RenderOptions& options, FILE* out, FILE* err, const ClipOpener& openClip = nullptr);
