#include "apps/HeadlessRenderer.h"

#include <unistd.h>

#include <cinttypes>
#include <memory>
#include <string>

#include "apps/ViewChoice.h"
#include "platform/PngWriter.h"
#include "platform/SoftwareGraphicsContext.h"

namespace {

// The seed source handed to the view: the fixed seed when one was given,
// otherwise the system's, reported so that the run can be reproduced.
class SeedSource final : public platform::SecureRandom {
public:
    SeedSource(std::optional<uint64_t> fixed, FILE* err) : fixed_(fixed), err_(err) {}
    uint64_t next64() override {
        if (fixed_) return *fixed_;
        const uint64_t seed = system_.next64();
        std::fprintf(err_, "seed: 0x%016" PRIx64 "\n", seed);
        return seed;
    }

private:
    std::optional<uint64_t> fixed_;
    FILE* err_;
    platform::SystemSecureRandom system_;
};

// A bar on stderr for long runs, only when stderr is a terminal.
class Progress {
public:
    Progress(int64_t total, FILE* err) : total_(total), err_(err), shown_(total >= 300 && isatty(fileno(err))) {}
    ~Progress() {
        if (shown_) std::fputs("\r\033[K", err_);
    }
    void update(int64_t done) {
        if (!shown_) return;
        const int percent = static_cast<int>(done * 100 / total_);
        if (percent == last_) return;
        last_ = percent;
        const int filled = percent * 40 / 100;
        std::fprintf(err_, "\r[%.*s%*s] %3d%%", filled, "########################################", 40 - filled, "", percent);
        std::fflush(err_);
    }

private:
    int64_t total_;
    FILE* err_;
    bool shown_;
    int last_ = -1;
};

bool writeOutput(const std::string& path, const uint32_t* px, int w, int h, FILE* err) {
    if (path.empty()) return true;
    std::string error;
    if (platform::writePng(path, px, w, h, error)) return true;
    std::fprintf(err, "quillmoor-render: %s\n", error.c_str());
    return false;
}

}  // namespace

uint64_t canvasFingerprint(const uint32_t* pixels, size_t count) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (size_t i = 0; i < count; ++i)
        for (int shift = 0; shift < 32; shift += 8) {
            hash ^= (pixels[i] >> shift) & 0xFF;
            hash *= 0x100000001b3ULL;
        }
    return hash;
}

int renderHeadless(const RenderOptions& o, FILE* out, FILE* err) {
    for (const std::string* path : {&o.out, &o.canvasOut}) {
        std::string error;
        if (!path->empty() && !platform::canCreateFile(*path, error)) {
            std::fprintf(err, "quillmoor-render: %s\n", error.c_str());
            return 2;
        }
    }

    SeedSource seeds(o.seed, err);
    platform::Host host;
    host.process = platform::ProcessInfo::current();
    host.secureRandom = &seeds;

    const Size screen = o.canvas.value_or(o.screen);
    platform::Framebuffer framebuffer(o.canvas ? 1 : screen.width, o.canvas ? 1 : screen.height);
    platform::SoftwareGraphicsContext context(framebuffer);
    auto view = makeSaverView(o.scene, host, {0, 0, double(screen.width), double(screen.height)}, false,
                              o.sceneSettings);
    platform::ViewRunner runner(*view, context);

    // With --canvas the scene is built for exactly that canvas and driven directly.
    std::unique_ptr<quillmoor::PixelScene> ownScene;
    std::unique_ptr<quillmoor::Canvas> ownCanvas;
    if (o.canvas) {
        ownScene = view->makeScene(o.canvas->width, o.canvas->height, seeds.next64());
        ownCanvas = std::make_unique<quillmoor::Canvas>(o.canvas->width, o.canvas->height);
    }
    const auto advance = [&](int64_t frame) {
        if (!o.canvas) {
            frame == 0 ? runner.display() : runner.tick();
            return;
        }
        if (frame > 0) ownScene->step();
        const bool needed = frame == o.frames || (o.trace && frame % o.every == 0);
        if (needed) ownScene->draw(*ownCanvas);
    };
    const auto canvas = [&] { return o.canvas ? ownCanvas.get() : view->canvas(); };
    const auto scene = [&] { return o.canvas ? ownScene.get() : view->scene(); };

    Progress progress(o.frames, err);
    for (int64_t frame = 0; frame <= o.frames; ++frame) {
        advance(frame);
        if (o.trace && (frame % o.every == 0 || frame == o.frames)) {
            const quillmoor::Canvas* c = canvas();
            std::fprintf(out, "%" PRId64 " %016" PRIx64 " %016" PRIx64 "\n", frame, canvasFingerprint(c->px.data(), c->px.size()),
                         scene()->rngState());
        }
        progress.update(frame);
    }
    if (std::fflush(out) != 0) return 1;

    const quillmoor::Canvas* c = canvas();
    if (!writeOutput(o.canvasOut, c->px.data(), c->width, c->height, err)) return 2;
    if (!writeOutput(o.out, framebuffer.px.data(), framebuffer.width, framebuffer.height, err)) return 2;
    return 0;
}
