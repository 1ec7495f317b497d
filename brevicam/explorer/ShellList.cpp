#include "brevicam/explorer/ShellList.h"

#include "brevicam/core/ResourceInstance.h"
#include "brevicam/explorer/ShellClass.h"
#include "platform/com/Com.h"
#include "platform/com/ComPtr.h"
#include "platform/listview/ListView.h"
#include "platform/menu/Menu.h"
#include "platform/shell/ChangeNotify.h"
#include "platform/shell/FileInfo.h"
#include "platform/win/Kernel.h"
#include "shared/exceptions/Exceptions.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>

BEGIN_MESSAGE_MAP(CShellListCtrl, faldra::CSkinListCtrl)
ON_MESSAGE(WM_SHELLLIST_POPULATE, OnPopulate)
ON_MESSAGE(WM_SHELLLIST_THUMBNAIL_DONE, OnThumbgenerated)
ON_MESSAGE(WM_SHELLLIST_FILE_MODIFIED, OnFileModified)
ON_NOTIFY_REFLECT(LVN_GETDISPINFO, OnGetDispInfo)
ON_NOTIFY_REFLECT(NM_CUSTOMDRAW, OnNMCustomdraw)
ON_NOTIFY_REFLECT(NM_DBLCLK, OnDblClick)
ON_NOTIFY_REFLECT_EX(LVN_DELETEITEM, OnDeleteItem)
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

namespace
{
using platform::com::ComPtr;
using platform::shell::IdListPtr;

constexpr DWORD kWatchedChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE;
/// Labels are drawn on one line of this height; a click below it belongs to the row underneath.
constexpr int kLabelHeight = 15;

tagTShellItemData* RecordOf(LPARAM data)
{
    return reinterpret_cast<tagTShellItemData*>(data);
}

/// The list's own copy of a folder's record: the tree may delete its item (and the record) while the
/// list still shows the folder, so the list never keeps a pointer into the tree.
tagTShellItemData* CopyRecord(const tagTShellItemData* record)
{
    auto* copy = new tagTShellItemData;
    copy->pFolder = record->pFolder;
    if (copy->pFolder)
        copy->pFolder->AddRef();
    copy->pidlRelative = ILClone(record->pidlRelative);
    copy->pidlParent = record->pidlParent ? ILClone(record->pidlParent) : nullptr;
    return copy;
}

/// The folder to enumerate: the desktop's own folder, or the record's item bound as a folder.
ComPtr<IShellFolder> BindFolder(const tagTShellItemData* record, HRESULT& hr)
{
    hr = S_OK;
    if (!record->pidlParent)
        return ComPtr<IShellFolder>(record->pFolder);
    ComPtr<IShellFolder> folder;
    if (record->pFolder)
        hr = record->pFolder->BindToObject(record->pidlRelative, nullptr, IID_IShellFolder, folder.PutVoid());
    else
        hr = E_POINTER;
    if (!folder && SUCCEEDED(hr))
        hr = E_NOINTERFACE;
    return folder;
}

struct TaskMemDeleter
{
    void operator()(char* text) const { CoTaskMemFree(text); }
};
using TaskText = std::unique_ptr<char, TaskMemDeleter>;

TaskText DisplayName(IShellFolder* folder, LPCITEMIDLIST child)
{
    char* name = nullptr;
    CShellClass::GetName(folder, child, SHGDN_NORMAL, &name);
    return TaskText(name);
}

std::string NameOrEmpty(IShellFolder* folder, LPCITEMIDLIST child)
{
    try
    {
        const TaskText name = DisplayName(folder, child);
        return name ? std::string(name.get()) : std::string();
    }
    catch (const CShellException&)
    {
        return {};
    }
    catch (const CNullPointerException&)
    {
        return {};
    }
}

/// The first `count` characters of UTF-8 text, never cutting one in two.
std::size_t Utf8Prefix(const std::string& text, std::size_t count)
{
    std::size_t at = 0;
    for (std::size_t seen = 0; at < text.size() && seen < count; ++seen)
        do
            ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80);
    return at;
}

