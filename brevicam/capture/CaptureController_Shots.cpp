// The capture controller's still pictures: single photos, burst series that become animated GIFs, the
// self-timer shot, and the shutter sound with its stop thread.

#include "CaptureController.h"
#include "CaptureInternal.h"

#include "brevicam/core/Params.h"
#include "brevicam/core/ResourceInstance.h"
#include "brevicam/core/SkinMessageBox.h"
#include "brevicam/media/GIFConversionTask.h"
#include "brevicam/media/PhotoResizeTask.h"
#include "platform/image/Dib.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/wave/MMSystem.h"
#include "platform/window/WinUser.h"
#include "platform/window/Wnd.h"
#include "resources/brevicam/resource.h"

#include <cstring>

using namespace capture_detail;

namespace
{
constexpr DWORD kSoundFlags = SND_ASYNC | SND_NODEFAULT | SND_FILENAME;
/// No frame of a webcam comes near this; a header that claims more is not believed.
constexpr std::size_t kMaxFrameBytes = std::size_t{256} << 20;

CWnd* AppMainCWnd()
{
    HWND main = AppMainWindow();
    return main ? CWnd::FromHandle(main) : nullptr;
}
} // namespace

// ---------------------------------------------------------------------------------------------------------
// Frames
// ---------------------------------------------------------------------------------------------------------

void CCaptureController::PlayShutterSound()
{
    m_soundTimeout = kSoundTimeoutMs;
    if (m_hSoundKick)
        SetEvent(m_hSoundKick);
    PlaySoundA(nullptr, nullptr, kSoundFlags);
    const CString file = g_params.GetSoundFile();
    PlaySoundA(file.GetString(), nullptr, kSoundFlags);
}

bool CCaptureController::TakeSnapshot(CxImage& image)
{
    CDevicesSubj& cameras = m_graph.GetVideoDevices();
    if (cameras.GetCount() == 0)
        cameras.SetSelectionNone();
    if (!cameras.HasSelection())
        return false;
    CWindowlessRenderer* renderer = m_graph.GetRenderer();
    if (!renderer)
        return false;
    int sound = 0;
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        sound = g_params.m_CameraSound;
    }
    if (sound != 0)
        PlayShutterSound();
    const BYTE* block = renderer->GetCurrentImage();
    if (!block)
        return false;
    // The block's length is what its header describes; the decoder gets no byte beyond it.
    BITMAPINFOHEADER header;
    std::memcpy(&header, block, sizeof header);
    const std::size_t length = platform::image::PackedDibSize(header, kMaxFrameBytes);
    const bool decoded = length != 0 && image.Decode(block, static_cast<DWORD>(length), CXIMAGE_FORMAT_BMP);
    renderer->FreeCurrentImage();
    return decoded;
}

// ---------------------------------------------------------------------------------------------------------
// Photos
// ---------------------------------------------------------------------------------------------------------

CCaptureController::SaveOutcome CCaptureController::SavePhoto(CxImage& image, bool async)
{
    CPhotoResizeTask task(AppMainCWnd());
    task.SetAsync(async ? 1 : 0);
    task.Save(&image, m_graph.GetResolution());
    switch (task.GetResult())
    {
    case 0:
        return SaveOutcome::Saved;
    case -3:
        SetProgState(PS_SAVE_FAILED);
        m_bBurstRunning = false;
        return SaveOutcome::FolderUnusable;
    case -4:
        ShowSaveError(task.GetFileName(), false);
        return SaveOutcome::Failed;
    default:
        // The work failed or the frame was not a picture: nothing was written.
        return SaveOutcome::Failed;
    }
}

bool CCaptureController::ShootOnePhoto(bool announceReady)
{
    // Emptied before the frame is taken, so that a shot without a frame never selects older photos.
    g_params.ClearLastFiles();
    CxImage image(CXIMAGE_FORMAT_UNKNOWN);
    SaveOutcome outcome = SaveOutcome::Failed;
    if (TakeSnapshot(image))
        outcome = SavePhoto(image, m_graph.GetResolution().m_interpolated > 0);
    if (outcome == SaveOutcome::FolderUnusable)
        return false;
    SetProgState(outcome == SaveOutcome::Saved ? PS_IMAGES_SAVED : PS_SAVE_FAILED);
    if (announceReady)
        SetProgState(PS_READY);
    return outcome == SaveOutcome::Saved;
}

void CCaptureController::Shoot(int /*unused*/)
{
    switch (g_params.GetCamMode())
    {
    case 0:
        ShootOnePhoto(false);
        m_bBurstRunning = false;
        break;
    case 1:
        if (!m_bBurstRunning)
        {
            // A new series never carries frames of an earlier one.
            ClearBurstImages();
            SetProgState(PS_SHOT_STARTED);
            m_bBurstRunning = true;
        }
        else
        {
            m_seriesOutcome = SeriesOutcome::Saved;
            if (!m_burstImages.empty())
                SaveSeriesAndGif();
            else
                g_params.ClearLastFiles();
            EndSeries(false);
        }
        break;
    default:
        break;
    }
}

