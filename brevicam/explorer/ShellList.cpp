#include "brevicam/explorer/ShellList.h"

#include "platform/listview/ListView.h"
#include "platform/menu/Menu.h"

BEGIN_MESSAGE_MAP(CShellListCtrl, faldra::CSkinListCtrl)
ON_MESSAGE(WM_SHELLLIST_POPULATE, OnPopulate)
ON_MESSAGE(WM_SHELLLIST_THUMBNAIL_DONE, OnThumbgenerated)
ON_MESSAGE(WM_SHELLLIST_FILE_MODIFIED, OnFileModified)
ON_NOTIFY_REFLECT(LVN_GETDISPINFO, OnGetDispInfo)
ON_NOTIFY_REFLECT(NM_CUSTOMDRAW, OnNMCustomdraw)
ON_NOTIFY_REFLECT(NM_DBLCLK, OnDblClick)
ON_NOTIFY_REFLECT(LVN_DELETEITEM, OnDeleteItem)
ON_NOTIFY_REFLECT(LVN_BEGINDRAG, OnBeginDrag)
ON_NOTIFY_REFLECT(LVN_BEGINRDRAG, OnBeginRDrag)
ON_WM_LBUTTONDOWN()
ON_WM_DESTROY()
ON_WM_CONTEXTMENU()
ON_WM_MEASUREITEM()
ON_WM_DRAWITEM()
ON_WM_MENUCHAR()
ON_WM_INITMENUPOPUP()
ON_NOTIFY_EX_RANGE(TTN_NEEDTEXTA, 0, 0xFFFF, OnNeedToolTipText)
ON_NOTIFY_EX_RANGE(TTN_NEEDTEXTW, 0, 0xFFFF, OnNeedToolTipText)
END_MESSAGE_MAP()

// Placeholder bodies: population, drawing and the folder watch.

CShellListCtrl::CShellListCtrl(CExplorerMediator* mediator) : m_pMediator(mediator), m_hResources(nullptr) {}

CShellListCtrl::~CShellListCtrl() = default;

void CShellListCtrl::InitializeCtrl() {}
void CShellListCtrl::AdjustIconSpacing() {}
void CShellListCtrl::SetMaxNameLength(int length)
{
    m_nMaxNameLength = length;
}
LRESULT CShellListCtrl::ShowFolder(tagTShellItemData* folder)
{
    return SendMessage(WM_SHELLLIST_POPULATE, ShellListShowFolder, reinterpret_cast<LPARAM>(folder));
}
LPITEMIDLIST CShellListCtrl::GetFolderPIDL()
{
    return nullptr;
}
CString CShellListCtrl::GetFolderPath(tagTShellItemData*)
{
    return {};
}
CString CShellListCtrl::GetCurrentFolderPath()
{
    return {};
}
CString CShellListCtrl::GetItemPath(int)
{
    return {};
}
std::vector<CString> CShellListCtrl::GetSelectedPaths()
{
    return {};
}
int CShellListCtrl::FindItem(const char*, const std::set<int>*)
{
    return -1;
}
int CShellListCtrl::SelectAll(BOOL)
{
    return 0;
}
void CShellListCtrl::ClearSelection() {}
int CShellListCtrl::InsertListViewItem(IShellFolder*, LPCITEMIDLIST, LPITEMIDLIST, char*)
{
    return -1;
}
void CShellListCtrl::LVPopulateFiles(tagTShellItemData*) {}
int CALLBACK CShellListCtrl::CompareItems(LPARAM, LPARAM, LPARAM)
{
    return 0;
}
LRESULT CShellListCtrl::OnPopulate(WPARAM, LPARAM)
{
    return 0;
}
void CShellListCtrl::OnGetDispInfo(NMHDR*, LRESULT* result)
{
    *result = 0;
}
void CShellListCtrl::OnNMCustomdraw(NMHDR* header, LRESULT* result)
{
    faldra::CSkinListCtrl::OnNMCustomdraw(header, result);
}
void CShellListCtrl::OnDblClick(NMHDR*, LRESULT* result)
{
    *result = 0;
}
void CShellListCtrl::OnDeleteItem(NMHDR*, LRESULT* result)
{
    *result = 0;
}
void CShellListCtrl::OnLButtonDown(UINT, CPoint)
{
    Default();
}
void CShellListCtrl::OnDestroy()
{
    Default();
}
void CShellListCtrl::CreateSignals() {}
void CShellListCtrl::CloseSignals() {}
void CShellListCtrl::RemoveAllItemsAndImages() {}
DWORD CShellListCtrl::WatchThreadProc(LPVOID)
{
    return 0;
}
void CShellListCtrl::DoWatchLoop() {}
