#pragma once

#include "CaptureGraph.h"

#include "brevicam/core/StateSubjects.h"
#include "platform/image/CxImage.h"
#include "platform/win/Kernel.h"
#include "platform/win/WinTypes.h"

#include <atomic>
#include <functional>
#include <vector>

/// The state of the video device, announced on the controller's video-state subject.
enum EVideoState
{
    VS_RUNNING = 0,    ///< the webcam delivers the picture
    VS_IN_USE = 1,     ///< the webcam is used by another program
    VS_MISSING = 2,    ///< there is no supported video device
    VS_LOST = 3,       ///< the webcam was unplugged
    VS_RES_CHANGE = 4, ///< a change of the capture size is under way
};

/// The program's capture state, announced on the controller's program-state subject.
enum EProgState
{
    PS_GRAPH_RUNNING = 1,
    PS_READY = 2,
    PS_RESTARTING = 3, ///< never announced
    PS_INITIAL = 4,
    PS_RECORD_STARTING = 5,
    PS_RECORDING = 6,
    PS_RECORD_ERROR = 7,
    PS_RECORD_STOPPED = 8,
    PS_DEVICE_CHANGED = 9,
    PS_DEVICE_RESELECTED = 10,
    PS_MODE_CHANGED = 11,
    PS_SHOT_STARTED = 12,
    PS_SAVING_IMAGES = 13,
    PS_IMAGES_SAVED = 14,
    PS_RES_LOWERED_800 = 15,
    PS_RES_LOWERED_640 = 16,
    PS_GRAPH_RESTARTED = 17,
    PS_SAVE_FAILED = 18,
    PS_DISK_FULL = 19,
    PS_VMR_FAILED = 20,
    PS_FATAL = 21,
};

/// The one object through which the windows drive the webcam: it owns the capture graph for the whole
/// run, turns every outcome into an announcement on its two state subjects, takes photos and burst
/// series, and switches the graph between preview and recording.
///
/// Every operation runs on the user-interface thread and calls the observers synchronously. Failures of
/// the graph become states; only the exceptions named at an operation reach its caller. The operations
/// block the calling thread while the graph settles (500 ms after every run, 1250 ms more after a size
/// change, 1000 ms more before a recording's file starts).
class CCaptureController
{
public:
    /// Frames of a burst series reserved up front.
    static constexpr std::size_t kReservedBurstFrames = 20;
    /// A photo or burst frame needs this much free space in the photo folder's volume.
    static constexpr ULONGLONG kMinPhotoSpace = 1536000;
    /// How long the shutter sound may play after the last shot.
    static constexpr DWORD kSoundTimeoutMs = 4500;

    /// Builds the capture graph (which lists the devices and selects those of the settings) and starts
    /// the shutter-sound stop thread. No graph mode is built until StartPreview. Throws what the capture
    /// graph's constructor throws.
    CCaptureController();
    /// Ends the shutter-sound thread and destroys the subjects (observers are not told), the frames left
    /// and the graph. The caller has stopped the preview.
    ~CCaptureController();
    CCaptureController(const CCaptureController&) = delete;
    CCaptureController& operator=(const CCaptureController&) = delete;

    /// The window the picture is fitted into and refreshed after a size change: any window handle.
    void SetMainWindow(HWND window) { m_hMainWindow = window; }
    /// The window that receives WM_CAMERA_SNAPSHOT when the camera's own button is pressed.
    void SetSnapshotWindow(HWND window) { m_graph.SetOwnerWindow(window); }
    /// Fits the picture into its window, filling the height when `stretch`; nothing without a renderer.
    void FitVideoWindow(BOOL stretch);
    bool IsBurstRunning() const { return m_bBurstRunning; }
    int GetBurstImageCount() const { return static_cast<int>(m_burstImages.size()); }

    // Preview.
    /// Directs the graph's events to the main window of the settings store as WM_GRAPH_NOTIFY, then
    /// builds and runs the preview, trying the other cameras when the chosen one is busy. Raises
    /// `_com_error` when the graph has no event queue.
    void StartPreview();
    void StopPreview();
    /// StopPreview, only while the graph is in preview mode.
    void StopPreviewIfIdle();
    /// Stores the chosen device names in the settings and shows "video / audio" as the state message.
    void UpdateDeviceStatus();
    /// Runs the graph and waits until it has settled; a failure (or a graph that does not settle within
    /// about three seconds) is returned and announces nothing.
    HRESULT RunGraph();

    // Failure steps.
    void OnMissingVideo();
    void OnVideoInUse();
    void OnRendererFailure();
    /// Stops the graph, tells the user and ends the process with a non-zero code without saving the
    /// settings.
    [[noreturn]] void OnFatalError();

