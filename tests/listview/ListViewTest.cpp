#include "platform/listview/ListView.h"

#include "ViewTestSupport.h"

#include <cstdio>
#include <string>

using view_test::kListId;
using view_test::MousePoint;
using view_test::Parent;

namespace
{
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);

class ListViewTest : public testing::Test
{
protected:
    void Make(DWORD style, int width = 240, int height = 160)
    {
        ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | style, CRect(0, 0, width, height), &parent, kListId));
    }
    void Fill(int count)
    {
        for (int i = 0; i < count; ++i)
        {
            const std::string text = "item " + std::to_string(i);
            list.InsertItem(LVIF_TEXT | LVIF_PARAM, i, text.c_str(), 0, 0, 0, 100 + i);
        }
    }
    SCROLLINFO Vertical() const
    {
        SCROLLINFO info{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
        GetScrollInfo(list.GetSafeHwnd(), SB_VERT, &info);
        return info;
    }

    Parent parent;
    CListCtrl list;
};

TEST_F(ListViewTest, InsertAndSelectNotifyTheParentAndSingleSelectionKeepsOne)
{
    Make(LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS);
    list.InsertColumn(0, "Name", LVCFMT_LEFT, 120);
    Fill(3);
    EXPECT_EQ(parent.CountOf(LVN_INSERTITEM), 3);
    EXPECT_EQ(list.InsertItem(99, "last"), 3); // past the end: appended
    EXPECT_EQ(list.InsertItem(-1, "bad"), -1);

    parent.notes.clear();
    ASSERT_TRUE(list.SetItemState(1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED));
    ASSERT_EQ(parent.Codes(), (std::vector<UINT>{LVN_ITEMCHANGING, LVN_ITEMCHANGED}));
    EXPECT_EQ(parent.notes[1].item, 1);
    EXPECT_EQ(parent.notes[1].newState, LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_EQ(parent.notes[1].oldState, 0u);
    EXPECT_EQ(parent.notes[1].lParam, 101);

    list.SetItemState(2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_EQ(list.GetSelectedCount(), 1u);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 2);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_FOCUSED), 2);
    EXPECT_EQ(list.GetItemState(1, LVIS_SELECTED | LVIS_FOCUSED), 0u);

    // A parent that answers TRUE to LVN_ITEMCHANGING keeps the state as it is.
    parent.answer = [](NMHDR* h) { return h->code == LVN_ITEMCHANGING ? TRUE : FALSE; };
    EXPECT_FALSE(list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED));
    EXPECT_EQ(list.GetItemState(0, LVIS_SELECTED), 0u);
}

TEST_F(ListViewTest, ItemFieldsRoundTripAndOutOfRangeRequestsFail)
{
    Make(LVS_REPORT);
    list.InsertColumn(0, "Name", LVCFMT_LEFT, 100);
    list.InsertColumn(1, "Size", LVCFMT_RIGHT, 60);
    Fill(2);
    EXPECT_TRUE(list.SetItemText(1, 1, "12 KB"));
    EXPECT_EQ(list.GetItemText(1, 1), CString("12 KB"));
    EXPECT_EQ(list.GetItemText(1, 0), CString("item 1"));
    EXPECT_EQ(list.GetItemData(0), 100u);
    EXPECT_TRUE(list.SetItemData(0, 7));
    EXPECT_EQ(list.GetItemData(0), 7u);
    LVITEM item{};
    item.mask = LVIF_IMAGE;
    item.iItem = 5;
    EXPECT_FALSE(list.GetItem(&item));
    EXPECT_FALSE(list.DeleteItem(5));
    EXPECT_FALSE(list.SetItemState(9, LVIS_SELECTED, LVIS_SELECTED));
    RECT r{};
    EXPECT_FALSE(list.GetItemRect(9, &r, LVIR_BOUNDS));
    EXPECT_EQ(list.GetColumnWidth(1), 60);
}

