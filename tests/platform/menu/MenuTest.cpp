#include "platform/menu/Menu.h"

#include "tests/platform/window/WindowTestSupport.h"

#include <QKeyEvent>
#include <QMenu>

#include <string>
#include <vector>

using namespace window_test;

namespace
{
std::string Text(HMENU menu, UINT item, UINT flags)
{
    char buffer[64] = {};
    GetMenuStringA(menu, item, buffer, sizeof buffer, flags);
    return buffer;
}

/// Scripts the choice of the tracked menus for one test.
class ScopedTrackHook
{
public:
    explicit ScopedTrackHook(std::function<UINT(HMENU, QWidget*)> hook)
    {
        platform::menu::SetTrackHook(std::move(hook));
    }
    ~ScopedTrackHook() { platform::menu::SetTrackHook(nullptr); }
};

/// A menu of "&Open" (10), a separator, "Gr&ayed" (11, disabled) and a submenu "More" of "Inner" (20).
struct SampleMenu
{
    SampleMenu()
    {
        menu = CreatePopupMenu();
        sub = CreatePopupMenu();
        AppendMenuA(sub, MF_STRING, 20, "Inner");
        AppendMenuA(menu, MF_STRING, 10, "&Open");
        AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(menu, MF_STRING | MF_GRAYED, 11, "Gr&ayed");
        AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), "More");
    }
    ~SampleMenu() { DestroyMenu(menu); }
    HMENU menu = nullptr;
    HMENU sub = nullptr;
};

class MenuTest : public WindowFixture
{
};
} // namespace

TEST_F(MenuTest, ItemsKeepTheirIdsTextsAndStates)
{
    SampleMenu m;
    EXPECT_EQ(GetMenuItemCount(m.menu), 4);
    EXPECT_EQ(GetMenuItemID(m.menu, 0), 10u);
    EXPECT_EQ(GetMenuItemID(m.menu, 3), static_cast<UINT>(-1)); // a submenu
    EXPECT_EQ(GetSubMenu(m.menu, 3), m.sub);
    EXPECT_EQ(Text(m.menu, 10, MF_BYCOMMAND), "&Open");
    EXPECT_EQ(Text(m.menu, 20, MF_BYCOMMAND), "Inner"); // found in the submenu
    EXPECT_TRUE(GetMenuState(m.menu, 1, MF_BYPOSITION) & MF_SEPARATOR);

    // Insertion before a position and before a command.
    ASSERT_TRUE(InsertMenuA(m.menu, 0, MF_BYPOSITION | MF_STRING, 5, "First"));
    ASSERT_TRUE(InsertMenuA(m.menu, 11, MF_BYCOMMAND | MF_STRING, 6, "Before grayed"));
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_STRING | MIIM_STATE | MIIM_DATA;
    info.wID = 7;
    info.dwTypeData = const_cast<LPSTR>("Last");
    info.fState = MFS_CHECKED;
    info.dwItemData = 0x77;
    ASSERT_TRUE(InsertMenuItemA(m.menu, static_cast<UINT>(-1), TRUE, &info));
    EXPECT_EQ(GetMenuItemCount(m.menu), 7);
    const std::vector<UINT> ids = {5, 10, 0, 6, 11, static_cast<UINT>(-1), 7};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(GetMenuItemID(m.menu, i), ids[static_cast<std::size_t>(i)]) << i;
    MENUITEMINFOA read{};
    read.cbSize = sizeof read;
    read.fMask = MIIM_DATA | MIIM_STATE;
    ASSERT_TRUE(GetMenuItemInfoA(m.menu, 7, FALSE, &read));
    EXPECT_EQ(read.dwItemData, 0x77u);
    EXPECT_EQ(read.fState, MFS_CHECKED);

    // Enabling and checking answer the previous state; the default item is one at a time.
    EXPECT_EQ(EnableMenuItem(m.menu, 11, MF_BYCOMMAND | MF_ENABLED), static_cast<BOOL>(MF_GRAYED));
    EXPECT_EQ(EnableMenuItem(m.menu, 11, MF_BYCOMMAND | MF_GRAYED), static_cast<BOOL>(MF_ENABLED));
    EXPECT_EQ(CheckMenuItem(m.menu, 10, MF_BYCOMMAND | MF_CHECKED), static_cast<DWORD>(MF_UNCHECKED));
    EXPECT_TRUE(GetMenuState(m.menu, 10, MF_BYCOMMAND) & MF_CHECKED);
    ASSERT_TRUE(SetMenuDefaultItem(m.menu, 10, FALSE));
    ASSERT_TRUE(SetMenuDefaultItem(m.menu, 0, TRUE));
    EXPECT_EQ(GetMenuDefaultItem(m.menu, FALSE, 0), 5u);
    EXPECT_FALSE(GetMenuState(m.menu, 10, MF_BYCOMMAND) & MF_DEFAULT);
    EXPECT_FALSE(SetMenuDefaultItem(m.menu, 999, FALSE));

    // Unknown items and handles.
    EXPECT_EQ(EnableMenuItem(m.menu, 999, MF_BYCOMMAND), -1);
    EXPECT_EQ(CheckMenuItem(m.menu, 99, MF_BYPOSITION), static_cast<DWORD>(-1));
    EXPECT_EQ(GetMenuItemCount(reinterpret_cast<HMENU>(0x1234)), -1);
    EXPECT_FALSE(AppendMenuA(reinterpret_cast<HMENU>(0x1234), MF_STRING, 1, "x"));

    // A menu goes with the submenus it holds.
    HMENU sub = m.sub;
    ASSERT_TRUE(DestroyMenu(m.menu));
    m.menu = nullptr;
    EXPECT_FALSE(IsMenu(sub));
}

