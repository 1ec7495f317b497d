#pragma once

#include "Controls/TransparentDialogBase.h"

/// A placeholder without behaviour of its own: a thin, almost invisible strip (background PNG 888, 2 x 150
/// pixels) that the main dialog keeps near its lower right corner on Windows 7. User-interface thread only.
class CDummyDlg : public CTransparentDialogBase
{
    DECLARE_DYNAMIC(CDummyDlg)
public:
    static constexpr UINT IDD = 291;
    static constexpr UINT kBackgroundPng = 888;
    /// Where the strip sits: its left edge this far left of the main window's right edge, its bottom edge
    /// this far above the main window's bottom edge.
    static constexpr int kLeftOfMainRight = 430;
    static constexpr int kAboveMainBottom = 230;

    /// The window comes with Create(IDD, parent).
    explicit CDummyDlg(CWnd* parent);
    ~CDummyDlg() override;
    CDummyDlg(const CDummyDlg&) = delete;
    CDummyDlg& operator=(const CDummyDlg&) = delete;

    /// Moves the strip, keeping its size, to its place by the application's main window and repaints it
    /// at once; nothing without a main window.
    void MoveToMainWindowCorner();

protected:
    void DoDataExchange(CDataExchange* dx) override;

    DECLARE_MESSAGE_MAP()
};
