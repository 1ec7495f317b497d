// The animated GIFs the program writes from a burst of photos, played by the picture control.

#include "platform/image/CxImageGIF.h"
#include "platform/window/Extras.h"
#include "platform/window/QtHost.h"
#include "shared/faldra/PictureEx.h"
#include "tests/support/TempDir.h"

#include <QImage>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace
{
bool WaitUntil(const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end)
    {
        for (int i = 0; i < 5; ++i)
            platform::window::PumpPendingMessages();
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

CxImage SolidFrame(BYTE red, BYTE green, BYTE blue, DWORD delay)
{
    CxImage frame;
    frame.Create(32, 24, 24);
    for (long y = 0; y < 24; ++y)
        for (long x = 0; x < 32; ++x)
            frame.SetPixelColor(x, y, RGBQUAD{blue, green, red, 0});
    frame.SetFrameDelay(delay);
    return frame;
}
} // namespace

TEST(BurstGifPlaybackTest, ALoopingGifOfTheEncoderPlaysInTheControl)
{
    testing_support::TempDir dir;
    CxImage frames[] = {SolidFrame(255, 0, 0, 5), SolidFrame(0, 255, 0, 5), SolidFrame(0, 0, 255, 5)};
    CxImage* pages[] = {&frames[0], &frames[1], &frames[2]};
    // Each frame keeps its own colour table, so the colours come through exactly.
    CxImageGIF encoder;
    const auto path = dir / "burst.gif";
    ASSERT_TRUE(encoder.Save(path.c_str(), pages, 3, true));

    CWnd parent;
    ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), "parent", WS_POPUP | WS_VISIBLE,
                                CRect(0, 0, 100, 100), nullptr, 0));
    {
        CPictureEx picture;
        ASSERT_TRUE(picture.Create("", WS_CHILD | WS_VISIBLE, CRect(0, 0, 10, 10), &parent));
        ASSERT_TRUE(picture.Load(path.c_str()));
        EXPECT_EQ(picture.GetFrameCount(), 3);
        EXPECT_EQ(picture.GetSize().cx, 32);
        EXPECT_EQ(picture.GetSize().cy, 24);
        picture.Draw();
        for (QRgb color : {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 0, 0)})
            EXPECT_TRUE(WaitUntil(
                [&]
                {
                    UpdateWindow(picture.GetSafeHwnd());
                    const QImage shown = platform::window::ClientImage(picture.GetSafeHwnd());
                    return !shown.isNull() && (shown.pixel(16, 12) & 0xFFFFFF) == (color & 0xFFFFFF);
                }))
                << std::hex << color;
    }
    parent.DestroyWindow();
}
