#include "shared/faldra/SkinListCtrl.h"

#include "FaldraTestSupport.h"

#include "shared/exceptions/Exceptions.h"
#include "shared/faldra/SkinTreeCtrl.h"

#include <cstdint>
#include <string>

using faldra::CSkinListCtrl;
using faldra::CSkinScrollbar;
using faldra::CSkinTreeCtrl;
using faldra::tagSCROLLSTARTINFO;
using faldra_test::Pixel;

namespace
{
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);

/// The start information the program passes: 16-pixel bars, 23-pixel arrows, ids 11 and 10.
tagSCROLLSTARTINFO g_bars[2] = {{16, 23, 23, 11}, {16, 23, 23, 10}};

CRect BarRect(CSkinScrollbar& bar, CWnd& parent)
{
    CRect rect;
    bar.GetWindowRect(&rect);
    parent.ScreenToClient(&rect);
    return rect;
}

class SkinViewTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), "parent", WS_POPUP | WS_VISIBLE,
                                    CRect(0, 0, 400, 400), nullptr, 0));
    }
    void TearDown() override { parent.DestroyWindow(); }

    void MakeList(DWORD style)
    {
        ASSERT_TRUE(
            list.Create(WS_CHILD | WS_VISIBLE | WS_VSCROLL | style, CRect(10, 20, 210, 220), &parent, 1));
        list.InitControl(g_bars);
    }
    void Fill(int count)
    {
        for (int i = 0; i < count; ++i)
            list.InsertItem(i, ("item " + std::to_string(i)).c_str(), 0);
    }
    SCROLLINFO Vertical(HWND hwnd) const
    {
        SCROLLINFO info{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
        GetScrollInfo(hwnd, SB_VERT, &info);
        return info;
    }

    CWnd parent;
    CSkinListCtrl list;
};

TEST_F(SkinViewTest, TheListsBarsLieBesideItAndOnlyTheVerticalOneShows)
{
    CSkinListCtrl unattached;
    EXPECT_THROW_MESSAGE(
        unattached.InitControl(g_bars), CInvalidObjectException,
        ".\\SkinListCtrl[faldra::CSkinListCtrl::InitControl]: List control window not yet created");
    MakeList(LVS_REPORT);
    CSkinScrollbar& horizontal = list.GetScrollBarCtl(0);
    CSkinScrollbar& vertical = list.GetScrollBarCtl(1);
    EXPECT_EQ(BarRect(horizontal, parent), CRect(10, 220, 210, 236));
    EXPECT_EQ(BarRect(vertical, parent), CRect(210, 20, 226, 220));
    EXPECT_EQ(horizontal.GetDlgCtrlID(), 11);
    EXPECT_EQ(vertical.GetDlgCtrlID(), 10);
    EXPECT_EQ(horizontal.GetStyle() & (WS_VISIBLE | SS_NOTIFY), 0u);
    EXPECT_EQ(vertical.GetStyle() & (WS_VISIBLE | SS_NOTIFY | SBS_VERT), WS_VISIBLE | SS_NOTIFY | SBS_VERT);
    EXPECT_TRUE(vertical.IsAutoSet());
    EXPECT_EQ(vertical.GetBuddy(), &list);
    EXPECT_EQ(list.GetStyle() & WS_VSCROLL, 0u); // its own bars are gone

    EXPECT_TRUE(list.ShowScrollBar(0, SW_SHOW));
    EXPECT_EQ(horizontal.GetStyle() & (WS_VISIBLE | SS_NOTIFY), WS_VISIBLE | SS_NOTIFY);
    EXPECT_FALSE(list.ShowScrollBar(0, SW_MAXIMIZE));
    EXPECT_THROW_MESSAGE(
        list.GetScrollBarCtl(2), CInvalidArgumentException,
        ".\\SkinListCtrl[faldra::CSkinListCtrl::GetScrollBarCtl]: Invalid scrollbar id code");
    EXPECT_THROW_MESSAGE(list.ShowScrollBar(-1, SW_SHOW), CInvalidArgumentException,
                         ".\\SkinListCtrl[faldra::CSkinListCtrl::ShowScrollBar]: Invalid scrollbar id code");
}

struct WheelCase
{
    const char* name;
    DWORD view;
    int delta;
    int expected;
};

class SkinListWheelTest : public SkinViewTest, public testing::WithParamInterface<WheelCase>
{
};

