#include "FaldraTestSupport.h"

using faldra_test::TopWindow;

TEST(WindowScrollInfoTest, StateIsClampedAndKeptPerBar)
{
    TopWindow window;
    SCROLLINFO info{sizeof(SCROLLINFO), SIF_ALL, 50, 10, 200, 500, 0};
    EXPECT_EQ(SetScrollInfo(window.hwnd(), SB_VERT, &info, FALSE),
              10); // page cut to the range, pos to its start
    SCROLLINFO read{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
    ASSERT_TRUE(GetScrollInfo(window.hwnd(), SB_VERT, &read));
    EXPECT_EQ(read.nMin, 10);
    EXPECT_EQ(read.nMax, 50);
    EXPECT_EQ(read.nPage, 41u);

    info = SCROLLINFO{sizeof(SCROLLINFO), SIF_PAGE | SIF_POS, 0, 0, 10, 45, 0};
    EXPECT_EQ(SetScrollInfo(window.hwnd(), SB_VERT, &info, FALSE), 41); // at most max - page + 1
    EXPECT_EQ(SetScrollPos(window.hwnd(), SB_VERT, 20, FALSE), 41);
    EXPECT_EQ(GetScrollPos(window.hwnd(), SB_VERT), 20);
    EXPECT_EQ(GetScrollPos(window.hwnd(), SB_HORZ), 0);
    int min = -1;
    int max = -1;
    ASSERT_TRUE(GetScrollRange(window.hwnd(), SB_HORZ, &min, &max));
    EXPECT_EQ(min, 0);
    EXPECT_EQ(max, 0);
    ASSERT_TRUE(SetScrollRange(window.hwnd(), SB_HORZ, 0, 7, FALSE));
    ASSERT_TRUE(GetScrollRange(window.hwnd(), SB_HORZ, &min, &max));
    EXPECT_EQ(max, 7);

    EXPECT_FALSE(GetScrollInfo(window.hwnd(), 7, &read));
    const HWND gone = window.hwnd();
    DestroyWindow(gone);
    EXPECT_FALSE(GetScrollInfo(gone, SB_VERT, &read));
    EXPECT_EQ(GetScrollPos(gone, SB_VERT), 0);
}
