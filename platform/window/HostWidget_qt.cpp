// The Qt side of a window: shows its picture and turns Qt input into queued window messages.

#include "platform/win/Kernel.h"
#include "platform/window/QtHost.h"
#include "platform/window/WindowInternal.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWheelEvent>

#include <array>

namespace platform::window::detail
{
namespace
{
// User-interface thread only.
HWND g_lastMouse = nullptr;
POINT g_cursor{};
bool g_cursorKnown = false;
std::array<bool, 256> g_keys{};
Qt::MouseButtons g_buttons;
Qt::KeyboardModifiers g_modifiers;
/// The tick of the last keyboard or mouse input that reached a window; the start of the process until then.
DWORD g_lastInputTick = GetTickCount();

UINT VirtualKey(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return static_cast<UINT>('A' + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return static_cast<UINT>('0' + (key - Qt::Key_0));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return VK_F1 + static_cast<UINT>(key - Qt::Key_F1);
    switch (key)
    {
    case Qt::Key_Backspace:
        return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return VK_TAB;
    case Qt::Key_Clear:
        return VK_CLEAR;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_RETURN;
    case Qt::Key_Shift:
        return VK_SHIFT;
    case Qt::Key_Control:
        return VK_CONTROL;
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
        return VK_MENU;
    case Qt::Key_Pause:
        return VK_PAUSE;
    case Qt::Key_CapsLock:
        return VK_CAPITAL;
    case Qt::Key_Escape:
        return VK_ESCAPE;
    case Qt::Key_Space:
        return VK_SPACE;
    case Qt::Key_PageUp:
        return VK_PRIOR;
    case Qt::Key_PageDown:
        return VK_NEXT;
    case Qt::Key_End:
        return VK_END;
    case Qt::Key_Home:
        return VK_HOME;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_Print:
        return VK_SNAPSHOT;
    case Qt::Key_Insert:
        return VK_INSERT;
    case Qt::Key_Delete:
        return VK_DELETE;
    case Qt::Key_Help:
        return VK_HELP;
    case Qt::Key_Meta:
        return VK_LWIN;
    case Qt::Key_Menu:
        return VK_APPS;
    case Qt::Key_NumLock:
        return VK_NUMLOCK;
    case Qt::Key_ScrollLock:
        return VK_SCROLL;
    case Qt::Key_Asterisk:
        return VK_MULTIPLY;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        return VK_OEM_PLUS;
    case Qt::Key_Comma:
        return VK_OEM_COMMA;
    case Qt::Key_Minus:
        return VK_OEM_MINUS;
    case Qt::Key_Period:
        return VK_OEM_PERIOD;
    case Qt::Key_Slash:
        return VK_OEM_2;
    case Qt::Key_Semicolon:
        return VK_OEM_1;
    case Qt::Key_QuoteLeft:
        return VK_OEM_3;
    case Qt::Key_BracketLeft:
        return VK_OEM_4;
    case Qt::Key_Backslash:
        return VK_OEM_5;
    case Qt::Key_BracketRight:
        return VK_OEM_6;
    case Qt::Key_Apostrophe:
        return VK_OEM_7;
    default:
        return 0;
    }
}

MSG MakeMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, QPoint global)
{
    MSG m{};
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    m.pt = POINT{global.x(), global.y()};
    return m;
}

void QueueLeave(HWND hwnd)
{
    auto w = Find(hwnd);
    if (!w || !w->trackLeave)
        return;
    w->trackLeave = false;
    w->trackHover = false;
    QueueUiMessage(MakeMessage(hwnd, WM_MOUSELEAVE, 0, 0, QPoint(g_cursor.x, g_cursor.y)));
}

/// The pointer moved over `hwnd` (null when over none of our windows): windows it left that asked for it
/// are told so.
void PointerOver(HWND hwnd)
{
    if (hwnd == g_lastMouse)
        return;
    const HWND left = g_lastMouse;
    g_lastMouse = hwnd;
    if (left)
        QueueLeave(left);
}
} // namespace

HostWidget::HostWidget(HWND hwnd, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), m_hwnd(hwnd)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_NoMousePropagation, true);
    setAttribute(Qt::WA_InputMethodEnabled, false);
}

