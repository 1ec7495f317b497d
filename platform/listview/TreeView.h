#pragma once

#include "platform/listview/ImageList.h"
#include "platform/listview/ListView.h"
#include "platform/window/Afx.h"

/// The tree view control ("SysTreeView32"), drawn and driven on the window layer: items with text (or
/// LPSTR_TEXTCALLBACK), normal and selected images, item data, state and a children flag, one row per
/// visible item, expand buttons (TVS_HASBUTTONS), connecting lines (TVS_HASLINES, TVS_LINESATROOT).
/// The window's scroll state describes the view: SB_VERT in rows (position = first visible row, page = rows
/// that fit), SB_HORZ in pixels; the control draws no scroll bars itself.
/// Notifications reach the parent as WM_NOTIFY: TVN_SELCHANGING/SELCHANGED, TVN_ITEMEXPANDING/ITEMEXPANDED
/// (for TVM_EXPAND only until the item has TVIS_EXPANDEDONCE; always for the mouse and keyboard),
/// TVN_DELETEITEM, TVN_GETDISPINFO, TVN_BEGINDRAG/BEGINRDRAG, TVN_KEYDOWN, NM_CLICK, NM_DBLCLK, NM_RCLICK,
/// NM_RETURN, NM_SETFOCUS, NM_KILLFOCUS and NM_CUSTOMDRAW (CDDS_PREPAINT, CDDS_ITEMPREPAINT,
/// CDDS_ITEMPOSTPAINT, CDDS_POSTPAINT). Stale item handles are refused (FALSE, null). Image lists stay the
/// caller's. Every item is reported with TVN_DELETEITEM before the window goes. User-interface thread
/// only; the class is registered by InitTreeViewClass (and by CTreeCtrl's constructor).

#define WC_TREEVIEW "SysTreeView32"

struct _TREEITEM;
using HTREEITEM = _TREEITEM*;

#define TVI_ROOT (reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x10000)))
#define TVI_FIRST (reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x0FFFF)))
#define TVI_LAST (reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x0FFFE)))
#define TVI_SORT (reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x0FFFD)))

constexpr DWORD TVS_HASBUTTONS = 0x0001;
constexpr DWORD TVS_HASLINES = 0x0002;
constexpr DWORD TVS_LINESATROOT = 0x0004;
constexpr DWORD TVS_EDITLABELS = 0x0008;
constexpr DWORD TVS_DISABLEDRAGDROP = 0x0010;
constexpr DWORD TVS_SHOWSELALWAYS = 0x0020;
constexpr DWORD TVS_RTLREADING = 0x0040;
constexpr DWORD TVS_NOTOOLTIPS = 0x0080;
constexpr DWORD TVS_CHECKBOXES = 0x0100;
constexpr DWORD TVS_TRACKSELECT = 0x0200;
constexpr DWORD TVS_SINGLEEXPAND = 0x0400;
constexpr DWORD TVS_INFOTIP = 0x0800;
constexpr DWORD TVS_FULLROWSELECT = 0x1000;
constexpr DWORD TVS_NOSCROLL = 0x2000;
constexpr DWORD TVS_NONEVENHEIGHT = 0x4000;
constexpr DWORD TVS_NOHSCROLL = 0x8000;

