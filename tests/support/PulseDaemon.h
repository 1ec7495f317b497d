#pragma once

#include "TempDir.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace testing_support
{
/// A private PulseAudio server for one test: its own runtime, home and state folders in a temporary
/// folder, its socket there, no D-Bus, no autospawn. Works as root and as a normal user. While it lives,
/// PULSE_SERVER (and the client's cookie and configuration) point the process and the programs it starts
/// at this server; the previous values come back on destruction, which stops the server.
///
/// It starts with a null sink (whose monitor is not a capture device) and three capture sources, in this
/// order: a 440 Hz sine, a 1000 Hz sine, and a stereo 1000 Hz sine carrying a webcam's USB ids and a long
/// description. The sines play at half of full scale, in real time, from sinks of their own (whose monitors
/// are not capture devices either).
class PulseDaemon
{
public:
    static constexpr const char* kNullSink = "null_sink";
    static constexpr const char* kTone440Sink = "tone440";
    static constexpr const char* kTone1000Sink = "tone1000";
    static constexpr const char* kSine440 = "sine440";   ///< 22050 Hz mono, the default source
    static constexpr const char* kSine1000 = "sine1000"; ///< 44100 Hz mono
    static constexpr const char* kWebcam = "webcam_mic"; ///< 44100 Hz stereo
    static constexpr const char* kSine440Description = "Sine 440 Hz";
    static constexpr const char* kSine1000Description = "Sine 1000 Hz";
    static constexpr const char* kWebcamVendorId = "046d";
    static constexpr const char* kWebcamProductId = "0825";
    static constexpr const char* kWebcamSerial = "WEBCAM0001";
    /// 40 bytes; its 31st byte falls inside a two-byte character.
    static constexpr const char* kWebcamDescription = "Webcam Microphone Analogue \xc3\x91o\xc3\xb1o Stereo";

    /// Starts the server and waits until it answers; throws std::runtime_error with its log when it does not.
    PulseDaemon();
    ~PulseDaemon();
    PulseDaemon(const PulseDaemon&) = delete;
    PulseDaemon& operator=(const PulseDaemon&) = delete;

    /// The value PULSE_SERVER has while the server lives.
    const std::string& Server() const { return m_server; }

    /// Runs pactl with `args` against this server; its exit status (-1 when it could not run or hung), its
    /// standard output and error in `output`.
    int Pactl(const std::vector<std::string>& args, std::string* output = nullptr) const;
    /// Loads a module; its index, or -1.
    int LoadModule(const std::string& name, const std::string& arguments) const;
    bool UnloadModule(int index) const;
    /// The raw channel volumes pactl reports for a source: the independent view of what a library wrote.
    std::vector<unsigned> SourceVolumes(const std::string& source) const;
    /// Whether pactl reports the source muted.
    bool SourceMuted(const std::string& source) const;
    /// The index of the module that owns the source, or -1.
    int ModuleOfSource(const std::string& sourceName) const;
    /// The module arguments the webcam source was loaded with (module-remap-source), to load it again.
    static std::string WebcamModuleArguments();

    /// What the server logged so far.
    std::string Log() const;

private:
    void Stop();

    TempDir m_dir;
    std::string m_server;
    pid_t m_pid = -1;
    struct SavedVariable
    {
        std::string name;
        bool present = false;
        std::string value;
    };
    std::vector<SavedVariable> m_saved;
};

/// Runs a program (found on PATH) and collects its standard output and error; its exit status, or -1 when
/// it could not start or did not end within `timeoutMs` (then it is killed).
int RunProgram(const std::vector<std::string>& argv, std::string* output = nullptr, int timeoutMs = 10000);
} // namespace testing_support
