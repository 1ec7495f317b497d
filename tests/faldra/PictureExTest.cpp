#include "shared/faldra/PictureEx.h"

#include "FaldraTestSupport.h"

#include "tests/olepicture/GifWriter.h"
#include "tests/support/TempDir.h"

#include <QImage>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

using gif_test::Bytes;
using gif_test::Frame;
using gif_test::Solid;
using testing_support::Encoded;
using testing_support::Near;

namespace
{
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kBackground = RGB(200, 100, 50);
// Long enough never to end within a test.
constexpr int kForever = 60000;

COLORREF At(const QImage& image, int x, int y)
{
    const QRgb pixel = image.pixel(x, y);
    return RGB(qRed(pixel), qGreen(pixel), qBlue(pixel));
}

/// Pumps the user-interface thread until `done` answers true; false after ten seconds.
bool WaitUntil(const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end)
    {
        faldra_test::Pump();
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

/// Threads of this process that carry its own name, as threads of ours do (Qt names its pool threads).
int ThreadCount()
{
    const std::string own = testing_support::ReadFile("/proc/self/comm");
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        if (testing_support::ReadFile(entry.path() / "comm") == own)
            ++count;
    return count;
}

/// 60 x 40 pixels: the top half red, the bottom half blue.
QImage TwoBands()
{
    return testing_support::TwoBands(60, 40);
}

/// Three full frames, red, green and blue, of 20 x 20 pixels.
Bytes ThreeColours(int delay = 5)
{
    return gif_test::Write(20, 20,
                           {Solid(0, 0, 20, 20, gif_test::kRed, delay),
                            Solid(0, 0, 20, 20, gif_test::kGreen, delay),
                            Solid(0, 0, 20, 20, gif_test::kBlue, delay)});
}

class PictureExTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), "parent", WS_POPUP | WS_VISIBLE,
                                    CRect(0, 0, 200, 200), nullptr, 0));
        picture = std::make_unique<CPictureEx>();
        ASSERT_TRUE(picture->Create("", WS_CHILD | WS_VISIBLE, CRect(0, 0, 10, 10), &parent));
    }
    void TearDown() override
    {
        picture.reset();
        parent.DestroyWindow();
    }

    static BOOL LoadInto(CPictureEx& control, const Bytes& data)
    {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, data.size());
        if (!data.empty())
            std::memcpy(GlobalLock(block), data.data(), data.size());
        GlobalUnlock(block);
        const BOOL loaded = control.Load(block, static_cast<DWORD>(data.size()));
        GlobalFree(block);
        return loaded;
    }
    BOOL Load(const Bytes& data) { return LoadInto(*picture, data); }

    QImage Shown() { return faldra_test::Grab(picture->GetSafeHwnd()); }
    bool Shows(int x, int y, COLORREF color) { return At(Shown(), x, y) == color; }
    /// Waits until the pixel shows `color`.
    bool WaitFor(int x, int y, COLORREF color)
    {
        return WaitUntil([&] { return Shows(x, y, color); });
    }

    CWnd parent;
    std::unique_ptr<CPictureEx> picture;
};
} // namespace

TEST_F(PictureExTest, AnimatedGifPlaysItsFramesInTurnAndLoops)
{
    ASSERT_TRUE(Load(ThreeColours()));
    EXPECT_TRUE(picture->IsGIF());
    EXPECT_TRUE(picture->IsAnimatedGIF());
    EXPECT_EQ(picture->GetFrameCount(), 3);
    EXPECT_EQ(picture->GetSize().cx, 20);
    EXPECT_EQ(picture->GetSize().cy, 20);
    CRect window;
    picture->GetWindowRect(&window);
    EXPECT_EQ(window.Size(), CSize(20, 20));

    EXPECT_FALSE(picture->Draw());
    EXPECT_TRUE(WaitUntil([&] { return picture->IsPlaying() != FALSE; }));
    for (int round = 0; round < 2; ++round)
        for (COLORREF color : {kRed, kGreen, kBlue})
            EXPECT_TRUE(WaitFor(10, 10, color)) << round << " " << std::hex << color;
}

