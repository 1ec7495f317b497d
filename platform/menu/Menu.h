#pragma once

#include "platform/win/Export.h"
#include "platform/window/Wnd.h"

#include <functional>

class QWidget;

/// Popup menus: menus of items built by handle and shown by TrackPopupMenu as a Qt menu at a screen point.
/// The owner window gets the messages it would get from the system's menus: WM_ENTERMENULOOP, WM_INITMENU,
/// WM_INITMENUPOPUP (before a menu opens, also each submenu), WM_MEASUREITEM and WM_DRAWITEM for owner-drawn
/// items (wParam 0, CtlType ODT_MENU), WM_MENUCHAR for a key that names no item, WM_EXITMENULOOP, and
/// WM_COMMAND for the chosen item unless TPM_RETURNCMD asks for it as the result.
///
/// Menu handles may be built on any thread (one menu from one thread at a time); TrackPopupMenu runs on the
/// user-interface thread only. Failures are reported by result (FALSE, -1 or null) with the last error.

constexpr DWORD ERROR_INVALID_MENU_HANDLE = 1401;

// Item flags of AppendMenu / InsertMenu, and the states of GetMenuState.
constexpr UINT MF_INSERT = 0x0000;
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_ENABLED = 0x0000;
constexpr UINT MF_UNCHECKED = 0x0000;
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_DISABLED = 0x0002;
constexpr UINT MF_BITMAP = 0x0004;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MF_MENUBARBREAK = 0x0020;
constexpr UINT MF_MENUBREAK = 0x0040;
constexpr UINT MF_HILITE = 0x0080;
constexpr UINT MF_OWNERDRAW = 0x0100;
constexpr UINT MF_BYPOSITION = 0x0400;
constexpr UINT MF_SEPARATOR = 0x0800;
constexpr UINT MF_DEFAULT = 0x1000;

// MENUITEMINFO.
constexpr UINT MIIM_STATE = 0x0001;
constexpr UINT MIIM_ID = 0x0002;
constexpr UINT MIIM_SUBMENU = 0x0004;
constexpr UINT MIIM_CHECKMARKS = 0x0008;
constexpr UINT MIIM_TYPE = 0x0010;
constexpr UINT MIIM_DATA = 0x0020;
constexpr UINT MIIM_STRING = 0x0040;
constexpr UINT MIIM_BITMAP = 0x0080;
constexpr UINT MIIM_FTYPE = 0x0100;
constexpr UINT MFT_STRING = MF_STRING;
constexpr UINT MFT_OWNERDRAW = MF_OWNERDRAW;
constexpr UINT MFT_SEPARATOR = MF_SEPARATOR;
constexpr UINT MFS_ENABLED = MF_ENABLED;
constexpr UINT MFS_GRAYED = 0x0003;
constexpr UINT MFS_DISABLED = MFS_GRAYED;
constexpr UINT MFS_CHECKED = MF_CHECKED;
constexpr UINT MFS_HILITE = MF_HILITE;
constexpr UINT MFS_DEFAULT = MF_DEFAULT;

struct MENUITEMINFOA
{
    UINT cbSize;
    UINT fMask;
    UINT fType;
    UINT fState;
    UINT wID;
    HMENU hSubMenu;
    HBITMAP hbmpChecked;
    HBITMAP hbmpUnchecked;
    ULONG_PTR dwItemData;
    LPSTR dwTypeData; // the text; with MFT_OWNERDRAW and no MIIM_DATA, the item data
    UINT cch;
    HBITMAP hbmpItem;
};
using LPMENUITEMINFOA = MENUITEMINFOA*;
using LPCMENUITEMINFOA = const MENUITEMINFOA*;
using MENUITEMINFO = MENUITEMINFOA;
using LPMENUITEMINFO = LPMENUITEMINFOA;
using LPCMENUITEMINFO = LPCMENUITEMINFOA;

