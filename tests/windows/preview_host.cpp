// A stand-in for the Screen Saver Settings window, for the preview tests: a
// top-level window whose client area is 152x112, in a process of its own.
// It prints "window HWND" once shown, then answers commands on stdin, one a
// line: "child" prints "child HWND WxH parent HWND pid PID" for its first
// child window (or "child none"); "close" destroys the window and ends.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr int clientWidth = 152;
constexpr int clientHeight = 112;

void describeChild(HWND host) {
    const HWND child = GetWindow(host, GW_CHILD);
    if (!child) {
        std::printf("child none\n");
    } else {
        RECT r{};
        GetClientRect(child, &r);
        DWORD pid = 0;
        GetWindowThreadProcessId(child, &pid);
        std::printf("child %llu %ldx%ld parent %llu pid %lu\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(child)),
                    r.right - r.left, r.bottom - r.top,
                    static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(GetParent(child))), pid);
    }
    std::fflush(stdout);
}

LRESULT CALLBACK hostProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_APP: describeChild(window); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int main() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = hostProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"QuillmoorPreviewHost";
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    RegisterClassW(&windowClass);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE | WS_CLIPCHILDREN;
    RECT frame{0, 0, clientWidth, clientHeight};
    AdjustWindowRect(&frame, style, FALSE);
    const HWND window = CreateWindowW(L"QuillmoorPreviewHost", L"Preview host", style, 40, 40, frame.right - frame.left,
                                      frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    std::printf("window %llu\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    std::fflush(stdout);

    // Commands come on a thread of their own and are handed to the window's.
    std::thread commands([window] {
        char line[64];
        while (std::fgets(line, sizeof line, stdin)) {
            if (std::strncmp(line, "child", 5) == 0) SendMessageW(window, WM_APP, 0, 0);
            if (std::strncmp(line, "close", 5) == 0) break;
        }
        PostMessageW(window, WM_CLOSE, 0, 0);
    });
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    commands.join();
    return 0;
}
