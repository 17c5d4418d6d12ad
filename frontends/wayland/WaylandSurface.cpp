#include "frontends/wayland/WaylandSurface.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <stdexcept>

#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace platform {

namespace {

// A window's size until the compositor picks one, in logical units.
constexpr int32_t defaultWindowWidth = 1280;
constexpr int32_t defaultWindowHeight = 720;
constexpr uint32_t damageBufferSince = 4;  // wl_surface.damage_buffer
constexpr uint32_t allEdges = ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                              ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT;

int32_t logicalOf(int32_t devicePixels, int32_t scale) { return (devicePixels + scale - 1) / std::max(scale, 1); }

const char* roleName(SurfaceRole role) {
    switch (role) {
    case SurfaceRole::overlay: return "overlay layer";
    case SurfaceRole::background: return "background layer";
    case SurfaceRole::window: return "window";
    case SurfaceRole::fullscreen: return "full-screen window";
    }
    return "";
}

}  // namespace

struct ShownSurface::Listeners {
    static ShownSurface& of(void* data) { return *static_cast<ShownSurface*>(data); }

    static constexpr wl_surface_listener surface = {
        .enter =
            [](void* data, wl_surface*, wl_output* proxy) {
                ShownSurface& self = of(data);
                const Output* output = self.owner_.outputOf(proxy);
                if (output && std::find(self.entered_.begin(), self.entered_.end(), output) == self.entered_.end()) {
                    self.entered_.push_back(output);
                    self.scaleChanged();
                }
            },
        .leave =
            [](void* data, wl_surface*, wl_output* proxy) {
                ShownSurface& self = of(data);
                if (const Output* output = self.owner_.outputOf(proxy)) self.forgetOutput(output);
            },
    };

    static constexpr wl_callback_listener frame = {
        .done =
            [](void* data, wl_callback* callback, uint32_t) {
                ShownSurface& self = of(data);
                wl_callback_destroy(callback);  // only the latest callback is listened to
                self.frameCallback_ = nullptr;
                self.gate_.frameDone();
            },
    };

    static constexpr zwlr_layer_surface_v1_listener layer = {
        .configure =
            [](void* data, zwlr_layer_surface_v1*, uint32_t serial, uint32_t width, uint32_t height) {
                of(data).configure(serial, static_cast<int32_t>(width), static_cast<int32_t>(height));
            },
        .closed = [](void* data, zwlr_layer_surface_v1*) { of(data).closed_ = true; },
    };

    static constexpr xdg_surface_listener xdgSurface = {
        .configure =
            [](void* data, xdg_surface*, uint32_t serial) {
                ShownSurface& self = of(data);
                self.configure(serial, self.suggestedWidth_, self.suggestedHeight_);
            },
    };

    static constexpr xdg_toplevel_listener toplevel = {
        .configure =
            [](void* data, xdg_toplevel*, int32_t width, int32_t height, wl_array*) {
                of(data).suggestedWidth_ = width;
                of(data).suggestedHeight_ = height;
            },
        .close = [](void* data, xdg_toplevel*) { of(data).owner_.closeRequested(); },
        .configure_bounds = [](void*, xdg_toplevel*, int32_t, int32_t) {},
        .wm_capabilities = [](void*, xdg_toplevel*, wl_array*) {},
    };

    static constexpr wp_fractional_scale_v1_listener fractional = {
        .preferred_scale =
            [](void* data, wp_fractional_scale_v1*, uint32_t scale) {
                of(data).preferred120_ = scale;
                of(data).scaleChanged();
            },
    };
};

ShownSurface::ShownSurface(SurfaceOwner& owner, const WaylandGlobals& globals, SurfaceRole role, const Output* output,
                           const SurfaceSettings& settings)
    : owner_(owner), role_(role), output_(output), holdAfter_(settings.holdAfter),
      buffers_(globals.display, globals.shm, [this] { gate_.bufferReleased(); }) {
    surface_ = wl_compositor_create_surface(globals.compositor);
    wl_surface_add_listener(surface_, &Listeners::surface, this);
    damageInBufferPixels_ = wl_surface_get_version(surface_) >= damageBufferSince;
    // Fractional scales need both: the scale itself, and a viewport to show
    // a buffer of any size at the surface's logical size.
    if (globals.fractionalScale && globals.viewporter) {
        viewporter_ = globals.viewporter;
        fractional_ = wp_fractional_scale_manager_v1_get_fractional_scale(globals.fractionalScale, surface_);
        wp_fractional_scale_v1_add_listener(fractional_, &Listeners::fractional, this);
    }
    // Every frame covers the whole surface: the compositor need not draw
    // what lies beneath it.
    wl_region* everything = wl_compositor_create_region(globals.compositor);
    wl_region_add(everything, 0, 0, INT32_MAX, INT32_MAX);
    wl_surface_set_opaque_region(surface_, everything);
    wl_region_destroy(everything);
    if (role == SurfaceRole::overlay || role == SurfaceRole::background)
        makeLayerSurface(globals, settings);
    else
        makeToplevel(globals, settings);
    wl_surface_commit(surface_);  // no buffer yet: asks the compositor for the first configure
}

