#include "FaldraTestSupport.h"

#include "platform/commctrl2/ListBox.h"

using faldra_test::Grab;
using faldra_test::TopWindow;

namespace
{
COLORREF Pixel(const QImage& image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    return RGB(qRed(p), qGreen(p), qBlue(p));
}
} // namespace

TEST(ListBoxControlTest, StringsSortFindAndKeepTheirData)
{
    InitListBoxClass();
    TopWindow top(200, 200);
    HWND list = CreateWindowEx(0, WC_LISTBOX, "", WS_CHILD | WS_VISIBLE | LBS_SORT, 0, 0, 100, 100,
                               top.hwnd(), nullptr, nullptr, nullptr);
    ASSERT_NE(list, nullptr);
    for (const char* text : {"pear", "Apple", "fig"})
        SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    char buffer[16];
    ASSERT_EQ(SendMessage(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(buffer)), 5);
    EXPECT_STREQ(buffer, "Apple");
    EXPECT_EQ(SendMessage(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("FIG")),
              1);
    EXPECT_EQ(SendMessage(list, LB_FINDSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>("pe")), 2);
    EXPECT_EQ(SendMessage(list, LB_SETITEMDATA, 1, 42), LB_OKAY);
    EXPECT_EQ(SendMessage(list, LB_GETITEMDATA, 1, 0), 42);
    EXPECT_EQ(SendMessage(list, LB_GETTEXTLEN, 9, 0), LB_ERR);
    EXPECT_EQ(SendMessage(list, LB_SETCURSEL, 2, 0), 2);
    EXPECT_EQ(SendMessage(list, LB_DELETESTRING, 0, 0), 2);
    EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), 1); // the selection follows its item
    SendMessage(list, LB_RESETCONTENT, 0, 0);
    EXPECT_EQ(SendMessage(list, LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendMessage(list, LB_GETCURSEL, 0, 0), LB_ERR);
    EXPECT_EQ(LOWORD(SendMessage(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(5, 5))), 0xFFFF);
}

TEST(ListBoxControlTest, ScrollStateFollowsTheTopIndex)
{
    InitListBoxClass();
    TopWindow top(200, 200);
    HWND list = CreateWindowEx(0, WC_LISTBOX, "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, top.hwnd(), nullptr,
                               nullptr, nullptr);
    SendMessage(list, LB_SETITEMHEIGHT, 0, MAKELPARAM(20, 0));
    for (int i = 0; i < 12; ++i)
        SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("x"));
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
    ASSERT_TRUE(GetScrollInfo(list, SB_VERT, &info));
    EXPECT_EQ(info.nMax, 11);
    EXPECT_EQ(info.nPage, 5u);
    SendMessage(list, WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 4), 0);
    EXPECT_EQ(SendMessage(list, LB_GETTOPINDEX, 0, 0), 4);
    EXPECT_EQ(GetScrollPos(list, SB_VERT), 4);
    SendMessage(list, WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0), 0);
    EXPECT_EQ(SendMessage(list, LB_GETTOPINDEX, 0, 0), 7);
    SendMessage(list, LB_SETCURSEL, 1, 0); // selecting scrolls the item into view
    EXPECT_EQ(SendMessage(list, LB_GETTOPINDEX, 0, 0), 1);
    RECT item{};
    ASSERT_EQ(SendMessage(list, LB_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&item)), 1);
    EXPECT_EQ(item.top, 40);
    EXPECT_EQ(LOWORD(SendMessage(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(5, 45))), 3);

    const QImage image = Grab(list);
    EXPECT_EQ(Pixel(image, 90, 10), GetSysColor(COLOR_HIGHLIGHT) & 0xFFFFFF);
    EXPECT_EQ(Pixel(image, 90, 30), GetSysColor(COLOR_WINDOW) & 0xFFFFFF);
}
