#pragma once

namespace platform {

// When one surface may draw. Nothing is drawn before the compositor's first
// configure; after that a new frame goes out when the compositor has asked
// for one (the last frame's callback came back) or a configure or a change
// of scale needs the surface redrawn.
//
// While a callback is outstanding the surface still counts as wanting frames
// for `patience` frame slots, so the frame loop keeps its pace instead of
// restarting it on every callback; after that the surface is taken to be
// hidden (covered, on an output that is off) and the loop may sleep until
// the compositor speaks again.
class FrameGate {
public:
    static constexpr int patience = 2;

    void configured() {
        configured_ = true;
        redraw();
    }
    void redraw() {
        redraw_ = true;
        missed_ = 0;
    }
    void drawn() {
        waiting_ = true;
        redraw_ = false;
        missed_ = 0;
    }
    void frameDone() {
        waiting_ = false;
        missed_ = 0;
    }
    // The compositor gave a buffer back: a surface that had none free may draw.
    void bufferReleased() { missed_ = 0; }
    // A frame slot passed without this surface drawing, though it wanted to.
    void missed() {
        if (configured_ && missed_ < patience) ++missed_;
    }

    bool canDraw() const { return configured_ && (redraw_ || !waiting_); }
    bool wantsFrames() const { return configured_ && missed_ < patience; }

private:
    bool configured_ = false;
    bool redraw_ = false;
    bool waiting_ = false;
    int missed_ = 0;
};

}  // namespace platform
