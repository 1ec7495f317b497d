#include "shared/faldra/HotTrackZone.h"

#include "FaldraTestSupport.h"

#include "shared/exceptions/Exceptions.h"
#include "shared/faldra/SkinWidget.h"

#include <vector>

using faldra::CHotTrackZone;
using faldra::CModularImage;
using faldra::CSimpleHTZone;
using faldra_test::Canvas;
using faldra_test::Load;
using faldra_test::TopWindow;

namespace
{
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kMagenta = RGB(255, 0, 255);

/// A zone that records what its mouse hooks receive.
class RecordingZone : public CSimpleHTZone
{
public:
    using CSimpleHTZone::CSimpleHTZone;
    std::vector<std::pair<UINT, CPoint>> calls;

protected:
    void OnMouseMove(UINT, CPoint p) override { calls.emplace_back(WM_MOUSEMOVE, p); }
    void OnLButtonDown(UINT, CPoint p) override { calls.emplace_back(WM_LBUTTONDOWN, p); }
    void OnLButtonUp(UINT, CPoint p) override { calls.emplace_back(WM_LBUTTONUP, p); }
    void OnLButtonDblClk(UINT, CPoint p) override { calls.emplace_back(WM_LBUTTONDBLCLK, p); }
};
} // namespace

TEST(HotTrackZoneTest, ConstructorRejectsMissingRegionAndWindows)
{
    TopWindow window;
    EXPECT_THROW_MESSAGE(
        CHotTrackZone(nullptr, window.hwnd()), CInvalidArgumentException,
        ".\\HotTrackZone[faldra::CHotTrackZone::CHotTrackZone]: No region defined for hot-tracking");
    EXPECT_THROW_MESSAGE(
        CHotTrackZone(CreateRectRgn(0, 0, 5, 5), nullptr), CInvalidArgumentException,
        ".\\HotTrackZone[faldra::CHotTrackZone::CHotTrackZone]: No support window defined for the "
        "hot-tracked region");
    TopWindow gone;
    const HWND stale = gone.hwnd();
    DestroyWindow(stale);
    EXPECT_THROW_MESSAGE(
        CSimpleHTZone(CRect(0, 0, 5, 5), stale), CInvalidObjectException,
        ".\\HotTrackZone[faldra::CHotTrackZone::CHotTrackZone]: Invalid support window specified");
}

TEST(HotTrackZoneTest, BadArgumentsRaiseTheirFailures)
{
    TopWindow window;
    CSimpleHTZone zone(CRect(0, 0, 10, 10), window.hwnd());
    EXPECT_THROW_MESSAGE(zone.GetImage(static_cast<CHotTrackZone::ETrackState>(3)), CInvalidArgumentException,
                         ".\\HotTrackZone[faldra::CHotTrackZone::GetImage]: Unknown state");
    EXPECT_THROW_MESSAGE(
        zone.SetImage(UINT{IDB_MISSING}, CHotTrackZone::TS_NORMAL), COSResourceException,
        ".\\HotTrackZone[faldra::CHotTrackZone::SetImage]: Failed to load the indicated bitmap "
        "resource");
    EXPECT_THROW_MESSAGE(zone.OnDraw(nullptr, CSize(), 0), CNullPointerException,
                         ".\\HotTrackZone[faldra::CHotTrackZone::DoDraw]: No device context for drawing");
    EXPECT_THROW_MESSAGE(zone.RelayEvent(nullptr), CNullPointerException,
                         ".\\HotTrackZone[faldra::CHotTrackZone::RelayEvent]: No event to relay");
    // A state outside the three is ignored by the setters and frees what it was given.
    zone.SetImage(Load(IDB_MAGENTA), static_cast<CHotTrackZone::ETrackState>(7));
    zone.SetImage(new CModularImage, static_cast<CHotTrackZone::ETrackState>(-1));
}

