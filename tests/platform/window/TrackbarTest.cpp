#include "platform/commctrl/Trackbar.h"

#include "WindowTestSupport.h"

#include <ostream>

using namespace window_test;

namespace
{
/// What the trackbar told its parent: (code, position in the high word).
std::vector<std::pair<UINT, int>> Notifications(const Recorder& recorder, UINT message)
{
    std::vector<std::pair<UINT, int>> out;
    for (const auto& r : recorder.log)
        if (r.msg == message)
            out.emplace_back(LOWORD(r.wParam), static_cast<short>(HIWORD(r.wParam)));
    return out;
}

class TrackbarTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        ASSERT_TRUE(InitTrackbarClass());
        parent = Top(100, 100, 200, 260);
    }
    HWND Make(DWORD style, int width, int height)
    {
        HWND h = CreateWindowEx(0, TRACKBAR_CLASS, "", WS_CHILD | WS_VISIBLE | style, 10, 10, width, height,
                                parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(7)), nullptr, nullptr);
        EXPECT_NE(h, nullptr);
        return h;
    }
    /// A mouse event from the window system, and the messages it queues handled.
    static void Input(HWND h, QEvent::Type type, QPoint p)
    {
        Mouse(h, type, p);
        platform::window::PumpPendingMessages();
    }
    static int Pos(HWND h) { return static_cast<int>(SendMessage(h, TBM_GETPOS, 0, 0)); }
    static RECT Thumb(HWND h)
    {
        RECT r{};
        SendMessage(h, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&r));
        return r;
    }
    /// The first and last rows of the grabbed trackbar that differ from the button face in column `x`.
    static std::pair<int, int> PaintedRows(HWND h, int x)
    {
        UpdateWindow(h);
        platform::window::PumpPendingMessages();
        const QImage image = platform::window::ClientImage(h);
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        int first = -1, last = -1;
        for (int y = 0; y < image.height(); ++y)
        {
            if (Pixel(image, x, y) != face)
            {
                if (first < 0)
                    first = y;
                last = y;
            }
        }
        return {first, last};
    }
    HWND parent = nullptr;
};

struct KeyCase
{
    const char* name;
    UINT key;
    int start;
    int expected;
    UINT code;
};

void PrintTo(const KeyCase& c, std::ostream* os)
{
    *os << c.name;
}

class TrackbarKeyTest : public TrackbarTest, public ::testing::WithParamInterface<KeyCase>
{
};
} // namespace

TEST_P(TrackbarKeyTest, KeysMoveThePositionWithinTheRangeAndTellTheParent)
{
    const auto& c = GetParam();
    HWND bar = Make(TBS_VERT, 30, 222);
    SendMessage(bar, TBM_SETRANGEMAX, FALSE, 100);
    SendMessage(bar, TBM_SETPOS, TRUE, c.start);
    recorder.log.clear();
    SendMessage(bar, WM_KEYDOWN, c.key, 0);
    SendMessage(bar, WM_KEYUP, c.key, 0);
    EXPECT_EQ(Pos(bar), c.expected);
    EXPECT_EQ(Notifications(recorder, WM_VSCROLL),
              (std::vector<std::pair<UINT, int>>{{c.code, 0}, {TB_ENDTRACK, 0}}));
    EXPECT_TRUE(Notifications(recorder, WM_HSCROLL).empty());
}

