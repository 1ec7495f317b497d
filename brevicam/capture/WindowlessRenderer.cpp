#include "WindowlessRenderer.h"

#include "CaptureMessages.h"

#include "brevicam/core/Params.h"
#include "platform/com/ComPtr.h"
#include "platform/dshow/Presentation.h"
#include "platform/window/WinGdi.h"
#include "platform/window/WinUser.h"

#include <algorithm>
#include <map>
#include <mutex>

using platform::com::ComPtr;

CWindowlessRenderer* g_currentRenderer = nullptr;

// ---------------------------------------------------------------------------------------------------------
// Frames into windows
// ---------------------------------------------------------------------------------------------------------

namespace
{
constexpr UINT WM_DRAW_VIDEO_FRAME = WM_APP + 0x0F10;
constexpr char kDrawerClass[] = "BrevicamVideoFrameDrawer";

/// The newest frame of each video window, waiting for the user-interface thread to draw it. Frames
/// arrive on streaming threads, which only store them and post one message per window at a time, so a
/// busy user interface skips frames instead of queueing them.
struct PendingFrame
{
    platform::dshow::VideoFrame frame;
    RECT source{};
    RECT destination{};
    bool posted = false;
};

std::mutex g_framesLock;
std::map<HWND, PendingFrame> g_frames;
HWND g_drawer = nullptr;

/// Where the black bands beside the picture were last painted in each video window (user-interface thread
/// only). A frame paints them only when the picture or the window has moved since, or when the renderer
/// repaints (the window's own paints and the repaint timer), so that a frame repaints no more than the
/// picture.
struct Bands
{
    RECT client{};
    RECT picture{};
};
std::map<HWND, Bands> g_bands;

bool Same(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

void FillOutside(HDC dc, const RECT& client, const RECT& picture)
{
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    const RECT bands[] = {{client.left, client.top, client.right, picture.top},
                          {client.left, picture.bottom, client.right, client.bottom},
                          {client.left, picture.top, picture.left, picture.bottom},
                          {picture.right, picture.top, client.right, picture.bottom}};
    for (const RECT& band : bands)
        if (band.right > band.left && band.bottom > band.top)
            FillRect(dc, &band, black);
}

void DrawFrame(HWND window, const PendingFrame& pending)
{
    const platform::dshow::VideoFrame& frame = pending.frame;
    if (!frame.pixels || frame.width <= 0 || frame.height <= 0 || frame.stride < frame.width * 4)
        return;
    RECT source = pending.source;
    source.left = std::clamp<LONG>(source.left, 0, frame.width);
    source.right = std::clamp<LONG>(source.right, source.left, frame.width);
    source.top = std::clamp<LONG>(source.top, 0, frame.height);
    source.bottom = std::clamp<LONG>(source.bottom, source.top, frame.height);
    const RECT& target = pending.destination;
    if (source.right == source.left || source.bottom == source.top || target.right <= target.left ||
        target.bottom <= target.top)
        return;
    HDC dc = GetDC(window);
    if (!dc)
        return;
    RECT client{};
    GetClientRect(window, &client);
    auto painted = g_bands.find(window);
    if (painted == g_bands.end() || !Same(painted->second.client, client) ||
        !Same(painted->second.picture, target))
    {
        FillOutside(dc, client, target);
        g_bands[window] = Bands{client, target};
    }
    // Rows may be padded: the DIB is as wide as a row, and only the picture's part is drawn.
    BITMAPINFO info = Dib32Info(frame.stride / 4, -frame.height);
    SetStretchBltMode(dc, HALFTONE);
    StretchDIBits(dc, target.left, target.top, target.right - target.left, target.bottom - target.top,
                  source.left, source.top, source.right - source.left, source.bottom - source.top,
                  frame.pixels, &info, DIB_RGB_COLORS, SRCCOPY);
    ReleaseDC(window, dc);
}

LRESULT DrawerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_DRAW_VIDEO_FRAME)
        return DefWindowProc(hwnd, message, wParam, lParam);
    HWND window = reinterpret_cast<HWND>(wParam);
    PendingFrame pending;
    {
        std::lock_guard lock(g_framesLock);
        auto it = g_frames.find(window);
        if (it == g_frames.end())
            return 0;
        pending = it->second;
        if (IsWindow(window))
            it->second.posted = false;
        else
            g_frames.erase(it);
    }
    if (IsWindow(window))
        DrawFrame(window, pending);
    else
        g_bands.erase(window);
    return 0;
}

