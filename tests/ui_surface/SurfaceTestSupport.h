#pragma once

#include "brevicam/capture/CaptureController.h"
#include "platform/dshow/VirtualCamera.h"
#include "platform/window/WinApp.h"
#include "tests/support/TempDir.h"

#include <QImage>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

namespace surface_test
{
/// A plain top-level window standing in for the main dialog: it counts the surface's paint notices and,
/// as the main dialog does, answers each by invalidating itself with erasing.
class HostWindow
{
public:
    HostWindow(int x, int y, int width, int height);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND Handle() const { return m_hwnd; }
    /// WM_LIVE_VIDEO_PAINTED notices and WM_PAINT messages handled since the window was made or reset.
    int Notices() const;
    int Paints() const;
    void ResetCounts();

private:
    HWND m_hwnd = nullptr;
};

/// Handles messages for `ms` milliseconds.
void PumpFor(int ms);

/// The settings, folders and application object the capture controller works with, and a controller over
/// the cameras plugged by the test. The host window is the program's main window for the renderer.
class ControllerFixture : public testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    std::shared_ptr<platform::VirtualCamera> Plug(platform::VirtualCameraConfig config = {});
    CCaptureController& MakeController();

    testing_support::TempDir m_dir;
    std::optional<CWinApp> m_app;
    std::unique_ptr<HostWindow> m_host;
    std::vector<std::shared_ptr<platform::VirtualCamera>> m_cameras;
    std::unique_ptr<CCaptureController> m_controller;
};
} // namespace surface_test
