#include "shared/faldra/SkinScrollbar.h"

#include "FaldraTestSupport.h"

#include "shared/exceptions/Exceptions.h"

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

using faldra::CHotTrackZone;
using faldra::CModularImage;
using faldra::CSkinScrollbar;
using faldra_test::Pixel;
using faldra_test::Pump;

namespace
{
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGreen = RGB(0, 255, 0);

/// A window that records the scroll notifications it receives.
class Buddy : public CWnd
{
public:
    struct Note
    {
        UINT message;
        UINT code;
        UINT pos;
        LPARAM lParam;
    };
    std::vector<Note> notes;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_VSCROLL || message == WM_HSCROLL)
            notes.push_back({message, LOWORD(wParam), HIWORD(wParam), lParam});
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

bool PumpUntil(const std::function<bool()>& done, int limitMs = 10000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        if (platform::window::PumpPendingMessages() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class SkinScrollbarTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), "parent", WS_POPUP | WS_VISIBLE,
                                    CRect(0, 0, 300, 300), nullptr, 0));
    }
    void TearDown() override
    {
        if (bar.GetSafeHwnd())
            bar.DestroyWindow();
        parent.DestroyWindow();
    }

    /// A bar of the given size at the parent's origin, built with 16-pixel arrows and skinned.
    void MakeBar(DWORD orientation, int width, int height, bool init = true, DWORD exStyle = 0)
    {
        ASSERT_TRUE(bar.CreateEx(exStyle, "Static", "", WS_CHILD | WS_VISIBLE | SS_NOTIFY | orientation,
                                 CRect(0, 0, width, height), &parent, 100));
        if (!init)
            return;
        bar.InitControl(16, 16);
        bar.SetBuddy(parent);
    }
    void Skin() { bar.SetVSkin(IDB_RED_TOP, IDB_WHITE_CENTRE, 0, IDB_MAGENTA, 0, IDB_RED_TOP); }
    void SetState(int min, int max, UINT page, int pos)
    {
        SCROLLINFO info{sizeof(SCROLLINFO), SIF_ALL, min, max, page, pos, 0};
        bar.SetScrollInfo(&info, TRUE);
    }
    void Send(UINT message, int x, int y) { bar.SendMessage(message, MK_LBUTTON, MAKELPARAM(x, y)); }

    Buddy parent;
    CSkinScrollbar bar;
};
} // namespace

TEST_F(SkinScrollbarTest, InitControlBuildsTheTrackOrReturnsQuietlyWhenTooShort)
{
    EXPECT_THROW_MESSAGE(
        bar.InitControl(16, 16), CInvalidStateException,
        ".\\SkinScrollbar[faldra::CSkinScrollbar::InitControl]: Scrollbar control window not yet "
        "created");
    MakeBar(SBS_VERT, 16, 100, false);
    EXPECT_THROW_MESSAGE(
        bar.InitControl(0, 16), CInvalidArgumentException,
        ".\\SkinScrollbar[faldra::CSkinScrollbar::InitControl]: Both arrows must have pozitive size");

    bar.InitControl(40, 41); // 19 pixels left for the box
    EXPECT_THROW_MESSAGE(bar.GetPositionInScrollbar(CPoint(5, 50)), CNullPointerException,
                         ".\\SkinScrollbar[faldra::CSkinScrollbar::GetPositionInScrollbar]: Some UI elements "
                         "undefined");
    EXPECT_THROW_MESSAGE(bar.UpdateUI(), CNullPointerException,
                         ".\\SkinScrollbar[faldra::CSkinScrollbar::UpdateUI]: Some UI elements undefined");
    SetState(0, 10, 2, 3); // setters on a bar without elements lay nothing out and raise nothing
    EXPECT_EQ(bar.GetScrollPos(), 3);

    bar.InitControl(16, 16);
    EXPECT_EQ(bar.GetPositionInScrollbar(CPoint(5, 15)), CSkinScrollbar::PP_UPARROW);
    EXPECT_EQ(bar.GetPositionInScrollbar(CPoint(5, 84)), CSkinScrollbar::PP_DOWNARROW);
    EXPECT_EQ(bar.GetPositionInScrollbar(CPoint(5, 300)), CSkinScrollbar::PP_NONE);
    EXPECT_THROW_MESSAGE(
        bar.SetVSkin(IDB_MISSING, 0, 0, 0, 0, 0), COSResourceException,
        ".\\SkinScrollbar[faldra::CSkinScrollbar::SetElemImage]: Failed to load the indicated "
        "bitmap resource");
}