TEST_F(ListViewTest, CallbackTextAndImageAreAskedAndKeptWhenTheParentSaysSo)
{
    Make(LVS_ICON);
    int asked = 0;
    parent.answer = [&](NMHDR* h) -> LRESULT
    {
        if (h->code != LVN_GETDISPINFOA)
            return 0;
        ++asked;
        auto* info = reinterpret_cast<NMLVDISPINFOA*>(h);
        if (info->item.mask & LVIF_TEXT)
            std::snprintf(info->item.pszText, static_cast<size_t>(info->item.cchTextMax), "asked");
        if (info->item.mask & LVIF_IMAGE)
        {
            info->item.iImage = 4;
            info->item.mask |= LVIF_DI_SETITEM;
        }
        return 0;
    };
    list.InsertItem(LVIF_TEXT | LVIF_IMAGE, 0, LPSTR_TEXTCALLBACK, 0, 0, I_IMAGECALLBACK, 0);
    EXPECT_EQ(list.GetItemText(0, 0), CString("asked"));
    EXPECT_EQ(list.GetItemText(0, 0), CString("asked"));
    EXPECT_EQ(asked, 2); // text without LVIF_DI_SETITEM is asked every time
    LVITEM item{};
    item.mask = LVIF_IMAGE;
    item.iItem = 0;
    ASSERT_TRUE(list.GetItem(&item));
    EXPECT_EQ(item.iImage, 4);
    ASSERT_TRUE(list.GetItem(&item));
    EXPECT_EQ(asked, 3); // the image was kept
}

TEST_F(ListViewTest, ReportViewScrollStateCountsRowsAndFollowsScrolling)
{
    Make(LVS_REPORT, 200, 100);
    list.InsertColumn(0, "Name", LVCFMT_LEFT, 150);
    Fill(50);
    const SCROLLINFO start = Vertical();
    EXPECT_EQ(start.nMin, 0);
    EXPECT_EQ(start.nMax, 49);
    ASSERT_GT(start.nPage, 0u);
    const int page = static_cast<int>(start.nPage);
    EXPECT_EQ(page, list.GetCountPerPage());
    EXPECT_EQ(start.nPos, 0);

    ASSERT_TRUE(list.EnsureVisible(40, FALSE));
    EXPECT_EQ(Vertical().nPos, 40 - page + 1);
    EXPECT_EQ(list.GetTopIndex(), 40 - page + 1);

    const int rowHeight = HIWORD(static_cast<DWORD>(list.SendMessage(
                              LVM_APPROXIMATEVIEWRECT, static_cast<WPARAM>(-1), MAKELPARAM(-1, -1)))) /
                          50;
    ASSERT_GT(rowHeight, 0);
    list.Scroll(CSize(0, -3 * rowHeight));
    EXPECT_EQ(Vertical().nPos, 40 - page + 1 - 3);

    list.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 10));
    EXPECT_EQ(list.GetTopIndex(), 10);
    list.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0));
    EXPECT_EQ(Vertical().nPos, 50 - page);
    list.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA));
    EXPECT_EQ(Vertical().nPos, 50 - page - 3);

    // The item under a point follows the scrolled rows.
    UINT flags = 0;
    EXPECT_EQ(list.HitTest(CPoint(5, rowHeight + 1), &flags), 50 - page - 3 + 1);
    EXPECT_NE(flags & LVHT_ONITEM, 0u);

    list.DeleteAllItems();
    EXPECT_EQ(Vertical().nMax, 0);
    EXPECT_EQ(Vertical().nPos, 0);
}