void OnFrame(HWND window, const platform::dshow::VideoFrame& frame, const RECT& source,
             const RECT& destination)
{
    bool post = false;
    HWND drawer = nullptr;
    {
        std::lock_guard lock(g_framesLock);
        PendingFrame& pending = g_frames[window];
        pending.frame = frame;
        pending.source = source;
        pending.destination = destination;
        drawer = g_drawer;
        post = drawer && !pending.posted;
        if (post)
            pending.posted = true;
    }
    if (post && !PostMessage(drawer, WM_DRAW_VIDEO_FRAME, reinterpret_cast<WPARAM>(window), 0))
    {
        std::lock_guard lock(g_framesLock);
        g_frames[window].posted = false;
    }
}

/// Drops the frame kept for a window, so that a torn-down graph's last buffer is not held on.
void ForgetFrame(HWND window)
{
    g_bands.erase(window);
    std::lock_guard lock(g_framesLock);
    g_frames.erase(window);
}
} // namespace

void ConnectCaptureToWindows()
{
    static bool connected = false;
    if (!connected)
    {
        platform::dshow::SetMessagePoster(&PostMessage);
        platform::dshow::SetVideoFrameSink(&OnFrame);
        connected = true;
    }
    std::lock_guard lock(g_framesLock);
    if (g_drawer && IsWindow(g_drawer))
        return;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &DrawerProc;
    wc.lpszClassName = kDrawerClass;
    RegisterClassEx(&wc);
    g_drawer = CreateWindowEx(0, kDrawerClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

// ---------------------------------------------------------------------------------------------------------
// CWindowlessRenderer
// ---------------------------------------------------------------------------------------------------------

CWindowlessRenderer::CWindowlessRenderer(int useVmr9)
    : m_useVmr9(useVmr9), m_pWindowless9(nullptr), m_pWindowless7(nullptr), m_pRendererFilter(nullptr),
      m_hVideoWindow(nullptr), m_pCurrentImage(nullptr)
{
    HWND main = g_params.GetMainWnd();
    m_hVideoWindow = main ? GetDlgItem(main, IDC_LIVE_VIDEO) : nullptr;
    if (!m_hVideoWindow)
        m_hVideoWindow = g_params.GetFullscreenWnd();
}

CWindowlessRenderer::~CWindowlessRenderer()
{
    FreeCurrentImage();
    if (m_pWindowless9)
        m_pWindowless9->Release();
    if (m_pWindowless7)
        m_pWindowless7->Release();
    m_pWindowless9 = nullptr;
    m_pWindowless7 = nullptr;
    if (m_pRendererFilter)
        m_pRendererFilter->Release();
    m_pRendererFilter = nullptr;
    if (HWND main = g_params.GetMainWnd())
        KillTimer(main, IDT_RENDERER_REPAINT);
    if (g_currentRenderer == this)
        g_currentRenderer = nullptr;
    ForgetFrame(m_hVideoWindow);
}

template <class F> HRESULT CWindowlessRenderer::WithControl(F call)
{
    if (m_pWindowless9)
        return call(m_pWindowless9);
    if (m_pWindowless7)
        return call(m_pWindowless7);
    return E_FAIL;
}

HRESULT CWindowlessRenderer::AddToGraph(IFilterGraph* graph)
{
    if (!graph)
        return E_POINTER;
    const CLSID& renderer = m_useVmr9 ? CLSID_VideoMixingRenderer9 : CLSID_VideoMixingRenderer;
    HRESULT hr = CoCreateInstance(renderer, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                  IID_IBaseFilter, reinterpret_cast<void**>(&m_pRendererFilter));
    if (FAILED(hr))
    {
        m_pRendererFilter = nullptr;
        return hr;
    }
    hr = graph->AddFilter(m_pRendererFilter, L"Video Renderer");
    if (FAILED(hr))
    {
        m_pRendererFilter->Release();
        m_pRendererFilter = nullptr;
    }
    return hr;
}

HRESULT CWindowlessRenderer::InitWindowless()
{
    if (!m_pRendererFilter)
        return E_POINTER;
    HRESULT hr = S_OK;
    if (m_useVmr9)
    {
        ComPtr<IVMRFilterConfig9> config;
        hr = m_pRendererFilter->QueryInterface(IID_IVMRFilterConfig9, config.PutVoid());
        if (SUCCEEDED(hr))
            hr = config->SetRenderingMode(VMR9Mode_Windowless);
        if (SUCCEEDED(hr))
            hr = m_pRendererFilter->QueryInterface(IID_IVMRWindowlessControl9,
                                                   reinterpret_cast<void**>(&m_pWindowless9));
    }
    else
    {
        ComPtr<IVMRFilterConfig> config;
        hr = m_pRendererFilter->QueryInterface(IID_IVMRFilterConfig, config.PutVoid());
        if (SUCCEEDED(hr))
            hr = config->SetRenderingMode(VMRMode_Windowless);
        if (SUCCEEDED(hr))
            hr = m_pRendererFilter->QueryInterface(IID_IVMRWindowlessControl,
                                                   reinterpret_cast<void**>(&m_pWindowless7));
    }
    if (SUCCEEDED(hr))
        hr = WithControl([this](auto* control) { return control->SetVideoClippingWindow(m_hVideoWindow); });
    if (SUCCEEDED(hr))
    {
        RECT client{};
        if (m_hVideoWindow)
            GetClientRect(m_hVideoWindow, &client);
        hr = WithControl([&client](auto* control) { return control->SetVideoPosition(nullptr, &client); });
    }
    if (FAILED(hr))
    {
        if (m_pWindowless9)
            m_pWindowless9->Release();
        if (m_pWindowless7)
            m_pWindowless7->Release();
        m_pWindowless9 = nullptr;
        m_pWindowless7 = nullptr;
        return hr;
    }
    ConnectCaptureToWindows();
    if (HWND main = g_params.GetMainWnd())
        SetTimer(main, IDT_RENDERER_REPAINT, 1000, &RepaintTimerProc);
    g_currentRenderer = this;
    return hr;
}

void CWindowlessRenderer::Repaint()
{
    if (!m_pWindowless9 && !m_pWindowless7)
        return;
    HDC dc = GetDC(m_hVideoWindow);
    if (!dc)
        return;
    // A repaint follows the window's own paint, which may have drawn over the bands beside the picture.
    g_bands.erase(m_hVideoWindow);
    WithControl([this, dc](auto* control) { return control->RepaintVideo(m_hVideoWindow, dc); });
    ReleaseDC(m_hVideoWindow, dc);
}

void RepaintTimerProc(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_currentRenderer)
        g_currentRenderer->Repaint();
}

bool CWindowlessRenderer::UpdateVideoPosition(bool fillHeight)
{
    if (!IsWindow(m_hVideoWindow))
        return false;
    RECT client{};
    GetClientRect(m_hVideoWindow, &client);
    const int cw = client.right - client.left;
    const int ch = client.bottom - client.top;
    RECT source{};
    const bool windowless = m_pWindowless9 || m_pWindowless7;
    if (windowless)
        WithControl([&source](auto* control) { return control->GetVideoPosition(&source, nullptr); });
    const int sw = source.right - source.left;
    const int sh = source.bottom - source.top;
    // A picture or window without area has no proportion to keep, and dividing by its height would fail;
    // the position stays until both have a size.
    if (sw <= 0 || sh <= 0 || cw <= 0 || ch <= 0)
        return false;

    int w = 0;
    int h = 0;
    RECT screen{};
    GetWindowRect(GetDesktopWindow(), &screen);
    const bool screenSized = cw == screen.right - screen.left || ch == screen.bottom - screen.top;
    if (sw <= cw && sh <= ch && !screenSized)
    {
        w = sw;
        h = sh;
    }
    else
    {
        const double r = static_cast<double>(sw) / sh;
        if (fillHeight || r < static_cast<double>(cw) / ch)
        {
            h = ch;
            w = static_cast<int>(r * ch);
        }
        else
        {
            w = cw;
            h = static_cast<int>(cw / r);
        }
    }
    RECT destination;
    destination.left = client.left + (cw - w) / 2;
    destination.top = client.top + (ch - h) / 2;
    destination.right = destination.left + w;
    destination.bottom = destination.top + h;
    if (windowless)
        WithControl([&source, &destination](auto* control)
                    { return control->SetVideoPosition(&source, &destination); });
    return true;
}

BYTE* CWindowlessRenderer::GetCurrentImage()
{
    // A block still held from an earlier call is freed here, so no caller can leak it.
    FreeCurrentImage();
    BYTE* image = nullptr;
    if (FAILED(WithControl([&image](auto* control) { return control->GetCurrentImage(&image); })))
        return nullptr;
    m_pCurrentImage = image;
    return m_pCurrentImage;
}

void CWindowlessRenderer::FreeCurrentImage()
{
    CoTaskMemFree(m_pCurrentImage);
    m_pCurrentImage = nullptr;
}

HRESULT CWindowlessRenderer::GetVideoPosition(RECT* source, RECT* destination)
{
    return WithControl([source, destination](auto* control)
                       { return control->GetVideoPosition(source, destination); });
}

// ---------------------------------------------------------------------------------------------------------
// SnapShotCallback
// ---------------------------------------------------------------------------------------------------------

STDMETHODIMP SnapShotCallback::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB)
    {
        *object = static_cast<ISampleGrabberCB*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP SnapShotCallback::SampleCB(double, IMediaSample*)
{
    PostMessage(m_hTargetWindow, WM_CAMERA_SNAPSHOT, 0, 0);
    return S_OK;
}

STDMETHODIMP SnapShotCallback::BufferCB(double, BYTE*, long)
{
    return E_NOTIMPL;
}
