#pragma once

#include "brevicam/explorer/ExplorerMediator.h"
#include "platform/listview/ImageList.h"
#include "platform/menu/Menu.h"
#include "platform/shell/DragDrop.h"
#include "platform/shell/ItemIdList.h"
#include "platform/shell/ShellFolder.h"
#include "platform/win/CString.h"
#include "platform/win/Sync.h"
#include "platform/window/WinUser.h"
#include "shared/faldra/SkinListCtrl.h"

#include <queue>

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

struct IContextMenu2;
struct IContextMenu3;
struct IExtractImage;

/// wParam ShellListShowFolder with the record of the folder to show (null: the current folder), or
/// ShellListFolderChanged with 0 when the shown folder changed on disk.
constexpr UINT WM_SHELLLIST_POPULATE = WM_USER + 256;
/// wParam the generator thread's id, lParam its tagTThumbInfo (with or without a bitmap).
constexpr UINT WM_SHELLLIST_THUMBNAIL_DONE = WM_USER + 272;
/// lParam the modified file's name relative to the shown folder, a new[] char buffer the handler frees.
constexpr UINT WM_SHELLLIST_FILE_MODIFIED = WM_USER + 288;

constexpr WPARAM ShellListShowFolder = 256;
constexpr WPARAM ShellListFolderChanged = 512;

/// The thumbnail pictures the list draws its items with.
constexpr int ShellThumbWidth = 100;
constexpr int ShellThumbHeight = 90;

/// One thumbnail job: made on the user-interface thread, owned by the generator thread between its start
/// and the posting of its result, by the list otherwise.
struct tagTThumbInfo
{
    /// Orders the job queue so that the smallest priority comes out first.
    struct CComp
    {
        bool operator()(const tagTThumbInfo* a, const tagTThumbInfo* b) const;
    };

    ~tagTThumbInfo();

    /// The folder's image extractor for the file; one reference held.
    IExtractImage* pExtractor = nullptr;
    /// The list that receives the result.
    HWND hwndTarget = nullptr;
    /// The finished thumbnail; null until the generator made one.
    HBITMAP hBitmap = nullptr;
    /// -1 for a refresh the owner asked for, the item's index for a population, INT_MAX for modified
    /// files and retries.
    int nPriority = 0;
    /// 0 for populations and refreshes, 1 for modified files; one more on every retry.
    int nRetryCount = 0;
    /// The file's full path; identifies the item.
    std::string path;

    // Ending a running job early (ShellListThumbs.cpp).
    /// Manual-reset event, made when the job starts, that the list sets to end its generator at once.
    HANDLE hCancel = nullptr;
    /// The kernel's id of the generator thread while it runs (0 before): the converter is its child.
    std::atomic<int> generatorThread{0};
};

/// The thumbnail list of the capture panel: an icon view of the non-folder items of the folder the
/// folder tree selected, filtered by the mediator, in numeric-aware name order, drawn as 100 x 90
/// thumbnails made in the background, and kept up to date while files appear, vanish or change. The
/// user-interface thread runs every handler; a folder-watch thread and a change-watch thread only wait,
/// set events and post to the list.
class CShellListCtrl : public faldra::CSkinListCtrl
{
public:
    explicit CShellListCtrl(CExplorerMediator* mediator);
    ~CShellListCtrl() override;

    /// Once the window exists: the thumbnail image list, the icon spacing and the drop target.
    virtual void InitializeCtrl();
    void AdjustIconSpacing();
    /// Labels longer than `length` characters are shortened with "..."; -1 for no limit.
    void SetMaxNameLength(int length);
    void EnableContextMenu(int enable);
    /// Shows the folder of `folder` (null: refreshes the current one); the population's result.
    LRESULT ShowFolder(tagTShellItemData* folder);

