#pragma once

// Internal to platform_window: the window table, the per-window state and the user-interface thread's
// plumbing shared by the implementation files. Not installed, not for other modules.

#include "platform/win/LastError.h"
#include "platform/window/WinUser.h"

#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QRegion>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;
constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
constexpr DWORD ERROR_CLASS_HAS_WINDOWS = 1412;
constexpr DWORD ERROR_INVALID_CURSOR_HANDLE = 1402;
constexpr DWORD ERROR_INVALID_ICON_HANDLE = 1414;
constexpr DWORD ERROR_INVALID_THREAD_ID = 1444;
constexpr DWORD ERROR_NOT_ENOUGH_QUOTA = 1816;

namespace platform::window::detail
{
class HostWidget;

struct WindowClass
{
    std::string name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    int clsExtra = 0;
    int wndExtra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    ATOM atom = 0;
    bool system = false;
    bool tooltip = false; // shown as a tooltip window: no frame, no activation, no input
    int windows = 0;
    std::vector<BYTE> extra;
};

struct Window
{
    HWND hwnd = nullptr;
    std::shared_ptr<WindowClass> cls;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr;      // WS_CHILD windows only
    HWND owner = nullptr;       // top-level windows only
    std::vector<HWND> children; // z-order, topmost first
    LONG_PTR id = 0;
    LONG_PTR userData = 0;
    HINSTANCE instance = nullptr;
    std::vector<BYTE> extra;
    std::map<std::string, HANDLE> props;
    std::string text;

    RECT rect{};       // parent client coordinates for children, screen coordinates for top-level windows
    RECT normalRect{}; // where a minimised top-level window goes back to; its rect is then off screen
    RECT insets{};     // non-client frame left by WM_NCCALCSIZE
    bool visible = false;
    bool enabled = true;
    bool minimized = false;
    bool maximized = false;
    bool redraw = true;  // WM_SETREDRAW
    bool opaque = false; // SetWindowOpaque: the picture replaces what lies beneath

    QImage buffer;        // the whole window, non-client frame included
    QRegion update;       // invalid area, client coordinates
    bool erase = false;   // WM_ERASEBKGND owed before the next paint
    bool ncPaint = false; // WM_NCPAINT owed
    bool internalPaint = false;
    int dcCount = 0;

    bool hasRegion = false;
    QRegion shape; // window coordinates
    HRGN shapeHandle = nullptr;

    // Layered windows.
    bool layeredImage = false; // UpdateLayeredWindow has given the picture
    QImage layered;            // premultiplied, window size
    COLORREF colorKey = 0;
    BYTE alpha = 255;
    DWORD layeredFlags = 0;
    bool maskDirty = false;

    HICON bigIcon = nullptr; // WM_SETICON
    HICON smallIcon = nullptr;

    bool trackLeave = false;
    bool trackHover = false;
    DWORD hoverMs = 0;
    UINT_PTR hoverTimer = 0;

