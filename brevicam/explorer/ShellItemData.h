#pragma once

#include "platform/shell/ItemIdList.h"
#include "platform/shell/ShellFolder.h"

/// The item data of every item of the folder tree and of the file list. The control item that carries it
/// owns it: one reference to the folder, the relative ID list and the parent's absolute ID list.
struct tagTShellItemData
{
    /// The folder that contains the item.
    IShellFolder* pFolder = nullptr;
    /// The item's single-level ID list relative to that folder.
    LPITEMIDLIST pidlRelative = nullptr;
    /// A copy of the absolute ID list of the containing folder; null only for the desktop root.
    LPITEMIDLIST pidlParent = nullptr;
};

/// The absolute ID list of the record's item, for the caller; null for no record.
inline platform::shell::IdListPtr AbsoluteIdListOf(const tagTShellItemData* record)
{
    if (!record)
        return nullptr;
    return platform::shell::IdListPtr(ILCombine(record->pidlParent, record->pidlRelative));
}

/// Frees a record as the controls do when they delete its item: the folder reference, the parent ID
/// list, the relative ID list, then the record. Null does nothing.
inline void FreeShellItemData(tagTShellItemData* data)
{
    if (!data)
        return;
    if (data->pFolder)
        data->pFolder->Release();
    ILFree(data->pidlParent);
    ILFree(data->pidlRelative);
    delete data;
}
