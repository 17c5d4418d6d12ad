#pragma once

#include <wayland-client.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "frontends/wayland/CompositorDamage.h"
#include "frontends/wayland/FrameGate.h"
#include "frontends/wayland/ShmBuffers.h"
#include "frontends/wayland/SurfaceScale.h"
#include "platform/SaverSurface.h"

struct xdg_wm_base;
struct xdg_surface;
struct xdg_toplevel;
struct zwlr_layer_shell_v1;
struct zwlr_layer_surface_v1;
struct wp_viewporter;
struct wp_viewport;
struct wp_fractional_scale_manager_v1;
struct wp_fractional_scale_v1;

namespace platform {

// The compositor's globals the surfaces are made with; the optional ones
// are null when the compositor does not offer them.
struct WaylandGlobals {
    wl_display* display = nullptr;
    wl_compositor* compositor = nullptr;
    wl_shm* shm = nullptr;
    xdg_wm_base* wmBase = nullptr;                              // windows
    zwlr_layer_shell_v1* layerShell = nullptr;                  // saver and wallpaper surfaces
    wp_viewporter* viewporter = nullptr;                        // fractional scales
    wp_fractional_scale_manager_v1* fractionalScale = nullptr;  // fractional scales
};

// One output as the compositor describes it. Its values are complete once
// the first done event has come.
struct Output {
    uint32_t globalName = 0;
    wl_output* proxy = nullptr;
    std::string name;  // "HEADLESS-1", "DP-2", ...; made up when the compositor gives none
    int32_t scale = 1;
    int32_t modeWidth = 0;  // device pixels
    int32_t modeHeight = 0;
    bool ready = false;
};

enum class SurfaceRole {
    overlay,     // layer shell, above everything, exclusive keyboard
    background,  // layer shell, below every window, no input
    window,      // xdg toplevel
    fullscreen,  // xdg toplevel, full screen on one output
};

struct SurfaceSettings {
    std::string title;   // xdg toplevels
    std::string appId;   // xdg toplevels
    std::string layerNamespace;
    std::optional<long> holdAfter;
};

class ShownSurface;

// What a surface needs from the session that owns it.
class SurfaceOwner {
public:
    virtual ~SurfaceOwner() = default;
    // The view for a surface of this many device pixels; null when there is none.
    virtual std::unique_ptr<ScreenSaverView> makeView(int width, int height) = 0;
    virtual void surfaceResized(const ShownSurface& surface) = 0;
    virtual void closeRequested() = 0;
    virtual const Output* outputOf(const wl_output* proxy) const = 0;
};

// One wl_surface with its role and the view shown in it. Event handlers only
// record what the compositor said; sizes are applied and views made or
// resized when the next frame is drawn.
class ShownSurface {
public:
    // output: the output a layer surface or full-screen window belongs to;
    // null for a window.
    ShownSurface(SurfaceOwner& owner, const WaylandGlobals& globals, SurfaceRole role, const Output* output,
                 const SurfaceSettings& settings);
    ~ShownSurface();
    ShownSurface(const ShownSurface&) = delete;
    ShownSurface& operator=(const ShownSurface&) = delete;

    SurfaceRole role() const { return role_; }
    const Output* output() const { return output_; }
    bool closed() const { return closed_; }  // the compositor took the surface away
    const ScreenSaverView* view() const { return saver_ ? &saver_->view() : nullptr; }
    std::string describe() const;  // "HEADLESS-2 800x600 (overlay layer, scale 2)"

    // The output it is on, or one it was shown on, changed its scale or went away.
    void outputChanged();
    void forgetOutput(const Output* output);

    // Makes or resizes the view after a configure or a change of scale.
    // Throws std::runtime_error when there is no view to show.
    void applySize();

    bool wantsFrames() const { return gate_.wantsFrames(); }
    // Draws and commits a frame when the compositor is ready for one.
    // True when a new frame was committed.
    bool present(const std::string* overlay);

private:
    struct Listeners;  // the compositor's events, handed to the members below

    void makeLayerSurface(const WaylandGlobals& globals, const SurfaceSettings& settings);
    void makeToplevel(const WaylandGlobals& globals, const SurfaceSettings& settings);
    void configure(uint32_t serial, int32_t width, int32_t height);
    void scaleChanged();
    SurfaceScale currentScale() const;
    void commitFrame(ShmBuffer& buffer, const Region& damage);

    SurfaceOwner& owner_;
    SurfaceRole role_;
    const Output* output_;
    std::optional<long> holdAfter_;
    wl_surface* surface_ = nullptr;
    zwlr_layer_surface_v1* layer_ = nullptr;
    xdg_surface* xdgSurface_ = nullptr;
    xdg_toplevel* toplevel_ = nullptr;
    wp_viewporter* viewporter_ = nullptr;
    wp_viewport* viewport_ = nullptr;
    wp_fractional_scale_v1* fractional_ = nullptr;
    bool damageInBufferPixels_ = false;  // wl_surface.damage_buffer (version 4)
    std::vector<const Output*> entered_;

    int32_t logicalWidth_ = 0, logicalHeight_ = 0;
    int32_t suggestedWidth_ = 0, suggestedHeight_ = 0;  // from the last xdg_toplevel.configure
    uint32_t preferred120_ = 0;                         // wp_fractional_scale_v1.preferred_scale
    SurfaceScale scale_;
    int32_t committedBufferScale_ = 1;
    std::optional<uint32_t> unacked_;
    bool closed_ = false;

    std::unique_ptr<SaverSurface> saver_;
    ShmBufferPool buffers_;
    CompositorDamage compositorDamage_;  // what the compositor is told a frame changed
    FrameGate gate_;
    wl_callback* frameCallback_ = nullptr;
};

}  // namespace platform
