#pragma once

// What the tests and the benchmark of the folder tree and the file list need of an owner: a mediator that
// shows everything, and the record a folder tree item carries for a folder.

#include "brevicam/explorer/ExplorerMediator.h"
#include "brevicam/explorer/ShellItemData.h"
#include "platform/shell/ItemIdList.h"
#include "platform/shell/ShellFolder.h"

#include <filesystem>

namespace explorer_test
{
/// Shows every file and is always ready.
class OpenMediator : public CExplorerMediator
{
public:
    bool IsReady() override { return true; }
    LRESULT OnExplorerEvent(int, WPARAM, LPARAM) override { return 0; }
    void OnFolderSelected(tagTShellItemData*) override {}
    void OnFolderExpanding(tagTShellItemData*, BOOL) override {}
    void OpenItem(tagTShellItemData*) override {}
    bool FilterItem(const char*) override { return false; }
    bool FilterShellItem(IShellFolder*, LPCITEMIDLIST, LPCITEMIDLIST) override { return false; }
};

/// The record a folder tree item carries for `folder` (the desktop's own folder for a folder at the root),
/// owned by the caller; null when the folder cannot be reached.
inline tagTShellItemData* FolderRecord(const std::filesystem::path& folder)
{
    const platform::shell::IdListPtr absolute(ILCreateFromPath(folder.c_str()));
    IShellFolder* desktop = nullptr;
    if (!absolute || FAILED(SHGetDesktopFolder(&desktop)))
        return nullptr;
    auto* record = new tagTShellItemData;
    record->pidlParent = ILClone(absolute.get());
    ILRemoveLastID(record->pidlParent);
    record->pidlRelative = ILClone(ILFindLastID(absolute.get()));
    if (record->pidlParent->mkid.cb == 0)
    {
        record->pFolder = desktop;
        return record;
    }
    const HRESULT bound = desktop->BindToObject(record->pidlParent, nullptr, IID_IShellFolder,
                                                reinterpret_cast<void**>(&record->pFolder));
    desktop->Release();
    if (FAILED(bound))
    {
        FreeShellItemData(record);
        return nullptr;
    }
    return record;
}
} // namespace explorer_test
