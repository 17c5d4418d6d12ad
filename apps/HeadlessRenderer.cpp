#include "apps/HeadlessRenderer.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/OutputFile.h"
#include "platform/PngWriter.h"
#include "settings/SaverSettings.h"

namespace {

// A bar on stderr for long runs, with an estimate of the time left, only
// when stderr is a terminal.
class Progress {
public:
    Progress(int64_t total, FILE* err)
        : total_(total), err_(err), shown_(total >= 300 && isatty(fileno(err))), start_(std::chrono::steady_clock::now()) {}
    ~Progress() { clear(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void update(int64_t done) {
        if (!shown_) return;
        const int percent = static_cast<int>(done * 100 / total_);
        if (percent == last_) return;
        last_ = percent;
        const int filled = percent * 40 / 100;
        std::fprintf(err_, "\r[%.*s%*s] %3d%%", filled, "########################################", 40 - filled, "", percent);
        if (done > 0 && done < total_) {
            const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
            const auto left = static_cast<int64_t>(elapsed * static_cast<double>(total_ - done) / static_cast<double>(done) + 0.5);
            std::fprintf(err_, "  %" PRId64 ":%02d:%02d left", left / 3600, static_cast<int>(left / 60 % 60), static_cast<int>(left % 60));
        }
        std::fputs("\033[K", err_);
        std::fflush(err_);
    }

    // Takes the bar away, so that a message can take the line.
    void clear() {
        if (shown_) std::fputs("\r\033[K", err_);
        shown_ = false;
    }

private:
    int64_t total_;
    FILE* err_;
    bool shown_;
    std::chrono::steady_clock::time_point start_;
    int last_ = -1;
};

int failed(const std::string& message, FILE* err) {
    std::fprintf(err, "quillmoor-render: %s\n", message.c_str());
    return 2;
}

// Two outputs that are one file would leave only the last one written, so
// every path is followed to where it lands and compared with the others.
bool outputsAreDistinct(const RenderOptions& o, FILE* err) {
    const std::pair<const char*, const std::string*> outputs[] = {{"--canvas-out", &o.canvasOut}, {"--out", &o.out}, {"--video", &o.video}};
    std::vector<std::pair<const char*, platform::OutputTarget>> seen;
    for (const auto& [option, path] : outputs) {
        if (path->empty()) continue;
        // A path that leads nowhere is reported when it is opened.
        const auto target = platform::outputTarget(*path);
        if (!target) continue;
        for (const auto& [other, earlier] : seen)
            if (earlier.sameFileAs(*target)) {
                failed("cannot write " + *path + ": " + other + " and " + option + " name the same file", err);
                return false;
            }
        seen.emplace_back(option, *target);
    }
    return true;
}

// Opens an output before anything is rendered, so that a path that cannot be
// written fails at once.
bool openOutput(const std::string& path, std::unique_ptr<platform::OutputFile>& file, FILE* err) {
    if (path.empty()) return true;
    std::string error;
    file = platform::OutputFile::open(path, error);
    if (!file) failed(error, err);
    return file != nullptr;
}

bool openClip(const RenderOptions& o, const ClipOpener& opener, std::unique_ptr<platform::ClipWriter>& clip, FILE* err) {
    if (o.video.empty()) return true;
    if (!opener) {
        failed("cannot write " + o.video + ": this program writes no clips", err);
        return false;
    }
    const Size size = o.canvas.value_or(o.screen);
    std::string error;
    clip = opener(o.video, size.width, size.height, error);
    if (!clip) failed(error, err);
    return clip != nullptr;
}

bool writePng(platform::OutputFile* file, FrameView frame, FILE* err) {
    if (!file || (platform::writePng(*file, frame.pixels, frame.width, frame.height) && file->commit())) return true;
    failed(file->error(), err);
    return false;
}

struct Outputs {
    platform::OutputFile* canvas;
    platform::OutputFile* screen;
    platform::ClipWriter* clip;
};

int render(const RenderOptions& o, HeadlessRun& run, Outputs outputs, FILE* out, FILE* err) {
    const int64_t first = run.firstFrame(), last = o.lastFrame(first);
    Progress progress(last, err);
    for (int64_t frame = first; frame <= last; ++frame) {
        const bool traced = o.trace && (frame % o.every == 0 || frame == last);
        const bool filmed = outputs.clip != nullptr;
        run.advance(frame, traced || filmed || frame == last);
        if (traced) {
            const quillmoor::Canvas& c = run.canvas();
            if (std::fprintf(out, "%" PRId64 " %016" PRIx64 " %016" PRIx64 "\n", frame, canvasFingerprint(c.px.data(), c.px.size()),
                             run.scene().rngState()) < 0) {
                const int cause = errno;
                progress.clear();
                return failed(std::string("cannot write the trace: ") + std::strerror(cause), err);
            }
        }
        if (filmed && !outputs.clip->addFrame(run.clipFrame().pixels)) {
            progress.clear();
            return failed(outputs.clip->error(), err);
        }
        progress.update(frame);
    }
    progress.clear();
    // The stream's error flag too: MinGW's printf functions report success
    // when the write beneath them fails, and only the flag keeps the failure.
    if (std::fflush(out) != 0 || std::ferror(out))
        return failed(std::string("cannot write the trace: ") + std::strerror(errno), err);
    if (outputs.clip && !outputs.clip->finish()) return failed(outputs.clip->error(), err);

    const quillmoor::Canvas& c = run.canvas();
    if (!writePng(outputs.canvas, {c.px.data(), c.width, c.height}, err)) return 2;
    if (!writePng(outputs.screen, run.screen(), err)) return 2;
    return 0;
}

}  // namespace

uint64_t SeedSource::next64() {
    if (fixed_) return *fixed_;
    const uint64_t seed = system_.next64();
    std::fprintf(err_, "seed: 0x%016" PRIx64 "\n", seed);
    return seed;
}

HeadlessRun::HeadlessRun(const RenderOptions& o, FILE* err)
    : bare_(o.canvas.has_value()),
      seeds_(o.settings.seed, err),
      host_{{}, platform::ProcessInfo::current(), &seeds_, nullptr, {}},
      framebuffer_(bare_ ? 1 : o.screen.width, bare_ ? 1 : o.screen.height),
      context_(framebuffer_),
      view_(makeSaverView(o.settings, host_, {0, 0, double(o.canvas.value_or(o.screen).width), double(o.canvas.value_or(o.screen).height)},
                          false)),
      runner_(*view_, context_) {
    if (o.from) view_->setStartFrame(*o.from);
    first_ = view_->startFrame();
    if (!bare_) return;
    ownScene_ = view_->startScene(o.canvas->width, o.canvas->height, seeds_.next64());
    ownCanvas_ = std::make_unique<quillmoor::Canvas>(o.canvas->width, o.canvas->height);
}

void HeadlessRun::advance(int64_t frame, bool draw) {
    if (!bare_) {
        frame == first_ ? runner_.display() : runner_.tick();
        return;
    }
    if (frame > first_) ownScene_->step();
    if (draw) ownScene_->draw(*ownCanvas_);
}

const quillmoor::Canvas& HeadlessRun::canvas() const { return bare_ ? *ownCanvas_ : *view_->canvas(); }

const quillmoor::PixelScene& HeadlessRun::scene() const { return bare_ ? *ownScene_ : *view_->scene(); }

FrameView HeadlessRun::clipFrame() const {
    if (!bare_) return screen();
    return {ownCanvas_->px.data(), ownCanvas_->width, ownCanvas_->height};
}

uint64_t canvasFingerprint(const uint32_t* pixels, size_t count) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (size_t i = 0; i < count; ++i)
        for (int shift = 0; shift < 32; shift += 8) {
            hash ^= (pixels[i] >> shift) & 0xFF;
            hash *= 0x100000001b3ULL;
        }
    return hash;
}

int renderHeadless(const RenderOptions& o, FILE* out, FILE* err, const ClipOpener& openClipWriter) {
    if (!outputsAreDistinct(o, err)) return 2;
    std::unique_ptr<platform::OutputFile> canvasFile, screenFile;
    if (!openOutput(o.canvasOut, canvasFile, err) || !openOutput(o.out, screenFile, err)) return 2;
    try {
        std::unique_ptr<platform::ClipWriter> clip;
        if (!openClip(o, openClipWriter, clip, err)) return 2;
        HeadlessRun run(o, err);
        return render(o, run, {canvasFile.get(), screenFile.get(), clip.get()}, out, err);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    const Size size = o.canvas.value_or(o.screen);
    std::fprintf(err, "quillmoor-render: not enough memory for a %dx%d %s of the %s scene\n", size.width, size.height,
                 o.canvas ? "canvas" : "screen", o.settings.scene.c_str());
    return 1;
}
