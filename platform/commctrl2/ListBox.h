#pragma once

#include "platform/window/Afx.h"

/// The list box control ("ListBox"): single selection, strings with item data, plain or owner-drawn
/// (fixed or variable height: WM_MEASUREITEM and WM_DRAWITEM go to the parent), a vertical scroll state of
/// its window (SB_VERT: range 0 to count - 1, page = items shown, position = top index), mouse, wheel and
/// arrow-key selection, and LBN_SELCHANGE/LBN_DBLCLK to the parent with LBS_NOTIFY. The class is
/// registered by InitListBoxClass (and by CListBox::Create); user-interface thread only.

#define WC_LISTBOX "ListBox"

constexpr DWORD LBS_NOTIFY = 0x0001;
constexpr DWORD LBS_SORT = 0x0002;
constexpr DWORD LBS_NOREDRAW = 0x0004;
constexpr DWORD LBS_MULTIPLESEL = 0x0008;
constexpr DWORD LBS_OWNERDRAWFIXED = 0x0010;
constexpr DWORD LBS_OWNERDRAWVARIABLE = 0x0020;
constexpr DWORD LBS_HASSTRINGS = 0x0040;
constexpr DWORD LBS_USETABSTOPS = 0x0080;
constexpr DWORD LBS_NOINTEGRALHEIGHT = 0x0100;
constexpr DWORD LBS_WANTKEYBOARDINPUT = 0x0400;
constexpr DWORD LBS_DISABLENOSCROLL = 0x1000;
constexpr DWORD LBS_NOSEL = 0x4000;

constexpr UINT LB_ADDSTRING = 0x0180;
constexpr UINT LB_INSERTSTRING = 0x0181;
constexpr UINT LB_DELETESTRING = 0x0182;
constexpr UINT LB_RESETCONTENT = 0x0184;
constexpr UINT LB_SETSEL = 0x0185;
constexpr UINT LB_SETCURSEL = 0x0186;
constexpr UINT LB_GETSEL = 0x0187;
constexpr UINT LB_GETCURSEL = 0x0188;
constexpr UINT LB_GETTEXT = 0x0189;
constexpr UINT LB_GETTEXTLEN = 0x018A;
constexpr UINT LB_GETCOUNT = 0x018B;
constexpr UINT LB_SELECTSTRING = 0x018C;
constexpr UINT LB_GETTOPINDEX = 0x018E;
constexpr UINT LB_FINDSTRING = 0x018F;
constexpr UINT LB_SETTOPINDEX = 0x0197;
constexpr UINT LB_GETITEMRECT = 0x0198;
constexpr UINT LB_GETITEMDATA = 0x0199;
constexpr UINT LB_SETITEMDATA = 0x019A;
constexpr UINT LB_SETITEMHEIGHT = 0x01A0;
constexpr UINT LB_GETITEMHEIGHT = 0x01A1;
constexpr UINT LB_FINDSTRINGEXACT = 0x01A2;
constexpr UINT LB_ITEMFROMPOINT = 0x01A9;
constexpr UINT LB_DIR = 0x018D;
constexpr UINT LB_GETHORIZONTALEXTENT = 0x0193;
constexpr UINT LB_SETHORIZONTALEXTENT = 0x0194;
constexpr UINT LB_SETLOCALE = 0x01A5;
constexpr UINT LB_GETLOCALE = 0x01A6;
constexpr UINT LB_INITSTORAGE = 0x01A8;
constexpr LRESULT LB_ERRSPACE = -2;

using LCID = DWORD;
constexpr LRESULT LB_OKAY = 0;
constexpr LRESULT LB_ERR = -1;

/// Registers the list box class once; TRUE when it is registered.
PLATFORM_API BOOL InitListBoxClass();

class PLATFORM_API CListBox : public CWnd
{
    DECLARE_DYNAMIC(CListBox)
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int index);
    int GetTopIndex() const;
    int SetTopIndex(int index);
    int GetText(int index, LPSTR buffer) const;
    void GetText(int index, CString& text) const;
    int GetTextLen(int index) const;
    int AddString(LPCTSTR text);
    int InsertString(int index, LPCTSTR text);
    int DeleteString(UINT index);
    void ResetContent();
    int FindStringExact(int start, LPCTSTR text) const;
    DWORD_PTR GetItemData(int index) const;
    int SetItemData(int index, DWORD_PTR data);
    int GetItemRect(int index, LPRECT rect) const;
    int GetItemHeight(int index) const;
    int SetItemHeight(int index, UINT height);
    /// The nearest item; `outside` is TRUE when the point is not on it.
    UINT ItemFromPoint(CPoint point, BOOL& outside) const;

    virtual void DrawItem(LPDRAWITEMSTRUCT drawItem);
    virtual void MeasureItem(LPMEASUREITEMSTRUCT measureItem);
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};
