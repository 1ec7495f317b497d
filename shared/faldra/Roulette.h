#pragma once

#include "platform/window/Afx.h"
#include "platform/window/CommCtrl.h"
#include "shared/faldra/Export.h"

#include <cstring>
#include <map>

namespace faldra
{
/// Sent to the parent on every left button release over a region control; a non-zero answer means the
/// parent handled the click.
constexpr UINT WM_ROULETTE_LBUTTONUP = WM_APP + 0x29A;

/// A bitmap static divided into named regions, each with a hover picture, an enabled flag and a tooltip
/// text; a derived class says which region a point is in. The window is cut to the opaque pixels of the
/// main picture (a 32-bit bitmap resource of the calling program). Attach it by subclassing a static.
/// User-interface thread only; raises nothing.
class FALDRA_API CRoulette : public CStatic
{
    DECLARE_DYNAMIC(CRoulette)
public:
    class FALDRA_API CRegion
    {
    public:
        CRegion(UINT over, const CString& tooltip);
        CRegion(UINT over, UINT pressed, const CString& tooltip);
        CRegion(UINT over, UINT pressed, UINT disabled, const CString& tooltip);
        CRegion(const CRegion&) = delete;
        CRegion& operator=(const CRegion&) = delete;
        ~CRegion();

        void Enable() { m_enabled = TRUE; }
        void Disable() { m_enabled = FALSE; }
        BOOL IsEnabled() const { return m_enabled; }
        const CBitmap& GetOverImage() const { return m_over; }
        const CBitmap& GetPressedImage() const { return m_pressed; }
        const CBitmap& GetDisabledImage() const { return m_disabled; }
        const CString& GetToolTip() const { return m_tooltip; }

    private:
        CBitmap m_over;
        CBitmap m_pressed;
        CBitmap m_disabled;
        CString m_tooltip;
        BOOL m_enabled = TRUE;
    };

    struct NameLess
    {
        bool operator()(const CString& a, const CString& b) const
        {
            return std::strcmp(static_cast<LPCTSTR>(a), static_cast<LPCTSTR>(b)) < 0;
        }
    };
    using RegionMap = std::map<CString, CRegion*, NameLess>;

    CRoulette(UINT bitmap, CToolTipCtrl& tooltip);
    CRoulette(const CRoulette&) = delete;
    CRoulette& operator=(const CRoulette&) = delete;
    ~CRoulette() override;

    /// Replaces any region of the same name.
    virtual void AddRegion(const CString& name, UINT over, UINT pressed, UINT disabled,
                           const CString& tooltip);
    virtual void AddRegion(const CString& name, UINT over, UINT pressed, const CString& tooltip);
    virtual void AddRegion(const CString& name, UINT over, const CString& tooltip);
    virtual void Enable(const CString& name);
    virtual void Disable(const CString& name);
    /// The name of the region under a client point.
    virtual CString GetRegion(CPoint point) const = 0;

    const CString& GetCurrentRegion() const { return m_current; }
    HBITMAP GetMainImage() const { return static_cast<HBITMAP>(m_main.GetSafeHandle()); }

protected:
    virtual const RegionMap& GetRegions() const { return m_regions; }
    /// The picture's rectangle less its pixels with alpha below 255 (which are made opaque in the bitmap).
    virtual HRGN GetTransparentRgn(HBITMAP bitmap);
    void PreSubclassWindow() override;

    afx_msg void OnMouseMove(UINT flags, CPoint point);
    afx_msg LRESULT OnMouseLeave(WPARAM, LPARAM);
    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg void OnLButtonUp(UINT flags, CPoint point);
    afx_msg LRESULT OnSetText(WPARAM, LPARAM);
    afx_msg HBRUSH CtlColor(CDC* dc, UINT ctlColor);
    DECLARE_MESSAGE_MAP()

private:
    const CRegion* Find(const CString& name) const;
    void Show(HBITMAP bitmap);
    void RelayEvent(UINT message, WPARAM wParam, LPARAM lParam);

    RegionMap m_regions;
    CBitmap m_main;
    BOOL m_tracking = FALSE;
    CToolTipCtrl* m_tooltip;
    HRGN m_windowRgn = nullptr; // owned by the window once set
    CString m_current;
    int m_lastX = -1;
    int m_lastY = -1;
};

/// Three regions stacked vertically: "Video" in the top quarter, "Audio" in the second, "About" below.
class FALDRA_API CPetalsRoulette : public CRoulette
{
    DECLARE_DYNAMIC(CPetalsRoulette)
public:
    CPetalsRoulette(UINT bitmap, CToolTipCtrl& tooltip);
    ~CPetalsRoulette() override;
    CString GetRegion(CPoint point) const override;

protected:
    DECLARE_MESSAGE_MAP()
};
} // namespace faldra