    // Devices, capture sizes and capture modes.
    /// Kind 1 video, 0 audio. Raises CVideoInUseException when the chosen camera is busy.
    void SelectDevice(int kind, int index);
    void SelectDevices(int videoIndex, int audioIndex);
    void RefreshDevices();
    void ChangeResolution(CResolution size);
    /// Capture mode 0 photo, 1 burst, 2 self-timer, 3 video, with the mode's size rules.
    void SetCamMode(int mode);

    // Photos, bursts and the self-timer.
    /// The capture button in the photo and burst modes; the photo format is read from the settings, the
    /// argument the windows pass is not used.
    void Shoot(int unused = 0);
    /// One tick of the capture windows' timer; false when the series or the shot failed.
    bool OnBurstTimer();
    /// Plays the shutter sound and decodes the frame on screen into `image`.
    bool TakeSnapshot(CxImage& image);
    /// Saves every frame of the series as a photo; false when the disk is too full or the photo folder
    /// is unusable.
    bool SaveBurstImages();

    // Recording and graph events.
    /// Starts a recording outside graph mode 1; in mode 1 stops it and announces `stateAfterStop` (when
    /// not 0) before PS_READY.
    void ToggleRecording(int stateAfterStop);
    /// Takes one event from the graph's queue and handles it; once per WM_GRAPH_NOTIFY.
    void OnGraphEvent();
    void OnDiskFull();
    void OnRecordFolderError();
    void OnCodecError();

    CBasicStateSubj<EVideoState>* m_pVideoState;
    CAdvStateSubj<EProgState>* m_pProgState;
    CCaptureGraph m_graph;

private:
    friend DWORD SoundStopThreadProc(LPVOID controller);

    void SetVideoState(EVideoState state) { m_pVideoState->SetState(state); }
    void SetProgState(EProgState state) { m_pProgState->SetState(state); }
    /// Stop and tear down: the graph stops and loses its mode's filters; a running series ends.
    void StopAndTearDown();
    /// Tears the graph down, lets `select` choose the devices and runs the preview again with the sizes of
    /// the camera; a missing camera or a renderer failure is announced and ends it there. A missing module
    /// ends the program with `fatalOnMissingModule`, and is raised otherwise.
    void RestartWithDevices(const std::function<void()>& select, bool fatalOnMissingModule);
    /// Builds the preview and runs it; a busy camera is raised as CVideoInUseException.
    void RebuildPreview();
    /// RunGraph, with a camera that another program holds raised as CVideoInUseException.
    HRESULT RunGraphChecked();
    /// After a busy camera: every camera in list order until one runs; false when the operation ended.
    bool TryOtherCameras();
    /// The offered sizes of the selected camera in the current capture mode.
    void OfferSizesForMode();
    void StopSoundThread();
    /// How saving one photo went; an unusable folder has announced PS_SAVE_FAILED and ended a series, and
    /// a failed write has shown its box.
    enum class SaveOutcome
    {
        Saved,
        Failed,
        FolderUnusable,
    };
    SaveOutcome SavePhoto(CxImage& image, bool async);
    /// Saves the frames of the series as photos and, when that was not stopped, announces
    /// PS_SAVING_IMAGES and makes the animated GIF.
    void SaveSeriesAndGif();
    /// The end of a series: frames dropped, burstRunning false, and the outcome announced.
    void EndSeries(bool frameFailed);
    void MakeAnimatedGif();
    void ClearBurstImages();
    void StartRecording();
    /// EC_DEVICE_LOST: `device` went (or came `back`).
    void OnDeviceLost(IUnknown* device, bool back);
    void StopRecording(int stateAfterStop);
    void PlayShutterSound();
    /// The photo mode's and the self-timer's shot: frame, photo, and its outcome announced.
    bool ShootOnePhoto(bool announceReady);
    void RemoveAttemptFile();

    bool m_bBurstRunning;
    std::vector<CxImage> m_burstImages;
    HWND m_hMainWindow;
    bool m_bGraphRunning;
    HINSTANCE m_hResourceModule;
    std::atomic<DWORD> m_soundTimeout;
    HANDLE m_hSoundKick;
    HANDLE m_hSoundQuit;
    HANDLE m_hSoundThread;
    /// How the saving of the series' frames went, for the announcement at its end.
    enum class SeriesOutcome
    {
        Saved,
        FrameFailed,   ///< a frame could not be written
        FolderRefused, ///< PS_SAVE_FAILED is announced already
    };
    SeriesOutcome m_seriesOutcome;
    /// The file a recording start is writing, removed when the start fails.
    CString m_attemptFile;
};

/// The shutter-sound stop thread: stops the sound 4.5 s after the last shot; ends on the quit event.
DWORD SoundStopThreadProc(LPVOID controller);

/// The box of a failed photo or GIF write: "Unable to save the %s file." with the path cut to 50
/// characters, and the free-space note when `addSpaceNote`.
void ShowSaveError(const CString& path, bool addSpaceNote);
