#include "brevicam/core/Params.h"
#include "brevicam/explorer/ShellClass.h"
#include "brevicam/explorer/ShellList.h"
#include "brevicam/explorer/ThumbnailPicture.h"
#include "platform/listview/ListView.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/shell/DirectoryChanges.h"
#include "platform/shell/ExtractImage.h"
#include "platform/win/Kernel.h"
#include "platform/win/LastError.h"
#include "shared/exceptions/Exceptions.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <strings.h>
#include <unistd.h>

namespace
{
/// A file gets at most this many attempts while it is being written.
constexpr int kMaxThumbAttempts = 10;
constexpr int kPriorityRefresh = -1;
constexpr int kPriorityLast = INT_MAX;
constexpr DWORD kChangeFilter = 0x17F;
constexpr DWORD kChangeBufferSize = 16384;
constexpr std::size_t kMaxNameLength = 259;
/// How often a generator that is being ended is looked at (and a converter it started meanwhile ended).
constexpr DWORD kGeneratorEndPollMs = 20;

using ThumbQueue = std::priority_queue<tagTThumbInfo*, std::vector<tagTThumbInfo*>, tagTThumbInfo::CComp>;

/// The jobs of the queue as they lie in its heap, for looking through them and taking some out.
std::vector<tagTThumbInfo*>& HeapOf(ThumbQueue& queue)
{
    struct Access : ThumbQueue
    {
        static std::vector<tagTThumbInfo*>& Of(ThumbQueue& q) { return q.*(&Access::c); }
    };
    return Access::Of(queue);
}

/// Posts the job's result to its list.
void PostResult(tagTThumbInfo* job)
{
    PostMessage(job->hwndTarget, WM_SHELLLIST_THUMBNAIL_DONE, GetCurrentThreadId(),
                reinterpret_cast<LPARAM>(job));
}

bool IsCancelled(const tagTThumbInfo* job)
{
    return job->hCancel && WaitForSingleObject(job->hCancel, 0) == WAIT_OBJECT_0;
}

/// Whether the user interface reads right to left in Arabic, where thumbnails are mirrored.
bool MirrorsThumbnails()
{
    char code[4] = {};
    CParams::GetLanguageCode(code);
    return strcasecmp(code, "ARA") == 0;
}

/// `folder` and a name below it as one path.
CString JoinPath(const CString& folder, const char* name)
{
    if (folder.IsEmpty() || folder[folder.GetLength() - 1] == '/')
        return folder + name;
    return folder + "/" + name;
}
} // namespace

bool tagTThumbInfo::CComp::operator()(const tagTThumbInfo* a, const tagTThumbInfo* b) const
{
    if (!a || !b)
        throw CNullPointerException(
            ".\\ShellList[tagTThumbInfo::CComp::operator ()]: Invalid arguments to compare");
    return a->nPriority > b->nPriority;
}

tagTThumbInfo::~tagTThumbInfo()
{
    if (pExtractor)
        pExtractor->Release();
    if (hBitmap)
        DeleteObject(hBitmap);
    if (hCancel)
        CloseHandle(hCancel);
}

BOOL CShellListCtrl::RefreshThumbnail(int index)
{
    if (index < 0 || index >= GetItemCount())
        return FALSE;
    auto* record = reinterpret_cast<tagTShellItemData*>(GetItemData(index));
    if (!record || !QueueThumbJob(record->pFolder, record->pidlRelative, 0, kPriorityRefresh))
        return FALSE;
    if (ThumbnailsIdle())
        GetNextThumbnailAsync();
    return TRUE;
}

void CShellListCtrl::EnableThumbnails(BOOL enable)
{
    m_bThumbnailsEnabled = enable;
    if (enable)
        GetNextThumbnailAsync();
}

tagTThumbInfo* CShellListCtrl::CreateThumbJob(IShellFolder* folder, LPCITEMIDLIST child, int retryCount,
                                              int priority)
{
    if (!folder || !child)
        return nullptr;
    CString path;
    try
    {
        path = CShellClass::GetParsingName(folder, child);
    }
    catch (const CShellException&)
    {
        return nullptr;
    }
    IExtractImage* extractor = nullptr;
    if (FAILED(folder->GetUIObjectOf(nullptr, 1, &child, IID_IExtractImage, nullptr,
                                     reinterpret_cast<void**>(&extractor))) ||
        !extractor)
        return nullptr;
    auto* job = new tagTThumbInfo();
    job->pExtractor = extractor;
    job->hwndTarget = m_hWnd;
    job->nPriority = priority;
    job->nRetryCount = retryCount;
    job->path = path.GetString();
    return job;
}