struct BoxCase
{
    const char* name;
    UINT page;
    int pos;
    int boxStart; // client coordinates on a 232-pixel bar with 16-pixel arrows (track 16..216)
    int boxLength;
};

void PrintTo(const BoxCase& c, std::ostream* os)
{
    *os << c.name;
}

class ScrollBoxGeometryTest : public SkinScrollbarTest, public testing::WithParamInterface<BoxCase>
{
};

TEST_P(ScrollBoxGeometryTest, BoxLengthFollowsThePageAndItsStartThePosition)
{
    const BoxCase& c = GetParam();
    MakeBar(SBS_VERT, 16, 232);
    SetState(0, 99, c.page, c.pos);
    auto at = [&](int y) { return bar.GetPositionInScrollbar(CPoint(8, y)); };
    EXPECT_EQ(at(c.boxStart), CSkinScrollbar::PP_SCROLLBOX);
    EXPECT_EQ(at(c.boxStart + c.boxLength - 1), CSkinScrollbar::PP_SCROLLBOX);
    if (c.boxStart > 16)
    {
        EXPECT_EQ(at(c.boxStart - 1), CSkinScrollbar::PP_UPPERCHANNEL);
    }
    if (c.boxStart + c.boxLength < 216)
    {
        EXPECT_EQ(at(c.boxStart + c.boxLength), CSkinScrollbar::PP_LOWERCHANNEL);
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, ScrollBoxGeometryTest,
                         testing::Values(BoxCase{"TenOfAHundred", 10, 0, 16, 20},
                                         BoxCase{"FiveKeepsTheMinimum", 5, 0, 16, 20},
                                         BoxCase{"WholeRangeFillsTheTrack", 100, 0, 16, 200},
                                         BoxCase{"MiddlePosition", 10, 45, 106, 20},
                                         BoxCase{"PositionClampedToTheEnd", 10, 95, 196, 20}),
                         [](const testing::TestParamInfo<BoxCase>& info) { return info.param.name; });

TEST_F(SkinScrollbarTest, PositionIsClampedToTheScrollableRange)
{
    MakeBar(SBS_VERT, 16, 232);
    SetState(0, 99, 10, 0);
    EXPECT_EQ(bar.SetScrollPos(95, FALSE), 0);
    EXPECT_EQ(bar.GetScrollPos(), 90);
    EXPECT_EQ(bar.SetScrollPos(-5, FALSE), 90);
    EXPECT_EQ(bar.GetScrollPos(), 0);
    bar.SetScrollRange(50, 20, FALSE);
    int min = 0;
    int max = 0;
    bar.GetScrollRange(&min, &max);
    EXPECT_EQ(min, 20);
    EXPECT_EQ(max, 50);
    EXPECT_EQ(bar.GetScrollPos(), 20);
    EXPECT_EQ(bar.GetScrollLimit(), 50);
    SCROLLINFO info{};
    ASSERT_TRUE(bar.GetScrollInfo(&info, SIF_PAGE));
    EXPECT_EQ(info.cbSize, 28u);
    EXPECT_EQ(info.nPage, 10u);
}

TEST_F(SkinScrollbarTest, ArrowsAndChannelsSendTheStandardCodes)
{
    MakeBar(SBS_VERT, 16, 232);
    SetState(0, 99, 10, 0);
    Send(WM_LBUTTONDOWN, 8, 220); // down arrow
    Send(WM_LBUTTONUP, 8, 220);
    ASSERT_EQ(parent.notes.size(), 1u);
    EXPECT_EQ(parent.notes[0].message, static_cast<UINT>(WM_VSCROLL));
    EXPECT_EQ(parent.notes[0].code, SB_LINEDOWN);
    EXPECT_EQ(parent.notes[0].pos, 0u);
    EXPECT_EQ(parent.notes[0].lParam, 0);
    EXPECT_EQ(bar.GetScrollPos(), 1);

    bar.SetScrollPos(0, FALSE);
    Send(WM_LBUTTONDOWN, 8, 5); // up arrow at the start: still reported
    Send(WM_LBUTTONUP, 8, 5);
    ASSERT_EQ(parent.notes.size(), 2u);
    EXPECT_EQ(parent.notes[1].code, SB_LINEUP);

    Send(WM_LBUTTONDOWN, 8, 150); // lower channel: a page less one line
    Send(WM_LBUTTONUP, 8, 150);
    ASSERT_EQ(parent.notes.size(), 3u);
    EXPECT_EQ(parent.notes[2].code, SB_PAGEDOWN);
    EXPECT_EQ(bar.GetScrollPos(), 9);

    SetState(5, 50, 10, 5); // at a minimum other than 0 nothing changes, so nothing is sent
    Send(WM_LBUTTONDOWN, 8, 5);
    Send(WM_LBUTTONUP, 8, 5);
    EXPECT_EQ(parent.notes.size(), 3u);
    EXPECT_EQ(bar.GetScrollPos(), 5);
}

TEST_F(SkinScrollbarTest, DraggingTheBoxTracksThenSetsThePosition)
{
    MakeBar(SBS_VERT, 16, 232);
    SetState(0, 99, 10, 0);
    Send(WM_LBUTTONDOWN, 8, 20); // 4 pixels into the box
    Send(WM_MOUSEMOVE, 8, 110);  // box start 106: (106 - 16) * 90 / 180 = 45
    ASSERT_EQ(parent.notes.size(), 1u);
    EXPECT_EQ(parent.notes[0].code, SB_THUMBTRACK);
    EXPECT_EQ(parent.notes[0].pos, 45u);
    EXPECT_EQ(bar.GetScrollPos(), 0);
    EXPECT_EQ(bar.GetDynamicPosition(), 45);
    EXPECT_EQ(bar.GetPositionInScrollbar(CPoint(8, 106)), CSkinScrollbar::PP_SCROLLBOX);

    Send(WM_MOUSEMOVE, 8, 1000); // clamped to the end of the track
    EXPECT_EQ(parent.notes.back().pos, 90u);
    Send(WM_LBUTTONUP, 8, 1000);
    ASSERT_EQ(parent.notes.size(), 3u);
    EXPECT_EQ(parent.notes[2].code, SB_THUMBPOSITION);
    EXPECT_EQ(parent.notes[2].pos, 90u);
    EXPECT_EQ(bar.GetScrollPos(), 90);
    Send(WM_MOUSEMOVE, 8, 50); // released: moves send nothing
    EXPECT_EQ(parent.notes.size(), 3u);
}

TEST_F(SkinScrollbarTest, HeldArrowRepeatsUntilReleasedAndPausesOffTheArrow)
{
    MakeBar(SBS_VERT, 16, 232);
    SetState(0, 999, 10, 0);
    POINT onArrow{8, 220};
    bar.ClientToScreen(&onArrow);
    SetCursorPos(onArrow.x, onArrow.y);
    POINT check{};
    GetCursorPos(&check);
    if (check.x != onArrow.x || check.y != onArrow.y)
        GTEST_SKIP() << "the pointer cannot be placed on this platform";
    Send(WM_LBUTTONDOWN, 8, 220);
    EXPECT_EQ(parent.notes.size(), 1u);
    ASSERT_TRUE(PumpUntil([&] { return parent.notes.size() >= 4; }));
    for (const auto& note : parent.notes)
        EXPECT_EQ(note.code, SB_LINEDOWN);

    POINT off{8, 120};
    bar.ClientToScreen(&off);
    SetCursorPos(off.x, off.y);
    Pump();
    const size_t paused = parent.notes.size();
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(parent.notes.size(), paused);
    SetCursorPos(onArrow.x, onArrow.y);
    ASSERT_TRUE(PumpUntil([&] { return parent.notes.size() > paused; }));

    Send(WM_LBUTTONUP, 8, 220);
    const size_t released = parent.notes.size();
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(parent.notes.size(), released);
}

TEST_F(SkinScrollbarTest, MirrorModeFollowsTheBuddyAndChangesNothing)
{
    MakeBar(SBS_VERT, 16, 232);
    Skin();
    bar.EnableAutoSet(TRUE);
    SCROLLINFO buddy{sizeof(SCROLLINFO), SIF_ALL, 0, 99, 10, 45, 0};
    ::SetScrollInfo(parent.GetSafeHwnd(), SB_VERT, &buddy, FALSE);
    EXPECT_EQ(bar.SetScrollPos(10, TRUE), 0);
    EXPECT_EQ(bar.GetScrollPos(), 45);
    EXPECT_EQ(bar.SetScrollInfo(&buddy, TRUE), 45);

    bar.Invalidate();
    const QImage image = faldra_test::Grab(bar.GetSafeHwnd());
    EXPECT_EQ(Pixel(image, 8, 110), kMagenta); // the box at position 45 (106..126)
    EXPECT_EQ(Pixel(image, 8, 60), kWhite);    // the channel above it
    EXPECT_EQ(Pixel(image, 8, 150), kWhite);   // and below it
    EXPECT_EQ(Pixel(image, 8, 3), kRed);       // the arrows
    EXPECT_EQ(Pixel(image, 8, 230), kRed);

    Send(WM_LBUTTONDOWN, 8, 220); // requests only choose the code; the buddy scrolls itself
    Send(WM_LBUTTONUP, 8, 220);
    ASSERT_EQ(parent.notes.size(), 1u);
    EXPECT_EQ(parent.notes[0].code, SB_LINEDOWN);
    EXPECT_EQ(::GetScrollPos(parent.GetSafeHwnd(), SB_VERT), 45);

    buddy.nPage = 0; // a page of 0 sends nothing
    ::SetScrollInfo(parent.GetSafeHwnd(), SB_VERT, &buddy, FALSE);
    Send(WM_LBUTTONDOWN, 8, 220);
    Send(WM_LBUTTONUP, 8, 220);
    EXPECT_EQ(parent.notes.size(), 1u);
}

TEST_F(SkinScrollbarTest, MirroredBoxHeldWithoutMovingStaysWhereTheBuddyHasIt)
{
    MakeBar(SBS_VERT, 16, 232);
    Skin();
    bar.EnableAutoSet(TRUE);
    SCROLLINFO buddy{sizeof(SCROLLINFO), SIF_ALL, 0, 99, 10, 45, 0};
    ::SetScrollInfo(parent.GetSafeHwnd(), SB_VERT, &buddy, FALSE);
    Send(WM_LBUTTONDOWN, 8, 110); // on the box at 106..126, then held still
    EXPECT_EQ(bar.GetDynamicPosition(), 45);
    bar.Invalidate();
    const QImage image = faldra_test::Grab(bar.GetSafeHwnd());
    EXPECT_EQ(Pixel(image, 8, 110), kMagenta);
    EXPECT_EQ(Pixel(image, 8, 20), kWhite); // not at the top
    Send(WM_LBUTTONUP, 8, 110);
    EXPECT_EQ(::GetScrollPos(parent.GetSafeHwnd(), SB_VERT), 45);
}

TEST_F(SkinScrollbarTest, SkinIdsOfZeroKeepPartsAndFailedStripsStayEmpty)
{
    MakeBar(SBS_VERT, 16, 232);
    Skin();
    bar.SetVSkin(0, 0, IDB_GREEN_LEFT, 0, IDB_BLUE_BOTTOM, 0);
    SetState(0, 99, 10, 45); // box 106..126
    CModularImage* box = bar.GetElemImage(CSkinScrollbar::ET_SCROLLBOX, CHotTrackZone::TS_NORMAL);
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->IsBkgndEraseEnabled());
    QImage image = faldra_test::Grab(bar.GetSafeHwnd());
    EXPECT_EQ(Pixel(image, 8, 106), kGreen);
    EXPECT_EQ(Pixel(image, 8, 115), kMagenta);
    EXPECT_EQ(Pixel(image, 8, 125), kBlue);
    EXPECT_EQ(Pixel(image, 8, 60), kWhite); // both channel parts keep their own copy of the bitmap
    EXPECT_EQ(Pixel(image, 8, 200), kWhite);
    EXPECT_EQ(Pixel(image, 8, 3), kRed);

    bar.SetVSkin(0, 0, static_cast<UINT>(-1), 0, 0, 0);
    bar.Invalidate();
    image = faldra_test::Grab(bar.GetSafeHwnd());
    EXPECT_EQ(Pixel(image, 8, 106), kMagenta);
    EXPECT_EQ(Pixel(image, 8, 125), kBlue);
    EXPECT_EQ(bar.GetElemImage(static_cast<CSkinScrollbar::EElemType>(9), CHotTrackZone::TS_NORMAL), nullptr);
}

