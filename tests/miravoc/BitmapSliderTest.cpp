#include "miravoc/BitmapSlider.h"

#include "miravoc_test_ids.h"

#include "platform/window/Extras.h"
#include "platform/window/QtHost.h"

#include <QImage>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace
{
constexpr COLORREF kKey = 0xF702FF; // RGB(255, 2, 247), the rim of the test thumbs
constexpr COLORREF kChannel = RGB(40, 80, 160);
constexpr COLORREF kChannelActive = RGB(60, 160, 90);
constexpr COLORREF kThumb = RGB(230, 120, 20);
constexpr COLORREF kThumbActive = RGB(250, 220, 40);
constexpr COLORREF kThumbDisabled = RGB(128, 128, 128);
constexpr int kSliderId = 1003;

struct Received
{
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

/// The slider's parent: records what the slider tells it.
class SliderParent : public CWnd
{
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_BITMAPSLIDER_MOVED || message == WM_BITMAPSLIDER_RELEASED)
        {
            received.push_back({message, wParam, lParam});
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
    int Count(UINT message) const
    {
        int n = 0;
        for (const auto& r : received)
            n += r.message == message ? 1 : 0;
        return n;
    }
    std::vector<Received> received;
};

COLORREF PixelOf(const QImage& image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    return RGB(qRed(p), qGreen(p), qBlue(p));
}

/// A vertical slider bound to a trackbar of a parent window, as a dialog binds the one of its template.
class BitmapSliderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(InitTrackbarClass());
        ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), "parent", WS_POPUP | WS_VISIBLE, 50, 50, 200,
                                    300, nullptr, nullptr));
        HWND bar = CreateWindowEx(0, TRACKBAR_CLASS, "", WS_CHILD | WS_VISIBLE | TBS_VERT, 20, 20, 30, 100,
                                  parent.m_hWnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kSliderId)),
                                  nullptr, nullptr);
        ASSERT_NE(bar, nullptr);
        ASSERT_TRUE(slider.SubclassWindow(bar));
        slider.SetVertical(true);
    }
    void TearDown() override
    {
        slider.DestroyWindow();
        parent.DestroyWindow();
        platform::window::PumpPendingMessages();
    }
    void LoadTestBitmaps(UINT activeChannel = 0)
    {
        ASSERT_TRUE(slider.LoadChannelBitmaps(IDB_TEST_CHANNEL, activeChannel, FALSE, 0, 0, 0));
        ASSERT_TRUE(slider.LoadThumbBitmaps(IDB_TEST_THUMB_DISABLED, IDB_TEST_THUMB, IDB_TEST_THUMB_ACTIVE,
                                            TRUE, kKey, 0, 0));
    }
    QImage Grab()
    {
        slider.UpdateWindow();
        platform::window::PumpPendingMessages();
        return platform::window::ClientImage(slider.m_hWnd);
    }
    /// The first and last rows whose pixel in column 12 (the middle of the thumb) has `colour`.
    std::pair<int, int> RowsOf(COLORREF colour)
    {
        const QImage image = Grab();
        int first = -1, last = -1;
        for (int y = 0; y < image.height(); ++y)
            if (PixelOf(image, 12, y) == colour)
            {
                if (first < 0)
                    first = y;
                last = y;
            }
        return {first, last};
    }
    LRESULT Send(UINT message, WPARAM wParam, int x, int y)
    {
        return slider.SendMessage(message, wParam, MAKELPARAM(x, y));
    }

    SliderParent parent;
    CBitmapSlider slider;
};

struct MappingCase
{
    const char* name;
    int minimum;
    int maximum;
    std::vector<std::pair<int, int>> valueToPixel;
    std::vector<std::pair<int, int>> pixelToValue;
};

void PrintTo(const MappingCase& c, std::ostream* os)
{
    *os << c.name;
}

class BitmapSliderMappingTest : public BitmapSliderTest, public ::testing::WithParamInterface<MappingCase>
{
};
} // namespace

