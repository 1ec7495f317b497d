#include "platform/com/ComPtr.h"
#include "platform/shell/ShlObj.h"
#include "platform/window/Afx.h"
#include "platform/window/Extras.h"
#include "tests/support/AppLoopSupport.h"
#include "tests/support/ShellTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>
#include <string>
#include <vector>

using testing_support::PrivateHome;
using testing_support::PumpAppUntil;

namespace
{
constexpr UINT kChangeMessage = WM_APP + 77;

/// A window that keeps every change notification it receives, with the paths of its two lists.
class Recorder : public CWnd
{
public:
    struct Change
    {
        LONG code;
        std::string path;
        std::string newPath;
    };
    std::vector<Change> changes;

    Recorder() { CreateEx(0, AfxRegisterWndClass(0), "changes", WS_POPUP, CRect(0, 0, 10, 10), nullptr, 0); }
    ~Recorder() override
    {
        if (GetSafeHwnd())
            DestroyWindow();
    }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == kChangeMessage)
        {
            const auto* lists = reinterpret_cast<LPCITEMIDLIST const*>(wParam);
            changes.push_back({static_cast<LONG>(lParam), platform::shell::PathFromIDList(lists[0]),
                               platform::shell::PathFromIDList(lists[1])});
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }

    /// Waits (bounded) until `count` changes have come.
    bool WaitFor(std::size_t count)
    {
        return PumpAppUntil([&] { return changes.size() >= count; });
    }
};

class ChangeNotifyTest : public testing::Test
{
protected:
    ULONG Register(const std::filesystem::path& folder, BOOL recursive)
    {
        LPITEMIDLIST list = folder.empty() ? nullptr : ILCreateFromPath(folder.c_str());
        if (folder.empty())
            SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &list);
        const SHChangeNotifyEntry entry{list, recursive};
        const ULONG id = SHChangeNotifyRegister(recorder.GetSafeHwnd(), SHCNRF_ShellLevel, SHCNE_ALLEVENTS,
                                                kChangeMessage, 1, &entry);
        ILFree(list);
        return id;
    }

    PrivateHome home;
    Recorder recorder;
};

TEST_F(ChangeNotifyTest, ABurstOfFilesGivesOneMergedNotification)
{
    const auto folder = home.Folders({"burst"});
    const ULONG id = Register(folder, FALSE);
    ASSERT_NE(id, 0u);
    for (int i = 0; i < 50; ++i)
        std::ofstream(folder / ("Pic-" + std::to_string(i) + ".jpg")) << "x";
    ASSERT_TRUE(recorder.WaitFor(1));
    // A marker made afterwards comes as a notification of its own; nothing else came in between.
    std::filesystem::create_directory(folder / "marker");
    ASSERT_TRUE(recorder.WaitFor(2));
    ASSERT_EQ(recorder.changes.size(), 2u);
    EXPECT_EQ(recorder.changes[0].code, SHCNE_UPDATEDIR);
    EXPECT_EQ(recorder.changes[0].path, folder.string());
    EXPECT_EQ(recorder.changes[1].code, SHCNE_MKDIR);
    EXPECT_EQ(recorder.changes[1].path, (folder / "marker").string());
    EXPECT_TRUE(SHChangeNotifyDeregister(id));
    EXPECT_FALSE(SHChangeNotifyDeregister(id));
}

TEST_F(ChangeNotifyTest, FolderMadeRenamedAndRemovedOutsideIsReported)
{
    const auto folder = home.Folders({"watched"});
    const ULONG id = Register(folder, FALSE);
    ASSERT_NE(id, 0u);
    std::filesystem::create_directory(folder / "new");
    ASSERT_TRUE(recorder.WaitFor(1));
    std::filesystem::rename(folder / "new", folder / "renamed");
    ASSERT_TRUE(recorder.WaitFor(2));
    std::filesystem::remove(folder / "renamed");
    ASSERT_TRUE(recorder.WaitFor(3));
    std::ofstream(folder / "file.txt") << "x";
    ASSERT_TRUE(recorder.WaitFor(4));
    ASSERT_EQ(recorder.changes.size(), 4u);
    EXPECT_EQ(recorder.changes[0].code, SHCNE_MKDIR);
    EXPECT_EQ(recorder.changes[0].path, (folder / "new").string());
    EXPECT_EQ(recorder.changes[1].code, SHCNE_RENAMEFOLDER);
    EXPECT_EQ(recorder.changes[1].path, (folder / "new").string());
    EXPECT_EQ(recorder.changes[1].newPath, (folder / "renamed").string());
    EXPECT_EQ(recorder.changes[2].code, SHCNE_RMDIR);
    EXPECT_EQ(recorder.changes[2].path, (folder / "renamed").string());
    // Made and written at once: both come as one update of the folder.
    EXPECT_EQ(recorder.changes[3].code, SHCNE_UPDATEDIR);
    SHChangeNotifyDeregister(id);
}

