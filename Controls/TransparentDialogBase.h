#pragma once

#include "Controls/DialogTemplateFont.h"
#include "Controls/GdiPlusBitmap.h"
#include "platform/window/Afx.h"

/// Sent by the dialog base's erase handler to its visible button children after each background paint:
/// wParam is the CDC* holding the dialog's background bitmap, valid only during the call.
constexpr UINT WM_REFRESH_BUTTON_BKGND = WM_APP + 0xCCB;
/// Sent by waitable tasks to their parent around a modal wait (wParam 0 before, 1 after); answered 0.
constexpr UINT WM_MODAL_TASK_STATE = WM_APP + 0x3FF0;
/// Nested enabling: wParam non-zero enables one level, zero disables one; the dialog is enabled while the
/// count is 0 or more.
constexpr UINT WM_ENABLE_COUNTED = WM_APP + 0x3FEF;

/// The base of every skinned dialog: the dialog is cut to the opaque pixels of its background PNG and
/// paints it; behind it a layered "TranFakeWnd" pop-up shows the same PNG with its alpha channel. The
/// layered window is the dialog's parent window; the window that opened the dialog (the logical parent,
/// GetParent) owns the layered window. User-interface thread only.
class CTransparentDialogBase : public CDialog
{
    DECLARE_DYNAMIC(CTransparentDialogBase)
public:
    /// For dialogs run with DoModal: creates the layered window at once.
    CTransparentDialogBase(UINT pngId, UINT templateId, CWnd* parent, BOOL movable);
    /// The same with an extra argument that is not read, for callers written against that form.
    CTransparentDialogBase(UINT pngId, UINT templateId, CWnd* parent, void* unused, BOOL movable);
    /// For dialogs created later with Create.
    explicit CTransparentDialogBase(UINT pngId);
    ~CTransparentDialogBase() override;

    BOOL DestroyWindow() override;
    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    void PostNcDestroy() override;
    /// Creates the layered window and the modeless dialog from `templateId`; FALSE on failure.
    BOOL Create(UINT templateId, CWnd* parent = nullptr) override;
    using CDialog::Create;
    /// Already running modally: shows the dialog again and returns 0. Otherwise disables the logical
    /// parent and runs the dialog.
    INT_PTR DoModal() override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    /// Draws the background PNG with its alpha onto the layered window.
    virtual void DrawLayeredBackground();
    /// Moves the dialog (when movable) by the pointer's offset from the press point.
    virtual void DragMove(POINT* point);

    /// The logical parent: the window that opened the dialog, not the layered parent window.
    CWnd* GetParent() const;
    HWND GetLayeredWindow() const noexcept { return m_hLayered; }
    /// Loads another background PNG; OnInitDialog makes the region and background bitmap from it.
    void SetBackgroundImage(UINT pngId);
    /// Moves the dialog and the layered window to `rect` (screen coordinates).
    void MoveWindow(const RECT& rect, BOOL repaint = TRUE);
    using CDialog::MoveWindow;
    /// Deletes the background bitmap; derived dialogs call it from their WM_DESTROY handlers.
    void OnDestroy();
    /// The message sent to button children after each background erase, for every dialog of the module;
    /// 0 sends nothing.
    static void SetRefreshMessage(UINT message);
    static UINT GetRefreshMessage() noexcept;

    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg void OnLButtonUp(UINT flags, CPoint point);
    afx_msg void OnMouseMove(UINT flags, CPoint point);
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    afx_msg void OnMove(int x, int y);
    afx_msg void OnShowWindow(BOOL show, UINT status);
    afx_msg void OnSize(UINT type, int cx, int cy);
    afx_msg LRESULT OnModalTaskState(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnEnableCounted(WPARAM wParam, LPARAM lParam);
    afx_msg void OnDisplayChange(UINT bitsPerPixel, int cx, int cy);
    afx_msg void OnSettingChange(UINT flags, LPCTSTR section);

protected:
    CDialogTemplateFont m_templateFont;
    int m_nEnableCount = 0;
    BYTE m_bMovable = TRUE;
    BOOL m_bRunningModal = FALSE;
    CPNGResource m_background;
    int m_nBackgroundWidth = 0;
    int m_nBackgroundHeight = 0;
    HWND m_hLayered = nullptr;
    /// Set from the left-button press on the background until its release.
    BOOL m_bDragging = FALSE;
    /// The press, in client coordinates.
    CPoint m_ptPress;
    CRect m_rcDrag;
    UINT m_nTemplateId = 0;
    HBITMAP m_hBackgroundBitmap = nullptr;

    DECLARE_MESSAGE_MAP()

private:
    void CreateLayeredWindow(CWnd* parent);
    void LoadBackground(UINT pngId);
    void DeleteBackgroundBitmap();
    void AlignLayeredWindow(const RECT& rect);
    /// Whether the logical parent was enabled when DoModal disabled it; only then is it enabled again.
    BOOL m_bParentWasEnabled = FALSE;
    BOOL m_bParentDisabled = FALSE;
};
