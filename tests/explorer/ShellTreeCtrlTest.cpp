#include "brevicam/explorer/ShellClass.h"
#include "brevicam/explorer/ShellTree.h"
#include "platform/shell/ShlObj.h"
#include "shared/exceptions/Exceptions.h"
#include "tests/support/AppLoopSupport.h"
#include "tests/support/ExceptionTestSupport.h"
#include "tests/support/ShellTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using testing_support::PrivateHome;
using testing_support::PumpAppUntil;

namespace
{
/// An owner that writes down every call, naming folders by their paths.
class RecordingMediator : public CExplorerMediator
{
public:
    std::vector<std::string> calls;
    std::vector<LPARAM> shellEvents;
    std::function<void()> onShellChange;

    bool IsReady() override { return true; }
    LRESULT OnExplorerEvent(int code, WPARAM, LPARAM second) override
    {
        if (code == EXN_SHELL_CHANGE)
        {
            shellEvents.push_back(second);
            if (onShellChange)
                onShellChange();
        }
        return 0;
    }
    void OnFolderSelected(tagTShellItemData* folder) override
    {
        calls.push_back("selected " + PathOf(folder));
    }
    void OnFolderExpanding(tagTShellItemData* folder, BOOL expanding) override
    {
        calls.push_back((expanding ? "expanding " : "collapsing ") + PathOf(folder));
    }
    void OpenItem(tagTShellItemData*) override {}
    bool FilterItem(const char*) override { return false; }
    bool FilterShellItem(IShellFolder*, LPCITEMIDLIST, LPCITEMIDLIST) override { return false; }

private:
    static std::string PathOf(const tagTShellItemData* record)
    {
        if (!record)
            return "<none>";
        if (!record->pidlParent)
            return "Desktop";
        return std::string(CShellClass::GetParsingName(record->pFolder, record->pidlRelative));
    }
};

class ShellTreeCtrlTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), "panel", WS_POPUP | WS_VISIBLE,
                                    CRect(0, 0, 300, 500), nullptr, 0));
        ASSERT_TRUE(tree.Create(WS_CHILD | WS_VISIBLE, CRect(0, 0, 300, 500), &parent, 1));
    }
    void TearDown() override
    {
        tree.DestroyWindow();
        parent.DestroyWindow();
    }

    std::vector<std::string> ChildTexts(HTREEITEM item)
    {
        std::vector<std::string> texts;
        for (HTREEITEM child = tree.GetChildItem(item); child; child = tree.GetNextSiblingItem(child))
            texts.push_back(std::string(tree.GetItemText(child)));
        return texts;
    }
    HTREEITEM ChildNamed(HTREEITEM item, const std::string& text)
    {
        for (HTREEITEM child = tree.GetChildItem(item); child; child = tree.GetNextSiblingItem(child))
            if (std::string(tree.GetItemText(child)) == text)
                return child;
        return nullptr;
    }
    std::string Path(const std::string& relative) const { return (home.Home() / relative).string(); }

    PrivateHome home;
    RecordingMediator mediator;
    CWnd parent;
    CShellTreeCtrl tree{&mediator};
};

TEST_F(ShellTreeCtrlTest, StartsWithTheDesktopAndItsFoldersInSideBarOrder)
{
    home.Folders({"Documents/Photos", "Pictures"});
    tree.InitializeCtrl();
    const HTREEITEM root = tree.GetRootItem();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(std::string(tree.GetItemText(root)), "Desktop");
    EXPECT_NE(tree.GetItemState(root, TVIS_EXPANDED), 0u);
    const auto texts = ChildTexts(root);
    ASSERT_GE(texts.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 4),
              (std::vector<std::string>{"Home", "Documents", "Pictures", "File System"}));
    EXPECT_TRUE(tree.ItemHasChildren(ChildNamed(root, "Documents")));
    EXPECT_FALSE(tree.ItemHasChildren(ChildNamed(root, "Pictures")));
    EXPECT_EQ(tree.GetImageList(TVSIL_NORMAL)->GetSafeHandle(), CShellClass::GetSystemImageList(TRUE));
    EXPECT_EQ(mediator.calls, std::vector<std::string>{"expanding Desktop"});
    EXPECT_NE(tree.GetStyle() & TVS_HASBUTTONS, 0u);
}

