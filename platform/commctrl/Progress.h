#pragma once

#include "platform/window/Afx.h"

/// The progress bar control ("msctls_progress32"): a range (0..100 at first), a position clamped into it,
/// a step (10 at first); it paints a flat bar filled from the left, or from the bottom with PBS_VERTICAL.
/// The class is registered by InitProgressClass (and by CProgressCtrl::Create); user-interface thread
/// only.

#define PROGRESS_CLASS "msctls_progress32"

constexpr DWORD PBS_SMOOTH = 0x01;
constexpr DWORD PBS_VERTICAL = 0x04;

constexpr UINT PBM_SETRANGE = WM_USER + 1;   ///< lParam MAKELPARAM(lower, upper); returns the old range
constexpr UINT PBM_SETPOS = WM_USER + 2;     ///< returns the old position
constexpr UINT PBM_DELTAPOS = WM_USER + 3;   ///< returns the old position
constexpr UINT PBM_SETSTEP = WM_USER + 4;    ///< returns the old step
constexpr UINT PBM_STEPIT = WM_USER + 5;     ///< returns the old position
constexpr UINT PBM_SETRANGE32 = WM_USER + 6; ///< wParam lower, lParam upper
constexpr UINT PBM_GETRANGE = WM_USER + 7;   ///< wParam TRUE: lower, else upper; lParam PBRANGE* or 0
constexpr UINT PBM_GETPOS = WM_USER + 8;
/// lParam: the colour behind the bar (CLR_DEFAULT: the system's); returns the previous one.
constexpr UINT PBM_SETBKCOLOR = 0x2001;

struct PBRANGE
{
    int iLow;
    int iHigh;
};

/// Registers the progress bar class once; TRUE when it is registered.
PLATFORM_API BOOL InitProgressClass();

class PLATFORM_API CProgressCtrl : public CWnd
{
    DECLARE_DYNAMIC(CProgressCtrl)
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    void SetRange(short lower, short upper);
    void SetRange32(int lower, int upper);
    void GetRange(int& lower, int& upper) const;
    int GetPos() const;
    int SetPos(int pos);
    int OffsetPos(int pos);
    int SetStep(int step);
    int StepIt();
};