struct TrackCase
{
    const char* name;
    UINT picked;  // what the user chooses
    UINT flags;   // of TrackPopupMenu
    BOOL result;  // what TrackPopupMenu returns
    UINT command; // the WM_COMMAND the owner gets, 0 for none
};

class TrackTest : public MenuTest, public ::testing::WithParamInterface<TrackCase>
{
};

TEST_P(TrackTest, GivesTheChoiceAsResultOrCommand)
{
    const TrackCase& c = GetParam();
    HWND owner = Top();
    SampleMenu m;
    std::vector<HMENU> shown;
    ScopedTrackHook hook(
        [&](HMENU menu, QWidget* widget)
        {
            shown.push_back(menu);
            EXPECT_TRUE(widget && widget->isVisible());
            return c.picked;
        });
    recorder.log.clear();
    EXPECT_EQ(TrackPopupMenu(m.menu, c.flags, 150, 120, 0, owner, nullptr), c.result);
    EXPECT_EQ(shown, std::vector<HMENU>{m.menu});
    EXPECT_EQ(recorder.Messages(owner, {WM_ENTERMENULOOP, WM_INITMENU, WM_INITMENUPOPUP, WM_EXITMENULOOP}),
              std::vector<UINT>({WM_ENTERMENULOOP, WM_INITMENU, WM_INITMENUPOPUP, WM_EXITMENULOOP}));
    for (const Received& r : recorder.log)
        if (r.msg == WM_INITMENUPOPUP)
        {
            EXPECT_EQ(reinterpret_cast<HMENU>(r.wParam), m.menu);
            EXPECT_EQ(r.lParam, MAKELPARAM(0, FALSE));
        }
    platform::window::PumpPendingMessages();
    UINT command = 0;
    for (const Received& r : recorder.log)
        if (r.msg == WM_COMMAND)
            command = LOWORD(r.wParam);
    EXPECT_EQ(command, c.command);
}

