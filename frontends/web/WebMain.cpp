// The entry points the page calls: settings from the URL query, then the
// saver, its size and its animation frames. The page keeps the handles.
#include <emscripten/emscripten.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "QuillmoorMothwake/PixelSaverView.h"
#include "frontends/web/WebSaver.h"

namespace {

// Page times are milliseconds on the page's clock (performance.now()).
WebSaver::Clock::time_point pageTime(double milliseconds) {
    return WebSaver::Clock::time_point(std::chrono::duration_cast<WebSaver::Clock::duration>(
        std::chrono::duration<double, std::milli>(milliseconds)));
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE WebSettings* quillmoor_settings() { return new WebSettings(); }

// 1 when the setting was taken; otherwise a warning goes to the console.
EMSCRIPTEN_KEEPALIVE int quillmoor_setting(WebSettings* settings, const char* name, const char* value) {
    const auto warning = applyWebSetting(*settings, name, value);
    if (!warning) return 1;
    std::fprintf(stderr, "quillmoor-mothwake: %s\n", warning->c_str());
    return 0;
}

// Takes the settings over.
EMSCRIPTEN_KEEPALIVE WebSaver* quillmoor_start(WebSettings* settings) {
    const std::unique_ptr<WebSettings> owned(settings);
    return new WebSaver(*owned);
}

// Both: 1 when there are new pixels to show, 0 when not, -1 when memory ran
// out (nothing is shown until the next resize).
EMSCRIPTEN_KEEPALIVE int quillmoor_resize(WebSaver* saver, int width, int height, double now) {
    return static_cast<int>(saver->resize(width, height, pageTime(now)));
}

EMSCRIPTEN_KEEPALIVE int quillmoor_frame(WebSaver* saver, double now) {
    return static_cast<int>(saver->animationFrame(pageTime(now)));
}

EMSCRIPTEN_KEEPALIVE const uint32_t* quillmoor_pixels(WebSaver* saver) {
    const platform::Framebuffer* pixels = saver->pixels();
    return pixels ? pixels->px.data() : nullptr;
}

// The last frame's changed rectangles: how many, and rectangle i's x, y,
// width or height (part 0 ... 3), so the page puts only those pixels.
EMSCRIPTEN_KEEPALIVE int quillmoor_damage_count(WebSaver* saver) {
    const platform::Region* damage = saver->damage();
    return damage ? static_cast<int>(damage->size()) : 0;
}

EMSCRIPTEN_KEEPALIVE int quillmoor_damage_part(WebSaver* saver, int i, int part) {
    const platform::PixelRect r = saver->damage()->rects()[static_cast<size_t>(i)];
    const int parts[] = {r.x, r.y, r.width, r.height};
    return parts[part & 3];
}

EMSCRIPTEN_KEEPALIVE double quillmoor_frames_drawn(WebSaver* saver) { return double(saver->framesDrawn()); }

EMSCRIPTEN_KEEPALIVE int quillmoor_held(WebSaver* saver) { return saver->held(); }

// The view's canvas: its width, height and the whole-number scale it is shown at.
EMSCRIPTEN_KEEPALIVE int quillmoor_canvas_width(WebSaver* saver) {
    const auto* view = saver->view();
    return view && view->canvas() ? view->canvas()->width : 0;
}

EMSCRIPTEN_KEEPALIVE int quillmoor_canvas_height(WebSaver* saver) {
    const auto* view = saver->view();
    return view && view->canvas() ? view->canvas()->height : 0;
}

EMSCRIPTEN_KEEPALIVE double quillmoor_scale(WebSaver* saver) {
    const auto* view = saver->view();
    return view ? view->pixelScale() : 0;
}

}  // extern "C"