TEST_F(ListViewTest, IconViewLaysItemsOutInCellsAndScrollsInPixels)
{
    Make(LVS_ICON, 240, 160);
    list.SetIconSpacing(80, 70);
    Fill(10); // three columns, four rows of 70 pixels
    RECT r{};
    ASSERT_TRUE(list.GetItemRect(4, &r, LVIR_BOUNDS));
    EXPECT_EQ(CRect(r), CRect(80, 70, 160, 140));
    RECT icon{};
    RECT label{};
    list.GetItemRect(4, &icon, LVIR_ICON);
    list.GetItemRect(4, &label, LVIR_LABEL);
    EXPECT_EQ(icon.top, 70);
    EXPECT_EQ(label.top, icon.bottom);
    EXPECT_EQ(label.bottom, 140);

    UINT flags = 0;
    EXPECT_EQ(list.HitTest(CPoint(120, 80), &flags), 4);
    EXPECT_EQ(flags, LVHT_ONITEMICON);
    EXPECT_EQ(list.HitTest(CPoint(120, label.top + 1), &flags), 4);
    EXPECT_EQ(flags, LVHT_ONITEMLABEL);
    EXPECT_EQ(list.HitTest(CPoint(100, 150), &flags), 7);
    EXPECT_EQ(list.HitTest(CPoint(100, 220), &flags), -1); // the cell after the last item
    EXPECT_EQ(list.HitTest(CPoint(5, 500), &flags), -1);
    EXPECT_EQ(flags, LVHT_BELOW);

    const SCROLLINFO v = Vertical();
    EXPECT_EQ(v.nMax, 4 * 70 - 1);
    EXPECT_EQ(v.nPage, 160u);
    const DWORD approx = static_cast<DWORD>(
        list.SendMessage(LVM_APPROXIMATEVIEWRECT, static_cast<WPARAM>(-1), MAKELPARAM(-1, -1)));
    EXPECT_EQ(LOWORD(approx), 240);
    EXPECT_EQ(HIWORD(approx), 280);

    list.Scroll(CSize(0, 50));
    EXPECT_EQ(Vertical().nPos, 50);
    list.Scroll(CSize(0, 1000)); // clamped to the last page
    EXPECT_EQ(Vertical().nPos, 280 - 160);
    ASSERT_TRUE(list.EnsureVisible(0, FALSE));
    EXPECT_EQ(Vertical().nPos, 0);
    EXPECT_EQ(list.GetNextItem(4, LVNI_BELOW), 7);
    EXPECT_EQ(list.GetNextItem(4, LVNI_TORIGHT), 5);
}

TEST_F(ListViewTest, MouseSelectsClicksAndStartsOneDragPerPress)
{
    Make(LVS_ICON | LVS_SHOWSELALWAYS, 240, 160);
    list.SetIconSpacing(80, 70);
    Fill(6);
    list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MousePoint(40, 10));
    list.SendMessage(WM_LBUTTONUP, 0, MousePoint(40, 10));
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 0);
    EXPECT_EQ(parent.CountOf(NM_CLICK), 1);

    list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, MousePoint(200, 10));
    list.SendMessage(WM_LBUTTONUP, MK_CONTROL, MousePoint(200, 10));
    EXPECT_EQ(list.GetSelectedCount(), 2u);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_FOCUSED), 2);

    list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MousePoint(120, 80));
    list.SendMessage(WM_LBUTTONUP, MK_SHIFT, MousePoint(120, 80));
    EXPECT_EQ(list.GetSelectedCount(), 3u); // 2..4 from the mark
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 2);

    list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MousePoint(230, 150)); // empty space
    list.SendMessage(WM_LBUTTONUP, 0, MousePoint(230, 150));
    EXPECT_EQ(list.GetSelectedCount(), 0u);

    parent.notes.clear();
    list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MousePoint(120, 10));
    list.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MousePoint(122, 11)); // within the drag distance
    list.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MousePoint(140, 40));
    list.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MousePoint(160, 60));
    list.SendMessage(WM_LBUTTONUP, 0, MousePoint(160, 60));
    EXPECT_EQ(parent.CountOf(LVN_BEGINDRAG), 1);
    EXPECT_EQ(parent.CountOf(NM_CLICK), 0); // a drag is no click
    for (const auto& n : parent.notes)
    {
        if (n.code == LVN_BEGINDRAG)
        {
            EXPECT_EQ(n.item, 1);
        }
    }

    parent.notes.clear();
    list.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MousePoint(120, 10));
    ASSERT_EQ(parent.CountOf(NM_DBLCLK), 1);
    EXPECT_EQ(parent.CountOf(LVN_ITEMACTIVATE), 1);
}

