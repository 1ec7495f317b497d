#include "brevicam/ui/CaptureSteps.h"

#include "brevicam/capture/CaptureController.h"
#include "brevicam/core/Params.h"
#include "brevicam/core/SkinMessageBox.h"
#include "platform/ostrago/Ostrago.h"
#include "resources/brevicam/resource.h"

bool EnsurePhotoSpace(HWND owner, HWND captureButton)
{
    if (GetAvailableSpace(g_params.GetPhotoPath().GetString()).QuadPart >= CCaptureController::kMinPhotoSpace)
        return true;
    if (captureButton)
        ::SendMessage(captureButton, BM_SETCHECK, BST_UNCHECKED, 0);
    SkinMessageBoxId(owner, IDS_NOT_ENOUGH_SPACE, CParams::GetAppTitle().GetString(), MB_ICONERROR);
    return false;
}

UINT BurstFramePeriodMs()
{
    int perSecond = 1;
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        perSecond = g_params.m_ImagesPerSecond;
    }
    return 1000 / static_cast<UINT>(perSecond > 0 ? perSecond : 1);
}

int SelfTimerDelayMs()
{
    CSingleLock lock(&g_params.m_cs, TRUE);
    return g_params.m_NbSeconds * 1000;
}

bool FilterCapturePress(const MSG& press)
{
    // The release of this very press stays queued: handled before the press, it would leave the button
    // down and the click would never come.
    MSG queued;
    for (UINT message : {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK})
        while (::PeekMessage(&queued, press.hwnd, message, message, PM_REMOVE))
        {
        }
    if (press.time >= GetTickCount())
        return false;
    ::SendMessage(press.hwnd, BM_SETCHECK, BST_UNCHECKED, 0);
    return true;
}
