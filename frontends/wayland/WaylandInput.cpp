#include "frontends/wayland/WaylandInput.h"

#include <unistd.h>

namespace platform {

namespace {

InputSink& sinkOf(void* data) { return *static_cast<InputSink*>(data); }

// wl_seat.release and the devices' release requests exist from version 3 (5
// for the seat); older objects can only be forgotten.
constexpr uint32_t deviceReleaseSince = 3;
constexpr uint32_t seatReleaseSince = 5;

}  // namespace

// Events of no interest are given empty handlers: libwayland calls every
// entry of a listener for the version bound.
const wl_keyboard_listener Seat::keyboardListener_ = {
    .keymap = [](void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) { close(fd); },
    .enter = [](void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {},
    .leave = [](void*, wl_keyboard*, uint32_t, wl_surface*) {},
    .key =
        [](void* data, wl_keyboard*, uint32_t, uint32_t, uint32_t key, uint32_t state) {
            if (state == WL_KEYBOARD_KEY_STATE_PRESSED) sinkOf(data).keyPressed(key);
        },
    .modifiers = [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {},
    .repeat_info = [](void*, wl_keyboard*, int32_t, int32_t) {},
};

const wl_pointer_listener Seat::pointerListener_ = {
    .enter =
        [](void* data, wl_pointer* pointer, uint32_t serial, wl_surface*, wl_fixed_t x, wl_fixed_t y) {
            sinkOf(data).pointerEntered(pointer, serial, wl_fixed_to_double(x), wl_fixed_to_double(y));
        },
    .leave = [](void*, wl_pointer*, uint32_t, wl_surface*) {},
    .motion =
        [](void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
            sinkOf(data).pointerMoved(wl_fixed_to_double(x), wl_fixed_to_double(y));
        },
    .button =
        [](void* data, wl_pointer*, uint32_t, uint32_t, uint32_t, uint32_t state) {
            if (state == WL_POINTER_BUTTON_STATE_PRESSED) sinkOf(data).pointerButtonPressed();
        },
    .axis = [](void* data, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) { sinkOf(data).pointerScrolled(); },
    .frame = [](void*, wl_pointer*) {},
    .axis_source = [](void*, wl_pointer*, uint32_t) {},
    .axis_stop = [](void*, wl_pointer*, uint32_t, uint32_t) {},
    .axis_discrete = [](void*, wl_pointer*, uint32_t, int32_t) {},
    .axis_value120 = [](void*, wl_pointer*, uint32_t, int32_t) {},
};

const wl_touch_listener Seat::touchListener_ = {
    .down = [](void* data, wl_touch*, uint32_t, uint32_t, wl_surface*, int32_t, wl_fixed_t,
               wl_fixed_t) { sinkOf(data).touched(); },
    .up = [](void*, wl_touch*, uint32_t, uint32_t, int32_t) {},
    .motion = [](void*, wl_touch*, uint32_t, int32_t, wl_fixed_t, wl_fixed_t) {},
    .frame = [](void*, wl_touch*) {},
    .cancel = [](void*, wl_touch*) {},
    .shape = [](void*, wl_touch*, int32_t, wl_fixed_t, wl_fixed_t) {},
    .orientation = [](void*, wl_touch*, int32_t, wl_fixed_t) {},
};

const wl_seat_listener Seat::seatListener_ = {
    .capabilities = &Seat::capabilities,
    .name = [](void*, wl_seat*, const char*) {},
};

Seat::Seat(wl_seat* seat, uint32_t globalName, InputSink& sink) : seat_(seat), globalName_(globalName), sink_(sink) {
    wl_seat_add_listener(seat_, &seatListener_, this);
}

Seat::~Seat() {
    releaseKeyboard();
    releasePointer();
    releaseTouch();
    if (wl_seat_get_version(seat_) >= seatReleaseSince)
        wl_seat_release(seat_);
    else
        wl_seat_destroy(seat_);
}

void Seat::capabilities(void* data, wl_seat* seat, uint32_t caps) {
    auto* self = static_cast<Seat*>(data);
    const bool keyboard = caps & WL_SEAT_CAPABILITY_KEYBOARD, pointer = caps & WL_SEAT_CAPABILITY_POINTER,
               touch = caps & WL_SEAT_CAPABILITY_TOUCH;
    if (keyboard && !self->keyboard_) {
        self->keyboard_ = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(self->keyboard_, &keyboardListener_, &self->sink_);
    } else if (!keyboard) {
        self->releaseKeyboard();
    }
    if (pointer && !self->pointer_) {
        self->pointer_ = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(self->pointer_, &pointerListener_, &self->sink_);
    } else if (!pointer) {
        self->releasePointer();
    }
    if (touch && !self->touch_) {
        self->touch_ = wl_seat_get_touch(seat);
        wl_touch_add_listener(self->touch_, &touchListener_, &self->sink_);
    } else if (!touch) {
        self->releaseTouch();
    }
}

void Seat::releaseKeyboard() {
    if (!keyboard_) return;
    if (wl_keyboard_get_version(keyboard_) >= deviceReleaseSince)
        wl_keyboard_release(keyboard_);
    else
        wl_keyboard_destroy(keyboard_);
    keyboard_ = nullptr;
}

void Seat::releasePointer() {
    if (!pointer_) return;
    if (wl_pointer_get_version(pointer_) >= deviceReleaseSince)
        wl_pointer_release(pointer_);
    else
        wl_pointer_destroy(pointer_);
    pointer_ = nullptr;
}

void Seat::releaseTouch() {
    if (!touch_) return;
    if (wl_touch_get_version(touch_) >= deviceReleaseSince)
        wl_touch_release(touch_);
    else
        wl_touch_destroy(touch_);
    touch_ = nullptr;
}

}  // namespace platform
