#include "platform/listview/TreeView.h"

#include "ViewTestSupport.h"

using view_test::kTreeId;
using view_test::MousePoint;
using view_test::Parent;

namespace
{
class TreeViewTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tree.Create(WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                                    TVS_SHOWSELALWAYS,
                                CRect(0, 0, 200, 100), &parent, kTreeId));
    }
    HTREEITEM Add(const char* text, LPARAM data, HTREEITEM under = TVI_ROOT, HTREEITEM after = TVI_LAST)
    {
        return tree.InsertItem(TVIF_TEXT | TVIF_PARAM, text, 0, 0, 0, 0, data, under, after);
    }
    SCROLLINFO Vertical() const
    {
        SCROLLINFO info{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
        GetScrollInfo(tree.GetSafeHwnd(), SB_VERT, &info);
        return info;
    }
    int Row() const { return tree.GetItemHeight(); }

    Parent parent;
    CTreeCtrl tree;
};

TEST_F(TreeViewTest, ItemsLinkAsSiblingsChildrenAndParents)
{
    HTREEITEM b = Add("b", 2);
    HTREEITEM a = Add("a", 1, TVI_ROOT, TVI_FIRST);
    HTREEITEM c = Add("c", 3, TVI_ROOT, b);
    HTREEITEM child = Add("child", 10, b);
    HTREEITEM sorted = Add("B2", 4, TVI_ROOT, TVI_SORT);
    EXPECT_EQ(tree.GetRootItem(), a);
    EXPECT_EQ(tree.GetNextSiblingItem(a), b);
    EXPECT_EQ(tree.GetNextSiblingItem(b), sorted);
    EXPECT_EQ(tree.GetNextSiblingItem(sorted), c);
    EXPECT_EQ(tree.GetPrevSiblingItem(a), nullptr);
    EXPECT_EQ(tree.GetChildItem(b), child);
    EXPECT_EQ(tree.GetParentItem(child), b);
    EXPECT_EQ(tree.GetParentItem(b), nullptr);
    EXPECT_EQ(tree.GetCount(), 5u);
    EXPECT_TRUE(tree.ItemHasChildren(b));
    EXPECT_EQ(tree.GetItemText(child), CString("child"));
    EXPECT_EQ(tree.GetItemData(c), 3u);
    ASSERT_TRUE(tree.DeleteItem(c));
    EXPECT_EQ(tree.InsertItem("orphan", c), nullptr); // under an item that is gone
}

TEST_F(TreeViewTest, ExpandNotifiesUntilExpandedOnceAndAParentCanVeto)
{
    HTREEITEM folder = Add("folder", 1);
    Add("inside", 2, folder);
    EXPECT_EQ(Vertical().nMax, 0); // one visible row
    parent.notes.clear();
    ASSERT_TRUE(tree.Expand(folder, TVE_EXPAND));
    EXPECT_EQ(parent.Codes(), (std::vector<UINT>{TVN_ITEMEXPANDINGA, TVN_ITEMEXPANDEDA}));
    EXPECT_EQ(parent.notes[0].action, TVE_EXPAND);
    EXPECT_EQ(parent.notes[0].lParam, 1);
    EXPECT_NE(tree.GetItemState(folder, TVIS_EXPANDED), 0u);
    EXPECT_EQ(Vertical().nMax, 1);

    parent.notes.clear();
    tree.Expand(folder, TVE_COLLAPSE);
    tree.Expand(folder, TVE_EXPAND);
    EXPECT_TRUE(parent.notes.empty()); // once expanded, TVM_EXPAND is silent

    // The mouse always asks: here the parent refuses.
    tree.Expand(folder, TVE_COLLAPSE);
    parent.answer = [](NMHDR* h) { return h->code == TVN_ITEMEXPANDINGA ? TRUE : FALSE; };
    RECT r{};
    ASSERT_TRUE(tree.GetItemRect(folder, &r, TRUE));
    UINT flags = 0;
    const int buttonX = r.left - tree.GetIndent() / 2 - 2;
    EXPECT_EQ(tree.HitTest(CPoint(buttonX, r.top + 2), &flags), folder);
    EXPECT_EQ(flags, TVHT_ONITEMBUTTON);
    tree.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MousePoint(buttonX, r.top + 2));
    EXPECT_EQ(parent.CountOf(TVN_ITEMEXPANDINGA), 1);
    EXPECT_EQ(tree.GetItemState(folder, TVIS_EXPANDED), 0u);

    HTREEITEM leaf = Add("leaf", 3);
    EXPECT_FALSE(tree.Expand(leaf, TVE_EXPAND)); // nothing to show
}

