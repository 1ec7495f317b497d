#pragma once

#include "platform/com/Unknown.h"
#include "platform/shell/ItemIdList.h"
#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

/// The shell namespace: the desktop root (a virtual folder holding the home folder, the XDG user folders
/// that exist, "/" and the mounted volumes) and the file-system folders below it, as IShellFolder objects
/// that name their children by single-level item ID lists (ItemIdList.h). Folders and enumerators are
/// reference-counted objects usable from any thread; each call reads the disk afresh. Failures are
/// reported by HRESULT (HRESULT_FROM_WIN32 of the system error for the file system's refusals).

struct IBindCtx;
using LPBC = IBindCtx*;

using SHCONTF = DWORD;
constexpr SHCONTF SHCONTF_FOLDERS = 0x0020;
constexpr SHCONTF SHCONTF_NONFOLDERS = 0x0040;
constexpr SHCONTF SHCONTF_INCLUDEHIDDEN = 0x0080;

using SFGAOF = ULONG;
constexpr SFGAOF SFGAO_GHOSTED = 0x00008000;
constexpr SFGAOF SFGAO_LINK = 0x00010000;
constexpr SFGAOF SFGAO_SHARE = 0x00020000;
constexpr SFGAOF SFGAO_READONLY = 0x00040000;
constexpr SFGAOF SFGAO_HIDDEN = 0x00080000;
constexpr SFGAOF SFGAO_FILESYSANCESTOR = 0x10000000;
constexpr SFGAOF SFGAO_FOLDER = 0x20000000;
constexpr SFGAOF SFGAO_FILESYSTEM = 0x40000000;
constexpr SFGAOF SFGAO_HASSUBFOLDER = 0x80000000;

using SHGDNF = DWORD;
constexpr SHGDNF SHGDN_NORMAL = 0x0000;
constexpr SHGDNF SHGDN_INFOLDER = 0x0001;
constexpr SHGDNF SHGDN_FOREDITING = 0x1000;
constexpr SHGDNF SHGDN_FORADDRESSBAR = 0x4000;
constexpr SHGDNF SHGDN_FORPARSING = 0x8000;

constexpr int CSIDL_DESKTOP = 0x0000;
constexpr int CSIDL_PERSONAL = 0x0005;
constexpr int CSIDL_BITBUCKET = 0x000A;
constexpr int CSIDL_DESKTOPDIRECTORY = 0x0010;

constexpr UINT STRRET_WSTR = 0x0000;
constexpr UINT STRRET_OFFSET = 0x0001;
constexpr UINT STRRET_CSTR = 0x0002;

/// A name handed out by a folder: a wide string from the COM task allocator (STRRET_WSTR, freed by the
/// StrRet functions), an offset of UTF-8 text inside the item's ID list (STRRET_OFFSET) or UTF-8 text
/// in place (STRRET_CSTR).
struct STRRET
{
    UINT uType;
    union
    {
        LPWSTR pOleStr;
        UINT uOffset;
        char cStr[MAX_PATH];
    };
};
using LPSTRRET = STRRET*;