std::size_t Utf8Length(const std::string& text)
{
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

/// Reads a run of digits as a number, saturating at INT_MAX; `at` moves past the run.
int ReadNumber(const char* text, std::size_t& at)
{
    long long value = 0;
    for (; IsDigit(text[at]); ++at)
        if (value < INT_MAX)
            value = std::min<long long>(value * 10 + (text[at] - '0'), INT_MAX);
    return static_cast<int>(value);
}

int CompareNames(const char* first, const char* second)
{
    std::size_t i = 0;
    std::size_t j = 0;
    int result = 0;
    while (result == 0 && first[i] != '\0')
    {
        // A name that is the beginning of the other compares equal to it.
        if (second[j] == '\0')
            return 0;
        const bool firstDigit = IsDigit(first[i]);
        const bool secondDigit = IsDigit(second[j]);
        if (firstDigit && secondDigit)
        {
            const std::size_t firstRun = i;
            const std::size_t secondRun = j;
            const int a = ReadNumber(first, i);
            const int b = ReadNumber(second, j);
            if (a == INT_MAX)
            {
                // Numbers too large to tell apart by value are told apart by their digits.
                if (b != INT_MAX)
                    result = 1;
                else
                    result = std::strncmp(first + firstRun, second + secondRun,
                                          std::min(i - firstRun, j - secondRun));
            }
            else if (b == INT_MAX)
                result = -1;
            else
                result = a - b;
        }
        else if (firstDigit)
            result = -1;
        else if (secondDigit)
            result = 1;
        else
        {
            result = static_cast<signed char>(first[i]) - static_cast<signed char>(second[j]);
            ++i;
            ++j;
        }
    }
    return result;
}

bool EqualNoCase(const char* first, const char* second)
{
    return CString(first).CompareNoCase(second) == 0;
}

/// Waits for `event`, set by the folder-watch thread, unless that thread has ended and so will never
/// set it.
void WaitForWatchThread(HANDLE event, HANDLE thread)
{
    if (!thread)
        return;
    const HANDLE objects[] = {event, thread};
    WaitForMultipleObjects(2, objects, FALSE, INFINITE);
}

/// Sets an event when it goes out of scope, unless it was set already.
class SetOnExit
{
public:
    explicit SetOnExit(HANDLE event) : m_event(event) {}
    ~SetOnExit() { Set(); }
    SetOnExit(const SetOnExit&) = delete;
    SetOnExit& operator=(const SetOnExit&) = delete;
    void Set()
    {
        if (m_event)
            SetEvent(std::exchange(m_event, nullptr));
    }

private:
    HANDLE m_event;
};
} // namespace

CShellListCtrl::CShellListCtrl(CExplorerMediator* mediator)
    : m_pMediator(mediator), m_hResources(AppResourceInstance())
{
    m_pDropTarget = new (std::nothrow) CDropTarget(this);
    if (!m_pDropTarget)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate OLE drop target object"));
    try
    {
        CreateSignals();
        m_hWatchThread = CreateThread(nullptr, 0, WatchThreadProc, this, 0, nullptr);
        if (!m_hWatchThread)
            throw COSResourceException(THROW_SITE_MESSAGE("Failed starting folder monitoring thread"), -1);
        if (!StartThumbWatchThread())
            throw COSResourceException(THROW_SITE_MESSAGE("Failed starting folder thumb monitoring thread"),
                                       -1);
    }
    catch (const COSResourceException& error)
    {
        // The object never comes to be: no thread may go on using it.
        if (m_hWatchThread)
        {
            SetEvent(m_hQuit);
            WaitForSingleObject(m_hWatchThread, INFINITE);
            CloseHandle(std::exchange(m_hWatchThread, nullptr));
        }
        CloseSignals();
        delete std::exchange(m_pDropTarget, nullptr);
        throw COSResourceException(error);
    }
}

CShellListCtrl::~CShellListCtrl()
{
    // The items' records and the watch are let go by this class's handlers, gone once the base destructors
    // run.
    if (GetSafeHwnd())
        DestroyWindow();
    if (m_hWatchThread)
    {
        SetEvent(m_hQuit);
        WaitForSingleObject(m_hWatchThread, INFINITE);
        CloseHandle(std::exchange(m_hWatchThread, nullptr));
    }
    EndThumbWatchThread();
    EndGenerators();
    if (m_hChangeNotification)
        FindCloseChangeNotification(std::exchange(m_hChangeNotification, nullptr));
    CloseSignals();
    delete[] std::exchange(m_pwszToolTip, nullptr);
    delete[] std::exchange(m_pszToolTip, nullptr);
    delete std::exchange(m_pDropTarget, nullptr);
    FreeShellItemData(std::exchange(m_pCurrentFolder, nullptr));
}