ShownSurface::~ShownSurface() {
    if (frameCallback_) wl_callback_destroy(frameCallback_);
    saver_.reset();
    if (layer_) zwlr_layer_surface_v1_destroy(layer_);
    if (toplevel_) xdg_toplevel_destroy(toplevel_);
    if (xdgSurface_) xdg_surface_destroy(xdgSurface_);
    if (viewport_) wp_viewport_destroy(viewport_);
    if (fractional_) wp_fractional_scale_v1_destroy(fractional_);
    wl_surface_destroy(surface_);
}

void ShownSurface::makeLayerSurface(const WaylandGlobals& globals, const SurfaceSettings& settings) {
    const bool overlay = role_ == SurfaceRole::overlay;
    layer_ = zwlr_layer_shell_v1_get_layer_surface(
        globals.layerShell, surface_, output_ ? output_->proxy : nullptr,
        overlay ? ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY : ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND,
        settings.layerNamespace.c_str());
    zwlr_layer_surface_v1_add_listener(layer_, &Listeners::layer, this);
    zwlr_layer_surface_v1_set_size(layer_, 0, 0);  // the whole output, between the anchors
    zwlr_layer_surface_v1_set_anchor(layer_, allEdges);
    zwlr_layer_surface_v1_set_exclusive_zone(layer_, -1);  // over panels and their reserved space too
    if (overlay) {
        zwlr_layer_surface_v1_set_keyboard_interactivity(layer_,
                                                         ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE);
    } else {
        // A wallpaper takes no input: an empty input region lets every click through.
        wl_region* none = wl_compositor_create_region(globals.compositor);
        wl_surface_set_input_region(surface_, none);
        wl_region_destroy(none);
    }
}

void ShownSurface::makeToplevel(const WaylandGlobals& globals, const SurfaceSettings& settings) {
    xdgSurface_ = xdg_wm_base_get_xdg_surface(globals.wmBase, surface_);
    xdg_surface_add_listener(xdgSurface_, &Listeners::xdgSurface, this);
    toplevel_ = xdg_surface_get_toplevel(xdgSurface_);
    xdg_toplevel_add_listener(toplevel_, &Listeners::toplevel, this);
    xdg_toplevel_set_title(toplevel_, settings.title.c_str());
    xdg_toplevel_set_app_id(toplevel_, settings.appId.c_str());
    if (role_ == SurfaceRole::fullscreen) xdg_toplevel_set_fullscreen(toplevel_, output_ ? output_->proxy : nullptr);
}

// A configure names the logical size (0: ours to choose) and is acknowledged
// with the next commit.
void ShownSurface::configure(uint32_t serial, int32_t width, int32_t height) {
    unacked_ = serial;
    if (width <= 0 || height <= 0) {
        if (output_ && output_->modeWidth > 0) {
            width = logicalOf(output_->modeWidth, output_->scale);
            height = logicalOf(output_->modeHeight, output_->scale);
        } else if (logicalWidth_ > 0) {
            width = logicalWidth_;
            height = logicalHeight_;
        } else {
            width = defaultWindowWidth;
            height = defaultWindowHeight;
        }
    }
    logicalWidth_ = width;
    logicalHeight_ = height;
    gate_.configured();
}

void ShownSurface::scaleChanged() { gate_.redraw(); }

void ShownSurface::outputChanged() { scaleChanged(); }

void ShownSurface::forgetOutput(const Output* output) {
    if (std::erase(entered_, output)) scaleChanged();
    if (output_ == output) output_ = nullptr;
}

// The fractional scale when the compositor gives one; else the largest
// integer scale of the outputs the surface is on (or, before it is shown,
// of the output it is meant for), so it is sharp on the sharpest of them.
SurfaceScale ShownSurface::currentScale() const {
    SurfaceScale scale;
    if (preferred120_ > 0) {
        scale.fraction120 = preferred120_;
        return scale;
    }
    scale.integer = entered_.empty() && output_ ? output_->scale : 1;
    for (const Output* output : entered_) scale.integer = std::max(scale.integer, output->scale);
    scale.integer = std::max(scale.integer, 1);
    return scale;
}

