#include "CaptureTestSupport.h"

#include "brevicam/capture/CameraControlsDialog.h"
#include "brevicam/capture/CaptureGraph.h"
#include "brevicam/core/Params.h"
#include "platform/window/WinApp.h"
#include "platform/window/WinUser.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

using namespace capture_testing;
using platform::VirtualCamera;

namespace
{
/// What the next tick of the test's timer does with the open dialog.
std::function<void(HWND)> g_onDialog;
int g_dialogsSeen = 0;

void DriveDialog(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND dialog = GetOpenCameraControls();
    if (!dialog)
        return;
    KillTimer(nullptr, id);
    ++g_dialogsSeen;
    if (g_onDialog)
        g_onDialog(dialog);
}

class CameraControlsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_app.emplace("QPX_SE");
        m_app->SetRegistryKey("Tavisk");
        {
            CSingleLock lock(&g_params.m_cs, TRUE);
            g_params.m_VideoDevice = "";
            g_params.m_AudioDevice = "";
            g_params.m_CamMode = 0;
            g_params.m_PhotoResolution = "640 x 480";
            g_params.m_VideoResolution = "640 x 480";
        }
        m_camera = MakeCamera("Controls Camera", 0x046D, 0x0825);
        m_graph = std::make_unique<CCaptureGraph>();
        m_graph->DetectWebcamModel();
        ASSERT_TRUE(m_graph->SetGraphMode(0));
        g_dialogsSeen = 0;
    }
    void TearDown() override
    {
        g_onDialog = nullptr;
        m_graph->Stop();
        m_graph->TearDown();
        m_graph.reset();
        m_app.reset();
    }

    long Value(long property, long* flags = nullptr)
    {
        ComPtr<IBaseFilter> camera;
        m_graph->GetGraph()->FindFilterByName(L"Controls Camera", camera.Put());
        ComPtr<IAMVideoProcAmp> controls;
        camera->QueryInterface(IID_IAMVideoProcAmp, controls.PutVoid());
        long value = 0;
        long got = 0;
        controls->Get(property, &value, &got);
        if (flags)
            *flags = got;
        return value;
    }

    std::optional<CWinApp> m_app;
    VideoWindows m_windows;
    std::shared_ptr<VirtualCamera> m_camera;
    std::unique_ptr<CCaptureGraph> m_graph;
};
} // namespace

TEST_F(CameraControlsTest, OkAppliesTheValuesInsideTheirRanges)
{
    g_onDialog = [](HWND dialog)
    {
        SetDlgItemText(dialog, 100 + VideoProcAmp_Brightness, "200");
        SetDlgItemText(dialog, 100 + VideoProcAmp_Contrast, "999");
        SetDlgItemText(dialog, 100 + VideoProcAmp_WhiteBalance, "5005");
        CheckDlgButton(dialog, 200 + VideoProcAmp_WhiteBalance, BST_UNCHECKED);
        SendMessage(dialog, WM_COMMAND, IDOK, 0);
    };
    SetTimer(nullptr, 0, 50, &DriveDialog);
    m_graph->ShowFilterProperties(1, m_windows.Main());
    EXPECT_EQ(g_dialogsSeen, 1);
    EXPECT_EQ(Value(VideoProcAmp_Brightness), 200);
    EXPECT_EQ(Value(VideoProcAmp_Contrast), 255);
    long flags = 0;
    // White balance moves in steps of 10 from 2800.
    EXPECT_EQ(Value(VideoProcAmp_WhiteBalance, &flags), 5000);
    EXPECT_EQ(flags, VideoProcAmp_Flags_Manual);
}

TEST_F(CameraControlsTest, CancelChangesNothing)
{
    const long before = Value(VideoProcAmp_Brightness);
    g_onDialog = [](HWND dialog)
    {
        SetDlgItemText(dialog, 100 + VideoProcAmp_Brightness, "17");
        SendMessage(dialog, WM_COMMAND, IDCANCEL, 0);
    };
    SetTimer(nullptr, 0, 50, &DriveDialog);
    m_graph->ShowFilterProperties(1, m_windows.Main());
    EXPECT_EQ(g_dialogsSeen, 1);
    EXPECT_EQ(Value(VideoProcAmp_Brightness), before);
}

TEST_F(CameraControlsTest, TeardownClosesAnOpenDialogFirst)
{
    CCaptureGraph* graph = m_graph.get();
    g_onDialog = [graph](HWND)
    {
        graph->Stop();
        graph->TearDown();
    };
    SetTimer(nullptr, 0, 50, &DriveDialog);
    m_graph->ShowFilterProperties(1, m_windows.Main());
    EXPECT_EQ(g_dialogsSeen, 1);
    EXPECT_EQ(GetOpenCameraControls(), nullptr);
    EXPECT_TRUE(FilterNames(m_graph->GetGraph()).empty());
}

TEST_F(CameraControlsTest, DialogOpensCentredOverItsOwnerWithItsTitle)
{
    ::SetWindowPos(m_windows.Main(), nullptr, 100, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    RECT owner{};
    RECT dialog{};
    std::string title;
    g_onDialog = [&](HWND hwnd)
    {
        ::GetWindowRect(m_windows.Main(), &owner);
        ::GetWindowRect(hwnd, &dialog);
        char text[64] = {};
        ::GetWindowText(hwnd, text, sizeof text);
        title = text;
        SendMessage(hwnd, WM_COMMAND, IDCANCEL, 0);
    };
    SetTimer(nullptr, 0, 50, &DriveDialog);
    m_graph->ShowFilterProperties(1, m_windows.Main());
    ASSERT_EQ(g_dialogsSeen, 1);
    EXPECT_EQ(title, "Camera");
    // Centred over the owner, not over its top-left corner.
    EXPECT_NEAR((dialog.left + dialog.right) / 2, (owner.left + owner.right) / 2, 1);
    EXPECT_NEAR((dialog.top + dialog.bottom) / 2, (owner.top + owner.bottom) / 2, 1);
}

TEST_F(CameraControlsTest, FiltersWithoutControlsShowNothing)
{
    // No microphone here, and no such kind: nothing is shown and the calls return at once.
    m_graph->ShowFilterProperties(0, m_windows.Main());
    m_graph->ShowFilterProperties(2, m_windows.Main());
    CDSFilter tee("Smart Tee", CLSID_SmartTee);
    EXPECT_FALSE(tee.ShowPropertyPages(m_windows.Main()));
    EXPECT_EQ(g_dialogsSeen, 0);
}