    /// A new absolute ID list of the current folder for the caller to free; CUserInterfaceException
    /// without one.
    LPITEMIDLIST GetFolderPIDL();
    /// The file-system path of `folder`, or of the current folder for null; empty while not initialised.
    CString GetFolderPath(tagTShellItemData* folder);
    CString GetCurrentFolderPath();
    /// The full path of item `index`; empty outside the list.
    CString GetItemPath(int index);
    std::vector<CString> GetSelectedPaths();
    /// The first index (among `among` when given) whose path equals `path` ignoring case; -1 for none.
    int FindItem(const char* path, const std::set<int>* among = nullptr);
    int SelectAll(BOOL select);
    void ClearSelection();

    int InsertListViewItem(IShellFolder* folder, LPCITEMIDLIST folderList, LPITEMIDLIST child, char* name);
    void LVPopulateFiles(tagTShellItemData* folder);

    /// Queues a thumbnail of item `index` ahead of every other job; FALSE outside the list or for an item
    /// that gets no job.
    BOOL RefreshThumbnail(int index);
    /// Pauses (FALSE) or resumes thumbnail generation.
    void EnableThumbnails(BOOL enable);

    /// The numeric-aware name order of the list (LVM_SORTITEMS callback; the records of two items).
    static int CALLBACK CompareItems(LPARAM first, LPARAM second, LPARAM sortData);

    /// Accepts files dragged in from elsewhere and copies them into the shown folder.
    class CDropTarget : public COleDropTarget
    {
    public:
        explicit CDropTarget(CShellListCtrl* list);
        ~CDropTarget() override;

        DROPEFFECT OnDragEnter(CWnd* window, COleDataObject* data, DWORD keyState, CPoint point) override;
        DROPEFFECT OnDragOver(CWnd* window, COleDataObject* data, DWORD keyState, CPoint point) override;
        BOOL OnDrop(CWnd* window, COleDataObject* data, DROPEFFECT effect, CPoint point) override;
        void OnDragLeave(CWnd* window) override;
        BOOL DropFiles(COleDataObject* data);

    private:
        DROPEFFECT EffectFor(COleDataObject* data);

        CShellListCtrl* m_pList;
        IDropTargetHelper* m_pDropHelper = nullptr;
    };

protected:
    void PreSubclassWindow() override;
    INT_PTR OnToolHitTest(CPoint point, TOOLINFO* info) const override;

    // Population, drawing and the folder watch.
    afx_msg LRESULT OnPopulate(WPARAM wParam, LPARAM lParam);
    afx_msg void OnGetDispInfo(NMHDR* header, LRESULT* result);
    afx_msg void OnNMCustomdraw(NMHDR* header, LRESULT* result);
    afx_msg void OnDblClick(NMHDR* header, LRESULT* result);
    afx_msg BOOL OnDeleteItem(NMHDR* header, LRESULT* result);
    afx_msg void OnLButtonDown(UINT flags, CPoint point);
    afx_msg void OnDestroy();