void ShownSurface::applySize() {
    if (logicalWidth_ <= 0 || logicalHeight_ <= 0) return;
    const SurfaceScale scale = currentScale();
    const int32_t width = scale.device(logicalWidth_), height = scale.device(logicalHeight_);
    if (!saver_) {
        auto view = owner_.makeView(width, height);
        if (!view) throw std::runtime_error("no view to show");
        saver_ = std::make_unique<SaverSurface>(std::move(view), width, height);
        if (holdAfter_) saver_->holdAfter(*holdAfter_);
    } else if (width != saver_->width() || height != saver_->height()) {
        saver_->resize(width, height);
        buffers_.forgetFrames();
    } else if (scale == scale_) {
        return;
    } else {
        // The same pixels at another scale: the next frame is committed
        // whole with the new buffer scale or viewport, even a held one.
        saver_->invalidate();
    }
    scale_ = scale;
    owner_.surfaceResized(*this);
}

bool ShownSurface::present(const std::string* overlay) {
    if (closed_ || !gate_.canDraw()) {
        gate_.missed();
        return false;
    }
    applySize();
    ShmBuffer* buffer = buffers_.acquire(saver_->width(), saver_->height());
    if (!buffer) {
        gate_.missed();
        return false;
    }
    // A buffer that holds an earlier frame gets what it missed and this
    // frame's changes; any other is drawn whole.
    if (const std::vector<PixelRect>* missed = buffers_.missedBy(*buffer))
        saver_->switchBuffer(buffer->pixels(), *missed);
    else
        saver_->setTarget(buffer->pixels());
    const bool drawn = saver_->renderFrame(overlay);
    if (drawn) buffers_.frameDrawn(*buffer, saver_->changes());
    const bool changed = drawn && !saver_->damage().empty();
    const bool acknowledging = unacked_.has_value();
    if (unacked_) {
        if (layer_) zwlr_layer_surface_v1_ack_configure(layer_, *unacked_);
        if (xdgSurface_) xdg_surface_ack_configure(xdgSurface_, *unacked_);
        unacked_.reset();
    }
    // Nothing changed or a held picture: the frame already shown stays (with
    // the acknowledged state, if any).
    if (changed) {
        commitFrame(*buffer, compositorDamage_.report(saver_->damage(), saver_->width(), saver_->height()));
    } else if (acknowledging) {
        wl_surface_commit(surface_);
    }
    return drawn;
}

void ShownSurface::commitFrame(ShmBuffer& buffer, const Region& damage) {
    if (scale_.bufferScale() != committedBufferScale_) {
        wl_surface_set_buffer_scale(surface_, scale_.bufferScale());
        committedBufferScale_ = scale_.bufferScale();
    }
    if (scale_.fractional()) {
        if (!viewport_) viewport_ = wp_viewporter_get_viewport(viewporter_, surface_);
        wp_viewport_set_destination(viewport_, logicalWidth_, logicalHeight_);
    } else if (viewport_) {
        wp_viewport_set_destination(viewport_, -1, -1);
    }
    wl_surface_attach(surface_, buffer.buffer(), 0, 0);
    if (damageInBufferPixels_) {
        const DamageGrid grid(saver_->width(), saver_->height(), logicalWidth_, logicalHeight_);
        for (const PixelRect& r : damage) {
            const PixelRect covered = grid.cover(r);
            wl_surface_damage_buffer(surface_, covered.x, covered.y, covered.width, covered.height);
        }
    } else {
        wl_surface_damage(surface_, 0, 0, logicalWidth_, logicalHeight_);  // surface units: the whole of it
    }
    if (frameCallback_) wl_callback_destroy(frameCallback_);
    frameCallback_ = wl_surface_frame(surface_);
    wl_callback_add_listener(frameCallback_, &Listeners::frame, this);
    wl_surface_commit(surface_);
    buffer.handOver();
    gate_.drawn();
}

std::string ShownSurface::describe() const {
    char text[160];
    const std::string where = output_ ? output_->name : "window";
    const double scale = scale_.fractional() ? scale_.fraction120 / 120.0 : scale_.integer;
    std::snprintf(text, sizeof text, "%s %dx%d (%s, scale %g)", where.c_str(), saver_ ? saver_->width() : 0,
                  saver_ ? saver_->height() : 0, roleName(role_), scale);
    return text;
}

}  // namespace platform
