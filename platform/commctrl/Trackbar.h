#pragma once

#include "platform/window/Afx.h"

/// The trackbar control ("msctls_trackbar32"): a thumb that moves along a channel over a range of
/// positions (0..100 at first), horizontal or, with TBS_VERT, vertical with the minimum at the top. It
/// takes the focus and the arrows, page and Home/End keys, pages toward a click beside the thumb and drags
/// the thumb; every move the user makes is told to the parent as WM_HSCROLL or WM_VSCROLL with a TB_ code
/// in the low word of wParam (the position in the high word for TB_THUMBTRACK and TB_THUMBPOSITION) and
/// the trackbar's window as lParam. Positions set by messages are not told. The line size is 1 at first;
/// the page size is a fifth of the range until TBM_SETPAGESIZE sets it. The class is registered by
/// InitTrackbarClass (and by CSliderCtrl::Create); user-interface thread only.

#define TRACKBAR_CLASS "msctls_trackbar32"

constexpr DWORD TBS_HORZ = 0x0000;
constexpr DWORD TBS_VERT = 0x0002;

constexpr UINT TBM_GETPOS = WM_USER;
constexpr UINT TBM_GETRANGEMIN = WM_USER + 1;
constexpr UINT TBM_GETRANGEMAX = WM_USER + 2;
constexpr UINT TBM_SETPOS = WM_USER + 5;       ///< wParam redraw, lParam position (clamped into the range)
constexpr UINT TBM_SETRANGE = WM_USER + 6;     ///< wParam redraw, lParam MAKELPARAM(minimum, maximum)
constexpr UINT TBM_SETRANGEMIN = WM_USER + 7;  ///< wParam redraw, lParam minimum
constexpr UINT TBM_SETRANGEMAX = WM_USER + 8;  ///< wParam redraw, lParam maximum
constexpr UINT TBM_SETPAGESIZE = WM_USER + 21; ///< lParam size; returns the old one
constexpr UINT TBM_GETPAGESIZE = WM_USER + 22;
constexpr UINT TBM_SETLINESIZE = WM_USER + 23; ///< lParam size; returns the old one
constexpr UINT TBM_GETLINESIZE = WM_USER + 24;
constexpr UINT TBM_GETTHUMBRECT = WM_USER + 25;   ///< lParam RECT*: the thumb, client coordinates
constexpr UINT TBM_GETCHANNELRECT = WM_USER + 26; ///< lParam RECT*: the channel, client coordinates

// Codes of the scroll notifications (low word of wParam).
constexpr UINT TB_LINEUP = 0;
constexpr UINT TB_LINEDOWN = 1;
constexpr UINT TB_PAGEUP = 2;
constexpr UINT TB_PAGEDOWN = 3;
constexpr UINT TB_THUMBPOSITION = 4;
constexpr UINT TB_THUMBTRACK = 5;
constexpr UINT TB_TOP = 6;
constexpr UINT TB_BOTTOM = 7;
constexpr UINT TB_ENDTRACK = 8;

/// Registers the trackbar class once; TRUE when it is registered.
PLATFORM_API BOOL InitTrackbarClass();

class PLATFORM_API CSliderCtrl : public CWnd
{
    DECLARE_DYNAMIC(CSliderCtrl)
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int GetRangeMin() const;
    int GetRangeMax() const;
    void GetRange(int& minimum, int& maximum) const;
    void SetRangeMin(int minimum, BOOL redraw = FALSE);
    void SetRangeMax(int maximum, BOOL redraw = FALSE);
    void SetRange(int minimum, int maximum, BOOL redraw = FALSE);
    int GetPos() const;
    void SetPos(int pos);
    int GetLineSize() const;
    int SetLineSize(int size);
    int GetPageSize() const;
    int SetPageSize(int size);
    void GetThumbRect(LPRECT rect) const;
    void GetChannelRect(LPRECT rect) const;
};