TEST_P(BitmapSliderMappingTest, MapsValuesAndPixelsAlongTheChannel)
{
    const auto& c = GetParam();
    LoadTestBitmaps();
    slider.SetValueRange(c.minimum, c.maximum, FALSE);
    for (const auto& [value, pixel] : c.valueToPixel)
        EXPECT_EQ(slider.ValueToPixel(value), pixel) << "value " << value;
    for (const auto& [pixel, value] : c.pixelToValue)
        EXPECT_EQ(slider.PixelToValue(pixel), value) << "pixel " << pixel;
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, BitmapSliderMappingTest,
    ::testing::Values(
        // 222 px of channel and a 20-px thumb without margins: the thumb's centre runs from 10 to 212.
        MappingCase{"Percent", 0, 100, {{0, 10}, {100, 212}, {50, 111}}, {{10, 0}, {212, 100}, {111, 50}}},
        MappingCase{"MixerVolume", 0, 65535, {{0, 10}, {65535, 212}}, {{10, 0}, {212, 65535}}},
        // An empty range: the first pixel, the minimum, and no division by zero.
        MappingCase{"EmptyRange", 40, 40, {{40, 10}, {0, 10}}, {{10, 40}, {212, 40}}},
        MappingCase{"NoVolumeControl", -1, -1, {{-1, 10}, {0, 10}}, {{10, -1}, {150, -1}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BitmapSliderTest, TheWindowTakesTheChannelsSizeAndTheThumbIsPaintedAtTheNativePosition)
{
    LoadTestBitmaps();
    CRect client;
    slider.GetClientRect(&client);
    EXPECT_EQ(client.Width(), 24);
    EXPECT_EQ(client.Height(), 222);

    slider.SetValueRange(0, 100, TRUE);
    slider.SetValue(0, false);
    EXPECT_EQ(RowsOf(kThumb), std::make_pair(2, 17));
    // The rim in the key colour shows the channel underneath.
    EXPECT_EQ(PixelOf(Grab(), 0, 0), kChannel);
    EXPECT_EQ(PixelOf(Grab(), 12, 1), kChannel);

    slider.SetValue(100, false);
    EXPECT_EQ(RowsOf(kThumb), std::make_pair(204, 219));

    // Moved by the native control alone, the thumb follows it.
    slider.SendMessage(TBM_SETPOS, TRUE, 50);
    EXPECT_EQ(RowsOf(kThumb), std::make_pair(103, 118));
}

TEST_F(BitmapSliderTest, TheActiveChannelFillsThePartBeforeTheThumb)
{
    LoadTestBitmaps(IDB_TEST_CHANNEL_ACTIVE);
    slider.SetValueRange(0, 100, FALSE);
    slider.SetValue(50, false);
    const QImage image = Grab();
    EXPECT_EQ(PixelOf(image, 0, 50), kChannelActive);
    EXPECT_EQ(PixelOf(image, 0, 110), kChannelActive);
    EXPECT_EQ(PixelOf(image, 0, 111), kChannel);
    EXPECT_EQ(PixelOf(image, 0, 200), kChannel);
}

TEST_F(BitmapSliderTest, DisabledLooksAndNoThumbWithoutTheEnableFlag)
{
    LoadTestBitmaps();
    slider.SetValueRange(0, 100, FALSE);
    slider.SetValue(100, false);
    slider.EnableWindow(FALSE);
    EXPECT_EQ(RowsOf(kThumbDisabled), std::make_pair(204, 219));
    EXPECT_EQ(RowsOf(kThumb).first, -1);

    slider.EnableWindow(TRUE);
    slider.EnableSlider(false);
    EXPECT_EQ(RowsOf(kThumb).first, -1);
    EXPECT_EQ(RowsOf(kChannel), std::make_pair(0, 221));
}

TEST_F(BitmapSliderTest, AMissingBitmapLoadsNothingOfItsSet)
{
    LoadTestBitmaps();
    EXPECT_FALSE(slider.LoadThumbBitmaps(IDB_TEST_THUMB_DISABLED, IDB_TEST_THUMB, 4242, TRUE, kKey, 0, 0));
    EXPECT_EQ(RowsOf(kThumb).first, -1);
    EXPECT_EQ(RowsOf(kThumbDisabled).first, -1);
    EXPECT_FALSE(slider.LoadChannelBitmaps(IDB_TEST_CHANNEL, 4242, FALSE, 0, 0, 0));
    EXPECT_TRUE(slider.LoadChannelBitmaps(0, 0, FALSE, 0, 0, 0));
}

TEST_F(BitmapSliderTest, SetValueRejectsOrClampsValuesOutsideTheRangeAndTellsTheParentOfChanges)
{
    LoadTestBitmaps();
    slider.SetValueRange(0, 100, FALSE);
    parent.received.clear();
    slider.SetValue(30, false);
    EXPECT_TRUE(slider.IsValueAccepted());
    EXPECT_EQ(slider.GetPos(), 30);
    ASSERT_EQ(parent.Count(WM_BITMAPSLIDER_MOVED), 1);
    const auto* block = reinterpret_cast<const NMHDR*>(parent.received[0].lParam);
    EXPECT_EQ(block->hwndFrom, slider.m_hWnd);
    EXPECT_EQ(block->idFrom, static_cast<UINT_PTR>(kSliderId));

    slider.SetValue(30, false); // no change, no news
    slider.SetValue(101, false);
    EXPECT_FALSE(slider.IsValueAccepted());
    EXPECT_EQ(slider.GetPos(), 30);
    EXPECT_EQ(parent.Count(WM_BITMAPSLIDER_MOVED), 1);
    slider.SetValue(-5, true);
    EXPECT_TRUE(slider.IsValueAccepted());
    EXPECT_EQ(slider.GetPos(), 0);
    EXPECT_EQ(parent.Count(WM_BITMAPSLIDER_MOVED), 2);

    slider.EnableNotifications(false);
    slider.SetValue(60, false);
    EXPECT_EQ(parent.Count(WM_BITMAPSLIDER_MOVED), 2);
}

struct StepCase
{
    const char* name;
    int maximum;
    int start;
    UINT message; // WM_MOUSEWHEEL or WM_KEYDOWN
    WPARAM wParam;
    int nativePageSize; // -1: the native default
    int expected;
    int sent; // change messages sent (wheel) or posted (keys)
};

void PrintTo(const StepCase& c, std::ostream* os)
{
    *os << c.name;
}

class BitmapSliderStepTest : public BitmapSliderTest, public ::testing::WithParamInterface<StepCase>
{
};

TEST_P(BitmapSliderStepTest, WheelAndKeysStepByTheRangeAndTellTheParent)
{
    const auto& c = GetParam();
    LoadTestBitmaps();
    slider.SetValueRange(0, c.maximum, FALSE);
    slider.SetLineSize(0); // as the audio settings dialog has it: the native arrows add nothing
    if (c.nativePageSize >= 0)
        slider.SetPageSize(c.nativePageSize);
    slider.SetValue(c.start, false);
    parent.received.clear();
    slider.SendMessage(c.message, c.wParam, 0);
    platform::window::PumpPendingMessages();
    EXPECT_EQ(slider.GetPos(), c.expected);
    EXPECT_EQ(parent.Count(WM_BITMAPSLIDER_MOVED), c.sent);
    if (c.message == WM_KEYDOWN && !parent.received.empty())
    {
        EXPECT_EQ(parent.received.back().wParam, static_cast<WPARAM>(kSliderId));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, BitmapSliderStepTest,
    ::testing::Values(
        // A notch up takes a 25th of the range; the parent hears of it twice (the change, then once more).
        StepCase{"WheelUp", 100, 50, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), -1, 46, 2},
        StepCase{"WheelDown", 100, 50, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), -1, 54,
                 2},
        StepCase{"WheelStopsAtTheTop", 100, 2, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), -1, 0, 2},
        // On 0..20 the step truncates to 0: nothing moves, yet the parent is told.
        StepCase{"WheelOnASmallRange", 20, 10, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), -1, 10, 1},
        StepCase{"PageDownAddsATenth", 65535, 0, WM_KEYDOWN, VK_NEXT, 0, 6553, 2},
        // The native control then pages by its own fifth as well.
        StepCase{"PageDownThenTheNativePage", 65535, 0, WM_KEYDOWN, VK_NEXT, -1, 6553 + 13107, 2},
        StepCase{"PageUpBeyondTheTopIsLeftToTheNativeControl", 65535, 100, WM_KEYDOWN, VK_PRIOR, 0, 100, 1},
        StepCase{"DownAddsAHundredth", 65535, 1000, WM_KEYDOWN, VK_DOWN, -1, 1655, 2},
        StepCase{"UpTakesAtLeastOne", 50, 10, WM_KEYDOWN, VK_UP, -1, 9, 2},
        StepCase{"UpStopsAtTheTop", 100, 0, WM_KEYDOWN, VK_UP, -1, 0, 1},
        StepCase{"EndGoesToTheMaximum", 100, 10, WM_KEYDOWN, VK_END, -1, 100, 2},
        StepCase{"HomeGoesToTheMinimum", 100, 10, WM_KEYDOWN, VK_HOME, -1, 0, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BitmapSliderTest, APressBesideTheThumbJumpsThereAndAPressOnItKeepsItsOffset)
{
    LoadTestBitmaps();
    slider.SetValueRange(0, 100, FALSE);
    slider.SetValue(0, false);
    parent.received.clear();

    // Beside the thumb: the thumb's centre goes to the pointer.
    Send(WM_LBUTTONDOWN, MK_LBUTTON, 12, 111);
    EXPECT_EQ(CWnd::GetCapture(), &slider);
    EXPECT_EQ(slider.GetPos(), 50);
    Send(WM_LBUTTONUP, 0, 12, 111);
    EXPECT_EQ(CWnd::GetCapture(), nullptr);
    EXPECT_EQ(parent.Count(WM_BITMAPSLIDER_RELEASED), 1);
    EXPECT_EQ(RowsOf(kThumb), std::make_pair(103, 118));

    // On the thumb, 6 px below its centre: dragging keeps the thumb 6 px above the pointer.
    Send(WM_LBUTTONDOWN, MK_LBUTTON, 12, 117);
    EXPECT_EQ(slider.GetPos(), 50);
    EXPECT_EQ(RowsOf(kThumbActive), std::make_pair(103, 118));
    Send(WM_MOUSEMOVE, MK_LBUTTON, 12, 117 + 101);
    EXPECT_EQ(slider.GetPos(), 100);
    Send(WM_MOUSEMOVE, MK_LBUTTON, 12, 400);
    EXPECT_EQ(slider.GetPos(), 100);
    Send(WM_MOUSEMOVE, MK_LBUTTON, 12, 6 + 10);
    EXPECT_EQ(slider.GetPos(), 0);
    Send(WM_LBUTTONUP, 0, 12, 16);
    EXPECT_EQ(RowsOf(kThumb), std::make_pair(2, 17));
    EXPECT_EQ(parent.Count(WM_BITMAPSLIDER_RELEASED), 2);
    EXPECT_GE(parent.Count(WM_BITMAPSLIDER_MOVED), 3);

    // Without the button, moves do nothing.
    Send(WM_MOUSEMOVE, 0, 12, 150);
    EXPECT_EQ(slider.GetPos(), 0);
}

TEST_F(BitmapSliderTest, DisablingDuringADragEndsItAndLaterInputDoesNothing)
{
    LoadTestBitmaps();
    slider.SetValueRange(0, 100, FALSE);
    slider.SetValue(0, false);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, 12, 10);
    Send(WM_MOUSEMOVE, MK_LBUTTON, 12, 60);
    const int dragged = slider.GetPos();
    EXPECT_GT(dragged, 0);
    ASSERT_EQ(CWnd::GetCapture(), &slider);

    slider.EnableSlider(false);
    EXPECT_EQ(CWnd::GetCapture(), nullptr);
    parent.received.clear();
    Send(WM_MOUSEMOVE, MK_LBUTTON, 12, 200);
    Send(WM_LBUTTONUP, 0, 12, 200);
    slider.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    slider.SendMessage(WM_KEYDOWN, VK_END, 0);
    platform::window::PumpPendingMessages();
    EXPECT_EQ(slider.GetPos(), dragged);
    EXPECT_TRUE(parent.received.empty());

    // Enabled again, moves still wait for the next press.
    slider.EnableSlider(true);
    Send(WM_MOUSEMOVE, MK_LBUTTON, 12, 200);
    EXPECT_EQ(slider.GetPos(), dragged);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, 12, 200);
    Send(WM_LBUTTONUP, 0, 12, 200);
    EXPECT_EQ(slider.GetPos(), 94);
}

TEST_F(BitmapSliderTest, AnEmptyRangeDrawsTheThumbAtTheTopAndSurvivesEveryInput)
{
    LoadTestBitmaps();
    // What a line without volume control reports: the same "no value" for both bounds.
    slider.SetValueRange(static_cast<int>(0xFFFFFFFF), static_cast<int>(0xFFFFFFFF), TRUE);
    slider.SetValue(0, false);
    EXPECT_FALSE(slider.IsValueAccepted());
    slider.SetValue(5, true);
    EXPECT_EQ(slider.GetPos(), -1);
    EXPECT_EQ(RowsOf(kThumb), std::make_pair(2, 17));
    slider.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    slider.SendMessage(WM_KEYDOWN, VK_NEXT, 0);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, 12, 150);
    Send(WM_MOUSEMOVE, MK_LBUTTON, 12, 30);
    Send(WM_LBUTTONUP, 0, 12, 30);
    platform::window::PumpPendingMessages();
    EXPECT_EQ(slider.GetPos(), -1);
    EXPECT_EQ(RowsOf(kThumb), std::make_pair(2, 17));
}
