#pragma once

#include "brevicam/explorer/ShellItemData.h"
#include "platform/listview/TreeView.h"
#include "platform/shell/ShellFolder.h"
#include "platform/win/CString.h"

/// Shell utilities of the folder tree, the file list and the capture panel: names of items, their icons
/// in the small system image list and the insertion records of tree items. Static, stateless; failures
/// are thrown as the exception family.
class CShellClass
{
public:
    /// The child's display name with the SHGDN flags, as a new string from the COM task allocator for the
    /// caller to free with CoTaskMemFree. CNullPointerException for no folder, CShellException with the
    /// HRESULT when the name cannot be had or stored.
    static void GetName(IShellFolder* folder, LPCITEMIDLIST child, DWORD flags, char** name);
    /// The child's parsing name (for file-system items, the full path).
    static CString GetParsingName(IShellFolder* folder, LPCITEMIDLIST child);
    /// The system image list of small (`small` set) or large icons.
    static HIMAGELIST GetSystemImageList(BOOL small);
    /// The small icon of an item by its absolute ID list; CShellException (E_UNEXPECTED) when there is none.
    static int GetIconIndex(LPCITEMIDLIST absolute);
    /// The same for the item shown open.
    static int GetOpenIconIndex(LPCITEMIDLIST absolute);
    /// Mask and state of a tree item from shell attributes: text, images and data; children when the item
    /// has subfolders and `withChildren` is set; then cut for ghosted, overlay 2 for links and overlay 1
    /// for shares, the last that applies winning.
    static void SetTreeItemState(DWORD attributes, TVITEM* item, BOOL withChildren);
    /// The insertion record of one tree item for `child` of `folder` (whose absolute ID list is
    /// `parentList`, null for the desktop root itself), with a new tagTShellItemData that takes `child`.
    /// An item that is neither a folder nor in the file system gives an all-zero record and no data (the
    /// caller keeps `child`). `name` receives the item's text for the caller to free with CoTaskMemFree.
    /// After the record is made, a failure leaves it in the insertion record for the caller to free.
    static void FillTreeViewItem(TVINSERTSTRUCT* insert, IShellFolder* folder, LPCITEMIDLIST parentList,
                                 LPITEMIDLIST child, HTREEITEM parent, HTREEITEM insertAfter, char** name,
                                 BOOL withChildren);
};
