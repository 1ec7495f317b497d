#pragma once

#include "shared/faldra/Export.h"
#include "shared/faldra/HotTrackZone.h"
#include "shared/faldra/SkinWidget.h"

#include <vector>

namespace faldra
{
/// A scroll bar drawn from the calling program's bitmaps: a static control (SBS_VERT for a vertical bar,
/// SS_NOTIFY for mouse input) with five hot-track zones. It keeps its own scroll state or mirrors its
/// buddy's window scroll bar, and reports scrolling to the buddy with WM_VSCROLL/WM_HSCROLL (lParam 0).
/// User-interface thread only; failures of the set-up calls raise exceptions of the family, the window
/// procedure raises nothing.
class FALDRA_API CSkinScrollbar : public CStatic, public CSkinWidget
{
public:
    enum EElemType
    {
        ET_UPARROW = 0,
        ET_DOWNARROW = 1,
        ET_SCROLLBOX = 2,
        ET_CHANNEL = 3,
    };
    enum EPointPos
    {
        PP_SCROLLBOX = 0,
        PP_UPARROW = 1,
        PP_DOWNARROW = 2,
        PP_UPPERCHANNEL = 3,
        PP_LOWERCHANNEL = 4,
        PP_NONE = 5,
    };
    enum EScrollRequest
    {
        SR_TOP = 0,
        SR_BOTTOM = 1,
        SR_LINEBACK = 2,
        SR_LINEFORWARD = 3,
        SR_PAGEBACK = 4,
        SR_PAGEFORWARD = 5,
        SR_THUMBRELEASED = 6,
        SR_THUMBDRAGGED = 7,
    };

    /// Addresses one element or both channel parts at once; holds the zones, owns none.
    class FALDRA_API CUIElemWrapper
    {
    public:
        CUIElemWrapper() = default;
        explicit CUIElemWrapper(CHotTrackZone* zone);
        CUIElemWrapper(const CUIElemWrapper&) = default;
        CUIElemWrapper& operator=(const CUIElemWrapper&) = default;
        ~CUIElemWrapper() = default;

        /// Throws CNullPointerException for a null zone.
        void AddPart(CHotTrackZone* zone);
        /// The first zone takes the image; every further zone gets its own copy of it.
        void SetImage(CModularImage* image, CHotTrackZone::ETrackState state);
        void SetImage(HBITMAP bitmap, CHotTrackZone::ETrackState state);
        void SetImage(UINT id, CHotTrackZone::ETrackState state);
        void SetImageStyle(UINT style, CHotTrackZone::ETrackState state);
        void EnableBkgndErase(BOOL erase, CHotTrackZone::ETrackState state);
        /// The first zone's image; throws CInvalidObjectException for an empty wrapper.
        CModularImage* GetImage(CHotTrackZone::ETrackState state) const;

    private:
        std::vector<CHotTrackZone*> m_parts;
    };

    CSkinScrollbar();
    ~CSkinScrollbar() override;

    /// Builds the five elements from the client rectangle with arrows of the given lengths; returns quietly
    /// without elements when the bar is too short for the arrows and a 20-pixel track.
    void InitControl(int upLength, int downLength);
    /// Arrows and box on copies of the given regions; no channel elements, no managed geometry.
    void InitControl(CRgn& up, CRgn& down, CRgn& box);
    void SetElemRegion(CRgn& region, EElemType type);
    void ResizeArrows(int upLength, int downLength, BOOL redraw);

    void SetBuddy(CWnd& buddy) { m_buddy = &buddy; }
    CWnd* GetBuddy() const { return m_buddy; }
    void EnableAutoSet(BOOL mirror) { m_mirror = mirror; }
    BOOL IsAutoSet() const { return m_mirror; }
    BOOL IsVertical() const { return (GetStyle() & SBS_VERT) != 0; }
    int GetDynamicPosition() const { return m_trackPos; }
    void Optimize() {}

    /// Bitmap ids of the calling program; an id of 0 leaves that part as it is.
    void SetVSkin(UINT upArrow, UINT channel, UINT boxTop, UINT boxCentre, UINT boxBottom, UINT downArrow);
    void SetHSkin(UINT leftArrow, UINT channel, UINT boxLeft, UINT boxCentre, UINT boxRight, UINT rightArrow);
    CModularImage* GetElemImage(EElemType type, CHotTrackZone::ETrackState state);

