#pragma once

#include "platform/wave/MMSystem.h"
#include "platform/win/CString.h"
#include "platform/win/WinTypes.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/// What the engine reports through its event callback (the callback's second argument).
enum AudioEngineEvent : DWORD
{
    AUDIO_EVENT_VOLUME_CHANGED = 0,      ///< value: the new volume of the control in use
    AUDIO_EVENT_DEVICE_LOST = 1,         ///< value 0: capture stopped because the device went away
    AUDIO_EVENT_DEVICE_LIST_CHANGED = 2, ///< value 0: a device arrived or left; the list is already fresh
    AUDIO_EVENT_DEVICE_CLOSED = 3,       ///< value 0: the open device was closed
};

/// The event callback: (value, type). It runs on the thread that raised the event: the user-interface
/// thread for volume changes, an engine thread otherwise. It may call the engine.
using AudioEngineCallback = void (*)(DWORD value, DWORD type);

/// The microphone through the wave-in and mixer functions: the list of capture devices, the open device in
/// the first preferred PCM format it offers, the volume and mute of its mixer line, a smoothed input level
/// from two small capture buffers, and device arrivals and removals. One exists per library; it is made
/// and destroyed on the user-interface thread, which serves its hidden window. The public operations are
/// called on that thread; the engine's own threads close devices, watch the device list and re-queue
/// capture buffers.
class CAudioDeviceEngine
{
public:
    /// One listed capture device.
    struct Device
    {
        UINT id = 0;             ///< its wave-in device number
        WAVEINCAPSA caps{};      ///< its capabilities; the product name is cut to 31 bytes
        std::string fullName;    ///< its whole name, of which the product name is the beginning
        std::string displayName; ///< the audio-mixer library's name of it (Windows Vista), else empty
    };

    /// Makes the hidden window, starts the three engine threads and lists the devices. Throws
    /// COSResourceException when the hidden window cannot be made (no user-interface thread here).
    CAudioDeviceEngine();
    ~CAudioDeviceEngine();
    CAudioDeviceEngine(const CAudioDeviceEngine&) = delete;
    CAudioDeviceEngine& operator=(const CAudioDeviceEngine&) = delete;

    /// Lists the capture devices again.
    void RefreshDeviceList();
    /// The listed device numbers, names and capabilities.
    std::vector<Device> GetDevices() const;
    /// The number of the first listed device whose product name or whole name equals `name` byte for
    /// byte; -1 when none does.
    int FindDeviceByName(const char* name) const;
    /// Makes the named device the preferred one (WAVE_MAPPER, -1, when there is none of that name) and
    /// returns its number.
    int SelectDeviceByName(const char* name);
    void SetPreferredDevice(int index);
    /// Opens device `index` (-2: the preferred one; -1: the system's default) with its mixer controls and,
    /// when metering is wanted, starts metering. False when a step fails; what opened before the failing
    /// step stays open until the next Open or Close. On Windows Vista hands the device to the audio-mixer
    /// library instead (-2 then means device 0).
    bool Open(int index);
    /// Closes the open device (its capture ends on the closer thread) and reports AUDIO_EVENT_DEVICE_CLOSED.
    /// Safe when nothing is open.
    void Close();
    /// The open device's number, looked up again by name; the preferred number when none is open.
    int GetOpenDeviceIndex();
    /// The open device's product name into `dst` (at most `len` bytes with the terminator); "N/A" and false
    /// when none is open.
    bool GetOpenDeviceName(char* dst, int len) const;
    /// The product name of device `index` into `dst` (at most `len` bytes and 32 with the terminator); "0"
    /// and false when the device cannot be asked.
    static bool GetDeviceName(int index, char* dst, size_t len);
    /// The whole name of device `index` (the product name when it has no longer one); empty when the
    /// device cannot be asked.
    static std::string GetDeviceFullName(int index);
    unsigned GetDeviceCount() const;

    /// Volume and mute of the open device's line: 0xFFFFFFFF for what cannot be read. Writes outside the
    /// control's bounds are ignored.
    DWORD GetCurrentVolume();
    void SetCurrentVolume(DWORD volume);
    DWORD GetVolumeMute();
    void SetVolumeMute(DWORD mute);
    DWORD GetMinimalVolume() const;
    DWORD GetMaximalVolume() const;
    bool IsVolumeAvailable() const { return m_volumeAvailable.load(); }
    /// Whether the wave-in line of the last opened device has a volume control.
    bool IsDestinationVolumeFound() const { return m_destinationVolumeFound.load(); }
    bool IsMuteAvailable() const { return m_muteAvailable.load(); }