void CShellListCtrl::CreateSignals()
{
    for (HANDLE* event : {&m_hQuit, &m_hFolderSwitch, &m_hStopWatch, &m_hSwitchAcknowledged,
                          &m_hPopulationDone, &m_hStopWatchDone})
    {
        *event = CreateEvent(nullptr, FALSE, FALSE, nullptr);
        if (!*event)
            throw COSResourceException(THROW_SITE_MESSAGE("Cannot create all watch events"),
                                       static_cast<int>(GetLastError()));
    }
    m_hThumbnailComplete = CreateEvent(nullptr, TRUE, TRUE, nullptr);
    if (m_hThumbnailComplete)
        m_hThumbWatchWake = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    if (!m_hThumbWatchWake)
        throw COSResourceException(THROW_SITE_MESSAGE("Cannot create <Thumbnail complete> event"),
                                   static_cast<int>(GetLastError()));
}

void CShellListCtrl::CloseSignals()
{
    for (HANDLE* event : {&m_hQuit, &m_hFolderSwitch, &m_hStopWatch, &m_hSwitchAcknowledged,
                          &m_hPopulationDone, &m_hStopWatchDone, &m_hThumbnailComplete, &m_hThumbWatchWake})
    {
        if (!*event)
            break;
        CloseHandle(std::exchange(*event, nullptr));
    }
}

void CShellListCtrl::InitializeCtrl()
{
    if (!m_thumbnails.GetSafeHandle())
        m_thumbnails.Create(ShellThumbWidth, ShellThumbHeight, ILC_COLOR24, 0, 10);
    FreeShellItemData(std::exchange(m_pCurrentFolder, nullptr));
    {
        CSingleLock lock(&m_lock, TRUE);
        m_bInitialized = 1;
    }
    CRect client;
    GetClientRect(&client);
    const int a = (client.Width() - ShellThumbWidth) / 4;
    SetIconSpacing(a + 98, a + 88);
    if (m_pDropTarget)
        m_pDropTarget->Register(this);
}

void CShellListCtrl::AdjustIconSpacing()
{
    CRect client;
    GetClientRect(&client);
    const int a = (client.Width() - ShellThumbWidth) / 8;
    SetIconSpacing(a + 98, 2 * a + 86);
}

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
    if (!m_pCurrentFolder)
        throw CUserInterfaceException(THROW_SITE_MESSAGE("Control partially initialized"));
    return ILCombine(m_pCurrentFolder->pidlParent, m_pCurrentFolder->pidlRelative);
}

CString CShellListCtrl::GetFolderPath(tagTShellItemData* folder)
{
    if (!m_bInitialized)
        return {};
    const tagTShellItemData* record = folder ? folder : m_pCurrentFolder;
    if (!record)
        throw CUserInterfaceException(THROW_SITE_MESSAGE("Control partially initialized"));
    return CString(platform::shell::PathFromIDList(AbsoluteIdListOf(record).get()).c_str());
}

CString CShellListCtrl::GetCurrentFolderPath()
{
    if (!m_bInitialized || !m_pCurrentFolder)
        return {};
    return GetFolderPath(nullptr);
}

CString CShellListCtrl::GetItemPath(int index)
{
    if (index < 0 || index >= GetItemCount())
        return {};
    const tagTShellItemData* record = RecordOf(static_cast<LPARAM>(GetItemData(index)));
    if (!record)
        return {};
    return CShellClass::GetParsingName(record->pFolder, record->pidlRelative);
}

std::vector<CString> CShellListCtrl::GetSelectedPaths()
{
    std::vector<CString> paths;
    for (int index = GetNextItem(-1, LVNI_SELECTED); index >= 0; index = GetNextItem(index, LVNI_SELECTED))
        paths.push_back(GetItemPath(index));
    return paths;
}

int CShellListCtrl::FindItem(const char* path, const std::set<int>* among)
{
    if (!path)
        return -1;
    if (among)
    {
        for (const int index : *among)
            if (EqualNoCase(GetItemPath(index), path))
                return index;
        return -1;
    }
    const int count = GetItemCount();
    for (int index = 0; index < count; ++index)
        if (EqualNoCase(GetItemPath(index), path))
            return index;
    return -1;
}

int CShellListCtrl::SelectAll(BOOL select)
{
    const int count = GetItemCount();
    for (int index = 0; index < count; ++index)
        SetItemState(index, select ? LVIS_SELECTED : 0, LVIS_SELECTED);
    return count;
}

void CShellListCtrl::ClearSelection()
{
    for (int index = GetNextItem(-1, LVNI_SELECTED); index >= 0; index = GetNextItem(index, LVNI_SELECTED))
        SetItemState(index, 0, LVIS_SELECTED);
}

