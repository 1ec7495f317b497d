#pragma once

// Internal to platform_shell: the desktop's folders, paths of item ID lists, file attributes and the
// text conversions shared by the namespace, the file information and the change notification.

#include "platform/shell/ItemIdList.h"

#include <string>
#include <string_view>
#include <vector>

namespace platform::shell::detail
{
/// One folder shown directly below the desktop root.
struct DesktopRoot
{
    std::string path;        // absolute, cleaned
    std::string displayName; // as a file manager names it
    std::string iconName;    // freedesktop icon name
};

/// The desktop's folders, in the order a file manager's side bar lists them: the home folder, the XDG
/// user folders that exist, the file system root, then the mounted volumes a file manager shows. Read
/// afresh on each call (volumes come and go).
std::vector<DesktopRoot> DesktopRoots();
/// What the desktop root stands for on disk: the XDG desktop folder when it exists, else the home folder.
std::string DesktopFolderPath();
/// The desktop root whose path is `path`, or null.
const DesktopRoot* FindRoot(const std::vector<DesktopRoot>& roots, std::string_view path);
/// Deletes a file, link (never what it leads to) or folder with what it holds: into the desktop's trash
/// when `toTrash`, else for good. ERROR_SUCCESS, ERROR_FILE_NOT_FOUND when nothing is at `path`, or
/// ERROR_ACCESS_DENIED when it could not be moved or removed.
DWORD DeletePath(const char* path, bool toTrash);

/// `path` with doubled and trailing slashes removed and "." and ".." resolved lexically; empty for a
/// relative or empty path.
std::string CleanAbsolutePath(std::string_view path);
/// The last component of a cleaned absolute path ("/" for the root).
std::string LastComponent(const std::string& path);

/// The absolute ID list of a cleaned absolute path, whether or not it exists; null when it cannot be
/// made.
LPITEMIDLIST IDListFromPath(const std::string& cleanPath);

/// One record of an item ID list: its kind and text; false for a damaged record.
bool ReadRecord(const SHITEMID& id, char& kind, std::string& text);
/// Appends the records of `relative` to the path of a folder (`base` empty: the desktop root). Returns
/// false for a damaged list, a root record below the desktop, a name record directly below the desktop or
/// a name that is "." or "..". `viaDesktopRoot` receives whether the list's last record is a desktop root.
bool AppendIDListToPath(const std::string& base, LPCITEMIDLIST relative, std::string& path,
                        bool* lastIsRoot = nullptr);

/// A folder reached through a symbolic link that leads back to itself or to one of the folders on its
/// own path: enumerating it would go round for ever.
bool IsLoopingFolder(const std::string& path);
/// The folder holds at least one folder that is not hidden (stops at the first).
bool HasSubfolder(const std::string& path);
/// A hidden name, as file managers hide them: it begins with a dot.
bool IsHiddenName(std::string_view name);

/// UTF-8 and wide text, losslessly: bytes that are no valid UTF-8 (file names may hold any bytes) travel
/// as the code points U+DC80 to U+DCFF and come back as the same bytes.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

/// Tells the change notifications that a folder has been enumerated, so that recursive registrations
/// covering it start watching it.
void NoteFolderEnumerated(const std::string& path);
} // namespace platform::shell::detail