// TrackPopupMenu.
constexpr UINT TPM_LEFTBUTTON = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_LEFTALIGN = 0x0000;
constexpr UINT TPM_CENTERALIGN = 0x0004;
constexpr UINT TPM_RIGHTALIGN = 0x0008;
constexpr UINT TPM_TOPALIGN = 0x0000;
constexpr UINT TPM_VCENTERALIGN = 0x0010;
constexpr UINT TPM_BOTTOMALIGN = 0x0020;
constexpr UINT TPM_NONOTIFY = 0x0080;
constexpr UINT TPM_RETURNCMD = 0x0100;

struct TPMPARAMS
{
    UINT cbSize;
    RECT rcExclude;
};
using LPTPMPARAMS = TPMPARAMS*;

// The high word of WM_MENUCHAR's result.
constexpr UINT MNC_IGNORE = 0;
constexpr UINT MNC_CLOSE = 1;
constexpr UINT MNC_EXECUTE = 2;
constexpr UINT MNC_SELECT = 3;

PLATFORM_API HMENU CreatePopupMenu();
PLATFORM_API HMENU CreateMenu();
/// Destroys the menu and the submenus its items hold.
PLATFORM_API BOOL DestroyMenu(HMENU menu);
PLATFORM_API BOOL IsMenu(HMENU menu);
/// Adds an item at the end. `item` is the command id, or the submenu with MF_POPUP (the menu then owns
/// it); `text` is the label ("&" marks the mnemonic, "\t" starts the shortcut text), or with MF_OWNERDRAW
/// the item data handed back in WM_MEASUREITEM and WM_DRAWITEM.
PLATFORM_API BOOL AppendMenuA(HMENU menu, UINT flags, UINT_PTR item, LPCSTR text);
/// Inserts before the item at `position` (MF_BYPOSITION; -1 or past the end appends) or before the item
/// with command id `position`.
PLATFORM_API BOOL InsertMenuA(HMENU menu, UINT position, UINT flags, UINT_PTR item, LPCSTR text);
PLATFORM_API BOOL InsertMenuItemA(HMENU menu, UINT item, BOOL byPosition, LPCMENUITEMINFOA info);
/// Fills the fields `info->fMask` names; the text is copied into dwTypeData (cch characters) and cch
/// set to its length.
PLATFORM_API BOOL GetMenuItemInfoA(HMENU menu, UINT item, BOOL byPosition, LPMENUITEMINFOA info);
/// -1 for a handle that names no menu.
PLATFORM_API int GetMenuItemCount(HMENU menu);
/// The command id of the item at `position`; -1 for a submenu item or no item.
PLATFORM_API UINT GetMenuItemID(HMENU menu, int position);
PLATFORM_API HMENU GetSubMenu(HMENU menu, int position);
/// The item's MF_ flags (type and state); -1 when there is no such item.
PLATFORM_API UINT GetMenuState(HMENU menu, UINT item, UINT flags);
/// Copies the label into `buffer` (at most size - 1 characters) and returns the characters copied; with a
/// null buffer returns the label's length. 0 when there is no such item.
PLATFORM_API int GetMenuStringA(HMENU menu, UINT item, LPSTR buffer, int size, UINT flags);
/// Sets MF_ENABLED, MF_GRAYED or MF_DISABLED; returns the previous state, or -1 when there is no item.
PLATFORM_API BOOL EnableMenuItem(HMENU menu, UINT item, UINT enable);
/// Sets MF_CHECKED or MF_UNCHECKED; returns the previous one, or -1 when there is no item.
PLATFORM_API DWORD CheckMenuItem(HMENU menu, UINT item, UINT check);
/// Makes one item the default (shown in bold); -1 clears it.
PLATFORM_API BOOL SetMenuDefaultItem(HMENU menu, UINT item, UINT byPosition);
PLATFORM_API UINT GetMenuDefaultItem(HMENU menu, UINT byPosition, UINT flags);

/// Shows `menu` at (x, y), screen coordinates, for `owner`, and waits until an item is chosen or the menu
/// is dismissed. With TPM_RETURNCMD the chosen command id is the result (0 when dismissed); without it the
/// chosen id goes to the owner as a posted WM_COMMAND and the result is TRUE. FALSE (or 0) with the last
/// error for a bad menu or owner, or a call off the user-interface thread.
PLATFORM_API BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner,
                                 const RECT* rect);
