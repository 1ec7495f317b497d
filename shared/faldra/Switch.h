#pragma once

#include "platform/window/Afx.h"
#include "platform/window/CommCtrl.h"
#include "shared/faldra/Export.h"

namespace faldra
{
/// A vertical switch of four horizontal bands: a click activates the band under the mouse and the control
/// shows that band's picture (bitmap resources of the calling program). User-interface thread only.
class FALDRA_API CSwitch : public CStatic
{
    DECLARE_DYNAMIC(CSwitch)
public:
    enum ERegion
    {
        Band1 = 1,
        Band2 = 2,
        Band4 = 4,
        Band8 = 8,
        Band16 = 16,
    };

    CSwitch(int band2, int band1, int band4, int band8);
    ~CSwitch() override;

    /// Band 2 gets text1, band 1 text2, band 4 text3, band 8 text4; registers the control as a tool.
    virtual void SetToolTips(CToolTipCtrl* tooltip, const CString& text1, const CString& text2,
                             const CString& text3, const CString& text4);
    virtual void SetActive(ERegion band);
    virtual ERegion GetActive() const { return m_active; }
    virtual ERegion GetPrevious() const { return m_previous; }

protected:
    virtual void RefreshDisplay();
    virtual ERegion GetRegionForPoint(CPoint point) const;
    virtual void RelayEvent(UINT message, WPARAM wParam, LPARAM lParam);
    /// Shows the bitmap `id` (none for 0), deleting the picture shown so far.
    void ShowBitmap(int id);
    /// Relays to the tooltip with `text` as the tip (unchanged for null).
    void Relay(UINT message, WPARAM wParam, LPARAM lParam, const CString* text);
    static int Height(const CWnd& wnd);

    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg void OnLButtonUp(UINT flags, CPoint point);
    afx_msg void OnMouseMove(UINT flags, CPoint point);
    DECLARE_MESSAGE_MAP()

    ERegion m_previous = Band1;
    ERegion m_active = Band1;
    CBitmap m_picture;
    CToolTipCtrl* m_tooltip = nullptr;
    int m_band2;
    int m_band1;
    int m_band4;
    int m_band8;
    CString m_text2;
    CString m_text4;
    CString m_text1;
    CString m_text8;
};

/// The five-band switch.
class FALDRA_API CSwitch5 : public CSwitch
{
    DECLARE_DYNAMIC(CSwitch5)
public:
    CSwitch5(int band2, int band1, int band4, int band8, int band16);
    ~CSwitch5() override;
    void SetToolTips(CToolTipCtrl* tooltip, const CString& text1, const CString& text2, const CString& text3,
                     const CString& text4, const CString& text5);

protected:
    void RefreshDisplay() override;
    ERegion GetRegionForPoint(CPoint point) const override;
    void RelayEvent(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    int m_band16;
    CString m_text16;
};
} // namespace faldra