TEST_F(TreeViewTest, SelectingOpensTheWayNotifiesAndDeletingMovesTheSelection)
{
    HTREEITEM top = Add("top", 1);
    HTREEITEM mid = Add("mid", 2, top);
    HTREEITEM leaf = Add("leaf", 3, mid);
    HTREEITEM other = Add("other", 4);
    parent.notes.clear();
    ASSERT_TRUE(tree.SelectItem(leaf));
    EXPECT_EQ(tree.GetSelectedItem(), leaf);
    EXPECT_NE(tree.GetItemState(top, TVIS_EXPANDED), 0u);
    EXPECT_NE(tree.GetItemState(mid, TVIS_EXPANDED), 0u);
    EXPECT_EQ(parent.CountOf(TVN_SELCHANGINGA), 1);
    ASSERT_EQ(parent.CountOf(TVN_SELCHANGEDA), 1);
    EXPECT_EQ(parent.notes.back().lParam, 3);

    // Collapsing an ancestor of the selection selects the collapsed item.
    tree.Expand(mid, TVE_COLLAPSE);
    EXPECT_EQ(tree.GetSelectedItem(), mid);

    parent.notes.clear();
    ASSERT_TRUE(tree.DeleteItem(mid));
    EXPECT_EQ(parent.CountOf(TVN_DELETEITEMA), 2); // the item and its child
    EXPECT_EQ(tree.GetSelectedItem(), top);
    EXPECT_FALSE(tree.DeleteItem(mid)); // stale handle
    EXPECT_FALSE(tree.SelectItem(leaf));
    EXPECT_EQ(tree.GetItemText(leaf), CString(""));

    parent.answer = [](NMHDR* h) { return h->code == TVN_SELCHANGINGA ? TRUE : FALSE; };
    EXPECT_FALSE(tree.SelectItem(other));
    EXPECT_EQ(tree.GetSelectedItem(), top);
}

TEST_F(TreeViewTest, ScrollStateCountsVisibleRowsAndFollowsTheView)
{
    HTREEITEM folder = Add("folder", 0);
    for (int i = 0; i < 30; ++i)
        Add("file", i, folder);
    tree.Expand(folder, TVE_EXPAND);
    const SCROLLINFO v = Vertical();
    EXPECT_EQ(v.nMax, 30);
    const int page = static_cast<int>(v.nPage);
    EXPECT_EQ(page, 100 / Row());
    EXPECT_EQ(static_cast<int>(tree.GetVisibleCount()), page);

    tree.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 5));
    EXPECT_EQ(Vertical().nPos, 5);
    HTREEITEM first = tree.GetFirstVisibleItem();
    EXPECT_EQ(tree.GetItemData(first), 4u); // row 5: the folder is row 0
    tree.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0));
    EXPECT_EQ(Vertical().nPos, 6);
    tree.SendMessage(WM_VSCROLL, MAKEWPARAM(SB_BOTTOM, 0));
    EXPECT_EQ(Vertical().nPos, 31 - page);

    UINT flags = 0;
    HTREEITEM hit = tree.HitTest(CPoint(60, Row() + 1), &flags);
    EXPECT_EQ(tree.GetItemData(hit), static_cast<DWORD_PTR>(31 - page + 1 - 1));

    tree.EnsureVisible(folder);
    EXPECT_EQ(Vertical().nPos, 0);
    tree.Expand(folder, TVE_COLLAPSE);
    EXPECT_EQ(Vertical().nMax, 0);
}

TEST_F(TreeViewTest, LongTextsGiveAHorizontalRangeThatScrollsInPixels)
{
    HTREEITEM item = Add("a text far too long to fit into a tree view that is two hundred pixels wide", 1);
    SCROLLINFO h{sizeof(SCROLLINFO), SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(tree.GetSafeHwnd(), SB_HORZ, &h);
    EXPECT_GT(h.nMax, 200);
    EXPECT_EQ(h.nPage, 200u);
    RECT before{};
    tree.GetItemRect(item, &before, TRUE);
    tree.SendMessage(WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 30));
    RECT after{};
    tree.GetItemRect(item, &after, TRUE);
    EXPECT_EQ(after.left, before.left - 30);
    tree.SendMessage(WM_HSCROLL, MAKEWPARAM(SB_BOTTOM, 0));
    GetScrollInfo(tree.GetSafeHwnd(), SB_HORZ, &h);
    EXPECT_EQ(h.nPos, h.nMax - 200 + 1);
}

TEST_F(TreeViewTest, ItemImagesShowTheirOverlay)
{
    constexpr COLORREF kRed = RGB(255, 0, 0);
    constexpr COLORREF kBlue = RGB(0, 0, 255);
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 1));
    HBITMAP red = view_test::SolidBitmap(16, 16, kRed);
    ImageList_Add(images, red, nullptr);
    DeleteObject(red);
    HBITMAP blue = view_test::SolidBitmap(16, 16, kBlue);
    ImageList_Add(images, blue, nullptr);
    DeleteObject(blue);
    images.SetOverlayImage(1, 2);
    tree.SetImageList(&images, TVSIL_NORMAL);
    HTREEITEM plain = Add("plain", 1);
    HTREEITEM linked = Add("linked", 2);
    tree.SetItemState(linked, INDEXTOOVERLAYMASK(2), TVIS_OVERLAYMASK);
    const QImage image = view_test::Grab(tree.GetSafeHwnd());
    RECT r{};
    tree.GetItemRect(plain, &r, TRUE);
    const int x = r.left - 19 + 8;
    EXPECT_EQ(view_test::Pixel(image, x, (r.top + r.bottom) / 2), kRed);
    tree.GetItemRect(linked, &r, TRUE);
    EXPECT_EQ(view_test::Pixel(image, x, (r.top + r.bottom) / 2), kBlue);
    tree.SetImageList(nullptr, TVSIL_NORMAL);
}