    // Thumbnails.
    afx_msg LRESULT OnThumbgenerated(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnFileModified(WPARAM wParam, LPARAM lParam);

    // Drag and drop, context menu and tooltips.
    afx_msg void OnBeginDrag(NMHDR* header, LRESULT* result);
    afx_msg void OnBeginRDrag(NMHDR* header, LRESULT* result);
    afx_msg void OnContextMenu(CWnd* window, CPoint point);
    afx_msg void OnMeasureItem(int controlId, MEASUREITEMSTRUCT* measure);
    afx_msg void OnDrawItem(int controlId, DRAWITEMSTRUCT* draw);
    afx_msg LRESULT OnMenuChar(UINT character, UINT flags, CMenu* menu);
    afx_msg void OnInitMenuPopup(CMenu* popup, UINT index, BOOL sysMenu);
    afx_msg BOOL OnNeedToolTipText(UINT id, NMHDR* header, LRESULT* result);
    DECLARE_MESSAGE_MAP()

private:
    friend class CDropTarget;
    friend class ShellListCtrlTestAccess;

    // Population and the folder watch (ShellList.cpp).
    void CreateSignals();
    void CloseSignals();
    /// Deletes every item (each frees its record) and every image, and sets the image lists again.
    void RemoveAllItemsAndImages();
    static DWORD WatchThreadProc(LPVOID list);
    void DoWatchLoop();

    // Thumbnails (ShellListThumbs.cpp).
    tagTThumbInfo* CreateThumbJob(IShellFolder* folder, LPCITEMIDLIST child, int retryCount, int priority);
    /// Queues a job for `child`; FALSE when the item gets none.
    BOOL QueueThumbJob(IShellFolder* folder, LPCITEMIDLIST child, int retryCount, int priority);
    /// True while no generator runs.
    bool ThumbnailsIdle();
    void GetNextThumbnailAsync();
    static DWORD GenerateThumbnailProc(LPVOID job);
    /// Frees every queued job.
    void FreeQueuedJobs();
    /// Drops the queued population jobs of the items in `indexes` (files that vanished).
    void DropQueuedJobsOf(const std::set<int>& indexes);
    /// Ends every generator (300 ms each) and frees every queued job and every job in progress.
    void EndGenerators();
    /// Starts the change-watch thread; FALSE when it cannot be started.
    BOOL StartThumbWatchThread();
    /// Ends the change-watch thread, also when it is blocked in its change wait.
    void EndThumbWatchThread();
    static DWORD ThumbWatchThreadProc(LPVOID list);
    void DoThumbWatchLoop();

    int m_nMaxNameLength = -1;
    int m_bContextMenuEnabled = 1;
    CCriticalSection m_lock;
    IContextMenu2* m_pContextMenu2 = nullptr;
    IContextMenu3* m_pContextMenu3 = nullptr;
    CExplorerMediator* m_pMediator;
    HANDLE m_hWatchThread = nullptr;
    HANDLE m_hThumbWatchThread = nullptr;
    HANDLE m_hThumbWatchWake = nullptr;
    HANDLE m_hQuit = nullptr;
    HANDLE m_hFolderSwitch = nullptr;
    HANDLE m_hStopWatch = nullptr;
    HANDLE m_hChangeNotification = nullptr;
    HANDLE m_hSwitchAcknowledged = nullptr;
    HANDLE m_hPopulationDone = nullptr;
    HANDLE m_hStopWatchDone = nullptr;
    HANDLE m_hThumbnailComplete = nullptr;
    BYTE m_bInitialized = 0;
    CImageList m_thumbnails;
    /// The list's own copy of the record of the folder shown (the tree may delete its item first).
    tagTShellItemData* m_pCurrentFolder = nullptr;
    CDropTarget* m_pDropTarget = nullptr;
    int m_bThumbnailsEnabled = 1;
    wchar_t* m_pwszToolTip = nullptr;
    char* m_pszToolTip = nullptr;
    BYTE m_bToolTipConfigured = 0;
    CToolTipCtrl m_toolTip;
    std::map<DWORD, HANDLE> m_generators;
    std::map<std::string, tagTThumbInfo*> m_jobsInProgress;
    std::priority_queue<tagTThumbInfo*, std::vector<tagTThumbInfo*>, tagTThumbInfo::CComp> m_jobs;
    HINSTANCE m_hResources;

    // Thumbnail helpers and the change-watch thread's prompt end (ShellListThumbs.cpp).
    /// True when a job for `path` waits in the queue.
    bool IsThumbJobQueued(const std::string& path);
    /// GetFolderPath of the shown folder, or empty while there is none; under the lock.
    CString ShownFolderPath();
    /// Manual-reset event that ends the change-watch thread's waits; made and closed with the thread.
    HANDLE m_hThumbWatchStop = nullptr;
    /// The folder whose changes the change-watch thread reads (null while it reads none), so that its
    /// blocked read can be cancelled; guarded by m_thumbWatchFolderLock.
    HANDLE m_hThumbWatchFolder = nullptr;
    std::mutex m_thumbWatchFolderLock;
};
