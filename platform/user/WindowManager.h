#pragma once
// Internal state of the window manager: windows, classes and per-thread queues.
// One process-wide mutex guards all of it; window procedures are always
// called without it.
#include <cairo.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/api/user.h"
#include "platform/backend/Backend.h"

namespace platform::user {

using Clock = std::chrono::steady_clock;

// Posted to a window's own thread to carry out a ShowWindow asked elsewhere;
// handled by DispatchMessageW, never seen by a window procedure.
constexpr UINT kInternalShow = 0xFFF0;
// Posted when the desktop moved a window: lParam is the new top-left.
constexpr UINT kInternalMove = 0xFFF1;

struct WindowClass {
    std::u16string name;
    ATOM atom = 0;
    WNDCLASSW wc{};  // lpszClassName points into name
    bool system = false;
};

struct ThreadQueue;

struct SentMessage {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
    std::shared_ptr<ThreadQueue> sender;
};

struct InputEvent {
    enum class Kind { Pointer, Key, Close } kind;
    backend::PointerEvent pointer{};
    HWND target = nullptr;
    bool outside = false;  // no window under the pointer; only a drag takes it
    bool doubleClick = false;
    WPARAM keys = 0;
    UINT keyMessage = 0;  // WM_KEYDOWN... for Kind::Key
    WPARAM vk = 0;
    LPARAM keyData = 0;
    DWORD time = 0;
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT period;
    TIMERPROC proc;
    Clock::time_point due;
};

struct ThreadQueue {
    DWORD threadId = 0;
    std::condition_variable cv;
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> incoming;
    std::deque<InputEvent> input;
    std::vector<Timer> timers;
    bool quit = false;
    int quitCode = 0;
    bool alive = true;
    bool onDisplay = false;  // waits in the backend (owns native windows)
    HWND active = nullptr;
    HWND focus = nullptr;
    int inSend = 0;
    WPARAM inputKeys = 0;  // mouse buttons as of the last input message
    DWORD lastTime = 0;
    POINT lastPos{};
    UINT_PTR nextThreadTimer = 0x7000;
};

// Per-dialog state kept by the dialog manager.
struct DialogState {
    bool modal = false;
    bool ended = false;
    INT_PTR result = 0;
    HFONT font = nullptr;
    bool ownFont = false;
    HWND lastFocus = nullptr;
};

struct Window {
    HWND hwnd = nullptr;
    std::shared_ptr<WindowClass> cls;
    std::shared_ptr<ThreadQueue> queue;
    DWORD threadId = 0;
    WNDPROC proc = nullptr;
    HWND parent = nullptr;  // null for top-level and message-only windows
    HWND owner = nullptr;
    bool messageOnly = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect{};  // parent's client coordinates; screen for top-level windows
    std::u16string text;
    LONG_PTR userData = 0;
    UINT_PTR id = 0;
    HINSTANCE instance = nullptr;
    std::vector<BYTE> extra;
    std::vector<HWND> children;  // bottom of the z-order first
    bool destroying = false;
    bool invalid = false;
    RECT invalidRect{};  // client coordinates
    bool eraseInvalid = false;
    cairo_surface_t* surface = nullptr;       // top-level windows only
    cairo_surface_t* layeredImage = nullptr;  // what UpdateLayeredWindow gave
    BYTE layeredOpacity = 255;
    bool native = false;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    std::unique_ptr<DialogState> dialog;
    // State of a control class implemented by the layer (the list box).
    std::shared_ptr<void> control;

    ~Window();
};

struct DragState {
    bool active = false;
    HWND hwnd = nullptr;
    POINT start{};
    RECT startRect{};
};

struct State {
    std::mutex mu;
    std::unordered_map<std::uintptr_t, std::shared_ptr<Window>> windows;
    std::vector<HWND> topLevels;  // z-order, front first
    std::vector<std::shared_ptr<WindowClass>> classes;
    std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>> queues;
    ATOM nextAtom = 0xC000;
    std::uint32_t nextHandle = 0x10;
    HWND capture = nullptr;
    HWND foreground = nullptr;
    HWND pressTarget = nullptr;
    DragState drag;
    WPARAM buttons = 0;
    struct {
        HWND hwnd = nullptr;
        backend::Button button = backend::Button::None;
        DWORD time = 0;
        POINT pt{};
    } lastClick;
    HCURSOR cursor = nullptr;
};

State& S();
DWORD CurrentThreadId();
std::shared_ptr<ThreadQueue> CurrentQueue();
std::shared_ptr<Window> FindLocked(HWND hwnd);
std::shared_ptr<Window> Find(HWND hwnd);
// A live window of the calling thread, or null (with the last error set).
std::shared_ptr<Window> FindOwn(HWND hwnd);
void WakeLocked(ThreadQueue& queue);
DWORD NowMs();

LRESULT CallProc(const std::shared_ptr<Window>& win, UINT msg, WPARAM wParam, LPARAM lParam);
void EnsureSystemClasses();
std::shared_ptr<WindowClass> FindClassLocked(LPCWSTR name);

// Geometry helpers (under the lock).
POINT ClientOriginOnScreenLocked(const Window& win);
bool IsVisibleLocked(const Window& win);
HWND RootLocked(HWND hwnd);
// Client rectangle of `win` in its top-level window's coordinates, clipped by its ancestors.
RECT VisibleClientInRootLocked(const Window& win, POINT* originInRoot);

// Painting.
void InvalidateLocked(Window& win, const RECT* rect, bool erase, bool children);
void PresentLocked(Window& root, const RECT& area);
cairo_surface_t* EnsureSurfaceLocked(Window& root);

// Native windows.
void EnsureNativeLocked(Window& win);

// Dialog manager hooks used by the window core.
LRESULT DefDialogProc(const std::shared_ptr<Window>& win, UINT msg, WPARAM wParam, LPARAM lParam);
// The list box class procedure.
LRESULT ListBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Input processing on the owning thread: turns one input event into a
// message to return from GetMessageW, or false when it was consumed.
bool ProcessInput(const InputEvent& ev, MSG* out);
void BeginLayerDrag(HWND root, POINT screen);
void EndDragFor(HWND hwnd);

backend::EventSink& WindowManagerSink();

// FindWindowW within this process only.
HWND FindLocalWindow(LPCWSTR className, LPCWSTR windowName);

std::u16string FoldCase(std::u16string_view s);

}  // namespace platform::user
