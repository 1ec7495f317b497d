#include "shared/faldra/Roulette.h"

#include "FaldraTestSupport.h"

#include "shared/faldra/Switch.h"

#include <QRegion>
#include <QWidget>

#include <vector>

using faldra::CPetalsRoulette;
using faldra::CSwitch;
using faldra::CSwitch5;

namespace
{
/// Exposes the region walk.
class Petals : public CPetalsRoulette
{
public:
    using CPetalsRoulette::CPetalsRoulette;
    using CPetalsRoulette::GetTransparentRgn;
};

/// A parent that records static notifications and answers the roulette's button release.
class Parent : public CWnd
{
public:
    LRESULT answer = 0;
    int releases = 0;
    int clicks = 0;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == faldra::WM_ROULETTE_LBUTTONUP)
        {
            ++releases;
            return answer;
        }
        if (message == WM_COMMAND && HIWORD(wParam) == STN_CLICKED)
            ++clicks;
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

class RouletteTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), "parent", WS_POPUP | WS_VISIBLE,
                                    CRect(0, 0, 200, 200), nullptr, 0));
        tooltip.Create(&parent);
    }
    void TearDown() override
    {
        if (tooltip.GetSafeHwnd())
            tooltip.DestroyWindow();
        parent.DestroyWindow();
    }
    HWND Static(int height)
    {
        return CreateWindowEx(0, "Static", "", WS_CHILD | WS_VISIBLE, 0, 0, 40, height, parent.GetSafeHwnd(),
                              reinterpret_cast<HMENU>(5), nullptr, nullptr);
    }
    static HBITMAP Shown(CWnd& wnd)
    {
        return reinterpret_cast<HBITMAP>(wnd.SendMessage(STM_GETIMAGE, IMAGE_BITMAP));
    }

    Parent parent;
    CToolTipCtrl tooltip;
};
} // namespace

TEST_F(RouletteTest, PetalsAreStackedQuarters)
{
    Petals petals(IDB_OPAQUE32, tooltip);
    ASSERT_TRUE(petals.SubclassWindow(Static(100)));
    for (auto [y, name] :
         {std::pair{0, "Video"}, {24, "Video"}, {25, "Audio"}, {49, "Audio"}, {50, "About"}, {99, "About"}})
        EXPECT_STREQ(static_cast<LPCTSTR>(petals.GetRegion(CPoint(7, y))), name) << y;
    EXPECT_EQ(Shown(petals), petals.GetMainImage());
    EXPECT_TRUE(petals.GetStyle() & SS_NOTIFY);
}

TEST_F(RouletteTest, TransparentPixelsAreCutFromTheWindowRegion)
{
    Petals petals(IDB_ALPHA_CORNER, tooltip);
    HRGN region = petals.GetTransparentRgn(petals.GetMainImage());
    EXPECT_FALSE(PtInRegion(region, 0, 0));
    EXPECT_TRUE(PtInRegion(region, 1, 0));
    EXPECT_FALSE(PtInRegion(region, 6, 5));
    EXPECT_FALSE(PtInRegion(region, 7, 5));
    EXPECT_TRUE(PtInRegion(region, 5, 5));
    EXPECT_TRUE(PtInRegion(region, 7, 7));
    DeleteObject(region);
    region = petals.GetTransparentRgn(petals.GetMainImage()); // made opaque by the first walk
    EXPECT_TRUE(PtInRegion(region, 0, 0));
    DeleteObject(region);

    Petals opaque(IDB_OPAQUE32, tooltip);
    region = opaque.GetTransparentRgn(opaque.GetMainImage());
    HRGN full = CreateRectRgn(0, 0, 8, 8);
    EXPECT_TRUE(EqualRgn(region, full));
    DeleteObject(full);
    DeleteObject(region);
}

TEST_F(RouletteTest, ARightToLeftRouletteIsCutWhereItsPictureIsSeen)
{
    CWnd mirrored;
    ASSERT_TRUE(mirrored.CreateEx(WS_EX_LAYOUTRTL, AfxRegisterWndClass(0), "mirrored", WS_POPUP | WS_VISIBLE,
                                  CRect(0, 0, 60, 40), nullptr, 0));
    HWND control = CreateWindowEx(0, "Static", "", WS_CHILD | WS_VISIBLE, 0, 0, 8, 8, mirrored.GetSafeHwnd(),
                                  reinterpret_cast<HMENU>(5), nullptr, nullptr);
    Petals petals(IDB_ALPHA_CORNER, tooltip);
    ASSERT_TRUE(petals.SubclassWindow(control));
    ASSERT_TRUE(petals.GetExStyle() & WS_EX_LAYOUTRTL);

    // The region, in the control's own coordinates, is the picture read from its right edge.
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(GetWindowRgn(control, region), ERROR);
    EXPECT_FALSE(PtInRegion(region, 7, 0));
    EXPECT_TRUE(PtInRegion(region, 0, 0));
    EXPECT_FALSE(PtInRegion(region, 0, 5));
    EXPECT_TRUE(PtInRegion(region, 2, 5));
    DeleteObject(region);
    // On the screen the control keeps its picture's own shape, as the picture is shown the right way round.
    const QRegion shape = platform::window::HostWidgetOf(control)->mask();
    EXPECT_FALSE(shape.contains(QPoint(0, 0)));
    EXPECT_TRUE(shape.contains(QPoint(1, 0)));
    EXPECT_FALSE(shape.contains(QPoint(7, 5)));
    EXPECT_TRUE(shape.contains(QPoint(5, 5)));
    petals.UnsubclassWindow();
    mirrored.DestroyWindow();
}

