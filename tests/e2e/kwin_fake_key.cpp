// A key for the Wayland end-to-end tests on KWin, which offers no virtual
// keyboard to ordinary clients but a fake input device
// (org_kde_kwin_fake_input; KWin started with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1
// offers it to every client).
//
//   kwin-fake-key CODE   presses and releases the key with this
//                        linux/input-event-codes.h code (KEY_X is 45)
//
// KWin gives the seat a keyboard only when the device appears, so the key
// comes after a pause in which clients bind that keyboard.
#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "kwin-fake-input-client-protocol.h"

namespace {

using namespace std::chrono_literals;

constexpr uint32_t keyboardSince = 4;

struct Globals {
    org_kde_kwin_fake_input* input = nullptr;
};

constexpr wl_registry_listener registryListener = {
    .global =
        [](void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
            auto* globals = static_cast<Globals*>(data);
            if (std::string_view(interface) == org_kde_kwin_fake_input_interface.name && version >= keyboardSince)
                globals->input = static_cast<org_kde_kwin_fake_input*>(
                    wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, keyboardSince));
        },
    .global_remove = [](void*, wl_registry*, uint32_t) {},
};

}  // namespace

int main(int argc, char** argv) {
    char* end = nullptr;
    const unsigned long key = argc == 2 ? std::strtoul(argv[1], &end, 10) : 0;
    if (argc != 2 || *end || key == 0) {
        std::fprintf(stderr, "usage: kwin-fake-key CODE\n");
        return 2;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "kwin-fake-key: cannot connect to the Wayland display\n");
        return 1;
    }
    Globals globals;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &globals);
    wl_display_roundtrip(display);
    if (!globals.input) {
        std::fprintf(stderr, "kwin-fake-key: the compositor offers no org_kde_kwin_fake_input of version 4\n");
        wl_display_disconnect(display);
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(globals.input, "quillmoor-mothwake tests", "keys for the saver");
    wl_display_roundtrip(display);
    std::this_thread::sleep_for(500ms);
    org_kde_kwin_fake_input_keyboard_key(globals.input, static_cast<uint32_t>(key), 1);
    org_kde_kwin_fake_input_keyboard_key(globals.input, static_cast<uint32_t>(key), 0);
    wl_display_roundtrip(display);
    org_kde_kwin_fake_input_destroy(globals.input);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return 0;
}