TEST(HotTrackZoneTest, HoverAndDownFallBackToTheNormalImage)
{
    TopWindow window;
    CSimpleHTZone zone(CRect(2, 2, 8, 8), window.hwnd());
    Canvas empty(10, 10);
    zone.OnDraw(&empty.dc(), CSize(), CHotTrackZone::TS_HOVER, 0);
    EXPECT_EQ(empty.at(4, 4), kBlack);

    zone.SetImage(UINT{IDB_MAGENTA}, CHotTrackZone::TS_NORMAL);
    ASSERT_NE(zone.GetImage(CHotTrackZone::TS_NORMAL), nullptr);
    EXPECT_EQ(zone.GetImage(CHotTrackZone::TS_NORMAL)->GetStyle(), 12u);
    EXPECT_EQ(zone.GetImage(CHotTrackZone::TS_HOVER), nullptr);
    for (auto state : {CHotTrackZone::TS_NORMAL, CHotTrackZone::TS_HOVER, CHotTrackZone::TS_DOWN})
    {
        Canvas canvas(10, 10);
        zone.OnDraw(&canvas.dc(), CSize(), state, 1);
        EXPECT_EQ(canvas.at(2, 2), kMagenta) << state;
        EXPECT_EQ(canvas.at(7, 7), kMagenta) << state; // the 2x2 bitmap is stretched over the zone
        EXPECT_EQ(canvas.at(8, 8), kBlack) << state;
    }

    zone.SetImage(Load(IDB_WHITE_CENTRE), CHotTrackZone::TS_DOWN);
    Canvas down(10, 10);
    zone.OnDraw(&down.dc(), CSize(), CHotTrackZone::TS_DOWN, 0);
    EXPECT_EQ(down.at(5, 5), kWhite);
}

TEST(HotTrackZoneTest, ClippingKeepsTheDrawingInsideTheRegionAndRestoresTheDC)
{
    TopWindow window;
    // An L-shaped region: its bounding box is 0..10, the corner 5..10 x 5..10 is outside.
    CRgn l;
    l.CreateRectRgn(0, 0, 10, 5);
    CRgn lower;
    lower.CreateRectRgn(0, 5, 5, 10);
    l.CombineRgn(&l, &lower, RGN_OR);
    CHotTrackZone zone(static_cast<HRGN>(l.Detach()), window.hwnd());
    zone.SetImage(Load(IDB_MAGENTA), CHotTrackZone::TS_NORMAL);

    Canvas clipped(12, 12);
    zone.OnDraw(&clipped.dc(), CSize(), 1);
    EXPECT_EQ(clipped.at(2, 7), kMagenta);
    EXPECT_EQ(clipped.at(7, 7), kBlack);
    clipped.dc().FillSolidRect(11, 11, 1, 1, kWhite); // no clipping left on the DC
    EXPECT_EQ(clipped.at(11, 11), kWhite);

    Canvas unclipped(12, 12);
    zone.OnDraw(&unclipped.dc(), CSize(), 0);
    EXPECT_EQ(unclipped.at(7, 7), kMagenta);
}

TEST(HotTrackZoneTest, EmptyRegionDrawsNothingAndContainsNoPoint)
{
    TopWindow window;
    CSimpleHTZone zone(CRect(4, 4, 4, 9), window.hwnd());
    zone.SetImage(UINT{IDB_MAGENTA}, CHotTrackZone::TS_NORMAL);
    EXPECT_TRUE(zone.IsNullRegion());
    EXPECT_FALSE(zone.IsPtInside(4, 4));
    Canvas canvas(10, 10);
    zone.OnDraw(&canvas.dc(), CSize(), 0);
    EXPECT_EQ(canvas.at(4, 4), kBlack);
}

