#include "brevicam/explorer/ShellClass.h"
#include "brevicam/explorer/ShellList.h"
#include "brevicam/explorer/ShellTree.h"
#include "platform/com/ComPtr.h"
#include "platform/listview/ListView.h"
#include "platform/shell/ShlObj.h"
#include "platform/win/Kernel.h"
#include "platform/window/Extras.h"
#include "shared/exceptions/Exceptions.h"
#include "tests/support/AppLoopSupport.h"
#include "tests/support/ExceptionTestSupport.h"
#include "tests/support/GdiTestSupport.h"
#include "tests/support/ShellTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using testing_support::NameOf;
using testing_support::PrivateHome;
using testing_support::PumpAppUntil;

/// Ends the list's folder-watch thread as a failed wait would, to see that nothing waits for it after.
class ShellListCtrlTestAccess
{
public:
    static void EndWatchThread(CShellListCtrl& list)
    {
        SetEvent(list.m_hQuit);
        ASSERT_EQ(WaitForSingleObject(list.m_hWatchThread, 10000), WAIT_OBJECT_0);
    }
};

namespace
{
namespace fs = std::filesystem;

std::string Text(const CString& text)
{
    return std::string(static_cast<LPCTSTR>(text));
}

/// An owner that writes down what the list tells it, hides the files named "*.hide", counts the
/// populations it lets run and shows the folder its tree selects in the list.
class ListMediator : public CExplorerMediator
{
public:
    bool ready = true;
    int populations = 0;
    std::vector<std::pair<int, WPARAM>> events;
    std::vector<std::string> opened;
    CShellListCtrl* list = nullptr;
    std::function<void()> onExpanding;

    bool IsReady() override
    {
        ++populations;
        return ready;
    }
    LRESULT OnExplorerEvent(int code, WPARAM first, LPARAM) override
    {
        if (code != EXN_SHELL_CHANGE)
            events.emplace_back(code, first);
        return 0;
    }
    void OnFolderSelected(tagTShellItemData* folder) override
    {
        if (list)
            list->ShowFolder(folder);
    }
    void OnFolderExpanding(tagTShellItemData*, BOOL) override
    {
        if (onExpanding)
            onExpanding();
    }
    void OpenItem(tagTShellItemData* item) override
    {
        opened.push_back(NameOf(item->pFolder, item->pidlRelative, SHGDN_FORPARSING));
    }
    bool FilterItem(const char*) override { return false; }
    bool FilterShellItem(IShellFolder* folder, LPCITEMIDLIST, LPCITEMIDLIST child) override
    {
        return NameOf(folder, child, SHGDN_FORPARSING).ends_with(".hide");
    }

