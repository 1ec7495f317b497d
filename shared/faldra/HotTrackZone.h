#pragma once

#include "shared/faldra/Export.h"
#include "shared/faldra/ModularImage.h"

namespace faldra
{
/// A hit region in the client area of a support window, with one image per tracking state. The zone owns
/// its region and images and holds the support window's DC for its lifetime; it receives the support
/// window's mouse messages through RelayEvent. Failures raise exceptions of the family.
class FALDRA_API CHotTrackZone
{
public:
    enum ETrackState
    {
        TS_NORMAL = 0,
        TS_HOVER = 1,
        TS_DOWN = 2,
    };

    /// Takes ownership of `region`; throws CInvalidArgumentException for a null region or window,
    /// CInvalidObjectException for a handle that is not a window.
    CHotTrackZone(HRGN region, HWND support);
    CHotTrackZone(const CHotTrackZone&) = delete;
    CHotTrackZone& operator=(const CHotTrackZone&) = delete;
    virtual ~CHotTrackZone();

    const CRgn& GetRegion() const { return m_region; }
    HWND GetSupportWnd() const { return m_support; }
    ETrackState GetTrackState() const { return m_state; }
    BOOL IsHover() const { return m_state == TS_HOVER; }
    BOOL IsDown() const { return m_state == TS_DOWN; }

    CRect GetBoundingBox() const;
    BOOL IsPtInside(POINT point) const { return IsPtInside(point.x, point.y); }
    BOOL IsPtInside(int x, int y) const;
    BOOL IsNullRegion() const { return GetBoundingBox().IsRectEmpty(); }

    void Move(int dx, int dy) { DoMove(dx, dy); }
    void Move(CSize offset) { DoMove(offset.cx, offset.cy); }
    /// The region becomes CombineRgn(region, other, mode).
    virtual void UpdateZone(CRgn& other, int mode);

    /// Throws CInvalidArgumentException for a state outside 0 to 2.
    CModularImage* GetImage(ETrackState state) const;
    /// The zone takes ownership of `image` and gives it its support DC; states outside 0 to 2 are ignored.
    void SetImage(CModularImage* image, ETrackState state);
    /// `bitmap` becomes the stretched centre of the state's image; the zone owns it.
    void SetImage(HBITMAP bitmap, ETrackState state);
    /// Loads bitmap `id` of the calling program; throws COSResourceException when it does not load.
    void SetImage(UINT id, ETrackState state);

    void OnDraw(CDC* dc, CSize size, int clip) { DoDraw(dc, size, m_state, clip); }
    void OnDraw(CDC* dc, CSize size, ETrackState state, int clip) { DoDraw(dc, size, state, clip); }

    /// Dispatches the support window's mouse messages to the handlers; called from the owner's
    /// PreTranslateMessage. Throws CNullPointerException for a null message.
    virtual void RelayEvent(MSG* msg);

protected:
    virtual void DoDraw(CDC* dc, CSize size, ETrackState state, int clip);
    virtual void DoMove(int dx, int dy);
    virtual void OnMouseMove(UINT flags, CPoint point);
    virtual void OnLButtonDown(UINT flags, CPoint point);
    virtual void OnLButtonUp(UINT flags, CPoint point);
    virtual void OnLButtonDblClk(UINT flags, CPoint point);

    CRgn& Region() { return m_region; }

private:
    CModularImage** GetImageRef(ETrackState state);

    CModularImage* m_images[3] = {nullptr, nullptr, nullptr};
    ETrackState m_state = TS_NORMAL;
    HWND m_support = nullptr;
    CRgn m_region;
    CDC m_supportDC;
};

/// A rectangular hot-track zone.
class FALDRA_API CSimpleHTZone : public CHotTrackZone
{
public:
    CSimpleHTZone(CRect rect, HWND support);

    void UpdateZone(CRgn& other, int mode) override;
    /// Keeps the top-left corner; a negative size keeps the current width or height.
    virtual void Resize(int cx, int cy);
    const CRect& GetRect() const { return m_rect; }

protected:
    void DoMove(int dx, int dy) override;

private:
    CRect m_rect;
};
} // namespace faldra
