#include "SurfaceTestSupport.h"

#include "brevicam/capture/DeviceGraph.h"
#include "brevicam/core/Params.h"
#include "brevicam/ui/LiveVideo.h"
#include "platform/window/Extras.h"
#include "platform/window/WinUser.h"
#include "platform/zorneth/Zorneth.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace surface_test
{
namespace
{
/// Ends the run as the application object ends the program, so that the audio library's engine closes
/// its window while the window system is still there.
class ProgramEnd : public testing::Environment
{
public:
    void TearDown() override { platform::window::BeginShutdown(); }
};

[[maybe_unused]] testing::Environment* const g_programEnd = testing::AddGlobalTestEnvironment(new ProgramEnd);

int g_notices = 0;
int g_paints = 0;

LRESULT HostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_LIVE_VIDEO_PAINTED:
        ++g_notices;
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_PAINT:
    {
        ++g_paints;
        PAINTSTRUCT paint;
        BeginPaint(hwnd, &paint);
        EndPaint(hwnd, &paint);
        return 0;
    }
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

const char* HostClass()
{
    static const char* name = []
    {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &HostProc;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = "SurfaceTestHost";
        RegisterClassEx(&wc);
        return "SurfaceTestHost";
    }();
    return name;
}
} // namespace

HostWindow::HostWindow(int x, int y, int width, int height)
{
    m_hwnd = CreateWindowEx(0, HostClass(), "Host", WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr,
                            nullptr, nullptr, nullptr);
    ResetCounts();
}

HostWindow::~HostWindow()
{
    DestroyWindow(m_hwnd);
}

int HostWindow::Notices() const
{
    return g_notices;
}

int HostWindow::Paints() const
{
    return g_paints;
}

void HostWindow::ResetCounts()
{
    g_notices = 0;
    g_paints = 0;
}

void PumpFor(int ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end)
        if (platform::window::PumpPendingMessages() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

void ControllerFixture::SetUp()
{
    namespace fs = std::filesystem;
    fs::create_directories(m_dir.Path() / "home");
    fs::create_directories(m_dir.Path() / "photos");
    fs::create_directories(m_dir.Path() / "videos");
    setenv("HOME", (m_dir.Path() / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (m_dir.Path() / "home" / ".config").c_str(), 1);
    m_app.emplace("QPX_SE");
    m_app->SetRegistryKey("Tavisk");
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_VideoDevice = "";
        g_params.m_AudioDevice = "";
        g_params.m_CamMode = 0;
        g_params.m_VideoResolution = "640 x 480";
        g_params.m_PhotoResolution = "640 x 480";
        g_params.m_PhotoPath = ((m_dir.Path() / "photos").string() + "/").c_str();
        g_params.m_VideoPath = ((m_dir.Path() / "videos").string() + "/").c_str();
        g_params.m_CameraSound = 0;
    }
    g_webcamModel = 0;
    platform::zorneth::SetScriptedAnswers({});
    m_host = std::make_unique<HostWindow>(0, 0, 446, 394);
    g_params.SetMainWnd(m_host->Handle());
}

void ControllerFixture::TearDown()
{
    if (m_controller)
    {
        m_controller->StopPreview();
        m_controller.reset();
    }
    g_params.SetMainWnd(nullptr);
    m_host.reset();
    m_cameras.clear();
    platform::zorneth::ClearScriptedAnswers();
    m_app.reset();
    g_webcamModel = 0;
}

std::shared_ptr<platform::VirtualCamera> ControllerFixture::Plug(platform::VirtualCameraConfig config)
{
    m_cameras.push_back(platform::VirtualCamera::Create(config));
    return m_cameras.back();
}

CCaptureController& ControllerFixture::MakeController()
{
    m_controller = std::make_unique<CCaptureController>();
    m_controller->m_graph.DetectWebcamModel();
    return *m_controller;
}
} // namespace surface_test