    int Count(int code) const
    {
        return static_cast<int>(
            std::count_if(events.begin(), events.end(), [code](const auto& e) { return e.first == code; }));
    }
};

/// Takes the reading of a folder away from this thread: its permissions go, and a test run as root (whom
/// permissions do not stop) reads the disk as nobody meanwhile. Other threads keep their rights.
class UnreadableFolder
{
public:
    explicit UnreadableFolder(const fs::path& folder) : m_folder(folder)
    {
        fs::permissions(m_folder, fs::perms::none);
        if (geteuid() == 0)
            setfsuid(65534);
    }
    ~UnreadableFolder()
    {
        if (geteuid() == 0)
            setfsuid(0);
        fs::permissions(m_folder, fs::perms::owner_all);
    }

private:
    fs::path m_folder;
};

class ShellListCtrlTest : public testing::Test
{
protected:
    void SetUp() override
    {
        // The folders below the home can be walked by the reader an unreadable folder uses.
        fs::permissions(home.Home(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), "panel", WS_POPUP | WS_VISIBLE,
                                    CRect(0, 0, 700, 500), nullptr, 0));
        ASSERT_TRUE(tree.Create(WS_CHILD | WS_VISIBLE, CRect(0, 0, 200, 500), &parent, 1));
        ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | LVS_ICON | LVS_AUTOARRANGE, CRect(200, 0, 700, 500),
                                &parent, 2));
        list.InitializeCtrl();
        list.AdjustIconSpacing();
        list.SetMaxNameLength(18);
        mediator.list = &list;
    }
    void TearDown() override
    {
        if (list.GetSafeHwnd())
            list.DestroyWindow();
        if (tree.GetSafeHwnd())
            tree.DestroyWindow();
        parent.DestroyWindow();
    }

    fs::path Folder(const std::string& name, std::initializer_list<std::string> files)
    {
        const fs::path folder = home.Folders({name});
        for (const auto& file : files)
            home.File(name + "/" + file);
        return folder;
    }
    /// Shows `folder` as the owner does: the tree selects it and the list follows. The tree reads the
    /// folders the first time, so a test makes its folders before.
    void Show(const fs::path& folder)
    {
        if (!tree.GetRootItem())
            tree.InitializeCtrl();
        tree.Explore(folder.string().c_str());
    }

    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (int i = 0; i < list.GetItemCount(); ++i)
            names.push_back(Text(list.GetItemText(i, 0)));
        return names;
    }
    bool WaitForNames(const std::vector<std::string>& expected)
    {
        return PumpAppUntil([&] { return Names() == expected; });
    }
    int IndexOf(const std::string& name) const
    {
        const auto names = Names();
        const auto at = std::find(names.begin(), names.end(), name);
        return at == names.end() ? -1 : static_cast<int>(at - names.begin());
    }
    CPoint IconCentre(int index)
    {
        CRect icon;
        list.GetItemRect(index, &icon, LVIR_ICON);
        return icon.CenterPoint();
    }
    std::vector<int> Selected() const
    {
        std::vector<int> selected;
        for (int i = list.GetNextItem(-1, LVNI_SELECTED); i >= 0; i = list.GetNextItem(i, LVNI_SELECTED))
            selected.push_back(i);
        return selected;
    }

    PrivateHome home;
    ListMediator mediator;
    CWnd parent;
    CShellTreeCtrl tree{&mediator};
    CShellListCtrl list{&mediator};
};

TEST_F(ShellListCtrlTest, ListsTheFilesOfTheFolderInNumericNameOrderAsTheOwnerFilters)
{
    const fs::path folder = Folder(
        "Photos", {"a10.jpg", "a9.jpg", "Capture 10.jpg", "Capture 2.jpg", "notes.hide", ".secret.jpg"});
    home.Folders({"Photos/sub"});
    Show(folder);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Capture 2.jpg", "Capture 10.jpg", "a9.jpg", "a10.jpg"}));
    EXPECT_EQ(mediator.Count(EXN_FOLDER_CHANGED), 1);
    EXPECT_EQ(mediator.Count(EXN_FOLDER_ERROR), 0);
    EXPECT_EQ(Text(list.GetCurrentFolderPath()), folder.string());
    EXPECT_EQ(Text(list.GetItemPath(2)), (folder / "a9.jpg").string());
    EXPECT_EQ(Text(list.GetItemPath(4)), "");
    EXPECT_EQ(list.FindItem((folder / "A10.JPG").string().c_str()), 3);
    EXPECT_EQ(list.FindItem((folder / "notes.hide").string().c_str()), -1);
    const platform::shell::IdListPtr pidl(list.GetFolderPIDL());
    EXPECT_EQ(platform::shell::PathFromIDList(pidl.get()), folder.string());

    // The folder shown becomes the current directory once the watch moved to it.
    EXPECT_TRUE(PumpAppUntil([&] { return fs::current_path() == folder; }));

    // Each item gets its icon picture the first time it is asked for, and keeps it.
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < list.GetItemCount(); ++i)
        {
            LVITEM item{};
            item.mask = LVIF_IMAGE;
            item.iItem = i;
            ASSERT_TRUE(list.GetItem(&item));
            EXPECT_EQ(item.iImage, i);
        }
    EXPECT_EQ(list.GetImageList(LVSIL_NORMAL)->GetImageCount(), list.GetItemCount());
}

TEST_F(ShellListCtrlTest, LongNamesAreShortenedToTheLimitWithoutCuttingACharacter)
{
    const fs::path folder = Folder("n", {"abcdefghijklmn.jpg", "abcdefghijklmno.jpg", "ééééééééééééééé.jpg"});
    Show(folder);
    // 18 characters stay whole; 19 become 17 and the dots.
    EXPECT_EQ(Names(), (std::vector<std::string>{"ééééééééééééééé.j...", "abcdefghijklmn.jpg",
                                                 "abcdefghijklmno.j..."}));
    list.SetMaxNameLength(-1);
    list.DeleteAllItems();
    list.ShowFolder(nullptr);
    EXPECT_EQ(Names()[2], "abcdefghijklmno.jpg");
}