INSTANTIATE_TEST_SUITE_P(Choices, TrackTest,
                         ::testing::Values(TrackCase{"ChosenWithReturnCmd", 10,
                                                     TPM_RETURNCMD | TPM_RIGHTBUTTON, 10, 0},
                                           TrackCase{"DismissedWithReturnCmd", 0, TPM_RETURNCMD, 0, 0},
                                           TrackCase{"DisabledItemCannotBeChosen", 11, TPM_RETURNCMD, 0, 0},
                                           TrackCase{"ItemOfASubmenu", 20, TPM_RETURNCMD, 20, 0},
                                           TrackCase{"UnknownIdDismisses", 99, TPM_RETURNCMD, 0, 0},
                                           TrackCase{"ChosenIsPostedAsCommand", 10, TPM_LEFTALIGN, TRUE, 10},
                                           TrackCase{"DismissedPostsNothing", 0, TPM_LEFTALIGN, TRUE, 0}),
                         [](const ::testing::TestParamInfo<TrackCase>& info) { return info.param.name; });

TEST_F(MenuTest, ASubmenuIsFilledAfterItsOwnerPreparedIt)
{
    HWND owner = Top();
    SampleMenu m;
    EnableMenuItem(m.sub, 20, MF_BYCOMMAND | MF_GRAYED);
    // The owner enables the inner item when its submenu opens, as owners do in WM_INITMENUPOPUP.
    recorder.handlers[WM_INITMENUPOPUP] = [&](HWND, WPARAM wParam, LPARAM)
    {
        if (reinterpret_cast<HMENU>(wParam) == m.sub)
            EnableMenuItem(m.sub, 20, MF_BYCOMMAND | MF_ENABLED);
        return 0;
    };
    bool innerEnabled = false;
    ScopedTrackHook hook(
        [&](HMENU, QWidget* widget)
        {
            auto* menu = qobject_cast<QMenu*>(widget);
            QMenu* more = menu ? menu->actions().value(3)->menu() : nullptr;
            if (!more)
                return 0u;
            more->popup(QPoint(300, 120));
            innerEnabled = !more->actions().isEmpty() && more->actions()[0]->isEnabled();
            return 20u;
        });
    EXPECT_EQ(TrackPopupMenu(m.menu, TPM_RETURNCMD, 150, 120, 0, owner, nullptr), 20);
    EXPECT_TRUE(innerEnabled);
    std::vector<LPARAM> opened;
    for (const Received& r : recorder.log)
        if (r.msg == WM_INITMENUPOPUP && reinterpret_cast<HMENU>(r.wParam) == m.sub)
            opened.push_back(r.lParam);
    EXPECT_EQ(opened, std::vector<LPARAM>{MAKELPARAM(3, FALSE)}); // the submenu's item index
}

TEST_F(MenuTest, OwnerDrawnItemsAreMeasuredAndPaintedByTheOwner)
{
    HWND owner = Top();
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 1, "Text");
    AppendMenuA(menu, MF_OWNERDRAW, 7, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(0x5A5A)));
    std::vector<MEASUREITEMSTRUCT> measured;
    std::vector<DRAWITEMSTRUCT> drawn;
    recorder.handlers[WM_MEASUREITEM] = [&](HWND, WPARAM wParam, LPARAM lParam)
    {
        EXPECT_EQ(wParam, 0u);
        auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        mis->itemWidth = 140;
        mis->itemHeight = 30;
        measured.push_back(*mis);
        return TRUE;
    };
    recorder.handlers[WM_DRAWITEM] = [&](HWND, WPARAM, LPARAM lParam)
    {
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        drawn.push_back(*dis);
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        FillRect(dis->hDC, &dis->rcItem, red);
        DeleteObject(red);
        return TRUE;
    };
    int redPixels = 0;
    ScopedTrackHook hook(
        [&](HMENU, QWidget* widget)
        {
            const QImage picture = widget->grab().toImage();
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x)
                    redPixels += picture.pixel(x, y) == qRgb(255, 0, 0) ? 1 : 0;
            return 7u;
        });
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD, 100, 100, 0, owner, nullptr), 7);
    ASSERT_EQ(measured.size(), 1u);
    EXPECT_EQ(measured[0].CtlType, ODT_MENU);
    EXPECT_EQ(measured[0].itemID, 7u);
    EXPECT_EQ(measured[0].itemData, 0x5A5Au);
    ASSERT_FALSE(drawn.empty());
    EXPECT_EQ(drawn[0].CtlType, ODT_MENU);
    EXPECT_EQ(drawn[0].itemID, 7u);
    EXPECT_EQ(drawn[0].itemAction, ODA_DRAWENTIRE);
    EXPECT_EQ(drawn[0].hwndItem, reinterpret_cast<HWND>(menu));
    EXPECT_EQ(drawn[0].itemData, 0x5A5Au);
    EXPECT_GE(drawn[0].rcItem.right - drawn[0].rcItem.left, 140);
    EXPECT_EQ(drawn[0].rcItem.bottom - drawn[0].rcItem.top, 30);
    // What the owner painted is what the menu shows.
    EXPECT_GE(redPixels, 140 * 30);
    DestroyMenu(menu);
}

