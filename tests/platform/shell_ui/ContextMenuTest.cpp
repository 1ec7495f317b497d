#include "platform/shell/ContextMenu.h"

#include "platform/com/ComPtr.h"
#include "platform/shell/ShlObj.h"
#include "tests/platform/window/WindowTestSupport.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using namespace window_test;
using testing_support::ReadFile;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteScript;

namespace fs = std::filesystem;

namespace
{
std::string Text(HMENU menu, UINT position)
{
    char buffer[64] = {};
    GetMenuStringA(menu, position, buffer, sizeof buffer, MF_BYPOSITION);
    return buffer;
}

/// A context menu of `paths`, through its first interface.
IContextMenu* MenuOf(const std::vector<std::string>& paths)
{
    IContextMenu* menu = nullptr;
    EXPECT_EQ(CreateFileContextMenu(nullptr, paths, IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
    return menu;
}

HRESULT Invoke(IContextMenu* menu, UINT offset)
{
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof info;
    info.lpVerb = MAKEINTRESOURCE(offset);
    info.nShow = 1;
    return menu->InvokeCommand(&info);
}

/// A temporary home, data home (with its trash) and a PATH whose first folder holds the test's xdg-open.
class ContextMenuTest : public WindowFixture
{
protected:
    ContextMenuTest()
        : m_home("HOME", (m_root / "home").string()), m_data("XDG_DATA_HOME", (m_root / "data").string()),
          m_path("PATH", (m_root / "bin").string() + ":" + Path())
    {
        fs::create_directories(m_root / "home");
        fs::create_directories(m_root / "data");
        fs::create_directories(m_root / "bin");
    }

    static std::string Path()
    {
        const char* path = std::getenv("PATH");
        return path ? path : "/usr/bin:/bin";
    }
    /// An xdg-open that writes its argument count and arguments, one a line, and ends with `status`.
    void FakeOpener(int status)
    {
        WriteScript(m_root / "bin" / "xdg-open", "printf '%s\\n' \"$#\" \"$@\" >> '" + Log().string() +
                                                     "'\nexit " + std::to_string(status) + "\n");
    }
    fs::path Log() const { return m_root / "opened.log"; }
    fs::path Trash() const { return m_root / "data" / "Trash"; }

    TempDir m_root;
    ScopedEnv m_home;
    ScopedEnv m_data;
    ScopedEnv m_path;
};
} // namespace

TEST_F(ContextMenuTest, QueryAddsOpenAndMoveToTrashWithOpenAsDefault)
{
    const fs::path file = m_root.WriteFile("photos/a.jpg", "jpeg");
    IContextMenu* menu = MenuOf({file.string()});
    ASSERT_NE(menu, nullptr);
    IContextMenu3* third = nullptr;
    ASSERT_EQ(menu->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(&third)), S_OK);
    void* other = nullptr;
    EXPECT_EQ(menu->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);

    HMENU popup = CreatePopupMenu();
    AppendMenuA(popup, MF_STRING, 0x8000, "Owner's own");
    EXPECT_EQ(menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2));
    ASSERT_EQ(GetMenuItemCount(popup), 3);
    EXPECT_EQ(Text(popup, 0), "Open");
    EXPECT_EQ(GetMenuItemID(popup, 0), 1u);
    EXPECT_EQ(Text(popup, 1), "Move to Trash");
    EXPECT_EQ(GetMenuItemID(popup, 1), 2u);
    EXPECT_EQ(Text(popup, 2), "Owner's own");
    EXPECT_EQ(GetMenuDefaultItem(popup, FALSE, 0), 1u);
    DestroyMenu(popup);