TEST_F(ShellListCtrlTest, ARefreshKeepsTheItemsLeftAndTheSelectionAddsNewFilesAndDropsVanishedOnes)
{
    const fs::path folder = Folder("r", {"f1.jpg", "f2.jpg", "f3.jpg"});
    Show(folder);
    ASSERT_EQ(Names(), (std::vector<std::string>{"f1.jpg", "f2.jpg", "f3.jpg"}));
    list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
    const DWORD_PTR kept = list.GetItemData(0);

    home.File("r/f10.jpg");
    fs::remove(folder / "f3.jpg");
    ASSERT_TRUE(WaitForNames({"f1.jpg", "f2.jpg", "f10.jpg"}));
    EXPECT_EQ(list.GetItemData(0), kept);
    EXPECT_EQ(Selected(), std::vector<int>{1});
    EXPECT_EQ(Text(list.GetSelectedPaths().at(0)), (folder / "f2.jpg").string());
    EXPECT_EQ(mediator.Count(EXN_FOLDER_CHANGED), 1);
    EXPECT_EQ(mediator.Count(EXN_FOLDER_ERROR), 0);

    // Asked for the same folder again, the list merges instead of starting over.
    list.ShowFolder(nullptr);
    EXPECT_EQ(list.GetItemData(0), kept);
    EXPECT_EQ(Selected(), std::vector<int>{1});
}

TEST_F(ShellListCtrlTest, RequestsWaitingTogetherAndABurstOfFilesGiveOnePopulation)
{
    const fs::path folder = Folder("b", {"x.jpg"});
    Show(folder);
    mediator.populations = 0;
    for (int i = 0; i < 5; ++i)
        list.PostMessage(WM_SHELLLIST_POPULATE, ShellListFolderChanged, 0);
    platform::window::PumpPendingMessages();
    EXPECT_EQ(mediator.populations, 1);

    mediator.populations = 0;
    for (int i = 0; i < 50; ++i)
        home.File("b/burst" + std::to_string(i) + ".jpg");
    ASSERT_TRUE(PumpAppUntil([&] { return list.GetItemCount() == 51; }));
    EXPECT_EQ(Names()[0], "burst0.jpg");
    EXPECT_EQ(Names()[10], "burst10.jpg");
    // The burst is reported once; a second refresh only when the writes straddled the merge window.
    EXPECT_LE(mediator.populations, 2);
}

TEST_F(ShellListCtrlTest, SwitchingFoldersEmptiesTheListAndMovesTheWatch)
{
    const fs::path first = Folder("one", {"a.jpg", "b.jpg"});
    const fs::path second = Folder("two", {"c.jpg"});
    Show(first);
    list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    Show(second);
    EXPECT_EQ(Names(), std::vector<std::string>{"c.jpg"});
    EXPECT_EQ(mediator.Count(EXN_FOLDER_CHANGED), 2);
    EXPECT_EQ(Text(list.GetCurrentFolderPath()), second.string());
    EXPECT_TRUE(Selected().empty());

    // Changes in the old folder are no longer watched; the new one is.
    home.File("one/late.jpg");
    home.File("two/d.jpg");
    ASSERT_TRUE(WaitForNames({"c.jpg", "d.jpg"}));
    EXPECT_TRUE(PumpAppUntil([&] { return fs::current_path() == second; }));
}

TEST_F(ShellListCtrlTest, AFolderThatBecomesEmptyOrUnreadableOrGoesEmptiesTheListSilently)
{
    const fs::path folder = Folder("e", {"a.jpg", "b.jpg"});
    Show(folder);
    ASSERT_EQ(list.GetItemCount(), 2);

    fs::remove(folder / "a.jpg");
    fs::remove(folder / "b.jpg");
    ASSERT_TRUE(WaitForNames({}));

    home.File("e/c.jpg");
    ASSERT_TRUE(WaitForNames({"c.jpg"}));
    {
        UnreadableFolder unreadable(folder);
        list.ShowFolder(nullptr);
        EXPECT_EQ(list.GetItemCount(), 0);
    }
    list.ShowFolder(nullptr);
    ASSERT_EQ(Names(), std::vector<std::string>{"c.jpg"});

    fs::remove_all(folder);
    ASSERT_TRUE(WaitForNames({}));
    EXPECT_EQ(mediator.Count(EXN_FOLDER_ERROR), 0);
    EXPECT_EQ(Text(list.GetCurrentFolderPath()), folder.string());
}