TEST_F(PictureExTest, AFrameShowsForItsDelay)
{
    // The second frame stays for ten minutes; the first for the shortest delay.
    ASSERT_TRUE(Load(gif_test::Write(
        20, 20, {Solid(0, 0, 20, 20, gif_test::kRed, 5), Solid(0, 0, 20, 20, gif_test::kGreen, kForever)})));
    picture->Draw();
    ASSERT_TRUE(WaitFor(10, 10, kGreen));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(Shows(10, 10, kGreen));
}

TEST_F(PictureExTest, FramesWithoutOrWithTooShortADelayStillAdvance)
{
    // Without a control extension the delay is all ones: it must not turn into an endless wait.
    Frame red = Solid(0, 0, 20, 20, gif_test::kRed, 0);
    red.control = false;
    Frame green = Solid(0, 0, 20, 20, gif_test::kGreen, 1);
    Frame blue = Solid(0, 0, 20, 20, gif_test::kBlue, 0);
    blue.control = false;
    ASSERT_TRUE(Load(gif_test::Write(20, 20, {red, green, blue})));
    picture->Draw();
    for (int round = 0; round < 2; ++round)
        for (COLORREF color : {kRed, kGreen, kBlue})
            EXPECT_TRUE(WaitFor(10, 10, color)) << round << " " << std::hex << color;
}

namespace
{
struct DisposalCase
{
    std::string name;
    int disposal;
    COLORREF after; // what the middle frame's area shows once the next frame is drawn
};

void PrintTo(const DisposalCase& c, std::ostream* out)
{
    *out << c.name;
}

class PictureExDisposalTest : public PictureExTest, public testing::WithParamInterface<DisposalCase>
{
};
} // namespace

TEST_P(PictureExDisposalTest, TheNextFrameDrawsOverWhatTheDisposalLeft)
{
    // Red everywhere, then a green square in the middle disposed as the case says, then a small blue
    // corner that stays.
    ASSERT_TRUE(Load(gif_test::Write(30, 30,
                                     {Solid(0, 0, 30, 30, gif_test::kRed, 5),
                                      Solid(10, 10, 10, 10, gif_test::kGreen, 5, GetParam().disposal),
                                      Solid(0, 0, 5, 5, gif_test::kBlue, kForever)})));
    picture->SetBkColor(kBackground);
    picture->Draw();
    ASSERT_TRUE(WaitFor(2, 2, kBlue));
    const QImage shown = Shown();
    EXPECT_EQ(At(shown, 15, 15), GetParam().after) << std::hex << At(shown, 15, 15);
    EXPECT_EQ(At(shown, 25, 25), kRed);
}

INSTANTIATE_TEST_SUITE_P(Disposal, PictureExDisposalTest,
                         testing::Values(DisposalCase{"none", 0, kGreen}, DisposalCase{"keep", 1, kGreen},
                                         DisposalCase{"background", 2, kBackground},
                                         DisposalCase{"previous", 3, kRed}),
                         [](const auto& info) { return info.param.name; });

TEST_F(PictureExTest, FramesReachingBeyondThePictureAreClippedToIt)
{
    // The second frame starts inside the picture and runs far past it; the picture keeps its size.
    ASSERT_TRUE(Load(gif_test::Write(
        20, 20,
        {Solid(0, 0, 20, 20, gif_test::kRed, 5), Solid(15, 15, 200, 200, gif_test::kGreen, kForever, 2)})));
    EXPECT_EQ(picture->GetSize().cx, 20);
    picture->Draw();
    ASSERT_TRUE(WaitFor(17, 17, kGreen));
    EXPECT_TRUE(Shows(10, 10, kRed));
    picture->UnLoad();
}