constexpr UINT TVM_FIRST = 0x1100;
constexpr UINT TVM_INSERTITEMA = TVM_FIRST + 0;
constexpr UINT TVM_DELETEITEM = TVM_FIRST + 1;
constexpr UINT TVM_EXPAND = TVM_FIRST + 2;
constexpr UINT TVM_GETITEMRECT = TVM_FIRST + 4;
constexpr UINT TVM_GETCOUNT = TVM_FIRST + 5;
constexpr UINT TVM_GETINDENT = TVM_FIRST + 6;
constexpr UINT TVM_SETINDENT = TVM_FIRST + 7;
constexpr UINT TVM_GETIMAGELIST = TVM_FIRST + 8;
constexpr UINT TVM_SETIMAGELIST = TVM_FIRST + 9;
constexpr UINT TVM_GETNEXTITEM = TVM_FIRST + 10;
constexpr UINT TVM_SELECTITEM = TVM_FIRST + 11;
constexpr UINT TVM_GETITEMA = TVM_FIRST + 12;
constexpr UINT TVM_SETITEMA = TVM_FIRST + 13;
constexpr UINT TVM_GETEDITCONTROL = TVM_FIRST + 15;
constexpr UINT TVM_GETVISIBLECOUNT = TVM_FIRST + 16;
constexpr UINT TVM_HITTEST = TVM_FIRST + 17;
constexpr UINT TVM_SORTCHILDREN = TVM_FIRST + 19;
constexpr UINT TVM_ENSUREVISIBLE = TVM_FIRST + 20;
constexpr UINT TVM_SORTCHILDRENCB = TVM_FIRST + 21;
constexpr UINT TVM_SETTOOLTIPS = TVM_FIRST + 24;
constexpr UINT TVM_GETTOOLTIPS = TVM_FIRST + 25;
constexpr UINT TVM_SETITEMHEIGHT = TVM_FIRST + 27;
constexpr UINT TVM_GETITEMHEIGHT = TVM_FIRST + 28;
constexpr UINT TVM_SETBKCOLOR = TVM_FIRST + 29;
constexpr UINT TVM_SETTEXTCOLOR = TVM_FIRST + 30;
constexpr UINT TVM_GETBKCOLOR = TVM_FIRST + 31;
constexpr UINT TVM_GETTEXTCOLOR = TVM_FIRST + 32;
constexpr UINT TVM_GETITEMSTATE = TVM_FIRST + 39;
constexpr UINT TVM_INSERTITEM = TVM_INSERTITEMA;
constexpr UINT TVM_GETITEM = TVM_GETITEMA;
constexpr UINT TVM_SETITEM = TVM_SETITEMA;

constexpr UINT TVN_FIRST = 0u - 400u;
constexpr UINT TVN_SELCHANGINGA = TVN_FIRST - 1;
constexpr UINT TVN_SELCHANGEDA = TVN_FIRST - 2;
constexpr UINT TVN_GETDISPINFOA = TVN_FIRST - 3;
constexpr UINT TVN_SETDISPINFOA = TVN_FIRST - 4;
constexpr UINT TVN_ITEMEXPANDINGA = TVN_FIRST - 5;
constexpr UINT TVN_ITEMEXPANDEDA = TVN_FIRST - 6;
constexpr UINT TVN_BEGINDRAGA = TVN_FIRST - 7;
constexpr UINT TVN_BEGINRDRAGA = TVN_FIRST - 8;
constexpr UINT TVN_DELETEITEMA = TVN_FIRST - 9;
constexpr UINT TVN_KEYDOWN = TVN_FIRST - 12;
constexpr UINT TVN_GETINFOTIPA = TVN_FIRST - 13;
constexpr UINT TVN_SELCHANGING = TVN_SELCHANGINGA;
constexpr UINT TVN_SELCHANGED = TVN_SELCHANGEDA;
constexpr UINT TVN_GETDISPINFO = TVN_GETDISPINFOA;
constexpr UINT TVN_SETDISPINFO = TVN_SETDISPINFOA;
constexpr UINT TVN_ITEMEXPANDING = TVN_ITEMEXPANDINGA;
constexpr UINT TVN_ITEMEXPANDED = TVN_ITEMEXPANDEDA;
constexpr UINT TVN_BEGINDRAG = TVN_BEGINDRAGA;
constexpr UINT TVN_BEGINRDRAG = TVN_BEGINRDRAGA;
constexpr UINT TVN_DELETEITEM = TVN_DELETEITEMA;
constexpr UINT TVN_GETINFOTIP = TVN_GETINFOTIPA;

constexpr UINT TVIF_TEXT = 0x0001;
constexpr UINT TVIF_IMAGE = 0x0002;
constexpr UINT TVIF_PARAM = 0x0004;
constexpr UINT TVIF_STATE = 0x0008;
constexpr UINT TVIF_HANDLE = 0x0010;
constexpr UINT TVIF_SELECTEDIMAGE = 0x0020;
constexpr UINT TVIF_CHILDREN = 0x0040;
constexpr UINT TVIF_INTEGRAL = 0x0080;
constexpr UINT TVIF_DI_SETITEM = 0x1000;

constexpr UINT TVIS_SELECTED = 0x0002;
constexpr UINT TVIS_CUT = 0x0004;
constexpr UINT TVIS_DROPHILITED = 0x0008;
constexpr UINT TVIS_BOLD = 0x0010;
constexpr UINT TVIS_EXPANDED = 0x0020;
constexpr UINT TVIS_EXPANDEDONCE = 0x0040;
constexpr UINT TVIS_EXPANDPARTIAL = 0x0080;
constexpr UINT TVIS_OVERLAYMASK = 0x0F00;
constexpr UINT TVIS_STATEIMAGEMASK = 0xF000;
constexpr UINT TVIS_USERMASK = 0xF000;