    bool created = false; // WM_CREATE answered
    bool destroying = false;
    std::atomic<bool> destroyed{false}; // read by IsWindow on any thread
    HostWidget* widget = nullptr;
    HWND lastFocus = nullptr;           // focus to restore when a top-level window is activated again
    std::shared_ptr<void> controlState; // the built-in control classes keep their data here
    std::shared_ptr<void> scrollState;  // the window's scroll bars (ScrollBars.cpp)
};

/// The Qt widget that shows one window: it copies the back buffer (or the layered picture) out and turns
/// input into queued window messages. It calls no window procedure itself.
class HostWidget : public QWidget
{
public:
    HostWidget(HWND hwnd, QWidget* parent, Qt::WindowFlags flags);
    HWND Handle() const { return m_hwnd; }
    void Detach() { m_hwnd = nullptr; }
    bool InEvent() const { return m_inEvent > 0; }

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void Mouse(QMouseEvent* e, bool press, bool release, bool doubleClick);
    void Key(QKeyEvent* e, bool down);
    HWND m_hwnd;
    int m_inEvent = 0;
};

// --- window table (Window.cpp) ---------------------------------------------------------------------------
using WindowPtr = std::shared_ptr<Window>;
/// The window named by `hwnd` when it lives (ERROR_INVALID_WINDOW_HANDLE otherwise); user-interface thread
/// only. The pointer stays usable across window procedure calls; `destroyed` tells whether it still lives.
WindowPtr Get(HWND hwnd);
/// Same, without setting the last error.
WindowPtr Find(HWND hwnd);
std::vector<HWND> TopLevelWindows(); // z-order, topmost first
bool IsUiThread();
/// Makes sure the Qt application exists; false when it cannot be made on this thread.
bool EnsureApplication();
void ResizeBuffer(Window& w);

// --- icons and cursors (Icons_qt.cpp) ---------------------------------------------------------------------
/// The pointer shape of a loaded or created cursor (or icon); nothing for standard ones and unknown
/// handles. User-interface thread.
std::optional<QCursor> LoadedCursorShape(HCURSOR cursor);
/// A top-level window's icon for the window system: every size of its big and small icon. User-interface
/// thread.
QIcon WindowIconOf(HICON big, HICON small);
RECT ClientRectOf(const Window& w);
QPoint ClientOriginOnScreen(const Window& w);
QPoint WindowOriginOnScreen(const Window& w);
void ApplyShape(Window& w);
void UpdateWidgetArea(Window& w, const QRect& windowArea);
void InvalidateClient(Window& w, const QRegion& area, bool erase);
void SendPaintNow(HWND hwnd);
/// A window now owes a paint (its update region, WM_NCPAINT or an internal paint): the message loop looks
/// for it again. Call wherever one of those is set. User-interface thread only.
void PaintOwed();
/// `w` owes a WM_NCPAINT, and the message loop is told.
void OweFramePaint(Window& w);
bool IsInputEnabled(const Window& w);
/// The enabled window that receives the mouse input aimed at `w` (a disabled child passes it to its
/// parent), or null when the input is blocked.
WindowPtr MouseTarget(WindowPtr w);
void ForgetWindowInput(HWND hwnd);
void SetActiveInternal(HWND hwnd, bool fromQt);
/// Turns Qt input that arrived at the widget of `from` into queued window messages.
void QueueMouseInput(HWND from, QMouseEvent* e, bool press, bool release, bool doubleClick);
void QueueKeyInput(HWND from, QKeyEvent* e, bool down);
void FocusFromQt(HWND hwnd);
/// `control` (a direct child of a dialog, or inside one) is being hidden or disabled while it or one of its
/// children holds the focus: the focus moves on to the dialog's next control that can take it. False when
/// `control` is not in a dialog or the dialog has no such control; the caller then decides.
bool FocusNextDialogControl(HWND control);
/// Takes over a position or size the desktop gave a top-level window.
void SyncGeometryFromQt(HWND hwnd);

// --- right-to-left layout (Layout_qt.cpp) ----------------------------------------------------------------
// Rectangles, regions and update areas are kept as they lie on the screen; a window with WS_EX_LAYOUTRTL
// counts its client x from the right, and these turn its coordinates into the kept ones and back.
bool IsMirrored(const Window& w);
/// `region` flipped left to right across `width`: [l, r) becomes [width - r, width - l).
QRegion MirroredRegion(const QRegion& region, int width);
/// An area of the client (or of the whole window) between the window's own coordinates and the kept ones;
/// the same flip both ways.
QRegion ClientArea(const Window& w, const QRegion& area);
QRegion WindowArea(const Window& w, const QRegion& area);
/// A child's rectangle between the parent's client coordinates and the kept ones; the same flip both ways.
RECT MirroredInParent(const Window& parent, const RECT& r);
/// The window's rectangle as its parent's client coordinates count it (screen coordinates at the top).
RECT RectInParent(const Window& w);
/// Points: a mirrored window's client pixel x is its client width - 1 - x from the left.
QPoint ScreenToClientPoint(const Window& w, QPoint screen);
QPoint ClientToScreenPoint(const Window& w, QPoint client);
/// A mirrored window whose client width changed keeps its children where their coordinates say: at the same
/// distance from its right edge.
void KeepChildrenAnchored(Window& w, LONG oldClientWidth);

// --- messages (Messages.cpp) -----------------------------------------------------------------------------
/// Calls the window procedure with the exception guard of the dispatcher; user-interface thread.
LRESULT CallGuarded(HWND hwnd, WNDPROC proc, UINT msg, WPARAM wParam, LPARAM lParam);
/// SendMessage on the window's own thread.
LRESULT SendLocal(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
/// Makes the calling (user-interface) thread's message queue, so that other threads can post to it.
void EnsureOwnQueue();
/// Queues an input or posted message on the user-interface thread's queue; mouse input is bound to the
/// capturing window, if any, when it is taken.
void QueueUiMessage(const MSG& msg, bool mouse = false);
/// Runs `fn` on the user-interface thread and waits for it; false when that thread is gone, closing, or
/// the wait was given up. Called on that thread, it runs `fn` at once.
bool RunOnUiThread(const std::function<void()>& fn);
/// Runs `fn` on the user-interface thread the next time it handles its queue; no waiting.
void PostUiCall(std::function<void()> fn);
/// Runs `fn` on the user-interface thread before its message loop next looks at its queue, after the Qt
/// events at hand have been handled.
void DeferUiWork(std::function<void()> fn);
void CancelSendsTo(HWND hwnd);
void KillWindowTimers(HWND hwnd);
void RemoveQueuedFor(HWND hwnd);
/// Remembers the text a key press produced, for TranslateMessage.
void RememberKeyText(const MSG& msg, const std::u32string& text);
/// Schedules the layered masks of windows without compositing to be rebuilt when the thread goes idle.
void ScheduleIdleWork();
void RunIdleWork();

template <class F> auto OnUi(F&& fn) -> decltype(fn())
{
    using R = decltype(fn());
    DWORD error = 0;
    if constexpr (std::is_void_v<R>)
    {
        RunOnUiThread(
            [&]
            {
                fn();
                error = GetLastError();
            });
        SetLastError(error);
    }
    else
    {
        R result{};
        if (!RunOnUiThread(
                [&]
                {
                    result = fn();
                    error = GetLastError();
                }))
            error = ERROR_INVALID_THREAD_ID;
        SetLastError(error);
        return result;
    }
}

// --- painting and layered windows (WindowPaint.cpp) ------------------------------------------------------
void PaintWidget(Window& w, QWidget& widget, const QRegion& area);
void RebuildLayeredMask(Window& w);
bool CompositingAvailable();

// --- built-in classes (Controls.cpp, Dialog.cpp, ToolTip.cpp) --------------------------------------------
void RegisterSystemClasses();
LRESULT CALLBACK ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK EditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK ToolTipProc(HWND, UINT, WPARAM, LPARAM);

// The class library's tooltips (WndToolTips.cpp).
/// Offers a message of the thread's loop to the nearest window with tooltips on (its window or a parent);
/// over none, a shown tip goes. Called by the application's pre-translation before the windows see it.
void RouteToolTipMessage(MSG* msg);
/// Whether `hwnd` is a tooltip control.
bool IsToolTipWindow(HWND hwnd);
LRESULT CALLBACK DialogClassProc(HWND, UINT, WPARAM, LPARAM);

/// Logs a failure of the window layer on standard error, once per distinct text.
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
} // namespace platform::window::detail

namespace platform::window::detail
{
/// True when the call belongs on another thread: the Qt application runs and this is not its thread.
/// Before the application exists the calling thread may still become the user-interface thread.
bool ShouldMarshal();
} // namespace platform::window::detail

#define PW_ON_UI_THREAD(call)                                                                                \
    if (::platform::window::detail::ShouldMarshal())                                                         \
    return ::platform::window::detail::OnUi([&] { return call; })