BOOL CShellListCtrl::QueueThumbJob(IShellFolder* folder, LPCITEMIDLIST child, int retryCount, int priority)
{
    tagTThumbInfo* job = CreateThumbJob(folder, child, retryCount, priority);
    if (!job)
        return FALSE;
    m_jobs.push(job);
    return TRUE;
}

bool CShellListCtrl::ThumbnailsIdle()
{
    return m_generators.empty();
}

bool CShellListCtrl::IsThumbJobQueued(const std::string& path)
{
    const auto& heap = HeapOf(m_jobs);
    return std::any_of(heap.begin(), heap.end(), [&](const tagTThumbInfo* job) { return job->path == path; });
}

void CShellListCtrl::GetNextThumbnailAsync()
{
    if (!m_bThumbnailsEnabled)
        return;
    // One generator at a time: the running one's result starts the next.
    if (!m_generators.empty())
        return;
    tagTThumbInfo* job = nullptr;
    while (!job)
    {
        if (m_jobs.empty())
        {
            SetEvent(m_hThumbnailComplete);
            return;
        }
        job = m_jobs.top();
        m_jobs.pop();
        if (m_jobsInProgress.count(job->path))
        {
            delete job;
            job = nullptr;
        }
    }
    m_jobsInProgress[job->path] = job;
    job->hCancel = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    DWORD threadId = 0;
    HANDLE thread = job->hCancel
                        ? CreateThread(nullptr, 0, GenerateThumbnailProc, job, CREATE_SUSPENDED, &threadId)
                        : nullptr;
    if (!thread)
    {
        m_jobsInProgress.erase(job->path);
        delete job;
        return;
    }
    SetThreadPriority(thread, THREAD_PRIORITY_LOWEST);
    m_generators[threadId] = thread;
    ResetEvent(m_hThumbnailComplete);
    ResumeThread(thread);
}

DWORD CShellListCtrl::GenerateThumbnailProc(LPVOID parameter)
{
    auto* job = static_cast<tagTThumbInfo*>(parameter);
    if (!job)
        return static_cast<DWORD>(E_POINTER);
    job->generatorThread = static_cast<int>(gettid());

    char location[MAX_PATH] = {};
    DWORD priority = 0;
    const SIZE wanted{ShellThumbWidth, ShellThumbHeight};
    DWORD flags = isWindowsVista() ? IEIFLAG_ORIGSIZE : IEIFLAG_ASPECT;
    HRESULT result = job->pExtractor->GetLocation(location, MAX_PATH, &priority, &wanted, 32, &flags);
    if (FAILED(result))
    {
        PostResult(job);
        return static_cast<DWORD>(result);
    }
    HBITMAP picture = nullptr;
    result = job->pExtractor->Extract(&picture);
    // A picture that is damaged or still being written gives no better frame through the converter.
    if (!picture && result != HRESULT_SHARING_VIOLATION && result != HRESULT_FROM_WIN32(ERROR_INVALID_DATA) &&
        !IsCancelled(job))
        result = ExtractVideoFrame(job->path, job->hCancel, result, &picture);
    if (IsCancelled(job))
    {
        // The list is going: it frees the job once this thread has ended.
        if (picture)
            DeleteObject(picture);
        return static_cast<DWORD>(E_ABORT);
    }
    if (result < 0 || !picture)
    {
        if (picture)
            DeleteObject(picture);
        PostResult(job);
        return static_cast<DWORD>(result);
    }
    if (MirrorsThumbnails())
    {
        HBITMAP mirrored = MirrorBitmap(picture, TRUE);
        DeleteObject(picture);
        picture = mirrored;
    }
    job->hBitmap = MakeThumbnailPicture(picture);
    if (picture)
        DeleteObject(picture);
    PostResult(job);
    return 0;
}

