#include "LiveVideo.h"

#include "brevicam/capture/CaptureController.h"
#include "brevicam/capture/WindowlessRenderer.h"
#include "brevicam/core/ResourceInstance.h"
#include "platform/window/DC.h"
#include "platform/window/Extras.h"
#include "platform/window/WinGdi.h"

IMPLEMENT_DYNAMIC(CLiveVideo, CStatic)

BEGIN_MESSAGE_MAP(CLiveVideo, CStatic)
ON_WM_PAINT()
ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CLiveVideo::CLiveVideo(CCaptureController* controller)
    : m_pController(controller), m_hResourceInstance(AppResourceInstance()), m_crBackground(0)
{
    if (m_pController && m_pController->m_pVideoState)
    {
        m_pController->m_pVideoState->Attach(this);
        m_bAttached = true;
    }
}

CLiveVideo::~CLiveVideo()
{
    DetachFromController();
    if (m_hWnd && ::IsWindow(m_hWnd))
        DestroyWindow();
}

void CLiveVideo::SetBackgroundColor(COLORREF colour)
{
    m_crBackground = colour;
}

void CLiveVideo::Update(CSubject*) {}

void CLiveVideo::DetachFromController()
{
    if (!m_bAttached)
        return;
    m_bAttached = false;
    if (m_pController && m_pController->m_pVideoState)
        m_pController->m_pVideoState->Detach(this);
}

void CLiveVideo::PreSubclassWindow()
{
    CStatic::PreSubclassWindow();
    // The surface is opaque from its first moment: what the renderer has not drawn yet is black, never
    // the parent's background showing through.
    CRect client;
    GetClientRect(&client);
    CClientDC dc(this);
    dc.FillSolidRect(&client, RGB(0, 0, 0));
    // Every pixel is the surface's own, so the window under it need not be drawn for each frame.
    platform::window::SetWindowOpaque(m_hWnd);
    // A surface given a window again after losing its first one observes the video state again.
    if (!m_bAttached && m_pController && m_pController->m_pVideoState)
    {
        m_pController->m_pVideoState->Attach(this);
        m_bAttached = true;
    }
}

void CLiveVideo::PostNcDestroy()
{
    // The controller may be torn down before this object: it is let go with the window.
    DetachFromController();
    CStatic::PostNcDestroy();
}

BOOL CLiveVideo::OnEraseBkgnd(CDC*)
{
    return FALSE;
}

void CLiveVideo::OnPaint()
{
    {
        CPaintDC dc(this);
        try
        {
            PaintState(dc);
        }
        catch (...)
        {
            // A failed paint leaves the last picture; the next paint tries again.
        }
    }
    if (HWND parent = ::GetParent(m_hWnd))
        ::PostMessage(parent, WM_LIVE_VIDEO_PAINTED, 0, 0);
}

void CLiveVideo::PaintState(CDC& dc)
{
    CRect client;
    GetClientRect(&client);
    if (!m_pController || !m_pController->m_pVideoState)
    {
        dc.FillSolidRect(&client, RGB(0, 0, 0));
        return;
    }
    switch (m_pController->m_pVideoState->m_state)
    {
    case VS_RUNNING:
    case VS_RES_CHANGE:
        dc.FillSolidRect(&client, m_crBackground);
        if (CWindowlessRenderer* renderer = m_pController->m_graph.GetRenderer())
            renderer->Repaint();
        break;
    case VS_IN_USE:
        ShowMessage(kInUseTextId);
        break;
    case VS_MISSING:
        ShowMessage(kMissingTextId);
        break;
    case VS_LOST:
    {
        CDevicesSubj& devices = m_pController->m_graph.GetVideoDevices();
        if (devices.GetCount() == 0)
            devices.SetSelectionNone();
        const int selection = devices.GetSelection();
        // While the lost camera is still the chosen one, its last picture stays.
        if (selection < 0 || selection >= devices.GetCount())
            ShowMessage(kLostTextId);
        break;
    }
    default:
        break;
    }
}

void CLiveVideo::ShowMessage(UINT textId)
{
    CClientDC dc(this);
    CRect client;
    GetClientRect(&client);
    dc.FillSolidRect(&client, RGB(0, 0, 0));

    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ::ReleaseDC(nullptr, screen);
    const int height = dpi == 120 ? 144 : 120;
    CRect text(0, client.Height() / 4 - height / 4, client.Width(), 0);
    text.bottom = text.top + height;

    CString message;
    message.LoadString(m_hResourceInstance, textId);
    dc.SetTextColor(RGB(255, 255, 255));
    dc.SetBkMode(TRANSPARENT);
    dc.DrawText(message, &text, DT_CENTER | DT_WORDBREAK);
}
