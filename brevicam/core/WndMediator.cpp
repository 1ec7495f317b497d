#include "WndMediator.h"

#include "platform/window/Controls.h"
#include "platform/window/WinUser.h"
#include "platform/window/Wnd.h"

namespace
{
struct Search
{
    const std::set<CWnd*>* colleagues;
    std::map<CWnd*, HWND>* found;
};

BOOL CALLBACK VisitChild(HWND hwnd, LPARAM param)
{
    auto* search = reinterpret_cast<Search*>(param);
    // Only the class library's own map says which objects are alive: an object in it owns this window.
    if (CWnd* wnd = CWnd::FromHandlePermanent(hwnd); wnd && search->colleagues->count(wnd))
        search->found->emplace(wnd, hwnd);
    return TRUE;
}

BOOL CALLBACK Visit(HWND hwnd, LPARAM param)
{
    VisitChild(hwnd, param);
    ::EnumChildWindows(hwnd, VisitChild, param); // every descendant
    return TRUE;
}
} // namespace

CWndMediator::~CWndMediator()
{
    m_colleagues.clear();
}

void CWndMediator::Register(CWnd* colleague)
{
    if (!colleague)
        return;
    m_colleagues.insert(colleague);
    if (colleague->GetSafeHwnd())
        m_seen[colleague] = colleague->GetSafeHwnd();
    if (!m_pToolTip)
    {
        m_pToolTip = new CToolTipCtrl;
        m_pToolTip->Create(CWnd::GetDesktopWindow(), TTS_ALWAYSTIP);
        m_pToolTip->SendMessage(TTM_SETDELAYTIME, TTDT_AUTOMATIC, 30);
    }
}

void CWndMediator::Unregister(CWnd* colleague)
{
    m_colleagues.erase(colleague);
    m_seen.erase(colleague);
}

std::map<CWnd*, HWND> CWndMediator::LiveColleagues()
{
    std::map<CWnd*, HWND> live;
    if (m_colleagues.empty())
        return live;
    Search search{&m_colleagues, &live};
    ::EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
    // A colleague whose window was seen and is no longer among the live ones was destroyed (its object
    // may be gone too): it leaves the group without being touched.
    for (auto it = m_seen.begin(); it != m_seen.end();)
    {
        auto now = live.find(it->first);
        if (now == live.end())
        {
            m_colleagues.erase(it->first);
            it = m_seen.erase(it);
        }
        else
        {
            it->second = now->second;
            ++it;
        }
    }
    for (const auto& [wnd, hwnd] : live)
        m_seen[wnd] = hwnd;
    return live;
}

std::size_t CWndMediator::GetColleagueCount()
{
    LiveColleagues();
    return m_colleagues.size();
}

void CWndMediator::MoveAll(int dx, int dy)
{
    for (const auto& [wnd, hwnd] : LiveColleagues())
    {
        RECT rect{};
        ::GetWindowRect(hwnd, &rect);
        const LONG exStyle = static_cast<LONG>(::GetWindowLongPtr(hwnd, GWL_EXSTYLE));
        const int x = rect.left + ((exStyle & WS_EX_LAYOUTRTL) ? -dx : dx);
        ::SetWindowPos(hwnd, nullptr, x, rect.top + dy, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    }
}

BOOL CWndMediator::GetToolTipAnchor(CWnd* wnd, POINT* anchor)
{
    if (!wnd || !anchor)
        return FALSE;
    auto live = LiveColleagues();
    HWND hwnd = nullptr;
    if (auto it = live.find(wnd); it != live.end())
        hwnd = it->second;
    else if (m_colleagues.count(wnd) == 0)
        hwnd = wnd->GetSafeHwnd(); // not a colleague: the caller vouches for the object
    if (!hwnd || !::IsWindow(hwnd))
        return FALSE;
    RECT rect{};
    ::GetWindowRect(hwnd, &rect);
    anchor->x = rect.left + 3;
    anchor->y = rect.bottom - 6;
    return TRUE;
}

void CWndMediator::HideAll()
{
    for (const auto& [wnd, hwnd] : LiveColleagues())
        ::ShowWindow(hwnd, SW_HIDE);
}

void CWndMediator::SetTopMostAll()
{
    for (const auto& [wnd, hwnd] : LiveColleagues())
        ::SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW | SWP_NOOWNERZORDER);
}

void CWndMediator::SetNoTopMostAll()
{
    for (const auto& [wnd, hwnd] : LiveColleagues())
        ::SetWindowPos(hwnd, HWND_NOTOPMOST, 0, 0, 0, 0,
                       SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW | SWP_NOOWNERZORDER);
}

void CWndMediator::EnableAll(BOOL enable)
{
    for (const auto& [wnd, hwnd] : LiveColleagues())
        ::EnableWindow(hwnd, enable);
}

void CWndMediator::SetToolTip(CToolTipCtrl* toolTip)
{
    m_pToolTip = toolTip;
}

CToolTipCtrl* CWndMediator::GetToolTip()
{
    return m_pToolTip;
}

CWndMediator* GetWndMediator()
{
    static CWndMediator mediator;
    return &mediator;
}
