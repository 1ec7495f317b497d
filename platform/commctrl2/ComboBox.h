#pragma once

#include "platform/commctrl2/ListBox.h"

/// The combo box control ("ComboBox"), drop-down list style: its items live in a list box popup
/// (COMBOBOXINFO::hwndList) shown under the combo by CB_SHOWDROPDOWN, a click on the face or F4; the face
/// shows the selected item's text (the window text), or asks the parent to draw it (owner-drawn styles,
/// ODS_COMBOBOXEDIT). Up and Down change the selection. Notifies the parent with CBN_SELCHANGE,
/// CBN_DROPDOWN and CBN_CLOSEUP. Registered by InitComboBoxClass (and by CComboBox::Create);
/// user-interface thread only.

#define WC_COMBOBOX "ComboBox"

constexpr DWORD CBS_SIMPLE = 0x0001;
constexpr DWORD CBS_DROPDOWN = 0x0002;
constexpr DWORD CBS_DROPDOWNLIST = 0x0003;
constexpr DWORD CBS_OWNERDRAWFIXED = 0x0010;
constexpr DWORD CBS_OWNERDRAWVARIABLE = 0x0020;
constexpr DWORD CBS_AUTOHSCROLL = 0x0040;
constexpr DWORD CBS_SORT = 0x0100;
constexpr DWORD CBS_HASSTRINGS = 0x0200;
constexpr DWORD CBS_NOINTEGRALHEIGHT = 0x0400;

constexpr UINT CB_GETEDITSEL = 0x0140;
constexpr UINT CB_LIMITTEXT = 0x0141;
constexpr UINT CB_SETEDITSEL = 0x0142;
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_DELETESTRING = 0x0144;
constexpr UINT CB_DIR = 0x0145;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_INSERTSTRING = 0x014A;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_FINDSTRING = 0x014C;
constexpr UINT CB_SELECTSTRING = 0x014D;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_SHOWDROPDOWN = 0x014F;
constexpr UINT CB_GETITEMDATA = 0x0150;
constexpr UINT CB_SETITEMDATA = 0x0151;
constexpr UINT CB_GETDROPPEDCONTROLRECT = 0x0152;
constexpr UINT CB_SETITEMHEIGHT = 0x0153;
constexpr UINT CB_GETITEMHEIGHT = 0x0154;
constexpr UINT CB_GETDROPPEDSTATE = 0x0157;
constexpr UINT CB_FINDSTRINGEXACT = 0x0158;
constexpr LRESULT CB_OKAY = 0;
constexpr LRESULT CB_ERR = -1;

constexpr UINT ODS_COMBOBOXEDIT = 0x1000;

struct COMBOBOXINFO
{
    DWORD cbSize;
    RECT rcItem;
    RECT rcButton;
    DWORD stateButton;
    HWND hwndCombo;
    HWND hwndItem;
    HWND hwndList;
};
using PCOMBOBOXINFO = COMBOBOXINFO*;

/// Registers the combo box class (and the list box class) once; TRUE when it is registered.
PLATFORM_API BOOL InitComboBoxClass();
/// The face's item and button rectangles (client coordinates) and the list window; FALSE for a window that
/// is not a combo box.
PLATFORM_API BOOL GetComboBoxInfo(HWND combo, PCOMBOBOXINFO info);

class PLATFORM_API CComboBox : public CWnd
{
    DECLARE_DYNAMIC(CComboBox)
public:
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int index);
    int AddString(LPCTSTR text);
    int InsertString(int index, LPCTSTR text);
    int DeleteString(UINT index);
    void ResetContent();
    int GetLBText(int index, LPSTR buffer) const;
    void GetLBText(int index, CString& text) const;
    int GetLBTextLen(int index) const;
    int FindStringExact(int start, LPCTSTR text) const;
    int SelectString(int start, LPCTSTR text);
    DWORD_PTR GetItemData(int index) const;
    int SetItemData(int index, DWORD_PTR data);
    void ShowDropDown(BOOL show = TRUE);
    BOOL GetDroppedState() const;
    BOOL GetComboBoxInfo(PCOMBOBOXINFO info) const;

    virtual void DrawItem(LPDRAWITEMSTRUCT drawItem);
    virtual void MeasureItem(LPMEASUREITEMSTRUCT measureItem);
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};
