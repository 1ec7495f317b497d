#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <cstdint>
#include <memory>
#include <string>

/// Item ID lists: the names of shell items as a chain of variable-sized records ending with a record of
/// size 0. Each record (SHITEMID) holds its size (2 bytes, itself included), a kind byte and a
/// NUL-terminated UTF-8 text:
///   - kind 'R', a child of the desktop root: the absolute path of one of the desktop's folders (the home
///     folder, an XDG user folder, a mounted volume, "/");
///   - kind 'N', a child of a folder: one file name, without "/".
/// The desktop root itself is the empty list (only the terminating 0). An absolute list is the chain from
/// the desktop: one 'R' record followed by 'N' records; a relative (single-level) list holds one record.
/// Lists are allocated with the COM task allocator: free them with ILFree or CoTaskMemFree. None of these
/// functions throws; any thread.

using USHORT = std::uint16_t;

#pragma pack(push, 1)
struct SHITEMID
{
    USHORT cb;
    BYTE abID[1];
};
struct ITEMIDLIST
{
    SHITEMID mkid;
};
#pragma pack(pop)

using LPSHITEMID = SHITEMID*;
using LPCSHITEMID = const SHITEMID*;
using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;
using PIDLIST_ABSOLUTE = ITEMIDLIST*;
using PCIDLIST_ABSOLUTE = const ITEMIDLIST*;
using PIDLIST_RELATIVE = ITEMIDLIST*;
using PCUIDLIST_RELATIVE = const ITEMIDLIST*;
using PITEMID_CHILD = ITEMIDLIST*;
using PCITEMID_CHILD = const ITEMIDLIST*;
using PCUITEMID_CHILD = const ITEMIDLIST*;
using PCUITEMID_CHILD_ARRAY = const ITEMIDLIST* const*;

/// Bytes of the list, its terminator included; 0 for null.
PLATFORM_API UINT ILGetSize(LPCITEMIDLIST list);
/// The record after the first one; null at the end of the list or for null.
PLATFORM_API LPITEMIDLIST ILGetNext(LPCITEMIDLIST list);
/// The last record of the list (the list itself when empty); null for null.
PLATFORM_API LPITEMIDLIST ILFindLastID(LPCITEMIDLIST list);
/// A copy; null for null or when memory runs out.
PLATFORM_API LPITEMIDLIST ILClone(LPCITEMIDLIST list);
/// A copy of the first record alone.
PLATFORM_API LPITEMIDLIST ILCloneFirst(LPCITEMIDLIST list);
/// A new list: `first` followed by `second`; either may be null (then a copy of the other).
PLATFORM_API LPITEMIDLIST ILCombine(LPCITEMIDLIST first, LPCITEMIDLIST second);
/// Frees a list from these functions; null is ignored.
PLATFORM_API void ILFree(LPITEMIDLIST list);
/// Both lists name the same item (record by record, byte for byte). Two nulls are not equal.
PLATFORM_API BOOL ILIsEqual(LPCITEMIDLIST first, LPCITEMIDLIST second);
/// `parent` is an ancestor of `child` (the immediate parent only, with `immediate`). A list is no parent
/// of itself; the empty list (the desktop) is the parent of every non-empty list.
PLATFORM_API BOOL ILIsParent(LPCITEMIDLIST parent, LPCITEMIDLIST child, BOOL immediate);
/// Removes the last record in place; FALSE when the list was empty or null.
PLATFORM_API BOOL ILRemoveLastID(LPITEMIDLIST list);
/// The absolute list of an existing absolute path (its desktop folder being the longest one that holds
/// it); null for a relative, empty or missing path. ILCreateFromPathW takes the path as wide text.
PLATFORM_API LPITEMIDLIST ILCreateFromPathA(LPCSTR path);
PLATFORM_API LPITEMIDLIST ILCreateFromPathW(LPCWSTR path);
/// The file-system path of an absolute list into `path` (MAX_PATH characters); FALSE, with an empty
/// text, when the list names no file-system item or the path does not fit. The desktop root gives the
/// user's desktop folder.
PLATFORM_API BOOL SHGetPathFromIDListA(LPCITEMIDLIST list, LPSTR path);

#define ILCreateFromPath ILCreateFromPathA
#define SHGetPathFromIDList SHGetPathFromIDListA

namespace platform::shell
{
/// Owns a list and frees it with ILFree.
struct IdListDeleter
{
    void operator()(ITEMIDLIST* list) const { ILFree(list); }
};
using IdListPtr = std::unique_ptr<ITEMIDLIST, IdListDeleter>;

/// The path of an absolute list without the MAX_PATH limit; empty when it names no file-system item.
PLATFORM_API std::string PathFromIDList(LPCITEMIDLIST list);
/// A single-level list of one record of `kind` ('R' or 'N') with `text`; null when the text is empty,
/// too long or (for 'N') holds "/".
PLATFORM_API LPITEMIDLIST MakeItemID(char kind, const std::string& text);
} // namespace platform::shell
