#include "frontends/windows/WindowsSaver.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/FpsOverlay.h"

namespace platform {

namespace {

constexpr const wchar_t* windowClassName = L"QuillmoorMothwakeSaver";
// How far the pointer may drift from where it was at the start before the
// user counts as back.
constexpr int pointerSlack = 4;

// A window's pixels: a top-down 32-bit DIB section (blue in the low byte),
// drawn into directly by the software context and copied to the window
// rectangle by rectangle.
class DibFramebuffer {
public:
    DibFramebuffer(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;  // negative: row 0 at the top
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        memory_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        if (!memory_ || !bitmap_ || !bits_) {
            release();
            throw std::bad_alloc();
        }
        previous_ = SelectObject(memory_, bitmap_);
    }
    ~DibFramebuffer() { release(); }
    DibFramebuffer(const DibFramebuffer&) = delete;
    DibFramebuffer& operator=(const DibFramebuffer&) = delete;

    PixelView pixels() const { return {static_cast<uint32_t*>(bits_), width_, height_, ChannelOrder::bgrx}; }

    // GDI may still hold a copy out of the pixels in its batch.
    static void settle() { GdiFlush(); }

    void copyTo(HDC target, const PixelRect& r) const {
        BitBlt(target, r.x, r.y, r.width, r.height, memory_, r.x, r.y, SRCCOPY);
    }

private:
    void release() {
        if (memory_ && previous_) SelectObject(memory_, previous_);
        if (bitmap_) DeleteObject(bitmap_);
        if (memory_) DeleteDC(memory_);
        memory_ = nullptr;
        bitmap_ = nullptr;
        previous_ = nullptr;
    }

    int width_, height_;
    HDC memory_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    void* bits_ = nullptr;
};

// One window and the view shown in it.
class Surface {
public:
    Surface(HWND window, int width, int height, std::unique_ptr<ScreenSaverView> view)
        : window_(window), saver_(std::move(view), width, height) {
        makeFramebuffer();
    }
    ~Surface() {
        if (window_) DestroyWindow(window_);
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    HWND window() const { return window_; }
    SaverSurface& saver() { return saver_; }
    const ScreenSaverView& view() const { return saver_.view(); }
    int width() const { return saver_.width(); }
    int height() const { return saver_.height(); }
    // The window is gone already: nothing is left to destroy.
    void forget() { window_ = nullptr; }

    void requestSize(int width, int height) {
        pendingWidth_ = width;
        pendingHeight_ = height;
    }
    // Applies a pending size: the view follows and the pixels are made anew.
    void applySize() {
        if (pendingWidth_ < 1 || pendingHeight_ < 1) return;
        const int w = pendingWidth_, h = pendingHeight_;
        pendingWidth_ = pendingHeight_ = 0;
        if (w == width() && h == height()) return;
        pixels_.reset();
        saver_.resize(w, h);
        makeFramebuffer();
        painted_ = false;
    }

    // Only the damaged rectangles are copied; a frame in which nothing
    // changed copies nothing. True when something was.
    bool drawFrame(const std::string* overlay) {
        DibFramebuffer::settle();
        if (!saver_.renderFrame(overlay) || saver_.damage().empty()) return false;
        const HDC dc = GetDC(window_);
        if (!dc) return false;
        for (const PixelRect& r : saver_.damage()) pixels_->copyTo(dc, r);
        ReleaseDC(window_, dc);
        painted_ = true;
        return true;
    }
    PixelView pixels() const { return pixels_->pixels(); }

    // Copies what the window asks for from the last finished frame.
    void paint() {
        PAINTSTRUCT paint{};
        const HDC dc = BeginPaint(window_, &paint);
        if (dc && painted_) {
            const RECT& r = paint.rcPaint;
            pixels_->copyTo(dc, {static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right - r.left),
                                 static_cast<int>(r.bottom - r.top)});
        }
        EndPaint(window_, &paint);
    }

private:
    void makeFramebuffer() {
        pixels_ = std::make_unique<DibFramebuffer>(width(), height());
        saver_.setTarget(pixels_->pixels());
    }

