// The capture panel's file side: the explorer callbacks of the folder tree and the thumbnail list, the
// media kinds it shows, and the file buttons.

#include "CaptureDlg.h"

#include "brevicam/capture/CaptureController.h"
#include "brevicam/core/Params.h"
#include "brevicam/core/SkinMessageBox.h"
#include "brevicam/explorer/ShellClass.h"
#include "brevicam/explorer/ShellList.h"
#include "brevicam/explorer/ShellTree.h"
#include "platform/shell/ChangeNotify.h"
#include "platform/shell/ShellExecute.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"

#include <cstring>
#include <strings.h>

namespace
{
struct FileKind
{
    const char* extension;
    int type;
};
// The picture values are the image format codes of the image library.
constexpr FileKind kFileKinds[] = {
    {".bmp", 1},   {".gif", 2},    {".jpg", 3},   {".jpeg", 3},  {".png", 4},   {".ico", 5},
    {".tif", 6},   {".tiff", 6},   {".tga", 7},   {".pcx", 8},   {".wbmp", 9},  {".wmf", 10},
    {".emf", 10},  {".j2k", 11},   {".jp2", 11},  {".j2c", 12},  {".jpc", 12},  {".pgx", 13},
    {".pnm", 14},  {".pgm", 14},   {".ppm", 14},  {".ras", 15},  {".avi", 100}, {".asf", 100},
    {".mpg", 100}, {".mpeg", 100}, {".mov", 100}, {".mp4", 100}, {".wmv", 100},
};

bool SameText(const CString& a, const CString& b)
{
    return strcasecmp(a.GetString(), b.GetString()) == 0;
}
} // namespace

int CCaptureDlg::GetFileType(const char* name)
{
    if (!name)
        return 0;
    const std::size_t length = std::strlen(name);
    for (const FileKind& kind : kFileKinds)
    {
        const std::size_t tail = std::strlen(kind.extension);
        if (length >= tail && strcasecmp(name + length - tail, kind.extension) == 0)
            return kind.type;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------------------
// Explorer callbacks
// ---------------------------------------------------------------------------------------------------------

LRESULT CCaptureDlg::OnExplorerEvent(int code, WPARAM, LPARAM second)
{
    switch (code)
    {
    case EXN_FOLDER_ERROR:
        SkinMessageBoxId(m_hWnd, IDS_FOLDER_UNREADABLE, CParams::GetAppTitle().GetString(), MB_ICONERROR);
        return 0;
    case EXN_SHELL_CHANGE:
        return OnShellChange(static_cast<long>(second));
    default:
        return 0;
    }
}

void CCaptureDlg::OnFolderSelected(tagTShellItemData* folder)
{
    m_pList->ShowFolder(folder);
    UpdateButtons();
}

void CCaptureDlg::OnFolderExpanding(tagTShellItemData*, BOOL)
{
    m_pList->SelectAll(FALSE);
}

void CCaptureDlg::OpenItem(tagTShellItemData* item)
{
    if (!item)
        return;
    OpenFile(CShellClass::GetParsingName(item->pFolder, item->pidlRelative));
}

bool CCaptureDlg::FilterItem(const char* path)
{
    if (!path)
        throw CNullPointerException(THROW_SITE_MESSAGE("No filename to filter"));
    return GetFileType(path) == 0;
}

bool CCaptureDlg::FilterShellItem(IShellFolder* folder, LPCITEMIDLIST, LPCITEMIDLIST child)
{
    char* name = nullptr;
    CShellClass::GetName(folder, child, SHGDN_FORPARSING, &name);
    bool hidden = true;
    try
    {
        hidden = FilterItem(name);
    }
    catch (...)
    {
        CoTaskMemFree(name);
        throw;
    }
    CoTaskMemFree(name);
    return hidden;
}

LRESULT CCaptureDlg::OnShellChange(long)
{
    // Trashed files leave the list through the folder watch; the buttons follow what is left.
    UpdateButtons();
    return 0;
}

void CCaptureDlg::OpenFile(const CString& path)
{
    SHELLEXECUTEINFO info{};
    info.cbSize = sizeof info;
    info.fMask = 0x500;
    info.lpFile = path.GetString();
    info.nShow = SW_SHOWMAXIMIZED;
    if (!ShellExecuteEx(&info))
        SkinMessageBoxId(m_hWnd, IDS_UNABLE_TO_OPEN, CParams::GetAppTitle().GetString(), MB_ICONERROR);
}

// ---------------------------------------------------------------------------------------------------------
// File buttons
// ---------------------------------------------------------------------------------------------------------

void CCaptureDlg::UpdateButtons()
{
    if (!WindowAlive() || !m_pList->GetSafeHwnd())
        return;
    const bool recording = m_pController && m_pController->m_pProgState->GetState() == PS_RECORDING;
    const UINT selected = m_pList->GetSelectedCount();
    if (selected == 0 || m_nSelectedRecordingCount != 0)
    {
        for (CWnd* button : std::initializer_list<CWnd*>{&m_deleteButton, &m_openButton, &m_copyToEmailButton,
                                                         &m_copyToFolderButton})
            button->EnableWindow(FALSE);
    }
    else
    {
        if (!recording)
        {
            m_deleteButton.EnableWindow(TRUE);
            m_openButton.EnableWindow(TRUE);
            m_pList->EnableContextMenu(TRUE);
        }
        m_copyToEmailButton.EnableWindow(TRUE);
        m_copyToFolderButton.EnableWindow(TRUE);
    }
    if (static_cast<int>(selected) == m_pList->GetItemCount())
        m_selectAllButton.EnableWindow(FALSE);
    else if (!recording)
        m_selectAllButton.EnableWindow(TRUE);
}

void CCaptureDlg::OnOpen()
{
    if (!m_pList->GetSafeHwnd())
        return;
    for (const CString& path : m_pList->GetSelectedPaths())
        OpenFile(path);
}

void CCaptureDlg::OnSelectAll()
{
    if (!m_pList->GetSafeHwnd())
        return;
    m_pList->SelectAll(TRUE);
    m_pList->SetFocus();
    UpdateButtons();
}

void CCaptureDlg::OnDelete()
{
    // Deleting the selected files belongs to the file operations, which come with the file actions.
    UpdateButtons();
}

void CCaptureDlg::OnEditClear()
{
    if (m_nSelectedRecordingCount == 0 && m_deleteButton.IsWindowEnabled())
        OnDelete();
}

void CCaptureDlg::OnListItemChanged(NMHDR* header, LRESULT* result)
{
    *result = 0;
    const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
    if (m_pController && m_pController->m_pProgState->GetState() == PS_RECORDING &&
        (change->uChanged & LVIF_STATE))
    {
        const bool isRecording = change->iItem == -1 ||
                                 SameText(m_pList->GetItemPath(change->iItem), g_params.GetCaptureFileName());
        if (isRecording)
        {
            const bool now = (change->uNewState & LVIS_SELECTED) != 0;
            const bool before = (change->uOldState & LVIS_SELECTED) != 0;
            if (now && !before)
                ++m_nSelectedRecordingCount;
            else if (!now && before)
                --m_nSelectedRecordingCount;
        }
    }
    UpdateButtons();
}

void CCaptureDlg::OnListDeleteItem(NMHDR*, LRESULT* result)
{
    *result = 0;
    if (m_pList->GetItemCount() == 1)
        m_selectAllButton.EnableWindow(FALSE);
}