TEST_F(TreeViewTest, KeyboardWalksExpandsAndCollapses)
{
    HTREEITEM folder = Add("folder", 1);
    HTREEITEM inside = Add("inside", 2, folder);
    HTREEITEM next = Add("next", 3);
    tree.SelectItem(folder);
    tree.SendMessage(WM_KEYDOWN, VK_RIGHT);
    EXPECT_NE(tree.GetItemState(folder, TVIS_EXPANDED), 0u);
    tree.SendMessage(WM_KEYDOWN, VK_RIGHT);
    EXPECT_EQ(tree.GetSelectedItem(), inside);
    tree.SendMessage(WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ(tree.GetSelectedItem(), next);
    tree.SendMessage(WM_KEYDOWN, VK_UP);
    tree.SendMessage(WM_KEYDOWN, VK_LEFT);
    EXPECT_EQ(tree.GetSelectedItem(), folder);
    tree.SendMessage(WM_KEYDOWN, VK_LEFT);
    EXPECT_EQ(tree.GetItemState(folder, TVIS_EXPANDED), 0u);
    tree.SendMessage(WM_KEYDOWN, VK_END);
    EXPECT_EQ(tree.GetSelectedItem(), next);
    EXPECT_EQ(parent.CountOf(TVN_KEYDOWN), 7);
}

TEST_F(TreeViewTest, MouseSelectsClicksAndDrags)
{
    HTREEITEM first = Add("first", 1);
    HTREEITEM second = Add("second", 2);
    RECT r{};
    ASSERT_TRUE(tree.GetItemRect(second, &r, TRUE));
    tree.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MousePoint(r.left + 3, r.top + 2));
    tree.SendMessage(WM_LBUTTONUP, 0, MousePoint(r.left + 3, r.top + 2));
    EXPECT_EQ(tree.GetSelectedItem(), second);
    EXPECT_EQ(parent.CountOf(NM_CLICK), 1);

    parent.notes.clear();
    ASSERT_TRUE(tree.GetItemRect(first, &r, TRUE));
    tree.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MousePoint(r.left + 3, r.top + 2));
    tree.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MousePoint(r.left + 30, r.top + 40));
    tree.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MousePoint(r.left + 40, r.top + 50));
    tree.SendMessage(WM_LBUTTONUP, 0, MousePoint(r.left + 40, r.top + 50));
    ASSERT_EQ(parent.CountOf(TVN_BEGINDRAGA), 1);
    EXPECT_EQ(parent.CountOf(NM_CLICK), 0);
    for (const auto& n : parent.notes)
    {
        if (n.code == TVN_BEGINDRAGA)
        {
            EXPECT_EQ(n.lParam, 1);
        }
    }
}

TEST_F(TreeViewTest, DestroyingTheWindowReportsEveryItem)
{
    HTREEITEM folder = Add("folder", 1);
    Add("a", 2, folder);
    Add("b", 3);
    parent.notes.clear();
    tree.DestroyWindow();
    EXPECT_EQ(parent.CountOf(TVN_DELETEITEMA), 3);
}

TEST_F(TreeViewTest, CustomDrawReachesTheParentForEachVisibleRow)
{
    HTREEITEM folder = Add("folder", 1);
    Add("hidden", 2, folder);
    Add("shown", 3);
    std::vector<int> levels;
    parent.answer = [&](NMHDR* h) -> LRESULT
    {
        if (h->code != NM_CUSTOMDRAW)
            return 0;
        auto* cd = reinterpret_cast<NMTVCUSTOMDRAW*>(h);
        if (cd->nmcd.dwDrawStage == CDDS_PREPAINT)
            return CDRF_NOTIFYITEMDRAW;
        if (cd->nmcd.dwDrawStage == CDDS_ITEMPREPAINT)
            levels.push_back(static_cast<int>(cd->nmcd.lItemlParam) * 10 + cd->iLevel);
        return CDRF_DODEFAULT;
    };
    tree.Invalidate();
    view_test::Grab(tree.GetSafeHwnd());
    EXPECT_EQ(levels, (std::vector<int>{10, 30}));
    levels.clear();
    tree.Expand(folder, TVE_EXPAND);
    view_test::Grab(tree.GetSafeHwnd());
    EXPECT_EQ(levels, (std::vector<int>{10, 21, 30}));
}
} // namespace