bool HostWidget::event(QEvent* e)
{
    struct Depth
    {
        int& d;
        explicit Depth(int& v) : d(v) { ++d; }
        ~Depth() { --d; }
    } depth(m_inEvent);
    if (!m_hwnd)
        return QWidget::event(e);
    switch (e->type())
    {
    case QEvent::MouseButtonPress:
        Mouse(static_cast<QMouseEvent*>(e), true, false, false);
        return true;
    case QEvent::MouseButtonRelease:
        Mouse(static_cast<QMouseEvent*>(e), false, true, false);
        return true;
    case QEvent::MouseButtonDblClick:
        Mouse(static_cast<QMouseEvent*>(e), true, false, true);
        return true;
    case QEvent::MouseMove:
        Mouse(static_cast<QMouseEvent*>(e), false, false, false);
        return true;
    case QEvent::Wheel:
    {
        auto* we = static_cast<QWheelEvent*>(e);
        const QPoint global = we->globalPosition().toPoint();
        HWND target = GetFocus();
        if (!target)
            target = m_hwnd;
        auto w = MouseTarget(Find(target));
        if (!w)
            return true;
        const int delta = we->angleDelta().y() != 0 ? we->angleDelta().y() : we->angleDelta().x();
        const UINT msg = we->angleDelta().y() != 0 ? WM_MOUSEWHEEL : WM_MOUSEHWHEEL;
        QueueUiMessage(MakeMessage(
            w->hwnd, msg, MAKEWPARAM(static_cast<int>(MouseKeys(we->buttons(), we->modifiers())), delta),
            MAKELPARAM(global.x(), global.y()), global));
        return true;
    }
    case QEvent::KeyPress:
        Key(static_cast<QKeyEvent*>(e), true);
        return true;
    case QEvent::KeyRelease:
        Key(static_cast<QKeyEvent*>(e), false);
        return true;
    case QEvent::ShortcutOverride:
        e->accept();
        return true;
    case QEvent::Leave:
    {
        // Moving onto one of our other windows arrives as an enter and a move there; only when none came
        // has the pointer left our windows.
        const HWND self = m_hwnd;
        DeferUiWork(
            [self]
            {
                if (g_lastMouse == self)
                    PointerOver(nullptr);
            });
        return true;
    }
    case QEvent::WindowActivate:
    {
        const HWND self = m_hwnd;
        const QPointer<QWidget> widget(this);
        DeferUiWork(
            [self, widget]
            {
                // Qt reports an activation after the fact. When Qt has activated another window since (most
                // often one we activated meanwhile, say a drop-down list opened by the click that activated
                // this window), the report is stale: following it would take the activation back.
                const QWidget* active = QApplication::activeWindow();
                if (widget && active && active != widget->window())
                    return;
                SetActiveInternal(self, true);
            });
        return QWidget::event(e);
    }
    case QEvent::WindowDeactivate:
        DeferUiWork(
            []
            {
                if (!QApplication::activeWindow())
                    SetActiveInternal(nullptr, true);
            });
        return QWidget::event(e);
    case QEvent::FocusIn:
    {
        const HWND self = m_hwnd;
        DeferUiWork([self] { FocusFromQt(self); });
        return QWidget::event(e);
    }
    case QEvent::Move:
    case QEvent::Resize:
        if (isWindow())
        {
            const HWND self = m_hwnd;
            DeferUiWork([self] { SyncGeometryFromQt(self); });
        }
        return QWidget::event(e);
    case QEvent::WindowStateChange:
        if (isWindow() && e->spontaneous())
        {
            // The desktop minimised or restored the window (its taskbar entry, its window menu): the window
            // is asked as the system asks it, and decides.
            const HWND self = m_hwnd;
            DeferUiWork(
                [self]
                {
                    auto w = Find(self);
                    if (!w || !w->widget || w->parent || !w->visible || w->destroying)
                        return;
                    const bool minimized = w->widget->isMinimized();
                    if (minimized != w->minimized)
                        QueueUiMessage(MakeMessage(self, WM_SYSCOMMAND, minimized ? SC_MINIMIZE : SC_RESTORE,
                                                   0, QCursor::pos()));
                });
        }
        return QWidget::event(e);
    case QEvent::Close:
        // The close button of a framed window asks the window, which decides.
        e->ignore();
        QueueUiMessage(MakeMessage(m_hwnd, WM_SYSCOMMAND, SC_CLOSE, 0, QCursor::pos()));
        return true;
    case QEvent::Timer:
    {
        auto w = Find(m_hwnd);
        if (w && w->trackHover && static_cast<QTimerEvent*>(e)->timerId() == static_cast<int>(w->hoverTimer))
        {
            killTimer(static_cast<int>(w->hoverTimer));
            w->hoverTimer = 0;
            w->trackHover = false;
            const QPoint p = ScreenToClientPoint(*w, QPoint(g_cursor.x, g_cursor.y));
            QueueUiMessage(MakeMessage(m_hwnd, WM_MOUSEHOVER, MouseKeys(g_buttons, g_modifiers),
                                       MAKELPARAM(p.x(), p.y()), QPoint(g_cursor.x, g_cursor.y)));
            return true;
        }
        return QWidget::event(e);
    }
    default:
        return QWidget::event(e);
    }
}