int CShellListCtrl::InsertListViewItem(IShellFolder* folder, LPCITEMIDLIST folderList, LPITEMIDLIST child,
                                       char* name)
{
    std::string label(name ? name : "");
    // Compared as unsigned, so that -1 sets no limit.
    const auto limit = static_cast<unsigned>(m_nMaxNameLength);
    if (limit != 0 && limit < Utf8Length(label))
        label = label.substr(0, Utf8Prefix(label, limit - 1)) + "...";

    auto* record = new (std::nothrow) tagTShellItemData;
    if (!record)
    {
        ILFree(child);
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate list item data"));
    }
    record->pFolder = folder;
    if (folder)
        folder->AddRef();
    record->pidlRelative = child;
    record->pidlParent = folderList ? ILClone(folderList) : nullptr;

    LVITEM item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = GetItemCount();
    item.pszText = label.data();
    item.iImage = I_IMAGECALLBACK;
    item.lParam = reinterpret_cast<LPARAM>(record);
    const int index = InsertItem(&item);
    if (index < 0)
        FreeShellItemData(record);
    return index;
}

void CShellListCtrl::RemoveAllItemsAndImages()
{
    DeleteAllItems();
    if (m_thumbnails.GetSafeHandle())
        m_thumbnails.Remove(-1);
    for (const int type : {LVSIL_NORMAL, LVSIL_SMALL, LVSIL_STATE})
        SendMessage(LVM_SETIMAGELIST, static_cast<WPARAM>(type), 0);
    const HIMAGELIST system = CShellClass::GetSystemImageList(TRUE);
    SendMessage(LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(m_thumbnails.GetSafeHandle()));
    SendMessage(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(system));
    SendMessage(LVM_SETIMAGELIST, LVSIL_STATE, reinterpret_cast<LPARAM>(system));
}

