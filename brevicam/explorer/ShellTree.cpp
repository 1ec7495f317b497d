#include "brevicam/explorer/ShellTree.h"

#include "brevicam/explorer/ShellClass.h"
#include "platform/com/Com.h"
#include "platform/com/ComPtr.h"
#include "platform/shell/ChangeNotify.h"
#include "shared/exceptions/Exceptions.h"

#include <memory>
#include <string>

namespace
{
using platform::shell::IdListPtr;

tagTShellItemData* RecordOf(LPARAM data)
{
    return reinterpret_cast<tagTShellItemData*>(data);
}
} // namespace

BEGIN_MESSAGE_MAP(CShellTreeCtrl, faldra::CSkinTreeCtrl)
ON_NOTIFY_REFLECT(TVN_SELCHANGED, OnSelChanged)
ON_NOTIFY_REFLECT(TVN_ITEMEXPANDING, OnItemExpanding)
ON_NOTIFY_REFLECT(TVN_DELETEITEM, OnDeleteItem)
ON_MESSAGE(WM_SHELLTREE_CHANGE, OnShellChange)
ON_MESSAGE(WM_SHELLTREE_CHANGE_DEFERRED, OnShellChangeDeferred)
ON_WM_DESTROY()
END_MESSAGE_MAP()

CShellTreeCtrl::CShellTreeCtrl(CExplorerMediator* mediator) : m_pMediator(mediator) {}

CShellTreeCtrl::~CShellTreeCtrl()
{
    // The records are freed by this class's handlers, which are gone once the base destructors run.
    if (GetSafeHwnd())
        DestroyWindow();
}

void CShellTreeCtrl::RedrawNow()
{
    SetRedraw(TRUE);
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CShellTreeCtrl::InitializeCtrl()
{
    SetRedraw(FALSE);
    ModifyStyle(0, TVS_HASBUTTONS | TVS_HASLINES | TVS_SHOWSELALWAYS);
    try
    {
        const HIMAGELIST images = CShellClass::GetSystemImageList(TRUE);
        SendMessage(TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
        SendMessage(TVM_SETIMAGELIST, TVSIL_STATE, reinterpret_cast<LPARAM>(images));
        if (!InsertDesktopItem())
            throw CUserInterfaceException(THROW_SITE_MESSAGE("Failed to insert Desktop item"));
    }
    catch (...)
    {
        RedrawNow();
        throw;
    }
    RedrawNow();

    LPITEMIDLIST desktop = nullptr;
    const HRESULT hr = SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop);
    if (FAILED(hr))
        throw CShellException(THROW_SITE_MESSAGE("Failed getting the Desktop object PIDL"), hr);
    const SHChangeNotifyEntry entry{desktop, TRUE};
    m_ulRegistration =
        SHChangeNotifyRegister(m_hWnd, SHCNRF_ShellLevel, SHCNE_ALLEVENTS, WM_SHELLTREE_CHANGE, 1, &entry);
    ILFree(desktop);
}

HTREEITEM CShellTreeCtrl::InsertRecord(TVINSERTSTRUCT& insert, LPITEMIDLIST child, char* name)
{
    auto* record = RecordOf(insert.item.lParam);
    if (!record)
    {
        // Neither a folder nor part of the file system: no item, and the list is still ours.
        ILFree(child);
        CoTaskMemFree(name);
        return nullptr;
    }
    const HTREEITEM item = InsertItem(&insert);
    CoTaskMemFree(name);
    if (!item)
        FreeShellItemData(record);
    return item;
}

HTREEITEM CShellTreeCtrl::InsertDesktopItem()
{
    platform::com::ComPtr<IShellFolder> desktop;
    HRESULT hr = SHGetDesktopFolder(desktop.Put());
    if (FAILED(hr))
        throw CShellException(THROW_SITE_MESSAGE("Failed getting the Desktop object interface"), hr);
    LPITEMIDLIST list = nullptr;
    hr = SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &list);
    if (FAILED(hr))
        throw CShellException(THROW_SITE_MESSAGE("Failed getting the Desktop object PIDL"), hr);

    TVINSERTSTRUCT insert{};
    char* name = nullptr;
    try
    {
        CShellClass::FillTreeViewItem(&insert, desktop.Get(), nullptr, list, nullptr, TVI_LAST, &name, TRUE);
    }
    catch (...)
    {
        // Once the record exists it owns the list; before, the list is still ours.
        if (insert.item.lParam)
            FreeShellItemData(RecordOf(insert.item.lParam));
        else
            ILFree(list);
        CoTaskMemFree(name);
        throw;
    }
    const HTREEITEM item = InsertRecord(insert, list, name);
    if (item)
        Expand(item, TVE_EXPAND);
    return item;
}