TEST_P(SkinListWheelTest, OneNotchMovesRowsOrPixelsFromPositionFive)
{
    MakeList(GetParam().view);
    list.SetIconSpacing(100, 40);
    Fill(60);
    const int rowHeight = HIWORD(static_cast<DWORD>(list.SendMessage(
                              LVM_APPROXIMATEVIEWRECT, static_cast<WPARAM>(-1), MAKELPARAM(-1, -1)))) /
                          (GetParam().view == LVS_REPORT ? 60 : 1);
    list.Scroll(CSize(0, GetParam().view == LVS_REPORT ? 5 * rowHeight : 5));
    ASSERT_EQ(GetScrollPos(list.GetSafeHwnd(), SB_VERT), 5);
    EXPECT_TRUE(list.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(GetParam().delta))));
    EXPECT_EQ(GetScrollPos(list.GetSafeHwnd(), SB_VERT), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Views, SkinListWheelTest,
                         testing::Values(WheelCase{"ReportUp", LVS_REPORT, 120, 3},
                                         WheelCase{"ReportDown", LVS_REPORT, -120, 7},
                                         WheelCase{"IconUpStopsAtTheTop", LVS_ICON, 120, 0},
                                         WheelCase{"IconDown", LVS_ICON, -120, 25}),
                         [](const testing::TestParamInfo<WheelCase>& info) { return info.param.name; });

TEST_F(SkinViewTest, DraggingTheSkinnedBoxScrollsTheListAndTheBarMirrorsIt)
{
    MakeList(LVS_REPORT);
    Fill(60);
    CSkinScrollbar& vertical = list.GetScrollBarCtl(1);
    SCROLLINFO mirrored{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
    ASSERT_TRUE(vertical.GetScrollInfo(&mirrored));
    EXPECT_EQ(mirrored.nMax, 59);
    EXPECT_EQ(mirrored.nPage, Vertical(list.GetSafeHwnd()).nPage);

    vertical.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 26)); // into the box below the arrow
    vertical.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(8, 100));
    const int tracked = vertical.GetDynamicPosition();
    ASSERT_GT(tracked, 0);
    EXPECT_EQ(GetScrollPos(list.GetSafeHwnd(), SB_VERT), tracked); // the list follows the box
    vertical.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(8, 100));
    EXPECT_EQ(vertical.GetScrollPos(), GetScrollPos(list.GetSafeHwnd(), SB_VERT));

    // A thumb notification with no items to measure scrolls nothing and fails nothing.
    list.DeleteAllItems();
    list.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 4));
    EXPECT_EQ(GetScrollPos(list.GetSafeHwnd(), SB_VERT), 0);
}

TEST_F(SkinViewTest, DeletingDownToWhatFitsLeavesAFullBoxState)
{
    MakeList(LVS_REPORT);
    Fill(40);
    list.EnsureVisible(39, FALSE);
    while (list.GetItemCount() > 3)
        list.DeleteItem(0);
    const SCROLLINFO v = Vertical(list.GetSafeHwnd());
    EXPECT_EQ(v.nMin, 0);
    EXPECT_EQ(v.nMax, 0);
    EXPECT_EQ(v.nPage, 1u);
    EXPECT_EQ(v.nPos, 0);
}

TEST_F(SkinViewTest, IconItemsAreCentredFramedWhenSelectedAndLabelsFilled)
{
    MakeList(LVS_ICON | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS);
    list.SetIconSpacing(100, 80);
    CImageList images;
    ASSERT_TRUE(images.Create(32, 32, ILC_COLOR32, 1, 1));
    HBITMAP red = faldra_test::SolidBitmap(32, 32, kRed);
    ImageList_Add(images, red, nullptr);
    DeleteObject(red);
    list.SetImageList(&images, LVSIL_NORMAL);
    list.SetHighlightColor(kGreen);
    list.InsertItem(0, "plain", 0);
    list.InsertItem(1, "", 0);
    list.InsertItem(2, "chosen", 0);
    list.SetItemState(1, LVIS_SELECTED, LVIS_SELECTED);
    list.SetItemState(2, LVIS_SELECTED, LVIS_SELECTED);
    list.Invalidate();
    const QImage image = faldra_test::Grab(list.GetSafeHwnd());

    CRect icon;
    list.GetItemRect(0, &icon, LVIR_ICON);
    const int x = icon.left + (icon.Width() - 32) / 2;
    const int y = icon.top + (icon.Height() - 32) / 2;
    EXPECT_EQ(Pixel(image, x + 16, y + 16), kRed);
    EXPECT_EQ(Pixel(image, x + 1, y + 1), kRed); // no frame around an unselected icon
    CRect label;
    list.GetItemRect(0, &label, LVIR_LABEL);
    EXPECT_EQ(Pixel(image, label.left + 1, label.top + 1), kWhite);

    // The selected icon without text: framed, its label not filled.
    CRect icon1;
    list.GetItemRect(1, &icon1, LVIR_ICON);
    const int x1 = icon1.left + (icon1.Width() - 32) / 2;
    const int y1 = icon1.top + (icon1.Height() - 32) / 2;
    EXPECT_EQ(Pixel(image, x1 + 1, y1 + 1), kGreen);
    EXPECT_EQ(Pixel(image, x1 + 16, y1 + 16), kRed);
    CRect label1;
    list.GetItemRect(1, &label1, LVIR_LABEL);
    EXPECT_NE(Pixel(image, label1.left + 1, label1.top + 1), kGreen);

    // The selected icon with text: its label is filled in the highlight, cut to 15 pixels.
    CRect label2;
    list.GetItemRect(2, &label2, LVIR_LABEL);
    EXPECT_EQ(Pixel(image, label2.left + 1, label2.top + 1), kGreen);
    EXPECT_NE(Pixel(image, label2.left + 1, label2.top + 16), kGreen);
}

