// The live window on Windows: a native window that paints the display on
// WM_PAINT as the module's own host does, with a device context and a window
// record of the display's part of the client area. All of it is drawn into a
// bitmap of the window's kind first and copied at once, so nothing flickers.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>

#include "live/LiveHost.h"
#include "live/LiveWindow.h"
#include "run/Colour.h"
#include "zohost/Canvas.h"

namespace zohost::live {

namespace {

const char kClassName[] = "zohost live";
// Posted from any thread: a picture is due, or next() should return.
const UINT kWakeMessage = WM_APP + 1;

void fill(HDC dc, int x, int y, int w, int h, std::uint32_t rgb) {
    const RECT r{x, y, x + w, y + h};
    HBRUSH brush = CreateSolidBrush(tool::colorrefOf(rgb));
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

}  // namespace

struct LiveWindow::Impl {
    HWND hwnd = nullptr;
    Painter painter;
    LiveLook look;
    std::vector<std::string> status;
    bool help = false;
    std::uint64_t shown_block = 0;
    std::deque<LiveEvent> events;
    std::atomic<bool> woken{false};

    void push(LiveEvent::Kind kind, LiveAction action = LiveAction::None) {
        LiveEvent e;
        e.kind = kind;
        e.action = action;
        events.push_back(e);
    }
    void clientSize(int& w, int& h) const {
        RECT r{0, 0, 0, 0};
        if (hwnd) GetClientRect(hwnd, &r);
        w = std::max<int>(1, r.right - r.left);
        h = std::max<int>(1, r.bottom - r.top);
    }
    void paint(HDC window_dc);
    void drawInto(HDC dc, int w, int h);
    static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
};

LRESULT CALLBACK LiveWindow::Impl::proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTA*>(lp);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    Impl* m = reinterpret_cast<Impl*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!m) return DefWindowProcA(hwnd, msg, wp, lp);
    switch (msg) {
    case WM_KEYDOWN:
        m->push(LiveEvent::Kind::Key,
                actionForKey(platformKey(static_cast<std::int32_t>(wp)), GetKeyState(VK_SHIFT) < 0));
        return 0;
    case WM_SIZE:
        if (wp != SIZE_MINIMIZED) m->push(LiveEvent::Kind::Resized);
        return 0;
    case WM_CLOSE: m->push(LiveEvent::Kind::Quit); return 0;
    case WM_ERASEBKGND: return 1;  // WM_PAINT covers every pixel
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        if (dc) m->paint(dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    default:
        if (msg == kWakeMessage) {
            m->push(LiveEvent::Kind::Picture);
            return 0;
        }
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

void LiveWindow::Impl::paint(HDC window_dc) {
    int w = 0, h = 0;
    clientSize(w, h);
    HDC mem = CreateCompatibleDC(window_dc);
    HBITMAP bitmap = mem ? CreateCompatibleBitmap(window_dc, w, h) : nullptr;
    if (!bitmap) {
        // No memory for a second picture: straight into the window.
        if (mem) DeleteDC(mem);
        drawInto(window_dc, w, h);
        return;
    }
    HGDIOBJ old = SelectObject(mem, bitmap);
    drawInto(mem, w, h);
    BitBlt(window_dc, 0, 0, w, h, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteObject(bitmap);
    DeleteDC(mem);
}

void LiveWindow::Impl::drawInto(HDC dc, int w, int h) {
    const int display_h = look.displayHeight(h);
    // Erased first, as the host erases a window before the display paints.
    fill(dc, 0, 0, w, h, look.background_rgb);
    if (painter) {
        const int saved = SaveDC(dc);
        IntersectClipRect(dc, 0, 0, w, display_h);
        shown_block = painter(dc, w, display_h);
        RestoreDC(dc, saved);
    }
    std::lock_guard<std::mutex> lock(LiveHost::paintLock());
    look.drawBar(dc, look.barRect(w, h), status);
    if (help) look.drawHelp(dc, look.helpRect(w, h));
}

LiveWindow::LiveWindow() : impl_(std::make_unique<Impl>()) {
    // The timer clock sleeps to the millisecond.
    timeBeginPeriod(1);
}

LiveWindow::~LiveWindow() {
    if (impl_->hwnd) DestroyWindow(impl_->hwnd);
    timeEndPeriod(1);
}

bool LiveWindow::ready(std::string& error) const {
    error.clear();
    return true;
}

bool LiveWindow::paintsDisplay() { return true; }

void LiveWindow::setPainter(Painter painter) { impl_->painter = std::move(painter); }

bool LiveWindow::open(const std::string& title, int width, int height, const LiveLook& look, std::string& error) {
    Impl& m = *impl_;
    m.look = look;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &Impl::proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        error = "cannot open a window (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    const DWORD style = WS_OVERLAPPEDWINDOW;
    RECT r{0, 0, width, height + look.barHeight()};
    AdjustWindowRectEx(&r, style, FALSE, 0);
    m.hwnd = CreateWindowExA(0, kClassName, title.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left,
                             r.bottom - r.top, nullptr, nullptr, instance, &m);
    if (!m.hwnd) {
        error = "cannot open a window (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    ShowWindow(m.hwnd, SW_SHOWNORMAL);
    return true;
}

void LiveWindow::setTitle(const std::string& title) { SetWindowTextA(impl_->hwnd, title.c_str()); }

int LiveWindow::displayWidth() const {
    int w = 0, h = 0;
    impl_->clientSize(w, h);
    return w;
}

int LiveWindow::displayHeight() const {
    int w = 0, h = 0;
    impl_->clientSize(w, h);
    return impl_->look.displayHeight(h);
}

void LiveWindow::takePicture(const std::uint32_t*, int, int, std::uint64_t) {
    if (!impl_->woken.exchange(true)) wake();
}

void LiveWindow::wake() {
    if (impl_->hwnd) PostMessageA(impl_->hwnd, kWakeMessage, 0, 0);
}

bool LiveWindow::next(LiveEvent& event, int timeout_ms) {
    Impl& m = *impl_;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        MSG msg;
        while (m.events.empty() && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) m.push(LiveEvent::Kind::Quit);
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (!m.events.empty()) {
            event = m.events.front();
            m.events.pop_front();
            return true;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
    }
}

std::uint64_t LiveWindow::present(const std::vector<std::string>& status, bool help) {
    Impl& m = *impl_;
    m.woken.store(false);
    m.status = status;
    m.help = help;
    InvalidateRect(m.hwnd, nullptr, FALSE);
    UpdateWindow(m.hwnd);
    return m.shown_block;
}

bool LiveWindow::readBack(std::vector<std::uint32_t>& pixels, int& width, int& height) const {
    impl_->clientSize(width, height);
    Canvas copy(width, height, 0);
    if (!copy.valid()) return false;
    HDC dc = GetDC(impl_->hwnd);
    if (!dc) return false;
    const BOOL ok = BitBlt(copy.dc(), 0, 0, width, height, dc, 0, 0, SRCCOPY);
    ReleaseDC(impl_->hwnd, dc);
    if (!ok) return false;
    const std::uint32_t* p = copy.pixels();
    pixels.assign(p, p + static_cast<std::size_t>(width) * height);
    return true;
}

bool LiveWindow::picture(std::vector<std::uint32_t>& pixels, int& width, int& height) const {
    if (!readBack(pixels, width, height)) return false;
    height = impl_->look.displayHeight(height);
    pixels.resize(static_cast<std::size_t>(width) * height);
    return true;
}

}  // namespace zohost::live