/// The same; `params` may name a rectangle of the screen the menu should not cover.
PLATFORM_API BOOL TrackPopupMenuEx(HMENU menu, UINT flags, int x, int y, HWND owner, LPTPMPARAMS params);

#define AppendMenu AppendMenuA
#define InsertMenu InsertMenuA
#define InsertMenuItem InsertMenuItemA
#define GetMenuItemInfo GetMenuItemInfoA
#define GetMenuString GetMenuStringA

namespace platform::menu
{
/// Plays the user of the menus that TrackPopupMenu shows, for tests (the offscreen platform has no user):
/// while set, each tracked menu is built and shown as usual, without waiting; once it has been painted the
/// hook is called with the menu and its Qt widget (to look at its pixels or send it input) and returns the
/// command id to choose, 0 to dismiss it. Input the hook sent that chose an item or closed the menu wins
/// over the returned id. An id that names no enabled item of the menu or its submenus dismisses it.
/// User-interface thread; nullptr restores the user.
PLATFORM_API void SetTrackHook(std::function<UINT(HMENU menu, QWidget* shown)> hook);
} // namespace platform::menu

/// The class library's menu object; it owns the menu it created or attached, and destroys it with itself.
class PLATFORM_API CMenu : public CObject
{
public:
    CMenu() = default;
    ~CMenu() override;

    HMENU m_hMenu = nullptr;
    operator HMENU() const { return m_hMenu; }
    HMENU GetSafeHmenu() const { return m_hMenu; }

    /// A temporary object for a menu this object does not own (valid until the menu is destroyed).
    static CMenu* FromHandle(HMENU menu);
    BOOL Attach(HMENU menu);
    HMENU Detach();

    BOOL CreatePopupMenu();
    BOOL CreateMenu();
    BOOL DestroyMenu();
    BOOL AppendMenu(UINT flags, UINT_PTR item = 0, LPCSTR text = nullptr);
    BOOL InsertMenu(UINT position, UINT flags, UINT_PTR item = 0, LPCSTR text = nullptr);
    BOOL InsertMenuItem(UINT item, LPMENUITEMINFO info, BOOL byPosition = FALSE);
    UINT GetMenuItemCount() const;
    UINT GetMenuItemID(int position) const;
    UINT GetMenuState(UINT item, UINT flags) const;
    int GetMenuString(UINT item, CString& text, UINT flags) const;
    CMenu* GetSubMenu(int position) const;
    UINT EnableMenuItem(UINT item, UINT enable);
    UINT CheckMenuItem(UINT item, UINT check);
    BOOL SetDefaultItem(UINT item, BOOL byPosition = FALSE);
    UINT GetDefaultItem(UINT flags, BOOL byPosition = FALSE) const;
    BOOL TrackPopupMenu(UINT flags, int x, int y, CWnd* owner, LPCRECT rect = nullptr);
    BOOL TrackPopupMenuEx(UINT flags, int x, int y, CWnd* owner, LPTPMPARAMS params);

private:
    bool m_temporary = false; // made by FromHandle: owns nothing
};

// Message-map entries of the menu messages, with the class library's handler signatures.
#define ON_WM_INITMENUPOPUP()                                                                                \
    AFX_MSG_ENTRY(WM_INITMENUPOPUP, 0, 0, 0,                                                                 \
                  self->OnInitMenuPopup(CMenu::FromHandle(reinterpret_cast<HMENU>(wParam)),                  \
                                        LOWORD(static_cast<DWORD_PTR>(lParam)),                              \
                                        HIWORD(static_cast<DWORD_PTR>(lParam)));                             \
                  return true;)
#define ON_WM_MENUCHAR()                                                                                     \
    AFX_MSG_ENTRY(WM_MENUCHAR, 0, 0, 0,                                                                      \
                  *result = self->OnMenuChar(LOWORD(wParam), HIWORD(wParam),                                 \
                                             CMenu::FromHandle(reinterpret_cast<HMENU>(lParam)));            \
                  return true;)