TEST(HotTrackZoneTest, ResizeAndMoveKeepRectangleAndRegionTogether)
{
    TopWindow window;
    CSimpleHTZone zone(CRect(10, 10, 30, 20), window.hwnd());
    zone.Resize(-1, 20);
    EXPECT_EQ(zone.GetRect(), CRect(10, 10, 30, 30));
    EXPECT_EQ(zone.GetBoundingBox(), CRect(10, 10, 30, 30));
    zone.Move(5, -10);
    EXPECT_EQ(zone.GetRect(), CRect(15, 0, 35, 20));
    EXPECT_TRUE(zone.IsPtInside(CPoint(15, 0)));
    EXPECT_FALSE(zone.IsPtInside(CPoint(35, 0)));
    zone.Resize(4, -1);
    EXPECT_EQ(zone.GetBoundingBox(), CRect(15, 0, 19, 20));
}

TEST(HotTrackZoneTest, UpdateZoneCombinesTheRegionOfAPlainZone)
{
    TopWindow window;
    CHotTrackZone zone(CreateRectRgn(0, 0, 10, 10), window.hwnd());
    CRgn other;
    other.CreateRectRgn(5, 0, 20, 10);
    zone.UpdateZone(other, RGN_AND);
    EXPECT_EQ(zone.GetBoundingBox(), CRect(5, 0, 10, 10));

    CSimpleHTZone simple(CRect(0, 0, 10, 10), window.hwnd());
    simple.UpdateZone(other, RGN_AND);
    EXPECT_EQ(simple.GetBoundingBox(), CRect(0, 0, 10, 10));
}

TEST(HotTrackZoneTest, SameImageTwiceStaysAlive)
{
    TopWindow window;
    CSimpleHTZone zone(CRect(0, 0, 6, 6), window.hwnd());
    auto* image = new CModularImage(kWhite);
    zone.SetImage(image, CHotTrackZone::TS_HOVER);
    zone.SetImage(image, CHotTrackZone::TS_HOVER);
    ASSERT_EQ(zone.GetImage(CHotTrackZone::TS_HOVER), image);
    EXPECT_NE(image->GetRefDC(), nullptr);
    Canvas canvas(8, 8);
    zone.OnDraw(&canvas.dc(), CSize(), CHotTrackZone::TS_HOVER, 0);
    EXPECT_EQ(canvas.at(3, 3), kWhite);
}

TEST(HotTrackZoneTest, RelayEventDispatchesOnlyTheSupportWindowsMouseMessages)
{
    TopWindow window;
    TopWindow other;
    RecordingZone zone(CRect(0, 0, 10, 10), window.hwnd());
    const LPARAM negative = MAKELPARAM(static_cast<WORD>(-3), 7);
    for (UINT message : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN})
    {
        MSG msg{};
        msg.hwnd = window.hwnd();
        msg.message = message;
        msg.lParam = negative;
        zone.RelayEvent(&msg);
        msg.hwnd = other.hwnd();
        zone.RelayEvent(&msg);
    }
    ASSERT_EQ(zone.calls.size(), 4u);
    EXPECT_EQ(zone.calls[0].first, static_cast<UINT>(WM_MOUSEMOVE));
    EXPECT_EQ(zone.calls[3].first, static_cast<UINT>(WM_LBUTTONDBLCLK));
    EXPECT_EQ(zone.calls[1].second, CPoint(-3, 7));
}

TEST(SkinWidgetTest, CopiesShareTheDisabledImageUntilTheLastGoes)
{
    auto first = std::make_unique<faldra::CSkinWidget>();
    auto* image = new CModularImage(kWhite);
    first->SetDisabledImage(image);
    first->SetDisabledImage(image);
    faldra::CSkinWidget copy(*first);
    faldra::CSkinWidget assigned;
    assigned = copy;
    first.reset();
    EXPECT_EQ(copy.GetDisabledImage(), image);
    EXPECT_EQ(assigned.GetDisabledImage(), image);
    EXPECT_EQ(image->GetBackgndColor(), kWhite); // still alive: the sanitizer build checks this read
    copy.SetDisabledImage(nullptr);
    EXPECT_EQ(assigned.GetDisabledImage(), image);
}