TEST_F(ShellListCtrlTest, AnUnreadableFolderReportsAnErrorAndTheListGoesOnWorking)
{
    const fs::path readable = Folder("ok", {"a.jpg"});
    const fs::path closed = Folder("closed", {"secret.jpg"});
    Show(readable);
    ASSERT_EQ(Names(), std::vector<std::string>{"a.jpg"});
    {
        UnreadableFolder unreadable(closed);
        Show(closed);
    }
    ASSERT_EQ(mediator.Count(EXN_FOLDER_ERROR), 1);
    EXPECT_EQ(static_cast<HRESULT>(mediator.events.back().second), E_ACCESSDENIED);
    EXPECT_EQ(list.GetItemCount(), 0);

    Show(readable);
    EXPECT_EQ(Names(), std::vector<std::string>{"a.jpg"});
    home.File("ok/b.jpg");
    EXPECT_TRUE(WaitForNames({"a.jpg", "b.jpg"}));
}

TEST_F(ShellListCtrlTest, NothingIsListedWhileTheOwnerIsNotReady)
{
    const fs::path folder = Folder("w", {"a.jpg"});
    mediator.ready = false;
    Show(folder);
    EXPECT_EQ(mediator.populations, 1);
    list.PostMessage(WM_SHELLLIST_POPULATE, ShellListFolderChanged, 0);
    ASSERT_TRUE(PumpAppUntil([&] { return mediator.populations == 2; }));
    EXPECT_EQ(list.GetItemCount(), 0);
    EXPECT_TRUE(mediator.events.empty());
    EXPECT_EQ(Text(list.GetCurrentFolderPath()), "");
}

TEST_F(ShellListCtrlTest, WithoutAFolderTheFolderQueriesThrowAndARefreshDoesNothing)
{
    EXPECT_THROW_MESSAGE(list.GetFolderPIDL(), CUserInterfaceException,
                         ".\\ShellList[CShellListCtrl::GetFolderPIDL]: Control partially initialized");
    EXPECT_THROW_MESSAGE(list.GetFolderPath(nullptr), CUserInterfaceException,
                         ".\\ShellList[CShellListCtrl::GetFolderPath]: Control partially initialized");
    EXPECT_THROW_MESSAGE(
        list.LVPopulateFiles(nullptr), CNullPointerException,
        ".\\ShellList[CShellListCtrl::LVPopulateFiles]: No item data received for populating "
        "the list control");
    EXPECT_EQ(Text(list.GetCurrentFolderPath()), "");
    EXPECT_EQ(list.ShowFolder(nullptr), 1);
    EXPECT_EQ(list.GetItemCount(), 0);

    // Before it is initialised, a list knows no path at all.
    CShellListCtrl fresh(&mediator);
    ASSERT_TRUE(fresh.Create(WS_CHILD | LVS_ICON, CRect(0, 0, 100, 100), &parent, 3));
    EXPECT_EQ(Text(fresh.GetFolderPath(nullptr)), "");
}