namespace
{
/// An owner that answers keys naming no item with the first item, through the class library's map.
class CMenuOwner : public CWnd
{
public:
    std::vector<std::pair<UINT, HMENU>> chars;
    std::vector<HMENU> initialised;

    afx_msg void OnInitMenuPopup(CMenu* menu, UINT, BOOL) { initialised.push_back(menu->GetSafeHmenu()); }
    afx_msg LRESULT OnMenuChar(UINT c, UINT flags, CMenu* menu)
    {
        chars.emplace_back(c | (flags << 16), menu->GetSafeHmenu());
        return MAKELRESULT(0, MNC_EXECUTE);
    }

protected:
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CMenuOwner, CWnd)
ON_WM_INITMENUPOPUP()
ON_WM_MENUCHAR()
END_MESSAGE_MAP()
} // namespace

TEST_F(MenuTest, AKeyThatNamesNoItemIsTheOwnersToAnswer)
{
    CMenuOwner owner;
    ASSERT_TRUE(
        owner.CreateEx(0, nullptr, "owner", WS_POPUP | WS_VISIBLE, 100, 100, 200, 100, nullptr, nullptr));
    CMenu menu;
    ASSERT_TRUE(menu.CreatePopupMenu());
    menu.AppendMenu(MF_OWNERDRAW, 31, nullptr);
    menu.AppendMenu(MF_STRING, 32, "&Beta");
    recorder.log.clear();
    ScopedTrackHook hook(
        [&](HMENU, QWidget* widget)
        {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, "x");
            QApplication::sendEvent(widget, &key);
            return 0u; // the key chose already
        });
    EXPECT_EQ(menu.TrackPopupMenu(TPM_RETURNCMD, 120, 120, &owner), 31);
    ASSERT_EQ(owner.chars.size(), 1u);
    EXPECT_EQ(owner.chars[0].first, static_cast<UINT>('x') | (MF_POPUP << 16));
    EXPECT_EQ(owner.chars[0].second, menu.GetSafeHmenu());
    EXPECT_EQ(owner.initialised, std::vector<HMENU>{menu.GetSafeHmenu()});

    // The object owns its menu; FromHandle's objects do not.
    HMENU handle = menu.GetSafeHmenu();
    EXPECT_EQ(CMenu::FromHandle(handle)->GetMenuItemCount(), 2u);
    menu.DestroyMenu();
    EXPECT_FALSE(IsMenu(handle));
    owner.DestroyWindow();
}

TEST_F(MenuTest, TrackingRefusesABadMenuOrOwner)
{
    HWND owner = Top();
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 1, "One");
    ScopedTrackHook hook([](HMENU, QWidget*) { return 1u; });
    SetLastError(0);
    EXPECT_EQ(TrackPopupMenu(reinterpret_cast<HMENU>(0x4321), TPM_RETURNCMD, 0, 0, 0, owner, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_MENU_HANDLE);
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, reinterpret_cast<HWND>(0x4321), nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    DestroyMenu(menu);
}