void CShellTreeCtrl::PopulateTree(NMTREEVIEW* notification)
{
    const HTREEITEM item = notification->itemNew.hItem;
    if ((notification->action & TVE_COLLAPSE) || GetChildItem(item))
        return;
    const tagTShellItemData* record = RecordOf(GetItemData(item));
    if (!record)
        return;

    platform::com::ComPtr<IShellFolder> folder;
    HRESULT hr = S_OK;
    if (item == GetRootItem())
        folder = record->pFolder;
    else
        hr = record->pFolder->BindToObject(record->pidlRelative, nullptr, IID_IShellFolder, folder.PutVoid());
    if (!folder)
        throw CShellException(THROW_SITE_MESSAGE("Cannot get IShellFolder interface for the expanding item"),
                              FAILED(hr) ? hr : E_NOINTERFACE);

    platform::com::ComPtr<IEnumIDList> children;
    hr = folder->EnumObjects(nullptr, SHCONTF_FOLDERS, children.Put());
    if (FAILED(hr))
        throw CShellException(THROW_SITE_MESSAGE("Cannot enumerate folder objects"), hr);
    if (hr == S_FALSE || !children)
        return;

    const IdListPtr parentList = AbsoluteIdListOf(record);
    HTREEITEM after = TVI_FIRST;
    for (;;)
    {
        LPITEMIDLIST child = nullptr;
        ULONG fetched = 0;
        hr = children->Next(1, &child, &fetched);
        if (FAILED(hr))
            throw CShellException(THROW_SITE_MESSAGE("Failed enumerating all folder items"), hr);
        if (hr == S_FALSE || fetched == 0)
            break;
        SFGAOF attributes = SFGAO_FOLDER | SFGAO_GHOSTED;
        LPCITEMIDLIST items[] = {child};
        if (FAILED(folder->GetAttributesOf(1, items, &attributes)) || !(attributes & SFGAO_FOLDER) ||
            (attributes & SFGAO_GHOSTED))
        {
            ILFree(child);
            continue;
        }
        TVINSERTSTRUCT insert{};
        char* name = nullptr;
        try
        {
            CShellClass::FillTreeViewItem(&insert, folder.Get(), parentList.get(), child, item, after, &name,
                                          TRUE);
        }
        catch (...)
        {
            if (insert.item.lParam)
                FreeShellItemData(RecordOf(insert.item.lParam));
            else
                ILFree(child);
            CoTaskMemFree(name);
            throw;
        }
        if (const HTREEITEM inserted = InsertRecord(insert, child, name))
            after = inserted;
    }
}

HTREEITEM CShellTreeCtrl::Explore(const CString& path)
{
    std::string text(static_cast<LPCTSTR>(path));
    if (text.empty())
        throw CInvalidArgumentException(THROW_SITE_MESSAGE("No path received for exploration"));
    if (text.back() == ':')
        text += '/';
    const IdListPtr target(ILCreateFromPath(text.c_str()));
    SetRedraw(FALSE);
    HTREEITEM found = nullptr;
    try
    {
        found = ExploreFrom(GetRootItem(), target.get());
    }
    catch (...)
    {
        RedrawNow();
        throw;
    }
    RedrawNow();
    SelectItem(found);
    return found;
}