    int SetScrollPos(int pos, BOOL redraw = TRUE) { return OnSetPos(pos, redraw); }
    BOOL SetScrollRange(int min, int max, BOOL redraw = TRUE);
    int SetScrollInfo(SCROLLINFO* info, BOOL redraw = TRUE) { return OnSetScrollInfo(redraw, info); }
    int GetScrollPos() const { return OnGetPos(); }
    void GetScrollRange(int* min, int* max) const { OnGetRange(min, max); }
    BOOL GetScrollInfo(SCROLLINFO* info, UINT mask = SIF_ALL);
    int GetScrollLimit() const;

    int OnSetPos(int pos, BOOL redraw);
    BOOL OnSetRange(int a, int b) { return DoSetRange(a, b, TRUE); }
    BOOL OnSetRangeRedraw(int a, int b) { return DoSetRange(a, b, TRUE); }
    int OnSetScrollInfo(BOOL redraw, SCROLLINFO* info);
    int OnGetPos() const;
    void OnGetRange(int* min, int* max) const;
    BOOL OnGetScrollInfo(SCROLLINFO* info) const;
    BOOL OnEnableArrows() { return TRUE; }

    BOOL PreTranslateMessage(MSG* msg) override;
    /// Lays the elements out for the scroll state; throws CNullPointerException when one is missing.
    virtual void UpdateUI();
    virtual EPointPos GetPositionInScrollbar(CPoint point);
    virtual void Scroll2(EScrollRequest request, CPoint point);
    virtual void OnDraw(CDC* dc);

protected:
    BOOL IsUIRefreshEnabled() const { return m_refresh; }
    void EnableUIRefresh(BOOL enable) { m_refresh = enable; }
    CUIElemWrapper GetUIElem(EElemType type);
    int GetTrackPos(CPoint point);
    int GetScrollLength();

    afx_msg void OnLButtonUp(UINT flags, CPoint point);
    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg void OnMouseMove(UINT flags, CPoint point);
    afx_msg void OnPaint();
    afx_msg void OnTimer(UINT_PTR id);
    afx_msg void OnDestroy();
    afx_msg void OnSize(UINT type, int cx, int cy);
    DECLARE_MESSAGE_MAP()

private:
    BOOL IsOptimized() const { return m_managed; }
    BOOL DoSetRange(int min, int max, BOOL redraw);
    static int GetRealRange(int min, int max, UINT page);
    void SetElemImage(UINT id, EElemType type, CHotTrackZone::ETrackState state);
    void SetElemImage(HBITMAP bitmap, EElemType type, CHotTrackZone::ETrackState state);
    void SetElemImage(CModularImage* image, EElemType type, CHotTrackZone::ETrackState state);
    void SetBoxStrip(UINT id, CModularImage::EFrameType frame);
    bool HasAllElements() const;
    bool ReadState(SCROLLINFO& info) const;
    void Layout();
    void Redraw();
    void DeleteElements();
    int Lead(const CRect& r) const;
    int Trail(const CRect& r) const;
    /// Places a rectangular element along the bar, keeping its breadth.
    void Place(CHotTrackZone* zone, int lead, int length);

    CWnd* m_buddy = nullptr;
    BOOL m_mirror = FALSE;
    BOOL m_dragging = FALSE;
    BOOL m_upPressed = FALSE;
    BOOL m_downPressed = FALSE;
    BOOL m_upperChannelPressed = FALSE;
    BOOL m_lowerChannelPressed = FALSE;
    int m_min = 0;
    int m_max = 0;
    UINT m_page = 1;
    int m_pos = 0;
    int m_trackPos = 0;
    int m_boxStart = 0;
    int m_dragOffset = 0;
    BOOL m_managed = FALSE;
    BOOL m_refresh = TRUE;
    CHotTrackZone* m_upperChannel = nullptr;
    CHotTrackZone* m_lowerChannel = nullptr;
    CHotTrackZone* m_box = nullptr;
    CHotTrackZone* m_upArrow = nullptr;
    CHotTrackZone* m_downArrow = nullptr;
};
} // namespace faldra