INSTANTIATE_TEST_SUITE_P(Keys, TrackbarKeyTest,
                         ::testing::Values(KeyCase{"DownAddsALine", VK_DOWN, 50, 51, TB_LINEDOWN},
                                           KeyCase{"RightAddsALine", VK_RIGHT, 50, 51, TB_LINEDOWN},
                                           KeyCase{"UpTakesALine", VK_UP, 50, 49, TB_LINEUP},
                                           KeyCase{"UpStopsAtTheMinimum", VK_UP, 0, 0, TB_LINEUP},
                                           KeyCase{"PageDownAddsAFifth", VK_NEXT, 50, 70, TB_PAGEDOWN},
                                           KeyCase{"PageDownStopsAtTheMaximum", VK_NEXT, 90, 100,
                                                   TB_PAGEDOWN},
                                           KeyCase{"PageUpTakesAFifth", VK_PRIOR, 50, 30, TB_PAGEUP},
                                           KeyCase{"HomeGoesToTheMinimum", VK_HOME, 50, 0, TB_TOP},
                                           KeyCase{"EndGoesToTheMaximum", VK_END, 50, 100, TB_BOTTOM}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TrackbarTest, RangeSizesAndPositionsSetByMessagesAreKeptWithinTheRange)
{
    CSliderCtrl slider;
    ASSERT_TRUE(
        slider.Create(WS_CHILD | WS_VISIBLE | TBS_VERT, RECT{0, 0, 30, 222}, CWnd::FromHandle(parent), 3));
    EXPECT_EQ(slider.GetRangeMin(), 0);
    EXPECT_EQ(slider.GetRangeMax(), 100);
    EXPECT_EQ(slider.GetLineSize(), 1);
    EXPECT_EQ(slider.GetPageSize(), 20);

    slider.SetRange(0, 65535, TRUE);
    EXPECT_EQ(slider.GetPageSize(), 13107); // a fifth of the range until set
    slider.SetPos(70000);
    EXPECT_EQ(slider.GetPos(), 65535);
    slider.SetPos(-4);
    EXPECT_EQ(slider.GetPos(), 0);
    EXPECT_EQ(slider.SetPageSize(100), 13107);
    EXPECT_EQ(slider.SetLineSize(0), 1);
    slider.SetRange(0, 1000);
    EXPECT_EQ(slider.GetPageSize(), 100);
    slider.SetPos(900);
    slider.SetRangeMax(500);
    EXPECT_EQ(slider.GetPos(), 500);

    // Line size 0: the arrows move nothing, yet the parent is still told.
    recorder.log.clear();
    slider.SendMessage(WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ(slider.GetPos(), 500);
    EXPECT_EQ(Notifications(recorder, WM_VSCROLL), (std::vector<std::pair<UINT, int>>{{TB_LINEDOWN, 0}}));
    slider.DestroyWindow();
}

TEST_F(TrackbarTest, AnEmptyRangeKeepsTheThumbAtTheStartAndEveryPixelAtTheMinimum)
{
    HWND bar = Make(TBS_VERT, 30, 222);
    for (const LPARAM end : {LPARAM{40}, static_cast<LPARAM>(static_cast<int>(0xFFFFFFFF))})
    {
        SendMessage(bar, TBM_SETRANGEMIN, FALSE, end);
        SendMessage(bar, TBM_SETRANGEMAX, TRUE, end);
        SendMessage(bar, TBM_SETPOS, TRUE, 12);
        EXPECT_EQ(Pos(bar), static_cast<int>(end));
        EXPECT_EQ(Thumb(bar).top, 0);
        // Dragging the thumb of an empty range cannot move it.
        Input(bar, QEvent::MouseButtonPress, QPoint(15, 5));
        Input(bar, QEvent::MouseMove, QPoint(15, 150));
        Input(bar, QEvent::MouseButtonRelease, QPoint(15, 150));
        EXPECT_EQ(Pos(bar), static_cast<int>(end));
    }
}

TEST_F(TrackbarTest, DraggingTheThumbTracksThePointerAndPaintsTheThumbThere)
{
    HWND bar = Make(TBS_VERT, 30, 222);
    ASSERT_EQ(Thumb(bar).top, 0);
    recorder.log.clear();
    // Press 3 px below the thumb's centre and drag: the thumb keeps that offset to the pointer.
    Input(bar, QEvent::MouseButtonPress, QPoint(15, 13));
    EXPECT_EQ(GetFocus(), bar);
    EXPECT_EQ(GetCapture(), bar);
    Input(bar, QEvent::MouseMove, QPoint(15, 13 + 101));
    EXPECT_EQ(Pos(bar), 50);
    Input(bar, QEvent::MouseMove, QPoint(25, 400)); // beyond the end
    EXPECT_EQ(Pos(bar), 100);
    Input(bar, QEvent::MouseMove, QPoint(15, 13 + 101));
    Input(bar, QEvent::MouseButtonRelease, QPoint(15, 13 + 101));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(Notifications(recorder, WM_VSCROLL), (std::vector<std::pair<UINT, int>>{{TB_THUMBTRACK, 50},
                                                                                      {TB_THUMBTRACK, 100},
                                                                                      {TB_THUMBTRACK, 50},
                                                                                      {TB_THUMBPOSITION, 50},
                                                                                      {TB_ENDTRACK, 0}}));
    // The thumb is painted where the position puts it: 20 px centred on 10 + 202 / 2; column 8 lies on
    // the thumb beside the channel.
    const RECT thumb = Thumb(bar);
    EXPECT_EQ(thumb.top, 101);
    EXPECT_EQ(thumb.bottom, 121);
    const auto [first, last] = PaintedRows(bar, 8);
    EXPECT_GE(first, thumb.top);
    EXPECT_LE(first, thumb.top + 1);
    EXPECT_EQ(last, thumb.bottom - 1);
}

TEST_F(TrackbarTest, AClickBesideTheThumbPagesTowardIt)
{
    HWND bar = Make(0, 222, 30);
    SendMessage(bar, TBM_SETPOS, TRUE, 50);
    recorder.log.clear();
    Input(bar, QEvent::MouseButtonPress, QPoint(200, 15));
    Input(bar, QEvent::MouseButtonRelease, QPoint(200, 15));
    EXPECT_EQ(Pos(bar), 70);
    Input(bar, QEvent::MouseButtonPress, QPoint(3, 15));
    Input(bar, QEvent::MouseButtonRelease, QPoint(3, 15));
    EXPECT_EQ(Pos(bar), 50);
    EXPECT_EQ(Notifications(recorder, WM_HSCROLL),
              (std::vector<std::pair<UINT, int>>{
                  {TB_PAGEDOWN, 0}, {TB_ENDTRACK, 0}, {TB_PAGEUP, 0}, {TB_ENDTRACK, 0}}));
}
