#pragma once

#include "platform/listview/ImageList.h"
#include "platform/shell/ItemIdList.h"
#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

/// File information and the system image list: the icons of the desktop's icon theme (freedesktop icon
/// names from the file's MIME type, folders and the desktop's own folders), or our own plain pictures of
/// a folder, an open folder, a file, a picture and a video when the theme has none. The system image
/// lists (16 x 16 small, 32 x 32 large icons) belong to the shell and live as long as the process: never
/// destroy them. Each distinct icon has one index, made the first time it is asked for. Theme icons are
/// read on the user-interface thread; asked from another thread, an icon not yet in the list gets our own
/// picture. Any thread (the lists are guarded).

constexpr UINT SHGFI_LARGEICON = 0x00000;
constexpr UINT SHGFI_SMALLICON = 0x00001;
constexpr UINT SHGFI_OPENICON = 0x00002;
constexpr UINT SHGFI_PIDL = 0x00008;
constexpr UINT SHGFI_USEFILEATTRIBUTES = 0x00010;
constexpr UINT SHGFI_ICON = 0x00100;
constexpr UINT SHGFI_DISPLAYNAME = 0x00200;
constexpr UINT SHGFI_TYPENAME = 0x00400;
constexpr UINT SHGFI_SYSICONINDEX = 0x04000;

struct SHFILEINFOA
{
    HICON hIcon;
    int iIcon;
    DWORD dwAttributes;
    CHAR szDisplayName[MAX_PATH];
    CHAR szTypeName[80];
};
using SHFILEINFO = SHFILEINFOA;

/// Information on the item `path` names (with SHGFI_PIDL, `path` is an absolute item ID list): its
/// display name (SHGFI_DISPLAYNAME), its kind as text (SHGFI_TYPENAME: "Folder", or the MIME type's
/// description) and its icon's index in the system image list (SHGFI_SYSICONINDEX; SHGFI_SMALLICON for
/// the small list, SHGFI_OPENICON for an open folder); with SHGFI_ICON, that icon itself in hIcon (large
/// unless SHGFI_SMALLICON), which the caller ends with DestroyIcon. With SHGFI_USEFILEATTRIBUTES and a path,
/// the disk is not read: `attributes` (FILE_ATTRIBUTE_DIRECTORY or not) and the name's extension decide.
/// Texts are cut to their fields. Returns the image list's handle with SHGFI_SYSICONINDEX, else non-zero; 0
/// when the item does not exist or the list is damaged.
PLATFORM_API DWORD_PTR SHGetFileInfoA(LPCSTR path, DWORD attributes, SHFILEINFOA* info, UINT infoSize,
                                      UINT flags);
#define SHGetFileInfo SHGetFileInfoA

namespace platform::shell
{
/// The icon theme changed: the system image lists are emptied and filled again on demand. Indexes handed
/// out before are void; user-interface thread.
PLATFORM_API void ReloadSystemIcons();
} // namespace platform::shell
