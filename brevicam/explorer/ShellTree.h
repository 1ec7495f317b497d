#pragma once

#include "brevicam/explorer/ExplorerMediator.h"
#include "platform/shell/ItemIdList.h"
#include "platform/window/WinUser.h"
#include "shared/faldra/SkinTreeCtrl.h"

/// The shell change notification the tree registers for; wParam points to the two item ID lists, lParam is
/// the SHCNE_ code.
constexpr UINT WM_SHELLTREE_CHANGE = WM_USER + 5382;
/// Posted by the tree to itself with the parameters of WM_SHELLTREE_CHANGE.
constexpr UINT WM_SHELLTREE_CHANGE_DEFERRED = WM_USER + 6468;

/// The folder tree of the capture panel: the shell namespace from the desktop root, folders only in name
/// order, each node filled on its first expansion; it reports selection, expansion and shell changes to
/// its mediator. User-interface thread only.
class CShellTreeCtrl : public faldra::CSkinTreeCtrl
{
public:
    explicit CShellTreeCtrl(CExplorerMediator* mediator);
    ~CShellTreeCtrl() override;

    /// Sets the styles and the small system image list, inserts and expands the desktop root and registers
    /// for shell changes. Throws the family's exceptions with redraw switched on again.
    void InitializeCtrl();
    /// Inserts the desktop root and expands it; null when it cannot be inserted.
    HTREEITEM InsertDesktopItem();
    /// Expands the tree down to the folder `path` and selects it (the desktop root for a path outside the
    /// tree); CInvalidArgumentException for an empty path, CUserInterfaceException when the way there
    /// cannot be opened.
    HTREEITEM Explore(const CString& path);
    /// The search behind Explore, from `start` towards `target`.
    HTREEITEM ExploreFrom(HTREEITEM start, LPCITEMIDLIST target);
    /// Empties the tree, inserts the desktop again and explores back to the folder that was selected.
    void Rebuild();
    /// Fills a node the first time it expands.
    void PopulateTree(NMTREEVIEW* notification);

protected:
    afx_msg void OnSelChanged(NMHDR* header, LRESULT* result);
    afx_msg void OnItemExpanding(NMHDR* header, LRESULT* result);
    afx_msg void OnDeleteItem(NMHDR* header, LRESULT* result);
    afx_msg LRESULT OnShellChange(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnShellChangeDeferred(WPARAM wParam, LPARAM lParam);
    afx_msg void OnDestroy();
    DECLARE_MESSAGE_MAP()

private:
    /// Redraw on again and the tree repainted at once.
    void RedrawNow();
    /// Inserts the item of `insert`; frees its record and the child list when it cannot be inserted.
    HTREEITEM InsertRecord(TVINSERTSTRUCT& insert, LPITEMIDLIST child, char* name);

    CExplorerMediator* m_pMediator;
    ULONG m_ulRegistration = 0;
};