TEST_F(SkinScrollbarTest, HorizontalSkinPassesEveryIdOnAndSwapsEndsRightToLeft)
{
    MakeBar(SBS_HORZ, 232, 16, true, WS_EX_LAYOUTRTL);
    EXPECT_THROW_MESSAGE(
        bar.SetHSkin(0, IDB_WHITE_CENTRE, 0, IDB_MAGENTA, 0, IDB_BLUE_BOTTOM), COSResourceException,
        ".\\SkinScrollbar[faldra::CSkinScrollbar::SetElemImage]: Failed to load the indicated "
        "bitmap resource");
    bar.SetHSkin(IDB_RED_TOP, IDB_WHITE_CENTRE, 0, IDB_MAGENTA, 0, IDB_BLUE_BOTTOM);
    SetState(0, 99, 10, 0);
    // The bar's own x runs from its right edge (231 on the screen): the right arrow's bitmap is at the
    // left end of its coordinates, on the right of the screen, pointing outwards.
    const QImage image = faldra_test::Grab(bar.GetSafeHwnd());
    EXPECT_EQ(Pixel(image, 231 - 3, 8), kBlue);
    EXPECT_EQ(Pixel(image, 231 - 228, 8), kRed);
    EXPECT_EQ(Pixel(image, 231 - 20, 8), kMagenta);
    EXPECT_EQ(Pixel(image, 231 - 100, 8), kWhite);

    Send(WM_LBUTTONDOWN, 220, 8);
    Send(WM_LBUTTONUP, 220, 8);
    ASSERT_EQ(parent.notes.size(), 1u);
    EXPECT_EQ(parent.notes[0].message, static_cast<UINT>(WM_HSCROLL));
}

