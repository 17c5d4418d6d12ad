#include "frontends/web/WebSaver.h"

#include <cinttypes>
#include <cstdio>
#include <limits>
#include <new>
#include <stdexcept>

#include "QuillmoorMothwake/PixelSaverView.h"

namespace {

// Animation frames come at the display's rate, a little early or late. A
// frame that is due within a quarter interval is drawn now: waiting for the
// next animation frame would make it late by a whole display refresh.
constexpr double earlyShare = 0.25;

// Whether the pixels of a width x height framebuffer can be counted in this
// build's 32-bit size_t, in bytes: counts beyond it would wrap around to a
// buffer too small, so such sizes are out of memory without asking.
bool addressable(int width, int height) {
    return uint64_t(width) * uint64_t(height) <= std::numeric_limits<size_t>::max() / sizeof(uint32_t);
}

}  // namespace

WebSaver::WebSaver(WebSettings settings) : settings_(std::move(settings)), seeds_(settings_.saver.seed) {
    host_.process = platform::ProcessInfo::current();
    host_.secureRandom = &seeds_;
}

void WebSaver::makeSurface(int width, int height) {
    auto view = makeSaverView(settings_.saver, host_, {0, 0, double(width), double(height)}, false);
    if (settings_.from) view->setStartFrame(*settings_.from);
    surface_ = std::make_unique<platform::SaverSurface>(std::move(view), width, height);
    surface_->useOwnFramebuffer(platform::ChannelOrder::rgbx);
    if (settings_.frames) surface_->holdAfter(*settings_.frames);
    drawnBySurface_ = 0;
}

// Runs a step that may allocate; a failed allocation drops the surface.
template <class Step>
WebSaver::Outcome WebSaver::unlessOutOfMemory(Step step) {
    try {
        return step() ? Outcome::drawn : Outcome::nothingNew;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    surface_.reset();
    return Outcome::outOfMemory;
}

WebSaver::Outcome WebSaver::resize(int width, int height, Clock::time_point now) {
    if (width < 1 || height < 1) return Outcome::nothingNew;
    if (surface_ && surface_->width() == width && surface_->height() == height) return Outcome::nothingNew;
    return unlessOutOfMemory([&] {
        if (!addressable(width, height)) throw std::bad_alloc();
        resizeSurface(width, height, now);
        return true;
    });
}

void WebSaver::resizeSurface(int width, int height, Clock::time_point now) {
    // A held picture is a run of so many frames: every size gets its own run.
    if (!surface_ || settings_.frames) {
        makeSurface(width, height);
    } else {
        surface_->resize(width, height);
        surface_->useOwnFramebuffer(platform::ChannelOrder::rgbx);
    }
    const auto interval = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(surface_->view().animationTimeInterval()));
    if (!clock_) clock_.emplace(interval, now);
    draw();
    clock_->frameDone(now);
}

WebSaver::Outcome WebSaver::animationFrame(Clock::time_point now) {
    if (!surface_) return Outcome::nothingNew;
    return unlessOutOfMemory([&] { return frameIfDue(now); });
}

bool WebSaver::frameIfDue(Clock::time_point now) {
    const auto early = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(surface_->view().animationTimeInterval() * earlyShare));
    if (!clock_->due(now + early)) return false;
    const bool drew = draw();
    clock_->frameDone(now);
    return drew;
}

bool WebSaver::draw() {
    const auto started = Clock::now();
    const std::string* overlay = settings_.saver.showFps ? &stats_.text() : nullptr;
    if (!surface_->renderFrame(overlay)) return false;
    ++drawn_;
    ++drawnBySurface_;
    stats_.frameDone(started, Clock::now());
    reportCanvas();
    return true;
}

// Every new canvas size is logged with the seed of its scene, so that a
// picture can be had again with ?seed=; so is a new scale of the same scene.
void WebSaver::reportCanvas() {
    const quillmoor::PixelSaverView* v = view();
    if (!v || !v->canvas()) return;
    const int w = v->canvas()->width, h = v->canvas()->height;
    if (w == reportedWidth_ && h == reportedHeight_ && v->pixelScale() == reportedScale_) return;
    reportedWidth_ = w;
    reportedHeight_ = h;
    reportedScale_ = v->pixelScale();
    std::printf("canvas %dx%d scale %g seed 0x%016" PRIx64 "\n", w, h, v->pixelScale(), seeds_.last());
}

const platform::Framebuffer* WebSaver::pixels() const { return surface_ ? &surface_->ownFramebuffer() : nullptr; }

const platform::Region* WebSaver::damage() const { return surface_ ? &surface_->damage() : nullptr; }

bool WebSaver::held() const { return surface_ && settings_.frames && drawnBySurface_ > *settings_.frames; }

const quillmoor::PixelSaverView* WebSaver::view() const {
    return surface_ ? dynamic_cast<const quillmoor::PixelSaverView*>(&surface_->view()) : nullptr;
}