TEST_F(RouletteTest, HoverShowsEnabledRegionsOnlyAndClicksOnDisabledOnesAreSwallowed)
{
    Petals petals(IDB_OPAQUE32, tooltip);
    petals.AddRegion("Video", IDB_RED_TOP, "Video tip");
    petals.AddRegion("Audio", IDB_MAGENTA, IDB_WHITE_CENTRE, "Audio tip");
    petals.Disable("Audio");
    petals.Disable("Nothing");
    ASSERT_TRUE(petals.SubclassWindow(Static(100)));

    petals.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(5, 10));
    EXPECT_STREQ(static_cast<LPCTSTR>(petals.GetCurrentRegion()), "Video");
    const HBITMAP video = Shown(petals);
    EXPECT_NE(video, petals.GetMainImage());
    EXPECT_NE(video, nullptr);
    petals.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(5, 30));
    EXPECT_EQ(Shown(petals), petals.GetMainImage());
    EXPECT_STREQ(static_cast<LPCTSTR>(petals.GetCurrentRegion()), "");
    petals.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(5, 10));
    EXPECT_EQ(Shown(petals), video);
    petals.SendMessage(WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(Shown(petals), petals.GetMainImage());

    petals.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 30));
    EXPECT_EQ(parent.clicks, 0);
    petals.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 10));
    EXPECT_EQ(parent.clicks, 1);
    parent.answer = 1;
    petals.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(5, 10));
    EXPECT_EQ(parent.releases, 1);

    petals.Enable("Audio");
    petals.AddRegion("Audio", IDB_MAGENTA, "replaced"); // replaces the region, enabled again
    petals.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(5, 30));
    EXPECT_STREQ(static_cast<LPCTSTR>(petals.GetCurrentRegion()), "Audio");
    petals.UnsubclassWindow();
}

struct BandCase
{
    int y;
    CSwitch::ERegion four;
    CSwitch::ERegion five;
};

class SwitchBandsTest : public RouletteTest, public testing::WithParamInterface<BandCase>
{
};

TEST_P(SwitchBandsTest, ClickActivatesTheBandUnderTheMouse)
{
    CSwitch four(IDB_MAGENTA, IDB_RED_TOP, IDB_WHITE_CENTRE, IDB_HALVES);
    CSwitch5 five(IDB_MAGENTA, IDB_RED_TOP, IDB_WHITE_CENTRE, IDB_HALVES, IDB_RGB_ROW);
    ASSERT_TRUE(four.SubclassWindow(Static(100)));
    ASSERT_TRUE(five.SubclassWindow(Static(100)));
    four.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, GetParam().y));
    five.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, GetParam().y));
    EXPECT_EQ(four.GetActive(), GetParam().four);
    EXPECT_EQ(five.GetActive(), GetParam().five);
    EXPECT_NE(Shown(four), nullptr);
    EXPECT_NE(Shown(five), nullptr);
    four.UnsubclassWindow();
    five.UnsubclassWindow();
}

INSTANTIATE_TEST_SUITE_P(Heights, SwitchBandsTest,
                         testing::Values(BandCase{0, CSwitch::Band1, CSwitch::Band1},
                                         BandCase{19, CSwitch::Band1, CSwitch::Band1},
                                         BandCase{20, CSwitch::Band1, CSwitch::Band2},
                                         BandCase{25, CSwitch::Band2, CSwitch::Band2},
                                         BandCase{49, CSwitch::Band2, CSwitch::Band4},
                                         BandCase{50, CSwitch::Band4, CSwitch::Band4},
                                         BandCase{60, CSwitch::Band4, CSwitch::Band8},
                                         BandCase{75, CSwitch::Band8, CSwitch::Band8},
                                         BandCase{80, CSwitch::Band8, CSwitch::Band16},
                                         BandCase{99, CSwitch::Band8, CSwitch::Band16}),
                         [](const testing::TestParamInfo<BandCase>& info)
                         { return std::string("y").append(std::to_string(info.param.y)); });

TEST_F(RouletteTest, SwitchRemembersThePreviousBand)
{
    CSwitch sw(IDB_MAGENTA, IDB_RED_TOP, IDB_WHITE_CENTRE, IDB_MISSING);
    ASSERT_TRUE(sw.SubclassWindow(Static(100)));
    EXPECT_EQ(sw.GetActive(), CSwitch::Band1);
    EXPECT_EQ(Shown(sw), nullptr); // nothing until the first activation
    sw.SetToolTips(&tooltip, "two", "one", "four", "eight");
    sw.SetActive(CSwitch::Band4);
    EXPECT_EQ(sw.GetPrevious(), CSwitch::Band1);
    sw.SetActive(CSwitch::Band4);
    EXPECT_EQ(sw.GetPrevious(), CSwitch::Band4);
    sw.SetActive(CSwitch::Band8); // its bitmap is missing: nothing shown
    EXPECT_EQ(Shown(sw), nullptr);
    sw.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(5, 10));
    sw.UnsubclassWindow();
}