void CShellListCtrl::LVPopulateFiles(tagTShellItemData* folder)
{
    if (!folder)
        throw CNullPointerException(
            THROW_SITE_MESSAGE("No item data received for populating the list control"));
    const IdListPtr folderList = AbsoluteIdListOf(folder);
    const bool merge =
        m_pCurrentFolder && ILIsEqual(folderList.get(), AbsoluteIdListOf(m_pCurrentFolder).get());

    HRESULT hr = S_OK;
    const ComPtr<IShellFolder> shellFolder = BindFolder(folder, hr);
    ComPtr<IEnumIDList> children;
    const std::string failedEnumerating = THROW_SITE_MESSAGE("Failed enumerating all folder items");
    // The next child the owner lets the list show; false at the end of the folder.
    auto nextShown = [&](IdListPtr& next)
    {
        for (;;)
        {
            LPITEMIDLIST child = nullptr;
            ULONG fetched = 0;
            const HRESULT result = children->Next(1, &child, &fetched);
            if (FAILED(result))
                throw CShellException(failedEnumerating, result);
            next.reset(child);
            if (result == S_FALSE || fetched == 0 || !child)
                return false;
            if (!m_pMediator || !m_pMediator->FilterShellItem(shellFolder.Get(), folderList.get(), child))
                return true;
        }
    };
    if (merge)
    {
        // The folder shown went away or cannot be read any more: nothing of it is left to show.
        if (shellFolder)
            hr = shellFolder->EnumObjects(nullptr, SHCONTF_NONFOLDERS, children.Put());
        if (!shellFolder || FAILED(hr) || hr == S_FALSE || !children)
        {
            FreeQueuedJobs();
            RemoveAllItemsAndImages();
            return;
        }

        // The items still on disk stay as they are (thumbnail, selection); the others are left here.
        std::set<int> vanished;
        std::unordered_map<std::string, std::vector<int>> byPath;
        const int count = GetItemCount();
        for (int index = 0; index < count; ++index)
        {
            vanished.insert(index);
            byPath[std::string(static_cast<LPCTSTR>(GetItemPath(index)))].push_back(index);
        }
        const int scroll = ::GetScrollPos(m_hWnd, SB_VERT);
        for (IdListPtr owned; nextShown(owned);)
        {
            const LPCITEMIDLIST child = owned.get();
            // File names differ by case on Linux, so the match is exact.
            const CString path = CShellClass::GetParsingName(shellFolder.Get(), child);
            const auto known = byPath.find(std::string(static_cast<LPCTSTR>(path)));
            if (known != byPath.end() && !known->second.empty())
            {
                vanished.erase(known->second.front());
                known->second.erase(known->second.begin());
                continue;
            }
            const TaskText name = DisplayName(shellFolder.Get(), child);
            const int index =
                InsertListViewItem(shellFolder.Get(), folderList.get(), owned.release(), name.get());
            if (index < 0)
                continue;
            QueueThumbJob(shellFolder.Get(), RecordOf(static_cast<LPARAM>(GetItemData(index)))->pidlRelative,
                          0, index);
            if (ThumbnailsIdle())
                GetNextThumbnailAsync();
        }
        DropQueuedJobsOf(vanished);
        for (auto index = vanished.rbegin(); index != vanished.rend(); ++index)
            DeleteItem(*index);
        Scroll(CSize(0, scroll - ::GetScrollPos(m_hWnd, SB_VERT)));
        return;
    }

    if (!shellFolder)
        throw CShellException(THROW_SITE_MESSAGE("Cannot get IShellFolder interface for the selected item"),
                              hr);

    // The folder-watch thread watches the new folder before its files are read, so that a change made
    // while or right after they are read is not lost; reading them changes nothing it watches. Once it
    // took the switch it waits for the population, which must end with the done event whatever happens.
    FreeShellItemData(std::exchange(m_pCurrentFolder, CopyRecord(folder)));
    SetEvent(m_hFolderSwitch);
    WaitForWatchThread(m_hSwitchAcknowledged, m_hWatchThread);
    SetOnExit done(m_hPopulationDone);

    FreeQueuedJobs();
    RemoveAllItemsAndImages();
    if (m_pMediator)
        m_pMediator->OnExplorerEvent(EXN_FOLDER_CHANGED, 0, 0);

    hr = shellFolder->EnumObjects(nullptr, SHCONTF_NONFOLDERS, children.Put());
    if (FAILED(hr))
    {
        done.Set();
        throw CShellException(THROW_SITE_MESSAGE("Cannot enumerate folder objects"), hr);
    }
    if (hr == S_FALSE || !children)
        return;

    const HCURSOR cursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    const bool visible = (GetStyle() & WS_VISIBLE) != 0;
    if (visible)
        ShowWindow(SW_HIDE);
    auto endFill = [&]
    {
        done.Set();
        GetNextThumbnailAsync();
        if (visible)
            ShowWindow(SW_SHOW);
        SetCursor(cursor);
    };
    try
    {
        for (IdListPtr owned; nextShown(owned);)
        {
            const TaskText name = DisplayName(shellFolder.Get(), owned.get());
            const int index =
                InsertListViewItem(shellFolder.Get(), folderList.get(), owned.release(), name.get());
            if (index >= 0)
                QueueThumbJob(shellFolder.Get(),
                              RecordOf(static_cast<LPARAM>(GetItemData(index)))->pidlRelative, 0, index);
        }
    }
    catch (...)
    {
        endFill();
        throw;
    }
    endFill();
    EnsureVisible(0, FALSE);
}

int CALLBACK CShellListCtrl::CompareItems(LPARAM first, LPARAM second, LPARAM)
{
    const tagTShellItemData* a = RecordOf(first);
    const tagTShellItemData* b = RecordOf(second);
    if (!a || !b)
        return 0;
    // Both names come from the first item's folder: every item of the list lies in the same one.
    const std::string firstName = NameOrEmpty(a->pFolder, a->pidlRelative);
    const std::string secondName = NameOrEmpty(a->pFolder, b->pidlRelative);
    return CompareNames(firstName.c_str(), secondName.c_str());
}

LRESULT CShellListCtrl::OnPopulate(WPARAM wParam, LPARAM lParam)
{
    // This population covers every request still waiting.
    MSG pending;
    while (PeekMessage(&pending, m_hWnd, WM_SHELLLIST_POPULATE, WM_SHELLLIST_POPULATE, PM_REMOVE))
    {
        if (pending.message == WM_QUIT)
        {
            PostQuitMessage(static_cast<int>(pending.wParam));
            if (wParam == ShellListFolderChanged)
                return 0;
            break;
        }
    }
    if (!m_pMediator || !m_pMediator->IsReady())
        return 1;
    tagTShellItemData* folder = m_pCurrentFolder;
    if (wParam == ShellListShowFolder && lParam)
        folder = RecordOf(lParam);
    // A refresh before any folder was shown has nothing to refresh.
    if (!folder)
        return 1;

    SetRedraw(FALSE);
    try
    {
        LVPopulateFiles(folder);
        SortItems(CompareItems, 0);
    }
    catch (const CShellException& error)
    {
        SetRedraw(TRUE);
        m_pMediator->OnExplorerEvent(EXN_FOLDER_ERROR, static_cast<WPARAM>(error.GetHResult()), 0);
        return 0;
    }
    catch (...)
    {
        SetRedraw(TRUE);
        throw;
    }
    SetRedraw(TRUE);
    UpdateWindow();
    return 0;
}