void HostWidget::Mouse(QMouseEvent* e, bool press, bool release, bool doubleClick)
{
    QueueMouseInput(m_hwnd, e, press, release, doubleClick);
}

void HostWidget::Key(QKeyEvent* e, bool down)
{
    QueueKeyInput(m_hwnd, e, down);
}

void HostWidget::paintEvent(QPaintEvent* e)
{
    auto w = Find(m_hwnd);
    if (!w)
        return;
    PaintWidget(*w, *this, e->region());
}

void QueueMouseInput(HWND from, QMouseEvent* e, bool press, bool release, bool doubleClick)
{
    g_lastInputTick = GetTickCount();
    const QPoint global = e->globalPosition().toPoint();
    g_cursor = POINT{global.x(), global.y()};
    g_cursorKnown = true;
    g_buttons = e->buttons();
    g_modifiers = e->modifiers();
    g_keys[VK_LBUTTON] = (e->buttons() & Qt::LeftButton) != 0;
    g_keys[VK_RBUTTON] = (e->buttons() & Qt::RightButton) != 0;
    g_keys[VK_MBUTTON] = (e->buttons() & Qt::MiddleButton) != 0;

    WindowPtr target;
    const HWND capture = GetCapture();
    if (capture)
        target = Find(capture);
    else
        target = MouseTarget(Find(from));
    if (!capture)
        PointerOver(target ? target->hwnd : nullptr);
    if (!target)
        return;

    const QPoint client = ScreenToClientPoint(*target, global);
    const RECT c = ClientRectOf(*target);
    const bool inClient = client.x() >= 0 && client.y() >= 0 && client.x() < c.right && client.y() < c.bottom;
    const bool nonClient = !capture && !inClient;

    int button = 0; // 0 left, 1 right, 2 middle
    if (e->button() == Qt::RightButton)
        button = 1;
    else if (e->button() == Qt::MiddleButton)
        button = 2;
    UINT msg;
    if (!press && !release)
        msg = nonClient ? WM_NCMOUSEMOVE : WM_MOUSEMOVE;
    else if (nonClient)
    {
        if (button != 0)
            return;
        msg = release ? WM_NCLBUTTONUP : (doubleClick ? WM_NCLBUTTONDBLCLK : WM_NCLBUTTONDOWN);
    }
    else
    {
        static const UINT downs[3] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
        static const UINT ups[3] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
        static const UINT doubles[3] = {WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK};
        if (release)
            msg = ups[button];
        else if (doubleClick && (target->cls->style & CS_DBLCLKS))
            msg = doubles[button];
        else
            msg = downs[button]; // without CS_DBLCLKS the second click of a double click is a plain press
    }
    if (nonClient)
        QueueUiMessage(MakeMessage(target->hwnd, msg, HTBORDER, MAKELPARAM(global.x(), global.y()), global),
                       true);
    else
        QueueUiMessage(MakeMessage(target->hwnd, msg, MouseKeys(e->buttons(), e->modifiers()),
                                   MAKELPARAM(client.x(), client.y()), global),
                       true);
    if (!press && !release && target->trackHover && target->hoverTimer == 0 && target->widget)
        target->hoverTimer =
            static_cast<UINT_PTR>(target->widget->startTimer(static_cast<int>(target->hoverMs)));
    e->accept();
}

void QueueKeyInput(HWND from, QKeyEvent* e, bool down)
{
    g_lastInputTick = GetTickCount();
    g_modifiers = e->modifiers();
    g_keys[VK_SHIFT] = (e->modifiers() & Qt::ShiftModifier) != 0;
    g_keys[VK_CONTROL] = (e->modifiers() & Qt::ControlModifier) != 0;
    g_keys[VK_MENU] = (e->modifiers() & Qt::AltModifier) != 0;
    const UINT vk = VirtualKey(e->key());
    HWND target = GetFocus();
    if (!target)
        target = from;
    auto w = Find(target);
    if (!w || !IsInputEnabled(*w))
        return;
    const bool wasDown = vk ? g_keys[vk] : false;
    if (vk)
        g_keys[vk] = down;
    const bool alt = (e->modifiers() & Qt::AltModifier) != 0;
    const UINT msg =
        (alt || vk == VK_F10) ? (down ? WM_SYSKEYDOWN : WM_SYSKEYUP) : (down ? WM_KEYDOWN : WM_KEYUP);
    LPARAM lp = 1 | (static_cast<LPARAM>(e->nativeScanCode() & 0xFF) << 16);
    if (alt)
        lp |= LPARAM{1} << 29;
    if (!down || wasDown)
        lp |= LPARAM{1} << 30;
    if (!down)
        lp |= LPARAM{1} << 31;
    const MSG m = MakeMessage(target, msg, vk, lp, QCursor::pos());
    QueueUiMessage(m);
    if (down && !e->text().isEmpty() && !(e->modifiers() & Qt::ControlModifier))
    {
        std::u32string text;
        for (char32_t ch : e->text().toUcs4())
            if (ch >= 0x20 || ch == '\r' || ch == '\t' || ch == '\b' || ch == 0x1B)
                text.push_back(ch);
        if (!text.empty())
            RememberKeyText(m, text);
    }
    e->accept();
}

} // namespace platform::window::detail

