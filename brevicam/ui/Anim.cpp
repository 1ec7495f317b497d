#include "brevicam/ui/Anim.h"

#include "brevicam/core/Params.h"

namespace
{
constexpr DWORD kSecondsLabelStyle =
    WS_CHILD | WS_VISIBLE | WS_GROUP | SS_NOTIFY | SS_CENTERIMAGE | SS_CENTER;
constexpr COLORREF kSecondsColour = 0x0A0A28;
constexpr int kSecondsLabelSize = 20;
} // namespace

BEGIN_MESSAGE_MAP(CAnim, CStatic)
END_MESSAGE_MAP()

CAnim::~CAnim() = default;

void CAnim::HideCountdown()
{
    ShowWindow(SW_HIDE);
    if (m_seconds.GetSafeHwnd())
        m_seconds.DestroyWindow();
}

void CAnim::Update(UINT elapsedMs)
{
    int mode = 0;
    int delaySeconds = 0;
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        mode = g_params.m_CamMode;
    }
    if (mode == 0 || mode == 3)
    {
        HideCountdown();
        return;
    }
    if (mode != 1 && mode != 2)
        return;
    if (mode == 2)
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        delaySeconds = g_params.m_NbSeconds;
    }

    if (elapsedMs != 0 && (mode == 2 || elapsedMs < kBurstCountdownMs))
    {
        ShowWindow(SW_SHOW);
        if (!m_seconds.GetSafeHwnd())
        {
            m_seconds.Create("", kSecondsLabelStyle, CRect(0, 0, kSecondsLabelSize, kSecondsLabelSize), this,
                             kSecondsLabelId);
            m_seconds.SetTransparent(TRUE);
            m_seconds.SetTextColor(kSecondsColour, 255);
        }
        const long long total = mode == 1 ? kBurstCountdownMs : static_cast<long long>(delaySeconds) * 1000;
        const long long left = (total - static_cast<long long>(elapsedMs)) / 1000 + 1;
        CString text;
        text.Format("%lld", left);
        m_seconds.SetText(text);
    }
    else
    {
        HideCountdown();
    }

    m_image.DeleteObject();
    switch (elapsedMs % 1000)
    {
    case 0:
        m_image.LoadBitmap(kPhaseBitmaps[0]);
        break;
    case 250:
        m_image.LoadBitmap(kPhaseBitmaps[1]);
        break;
    case 500:
        m_image.LoadBitmap(kPhaseBitmaps[2]);
        break;
    case 750:
        m_image.LoadBitmap(kPhaseBitmaps[3]);
        break;
    default:
        break;
    }
    SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(static_cast<HBITMAP>(m_image)));
}
