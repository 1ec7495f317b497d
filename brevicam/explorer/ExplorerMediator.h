#pragma once

#include "brevicam/explorer/ShellItemData.h"
#include "platform/shell/ShellFolder.h"
#include "platform/win/WinTypes.h"

/// The events the folder tree and the file list report to their owner through
/// CExplorerMediator::OnExplorerEvent.
enum EExplorerEvent
{
    /// File list: a population ended with a CShellException; first parameter its HRESULT, second 0.
    EXN_FOLDER_ERROR = 0,
    /// File list: it switched to another folder and emptied itself; both parameters 0.
    EXN_FOLDER_CHANGED = 2,
    /// Folder tree: a shell change notification; first parameter as it was delivered (the two item ID
    /// lists), second the SHCNE_ code.
    EXN_SHELL_CHANGE = 4097
};

/// What the folder tree and the file list leave to their owner. Every call comes on the user-interface
/// thread from a control's message handler; the records passed stay owned by the controls and are valid
/// during the call only. An exception thrown here travels out of the control's handler (a population
/// reports a CShellException as EXN_FOLDER_ERROR instead). The owner outlives both controls.
class CExplorerMediator
{
public:
    virtual ~CExplorerMediator() = default;

    /// False: the file list drops a population request.
    virtual bool IsReady() = 0;
    /// An EExplorerEvent with its parameters; the result is handed back to the control's caller.
    virtual LRESULT OnExplorerEvent(int code, WPARAM first, LPARAM second) = 0;
    /// The tree's selection changed to `folder`.
    virtual void OnFolderSelected(tagTShellItemData* folder) = 0;
    /// A node of the tree is about to expand (`expanding` TRUE) or collapse.
    virtual void OnFolderExpanding(tagTShellItemData* folder, BOOL expanding) = 0;
    /// An item of the file list was double-clicked.
    virtual void OpenItem(tagTShellItemData* item) = 0;
    /// True refuses a file dropped onto the list from outside.
    virtual bool FilterItem(const char* path) = 0;
    /// True hides a non-folder child of the folder the list shows.
    virtual bool FilterShellItem(IShellFolder* folder, LPCITEMIDLIST folderList, LPCITEMIDLIST child) = 0;
};
