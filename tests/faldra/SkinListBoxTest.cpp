#include "shared/faldra/SkinListBox.h"

#include "FaldraTestSupport.h"

#include <string>
#include <vector>

using faldra::CModularImage;
using faldra::CSkinListBox;
using faldra_test::Grab;
using faldra_test::Load;
using faldra_test::Pump;

namespace
{
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kMagenta = RGB(255, 0, 255);

COLORREF Pixel(const QImage& image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    return RGB(qRed(p), qGreen(p), qBlue(p));
}

/// A parent that reflects owner-draw requests to its controls and records their commands.
class Host : public CWnd
{
public:
    std::vector<std::pair<UINT, UINT>> commands; // (id, code)
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_COMMAND)
            commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

class SkinListBoxTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(top.CreateEx(exStyle, AfxRegisterWndClass(0), "top", WS_POPUP | WS_VISIBLE,
                                 CRect(0, 0, 220, 220), nullptr, 0));
        ASSERT_TRUE(host.CreateEx(0, AfxRegisterWndClass(0), "host", WS_CHILD | WS_VISIBLE,
                                  CRect(0, 0, 200, 200), &top, 1));
    }
    void TearDown() override
    {
        if (list.GetSafeHwnd())
            list.DestroyWindow();
        host.DestroyWindow();
        top.DestroyWindow();
    }
    void MakeList(int items = 5)
    {
        ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOTIFY,
                                CRect(0, 0, 100, 100), &host, 7));
        list.SetItemHeight(0, 20);
        list.SetBackColor(kBlack);
        auto* highlight = new CModularImage(kBlack);
        highlight->SetBackground(Load(IDB_MAGENTA));
        highlight->SetStyle(12);
        list.SetHighlightImage(highlight);
        for (int i = 0; i < items; ++i)
            list.AddString(("item " + std::to_string(i)).c_str());
    }
    /// The colour at the right end of item `i`, where no text is drawn.
    static COLORREF ItemColour(const QImage& image, int i) { return Pixel(image, 95, i * 20 + 10); }

    DWORD exStyle = 0;
    CWnd top;
    Host host;
    CSkinListBox list;
};
} // namespace

TEST_F(SkinListBoxTest, ItemsArePaintedByTheDrawContext)
{
    MakeList();
    list.SetCurSel(1);
    const QImage image = Grab(list.GetSafeHwnd());
    EXPECT_EQ(ItemColour(image, 0), kBlack);
    EXPECT_EQ(ItemColour(image, 1), kMagenta);
    EXPECT_EQ(ItemColour(image, 2), kBlack);
    EXPECT_EQ(list.GetTrackedItem(), 1); // SetCurSel sets it even with tracking off
}

TEST_F(SkinListBoxTest, TrackingDrawsTheHoveredItemAtOnceWithoutSelectingIt)
{
    MakeList();
    list.SetCurSel(1);
    list.EnableMouseTracking(true);
    Grab(list.GetSafeHwnd());
    list.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(50, 50)); // item 2
    QImage image = platform::window::ClientImage(list.GetSafeHwnd());
    EXPECT_EQ(ItemColour(image, 2), kMagenta);
    list.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(50, 90)); // item 4
    image = platform::window::ClientImage(list.GetSafeHwnd());
    EXPECT_EQ(ItemColour(image, 4), kMagenta);
    EXPECT_EQ(ItemColour(image, 2), kBlack);
    EXPECT_EQ(list.GetTrackedItem(), 4);
    EXPECT_EQ(list.GetCurSel(), 1);

    list.Invalidate(); // a repaint shows only the tracked item selected
    image = Grab(list.GetSafeHwnd());
    EXPECT_EQ(ItemColour(image, 4), kMagenta);
    EXPECT_EQ(ItemColour(image, 1), kBlack);

    list.Notify(CBN_DROPDOWN, 0, 0);
    EXPECT_EQ(list.GetTrackedItem(), 1);
    list.EnableMouseTracking(false);
    list.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(50, 50));
    list.Notify(CBN_DROPDOWN, 0, 0);
    EXPECT_EQ(list.GetTrackedItem(), 1);
}

TEST_F(SkinListBoxTest, ClicksSelectAndNotifyTheParent)
{
    MakeList();
    list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 65)); // item 3
    EXPECT_EQ(list.GetCurSel(), 3);
    ASSERT_FALSE(host.commands.empty());
    EXPECT_EQ(host.commands.back(), std::make_pair(7u, LBN_SELCHANGE));
    list.SendMessage(WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(list.GetCurSel(), 4);
}

TEST_F(SkinListBoxTest, TooltipsNameEachItemAndCutLongTexts)
{
    MakeList(2);
    const std::string longText(100, 'x');
    list.AddString(longText.c_str());
    TOOLINFO info{};
    EXPECT_EQ(list.OnToolHitTest(CPoint(10, 45), &info), 2);
    EXPECT_EQ(info.uId, 2u);
    EXPECT_EQ(CRect(info.rect), CRect(0, 40, 100, 60));
    EXPECT_EQ(info.lpszText, LPSTR_TEXTCALLBACK);
    EXPECT_EQ(list.OnToolHitTest(CPoint(10, 95), &info), -1);

    NMTTDISPINFOA request{};
    request.hdr.code = TTN_NEEDTEXTA;
    request.hdr.idFrom = 2;
    LRESULT result = 1;
    EXPECT_TRUE(list.OnToolTipText(2, &request.hdr, &result));
    EXPECT_EQ(std::string(request.szText), std::string(79, 'x'));
    EXPECT_EQ(result, 0);
}

TEST_F(SkinListBoxTest, VariableItemsAreMeasuredFromTheirText)
{
    ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | LBS_OWNERDRAWVARIABLE | LBS_HASSTRINGS,
                            CRect(0, 0, 100, 100), &host, 8));
    list.AddString("Ay");
    EXPECT_GT(list.GetItemHeight(0), 5);
    DRAWITEMSTRUCT none{};
    none.itemID = static_cast<UINT>(-1);
    list.DrawItem(&none); // an empty list with focus: nothing to draw
}

class RightToLeftListBoxTest : public SkinListBoxTest
{
protected:
    void SetUp() override
    {
        exStyle = WS_EX_LAYOUTRTL;
        SkinListBoxTest::SetUp();
    }
};

TEST_F(RightToLeftListBoxTest, ItemsLeaveRoomForTheScrollBarAndAlignRight)
{
    MakeList();
    list.SetIsScrollVisible(true);
    list.SetCurSel(0);
    const QImage image = Grab(list.GetSafeHwnd());
    EXPECT_EQ(Pixel(image, 5, 10), kBlack);
    EXPECT_EQ(Pixel(image, 16, 10), kMagenta);
    EXPECT_TRUE(list.GetDrawContext().GetFormat() & DT_RIGHT);
}
