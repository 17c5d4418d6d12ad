// A pointer for the Wayland end-to-end tests: a headless wlroots compositor
// has no pointer device, and a virtual one (zwlr_virtual_pointer_v1) needs no
// privileges.
//
//   wl-virtual-pointer move DX DY   moves the pointer by one pixel (so that the
//                                   surface under it sees it enter), then by DX, DY
//   wl-virtual-pointer click        the same one-pixel move, then a left click
//
// The pointer is made first and used after a pause, so that clients have
// bound the pointer the seat now has before its events come.
#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

using namespace std::chrono_literals;

struct Globals {
    wl_seat* seat = nullptr;
    zwlr_virtual_pointer_manager_v1* manager = nullptr;
};

constexpr wl_registry_listener registryListener = {
    .global =
        [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
            auto* globals = static_cast<Globals*>(data);
            const std::string_view kind = interface;
            if (kind == wl_seat_interface.name && !globals->seat)
                globals->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
            else if (kind == zwlr_virtual_pointer_manager_v1_interface.name)
                globals->manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
                    wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
        },
    .global_remove = [](void*, wl_registry*, uint32_t) {},
};

uint32_t milliseconds() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void move(wl_display* display, zwlr_virtual_pointer_v1* pointer, double dx, double dy) {
    zwlr_virtual_pointer_v1_motion(pointer, milliseconds(), wl_fixed_from_double(dx), wl_fixed_from_double(dy));
    zwlr_virtual_pointer_v1_frame(pointer);
    wl_display_roundtrip(display);
}

void button(wl_display* display, zwlr_virtual_pointer_v1* pointer, wl_pointer_button_state state) {
    zwlr_virtual_pointer_v1_button(pointer, milliseconds(), BTN_LEFT, state);
    zwlr_virtual_pointer_v1_frame(pointer);
    wl_display_roundtrip(display);
}

int usage() {
    std::fprintf(stderr, "usage: wl-virtual-pointer move DX DY | click\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const bool moving = argc == 4 && std::strcmp(argv[1], "move") == 0;
    const bool clicking = argc == 2 && std::strcmp(argv[1], "click") == 0;
    if (!moving && !clicking) return usage();
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "wl-virtual-pointer: cannot connect to the Wayland display\n");
        return 1;
    }
    Globals globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &globals);
    wl_display_roundtrip(display);
    if (!globals.manager) {
        std::fprintf(stderr, "wl-virtual-pointer: the compositor has no zwlr_virtual_pointer_manager_v1\n");
        wl_display_disconnect(display);
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(globals.manager, globals.seat);
    wl_display_roundtrip(display);
    std::this_thread::sleep_for(300ms);

    move(display, pointer, 1, 0);
    std::this_thread::sleep_for(100ms);
    if (moving) {
        move(display, pointer, std::strtod(argv[2], nullptr), std::strtod(argv[3], nullptr));
    } else {
        button(display, pointer, WL_POINTER_BUTTON_STATE_PRESSED);
        button(display, pointer, WL_POINTER_BUTTON_STATE_RELEASED);
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    zwlr_virtual_pointer_manager_v1_destroy(globals.manager);
    if (globals.seat) wl_seat_destroy(globals.seat);
    wl_registry_destroy(registry);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