TEST_F(ShellTreeCtrlTest, ANodeIsFilledOnItsFirstExpansionOnlyInNameOrder)
{
    home.Folders({"a/f10", "a/f2", "a/F3", "a/.hidden"});
    home.File("a/file.txt");
    tree.InitializeCtrl();
    const HTREEITEM a = tree.Explore(Path("a").c_str());
    ASSERT_EQ(std::string(tree.GetItemText(a)), "a");
    EXPECT_EQ(tree.GetChildItem(a), nullptr);
    EXPECT_TRUE(tree.ItemHasChildren(a)); // the button shows before the first expansion
    mediator.calls.clear();
    ASSERT_TRUE(tree.Expand(a, TVE_EXPAND));
    EXPECT_EQ(ChildTexts(a), (std::vector<std::string>{"f2", "F3", "f10"}));
    EXPECT_EQ(mediator.calls, std::vector<std::string>{"expanding " + Path("a")});

    // Expanding again, even as the mouse does (always notified), adds nothing.
    home.Folders({"a/f1"});
    NMTREEVIEW again{};
    again.action = TVE_EXPAND;
    again.itemNew.hItem = a;
    again.itemNew.lParam = static_cast<LPARAM>(tree.GetItemData(a));
    tree.PopulateTree(&again);
    EXPECT_EQ(ChildTexts(a), (std::vector<std::string>{"f2", "F3", "f10"}));
}

TEST_F(ShellTreeCtrlTest, ExploreOpensTheChainToADeepFolderAndSelectsIt)
{
    home.Folders({"x/y/z/deep", "x/other"});
    tree.InitializeCtrl();
    mediator.calls.clear();
    const HTREEITEM deep = tree.Explore(Path("x/y/z/deep").c_str());
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(tree.GetSelectedItem(), deep);
    EXPECT_EQ(std::string(tree.GetItemText(deep)), "deep");
    EXPECT_EQ(mediator.calls,
              (std::vector<std::string>{"expanding " + home.Home().string(), "expanding " + Path("x"),
                                        "expanding " + Path("x/y"), "expanding " + Path("x/y/z"),
                                        "selected " + Path("x/y/z/deep")}));
}

TEST_F(ShellTreeCtrlTest, ExploreEdgeCases)
{
    home.Folders({"h/.secret", "drive:"});
    tree.InitializeCtrl();
    // A drive-style name ending in a colon is a folder of that name.
    EXPECT_EQ(std::string(tree.GetItemText(tree.Explore(Path("drive:").c_str()))), "drive:");
    EXPECT_THROW_MESSAGE(tree.Explore(""), CInvalidArgumentException,
                         ".\\ShellTree[CShellTreeCtrl::Explore]: No path received for exploration");
    EXPECT_EQ(tree.Explore(Path("missing/folder").c_str()), tree.GetRootItem());
    EXPECT_EQ(tree.GetSelectedItem(), tree.GetRootItem());
    // The only way on is a hidden folder, which the tree never shows.
    EXPECT_THROW_MESSAGE(tree.Explore(Path("h/.secret").c_str()), CUserInterfaceException,
                         ".\\ShellTree[CShellTreeCtrl::ExploreFrom]: Exploration failed");
}