TEST_F(PictureExTest, ASecondDrawStartsNoSecondThreadAndStopJoinsIt)
{
    ASSERT_TRUE(Load(ThreeColours()));
    // Threads of earlier tests may still be on their way out.
    WaitUntil([] { return ThreadCount() == 1; });
    const int before = ThreadCount();
    for (int i = 0; i < 5; ++i)
        picture->Draw();
    ASSERT_TRUE(WaitUntil([&] { return picture->IsPlaying() != FALSE; }));
    EXPECT_EQ(ThreadCount(), before + 1);
    picture->Stop();
    EXPECT_FALSE(picture->IsPlaying());
    EXPECT_TRUE(WaitUntil([&] { return ThreadCount() == before; }));

    // A stopped animation resumes with the next Draw.
    picture->Draw();
    EXPECT_TRUE(WaitUntil([&] { return picture->IsPlaying() != FALSE; }));
    EXPECT_TRUE(WaitFor(10, 10, kGreen));
}

TEST_F(PictureExTest, DestroyingPlayingControlsStopsTheirThreadsCleanly)
{
    for (int cycle = 0; cycle < 50; ++cycle)
    {
        auto control = std::make_unique<CPictureEx>();
        ASSERT_TRUE(control->Create("", WS_CHILD | WS_VISIBLE, CRect(0, 0, 10, 10), &parent));
        ASSERT_TRUE(LoadInto(*control, ThreeColours(cycle % 2 ? 5 : 0)));
        control->Draw();
        ASSERT_TRUE(WaitUntil([&] { return control->IsPlaying() != FALSE; }));
        faldra_test::Pump();
        // Half the controls lose their window first, half go away with it.
        if (cycle % 2)
            control->DestroyWindow();
        control.reset();
    }
    faldra_test::Pump();
}

TEST_F(PictureExTest, ReplacingThePictureWhilePlayingShowsTheNewOne)
{
    for (int round = 0; round < 10; ++round)
    {
        ASSERT_TRUE(Load(ThreeColours()));
        picture->Draw();
        ASSERT_TRUE(WaitUntil([&] { return picture->IsPlaying() != FALSE; }));
        const Bytes yellow = gif_test::Write(
            24, 24, {Solid(0, 0, 24, 24, gif_test::kYellow, 5), Solid(0, 0, 24, 24, gif_test::kYellow, 5)});
        ASSERT_TRUE(Load(yellow));
        EXPECT_FALSE(picture->IsPlaying());
        EXPECT_EQ(picture->GetSize().cx, 24);
        picture->Draw();
        EXPECT_TRUE(WaitFor(22, 22, kYellow));
    }
}

namespace
{
struct StaticCase
{
    std::string name;
    Bytes data;
    int tolerance;
};

void PrintTo(const StaticCase& c, std::ostream* out)
{
    *out << c.name;
}

Bytes SingleFrameGif()
{
    Frame frame = Solid(0, 0, 60, 40, gif_test::kRed, 10);
    frame.pixels.assign(60 * 40, gif_test::kRed);
    std::fill(frame.pixels.begin() + 60 * 20, frame.pixels.end(), gif_test::kBlue);
    return gif_test::Write(60, 40, {frame}, false);
}

class PictureExStaticTest : public PictureExTest, public testing::WithParamInterface<StaticCase>
{
};
} // namespace

TEST_P(PictureExStaticTest, AStillPictureIsDrawnOnce)
{
    ASSERT_TRUE(Load(GetParam().data));
    EXPECT_FALSE(picture->IsAnimatedGIF());
    EXPECT_EQ(picture->GetFrameCount(), 0);
    EXPECT_EQ(picture->GetSize().cx, 60);
    EXPECT_EQ(picture->GetSize().cy, 40);
    EXPECT_TRUE(picture->Draw());
    EXPECT_FALSE(picture->IsPlaying());
    const QImage shown = Shown();
    EXPECT_TRUE(Near(At(shown, 30, 5), kRed, GetParam().tolerance)) << std::hex << At(shown, 30, 5);
    EXPECT_TRUE(Near(At(shown, 30, 35), kBlue, GetParam().tolerance)) << std::hex << At(shown, 30, 35);
}

INSTANTIATE_TEST_SUITE_P(Formats, PictureExStaticTest,
                         testing::Values(StaticCase{"png", Encoded(TwoBands(), "PNG"), 0},
                                         StaticCase{"jpeg", Encoded(TwoBands(), "JPEG"), 40},
                                         StaticCase{"bmp", Encoded(TwoBands(), "BMP"), 0},
                                         StaticCase{"single_frame_gif", SingleFrameGif(), 0}),
                         [](const auto& info) { return info.param.name; });