    // Only the default command, or only as many as the ids allow.
    popup = CreatePopupMenu();
    EXPECT_EQ(menu->QueryContextMenu(popup, 0, 100, 200, CMF_DEFAULTONLY),
              MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1));
    EXPECT_EQ(GetMenuItemCount(popup), 1);
    DestroyMenu(popup);
    popup = CreatePopupMenu();
    EXPECT_EQ(menu->QueryContextMenu(popup, 0, 50, 50, CMF_NORMAL), MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1));
    EXPECT_EQ(menu->QueryContextMenu(nullptr, 0, 1, 10, CMF_NORMAL), E_INVALIDARG);
    DestroyMenu(popup);

    char verb[16];
    EXPECT_EQ(menu->GetCommandString(1, GCS_VERBA, nullptr, verb, sizeof verb), S_OK);
    EXPECT_STREQ(verb, "delete");
    EXPECT_EQ(menu->GetCommandString(2, GCS_VALIDATEA, nullptr, nullptr, 0), S_FALSE);

    // No command is drawn by the owner: the menu messages are taken and need nothing.
    LRESULT result = 5;
    EXPECT_EQ(third->HandleMenuMsg2(WM_MENUCHAR, 'x', 0, &result), S_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(third->HandleMenuMsg(WM_INITMENUPOPUP, 0, 0), S_OK);
    EXPECT_EQ(third->HandleMenuMsg(WM_PAINT, 0, 0), E_INVALIDARG);
    third->Release();
    menu->Release();

    IContextMenu* none = nullptr;
    EXPECT_EQ(CreateFileContextMenu(nullptr, {}, IID_IContextMenu, reinterpret_cast<void**>(&none)),
              E_INVALIDARG);
    EXPECT_EQ(none, nullptr);
}

TEST_F(ContextMenuTest, MoveToTrashMovesTheFilesIntoTheTrashOfTheDataHome)
{
    const fs::path first = m_root.WriteFile("photos/first.jpg", "1");
    const fs::path second = m_root.WriteFile("photos/second name.jpg", "2");
    IContextMenu* menu = MenuOf({first.string(), second.string()});
    ASSERT_EQ(Invoke(menu, 1), S_OK);
    EXPECT_FALSE(fs::exists(first));
    EXPECT_FALSE(fs::exists(second));
    EXPECT_EQ(ReadFile(Trash() / "files" / "first.jpg"), "1");
    EXPECT_EQ(ReadFile(Trash() / "files" / "second name.jpg"), "2");
    EXPECT_TRUE(fs::exists(Trash() / "info" / "first.jpg.trashinfo"));
    // Gone already: nothing to move.
    EXPECT_EQ(Invoke(menu, 1), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    menu->Release();
}

TEST_F(ContextMenuTest, AFoldersItemsGiveTheMenuThatActsOnThem)
{
    const fs::path photo = m_root.WriteFile("album/photo 1.jpg", "p");
    m_root.WriteFile("album/kept.jpg", "k");
    platform::com::ComPtr<IShellFolder> desktop;
    ASSERT_EQ(SHGetDesktopFolder(desktop.Put()), S_OK);
    platform::shell::IdListPtr album(ILCreateFromPath(photo.parent_path().c_str()));
    platform::shell::IdListPtr item(ILCreateFromPath(photo.c_str()));
    ASSERT_TRUE(album && item);
    platform::com::ComPtr<IShellFolder> folder;
    ASSERT_EQ(desktop->BindToObject(album.get(), nullptr, IID_IShellFolder, folder.PutVoid()), S_OK);
    PCUITEMID_CHILD children[] = {ILFindLastID(item.get())};
    IContextMenu* menu = nullptr;
    ASSERT_EQ(folder->GetUIObjectOf(nullptr, 1, children, IID_IContextMenu, nullptr,
                                    reinterpret_cast<void**>(&menu)),
              S_OK);
    ASSERT_EQ(Invoke(menu, 1), S_OK);
    menu->Release();
    EXPECT_FALSE(fs::exists(photo));
    EXPECT_EQ(ReadFile(Trash() / "files" / "photo 1.jpg"), "p");
    EXPECT_TRUE(fs::exists(photo.parent_path() / "kept.jpg"));
    EXPECT_EQ(folder->GetUIObjectOf(nullptr, 0, children, IID_IContextMenu, nullptr,
                                    reinterpret_cast<void**>(&menu)),
              E_INVALIDARG);
}

TEST_F(ContextMenuTest, OpenHandsEachFileToXdgOpenAsOneArgument)
{
    FakeOpener(0);
    const fs::path dash = m_root.WriteFile("photos/-starts with a dash.jpg", "x");
    const fs::path spaced = m_root.WriteFile("photos/name with  spaces.png", "y");
    const fs::path folder = dash.parent_path();
    // A name relative to the current folder reaches xdg-open as an absolute path, never as an option.
    const fs::path before = fs::current_path();
    fs::current_path(folder);
    IContextMenu* menu = MenuOf({dash.string(), spaced.string(), "-starts with a dash.jpg"});
    fs::current_path(before);
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof info;
    info.lpVerb = "open";
    ASSERT_EQ(menu->InvokeCommand(&info), S_OK);
    EXPECT_EQ(ReadFile(Log()),
              "1\n" + dash.string() + "\n1\n" + spaced.string() + "\n1\n" + dash.string() + "\n");
    info.lpVerb = "rename";
    EXPECT_EQ(menu->InvokeCommand(&info), E_INVALIDARG);
    EXPECT_EQ(Invoke(menu, 7), E_INVALIDARG);
    menu->Release();
}

struct OpenerCase
{
    const char* name;
    std::optional<int> status; // xdg-open's exit status; none: no xdg-open on PATH
    HRESULT result;
};

class OpenerTest : public ContextMenuTest, public ::testing::WithParamInterface<OpenerCase>
{
};

TEST_P(OpenerTest, TheOpenersAnswerIsTheResult)
{
    const OpenerCase& c = GetParam();
    std::optional<ScopedEnv> bare;
    if (c.status)
        FakeOpener(*c.status);
    else
        bare.emplace("PATH", (m_root / "bin").string());
    const fs::path file = m_root.WriteFile("a.jpg", "x");
    IContextMenu* menu = MenuOf({file.string()});
    EXPECT_EQ(Invoke(menu, 0), c.result);
    menu->Release();
}

INSTANTIATE_TEST_SUITE_P(
    Openers, OpenerTest,
    ::testing::Values(OpenerCase{"Accepted", 0, S_OK}, OpenerCase{"Refused", 3, HRESULT_FROM_WIN32(1155)},
                      OpenerCase{"Missing", std::nullopt, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)}),
    [](const ::testing::TestParamInfo<OpenerCase>& info) { return info.param.name; });

