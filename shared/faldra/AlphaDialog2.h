#pragma once

#include "platform/window/Afx.h"
#include "shared/faldra/Export.h"

namespace faldra
{
/// A modeless dialog whose key-coloured (pure green) background is keyed out, floating over a layered
/// background window that shows a 32-bit per-pixel-alpha picture of the calling program. User-interface
/// thread only; raises nothing.
class FALDRA_API CAlphaDialog2 : public CDialog
{
    DECLARE_DYNAMIC(CAlphaDialog2)
public:
    static constexpr COLORREF kKeyColor = RGB(0, 255, 0);

    CAlphaDialog2();
    CAlphaDialog2(LPCSTR templateName, CWnd* parent);
    CAlphaDialog2(UINT templateId, CWnd* parent);
    CAlphaDialog2(const CAlphaDialog2&) = delete;
    CAlphaDialog2& operator=(const CAlphaDialog2&) = delete;
    ~CAlphaDialog2() override;

    /// Creates the background window, then the dialog as its child; FALSE when either cannot be made.
    BOOL Create(UINT templateId, CWnd* parent = nullptr) override;
    BOOL Create(LPCTSTR templateName, CWnd* parent = nullptr) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    /// Loads a 32-bit bitmap of the program's own module as the background picture; 0 when it is missing or
    /// of another depth.
    virtual int SetAlphaBitmap(UINT id);

    HWND GetBackgroundWindow() const { return m_background; }
    /// The premultiplied picture the background window shows, or null.
    HBITMAP GetAlphaBitmap() const { return m_alphaBitmap; }

protected:
    afx_msg BOOL OnEraseBkgnd(CDC* dc);
    afx_msg void OnMove(int x, int y);
    afx_msg void OnClose();
    DECLARE_MESSAGE_MAP()

private:
    BOOL CreateBackgroundWindow(HWND owner);
    HBITMAP CreateOnePixelBitmap(COLORREF color);
    void SetBitmapStreched(HBITMAP bitmap);
    void SetTransparentColor(COLORREF color);
    static void PreMultiplyRGBChannels(HBITMAP bitmap, BYTE* bits);
    void UpdateAlphaBitmap(SIZE* size = nullptr, POINT* position = nullptr);
    void DestroyBackground();

    HBITMAP m_backBitmap = nullptr;
    HBITMAP m_alphaBitmap = nullptr;
    HWND m_background = nullptr;
};
} // namespace faldra