HTREEITEM CShellTreeCtrl::ExploreFrom(HTREEITEM start, LPCITEMIDLIST target)
{
    for (HTREEITEM current = start; current;)
    {
        const IdListPtr absolute = AbsoluteIdListOf(RecordOf(GetItemData(current)));
        if (ILIsEqual(absolute.get(), target))
        {
            EnsureVisible(current);
            return current;
        }
        if (ILIsParent(absolute.get(), target, FALSE))
        {
            if (!ItemHasChildren(current) || !Expand(current, TVE_EXPAND))
                throw CUserInterfaceException(THROW_SITE_MESSAGE("Exploration failed"));
            current = GetChildItem(current);
            continue;
        }
        current = GetNextSiblingItem(current);
    }
    // A path outside the tree, or one that could not be converted, ends at the desktop.
    const HTREEITEM root = GetRootItem();
    if (!root)
        throw CUserInterfaceException(THROW_SITE_MESSAGE("Unreachable path; exploration failed"));
    return root;
}

void CShellTreeCtrl::Rebuild()
{
    HTREEITEM selected = GetSelectedItem();
    if (!selected)
        selected = GetRootItem();
    CString path;
    if (const tagTShellItemData* record = selected ? RecordOf(GetItemData(selected)) : nullptr)
        path = CShellClass::GetParsingName(record->pFolder, record->pidlRelative);

    SetRedraw(FALSE);
    try
    {
        DeleteAllItems();
        if (!InsertDesktopItem())
            throw CUserInterfaceException(THROW_SITE_MESSAGE("Failed to insert Desktop item"));
        Explore(path);
    }
    catch (...)
    {
        RedrawNow();
        throw;
    }
    RedrawNow();
}

void CShellTreeCtrl::OnSelChanged(NMHDR* header, LRESULT* result)
{
    const auto* notification = reinterpret_cast<NMTREEVIEW*>(header);
    RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    if (m_pMediator)
        m_pMediator->OnFolderSelected(RecordOf(notification->itemNew.lParam));
    *result = 0;
}

void CShellTreeCtrl::OnItemExpanding(NMHDR* header, LRESULT* result)
{
    auto* notification = reinterpret_cast<NMTREEVIEW*>(header);
    try
    {
        if (m_pMediator)
            m_pMediator->OnFolderExpanding(RecordOf(notification->itemNew.lParam),
                                           (notification->action & TVE_EXPAND) ? TRUE : FALSE);
        PopulateTree(notification);
    }
    catch (const std::exception&)
    {
        // The node keeps what was inserted before the failure; the expansion itself goes on.
    }
    *result = 0;
}

void CShellTreeCtrl::OnDeleteItem(NMHDR* header, LRESULT* result)
{
    const auto* notification = reinterpret_cast<NMTREEVIEW*>(header);
    if (notification->itemOld.lParam)
        FreeShellItemData(RecordOf(notification->itemOld.lParam));
    *result = 0;
}

LRESULT CShellTreeCtrl::OnShellChange(WPARAM wParam, LPARAM lParam)
{
    PostMessage(WM_SHELLTREE_CHANGE_DEFERRED, wParam, lParam);
    return 0;
}

LRESULT CShellTreeCtrl::OnShellChangeDeferred(WPARAM wParam, LPARAM lParam)
{
    return m_pMediator ? m_pMediator->OnExplorerEvent(EXN_SHELL_CHANGE, wParam, lParam) : 0;
}

void CShellTreeCtrl::OnDestroy()
{
    // Every record goes while this class still handles the deletions.
    DeleteAllItems();
    Default();
    SendMessage(TVM_SETIMAGELIST, TVSIL_NORMAL, 0);
    SendMessage(TVM_SETIMAGELIST, TVSIL_STATE, 0);
    if (m_ulRegistration)
        SHChangeNotifyDeregister(m_ulRegistration);
    m_ulRegistration = 0;
}
