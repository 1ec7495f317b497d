#include "CaptureTestSupport.h"

#include "brevicam/capture/CaptureMessages.h"
#include "brevicam/capture/FilterGraph.h"
#include "brevicam/core/Params.h"
#include "platform/dshow/FileWriteHook.h"
#include "platform/window/Extras.h"
#include "platform/window/WinUser.h"
#include "platform/zorneth/Zorneth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>
#include <unistd.h>

namespace capture_testing
{
CaptureFolders PrepareCaptureSettings(const std::filesystem::path& root)
{
    namespace fs = std::filesystem;
    fs::create_directories(root / "home");
    setenv("HOME", (root / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "home" / ".config").c_str(), 1);
    CaptureFolders folders{root / "photos", root / "videos"};
    fs::create_directories(folders.photos);
    fs::create_directories(folders.videos);
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_VideoDevice = "";
        g_params.m_AudioDevice = "";
        g_params.m_CamMode = 0;
        g_params.m_VideoQuality = 0;
        g_params.m_VideoResolution = "640 x 480";
        g_params.m_PhotoResolution = "640 x 480";
        g_params.m_PhotoPath = (folders.photos.string() + "/").c_str();
        g_params.m_VideoPath = (folders.videos.string() + "/").c_str();
        g_params.m_CaptureFileName = "";
        g_params.m_PhotoFormat = 3;
        g_params.m_NbPictures = 3;
        g_params.m_ImagesPerSecond = 5;
        g_params.m_CameraSound = 0;
    }
    g_params.ClearLastFiles();
    platform::zorneth::SetScriptedAnswers({});
    return folders;
}

std::vector<std::string> FilterNames(IGraphBuilder* graph)
{
    std::vector<std::string> names;
    ComPtr<IEnumFilters> filters;
    if (FAILED(graph->EnumFilters(filters.Put())))
        return names;
    IBaseFilter* filter = nullptr;
    while (filters->Next(1, &filter, nullptr) == S_OK)
    {
        FILTER_INFO info{};
        if (SUCCEEDED(filter->QueryFilterInfo(&info)))
        {
            names.push_back(platform::WideToUtf8(info.achName));
            if (info.pGraph)
                info.pGraph->Release();
        }
        filter->Release();
    }
    return names;
}

namespace
{
/// Ends the run as the application object ends the program, so that the audio library's engine, built by
/// the device enumeration, closes its window while the window system is still there.
class ProgramEnd : public testing::Environment
{
public:
    void TearDown() override { platform::window::BeginShutdown(); }
};

[[maybe_unused]] testing::Environment* const g_programEnd = testing::AddGlobalTestEnvironment(new ProgramEnd);

LRESULT PlainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProc(hwnd, message, wParam, lParam);
}

const char* WindowClass()
{
    static const char* name = []
    {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &PlainProc;
        wc.lpszClassName = "CaptureTestWindow";
        RegisterClassEx(&wc);
        return "CaptureTestWindow";
    }();
    return name;
}
} // namespace

VideoWindows::VideoWindows(int width, int height)
{
    m_main = CreateWindowEx(0, WindowClass(), "Main", WS_POPUP | WS_VISIBLE, 0, 0, width + 40, height + 40,
                            nullptr, nullptr, nullptr, nullptr);
    m_surface =
        CreateWindowEx(0, WindowClass(), "", WS_CHILD | WS_VISIBLE, 10, 10, width, height, m_main,
                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LIVE_VIDEO)), nullptr, nullptr);
    g_params.SetMainWnd(m_main);
}

VideoWindows::~VideoWindows()
{
    g_params.SetMainWnd(nullptr);
    DestroyWindow(m_main);
}

void VideoWindows::ResizeSurface(int width, int height)
{
    MoveWindow(m_surface, 10, 10, width, height, TRUE);
}

int PumpMessages(int ms, HWND window, UINT message)
{
    int seen = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do
    {
        MSG msg;
        // A steady flow of messages (paints, timers, graph events) must not hold the pump past its time.
        while (std::chrono::steady_clock::now() < deadline && PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            if (message && msg.message == message && (!window || msg.hwnd == window))
                ++seen;
            DispatchMessage(&msg);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < deadline);
    return seen;
}

void FillDiskAfter(long bytes)
{
    auto budget = std::make_shared<std::atomic<long>>(bytes);
    platform::dshow::SetFileWriteHook(
        [budget](int fd, const void* data, size_t size) -> ssize_t
        {
            const long left = budget->load();
            if (left <= 0)
            {
                errno = ENOSPC;
                return -1;
            }
            const ssize_t written = ::write(fd, data, std::min<size_t>(size, static_cast<size_t>(left)));
            if (written > 0)
                *budget -= written;
            return written;
        });
}

std::shared_ptr<platform::VirtualCamera> MakeCamera(const std::string& name, unsigned short vendorId,
                                                    unsigned short productId, std::vector<SIZE> sizes)
{
    platform::VirtualCameraConfig config;
    config.name = name;
    config.vendorId = vendorId;
    config.productId = productId;
    if (!sizes.empty())
        config.sizes = std::move(sizes);
    return platform::VirtualCamera::Create(config);
}
} // namespace capture_testing