TEST_F(SkinScrollbarTest, SizingFollowsTheWindowAndNeverFailsInsideIt)
{
    MakeBar(SBS_VERT, 16, 232);
    SetState(0, 99, 100, 0);
    bar.SetWindowPos(nullptr, 0, 0, 20, 132, SWP_NOZORDER | SWP_NOMOVE);
    Pump();
    EXPECT_EQ(bar.GetPositionInScrollbar(CPoint(18, 120)), CSkinScrollbar::PP_DOWNARROW);
    EXPECT_EQ(bar.GetPositionInScrollbar(CPoint(18, 100)), CSkinScrollbar::PP_SCROLLBOX);
    bar.SetWindowPos(nullptr, 0, 0, 20, 40, SWP_NOZORDER | SWP_NOMOVE); // too small: layout kept
    Pump();
    EXPECT_EQ(bar.GetPositionInScrollbar(CPoint(18, 120)), CSkinScrollbar::PP_DOWNARROW);

    EXPECT_THROW_MESSAGE(
        bar.ResizeArrows(100, 100, TRUE), CInvalidArgumentException,
        ".\\SkinScrollbar[faldra::CSkinScrollbar::ResizeArrows]: New element(s) size too big");
    bar.SetWindowPos(nullptr, 0, 0, 20, 132, SWP_NOZORDER | SWP_NOMOVE);
    Pump();
    bar.ResizeArrows(30, 0, TRUE);
    EXPECT_EQ(bar.GetPositionInScrollbar(CPoint(5, 29)), CSkinScrollbar::PP_UPARROW);
    EXPECT_EQ(bar.GetPositionInScrollbar(CPoint(5, 30)), CSkinScrollbar::PP_SCROLLBOX);
    EXPECT_EQ(bar.GetPositionInScrollbar(CPoint(5, 116)), CSkinScrollbar::PP_DOWNARROW);
}

TEST_F(SkinScrollbarTest, DestroyForgetsTheBuddyAndTheBarCanBeBuiltAgain)
{
    MakeBar(SBS_VERT, 16, 232);
    Skin();
    bar.DestroyWindow();
    EXPECT_EQ(bar.GetBuddy(), nullptr);
    EXPECT_EQ(bar.GetElemImage(CSkinScrollbar::ET_CHANNEL, CHotTrackZone::TS_NORMAL), nullptr);
    MakeBar(SBS_VERT, 16, 232);
    Skin();
    EXPECT_NE(bar.GetElemImage(CSkinScrollbar::ET_CHANNEL, CHotTrackZone::TS_NORMAL), nullptr);
}