LRESULT CShellListCtrl::OnThumbgenerated(WPARAM wParam, LPARAM lParam)
{
    const auto generator = m_generators.find(static_cast<DWORD>(wParam));
    // A generator that was ended already took its job with it.
    if (generator == m_generators.end())
        return 1;
    WaitForSingleObject(generator->second, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeThread(generator->second, &exitCode);
    const auto result = static_cast<HRESULT>(exitCode);
    CloseHandle(generator->second);
    m_generators.erase(generator);

    auto* job = reinterpret_cast<tagTThumbInfo*>(lParam);
    const auto inProgress = std::find_if(m_jobsInProgress.begin(), m_jobsInProgress.end(),
                                         [job](const auto& entry) { return entry.second == job; });
    if (!job || inProgress == m_jobsInProgress.end())
        return 1;
    m_jobsInProgress.erase(inProgress);

    LRESULT handled = 0;
    const int index = FindItem(job->path.c_str());
    if (result == HRESULT_SHARING_VIOLATION)
    {
        // Still being written: tried again at the back of the queue, up to the attempt limit.
        const int retryCount = job->nRetryCount + 1;
        if (index >= 0 && retryCount < kMaxThumbAttempts && !IsThumbJobQueued(job->path))
            if (auto* record = reinterpret_cast<tagTShellItemData*>(GetItemData(index)))
                QueueThumbJob(record->pFolder, record->pidlRelative, retryCount, kPriorityLast);
    }
    else if (job->hBitmap && index >= 0)
    {
        try
        {
            LVITEM item{};
            item.mask = LVIF_IMAGE;
            item.iItem = index;
            if (!GetItem(&item))
                throw CUserInterfaceException(
                    ".\\ShellList[CShellListCtrl::OnThumbgenerated]: Failed getting item information");
            CBitmap bitmap;
            bitmap.Attach(job->hBitmap);
            job->hBitmap = nullptr;
            if (item.iImage == I_IMAGECALLBACK)
                item.iImage = m_thumbnails.Add(&bitmap, RGB(0, 0, 0));
            else
                m_thumbnails.Replace(item.iImage, &bitmap, nullptr);
            if (item.iImage < 0 || !SetItem(&item))
                throw CUserInterfaceException(
                    ".\\ShellList[CShellListCtrl::OnThumbgenerated]: Failed setting item information");
            Update(index);
        }
        catch (const CUserInterfaceException&)
        {
            handled = 1;
        }
    }
    delete job;
    GetNextThumbnailAsync();
    return handled;
}

LRESULT CShellListCtrl::OnFileModified(WPARAM, LPARAM lParam)
{
    auto* name = reinterpret_cast<char*>(lParam);
    if (!name)
        return 0;
    const CString path = JoinPath(GetCurrentFolderPath(), name);
    delete[] name;
    // While paused (a recording is written) nothing is queued: the owner asks for the file's thumbnail
    // when it is done, and a file written for minutes must not fill the queue.
    if (!m_bThumbnailsEnabled)
        return 0;
    const int index = FindItem(path);
    if (index < 0 || IsThumbJobQueued(path.GetString()))
        return 0;
    auto* record = reinterpret_cast<tagTShellItemData*>(GetItemData(index));
    if (!record || !QueueThumbJob(record->pFolder, record->pidlRelative, 1, kPriorityLast))
        return 0;
    if (ThumbnailsIdle())
        GetNextThumbnailAsync();
    return 0;
}

void CShellListCtrl::FreeQueuedJobs()
{
    while (!m_jobs.empty())
    {
        delete m_jobs.top();
        m_jobs.pop();
    }
}

void CShellListCtrl::DropQueuedJobsOf(const std::set<int>& indexes)
{
    std::set<std::string> paths;
    for (const int index : indexes)
        paths.insert(GetItemPath(index).GetString());
    auto& heap = HeapOf(m_jobs);
    const auto gone = std::stable_partition(
        heap.begin(), heap.end(), [&](const tagTThumbInfo* job) { return !paths.count(job->path); });
    for (auto it = gone; it != heap.end(); ++it)
        delete *it;
    heap.erase(gone, heap.end());
    std::make_heap(heap.begin(), heap.end(), tagTThumbInfo::CComp());
}

void CShellListCtrl::EndGenerators()
{
    // Every generator is told to stop and its converter ended, then each is waited for: none is ever
    // killed while it might hold a lock.
    for (const auto& [path, job] : m_jobsInProgress)
        if (job->hCancel)
            SetEvent(job->hCancel);
    for (const auto& [id, thread] : m_generators)
    {
        // A converter started just as the stop came is ended on the next round.
        while (WaitForSingleObject(thread, kGeneratorEndPollMs) == WAIT_TIMEOUT)
            for (const auto& [path, job] : m_jobsInProgress)
                EndConverterOfThread(job->generatorThread);
        CloseHandle(thread);
    }
    m_generators.clear();
    FreeQueuedJobs();
    for (const auto& [path, job] : m_jobsInProgress)
        delete job;
    m_jobsInProgress.clear();
    SetEvent(m_hThumbnailComplete);
}

BOOL CShellListCtrl::StartThumbWatchThread()
{
    if (m_hThumbWatchThread)
        return TRUE;
    m_hThumbWatchStop = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    if (m_hThumbWatchStop)
        m_hThumbWatchThread = CreateThread(nullptr, 0, ThumbWatchThreadProc, this, 0, nullptr);
    if (!m_hThumbWatchThread && m_hThumbWatchStop)
    {
        CloseHandle(m_hThumbWatchStop);
        m_hThumbWatchStop = nullptr;
    }
    return m_hThumbWatchThread ? TRUE : FALSE;
}

void CShellListCtrl::EndThumbWatchThread()
{
    if (!m_hThumbWatchThread)
        return;
    SetEvent(m_hThumbWatchStop);
    {
        std::lock_guard lock(m_thumbWatchFolderLock);
        if (m_hThumbWatchFolder)
            CancelIoEx(m_hThumbWatchFolder, nullptr);
    }
    WaitForSingleObject(m_hThumbWatchThread, INFINITE);
    CloseHandle(m_hThumbWatchThread);
    m_hThumbWatchThread = nullptr;
    CloseHandle(m_hThumbWatchStop);
    m_hThumbWatchStop = nullptr;
}

DWORD CShellListCtrl::ThumbWatchThreadProc(LPVOID list)
{
    try
    {
        static_cast<CShellListCtrl*>(list)->DoThumbWatchLoop();
    }
    catch (const COSResourceException& error)
    {
        return static_cast<DWORD>(error.GetErrorCode());
    }
    catch (const CUserInterfaceException&)
    {
    }
    return 0;
}

CString CShellListCtrl::ShownFolderPath()
{
    try
    {
        return GetFolderPath(nullptr);
    }
    catch (const CUserInterfaceException&)
    {
        // No folder shown yet: nothing to watch.
        return {};
    }
}

void CShellListCtrl::DoThumbWatchLoop()
{
    alignas(FILE_NOTIFY_INFORMATION) BYTE buffer[kChangeBufferSize];
    for (;;)
    {
        const HANDLE waits[2] = {m_hThumbWatchStop, m_hThumbWatchWake};
        const DWORD woken = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (woken == WAIT_OBJECT_0)
            return;
        if (woken != WAIT_OBJECT_0 + 1)
            throw COSResourceException(".\\ShellList[CShellListCtrl::DoThumbWatchLoop]: Folder monitoring "
                                       "thread failed waiting events",
                                       static_cast<int>(GetLastError()));
        CString folderPath;
        {
            CSingleLock lock(&m_lock, TRUE);
            folderPath = ShownFolderPath();
        }
        if (folderPath.IsEmpty())
            continue;
        SetCurrentDirectory(folderPath);
        HANDLE folder = platform::shell::OpenFolderForChanges(folderPath);
        if (folder == INVALID_HANDLE_VALUE)
            continue;
        {
            std::lock_guard lock(m_thumbWatchFolderLock);
            m_hThumbWatchFolder = folder;
        }
        // A stop that came before the folder was published is seen here; one after it cancels the read.
        DWORD read = 0;
        while (WaitForSingleObject(m_hThumbWatchStop, 0) != WAIT_OBJECT_0 &&
               ReadDirectoryChangesW(folder, buffer, sizeof buffer, TRUE, kChangeFilter, &read, nullptr,
                                     nullptr))
        {
            for (DWORD offset = 0; read != 0;)
            {
                const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer + offset);
                if (record->Action == FILE_ACTION_MODIFIED)
                {
                    std::string name = platform::shell::NameOfChange(*record);
                    name.resize(std::min(name.size(), kMaxNameLength));
                    CSingleLock lock(&m_lock, TRUE);
                    const CString shown = m_bInitialized ? ShownFolderPath() : CString();
                    if (!shown.IsEmpty())
                    {
                        const CString path = JoinPath(shown, name.c_str());
                        std::error_code error;
                        if (std::filesystem::exists(path.GetString(), error))
                        {
                            auto* copy = new char[name.size() + 1];
                            std::memcpy(copy, name.c_str(), name.size() + 1);
                            if (!::PostMessage(m_hWnd, WM_SHELLLIST_FILE_MODIFIED, 0,
                                               reinterpret_cast<LPARAM>(copy)))
                                delete[] copy;
                        }
                    }
                }
                if (record->NextEntryOffset == 0)
                    break;
                offset += record->NextEntryOffset;
            }
        }
        {
            std::lock_guard lock(m_thumbWatchFolderLock);
            m_hThumbWatchFolder = nullptr;
        }
        platform::shell::CloseFolderForChanges(folder);
    }
}