void CShellListCtrl::OnGetDispInfo(NMHDR* header, LRESULT* result)
{
    auto* info = reinterpret_cast<NMLVDISPINFO*>(header);
    *result = 0;
    const tagTShellItemData* record = RecordOf(info->item.lParam);
    if (!record)
        record = RecordOf(static_cast<LPARAM>(GetItemData(info->item.iItem)));
    if (!(info->item.mask & LVIF_IMAGE) || !record || !m_thumbnails.GetSafeHandle())
        return;

    // The item's shell icon, centred on a thumbnail-sized picture, until its thumbnail is made.
    CClientDC clientDc(this);
    CDC dc;
    dc.CreateCompatibleDC(&clientDc);
    CBitmap picture;
    picture.CreateCompatibleBitmap(&clientDc, ShellThumbWidth, ShellThumbHeight);
    CBitmap* old = dc.SelectObject(&picture);
    const CRect whole(0, 0, ShellThumbWidth, ShellThumbHeight);
    dc.FillSolidRect(&whole, GetSysColor(COLOR_WINDOW));
    const IdListPtr absolute = AbsoluteIdListOf(record);
    SHFILEINFO file{};
    if (absolute &&
        SHGetFileInfo(reinterpret_cast<LPCSTR>(absolute.get()), FILE_ATTRIBUTE_NORMAL, &file, sizeof file,
                      SHGFI_ICON | SHGFI_PIDL | SHGFI_USEFILEATTRIBUTES) &&
        file.hIcon)
    {
        const int cx = GetSystemMetrics(SM_CXICON);
        const int cy = GetSystemMetrics(SM_CYICON);
        DrawIconEx(dc.GetSafeHdc(), (ShellThumbWidth - cx) / 2, (ShellThumbHeight - cy) / 2, file.hIcon, cx,
                   cy, 0, nullptr, DI_NORMAL);
        DestroyIcon(file.hIcon);
    }
    CBrush frame(GetSysColor(COLOR_BTNFACE));
    dc.FrameRect(&whole, &frame);
    dc.SelectObject(old);

    info->item.iImage = m_thumbnails.Add(&picture, RGB(0, 0, 0));
    info->item.mask |= LVIF_DI_SETITEM;

    SFGAOF attributes = SFGAO_GHOSTED | SFGAO_LINK | SFGAO_SHARE;
    LPCITEMIDLIST items[] = {record->pidlRelative};
    if (record->pFolder && SUCCEEDED(record->pFolder->GetAttributesOf(1, items, &attributes)))
    {
        // Each mark replaces the one before: of a ghosted link only the link shows.
        if (attributes & SFGAO_GHOSTED)
        {
            info->item.mask |= LVIF_STATE;
            info->item.state = LVIS_CUT;
            info->item.stateMask = LVIS_CUT;
        }
        if (attributes & SFGAO_LINK)
        {
            info->item.mask |= LVIF_STATE;
            info->item.state = INDEXTOOVERLAYMASK(2);
            info->item.stateMask = LVIS_OVERLAYMASK;
        }
        if (attributes & SFGAO_SHARE)
        {
            info->item.mask |= LVIF_STATE;
            info->item.state = INDEXTOOVERLAYMASK(1);
            info->item.stateMask = LVIS_OVERLAYMASK;
        }
    }
}

