#pragma once

#include "Controls/TransparentDialogBase.h"

class CWndMediator;

/// The base of the program's skinned dialogs that move as one group (the main dialog, the capture panel
/// and the leave-full-screen window). Each colleague joins the program's window mediator when it is built
/// and whenever its window is created again, and leaves it when its window is destroyed or the object
/// goes away. Dragging a colleague by its background moves every colleague through the mediator.
/// User-interface thread only.
class CDialogColleague : public CTransparentDialogBase
{
    DECLARE_DYNAMIC(CDialogColleague)
public:
    /// A dialog whose window is created later with CTransparentDialogBase::Create; the derived class sets
    /// the background image in its initialisation.
    explicit CDialogColleague(UINT templateId);
    /// A dialog with its background PNG, template, logical parent and movable flag; `unused` is not read.
    CDialogColleague(UINT pngId, UINT templateId, CWnd* parent, void* unused, BOOL movable = TRUE);
    ~CDialogColleague() override;

    /// While a drag runs and the left button is down, moves the group by the pointer's offset from the
    /// press point, keeping at least 35 pixels of this dialog inside the work area vertically.
    afx_msg void OnMouseMove(UINT flags, CPoint point);

protected:
    /// Joins the group again when a window is created for the object, and leaves it once the window is
    /// gone, before any handler of a derived class can be skipped.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    /// The program's window mediator, taken at construction; not owned.
    CWndMediator* m_pMediator;

    DECLARE_MESSAGE_MAP()
};
