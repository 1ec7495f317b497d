#include "brevicam/explorer/ShellClass.h"

#include "platform/com/Com.h"
#include "platform/shell/FileInfo.h"
#include "shared/exceptions/Exceptions.h"

#include <cstring>
#include <memory>
#include <new>

namespace
{
constexpr UINT kIconFlags = SHGFI_SYSICONINDEX | SHGFI_PIDL | SHGFI_USEFILEATTRIBUTES | SHGFI_SMALLICON;
constexpr DWORD kTreeAttributes =
    SFGAO_HASSUBFOLDER | SFGAO_FILESYSTEM | SFGAO_FOLDER | SFGAO_SHARE | SFGAO_LINK | SFGAO_GHOSTED;

using platform::shell::IdListPtr;
} // namespace

void CShellClass::GetName(IShellFolder* folder, LPCITEMIDLIST child, DWORD flags, char** name)
{
    if (!folder)
        throw CNullPointerException(THROW_SITE_MESSAGE("No IShellFolder interface"));
    STRRET text{};
    HRESULT hr = folder->GetDisplayNameOf(child, flags, &text);
    if (FAILED(hr))
        throw CShellException(THROW_SITE_MESSAGE("Failed to get the display name"), hr);
    hr = StrRetToStr(&text, child, name);
    if (FAILED(hr))
        throw CShellException(THROW_SITE_MESSAGE("Failed to store the name in the return buffer"), hr);
}

CString CShellClass::GetParsingName(IShellFolder* folder, LPCITEMIDLIST child)
{
    if (!folder)
        throw CNullPointerException(THROW_SITE_MESSAGE("No IShellFolder interface"));
    char* name = nullptr;
    GetName(folder, child, SHGDN_FORPARSING, &name);
    CString result(name);
    CoTaskMemFree(name);
    return result;
}

HIMAGELIST CShellClass::GetSystemImageList(BOOL small)
{
    SHFILEINFO info{};
    UINT flags = SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES;
    if (small)
        flags |= SHGFI_SMALLICON;
    return reinterpret_cast<HIMAGELIST>(SHGetFileInfo("", FILE_ATTRIBUTE_NORMAL, &info, sizeof info, flags));
}

int CShellClass::GetIconIndex(LPCITEMIDLIST absolute)
{
    SHFILEINFO info{};
    if (!SHGetFileInfo(reinterpret_cast<LPCSTR>(absolute), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                       kIconFlags))
        throw CShellException(THROW_SITE_MESSAGE("Unable to load item's system icon"), E_UNEXPECTED);
    return info.iIcon;
}

int CShellClass::GetOpenIconIndex(LPCITEMIDLIST absolute)
{
    SHFILEINFO info{};
    if (!SHGetFileInfo(reinterpret_cast<LPCSTR>(absolute), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                       kIconFlags | SHGFI_OPENICON))
        throw CShellException(THROW_SITE_MESSAGE("Unable to load item's system icon"), E_UNEXPECTED);
    return info.iIcon;
}

void CShellClass::SetTreeItemState(DWORD attributes, TVITEM* item, BOOL withChildren)
{
    if (!item)
        throw CNullPointerException(THROW_SITE_MESSAGE("No tree item received"));
    item->mask = TVIF_TEXT | TVIF_IMAGE | TVIF_PARAM | TVIF_SELECTEDIMAGE;
    if ((attributes & SFGAO_HASSUBFOLDER) && withChildren)
    {
        item->cChildren = 1;
        item->mask |= TVIF_CHILDREN;
    }
    // Each test replaces the state: of a ghosted link, or a shared link, only the last mark shows.
    if (attributes & SFGAO_GHOSTED)
    {
        item->mask |= TVIF_STATE;
        item->state = TVIS_CUT;
        item->stateMask = TVIS_CUT;
    }
    if (attributes & SFGAO_LINK)
    {
        item->mask |= TVIF_STATE;
        item->state = INDEXTOOVERLAYMASK(2);
        item->stateMask = TVIS_OVERLAYMASK;
    }
    if (attributes & SFGAO_SHARE)
    {
        item->mask |= TVIF_STATE;
        item->state = INDEXTOOVERLAYMASK(1);
        item->stateMask = TVIS_OVERLAYMASK;
    }
}

void CShellClass::FillTreeViewItem(TVINSERTSTRUCT* insert, IShellFolder* folder, LPCITEMIDLIST parentList,
                                   LPITEMIDLIST child, HTREEITEM parent, HTREEITEM insertAfter, char** name,
                                   BOOL withChildren)
{
    if (!child)
        throw CNullPointerException(THROW_SITE_MESSAGE("Invalid PIDL received"));
    if (!folder)
        throw CNullPointerException(THROW_SITE_MESSAGE("No IShellFolder interface received"));
    SFGAOF attributes = kTreeAttributes;
    LPCITEMIDLIST items[] = {child};
    const HRESULT hr = folder->GetAttributesOf(1, items, &attributes);
    if (FAILED(hr))
        throw CShellException(THROW_SITE_MESSAGE("Failed to get item attributes"), hr);

    std::memset(insert, 0, sizeof *insert);
    if (!(attributes & (SFGAO_FOLDER | SFGAO_FILESYSTEM)))
        return;
    SetTreeItemState(attributes, &insert->item, withChildren);
    std::unique_ptr<tagTShellItemData> data(new (std::nothrow) tagTShellItemData);
    if (!data)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate tree view item data"));
    GetName(folder, child, SHGDN_NORMAL, name);
    insert->item.pszText = *name;
    insert->item.cchTextMax = 0;

    data->pidlRelative = child;
    data->pFolder = folder;
    folder->AddRef();
    data->pidlParent = parentList ? ILClone(parentList) : nullptr;
    insert->item.lParam = reinterpret_cast<LPARAM>(data.release());
    insert->hParent = parent;
    insert->hInsertAfter = insertAfter;

    const IdListPtr absolute(ILCombine(parentList, child));
    insert->item.iImage = GetIconIndex(absolute.get());
    insert->item.iSelectedImage = GetOpenIconIndex(absolute.get());
}