TEST_F(PictureExTest, AGifOfOneSmallerFrameShowsItInItsPlace)
{
    ASSERT_TRUE(Load(gif_test::Write(30, 30, {Solid(10, 5, 8, 6, gif_test::kGreen, 0)}, false)));
    EXPECT_EQ(picture->GetSize().cx, 30);
    picture->SetBkColor(kBackground);
    EXPECT_TRUE(picture->Draw());
    const QImage shown = Shown();
    EXPECT_EQ(At(shown, 10, 5), kGreen);
    EXPECT_EQ(At(shown, 17, 10), kGreen);
    EXPECT_EQ(At(shown, 9, 5), kBackground);
    EXPECT_EQ(At(shown, 18, 11), kBackground);
}

TEST_F(PictureExTest, APaintRectangleShowsThatPartAtTheCorner)
{
    ASSERT_TRUE(Load(Encoded(TwoBands(), "PNG")));
    picture->Draw();
    const RECT part{10, 10, 50, 30};
    picture->SetPaintRect(&part);
    RECT back{};
    picture->GetPaintRect(&back);
    EXPECT_TRUE(EqualRect(&back, &part));
    picture->Invalidate(FALSE);
    const QImage shown = Shown();
    EXPECT_EQ(At(shown, 20, 5), kRed);   // picture row 15
    EXPECT_EQ(At(shown, 20, 15), kBlue); // picture row 25
    // Beyond the 40 x 20 part the window's own background stays.
    EXPECT_NE(At(shown, 45, 25), kBlue);
}

TEST_F(PictureExTest, LoadsFromAFileAndFailsCleanlyWithoutOne)
{
    testing_support::TempDir dir;
    const Bytes data = ThreeColours();
    const auto path = dir.WriteFile("anim.gif", std::string(data.begin(), data.end()));
    EXPECT_TRUE(picture->Load(path.c_str()));
    EXPECT_EQ(picture->GetFrameCount(), 3);
    EXPECT_FALSE(picture->Load((dir / "missing.gif").c_str()));
    EXPECT_FALSE(picture->IsGIF());
    EXPECT_EQ(picture->GetSize().cx, 0);
    EXPECT_FALSE(picture->Load(nullptr));
}

TEST_F(PictureExTest, AnUnknownGifVersionGoesToTheGeneralLoader)
{
    Load(gif_test::Write(20, 20,
                         {Solid(0, 0, 20, 20, gif_test::kRed, 5), Solid(0, 0, 20, 20, gif_test::kBlue, 5)},
                         true, "90a"));
    EXPECT_FALSE(picture->IsGIF());
    EXPECT_FALSE(picture->IsAnimatedGIF());
}

TEST_F(PictureExTest, ATruncatedGifKeepsTheFramesWhollyInside)
{
    const Bytes full = ThreeColours();
    // Cut inside the last frame's image data.
    const Bytes cut(full.begin(), full.end() - 30);
    ASSERT_TRUE(Load(cut));
    EXPECT_EQ(picture->GetFrameCount(), 2);
    picture->Draw();
    EXPECT_TRUE(WaitFor(10, 10, kGreen));
    EXPECT_TRUE(WaitFor(10, 10, kRed));
}

namespace
{
struct HostileCase
{
    std::string name;
    Bytes data;
};

void PrintTo(const HostileCase& c, std::ostream* out)
{
    *out << c.name;
}

Bytes WithWord(Bytes data, std::size_t at, int value)
{
    data[at] = static_cast<std::uint8_t>(value & 0xFF);
    data[at + 1] = static_cast<std::uint8_t>(value >> 8);
    return data;
}

// A GIF claiming `frames` images of the given size on a screen of the given size, each with image data of
// a clear and an end code only: a few bytes that would decode to any number of pixels.
Bytes ClaimedSizes(int screenWidth, int screenHeight, int frameWidth, int frameHeight, int frames)
{
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    gif_test::Word(b, screenWidth);
    gif_test::Word(b, screenHeight);
    b.insert(b.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255}); // a global table of two colours
    for (int i = 0; i < frames; ++i)
    {
        b.insert(b.end(), {0x21, 0xF9, 4, 0, 10, 0, 0, 0});
        b.insert(b.end(), {0x2C, 0, 0, 0, 0});
        gif_test::Word(b, frameWidth);
        gif_test::Word(b, frameHeight);
        b.insert(b.end(), {0, 2, 1, 0x2C, 0});
    }
    b.push_back(0x3B);
    return b;
}