using namespace platform::window::detail;

BOOL GetLastInputInfo(LASTINPUTINFO* info)
{
    PW_ON_UI_THREAD(GetLastInputInfo(info));
    if (!info || info->cbSize != sizeof(LASTINPUTINFO))
        return FALSE;
    info->dwTime = g_lastInputTick;
    return TRUE;
}

BOOL TrackMouseEvent(LPTRACKMOUSEEVENT track)
{
    PW_ON_UI_THREAD(TrackMouseEvent(track));
    if (!track || track->cbSize < sizeof(TRACKMOUSEEVENT))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (track->dwFlags & TME_QUERY)
    {
        track->dwFlags = 0;
        track->hwndTrack = nullptr;
        if (auto w = Find(g_lastMouse))
        {
            if (w->trackLeave)
                track->dwFlags |= TME_LEAVE;
            if (w->trackHover)
                track->dwFlags |= TME_HOVER;
            if (track->dwFlags)
            {
                track->hwndTrack = w->hwnd;
                track->dwHoverTime = w->hoverMs;
            }
        }
        return TRUE;
    }
    auto w = Get(track->hwndTrack);
    if (!w)
        return FALSE;
    const bool cancel = (track->dwFlags & TME_CANCEL) != 0;
    if (track->dwFlags & TME_LEAVE)
    {
        if (cancel)
            w->trackLeave = false;
        else if (g_lastMouse != w->hwnd)
            // Not under the pointer: the leave is owed at once, as the system does.
            QueueUiMessage(MakeMessage(w->hwnd, WM_MOUSELEAVE, 0, 0, QPoint(g_cursor.x, g_cursor.y)));
        else
            w->trackLeave = true;
    }
    if (track->dwFlags & TME_HOVER)
    {
        if (w->hoverTimer && w->widget)
            w->widget->killTimer(static_cast<int>(w->hoverTimer));
        w->hoverTimer = 0;
        w->trackHover = !cancel;
        w->hoverMs = track->dwHoverTime == HOVER_DEFAULT ? 400 : track->dwHoverTime;
        if (!cancel && w->widget)
            w->hoverTimer = static_cast<UINT_PTR>(w->widget->startTimer(static_cast<int>(w->hoverMs)));
    }
    return TRUE;
}

BOOL GetCursorPos(LPPOINT point)
{
    PW_ON_UI_THREAD(GetCursorPos(point));
    if (!point)
        return FALSE;
    if (g_cursorKnown)
        *point = g_cursor;
    else
    {
        const QPoint p = QCursor::pos();
        *point = POINT{p.x(), p.y()};
    }
    return TRUE;
}

BOOL SetCursorPos(int x, int y)
{
    PW_ON_UI_THREAD(SetCursorPos(x, y));
    g_cursor = POINT{x, y};
    g_cursorKnown = true;
    QCursor::setPos(x, y);
    return TRUE;
}

SHORT GetKeyState(int virtualKey)
{
    PW_ON_UI_THREAD(GetKeyState(virtualKey));
    if (virtualKey < 0 || virtualKey > 255)
        return 0;
    return g_keys[static_cast<std::size_t>(virtualKey)] ? static_cast<SHORT>(-32768) : 0;
}

SHORT GetAsyncKeyState(int virtualKey)
{
    return GetKeyState(virtualKey);
}

namespace platform::window::detail
{
HWND LastMouseWindow()
{
    return g_lastMouse;
}
} // namespace platform::window::detail

namespace platform::window
{
WPARAM MouseKeys(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    WPARAM keys = 0;
    if (buttons & Qt::LeftButton)
        keys |= MK_LBUTTON;
    if (buttons & Qt::RightButton)
        keys |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton)
        keys |= MK_MBUTTON;
    if (modifiers & Qt::ShiftModifier)
        keys |= MK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        keys |= MK_CONTROL;
    return keys;
}
} // namespace platform::window