bool CCaptureController::OnBurstTimer()
{
    switch (g_params.GetCamMode())
    {
    case 1:
    {
        m_burstImages.emplace_back(CXIMAGE_FORMAT_UNKNOWN);
        m_seriesOutcome = SeriesOutcome::Saved;
        if (!TakeSnapshot(m_burstImages.back()))
        {
            m_burstImages.pop_back();
            SaveSeriesAndGif();
            EndSeries(true);
            return false;
        }
        int pictures = 0;
        {
            CSingleLock lock(&g_params.m_cs, TRUE);
            pictures = g_params.m_NbPictures;
        }
        // "or more": a count lowered during a series, or one of 0, still ends it.
        if (static_cast<int>(m_burstImages.size()) >= pictures)
        {
            SaveSeriesAndGif();
            EndSeries(false);
        }
        return true;
    }
    case 2:
        return ShootOnePhoto(true);
    default:
        return true;
    }
}

// ---------------------------------------------------------------------------------------------------------
// Burst series
// ---------------------------------------------------------------------------------------------------------

bool CCaptureController::SaveBurstImages()
{
    g_params.ClearLastFiles();
    for (CxImage& frame : m_burstImages)
    {
        const CString folder = g_params.GetPhotoPath();
        if (GetAvailableSpace(folder.GetString()).QuadPart < kMinPhotoSpace)
        {
            SkinMessageBoxId(ActiveWindowOfMainThread(), IDS_NOT_ENOUGH_SPACE,
                             CParams::GetAppTitle().GetString(), MB_ICONHAND);
            return false;
        }
        // Every frame is saved on this thread, without a wait window, whatever the size.
        switch (SavePhoto(frame, false))
        {
        case SaveOutcome::Saved:
            break;
        case SaveOutcome::FolderUnusable:
            m_seriesOutcome = SeriesOutcome::FolderRefused;
            return false;
        case SaveOutcome::Failed:
            m_seriesOutcome = SeriesOutcome::FrameFailed;
            break;
        }
    }
    return true;
}

void CCaptureController::SaveSeriesAndGif()
{
    if (SaveBurstImages())
    {
        SetProgState(PS_SAVING_IMAGES);
        MakeAnimatedGif();
    }
}

void CCaptureController::MakeAnimatedGif()
{
    CGIFConversionTask task(AppMainCWnd());
    task.Convert(m_burstImages);
}

void CCaptureController::EndSeries(bool frameFailed)
{
    m_bBurstRunning = false;
    ClearBurstImages();
    // A series whose frames were not all saved is a failed save, never "images saved"; a refused
    // folder has said so already.
    if (m_seriesOutcome != SeriesOutcome::FolderRefused)
        SetProgState(frameFailed || m_seriesOutcome == SeriesOutcome::FrameFailed ? PS_SAVE_FAILED
                                                                                  : PS_IMAGES_SAVED);
    SetProgState(PS_READY);
    m_seriesOutcome = SeriesOutcome::Saved;
}

void CCaptureController::ClearBurstImages()
{
    m_burstImages.clear();
}

// ---------------------------------------------------------------------------------------------------------
// Messages and the shutter sound
// ---------------------------------------------------------------------------------------------------------

void ShowSaveError(const CString& path, bool addSpaceNote)
{
    CString text = LoadStringWithText(IDS_UNABLE_TO_SAVE, CParams::CompactPath(path, 50));
    if (addSpaceNote)
    {
        text += "\n";
        text += LoadText(AppResourceInstance(), IDS_NOT_ENOUGH_SPACE);
    }
    SkinMessageBox(ActiveWindowOfMainThread(), text.GetString(), CParams::GetAppTitle().GetString(),
                   MB_ICONHAND);
}

DWORD SoundStopThreadProc(LPVOID parameter)
{
    auto* controller = static_cast<CCaptureController*>(parameter);
    const HANDLE events[2] = {controller->m_hSoundKick, controller->m_hSoundQuit};
    for (;;)
    {
        const DWORD result = WaitForMultipleObjects(2, events, FALSE, controller->m_soundTimeout.load());
        if (result == WAIT_OBJECT_0 + 1)
            return 0;
        if (result == WAIT_TIMEOUT)
            PlaySoundA(nullptr, nullptr, kSoundFlags);
        else if (result != WAIT_OBJECT_0)
            return 0; // the events are gone: waiting again would spin
    }
}
