#include "platform/dshow/Devices.h"

#include "platform/dshow/Gst.h"
#include "platform/dshow/VirtualCamera.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace platform::dshow;
using platform::VirtualCamera;
using platform::VirtualCameraConfig;

namespace
{
const DeviceRecord* FindByPath(const std::vector<DeviceRecord>& devices, const std::string& path)
{
    auto it = std::find_if(devices.begin(), devices.end(),
                           [&](const DeviceRecord& d) { return d.devicePath == path; });
    return it == devices.end() ? nullptr : &*it;
}
} // namespace

TEST(DevicesTest, VirtualCameraIsListedWithItsUsbIdsWhilePlugged)
{
    VirtualCameraConfig config;
    config.name = "Desk Camera";
    config.vendorId = 0x046D;
    config.productId = 0x0825;
    config.sizes = {{640, 480}, {1280, 720}};
    config.offerMjpeg = false;
    auto camera = VirtualCamera::Create(config);
    EXPECT_EQ(camera->DevicePath().rfind("\\\\?\\usb#vid_046d&pid_0825&mi_00#", 0), 0u)
        << camera->DevicePath();
    EXPECT_NE(camera->DevicePath().find("#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global"),
              std::string::npos);

    auto devices = EnumerateDevices(DeviceKind::Video);
    const DeviceRecord* record = FindByPath(devices, camera->DevicePath());
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->friendlyName, "Desk Camera");
    ASSERT_EQ(record->modes.size(), 2u);
    EXPECT_EQ(record->modes[1].format, "YUY2");
    EXPECT_EQ(record->modes[1].width, 1280);
    EXPECT_EQ(record->modes[1].rates.front(), (Fraction{30, 1}));

    camera->Unplug();
    EXPECT_EQ(FindByPath(EnumerateDevices(DeviceKind::Video), camera->DevicePath()), nullptr);
    camera->Plug();
    EXPECT_NE(FindByPath(EnumerateDevices(DeviceKind::Video), camera->DevicePath()), nullptr);
}

TEST(DevicesTest, DestroyedVirtualCameraLeavesTheList)
{
    std::string path;
    {
        auto camera = VirtualCamera::Create();
        path = camera->DevicePath();
        ASSERT_NE(FindByPath(EnumerateDevices(DeviceKind::Video), path), nullptr);
    }
    EXPECT_EQ(FindByPath(EnumerateDevices(DeviceKind::Video), path), nullptr);
}

TEST(DevicesTest, WatchHearsUnplugAndReturn)
{
    auto camera = VirtualCamera::Create();
    std::vector<std::pair<std::string, bool>> heard;
    int id = DeviceWatch::Subscribe([&](DeviceKind, const std::string& path, bool arrived)
                                    { heard.emplace_back(path, arrived); });
    camera->Unplug();
    camera->Unplug();
    camera->Plug();
    DeviceWatch::Unsubscribe(id);
    camera->Unplug();
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0], std::make_pair(camera->DevicePath(), false));
    EXPECT_EQ(heard[1], std::make_pair(camera->DevicePath(), true));
}

struct CapsCase
{
    const char* name;
    const char* caps;
    std::vector<VideoMode> modes;
};

class ModesFromCapsTest : public testing::TestWithParam<CapsCase>
{
};

TEST_P(ModesFromCapsTest, ListsEachFormatAndSizeWithRatesFastestFirst)
{
    gst::EnsureInit();
    GstCaps* caps = gst_caps_from_string(GetParam().caps);
    ASSERT_NE(caps, nullptr);
    auto modes = ModesFromCaps(caps);
    gst_caps_unref(caps);
    ASSERT_EQ(modes.size(), GetParam().modes.size());
    for (size_t i = 0; i < modes.size(); ++i)
    {
        EXPECT_EQ(modes[i].format, GetParam().modes[i].format) << i;
        EXPECT_EQ(modes[i].width, GetParam().modes[i].width) << i;
        EXPECT_EQ(modes[i].height, GetParam().modes[i].height) << i;
        EXPECT_EQ(modes[i].rates, GetParam().modes[i].rates) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Caps, ModesFromCapsTest,
    testing::Values(CapsCase{"UvcCamera",
                             "video/x-raw, format=YUY2, width=640, height=480, framerate={ 30/1, 15/1 }; "
                             "image/jpeg, width=1280, height=720, framerate=30/1; "
                             "video/x-raw, format=YUY2, width=640, height=480, framerate=10/1",
                             {{"YUY2", 640, 480, {{30, 1}, {15, 1}, {10, 1}}},
                              {"MJPG", 1280, 720, {{30, 1}}}}},
                    CapsCase{"OddRate",
                             "video/x-raw, format=NV12, width=320, height=240, framerate=1499/100",
                             {{"NV12", 320, 240, {{1499, 100}}}}},
                    CapsCase{"RateRange",
                             "video/x-raw, format=YUY2, width=800, height=600, framerate=[ 5/1, 20/1 ]",
                             {{"YUY2", 800, 600, {{20, 1}, {15, 1}, {10, 1}, {5, 1}}}}},
                    CapsCase{"MetadataNode", "application/x-uvc-meta", {}},
                    CapsCase{"GpuMemoryOnly",
                             "video/x-raw(memory:DMABuf), format=NV12, width=640, height=480, framerate=30/1",
                             {}}),
    [](const testing::TestParamInfo<CapsCase>& info) { return info.param.name; });

TEST(DevicesTest, UsbIdsAreReadFromSysfs)
{
    testing_support::TempDir sys;
    auto usb = sys.Path() / "devices" / "usb1" / "1-1";
    auto iface = usb / "1-1:1.0";
    std::filesystem::create_directories(iface);
    sys.WriteFile("devices/usb1/1-1/idVendor", "0c45\n");
    sys.WriteFile("devices/usb1/1-1/idProduct", "636b\n");
    sys.WriteFile("devices/usb1/1-1/busnum", "1\n");
    sys.WriteFile("devices/usb1/1-1/devpath", "1\n");
    sys.WriteFile("devices/usb1/1-1/1-1:1.0/bInterfaceNumber", "00\n");
    std::filesystem::create_directories(sys.Path() / "class" / "video4linux" / "video2");
    std::filesystem::create_directory_symlink(iface,
                                              sys.Path() / "class" / "video4linux" / "video2" / "device");

    UsbIds ids;
    ASSERT_TRUE(UsbIdsFromSysfs(sys.Path().string(), "video2", &ids));
    EXPECT_EQ(ids.vendorId, 0x0C45u);
    EXPECT_EQ(ids.productId, 0x636Bu);
    EXPECT_EQ(ids.interfaceNumber, 0u);
    EXPECT_EQ(UsbVideoDevicePath(ids.vendorId, ids.productId, ids.interfaceNumber, "1&1"),
              "\\\\?\\usb#vid_0c45&pid_636b&mi_00#1&1#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global");
    EXPECT_FALSE(UsbIdsFromSysfs(sys.Path().string(), "video9", &ids));
}