TEST_F(ShellListCtrlTest, ShiftClickSelectsTheRangeFromTheFirstSelectedItemAndDoubleClickOpens)
{
    const fs::path folder = Folder("s", {"f1.jpg", "f2.jpg", "f3.jpg", "f4.jpg", "f5.jpg", "f6.jpg"});
    Show(folder);
    ASSERT_EQ(list.GetItemCount(), 6);
    list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
    list.SetItemState(5, LVIS_SELECTED, LVIS_SELECTED);
    CPoint at = IconCentre(3);
    list.SendMessage(WM_LBUTTONDOWN, MK_SHIFT | MK_LBUTTON, MAKELPARAM(at.x, at.y));
    EXPECT_EQ(Selected(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(::GetFocus(), list.GetSafeHwnd());

    list.ClearSelection();
    at = IconCentre(2);
    list.SendMessage(WM_LBUTTONDOWN, MK_SHIFT | MK_LBUTTON, MAKELPARAM(at.x, at.y));
    EXPECT_EQ(Selected(), (std::vector<int>{0, 1, 2}));

    EXPECT_EQ(list.SelectAll(TRUE), 6);
    EXPECT_EQ(Selected().size(), 6u);
    list.SelectAll(FALSE);
    EXPECT_TRUE(Selected().empty());

    at = IconCentre(4);
    list.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(at.x, at.y));
    EXPECT_EQ(mediator.opened, std::vector<std::string>{(folder / "f5.jpg").string()});
}

TEST_F(ShellListCtrlTest, ClosingNeverWaitsForAWatchThreadThatEndedOrIsBusy)
{
    const fs::path first = Folder("p", {"a.jpg"});
    const fs::path second = Folder("q", {"b.jpg"});
    Show(first);

    // Files keep coming while the list goes.
    std::atomic<bool> stop = false;
    std::thread writer(
        [&]
        {
            for (int i = 0; !stop; ++i)
                home.File("p/w" + std::to_string(i % 200) + ".jpg");
        });
    PumpAppUntil([&] { return list.GetItemCount() > 20; });
    list.DestroyWindow();
    stop = true;
    writer.join();
    EXPECT_EQ(list.GetSafeHwnd(), nullptr);

    // A second list whose watch thread has ended still switches folders and closes.
    CShellListCtrl other(&mediator);
    ASSERT_TRUE(other.Create(WS_CHILD | WS_VISIBLE | LVS_ICON, CRect(200, 0, 700, 500), &parent, 4));
    other.InitializeCtrl();
    mediator.list = &other;
    Show(second);
    ASSERT_EQ(other.GetItemCount(), 1);
    ShellListCtrlTestAccess::EndWatchThread(other);
    Show(first);
    EXPECT_GT(other.GetItemCount(), 1);
    EXPECT_EQ(Text(other.GetCurrentFolderPath()), first.string());
    other.DestroyWindow();
    mediator.list = nullptr;
}

TEST_F(ShellListCtrlTest, ItemsAreDrawnAsFramedPicturesWithTheSelectionMarked)
{
    const fs::path folder = Folder("d", {"a.jpg", "b.jpg", "c.jpg"});
    Show(folder);
    ASSERT_EQ(list.GetItemCount(), 3);
    list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
    list.SetFocus();
    const QImage image = testing_support::Grab(list.GetSafeHwnd());
    if (const char* dump = std::getenv("BREVICAM_DUMP_LIST"))
        image.save(dump);
    auto pixel = [&](int x, int y) { return testing_support::Pixel(image, x, y); };
    auto corner = [&](int index)
    {
        CRect icon;
        list.GetItemRect(index, &icon, LVIR_ICON);
        return CPoint(icon.left + std::max(0, icon.Width() - ShellThumbWidth) / 2,
                      icon.top + std::max(0, icon.Height() - ShellThumbHeight) / 2);
    };
    auto labelCorner = [&](int index)
    {
        CRect label;
        list.GetItemRect(index, &label, LVIR_LABEL);
        return label.TopLeft() + CPoint(1, 1);
    };

    // An unselected item: its picture framed in the face colour on the window colour, its label on white.
    const CPoint plain = corner(0);
    EXPECT_EQ(pixel(plain.x, plain.y), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(pixel(plain.x + 5, plain.y + 5), GetSysColor(COLOR_WINDOW));
    const CPoint plainLabel = labelCorner(0);
    EXPECT_EQ(pixel(plainLabel.x, plainLabel.y), RGB(255, 255, 255));

    // The selected item of the focused list: a thick highlight frame and a highlighted label.
    const CPoint chosen = corner(1);
    EXPECT_EQ(pixel(chosen.x + 1, chosen.y + 1), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(pixel(chosen.x + ShellThumbWidth / 2, chosen.y + 2), GetSysColor(COLOR_HIGHLIGHT));
    const CPoint chosenLabel = labelCorner(1);
    EXPECT_EQ(pixel(chosenLabel.x, chosenLabel.y), GetSysColor(COLOR_HIGHLIGHT));
    // Some of the shell's icon shows in the middle of each picture.
    bool icon = false;
    for (int dy = -16; dy < 16 && !icon; ++dy)
        for (int dx = -16; dx < 16 && !icon; ++dx)
            icon = pixel(plain.x + ShellThumbWidth / 2 + dx, plain.y + ShellThumbHeight / 2 + dy) !=
                   GetSysColor(COLOR_WINDOW);
    EXPECT_TRUE(icon);
}

TEST_F(ShellListCtrlTest, TheFolderShownOutlivesTheTreeItemItCameFrom)
{
    const fs::path folder = Folder("t", {"a.jpg", "b.jpg"});
    Show(folder);
    ASSERT_EQ(list.GetItemCount(), 2);

    // While the tree rebuilds, its old records are gone before the folder is selected again.
    std::vector<std::string> seen;
    mediator.onExpanding = [&] { seen.push_back(Text(list.GetCurrentFolderPath())); };
    tree.Rebuild();
    mediator.onExpanding = nullptr;
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), folder.string());
    EXPECT_EQ(Names(), (std::vector<std::string>{"a.jpg", "b.jpg"}));

    // The tree goes first when the panel closes; the list still refreshes its folder.
    tree.DestroyWindow();
    home.File("t/c.jpg");
    EXPECT_TRUE(WaitForNames({"a.jpg", "b.jpg", "c.jpg"}));
    EXPECT_EQ(Text(list.GetCurrentFolderPath()), folder.string());
}

/// Two names and the sign of their order.
struct NameOrder
{
    const char* first;
    const char* second;
    int sign;
};

class CompareItemsTest : public testing::TestWithParam<NameOrder>
{
protected:
    static tagTShellItemData Record(IShellFolder* folder, const char* name)
    {
        tagTShellItemData record;
        record.pFolder = folder;
        record.pidlRelative = platform::shell::MakeItemID('N', name);
        return record;
    }
};

TEST_P(CompareItemsTest, OrdersNamesWithNumbersByValue)
{
    testing_support::TempDir dir;
    platform::com::ComPtr<IShellFolder> desktop;
    ASSERT_TRUE(SUCCEEDED(SHGetDesktopFolder(desktop.Put())));
    platform::com::ComPtr<IShellFolder> folder;
    const platform::shell::IdListPtr list(ILCreateFromPath(dir.Path().string().c_str()));
    ASSERT_TRUE(SUCCEEDED(desktop->BindToObject(list.get(), nullptr, IID_IShellFolder, folder.PutVoid())));
    auto first = Record(folder.Get(), GetParam().first);
    auto second = Record(folder.Get(), GetParam().second);
    const int order =
        CShellListCtrl::CompareItems(reinterpret_cast<LPARAM>(&first), reinterpret_cast<LPARAM>(&second), 0);
    EXPECT_EQ((order > 0) - (order < 0), GetParam().sign) << GetParam().first << " / " << GetParam().second;
    ILFree(first.pidlRelative);
    ILFree(second.pidlRelative);
}

INSTANTIATE_TEST_SUITE_P(
    Names, CompareItemsTest,
    testing::Values(NameOrder{"a9", "a10", -1}, NameOrder{"a10", "a9", 1},
                    NameOrder{"Capture 2.jpg", "Capture 10.jpg", -1}, NameOrder{"x007.jpg", "x7.jpg", 0},
                    NameOrder{"x007", "x8", -1}, NameOrder{"abc", "abcd", 0}, NameOrder{"abcd", "abc", 0},
                    NameOrder{"B", "a", -1}, NameOrder{"1abc", "abc", -1}, NameOrder{"abc", "1abc", 1},
                    NameOrder{"\xC3\xA9", "z", -1}, NameOrder{"n99999999999", "n99999999998", 1},
                    NameOrder{"n99999999999", "n5", 1}, NameOrder{"n5", "n99999999999", -1},
                    NameOrder{"n2147483647", "n2147483648", -1}, NameOrder{"n2147483646", "n2147483647", -1},
                    NameOrder{"", "a", 0}, NameOrder{"a", "a", 0}));
} // namespace
