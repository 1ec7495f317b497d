#include "VolumeIndicator.h"

#include "miravoc/Miravoc.h"
#include "platform/commctrl/Progress.h"
#include "platform/ostrago/Ostrago.h"

BEGIN_MESSAGE_MAP(CVolumeIndicator, CProgressCtrlST)
ON_WM_TIMER()
ON_WM_DESTROY()
END_MESSAGE_MAP()

CVolumeIndicator::~CVolumeIndicator()
{
    if (m_bMetering && !isWindowsVista())
        EnableVolumeMetering(false);
    m_bMetering = false;
}

void CVolumeIndicator::SetMetering(BOOL on)
{
    if (on)
    {
        if (!isWindowsVista())
        {
            EnableVolumeMetering(true);
            m_bMetering = true;
        }
        if (m_hWnd)
            SetTimer(kMeterTimerId, kMeterPeriodMs);
    }
    else
    {
        if (m_hWnd)
            KillTimer(kMeterTimerId);
        if (!isWindowsVista())
            EnableVolumeMetering(false);
        m_bMetering = false;
    }
}

void CVolumeIndicator::OnTimer(UINT_PTR id)
{
    if (id != kMeterTimerId)
        return;
    DWORD level = GetVolumeMeterValue();
    if (level == 1)
        level = 2;
    // Any non-zero mute reads as muted, 0xFFFFFFFF (unreadable) too, as the mute buttons read it.
    if (GetVolumeMute() != 0 && IsMuteAvailable())
        level = 0;
    const int position = static_cast<int>(level > 100 ? 100 : level);
    if (position != static_cast<int>(SendMessage(PBM_GETPOS)))
    {
        SetPos(position);
        Invalidate(TRUE);
    }
}

void CVolumeIndicator::OnDestroy()
{
    KillTimer(kMeterTimerId);
    if (m_bMetering && !isWindowsVista())
        EnableVolumeMetering(false);
    m_bMetering = false;
    Default();
}