TEST_F(SkinViewTest, WithoutAnImageListTheListDrawsItsItemsItself)
{
    MakeList(LVS_ICON | LVS_SHOWSELALWAYS);
    list.SetHighlightColor(kGreen);
    list.InsertItem(0, "alone", 0);
    list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    list.Invalidate();
    const QImage image = faldra_test::Grab(list.GetSafeHwnd());
    CRect label;
    list.GetItemRect(0, &label, LVIR_LABEL);
    // The list's own selection without the focus, not the skin's highlight.
    EXPECT_EQ(Pixel(image, label.left + 1, label.top + 1), static_cast<COLORREF>(GetSysColor(COLOR_BTNFACE)));
}

TEST_F(SkinViewTest, TheTreesBarsBothShowAndTheWheelAndDragMoveItByRows)
{
    CSkinTreeCtrl tree;
    EXPECT_THROW_MESSAGE(
        tree.InitControl(g_bars), CInvalidObjectException,
        ".\\SkinTreeCtrl[faldra::CSkinTreeCtrl::InitControl]: Tree control window not yet created");
    ASSERT_TRUE(tree.Create(WS_CHILD | WS_VISIBLE | WS_HSCROLL | TVS_HASBUTTONS, CRect(10, 20, 210, 220),
                            &parent, 2));
    tree.InitControl(g_bars);
    EXPECT_EQ(BarRect(tree.GetScrollBarCtl(0), parent), CRect(10, 220, 210, 236));
    EXPECT_EQ(BarRect(tree.GetScrollBarCtl(1), parent), CRect(210, 20, 226, 220));
    EXPECT_NE(tree.GetScrollBarCtl(0).GetStyle() & WS_VISIBLE, 0u);
    EXPECT_NE(tree.GetScrollBarCtl(1).GetStyle() & WS_VISIBLE, 0u);
    EXPECT_THROW_MESSAGE(
        tree.GetScrollBarCtl(5), CInvalidArgumentException,
        ".\\SkinTreeCtrl[faldra::CSkinTreeCtrl::GetScrollBarCtl]: Invalid scrollbar id code");

    HTREEITEM folder = tree.InsertItem("folder");
    for (int i = 0; i < 40; ++i)
        tree.InsertItem(("file " + std::to_string(i)).c_str(), folder);
    tree.Expand(folder, TVE_EXPAND);
    SCROLLINFO mirrored{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
    ASSERT_TRUE(tree.GetScrollBarCtl(1).GetScrollInfo(&mirrored));
    EXPECT_EQ(mirrored.nMax, 40);

    tree.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)));
    EXPECT_EQ(GetScrollPos(tree.GetSafeHwnd(), SB_VERT), 1);
    tree.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, 120 * 3)); // never above the top
    EXPECT_EQ(GetScrollPos(tree.GetSafeHwnd(), SB_VERT), 0);
    tree.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, 12));
    EXPECT_EQ(GetScrollPos(tree.GetSafeHwnd(), SB_VERT), 12);
    EXPECT_EQ(tree.GetScrollBarCtl(1).GetScrollPos(), 12);

    // Dragging the skinned box moves the tree while the box moves.
    tree.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_TOP, 0));
    faldra_test::Grab(tree.GetSafeHwnd()); // the tree's repaint lays its bars out again
    CSkinScrollbar& vertical = tree.GetScrollBarCtl(1);
    vertical.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 26));
    vertical.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(8, 120));
    ASSERT_GT(vertical.GetDynamicPosition(), 0);
    EXPECT_EQ(GetScrollPos(tree.GetSafeHwnd(), SB_VERT), vertical.GetDynamicPosition());
    vertical.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(8, 120));
}
} // namespace
