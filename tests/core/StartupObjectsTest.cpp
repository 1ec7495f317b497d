#include "brevicam/core/StartupObjects.h"

#include "platform/window/WinUser.h"

#include <gtest/gtest.h>

namespace
{
TEST(StartupObjectsTest, PrivateDragFormatIsRegisteredOnceUnderItsName)
{
    EXPECT_GE(g_cfInternalDrag, 0xC000u);
    EXPECT_EQ(RegisterClipboardFormatA("Tavisk_QPW_E22F87D5_51AC_4e53_83FF_9E54CC150017"), g_cfInternalDrag);
    EXPECT_EQ(RegisterClipboardFormatA("TAVISK_QPW_E22F87D5_51AC_4E53_83FF_9E54CC150017"), g_cfInternalDrag);
    EXPECT_NE(RegisterClipboardFormatA("another format"), g_cfInternalDrag);
    EXPECT_EQ(g_bIsNT, 1);
}

TEST(StartupObjectsTest, CaptureWindowFlagsStartCleared)
{
    EXPECT_EQ(g_bCaptureDlgButtonsRestored, 0);
    EXPECT_EQ(g_bSmallDlgButtonsRestored, 0);
    EXPECT_EQ(g_bCaptureDlgReenable, 0);
    EXPECT_EQ(g_bCaptureSmallDlgReenable, 0);
}

TEST(StartupObjectsTest, SubclassRegistryMapsWindowsToTheirTask)
{
    struct Task
    {
    } task;
    WndSubclassRegistry<Task> registry;
    const HWND hwnd = reinterpret_cast<HWND>(0x1234);
    EXPECT_EQ(registry.Find(hwnd), nullptr);
    registry.Add(hwnd, &task);
    EXPECT_EQ(registry.Find(hwnd), &task);
    registry.Remove(hwnd);
    EXPECT_EQ(registry.Find(hwnd), nullptr);
}
} // namespace
