#pragma once

#include "platform/com/Unknown.h"
#include "platform/menu/Menu.h"
#include "platform/win/Export.h"

#include <string>
#include <vector>

/// The shell's context menu of a set of files: the commands a Linux file manager offers for them, added to
/// a popup menu by QueryContextMenu and carried out by InvokeCommand. "Open" hands each file to the
/// desktop's default application (xdg-open); "Move to Trash" moves each into the desktop's trash.
/// User-interface thread; failures are reported by HRESULT.

constexpr HRESULT MAKE_HRESULT(unsigned severity, unsigned facility, unsigned code)
{
    return static_cast<HRESULT>((severity << 31) | (facility << 16) | code);
}
constexpr unsigned SEVERITY_SUCCESS = 0;
constexpr unsigned SEVERITY_ERROR = 1;

// QueryContextMenu.
constexpr UINT CMF_NORMAL = 0x0000;
constexpr UINT CMF_DEFAULTONLY = 0x0001;
constexpr UINT CMF_VERBSONLY = 0x0002;
constexpr UINT CMF_EXPLORE = 0x0004;
constexpr UINT CMF_NOVERBS = 0x0008;
constexpr UINT CMF_CANRENAME = 0x0010;

// GetCommandString.
constexpr UINT GCS_VERBA = 0x0000;
constexpr UINT GCS_HELPTEXTA = 0x0001;
constexpr UINT GCS_VALIDATEA = 0x0002;

struct CMINVOKECOMMANDINFO
{
    DWORD cbSize;
    DWORD fMask;
    HWND hwnd;
    LPCSTR lpVerb; // a command's offset from the first id (MAKEINTRESOURCE), or its verb
    LPCSTR lpParameters;
    LPCSTR lpDirectory;
    int nShow;
    DWORD dwHotKey;
    HANDLE hIcon;
};
using LPCMINVOKECOMMANDINFO = CMINVOKECOMMANDINFO*;
static_assert(sizeof(CMINVOKECOMMANDINFO) == 56, "the record of a 64-bit build");

DEFINE_GUID(IID_IContextMenu, 0x000214E4, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IContextMenu2, 0x000214F4, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IContextMenu3, 0xBCFCE0A0, 0xEC17, 0x11D0, 0x8D, 0x10, 0x00, 0xA0, 0xC9, 0x0F, 0x27, 0x19);

struct IContextMenu : IUnknown
{
    /// Inserts the commands at `index` of `menu` with ids from `firstId` on (none past `lastId`); returns
    /// MAKE_HRESULT(SEVERITY_SUCCESS, 0, n) where n is the largest offset used plus one.
    STDMETHOD(QueryContextMenu)(HMENU menu, UINT index, UINT firstId, UINT lastId, UINT flags) PURE;
    STDMETHOD(InvokeCommand)(LPCMINVOKECOMMANDINFO info) PURE;
    STDMETHOD(GetCommandString)(UINT_PTR command, UINT type, UINT* reserved, LPSTR name, UINT size) PURE;

protected:
    ~IContextMenu() = default;
};
using LPCONTEXTMENU = IContextMenu*;

/// Menu messages of owner-drawn commands (WM_INITMENUPOPUP, WM_MEASUREITEM, WM_DRAWITEM) passed on by the
/// menu's owner.
struct IContextMenu2 : IContextMenu
{
    STDMETHOD(HandleMenuMsg)(UINT message, WPARAM wParam, LPARAM lParam) PURE;

protected:
    ~IContextMenu2() = default;
};

/// The same with a result, and WM_MENUCHAR.
struct IContextMenu3 : IContextMenu2
{
    STDMETHOD(HandleMenuMsg2)(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) PURE;

protected:
    ~IContextMenu3() = default;
};

/// Our context menu of `paths` (absolute paths of files or folders), asked for `iid`. E_INVALIDARG without
/// paths, E_NOINTERFACE for an interface it does not have. `owner` is the window the menu is for.
PLATFORM_API HRESULT CreateFileContextMenu(HWND owner, const std::vector<std::string>& paths, REFIID iid,
                                           void** out);