    HWND window_;
    SaverSurface saver_;
    std::unique_ptr<DibFramebuffer> pixels_;
    int pendingWidth_ = 0, pendingHeight_ = 0;
    bool painted_ = false;
};

// Writes the pixels as a binary PPM under a temporary name, then puts it in
// place, so a reader never sees half a picture.
void writePpm(const PixelView& pixels, const std::string& path) {
    const std::string part = path + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        out << "P6\n" << pixels.width << " " << pixels.height << "\n255\n";
        std::string row(static_cast<std::size_t>(pixels.width) * 3, '\0');
        for (int y = 0; y < pixels.height; ++y) {
            const uint32_t* p = pixels.row(y);
            for (int x = 0; x < pixels.width; ++x) {
                // Blue in the low byte.
                row[3 * x] = static_cast<char>(p[x] >> 16);
                row[3 * x + 1] = static_cast<char>(p[x] >> 8);
                row[3 * x + 2] = static_cast<char>(p[x]);
            }
            out.write(row.data(), static_cast<std::streamsize>(row.size()));
        }
        if (!out) return;
    }
    MoveFileExA(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// How often the monitors are looked at between display-change messages.
constexpr ULONGLONG monitorCheckMs = 1000;

bool sameRects(const std::vector<RECT>& a, const std::vector<RECT>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const RECT& p, const RECT& q) { return EqualRect(&p, &q); });
}

// The monitors' rectangles in virtual-screen pixels.
std::vector<RECT> monitorRects() {
    std::vector<RECT> rects;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR, HDC, LPRECT rect, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<RECT>*>(list)->push_back(*rect);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&rects));
    if (rects.empty())
        rects.push_back({0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
    return rects;
}

class Session final : public FrontEnd {
public:
    Session(Host& host, const WindowsSaverConfig& config, const ViewFactory& makeView, const FrameObserver& afterFrame)
        : host_(host), config_(config), makeView_(makeView), afterFrame_(afterFrame), instance_(GetModuleHandleW(nullptr)) {}
    // The windows are left to the end of the process, which takes them all
    // at once: destroyed one by one, each costs Wine on an X server without a
    // window manager about 2 s, and the saver must be gone at once.
    ~Session() override {
        for (auto& s : surfaces_) {
            if (s->window()) SetWindowLongPtrW(s->window(), GWLP_USERDATA, 0);
            s->forget();
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Registers the window class and makes the windows; false (with a
    // message) when that fails.
    bool start();
    double animationInterval() const { return surfaces_.front()->view().animationTimeInterval(); }

    WaitHandle eventHandle() const override { return nullptr; }  // the message queue alone
    void dispatch() override;
    void frame(StopSignals& signals) override;
    StopReason stopReason() const override { return stop_; }

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool makeScreenWindows();
    bool makePreviewWindow();
    bool addSurface(HWND window, int width, int height, bool preview);
    Surface* find(HWND window);
    // A pointer position, from a move message or from looking.
    void pointerAt(POINT screenPosition, bool message);
    // Destroys every window and view; their windows' messages no longer reach
    // this session meanwhile.
    void dropSurfaces() {
        for (auto& s : surfaces_)
            if (s->window()) SetWindowLongPtrW(s->window(), GWLP_USERDATA, 0);
        surfaces_.clear();
    }
    void fail(const std::string& message) const {
        std::fprintf(stderr, "%s: %s\n", config_.run.programName.c_str(), message.c_str());
    }
    void report(const char* what, const Surface& s) const {
        if (config_.run.verbose)
            std::fprintf(stderr, "%s: %s window %dx%d\n", config_.run.programName.c_str(), what, s.width(), s.height());
    }
    void stop(StopReason reason) {
        if (stop_ == StopReason::none) stop_ = reason;
    }

    Host& host_;
    const WindowsSaverConfig& config_;
    const ViewFactory& makeView_;
    const FrameObserver& afterFrame_;
    HINSTANCE instance_;
    std::vector<std::unique_ptr<Surface>> surfaces_;
    std::vector<RECT> monitors_;            // the layout the windows were made for
    ULONGLONG monitorsCheckedAt_ = 0;
    POINT pointerAtStart_{};                // where GetCursorPos put it at the start
    std::optional<POINT> pointerRest_;      // where the first move message put it
    bool displayChanged_ = false;
    FrameStats stats_;
    StopReason stop_ = StopReason::none;
};

bool Session::start() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance_;
    windowClass.lpszClassName = windowClassName;
    // No background brush: frames cover the window, so nothing flashes first.
    if (!RegisterClassExW(&windowClass)) {
        fail("cannot register the window class");
        return false;
    }
    if (config_.target == WindowsTarget::preview) return makePreviewWindow();
    GetCursorPos(&pointerAtStart_);
    return makeScreenWindows();
}

bool Session::makeScreenWindows() {
    // The window made last is the active one; it goes on the monitor that
    // holds the pointer, where keys and moves are sent when no window manager
    // passes the focus on (Wine on a bare X server).
    monitors_ = monitorRects();
    monitorsCheckedAt_ = GetTickCount64();
    std::vector<RECT> rects = monitors_;
    std::stable_partition(rects.begin(), rects.end(), [&](const RECT& r) { return !PtInRect(&r, pointerAtStart_); });
    for (const RECT& r : rects) {
        const int width = r.right - r.left, height = r.bottom - r.top;
        const HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, windowClassName,
                                            std::wstring(config_.run.windowTitle.begin(), config_.run.windowTitle.end()).c_str(),
                                            WS_POPUP | WS_VISIBLE, r.left, r.top, width, height, nullptr, nullptr,
                                            instance_, this);
        if (!window) {
            fail("cannot make a window for a monitor");
            return false;
        }
        if (!addSurface(window, width, height, false)) return false;
    }
    return true;
}

bool Session::makePreviewWindow() {
    const HWND parent = reinterpret_cast<HWND>(config_.parent);
    RECT client{};
    if (!IsWindow(parent) || !GetClientRect(parent, &client)) {
        fail("no window " + std::to_string(config_.parent) + " to preview in");
        return false;
    }
    const int width = client.right - client.left, height = client.bottom - client.top;
    const HWND window = CreateWindowExW(0, windowClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, width, height, parent,
                                        nullptr, instance_, this);
    if (!window) {
        fail("cannot make the preview window");
        return false;
    }
    return addSurface(window, width, height, true);
}

bool Session::addSurface(HWND window, int width, int height, bool preview) {
    auto view = makeView_(host_, {0, 0, static_cast<double>(width), static_cast<double>(height)}, preview);
    if (!view) {
        DestroyWindow(window);
        fail("no view to show");
        return false;
    }
    surfaces_.push_back(std::make_unique<Surface>(window, width, height, std::move(view)));
    Surface& s = *surfaces_.back();
    if (config_.run.holdAfter) s.saver().holdAfter(*config_.run.holdAfter);
    report(preview ? "preview" : "monitor", s);
    return true;
}

Surface* Session::find(HWND window) {
    for (auto& s : surfaces_)
        if (s->window() == window) return s.get();
    return nullptr;
}

LRESULT CALLBACK Session::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* session = reinterpret_cast<Session*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return session ? session->handle(window, message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

// Windows (and Wine) sends a move at once when a window appears under the
// pointer, at the pointer's position. That first message says where the
// pointer rests (what GetCursorPos said before may be stale under Wine); a
// move further than the slack from there is the user back.
void Session::pointerAt(POINT p, bool message) {
    if (!pointerRest_) {
        if (message) pointerRest_ = p;
        return;
    }
    if (std::abs(p.x - pointerRest_->x) > pointerSlack || std::abs(p.y - pointerRest_->y) > pointerSlack)
        stop(StopReason::quit);
}

LRESULT Session::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const bool screens = config_.target == WindowsTarget::screens;
    switch (message) {
    case WM_PAINT:
        if (Surface* s = find(window)) {
            s->paint();
            return 0;
        }
        break;
    case WM_ERASEBKGND: return 1;  // frames cover everything
    case WM_SIZE:
        if (Surface* s = find(window)) s->requestSize(LOWORD(lParam), HIWORD(lParam));
        break;
    case WM_DESTROY:
        if (Surface* s = find(window)) {
            s->forget();
            stop(StopReason::windowGone);
        }
        break;
    case WM_CLOSE: stop(StopReason::quit); return 0;
    case WM_ENDSESSION:
        if (wParam) stop(StopReason::quit);
        return 0;
    case WM_DISPLAYCHANGE:
        if (screens) displayChanged_ = true;
        break;
    case WM_SETCURSOR:
        if (screens) {
            SetCursor(nullptr);
            return TRUE;
        }
        break;
    case WM_ACTIVATEAPP:
        if (screens && !wParam) stop(StopReason::quit);
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
        if (screens) {
            stop(StopReason::quit);
            return 0;
        }
        break;
    case WM_MOUSEMOVE:
        if (screens) {
            POINT p{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            ClientToScreen(window, &p);
            pointerAt(p, true);
        }
        break;
    default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void Session::dispatch() {
    MSG message;
    while (stop_ == StopReason::none && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            stop(StopReason::quit);
            break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    // Moves over a window that is not the active one may not be sent to it
    // (Wine without a window manager), so the pointer is looked at as well.
    if (POINT p{}; config_.target == WindowsTarget::screens && GetCursorPos(&p)) pointerAt(p, false);
    // A preview's parent in another process may go without our child hearing.
    if (config_.target == WindowsTarget::preview && !IsWindow(reinterpret_cast<HWND>(config_.parent)))
        stop(StopReason::windowGone);
    // A running Wine process may hear of a new layout without the message;
    // looking now and then costs next to nothing.
    if (config_.target == WindowsTarget::screens && GetTickCount64() - monitorsCheckedAt_ >= monitorCheckMs) {
        monitorsCheckedAt_ = GetTickCount64();
        if (!sameRects(monitorRects(), monitors_)) displayChanged_ = true;
    }
    if (displayChanged_ && stop_ == StopReason::none) {
        // Monitors came, went or changed size: every window and view anew.
        displayChanged_ = false;
        dropSurfaces();
        if (!makeScreenWindows()) stop(StopReason::windowGone);
    }
}

void Session::frame(StopSignals& signals) {
    const auto started = FrameStats::Clock::now();
    const std::string* overlay = config_.run.showFps ? &stats_.text() : nullptr;
    for (auto& s : surfaces_) {
        if (&s != &surfaces_.front() && signals.take()) break;  // the loop looked just before the first
        s->applySize();
        if (s->drawFrame(overlay) && &s == &surfaces_.front() && !config_.pixelsOut.empty())
            writePpm(s->pixels(), config_.pixelsOut);
        if (afterFrame_) afterFrame_(s->view());
    }
    GdiFlush();
    if (config_.run.extraFrameTime.count() > 0) std::this_thread::sleep_for(config_.run.extraFrameTime);
    stats_.frameDone(started, FrameStats::Clock::now());
}

}  // namespace

int runWindowsSaver(Host& host, StopSignals& signals, const WindowsSaverConfig& config, const ViewFactory& makeView,
                    const FrameObserver& afterFrame) {
    if (const std::optional<int> status = checkBeforeConnecting(signals, config.run.programName)) return *status;
    try {
        Session session(host, config, makeView, afterFrame);
        if (!session.start()) return 1;
        runUntilStopped(session, session.animationInterval(), signals, host.notifications, config.run);
        return 0;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: not enough memory for the frames of a window this size\n", config.run.programName.c_str());
        return 1;
    }
}

}  // namespace platform