    /// Starts capturing into the level buffers (and keeps doing so on later opens); false without an open
    /// device or when capture cannot start.
    bool StartMetering();
    /// Stops re-queueing the level buffers and withdraws the standing request; always true.
    bool StopMetering();
    /// The smoothed input level 0 to 100; 0 unless metering runs on an open device.
    int GetMeterLevel() const;

    /// Replaces the callback (null removes it). Returns once no call of the previous callback runs any more
    /// (apart from the one that calls this, when a callback does), so that what it reaches may go away.
    void SetEventCallback(AudioEngineCallback callback);

    /// Remembers the webcam's USB vendor and product id texts and looks up its microphone model.
    void SetMicVidPid(const char* vid, const char* pid);
    CString GetMicVendorId() const;
    CString GetMicProductId() const;
    CString GetMicModelName() const;

    /// Closes the device, stops and joins the threads, closes every device still waiting to be closed and
    /// destroys the hidden window. Idempotent.
    void Shutdown();

    /// The level one capture buffer shows, 0 to 100: its peak-to-peak range (8-bit: its largest swing
    /// within the first 100 bytes) on a 40 dB-per-e logarithmic scale, 100 at full scale.
    static int LevelOfBuffer(const BYTE* data, DWORD bytes, WORD bitsPerSample);

private:
    struct Session;
    enum Thread : int
    {
        CLOSER = 0,
        WATCHER = 1,
        REQUEUE = 2,
    };

    static LRESULT WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static void WaveInProc(HWAVEIN handle, UINT msg, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);

    bool OpenVista(int index);
    bool OpenMixer(int index, const WAVEINCAPSA& caps);
    bool FindControl(DWORD lineId, DWORD type, MIXERCONTROLA& control) const;
    bool CloseLocked();
    void CloseMixer();
    void OnBufferDone(Session& session, WAVEHDR& header);
    void Raise(DWORD value, AudioEngineEvent type);
    bool HasEventCallback();
    void Wake(Thread thread);
    void RunThread(Thread thread);
    void CloseQueued();
    void WatchDevices();
    void Requeue();
    static void CloseSession(std::unique_ptr<Session> session);
    DWORD ReadControl(DWORD controlId);
    bool WriteControl(DWORD controlId, DWORD value);
    DWORD VolumeControlId() const;

    // Device lists, replaced whole by RefreshDeviceList.
    mutable std::mutex m_listLock;
    std::vector<Device> m_devices;

    std::atomic<bool> m_volumeAvailable{false};
    std::atomic<bool> m_destinationVolumeFound{false};
    std::atomic<bool> m_muteAvailable{false};
    bool m_useSourceVolume = false;
    std::atomic<bool> m_meteringRunning{false};
    std::atomic<bool> m_meteringWanted{true};
    int m_preferredIndex = -1;
    std::atomic<int> m_openIndex{-2};
    DWORD m_sourceVolumeMin = 0;
    DWORD m_sourceVolumeMax = 0;
    DWORD m_channels = 1;
    DWORD m_destinationVolumeMin = 0;
    DWORD m_destinationVolumeMax = 0;
    DWORD m_muteMin = 0;
    DWORD m_muteMax = 0;
    std::atomic<float> m_level{0.0f};
    WAVEINCAPSA m_openCaps{};

    std::atomic<HWAVEIN> m_hWaveIn{nullptr};
    std::unique_ptr<Session> m_session; // the open device's capture; under m_lock
    std::atomic<HMIXER> m_hMixer{nullptr};
    UINT m_mixerId = 0;
    int m_microphoneSource = -1;
    DWORD m_sourceVolumeControlId = 0;
    DWORD m_destinationLineId = 0;
    DWORD m_destinationVolumeControlId = 0;
    DWORD m_muteControlId = 0;

    HWND m_hWnd = nullptr;
    // The callback and the calls of it that run, which SetEventCallback waits for.
    std::mutex m_callbackLock;
    std::condition_variable m_callbackIdle;
    AudioEngineCallback m_callback = nullptr; // under m_callbackLock
    int m_callbacksRunning = 0;               // under m_callbackLock

    // Serialises Close with the re-queue thread and the closer's taking from the queue.
    std::recursive_timed_mutex m_lock;
    std::array<HANDLE, 3> m_wake{};
    std::array<HANDLE, 3> m_idle{};
    std::array<std::thread, 3> m_threads;
    HANDLE m_quit = nullptr;
    std::deque<std::unique_ptr<Session>> m_closeQueue; // under m_lock

    mutable std::mutex m_micLock;
    CString m_micVendorId;
    CString m_micProductId;
    CString m_micModelName;
    bool m_shutDown = false;
};
