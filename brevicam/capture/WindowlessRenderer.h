#pragma once

#include "platform/dshow/DShow.h"
#include "platform/win/WinTypes.h"

/// The video mixing renderer in windowless mode: draws the live picture into the live-video surface of
/// the main dialog (or into the full-screen window), keeps it centred and in proportion, repaints it
/// every second and hands out the frame on screen as a packed DIB. User-interface thread only.
class CWindowlessRenderer
{
public:
    /// Chooses the video window: item 1002 of the main window, else the full-screen window, else none.
    explicit CWindowlessRenderer(int useVmr9);
    ~CWindowlessRenderer();
    CWindowlessRenderer(const CWindowlessRenderer&) = delete;
    CWindowlessRenderer& operator=(const CWindowlessRenderer&) = delete;

    /// Makes the renderer filter and adds it to the graph as "Video Renderer".
    HRESULT AddToGraph(IFilterGraph* graph);
    /// Windowless mode on the video window, picture fitted to its client area, repaint timer started.
    HRESULT InitWindowless();
    IBaseFilter* GetFilter() const { return m_pRendererFilter; }
    HWND GetVideoWindow() const { return m_hVideoWindow; }
    void Repaint();
    /// Fits the picture into the video window: its own size when it fits a window that is not as wide
    /// or as tall as the screen, else scaled in proportion (letterboxed, or filling the height when
    /// `fillHeight`), centred. Returns whether a position was set.
    bool UpdateVideoPosition(bool fillHeight);
    /// The frame on screen as a packed DIB (BITMAPINFOHEADER and bottom-up BGR rows), held until
    /// FreeCurrentImage or the next call; null without windowless control or frame.
    BYTE* GetCurrentImage();
    void FreeCurrentImage();
    /// The picture's source and destination rectangles; E_FAIL without windowless control.
    HRESULT GetVideoPosition(RECT* source, RECT* destination);

private:
    template <class F> HRESULT WithControl(F call);

    int m_useVmr9;
    IVMRWindowlessControl9* m_pWindowless9;
    IVMRWindowlessControl* m_pWindowless7;
    IBaseFilter* m_pRendererFilter;
    HWND m_hVideoWindow;
    BYTE* m_pCurrentImage;
};

/// The renderer whose windowless mode was set up last, for the repaint timer.
extern CWindowlessRenderer* g_currentRenderer;
/// Timer 200 of the main window: repaints g_currentRenderer.
void RepaintTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);

/// Turns a sample on the camera's still pin into WM_CAMERA_SNAPSHOT for its target window. Lives as a
/// member of the capture graph and counts no references. SampleCB runs on a streaming thread and only
/// posts.
class SnapShotCallback : public ISampleGrabberCB
{
public:
    SnapShotCallback() : m_hTargetWindow(nullptr) {}
    virtual ~SnapShotCallback() = default;
    SnapShotCallback(const SnapShotCallback&) = delete;
    SnapShotCallback& operator=(const SnapShotCallback&) = delete;

    void SetTargetWindow(HWND window) { m_hTargetWindow = window; }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP SampleCB(double sampleTime, IMediaSample* sample) override;
    STDMETHODIMP BufferCB(double sampleTime, BYTE* buffer, long length) override;

private:
    HWND m_hTargetWindow;
};

/// Installs the capture layer's seams with the window layer: graph events are posted with PostMessage,
/// and renderer frames are drawn into their windows on the user-interface thread. Call on that thread;
/// repeated calls do nothing more.
void ConnectCaptureToWindows();
