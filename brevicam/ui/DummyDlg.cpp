#include "brevicam/ui/DummyDlg.h"

#include "platform/window/WinApp.h"

IMPLEMENT_DYNAMIC(CDummyDlg, CTransparentDialogBase)

BEGIN_MESSAGE_MAP(CDummyDlg, CTransparentDialogBase)
END_MESSAGE_MAP()

// Created later (Create with template 291 and the main dialog), so that no window exists on the systems
// that never show the strip.
CDummyDlg::CDummyDlg(CWnd*) : CTransparentDialogBase(kBackgroundPng) {}

CDummyDlg::~CDummyDlg() = default;

void CDummyDlg::DoDataExchange(CDataExchange*) {}

void CDummyDlg::MoveToMainWindowCorner()
{
    CWnd* main = AfxGetMainWnd();
    if (!main || !main->GetSafeHwnd() || !GetSafeHwnd())
        return;
    CRect mainRect;
    main->GetWindowRect(&mainRect);
    CRect own;
    GetWindowRect(&own);
    const int left = mainRect.right - kLeftOfMainRight;
    const int bottom = mainRect.bottom - kAboveMainBottom;
    const CRect place(left, bottom - own.Height(), left + own.Width(), bottom);
    MoveWindow(place, TRUE);
    UpdateWindow();
}