void CShellListCtrl::OnNMCustomdraw(NMHDR* header, LRESULT* result)
{
    auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(header);
    *result = CDRF_DODEFAULT;
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT)
    {
        *result = CDRF_NOTIFYITEMDRAW;
        return;
    }
    if (draw->nmcd.dwDrawStage != CDDS_ITEMPREPAINT)
        return;

    const int index = static_cast<int>(draw->nmcd.dwItemSpec);
    LVITEM item{};
    item.mask = LVIF_IMAGE | LVIF_STATE;
    item.iItem = index;
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    if (!GetItem(&item))
        throw CUserInterfaceException(THROW_SITE_MESSAGE("Failed getting item information"));
    const auto images = reinterpret_cast<HIMAGELIST>(SendMessage(LVM_GETIMAGELIST, LVSIL_NORMAL));
    if (!images)
        return;

    CDC* dc = CDC::FromHandle(draw->nmcd.hdc);
    const int saved = dc->SaveDC();
    CRect icon;
    GetItemRect(index, &icon, LVIR_ICON);
    int width = 0;
    int height = 0;
    ImageList_GetIconSize(images, &width, &height);
    const int x = icon.left + std::max(0, icon.Width() - width) / 2;
    const int y = icon.top + std::max(0, icon.Height() - height) / 2;
    if (item.iImage >= 0)
        ImageList_DrawEx(images, item.iImage, dc->GetSafeHdc(), x, y, 0, 0, CLR_NONE, CLR_NONE, ILD_NORMAL);

    CRect label;
    GetItemRect(index, &label, LVIR_LABEL);
    label.bottom = label.top + kLabelHeight;
    const bool focused = ::GetFocus() == m_hWnd;
    const COLORREF back = GetSysColor(focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
    const COLORREF text = GetSysColor(focused ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
    const CString name = GetItemText(index, 0);
    dc->SetBkMode(TRANSPARENT);
    if (item.state & LVIS_SELECTED)
    {
        if (focused || (GetStyle() & LVS_SHOWSELALWAYS))
        {
            dc->FillSolidRect(&label, back);
            CPen pen(PS_SOLID, 3, back);
            dc->SelectObject(&pen);
            const POINT frame[] = {{x + 1, y + 1},
                                   {x + width - 2, y + 1},
                                   {x + width - 2, y + height - 2},
                                   {x + 1, y + height - 2},
                                   {x + 1, y + 1}};
            dc->Polyline(frame, 5);
            dc->SetTextColor(text);
        }
        dc->DrawText(name, &label, DT_CENTER | DT_WORDBREAK | DT_END_ELLIPSIS);
    }
    else
    {
        dc->FillSolidRect(&label, RGB(255, 255, 255));
        dc->DrawText(name, &label, DT_CENTER | DT_WORDBREAK | DT_END_ELLIPSIS);
    }
    dc->RestoreDC(saved);
    *result = CDRF_SKIPDEFAULT;
}

void CShellListCtrl::OnDblClick(NMHDR* header, LRESULT* result)
{
    const auto* activate = reinterpret_cast<NMITEMACTIVATE*>(header);
    *result = 0;
    LVHITTESTINFO hit{};
    hit.pt = activate->ptAction;
    if (HitTest(&hit) >= 0 && (hit.flags & LVHT_ONITEM) && m_pMediator)
        m_pMediator->OpenItem(RecordOf(static_cast<LPARAM>(GetItemData(hit.iItem))));
}

BOOL CShellListCtrl::OnDeleteItem(NMHDR* header, LRESULT* result)
{
    const auto* item = reinterpret_cast<NMLISTVIEW*>(header);
    FreeShellItemData(RecordOf(item->lParam));
    *result = 0;
    // The owner hears of it too: what it offers for the list's items follows their going.
    return FALSE;
}

void CShellListCtrl::OnLButtonDown(UINT flags, CPoint point)
{
    if (flags & MK_SHIFT)
    {
        const int hit = HitTest(point);
        if (hit < 0)
        {
            Default();
            return;
        }
        SetFocus();
        int anchor = GetNextItem(-1, LVNI_SELECTED);
        if (anchor < 0)
            anchor = 0;
        const int low = std::min(anchor, hit);
        const int high = std::max(anchor, hit);
        SetRedraw(FALSE);
        const int count = GetItemCount();
        for (int index = 0; index < count; ++index)
            SetItemState(index, (index >= low && index <= high) ? LVIS_SELECTED : 0, LVIS_SELECTED);
        SetRedraw(TRUE);
        EnsureVisible(high, TRUE);
        return;
    }
    UINT where = 0;
    const int hit = HitTest(point, &where);
    if (hit >= 0 && (where & LVHT_ONITEMLABEL))
    {
        CRect label;
        GetItemRect(hit, &label, LVIR_LABEL);
        if (point.y > label.top + kLabelHeight)
        {
            if (!(flags & MK_CONTROL))
                SetItemState(hit, 0, LVIS_SELECTED);
            if (hit + 2 < GetItemCount())
                SetItemState(hit + 2, LVIS_SELECTED, LVIS_SELECTED);
            return;
        }
    }
    Default();
}

void CShellListCtrl::OnDestroy()
{
    if (m_pDropTarget)
        m_pDropTarget->Revoke();
    {
        CSingleLock lock(&m_lock, TRUE);
        m_bInitialized = 0;
    }
    SetEvent(m_hStopWatch);
    WaitForWatchThread(m_hStopWatchDone, m_hWatchThread);
    EndGenerators();
    // The change-watch thread ends with the window; the names it posted that the window will never
    // handle are freed here.
    EndThumbWatchThread();
    MSG pending;
    while (::PeekMessage(&pending, m_hWnd, WM_SHELLLIST_FILE_MODIFIED, WM_SHELLLIST_FILE_MODIFIED, PM_REMOVE))
        delete[] reinterpret_cast<char*>(pending.lParam);

    Default();
    for (const int type : {LVSIL_STATE, LVSIL_SMALL, LVSIL_NORMAL})
        SendMessage(LVM_SETIMAGELIST, static_cast<WPARAM>(type), 0);
    m_thumbnails.DeleteImageList();
    FreeShellItemData(std::exchange(m_pCurrentFolder, nullptr));
}

DWORD CShellListCtrl::WatchThreadProc(LPVOID list)
{
    try
    {
        static_cast<CShellListCtrl*>(list)->DoWatchLoop();
    }
    catch (const COSResourceException& error)
    {
        return static_cast<DWORD>(error.GetErrorCode());
    }
    catch (const std::exception&)
    {
        return 0;
    }
    return 0;
}

void CShellListCtrl::DoWatchLoop()
{
    auto closeWatch = [this]
    {
        if (m_hChangeNotification)
            FindCloseChangeNotification(std::exchange(m_hChangeNotification, nullptr));
    };
    struct CloseOnExit
    {
        decltype(closeWatch)& close;
        ~CloseOnExit() { close(); }
    } closeOnExit{closeWatch};

    for (;;)
    {
        const HANDLE objects[] = {m_hQuit, m_hFolderSwitch, m_hStopWatch, m_hChangeNotification};
        const DWORD which = WaitForMultipleObjects(m_hChangeNotification ? 4 : 3, objects, FALSE, INFINITE);
        if (which == WAIT_OBJECT_0)
            return;
        if (which == WAIT_OBJECT_0 + 1)
        {
            closeWatch();
            const std::string path =
                m_pCurrentFolder ? platform::shell::PathFromIDList(AbsoluteIdListOf(m_pCurrentFolder).get())
                                 : "";
            if (!path.empty())
            {
                const HANDLE change = FindFirstChangeNotification(path.c_str(), FALSE, kWatchedChanges);
                if (change != INVALID_HANDLE_VALUE)
                    m_hChangeNotification = change;
            }
            SetEvent(m_hSwitchAcknowledged);
            EndThumbWatchThread();
            if (!StartThumbWatchThread())
                throw COSResourceException(
                    THROW_SITE_MESSAGE("Failed starting folder thumb monitoring thread"), -1);
            // The change-watch thread starts on the new folder once its items are in.
            const HANDLE filled[] = {m_hPopulationDone, m_hQuit, m_hStopWatch};
            const DWORD event = WaitForMultipleObjects(3, filled, FALSE, INFINITE);
            if (event == WAIT_OBJECT_0 + 1)
                return;
            if (event == WAIT_OBJECT_0 + 2)
            {
                closeWatch();
                SetEvent(m_hStopWatchDone);
                continue;
            }
            if (event != WAIT_OBJECT_0)
                throw COSResourceException(
                    THROW_SITE_MESSAGE("Folder monitoring thread failed waiting events"),
                    static_cast<int>(GetLastError()));
            SetEvent(m_hThumbWatchWake);
            // Only a convenience for whoever opens files by name: a folder that cannot be entered is
            // still shown.
            if (!path.empty())
                SetCurrentDirectory(path.c_str());
            continue;
        }
        if (which == WAIT_OBJECT_0 + 2)
        {
            closeWatch();
            SetEvent(m_hStopWatchDone);
            continue;
        }
        if (which == WAIT_OBJECT_0 + 3)
        {
            {
                CSingleLock lock(&m_lock, TRUE);
                // The window lives at least as long as the list is initialised.
                if (m_bInitialized)
                {
                    SetEvent(m_hThumbWatchWake);
                    ::PostMessage(m_hWnd, WM_SHELLLIST_POPULATE, ShellListFolderChanged, 0);
                }
            }
            FindNextChangeNotification(m_hChangeNotification);
            continue;
        }
        throw COSResourceException(THROW_SITE_MESSAGE("Folder monitoring thread failed waiting events"),
                                   static_cast<int>(GetLastError()));
    }
}