TEST_F(ChangeNotifyTest, RecursiveDesktopRegistrationWatchesTheFoldersThatWereEnumerated)
{
    const auto deep = home.Folders({"a/b"});
    const ULONG id = Register({}, TRUE);
    ASSERT_NE(id, 0u);
    // Nobody has looked into a/b yet: only what the namespace enumerated is watched.
    LPITEMIDLIST list = ILCreateFromPath(deep.c_str());
    platform::com::ComPtr<IShellFolder> desktop;
    SHGetDesktopFolder(desktop.Put());
    platform::com::ComPtr<IShellFolder> folder;
    ASSERT_EQ(desktop->BindToObject(list, nullptr, IID_IShellFolder, folder.PutVoid()), S_OK);
    ILFree(list);
    platform::com::ComPtr<IEnumIDList> children;
    EXPECT_EQ(folder->EnumObjects(nullptr, SHCONTF_FOLDERS, children.Put()), S_FALSE);
    std::filesystem::create_directory(deep / "c");
    ASSERT_TRUE(recorder.WaitFor(1));
    EXPECT_EQ(recorder.changes[0].code, SHCNE_MKDIR);
    EXPECT_EQ(recorder.changes[0].path, (deep / "c").string());
    SHChangeNotifyDeregister(id);
}

TEST_F(ChangeNotifyTest, ChangeHandleIsSignalledOnceForABurstAndRearmed)
{
    const auto folder = home.Folders({"list"});
    HANDLE change = FindFirstChangeNotification(folder.c_str(), FALSE,
                                                FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE);
    ASSERT_NE(change, INVALID_HANDLE_VALUE);
    EXPECT_EQ(WaitForSingleObject(change, 0), WAIT_TIMEOUT);
    for (int i = 0; i < 50; ++i)
        std::ofstream(folder / ("Vid-" + std::to_string(i) + ".wmv")) << "x";
    ASSERT_TRUE(PumpAppUntil([&] { return WaitForSingleObject(change, 0) == WAIT_OBJECT_0; }));
    ASSERT_TRUE(FindNextChangeNotification(change));
    EXPECT_EQ(WaitForSingleObject(change, 0), WAIT_TIMEOUT);
    std::filesystem::remove(folder / "Vid-0.wmv");
    ASSERT_TRUE(PumpAppUntil([&] { return WaitForSingleObject(change, 0) == WAIT_OBJECT_0; }));
    EXPECT_TRUE(FindCloseChangeNotification(change));
    EXPECT_FALSE(FindNextChangeNotification(change));
}

TEST_F(ChangeNotifyTest, AWorkerThreadWaitsOnItsOwnWatchAndClosingNeverHangs)
{
    const auto folder = home.Folders({"worker"});
    HANDLE quit = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    std::promise<HANDLE> opened;
    // As the file list's watch thread does: open, wait on quit or change, close.
    auto worker = std::async(std::launch::async,
                             [&]
                             {
                                 HANDLE change = FindFirstChangeNotification(folder.c_str(), FALSE,
                                                                             FILE_NOTIFY_CHANGE_FILE_NAME);
                                 opened.set_value(change);
                                 const HANDLE objects[] = {quit, change};
                                 const DWORD woke = WaitForMultipleObjects(2, objects, FALSE, 20000);
                                 // Changes keep coming while it closes; the close does not wait for them.
                                 for (int i = 0; i < 20; ++i)
                                     std::ofstream(folder / ("late-" + std::to_string(i))) << "x";
                                 FindCloseChangeNotification(change);
                                 return woke;
                             });
    auto openedHandle = opened.get_future();
    ASSERT_TRUE(PumpAppUntil(
        [&] { return openedHandle.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    ASSERT_NE(openedHandle.get(), INVALID_HANDLE_VALUE);
    std::ofstream(folder / "first") << "x";
    ASSERT_TRUE(
        PumpAppUntil([&] { return worker.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(worker.get(), WAIT_OBJECT_0 + 1);
    // What was still on its way to the closed watch goes nowhere.
    platform::window::PumpPendingMessages();
    CloseHandle(quit);
}

TEST_F(ChangeNotifyTest, FoldersThatCannotBeWatchedAreRefused)
{
    HANDLE change =
        FindFirstChangeNotification((home.Home() / "missing").c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
    EXPECT_EQ(change, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    change = FindFirstChangeNotification(home.Home().c_str(), TRUE, FILE_NOTIFY_CHANGE_FILE_NAME);
    EXPECT_EQ(change, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
    EXPECT_FALSE(FindCloseChangeNotification(nullptr));
    const SHChangeNotifyEntry none{nullptr, FALSE};
    EXPECT_EQ(SHChangeNotifyRegister(recorder.GetSafeHwnd(), SHCNRF_ShellLevel, SHCNE_ALLEVENTS,
                                     kChangeMessage, 1, &none),
              0u);
}
} // namespace