DEFINE_GUID(IID_IShellFolder, 0x000214E6, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
DEFINE_GUID(IID_IEnumIDList, 0x000214F2, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);

struct IEnumIDList : IUnknown
{
    /// Hands out up to `count` children (each a new single-level list for the caller to free); S_FALSE
    /// when fewer than asked were left.
    STDMETHOD(Next)(ULONG count, PITEMID_CHILD* items, ULONG* fetched) PURE;
    STDMETHOD(Skip)(ULONG count) PURE;
    STDMETHOD(Reset)() PURE;
    STDMETHOD(Clone)(IEnumIDList** copy) PURE;

protected:
    ~IEnumIDList() = default;
};
using LPENUMIDLIST = IEnumIDList*;

struct IShellFolder : IUnknown
{
    /// The ID list, relative to this folder, of an existing item named by a path: absolute paths from any
    /// folder, names relative to this folder otherwise. `attributes` (in: wanted, out: found) may be null.
    STDMETHOD(ParseDisplayName)
    (HWND owner, LPBC context, LPWSTR name, ULONG* eaten, PIDLIST_RELATIVE* list, ULONG* attributes) PURE;
    /// The children that `flags` select (SHCONTF_FOLDERS, SHCONTF_NONFOLDERS, SHCONTF_INCLUDEHIDDEN for
    /// dot names), in name order with numbers compared by value (StrCmpLogicalW), the desktop's in side
    /// bar order. S_FALSE with no enumerator when there is nothing to enumerate (also for a folder that
    /// loops back through a symbolic link); HRESULT_FROM_WIN32 of the error for an unreadable folder.
    STDMETHOD(EnumObjects)(HWND owner, SHCONTF flags, IEnumIDList** list) PURE;
    /// The folder of a (possibly multi-level) relative list as IID_IShellFolder; E_INVALIDARG for a
    /// damaged list, HRESULT_FROM_WIN32(ERROR_DIRECTORY) for an item that is no folder.
    STDMETHOD(BindToObject)(PCUIDLIST_RELATIVE list, LPBC context, REFIID iid, void** object) PURE;
    STDMETHOD(BindToStorage)(PCUIDLIST_RELATIVE list, LPBC context, REFIID iid, void** object) PURE;
    /// Name order of two children (as StrCmpLogicalW, folders first) in the code of a success result:
    /// negative, 0 or positive as a short.
    STDMETHOD(CompareIDs)(LPARAM how, PCUIDLIST_RELATIVE first, PCUIDLIST_RELATIVE second) PURE;
    STDMETHOD(CreateViewObject)(HWND owner, REFIID iid, void** object) PURE;
    /// The attributes, of those asked in `attributes`, that all `count` items have: SFGAO_FOLDER,
    /// SFGAO_FILESYSTEM, SFGAO_FILESYSANCESTOR, SFGAO_HASSUBFOLDER (a folder holding a folder that is not
    /// hidden), SFGAO_LINK (a symbolic link), SFGAO_GHOSTED and SFGAO_HIDDEN (dot names), SFGAO_READONLY;
    /// never SFGAO_SHARE.
    STDMETHOD(GetAttributesOf)(UINT count, PCUITEMID_CHILD_ARRAY items, SFGAOF* attributes) PURE;
    /// An object of the items' user interface: the context menu of the items (ContextMenu.h) or, for one
    /// regular file, its image extractor (IID_IExtractImage, ExtractImage.h; E_FAIL for other items).
    STDMETHOD(GetUIObjectOf)
    (HWND owner, UINT count, PCUITEMID_CHILD_ARRAY items, REFIID iid, UINT* reserved, void** object) PURE;
    /// SHGDN_NORMAL and SHGDN_INFOLDER: the file name (the desktop's folders: "Home", the folder's name,
    /// "File System", the volume's label); SHGDN_FORPARSING: the full path (with SHGDN_INFOLDER, the file
    /// name). The empty list names this folder itself.
    STDMETHOD(GetDisplayNameOf)(PCUITEMID_CHILD item, SHGDNF flags, STRRET* name) PURE;
    STDMETHOD(SetNameOf)
    (HWND owner, PCUITEMID_CHILD item, LPCWSTR name, SHGDNF flags, PITEMID_CHILD* newItem) PURE;

protected:
    ~IShellFolder() = default;
};
using LPSHELLFOLDER = IShellFolder*;

/// The desktop root's folder, with one reference for the caller.
PLATFORM_API HRESULT SHGetDesktopFolder(IShellFolder** folder);
/// The absolute ID list of a special folder: CSIDL_DESKTOP (the empty list), CSIDL_PERSONAL (the XDG
/// documents folder), CSIDL_DESKTOPDIRECTORY (the XDG desktop folder), CSIDL_BITBUCKET (the trash's
/// files folder). E_INVALIDARG for another id; E_FAIL when the folder does not exist.
PLATFORM_API HRESULT SHGetSpecialFolderLocation(HWND owner, int folder, PIDLIST_ABSOLUTE* list);
/// The absolute ID list of an existing path, as ILCreateFromPath; `attributes` may be null.
PLATFORM_API HRESULT SHParseDisplayName(LPCWSTR name, LPBC context, PIDLIST_ABSOLUTE* list, SFGAOF wanted,
                                        SFGAOF* attributes);

/// Copies the name into `buffer` (`size` bytes, cut to fit and terminated) and frees a STRRET_WSTR
/// string; `item` is the list the name came with (for STRRET_OFFSET).
PLATFORM_API HRESULT StrRetToBufA(STRRET* name, PCUITEMID_CHILD item, LPSTR buffer, UINT size);
/// The name as a new UTF-8 string from the COM task allocator (free it with CoTaskMemFree); frees a
/// STRRET_WSTR string.
PLATFORM_API HRESULT StrRetToStrA(STRRET* name, PCUITEMID_CHILD item, LPSTR* text);

#define StrRetToBuf StrRetToBufA
#define StrRetToStr StrRetToStrA