TEST_F(ListViewTest, ArrowKeysMoveTheFocusThroughTheGrid)
{
    Make(LVS_ICON, 240, 160);
    list.SetIconSpacing(80, 70);
    Fill(8);
    list.SetItemState(1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    list.SendMessage(WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_FOCUSED), 4);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 4);
    EXPECT_EQ(list.GetSelectedCount(), 1u);
    list.SendMessage(WM_KEYDOWN, VK_RIGHT);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_FOCUSED), 5);
    list.SendMessage(WM_KEYDOWN, VK_END);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_FOCUSED), 7);
    list.SendMessage(WM_KEYDOWN, VK_DOWN); // stays on the last item
    EXPECT_EQ(list.GetNextItem(-1, LVNI_FOCUSED), 7);
    list.SendMessage(WM_KEYDOWN, VK_HOME);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 0);
    EXPECT_EQ(parent.CountOf(LVN_KEYDOWN), 5);
}

TEST_F(ListViewTest, DeletionsReportEveryItemUnlessTheParentDeclines)
{
    Make(LVS_ICON);
    Fill(4);
    list.SetItemState(3, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    parent.notes.clear();
    ASSERT_TRUE(list.DeleteItem(1));
    ASSERT_EQ(parent.CountOf(LVN_DELETEITEM), 1);
    EXPECT_EQ(parent.notes.back().lParam, 101);
    EXPECT_EQ(list.GetNextItem(-1, LVNI_FOCUSED), 2); // the state moves with its item
    parent.notes.clear();
    ASSERT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(parent.CountOf(LVN_DELETEALLITEMS), 1);
    EXPECT_EQ(parent.CountOf(LVN_DELETEITEM), 3);

    Fill(3);
    parent.notes.clear();
    parent.answer = [](NMHDR* h) { return h->code == LVN_DELETEALLITEMS ? TRUE : FALSE; };
    list.DeleteAllItems();
    EXPECT_EQ(parent.CountOf(LVN_DELETEITEM), 0);
    EXPECT_EQ(list.GetItemCount(), 0);

    // Items still there when the window goes are reported too, so their owners can free their data.
    parent.answer = nullptr;
    Fill(2);
    parent.notes.clear();
    list.DestroyWindow();
    EXPECT_EQ(parent.CountOf(LVN_DELETEITEM), 2);
}

TEST_F(ListViewTest, DeletingASelectedItemReportsItsSelectionLostFirst)
{
    Make(LVS_ICON);
    Fill(3);
    list.SetItemState(1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    parent.notes.clear();
    ASSERT_TRUE(list.DeleteItem(1));
    ASSERT_EQ(parent.Codes(), (std::vector<UINT>{LVN_ITEMCHANGED, LVN_DELETEITEM}));
    const auto& lost = parent.notes.front();
    EXPECT_EQ(lost.item, 1);
    EXPECT_EQ(lost.lParam, 101);
    EXPECT_EQ(lost.oldState & (LVIS_SELECTED | LVIS_FOCUSED),
              static_cast<UINT>(LVIS_SELECTED | LVIS_FOCUSED));
    EXPECT_EQ(lost.newState & (LVIS_SELECTED | LVIS_FOCUSED), 0u);
    EXPECT_EQ(list.GetSelectedCount(), 0u);

    // An item that was neither selected nor focused goes with its deletion notice alone.
    parent.notes.clear();
    ASSERT_TRUE(list.DeleteItem(0));
    EXPECT_EQ(parent.Codes(), std::vector<UINT>{LVN_DELETEITEM});

    // Emptying the list tells of each selection lost, before the items go.
    Fill(3);
    list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    list.SetItemState(2, LVIS_SELECTED, LVIS_SELECTED);
    parent.notes.clear();
    ASSERT_TRUE(list.DeleteAllItems());
    ASSERT_EQ(parent.CountOf(LVN_ITEMCHANGED), 2);
    EXPECT_EQ(parent.notes[0].code, static_cast<UINT>(LVN_ITEMCHANGED));
    EXPECT_EQ(parent.notes[0].item, 0);
    EXPECT_EQ(parent.notes[1].item, 2);
    EXPECT_EQ(parent.notes[1].newState & LVIS_SELECTED, 0u);
    EXPECT_EQ(parent.notes[2].code, static_cast<UINT>(LVN_DELETEALLITEMS));
}

TEST_F(ListViewTest, HoverAsksForAnInfoTipOnlyWhenTheStyleWantsOne)
{
    Make(LVS_ICON, 240, 160);
    list.SetIconSpacing(80, 70);
    Fill(3);
    list.SendMessage(WM_MOUSEHOVER, 0, MousePoint(120, 10));
    EXPECT_EQ(parent.CountOf(NM_HOVER), 1);
    EXPECT_EQ(parent.CountOf(LVN_GETINFOTIPA), 0);
    list.SetExtendedStyle(LVS_EX_INFOTIP);
    list.SendMessage(WM_MOUSEHOVER, 0, MousePoint(120, 10));
    ASSERT_EQ(parent.CountOf(LVN_GETINFOTIPA), 1);
    EXPECT_EQ(parent.notes.back().item, 1);
    list.SendMessage(WM_MOUSEHOVER, 0, MousePoint(230, 150)); // over no item
    EXPECT_EQ(parent.CountOf(LVN_GETINFOTIPA), 1);
}

int CALLBACK Descending(LPARAM a, LPARAM b, LPARAM)
{
    return static_cast<int>(b - a);
}

TEST_F(ListViewTest, SortAndFindUseTheItemData)
{
    Make(LVS_ICON);
    Fill(4);
    list.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    ASSERT_TRUE(list.SortItems(Descending, 0));
    EXPECT_EQ(list.GetItemText(0, 0), CString("item 3"));
    EXPECT_EQ(list.GetNextItem(-1, LVNI_SELECTED), 3); // the selection stays with its item
    LVFINDINFO find{};
    find.flags = LVFI_PARAM;
    find.lParam = 102;
    EXPECT_EQ(list.FindItem(&find), 1);
    find.flags = LVFI_STRING | LVFI_PARTIAL;
    find.psz = "ITEM 0";
    EXPECT_EQ(list.FindItem(&find), 3);
}

TEST_F(ListViewTest, CustomDrawLetsTheParentPaintItemsAndDefaultDrawingShowsImages)
{
    Make(LVS_ICON | LVS_SHAREIMAGELISTS, 240, 160);
    list.SetIconSpacing(80, 70);
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR32, 1, 1));
    HBITMAP red = view_test::SolidBitmap(16, 16, kRed);
    ASSERT_EQ(ImageList_Add(images, red, nullptr), 0);
    DeleteObject(red);
    list.SetImageList(&images, LVSIL_NORMAL);
    list.InsertItem(0, "", 0);
    list.InsertItem(1, "", 0);
    parent.answer = [&](NMHDR* h) -> LRESULT
    {
        if (h->code != NM_CUSTOMDRAW)
            return 0;
        auto* cd = reinterpret_cast<NMLVCUSTOMDRAW*>(h);
        if (cd->nmcd.dwDrawStage == CDDS_PREPAINT)
            return CDRF_NOTIFYITEMDRAW;
        if (cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT && cd->nmcd.dwItemSpec == 1)
        {
            HBRUSH green = CreateSolidBrush(kGreen);
            FillRect(cd->nmcd.hdc, &cd->nmcd.rc, green);
            DeleteObject(green);
            return CDRF_SKIPDEFAULT;
        }
        return CDRF_DODEFAULT;
    };
    list.Invalidate();
    const QImage image = view_test::Grab(list.GetSafeHwnd());
    RECT icon{};
    list.GetItemRect(0, &icon, LVIR_ICON);
    const int cx = (icon.left + icon.right) / 2;
    const int cy = (icon.top + icon.bottom) / 2;
    EXPECT_EQ(view_test::Pixel(image, cx, cy), kRed);
    EXPECT_EQ(view_test::Pixel(image, icon.left + 2, cy), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(view_test::Pixel(image, 120, 30), kGreen);
    EXPECT_GE(parent.CountOf(NM_CUSTOMDRAW), 3);
}

TEST_F(ListViewTest, TheControlDestroysItsImageListsUnlessTheyAreShared)
{
    Make(LVS_ICON);
    HIMAGELIST owned = ImageList_Create(8, 8, ILC_COLOR32, 0, 1);
    list.SetImageList(owned, LVSIL_NORMAL);
    list.SetImageList(owned, LVSIL_SMALL); // the same list twice is destroyed once
    EXPECT_EQ(list.GetImageList(LVSIL_NORMAL)->GetSafeHandle(), owned);
    list.DestroyWindow(); // the sanitizer build catches a double free or a leak here
    SUCCEED();
}
} // namespace
