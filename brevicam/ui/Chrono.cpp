#include "brevicam/ui/Chrono.h"

#include "brevicam/capture/CaptureController.h"
#include "brevicam/core/Params.h"

BEGIN_MESSAGE_MAP(CChrono, CLabel)
ON_WM_DESTROY()
END_MESSAGE_MAP()

CChrono::~CChrono() = default;

void CChrono::SetController(CCaptureController* controller)
{
    m_pController = controller;
}

void CChrono::Display(UINT elapsedMs)
{
    int mode = 0;
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        mode = g_params.m_CamMode;
    }
    CString text;
    switch (mode)
    {
    case 0:
    case 2:
        ShowWindow(SW_HIDE);
        return;
    case 1:
    {
        if (elapsedMs >= 1 && elapsedMs < kBurstCountdownMs)
        {
            ShowWindow(SW_HIDE);
            return;
        }
        ShowWindow(SW_SHOW);
        int shots = 0;
        {
            CSingleLock lock(&g_params.m_cs, TRUE);
            shots = g_params.m_NbPictures;
        }
        if (elapsedMs != 0 && m_pController)
            shots -= m_pController->GetBurstImageCount();
        text.Format("%d", shots);
        break;
    }
    case 3:
    {
        ShowWindow(SW_SHOW);
        const UINT seconds = elapsedMs / 1000;
        text.Format("%02u:%02u:%02u", seconds / 3600, seconds % 3600 / 60, seconds % 60);
        break;
    }
    default:
        return;
    }
    UpdateText(text);
}

void CChrono::OnDestroy()
{
    CLabel::OnDestroy();
    m_bitmap.DeleteObject();
}