TEST_F(ContextMenuTest, TheMenuIsQueriedTrackedAndInvokedAsTheListDoesIt)
{
    const fs::path file = m_root.WriteFile("photos/chosen.jpg", "z");
    HWND owner = Top();
    IContextMenu* menu = MenuOf({file.string()});
    HMENU popup = CreatePopupMenu();
    const HRESULT added = menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL);
    ASSERT_TRUE(SUCCEEDED(added));
    std::vector<std::string> shown;
    platform::menu::SetTrackHook(
        [&](HMENU tracked, QWidget*)
        {
            for (int i = 0; i < GetMenuItemCount(tracked); ++i)
                shown.push_back(Text(tracked, static_cast<UINT>(i)));
            return GetMenuItemID(tracked, 1); // "Move to Trash"
        });
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON, 120, 130, 0, owner, nullptr));
    platform::menu::SetTrackHook(nullptr);
    ASSERT_EQ(chosen, 2u);
    CMINVOKECOMMANDINFO info{sizeof info, 0, owner,  MAKEINTRESOURCE(chosen - 1), nullptr, nullptr,
                             1,           0, nullptr};
    EXPECT_EQ(menu->InvokeCommand(&info), S_OK);
    EXPECT_EQ(shown, std::vector<std::string>({"Open", "Move to Trash"}));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(fs::exists(Trash() / "files" / "chosen.jpg"));
    menu->Release();
    DestroyMenu(popup);
}