std::vector<HostileCase> HostileCases()
{
    const Bytes gif = ThreeColours();
    const std::size_t table = 13 + 768;
    const std::size_t firstImage = table + 19 + 8; // after the looping extension and the control extension
    Bytes endlessChain = gif;
    endlessChain.resize(firstImage + 12);
    endlessChain.insert(endlessChain.end(), 40, 0xFF); // sub-blocks claiming 255 bytes each, then the end
    Bytes bigTable = gif;
    bigTable[firstImage + 9] = 0x87; // a local table of 256 entries that is not there
    bigTable.resize(firstImage + 200);
    return {
        {"empty", {}},
        {"garbage", Bytes(500, 0x21)},
        {"header_only", Bytes(gif.begin(), gif.begin() + 6)},
        {"screen_only", Bytes(gif.begin(), gif.begin() + 13)},
        {"table_cut", Bytes(gif.begin(), gif.begin() + 300)},
        {"no_frames",
         [&]
         {
             Bytes b(gif.begin(), gif.begin() + static_cast<long>(table));
             b.push_back(0x3B);
             return b;
         }()},
        {"zero_screen", WithWord(WithWord(gif, 6, 0), 8, 0)},
        {"huge_screen", WithWord(WithWord(gif, 6, 65535), 8, 65535)},
        {"three_frames_of_5000_square", ClaimedSizes(5000, 5000, 5000, 5000, 3)},
        {"many_frames_each_within_the_limits", ClaimedSizes(4000, 4000, 4000, 4000, 12)},
        {"frames_far_larger_than_their_screen", ClaimedSizes(20, 20, 16000, 16000, 2)},
        {"one_frame_wider_than_any_picture", ClaimedSizes(20, 20, 20000, 10, 1)},
        {"sub_blocks_past_the_end", endlessChain},
        {"local_table_past_the_end", bigTable},
        {"unknown_block_first",
         [&]
         {
             Bytes b = gif;
             b[table] = 0x99;
             return b;
         }()},
    };
}

class PictureExHostileTest : public PictureExTest, public testing::WithParamInterface<HostileCase>
{
};
} // namespace

TEST_P(PictureExHostileTest, LoadFailsAndLeavesTheControlEmpty)
{
    ASSERT_TRUE(Load(ThreeColours()));
    picture->Draw();
    EXPECT_FALSE(Load(GetParam().data));
    EXPECT_FALSE(picture->IsGIF());
    EXPECT_FALSE(picture->IsPlaying());
    EXPECT_EQ(picture->GetFrameCount(), 0);
    EXPECT_EQ(picture->GetSize().cx, 0);
    EXPECT_EQ(picture->GetBkColor(), RGB(255, 255, 255));
    EXPECT_FALSE(picture->Draw());
    faldra_test::Pump();
}

INSTANTIATE_TEST_SUITE_P(Data, PictureExHostileTest, testing::ValuesIn(HostileCases()),
                         [](const auto& info) { return info.param.name; });

TEST_F(PictureExTest, ASizeBeyondTheBlockIsRefused)
{
    const Bytes data = ThreeColours();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, data.size());
    std::memcpy(GlobalLock(block), data.data(), data.size());
    GlobalUnlock(block);
    EXPECT_FALSE(picture->Load(block, static_cast<DWORD>(data.size() + 1000)));
    EXPECT_TRUE(picture->Load(block, static_cast<DWORD>(data.size())));
    GlobalFree(block);
    EXPECT_FALSE(picture->Load(static_cast<HGLOBAL>(nullptr), 10));
}
