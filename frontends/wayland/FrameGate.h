#pragma once

namespace platform {

// When one surface may draw. Nothing is drawn before the compositor's first
// configure; after that a new frame goes out when the compositor has asked
// for one (the last frame's callback came back) or a configure or a change
// of scale needs the surface redrawn.
//
// While a callback is outstanding the surface still counts as wanting
// frames, so the frame loop keeps its pace when the callback comes back
// before the next frame slot. A surface that lets a slot pass undrawn stops
// wanting frames until the compositor speaks again: when no surface wants
// frames the loop sleeps until an event, so a callback that comes late is
// answered at once with a frame, and a surface that gets no callbacks at all
// (hidden, covered, its output off) costs nothing.
class FrameGate {
public:
    void configured() {
        configured_ = true;
        redraw();
    }
    void redraw() {
        redraw_ = true;
        missed_ = false;
    }
    void drawn() {
        waiting_ = true;
        redraw_ = false;
        missed_ = false;
    }
    void frameDone() {
        waiting_ = false;
        missed_ = false;
    }
    // The compositor gave a buffer back: a surface that had none free may draw.
    void bufferReleased() { missed_ = false; }
    // A frame slot passed without this surface drawing, though it wanted to.
    void missed() { missed_ = configured_; }

    bool canDraw() const { return configured_ && (redraw_ || !waiting_); }
    bool wantsFrames() const { return configured_ && !missed_; }

private:
    bool configured_ = false;
    bool redraw_ = false;
    bool waiting_ = false;
    bool missed_ = false;
};

}  // namespace platform
