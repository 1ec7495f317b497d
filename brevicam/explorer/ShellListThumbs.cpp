#include "brevicam/explorer/ShellList.h"

// Placeholder bodies: thumbnails.

bool tagTThumbInfo::CComp::operator()(const tagTThumbInfo* a, const tagTThumbInfo* b) const
{
    return a->nPriority > b->nPriority;
}

tagTThumbInfo::~tagTThumbInfo() = default;

BOOL CShellListCtrl::RefreshThumbnail(int)
{
    return FALSE;
}
void CShellListCtrl::EnableThumbnails(BOOL enable)
{
    m_bThumbnailsEnabled = enable;
}
LRESULT CShellListCtrl::OnThumbgenerated(WPARAM, LPARAM)
{
    return 1;
}
LRESULT CShellListCtrl::OnFileModified(WPARAM, LPARAM lParam)
{
    delete[] reinterpret_cast<char*>(lParam);
    return 0;
}
tagTThumbInfo* CShellListCtrl::CreateThumbJob(IShellFolder*, LPCITEMIDLIST, int, int)
{
    return nullptr;
}
BOOL CShellListCtrl::QueueThumbJob(IShellFolder*, LPCITEMIDLIST, int, int)
{
    return FALSE;
}
bool CShellListCtrl::ThumbnailsIdle()
{
    return true;
}
void CShellListCtrl::GetNextThumbnailAsync() {}
DWORD CShellListCtrl::GenerateThumbnailProc(LPVOID)
{
    return 0;
}
void CShellListCtrl::FreeQueuedJobs() {}
void CShellListCtrl::DropQueuedJobsOf(const std::set<int>&) {}
void CShellListCtrl::EndGenerators() {}
BOOL CShellListCtrl::StartThumbWatchThread()
{
    return TRUE;
}
void CShellListCtrl::EndThumbWatchThread() {}
DWORD CShellListCtrl::ThumbWatchThreadProc(LPVOID)
{
    return 0;
}
void CShellListCtrl::DoThumbWatchLoop() {}
