#include "platform/dshow/CameraButton.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <linux/input.h>
#include <thread>
#include <unistd.h>

using namespace platform::dshow;

namespace
{
void Send(int fd, unsigned short type, unsigned short code, int value)
{
    input_event event{};
    event.type = type;
    event.code = code;
    event.value = value;
    ASSERT_EQ(write(fd, &event, sizeof event), static_cast<ssize_t>(sizeof event));
}

/// A sysfs tree of one USB camera: its video interface and an input device of the same USB device.
struct FakeSysfs
{
    explicit FakeSysfs(const std::string& keyBitmap)
    {
        auto usb = dir.Path() / "devices/usb1/1-2";
        std::filesystem::create_directories(usb / "1-2:1.0/video4linux/video0");
        std::filesystem::create_directories(usb / "1-2:1.0/input/input9/event9");
        dir.WriteFile("devices/usb1/1-2/1-2:1.0/input/input9/capabilities/key", keyBitmap + "\n");
        std::filesystem::create_directories(dir.Path() / "class/video4linux/video0");
        std::filesystem::create_directory_symlink(usb / "1-2:1.0",
                                                  dir.Path() / "class/video4linux/video0/device");
    }
    testing_support::TempDir dir;
};
} // namespace

TEST(CameraButtonTest, InputDeviceWithTheCameraKeyIsFound)
{
    // KEY_CAMERA is bit 212: bit 20 of the fourth 64-bit word from the end.
    FakeSysfs withButton("100000 0 0 0");
    EXPECT_EQ(CameraButtonNode(withButton.dir.Path().string(), "video0"), "/dev/input/event9");
    FakeSysfs otherKeys("0 0 0 fffe");
    EXPECT_EQ(CameraButtonNode(otherKeys.dir.Path().string(), "video0"), "");
    EXPECT_EQ(CameraButtonNode(withButton.dir.Path().string(), "video7"), "");
}

TEST(CameraButtonTest, EachPressOfTheCameraKeyIsReported)
{
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    std::atomic<int> presses{0};
    {
        CameraButtonReader reader(fds[0], [&] { ++presses; });
        Send(fds[1], EV_KEY, KEY_CAMERA, 1);
        Send(fds[1], EV_SYN, SYN_REPORT, 0);
        Send(fds[1], EV_KEY, KEY_CAMERA, 0);
        Send(fds[1], EV_KEY, KEY_VOLUMEUP, 1);
        Send(fds[1], EV_KEY, KEY_CAMERA, 2);
        // An event split across two reads still counts once.
        input_event event{};
        event.type = EV_KEY;
        event.code = KEY_CAMERA;
        event.value = 1;
        const char* bytes = reinterpret_cast<const char*>(&event);
        ASSERT_EQ(write(fds[1], bytes, 5), 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_EQ(write(fds[1], bytes + 5, sizeof event - 5), static_cast<ssize_t>(sizeof event - 5));
        for (int i = 0; i < 100 && presses.load() < 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    close(fds[1]);
    EXPECT_EQ(presses.load(), 2);
}
