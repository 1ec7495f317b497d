#pragma once

#include "platform/win/WinTypes.h"

#include <map>
#include <set>

class CWnd;
class CToolTipCtrl;

/// Makes the main window and its companion dialogs behave as one group: moved, hidden, raised and enabled
/// together. One instance for the process, reached through GetWndMediator. User-interface thread only.
///
/// Colleagues are not owned. A colleague leaves the group when its window is destroyed or its object goes
/// away: group operations act only on colleagues whose window exists, found through the windows that
/// exist, so the mediator never touches the object of a destroyed colleague.
class CWndMediator
{
public:
    CWndMediator() = default;
    CWndMediator(const CWndMediator&) = delete;
    CWndMediator& operator=(const CWndMediator&) = delete;
    virtual ~CWndMediator();

    /// Adds a colleague (once); the first registration creates the group's tooltip control.
    virtual void Register(CWnd* colleague);
    /// Moves every colleague by (dx, dy), dx mirrored for right-to-left windows; sizes and z-order stay.
    virtual void MoveAll(int dx, int dy);
    /// (left + 3, bottom - 6) of the window's screen rectangle; FALSE for null or a window that is gone.
    virtual BOOL GetToolTipAnchor(CWnd* wnd, POINT* anchor);
    virtual void Reserved1() {}
    virtual void HideAll();
    virtual void SetTopMostAll();
    virtual void SetNoTopMostAll();
    virtual void EnableAll(BOOL enable);
    /// Replaces the tooltip pointer; the old control is neither destroyed nor freed.
    virtual void SetToolTip(CToolTipCtrl* toolTip);
    virtual CToolTipCtrl* GetToolTip();
    virtual void Reserved2() {}

    /// Takes a colleague out of the group (for a colleague object that goes away).
    void Unregister(CWnd* colleague);
    /// The number of colleagues in the group, after dropping those whose window was destroyed.
    std::size_t GetColleagueCount();

private:
    /// The colleagues whose window exists, with their window, in the order of the set; colleagues whose
    /// window is known to have been destroyed leave the group.
    std::map<CWnd*, HWND> LiveColleagues();

    std::set<CWnd*> m_colleagues;
    /// The window each colleague was last seen with.
    std::map<CWnd*, HWND> m_seen;
    CToolTipCtrl* m_pToolTip = nullptr;
};

/// The process-wide mediator, built on first use.
CWndMediator* GetWndMediator();
