#pragma once

#include <wayland-client.h>

#include <cstdint>

namespace platform {

// What the saver hears of the user: the events of every seat's keyboard,
// pointer and touch screen that may end a run or hide the pointer.
class InputSink {
public:
    virtual ~InputSink() = default;
    virtual void keyPressed(uint32_t key) = 0;  // a Linux input key code (KEY_ESC, KEY_Q, ...)
    virtual void pointerEntered(wl_pointer* pointer, uint32_t serial, double x, double y) = 0;
    virtual void pointerMoved(double x, double y) = 0;
    virtual void pointerButtonPressed() = 0;
    virtual void pointerScrolled() = 0;
    virtual void touched() = 0;
};

// One wl_seat and the input devices it has at the moment.
class Seat {
public:
    Seat(wl_seat* seat, uint32_t globalName, InputSink& sink);
    ~Seat();
    Seat(const Seat&) = delete;
    Seat& operator=(const Seat&) = delete;

    uint32_t globalName() const { return globalName_; }

private:
    static void capabilities(void* data, wl_seat* seat, uint32_t caps);
    static const wl_seat_listener seatListener_;
    static const wl_keyboard_listener keyboardListener_;
    static const wl_pointer_listener pointerListener_;
    static const wl_touch_listener touchListener_;

    void releaseKeyboard();
    void releasePointer();
    void releaseTouch();

    wl_seat* seat_;
    uint32_t globalName_;
    InputSink& sink_;
    wl_keyboard* keyboard_ = nullptr;
    wl_pointer* pointer_ = nullptr;
    wl_touch* touch_ = nullptr;
};

}  // namespace platform