constexpr int I_CHILDRENCALLBACK = -1;

constexpr UINT TVE_COLLAPSE = 0x0001;
constexpr UINT TVE_EXPAND = 0x0002;
constexpr UINT TVE_TOGGLE = 0x0003;
constexpr UINT TVE_EXPANDPARTIAL = 0x4000;
constexpr UINT TVE_COLLAPSERESET = 0x8000;

constexpr UINT TVGN_ROOT = 0x0000;
constexpr UINT TVGN_NEXT = 0x0001;
constexpr UINT TVGN_PREVIOUS = 0x0002;
constexpr UINT TVGN_PARENT = 0x0003;
constexpr UINT TVGN_CHILD = 0x0004;
constexpr UINT TVGN_FIRSTVISIBLE = 0x0005;
constexpr UINT TVGN_NEXTVISIBLE = 0x0006;
constexpr UINT TVGN_PREVIOUSVISIBLE = 0x0007;
constexpr UINT TVGN_DROPHILITE = 0x0008;
constexpr UINT TVGN_CARET = 0x0009;
constexpr UINT TVGN_LASTVISIBLE = 0x000A;

constexpr UINT TVC_UNKNOWN = 0x0000;
constexpr UINT TVC_BYMOUSE = 0x0001;
constexpr UINT TVC_BYKEYBOARD = 0x0002;

constexpr int TVSIL_NORMAL = 0;
constexpr int TVSIL_STATE = 2;

constexpr UINT TVHT_NOWHERE = 0x0001;
constexpr UINT TVHT_ONITEMICON = 0x0002;
constexpr UINT TVHT_ONITEMLABEL = 0x0004;
constexpr UINT TVHT_ONITEMINDENT = 0x0008;
constexpr UINT TVHT_ONITEMBUTTON = 0x0010;
constexpr UINT TVHT_ONITEMRIGHT = 0x0020;
constexpr UINT TVHT_ONITEMSTATEICON = 0x0040;
constexpr UINT TVHT_ONITEM = TVHT_ONITEMICON | TVHT_ONITEMLABEL | TVHT_ONITEMSTATEICON;
constexpr UINT TVHT_ABOVE = 0x0100;
constexpr UINT TVHT_BELOW = 0x0200;
constexpr UINT TVHT_TORIGHT = 0x0400;
constexpr UINT TVHT_TOLEFT = 0x0800;

struct TVITEMA
{
    UINT mask;
    HTREEITEM hItem;
    UINT state;
    UINT stateMask;
    LPSTR pszText;
    int cchTextMax;
    int iImage;
    int iSelectedImage;
    int cChildren;
    LPARAM lParam;
};
using TVITEM = TVITEMA;
using LPTVITEM = TVITEMA*;
using TV_ITEM = TVITEMA;

struct TVINSERTSTRUCTA
{
    HTREEITEM hParent;
    HTREEITEM hInsertAfter;
    TVITEMA item;
};
using TVINSERTSTRUCT = TVINSERTSTRUCTA;
using LPTVINSERTSTRUCT = TVINSERTSTRUCTA*;

struct TVHITTESTINFO
{
    POINT pt;
    UINT flags;
    HTREEITEM hItem;
};
using LPTVHITTESTINFO = TVHITTESTINFO*;

struct NMTREEVIEWA
{
    NMHDR hdr;
    UINT action;
    TVITEMA itemOld;
    TVITEMA itemNew;
    POINT ptDrag;
};
using NMTREEVIEW = NMTREEVIEWA;
using LPNMTREEVIEW = NMTREEVIEWA*;
using NM_TREEVIEW = NMTREEVIEWA;

struct NMTVDISPINFOA
{
    NMHDR hdr;
    TVITEMA item;
};
using NMTVDISPINFO = NMTVDISPINFOA;
using TV_DISPINFO = NMTVDISPINFOA;

struct NMTVKEYDOWN
{
    NMHDR hdr;
    WORD wVKey;
    UINT flags;
};
using LPNMTVKEYDOWN = NMTVKEYDOWN*;

struct NMTVCUSTOMDRAW
{
    NMCUSTOMDRAW nmcd;
    COLORREF clrText;
    COLORREF clrTextBk;
    int iLevel;
};
using LPNMTVCUSTOMDRAW = NMTVCUSTOMDRAW*;