TEST_F(ShellTreeCtrlTest, LinkedFoldersShowTheLinkOverlayAndALoopEndsThere)
{
    home.Folders({"a/real/inside"});
    home.Link("a/loop", "a");
    home.Link("a/shortcut", "a/real");
    tree.InitializeCtrl();
    const HTREEITEM a = tree.Explore(Path("a").c_str());
    ASSERT_TRUE(tree.Expand(a, TVE_EXPAND));
    EXPECT_EQ(ChildTexts(a), (std::vector<std::string>{"loop", "real", "shortcut"}));
    const HTREEITEM loop = ChildNamed(a, "loop");
    EXPECT_EQ(tree.GetItemState(loop, TVIS_OVERLAYMASK), INDEXTOOVERLAYMASK(2));
    EXPECT_FALSE(tree.ItemHasChildren(loop));
    EXPECT_FALSE(tree.Expand(loop, TVE_EXPAND));
    const HTREEITEM shortcut = ChildNamed(a, "shortcut");
    EXPECT_EQ(tree.GetItemState(shortcut, TVIS_OVERLAYMASK), INDEXTOOVERLAYMASK(2));
    ASSERT_TRUE(tree.Expand(shortcut, TVE_EXPAND));
    EXPECT_EQ(ChildTexts(shortcut), std::vector<std::string>{"inside"});
    EXPECT_EQ(tree.GetItemState(ChildNamed(a, "real"), TVIS_OVERLAYMASK), 0u);
}

TEST_F(ShellTreeCtrlTest, FoldersChangedOutsideArriveAsOneMergedNotificationEach)
{
    home.Folders({"a/old"});
    tree.InitializeCtrl();
    // An owner that shows the changes: it rebuilds the tree, which comes back to the selected folder.
    mediator.onShellChange = [this] { tree.Rebuild(); };
    HTREEITEM a = tree.Explore(Path("a").c_str());
    ASSERT_TRUE(tree.Expand(a, TVE_EXPAND));
    auto childrenOfA = [this]
    {
        const HTREEITEM item = tree.GetSelectedItem();
        tree.Expand(item, TVE_EXPAND);
        return ChildTexts(item);
    };
    auto waitForEvents = [this](std::size_t count)
    { return PumpAppUntil([&] { return mediator.shellEvents.size() >= count; }); };

    std::filesystem::create_directory(Path("a/new"));
    ASSERT_TRUE(waitForEvents(1));
    EXPECT_EQ(mediator.shellEvents.back(), SHCNE_MKDIR);
    EXPECT_EQ(childrenOfA(), (std::vector<std::string>{"new", "old"}));

    std::filesystem::rename(Path("a/new"), Path("a/renamed"));
    ASSERT_TRUE(waitForEvents(2));
    EXPECT_EQ(mediator.shellEvents.back(), SHCNE_RENAMEFOLDER);
    EXPECT_EQ(childrenOfA(), (std::vector<std::string>{"old", "renamed"}));

    std::filesystem::remove(Path("a/renamed"));
    ASSERT_TRUE(waitForEvents(3));
    EXPECT_EQ(mediator.shellEvents.back(), SHCNE_RMDIR);
    EXPECT_EQ(childrenOfA(), std::vector<std::string>{"old"});

    // Twenty folders at once: one notification, then the marker's own.
    for (int i = 1; i <= 20; ++i)
        std::filesystem::create_directory(Path("a/b" + std::to_string(i)));
    ASSERT_TRUE(waitForEvents(4));
    std::filesystem::create_directory(Path("a/marker"));
    ASSERT_TRUE(waitForEvents(5));
    EXPECT_EQ(mediator.shellEvents, (std::vector<LPARAM>{SHCNE_MKDIR, SHCNE_RENAMEFOLDER, SHCNE_RMDIR,
                                                         SHCNE_UPDATEDIR, SHCNE_MKDIR}));
    const auto texts = childrenOfA();
    EXPECT_EQ(texts.size(), 22u);
    EXPECT_EQ(texts.front(), "b1");
    EXPECT_EQ(texts[1], "b2");
    EXPECT_EQ(texts.back(), "old");
}
} // namespace
