// The capture panel's file side: the explorer callbacks of the folder tree and the thumbnail list, the
// media kinds it shows, and the file buttons.

#include "CaptureDlg.h"

#include "brevicam/capture/CaptureController.h"
#include "brevicam/core/Params.h"
#include "brevicam/core/SkinMessageBox.h"
#include "brevicam/explorer/ShellClass.h"
#include "brevicam/explorer/ShellList.h"
#include "brevicam/explorer/ShellTree.h"
#include "brevicam/media/CopyToFolderDlg.h"
#include "brevicam/ui/BrevicamDlg.h"
#include "platform/shell/ChangeNotify.h"
#include "platform/shell/FileOperation.h"
#include "platform/shell/ItemIdList.h"
#include "platform/shell/ShellExecute.h"
#include "platform/shell/ShellFolder.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"

#include <cstring>
#include <string>
#include <strings.h>
#include <system_error>

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

bool CCaptureDlg::ListShowsTrash()
{
    if (!m_pList->GetSafeHwnd())
        return false;
    LPITEMIDLIST shown = nullptr;
    try
    {
        shown = m_pList->GetFolderPIDL();
    }
    catch (const CUserInterfaceException&)
    {
        return false;
    }
    PIDLIST_ABSOLUTE trash = nullptr;
    const bool same =
        SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, &trash)) && ILIsEqual(shown, trash);
    ILFree(trash);
    ILFree(shown);
    return same;
}

LRESULT CCaptureDlg::OnShellChange(long event)
{
    constexpr long kFolderEvents =
        SHCNE_RENAMEITEM | SHCNE_DELETE | SHCNE_UPDATEDIR | SHCNE_RENAMEFOLDER | SHCNE_FREESPACE;
    // The trash is not watched like a folder of the user's: what lands in it shows when it is refreshed.
    if ((event & kFolderEvents) != 0 && ListShowsTrash())
        m_pList->ShowFolder(nullptr);
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
    // One file action at a time, and never while the file being recorded is among the selection.
    if (m_bFileActionBusy || m_nSelectedRecordingCount != 0 || !m_pList->GetSafeHwnd())
        return;
    // The selection is taken before the question: what the user confirms is what was selected when asked.
    std::vector<CString> paths = m_pList->GetSelectedPaths();
    if (IsRecording())
    {
        const CString recording = g_params.GetCaptureFileName();
        std::erase_if(paths, [&](const CString& path) { return SameText(path, recording); });
    }
    if (paths.empty())
        return;
    m_bFileActionBusy = true;
    const HWND window = m_hWnd;
    const int answer = SkinMessageBoxId(window, IDS_CONFIRM_DELETE, CParams::GetAppTitle().GetString(),
                                        MB_ICONQUESTION | MB_YESNO);
    if (!::IsWindow(window))
    {
        // The panel went while the question was up: nothing is deleted.
        m_bFileActionBusy = false;
        return;
    }
    if (answer != IDYES)
    {
        EndFileAction();
        return;
    }
    const bool forGood = ListShowsTrash();
    JoinDeleteThread();
    try
    {
        m_deleteThread = std::thread(&CCaptureDlg::DeleteThreadProc, this, std::move(paths), forGood, window);
    }
    catch (const std::system_error&)
    {
        SkinMessageBoxId(window, IDS_DELETE_FILES_FAILED, CParams::GetAppTitle().GetString(), MB_ICONERROR);
        EndFileAction();
    }
}

void CCaptureDlg::DeleteThreadProc(std::vector<CString> paths, bool forGood, HWND owner)
{
    std::string list;
    for (const CString& path : paths)
    {
        list += path.Str();
        list += '\0';
    }
    list += '\0';
    SHFILEOPSTRUCT operation{};
    operation.hwnd = g_params.m_hMainWnd;
    operation.wFunc = FO_DELETE;
    operation.pFrom = list.data();
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    if (!forGood)
        operation.fFlags |= FOF_ALLOWUNDO;
    const int result = SHFileOperation(&operation);
    // The thread touches nothing of the panel: the panel hears of the end through its queue.
    ::PostMessage(owner, WM_PANEL_DELETE_DONE, static_cast<WPARAM>(result),
                  static_cast<LPARAM>(paths.size()));
}

LRESULT CCaptureDlg::OnDeleteDone(WPARAM result, LPARAM count)
{
    JoinDeleteThread();
    if (result != 0)
        SkinMessageBoxId(m_hWnd, count < 2 ? IDS_DELETE_FILE_FAILED : IDS_DELETE_FILES_FAILED,
                         CParams::GetAppTitle().GetString(), MB_ICONERROR);
    if (!WindowAlive())
    {
        m_bFileActionBusy = false;
        return 0;
    }
    EndFileAction();
    UpdateButtons();
    return 0;
}

void CCaptureDlg::JoinDeleteThread()
{
    if (m_deleteThread.joinable())
        m_deleteThread.join();
}

void CCaptureDlg::EndFileAction()
{
    m_bFileActionBusy = false;
    if (m_nCloseRequested && WindowAlive())
    {
        if (m_pMainDialog && m_pMainDialog->GetHwnd())
            ::EnableWindow(m_pMainDialog->GetHwnd(), TRUE);
        PostMessage(WM_CLOSE);
    }
}

void CCaptureDlg::OnCopyToFolder()
{
    if (m_bFileActionBusy || !m_pList->GetSafeHwnd())
        return;
    m_bFileActionBusy = true;
    std::vector<CString> paths = m_pList->GetSelectedPaths();
    if (!paths.empty())
    {
        const HWND window = m_hWnd;
        CCopyToFolderDlg dialog(std::move(paths), this);
        m_pModalChild = &dialog;
        dialog.DoModal();
        if (m_pModalChild == &dialog)
            m_pModalChild = nullptr;
        if (!::IsWindow(window))
        {
            m_bFileActionBusy = false;
            return;
        }
    }
    EndFileAction();
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