using PFNTVCOMPARE = int(CALLBACK*)(LPARAM first, LPARAM second, LPARAM sortParam);
struct TVSORTCB
{
    HTREEITEM hParent;
    PFNTVCOMPARE lpfnCompare;
    LPARAM lParam;
};
using LPTVSORTCB = TVSORTCB*;

/// Registers the tree view class once; TRUE when it is registered.
PLATFORM_API BOOL InitTreeViewClass();

/// The class library's tree view object: member functions send the control's messages.
class PLATFORM_API CTreeCtrl : public CWnd
{
    DECLARE_DYNAMIC(CTreeCtrl)
public:
    /// Registers the class, so that dialog templates naming it can create the control this object
    /// subclasses.
    CTreeCtrl();
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    BOOL CreateEx(DWORD exStyle, DWORD style, const RECT& rect, CWnd* parent, UINT id);

    HTREEITEM InsertItem(LPTVINSERTSTRUCT insert);
    HTREEITEM InsertItem(UINT mask, LPCTSTR text, int image, int selectedImage, UINT state, UINT stateMask,
                         LPARAM lParam, HTREEITEM parent, HTREEITEM after);
    HTREEITEM InsertItem(LPCTSTR text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST);
    HTREEITEM InsertItem(LPCTSTR text, int image, int selectedImage, HTREEITEM parent = TVI_ROOT,
                         HTREEITEM after = TVI_LAST);
    BOOL DeleteItem(HTREEITEM item);
    BOOL DeleteAllItems();
    BOOL Expand(HTREEITEM item, UINT code);
    BOOL GetItem(TVITEM* item) const;
    BOOL SetItem(TVITEM* item);
    BOOL SetItem(HTREEITEM item, UINT mask, LPCTSTR text, int image, int selectedImage, UINT state,
                 UINT stateMask, LPARAM lParam);
    CString GetItemText(HTREEITEM item) const;
    BOOL SetItemText(HTREEITEM item, LPCTSTR text);
    DWORD_PTR GetItemData(HTREEITEM item) const;
    BOOL SetItemData(HTREEITEM item, DWORD_PTR data);
    BOOL GetItemImage(HTREEITEM item, int& image, int& selectedImage) const;
    BOOL SetItemImage(HTREEITEM item, int image, int selectedImage);
    UINT GetItemState(HTREEITEM item, UINT mask) const;
    BOOL SetItemState(HTREEITEM item, UINT state, UINT mask);
    BOOL ItemHasChildren(HTREEITEM item) const;
    HTREEITEM GetNextItem(HTREEITEM item, UINT code) const;
    HTREEITEM GetRootItem() const;
    HTREEITEM GetChildItem(HTREEITEM item) const;
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
    HTREEITEM GetPrevSiblingItem(HTREEITEM item) const;
    HTREEITEM GetParentItem(HTREEITEM item) const;
    HTREEITEM GetFirstVisibleItem() const;
    HTREEITEM GetNextVisibleItem(HTREEITEM item) const;
    HTREEITEM GetPrevVisibleItem(HTREEITEM item) const;
    HTREEITEM GetSelectedItem() const;
    HTREEITEM GetDropHilightItem() const;
    BOOL Select(HTREEITEM item, UINT code);
    BOOL SelectItem(HTREEITEM item);
    BOOL SelectDropTarget(HTREEITEM item);
    BOOL SelectSetFirstVisible(HTREEITEM item);
    BOOL EnsureVisible(HTREEITEM item);
    HTREEITEM HitTest(CPoint point, UINT* flags = nullptr) const;
    HTREEITEM HitTest(TVHITTESTINFO* info) const;
    BOOL GetItemRect(HTREEITEM item, LPRECT rect, BOOL textOnly) const;
    UINT GetCount() const;
    UINT GetVisibleCount() const;
    UINT GetIndent() const;
    void SetIndent(UINT indent);
    SHORT GetItemHeight() const;
    SHORT SetItemHeight(SHORT height);
    CImageList* GetImageList(int type) const;
    CImageList* SetImageList(CImageList* list, int type);
    BOOL SortChildren(HTREEITEM item);
    BOOL SortChildrenCB(LPTVSORTCB sort);
    COLORREF GetBkColor() const;
    COLORREF SetBkColor(COLORREF color);
    COLORREF GetTextColor() const;
    COLORREF SetTextColor(COLORREF color);
    CToolTipCtrl* GetToolTips() const;
    CToolTipCtrl* SetToolTips(CToolTipCtrl* tip);
};
