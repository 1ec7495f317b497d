// The class library's tooltips: a window that turns them on names the tool under the pointer
// (OnToolHitTest), and the thread's one tooltip control shows that tool's tip.

#include "platform/window/Controls.h"
#include "platform/window/WindowInternal.h"
#include "platform/window/Wnd.h"

#include <strings.h>

namespace
{
/// The thread's tooltip control; it goes with its window.
class CThreadToolTip final : public CToolTipCtrl
{
protected:
    void PostNcDestroy() override;
};

/// What the thread's tooltip shows now: at most one tool, of the window with tooltips on whose hit test
/// named it last.
struct ToolTipState
{
    CThreadToolTip* tip = nullptr;
    HWND owner = nullptr;      // the window with tooltips on that named the tool
    HWND toolWindow = nullptr; // the tool's window and id, as they were added to the tooltip
    UINT_PTR toolId = 0;
    INT_PTR hit = -1;           // what OnToolHitTest returned; -1 while there is no tool
    HWND leaveWindow = nullptr; // the window whose WM_MOUSELEAVE ends the tool
};

// User-interface thread only: windows, and so tooltips, live there.
thread_local ToolTipState t_tips;

void CThreadToolTip::PostNcDestroy()
{
    if (t_tips.tip == this)
        t_tips = ToolTipState{};
    delete this;
}

CToolTipCtrl* EnsureThreadToolTip()
{
    if (t_tips.tip && ::IsWindow(t_tips.tip->m_hWnd))
        return t_tips.tip;
    auto* tip = new CThreadToolTip;
    // Always-tip: the tools may sit in a pop-up that never becomes the active window, as a drop-down list.
    if (!tip->Create(nullptr, TTS_ALWAYSTIP | TTS_NOPREFIX))
    {
        delete tip;
        return nullptr;
    }
    t_tips = ToolTipState{};
    t_tips.tip = tip;
    return tip;
}

/// Takes the tool out of the tooltip, which hides its tip.
void ForgetTool()
{
    ToolTipState& s = t_tips;
    if (s.hit != -1 && s.tip && ::IsWindow(s.tip->m_hWnd))
    {
        TOOLINFO info{};
        info.cbSize = sizeof info;
        info.hwnd = s.toolWindow;
        info.uId = s.toolId;
        s.tip->SendMessage(TTM_DELTOOL, 0, reinterpret_cast<LPARAM>(&info));
    }
    CThreadToolTip* tip = s.tip;
    s = ToolTipState{};
    s.tip = tip;
}

/// Asks for WM_MOUSELEAVE from the window under the pointer, so that the tip goes when the pointer leaves
/// it for no window of ours.
void WatchLeave(HWND hwnd)
{
    t_tips.leaveWindow = hwnd;
    TRACKMOUSEEVENT query{sizeof query, TME_LEAVE | TME_QUERY, hwnd, 0};
    ::TrackMouseEvent(&query);
    if ((query.dwFlags & TME_LEAVE) && query.hwndTrack == hwnd)
        return;
    TRACKMOUSEEVENT leave{sizeof leave, TME_LEAVE, hwnd, 0};
    ::TrackMouseEvent(&leave);
}

bool IsMouseMove(UINT message)
{
    return message == WM_MOUSEMOVE || message == WM_NCMOUSEMOVE;
}

bool IsClick(UINT message)
{
    return (message >= WM_LBUTTONDOWN && message <= WM_MBUTTONDBLCLK) ||
           (message >= WM_NCLBUTTONDOWN && message <= WM_NCLBUTTONDBLCLK);
}

/// Messages after which a tip shown so far no longer describes what is under the pointer.
bool EndsTheTip(UINT message)
{
    return message == WM_KEYDOWN || message == WM_SYSKEYDOWN || message == WM_MOUSEWHEEL ||
           message == WM_MOUSEHWHEEL;
}

bool IsTooltipMessage(UINT message)
{
    return IsMouseMove(message) || IsClick(message) || EndsTheTip(message) || message == WM_MOUSELEAVE;
}

/// The screen position of a mouse message.
POINT ScreenPoint(const MSG& msg)
{
    POINT p{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
    // Client messages carry client coordinates; non-client ones carry the screen position already.
    if (msg.message == WM_MOUSEMOVE || (msg.message >= WM_LBUTTONDOWN && msg.message <= WM_MBUTTONDBLCLK))
        ::ClientToScreen(msg.hwnd, &p);
    return p;
}
} // namespace

INT_PTR CWnd::OnToolHitTest(CPoint point, TOOLINFO* info) const
{
    const HWND child = ::ChildWindowFromPoint(m_hWnd, point);
    if (!child || child == m_hWnd || !::IsWindowVisible(child))
        return -1;
    const int id = ::GetDlgCtrlID(child);
    if (id == -1)
        return -1;
    if (info)
    {
        info->hwnd = m_hWnd;
        info->uId = reinterpret_cast<UINT_PTR>(child);
        info->uFlags |= TTF_IDISHWND;
        info->lpszText = LPSTR_TEXTCALLBACK;
    }
    return id;
}

BOOL CWnd::EnableToolTips(BOOL enable)
{
    if (!enable)
    {
        m_nFlags &= ~WF_TOOLTIPS;
        if (m_hWnd && t_tips.owner == m_hWnd)
            ForgetTool();
        return TRUE;
    }
    if (!EnsureThreadToolTip())
        return FALSE;
    m_nFlags |= WF_TOOLTIPS;
    return TRUE;
}

void CWnd::FilterToolTipMessage(MSG* msg)
{
    if (!msg || !m_hWnd)
        return;
    ToolTipState& s = t_tips;
    if (msg->message == WM_MOUSELEAVE)
    {
        if (msg->hwnd == s.leaveWindow)
            ForgetTool();
        return;
    }
    if (EndsTheTip(msg->message))
    {
        ForgetTool();
        return;
    }
    if (IsClick(msg->message))
    {
        // The tooltip hides the tip and keeps it away until the pointer reaches another tool.
        if (s.hit != -1 && s.tip && ::IsWindow(s.tip->m_hWnd))
            s.tip->RelayEvent(msg);
        return;
    }
    if (!IsMouseMove(msg->message))
        return;

    CToolTipCtrl* tip = (m_nFlags & WF_TOOLTIPS) ? EnsureThreadToolTip() : nullptr;
    const POINT screen = ScreenPoint(*msg);
    CPoint point(screen);
    ::ScreenToClient(m_hWnd, &point);
    TOOLINFO info{};
    info.cbSize = sizeof info;
    const INT_PTR hit = tip ? OnToolHitTest(point, &info) : -1;
    if (hit == -1)
    {
        ForgetTool();
        return;
    }
    if (!info.hwnd)
        info.hwnd = m_hWnd;
    if (s.owner != m_hWnd || s.toolWindow != info.hwnd || s.toolId != info.uId || s.hit != hit)
    {
        ForgetTool();
        if (!tip->SendMessage(TTM_ADDTOOL, 0, reinterpret_cast<LPARAM>(&info)))
            return;
        s.owner = m_hWnd;
        s.toolWindow = info.hwnd;
        s.toolId = info.uId;
        s.hit = hit;
    }
    WatchLeave(msg->hwnd);
    // The tooltip follows the pointer over the tool itself, in the tool window's own coordinates.
    MSG relay = *msg;
    relay.message = WM_MOUSEMOVE;
    relay.hwnd = (info.uFlags & TTF_IDISHWND) ? reinterpret_cast<HWND>(info.uId) : info.hwnd;
    POINT client = screen;
    ::ScreenToClient(relay.hwnd, &client);
    relay.lParam = MAKELPARAM(client.x, client.y);
    relay.pt = screen;
    tip->RelayEvent(&relay);
}

namespace platform::window
{
CToolTipCtrl* ThreadToolTip()
{
    return t_tips.tip && ::IsWindow(t_tips.tip->m_hWnd) ? t_tips.tip : nullptr;
}
} // namespace platform::window

namespace platform::window::detail
{
void RouteToolTipMessage(MSG* msg)
{
    if (!msg || !IsTooltipMessage(msg->message) || !t_tips.tip)
        return;
    // The nearest window with tooltips on, from the message's window up to its top-level window.
    for (HWND hwnd = msg->hwnd; hwnd;
         hwnd = (::GetWindowLongPtr(hwnd, GWL_STYLE) & WS_CHILD) ? ::GetParent(hwnd) : nullptr)
    {
        CWnd* wnd = CWnd::FromHandlePermanent(hwnd);
        if (wnd && (wnd->m_nFlags & WF_TOOLTIPS))
        {
            wnd->FilterToolTipMessage(msg);
            return;
        }
    }
    // The pointer is over a window without tooltips, or the message ends any tip.
    if (msg->message != WM_MOUSELEAVE || msg->hwnd == t_tips.leaveWindow)
        ForgetTool();
}

bool IsToolTipWindow(HWND hwnd)
{
    char name[32];
    return hwnd && ::GetClassName(hwnd, name, sizeof name) > 0 && ::strcasecmp(name, TOOLTIPS_CLASS) == 0;
}
} // namespace platform::window::detail
