#include "PostedMessages.h"

#include "platform/wave/MMSystem.h"
#include "platform/win/Kernel.h"
#include "tests/support/PulseDaemon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using testing_support::PulseDaemon;

namespace
{
constexpr UINT kSine440 = 0;
constexpr UINT kSine1000 = 1;
constexpr UINT kWebcam = 2;

WAVEFORMATEX Pcm(DWORD rate, WORD bits, WORD channels)
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

std::string DeviceName(UINT id)
{
    WAVEINCAPSA caps{};
    if (waveInGetDevCapsA(id, &caps, sizeof caps) != MMSYSERR_NOERROR)
        return "<none>";
    return caps.szPname;
}

std::string InterfacePath(UINT id)
{
    ULONG bytes = 0;
    if (waveInMessage(reinterpret_cast<HWAVEIN>(static_cast<UINT_PTR>(id)), DRV_QUERYDEVICEINTERFACESIZE,
                      reinterpret_cast<DWORD_PTR>(&bytes), 0) != MMSYSERR_NOERROR)
        return "<none>";
    std::vector<WCHAR> path(bytes / sizeof(WCHAR));
    if (waveInMessage(reinterpret_cast<HWAVEIN>(static_cast<UINT_PTR>(id)), DRV_QUERYDEVICEINTERFACE,
                      reinterpret_cast<DWORD_PTR>(path.data()), bytes) != MMSYSERR_NOERROR)
        return "<none>";
    std::string narrow;
    for (const WCHAR c : path)
    {
        if (c == 0)
            break;
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return narrow;
}

// What a CALLBACK_FUNCTION client sees: every message, the returned buffers, and the recorded bytes.
// Buffers are queued again from the callback until `wantBytes` have come.
struct Capture
{
    std::mutex lock;
    std::condition_variable changed;
    int opens = 0;
    int closes = 0;
    std::vector<WAVEHDR*> returned;
    std::vector<char> bytes;
    size_t wantBytes = 0;

    template <class Pred> bool WaitUntil(Pred pred, int timeoutMs = 5000)
    {
        std::unique_lock held(lock);
        return changed.wait_for(held, std::chrono::milliseconds(timeoutMs), pred);
    }

    static void Proc(HWAVEIN handle, UINT msg, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR)
    {
        auto* self = reinterpret_cast<Capture*>(instance);
        std::lock_guard held(self->lock);
        if (msg == WIM_OPEN)
            ++self->opens;
        else if (msg == WIM_CLOSE)
            ++self->closes;
        else if (msg == WIM_DATA)
        {
            auto* header = reinterpret_cast<WAVEHDR*>(param1);
            EXPECT_TRUE(header->dwFlags & WHDR_DONE);
            EXPECT_FALSE(header->dwFlags & WHDR_INQUEUE);
            self->bytes.insert(self->bytes.end(), header->lpData, header->lpData + header->dwBytesRecorded);
            self->returned.push_back(header);
            if (self->bytes.size() < self->wantBytes)
                waveInAddBuffer(handle, header, sizeof(WAVEHDR));
        }
        self->changed.notify_all();
    }
};

// Buffers with their headers, prepared on a handle.
struct Buffers
{
    Buffers(HWAVEIN h, size_t count, DWORD bytes)
        : handle(h), data(count, std::vector<char>(bytes)), headers(count)
    {
        for (size_t i = 0; i < count; ++i)
        {
            headers[i] = {};
            headers[i].lpData = data[i].data();
            headers[i].dwBufferLength = bytes;
            EXPECT_EQ(waveInPrepareHeader(handle, &headers[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        }
    }
    void AddAll()
    {
        for (auto& h : headers)
            ASSERT_EQ(waveInAddBuffer(handle, &h, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    void UnprepareAll()
    {
        for (auto& h : headers)
            EXPECT_EQ(waveInUnprepareHeader(handle, &h, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    HWAVEIN handle;
    std::vector<std::vector<char>> data;
    std::vector<WAVEHDR> headers;
};

// First-channel samples scaled to 16 bits.
std::vector<int> Samples(const std::vector<char>& bytes, const WAVEFORMATEX& f)
{
    std::vector<int> out;
    for (size_t i = 0; i + f.nBlockAlign <= bytes.size(); i += f.nBlockAlign)
    {
        if (f.wBitsPerSample == 8)
            out.push_back((static_cast<unsigned char>(bytes[i]) - 128) * 256);
        else
        {
            std::int16_t s;
            std::memcpy(&s, &bytes[i], sizeof s);
            out.push_back(s);
        }
    }
    return out;
}

double Frequency(const std::vector<int>& samples, DWORD rate)
{
    int rising = 0;
    for (size_t i = 1; i < samples.size(); ++i)
    {
        if (samples[i - 1] < 0 && samples[i] >= 0)
            ++rising;
    }
    return rising * static_cast<double>(rate) / static_cast<double>(samples.size());
}

class WaveInTest : public ::testing::Test
{
protected:
    PulseDaemon daemon;
};
} // namespace

TEST_F(WaveInTest, ListsCaptureSourcesButNotMonitors)
{
    ASSERT_EQ(waveInGetNumDevs(), 3u);
    EXPECT_EQ(DeviceName(kSine440), "Sine 440 Hz");
    EXPECT_EQ(DeviceName(kSine1000), "Sine 1000 Hz");
    EXPECT_EQ(DeviceName(kWebcam).rfind("Webcam Microphone", 0), 0u);
    for (UINT id = 0; id < 3; ++id)
        EXPECT_EQ(DeviceName(id).find("Monitor"), std::string::npos);
    EXPECT_EQ(DeviceName(3), "<none>");
    // The mapper stands for the default source.
    EXPECT_EQ(DeviceName(WAVE_MAPPER), "Sine 440 Hz");
}

TEST_F(WaveInTest, LongNameIsCutAtACharacterBoundaryWithinTheRecord)
{
    struct Guarded
    {
        WAVEINCAPSA caps;
        std::array<unsigned char, 16> guard;
    } g;
    std::memset(&g, 0xAB, sizeof g);
    ASSERT_EQ(waveInGetDevCapsA(kWebcam, &g.caps, sizeof g.caps), MMSYSERR_NOERROR);
    // 31 bytes would end inside "ñ"; the name stops before it.
    EXPECT_STREQ(g.caps.szPname, "Webcam Microphone Analogue \xc3\x91o");
    EXPECT_TRUE(std::all_of(g.guard.begin(), g.guard.end(), [](unsigned char b) { return b == 0xAB; }));

    // A short record gets only what fits.
    std::array<unsigned char, 8> small;
    small.fill(0xCD);
    ASSERT_EQ(waveInGetDevCapsA(kWebcam, reinterpret_cast<LPWAVEINCAPSA>(small.data()), 4), MMSYSERR_NOERROR);
    EXPECT_TRUE(std::all_of(small.begin() + 4, small.end(), [](unsigned char b) { return b == 0xCD; }));
}

struct FormatsCase
{
    const char* name;
    UINT device;
    DWORD formats;
    WORD channels;
};

class WaveInFormatsTest : public WaveInTest, public ::testing::WithParamInterface<FormatsCase>
{
};

TEST_P(WaveInFormatsTest, FormatsFollowTheSourceRateAndChannels)
{
    WAVEINCAPSA caps{};
    ASSERT_EQ(waveInGetDevCapsA(GetParam().device, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.dwFormats, GetParam().formats);
    EXPECT_EQ(caps.wChannels, GetParam().channels);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, WaveInFormatsTest,
    ::testing::Values(FormatsCase{"Mono22050", kSine440,
                                  WAVE_FORMAT_1M08 | WAVE_FORMAT_1M16 | WAVE_FORMAT_2M08 | WAVE_FORMAT_2M16,
                                  1},
                      FormatsCase{"Mono44100", kSine1000,
                                  WAVE_FORMAT_1M08 | WAVE_FORMAT_1M16 | WAVE_FORMAT_2M08 | WAVE_FORMAT_2M16 |
                                      WAVE_FORMAT_4M08 | WAVE_FORMAT_4M16,
                                  1},
                      FormatsCase{"Stereo44100", kWebcam, 0xFFF, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WaveInTest, DeviceInterfacePathCarriesTheUsbIds)
{
    const std::string webcam = InterfacePath(kWebcam);
    EXPECT_EQ(webcam.rfind("\\\\?\\usb#vid_046d&pid_0825#WEBCAM0001#", 0), 0u) << webcam;
    EXPECT_EQ(InterfacePath(kSine440).find("vid_"), std::string::npos);
    EXPECT_NE(InterfacePath(kSine440), InterfacePath(kSine1000));

    // The engine's 1024-byte buffer holds it; a buffer too small gets nothing.
    std::array<WCHAR, 256> buffer{};
    EXPECT_EQ(waveInMessage(reinterpret_cast<HWAVEIN>(static_cast<UINT_PTR>(kWebcam)),
                            DRV_QUERYDEVICEINTERFACE, reinterpret_cast<DWORD_PTR>(buffer.data()),
                            sizeof buffer),
              MMSYSERR_NOERROR);
    std::array<WCHAR, 8> tiny{};
    EXPECT_EQ(waveInMessage(reinterpret_cast<HWAVEIN>(static_cast<UINT_PTR>(kWebcam)),
                            DRV_QUERYDEVICEINTERFACE, reinterpret_cast<DWORD_PTR>(tiny.data()), sizeof tiny),
              MMSYSERR_MOREDATA);
    EXPECT_EQ(tiny[0], 0);
    EXPECT_EQ(waveInMessage(reinterpret_cast<HWAVEIN>(static_cast<UINT_PTR>(7)), DRV_QUERYDEVICEINTERFACE,
                            reinterpret_cast<DWORD_PTR>(buffer.data()), sizeof buffer),
              MMSYSERR_BADDEVICEID);
}

struct RecordCase
{
    const char* name;
    UINT device;
    DWORD rate;
    WORD bits;
    WORD channels;
    double frequency;
};

class WaveInRecordTest : public WaveInTest, public ::testing::WithParamInterface<RecordCase>
{
};

TEST_P(WaveInRecordTest, RecordsTheSineThroughTheCallbackFunction)
{
    const auto& p = GetParam();
    const WAVEFORMATEX format = Pcm(p.rate, p.bits, p.channels);
    Capture capture;
    capture.wantBytes = format.nAvgBytesPerSec / 2;
    HWAVEIN handle = nullptr;
    ASSERT_EQ(waveInOpen(&handle, p.device, &format, reinterpret_cast<DWORD_PTR>(&Capture::Proc),
                         reinterpret_cast<DWORD_PTR>(&capture), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    EXPECT_EQ(capture.opens, 1);
    UINT id = 99;
    EXPECT_EQ(waveInGetID(handle, &id), MMSYSERR_NOERROR);
    EXPECT_EQ(id, p.device);

    Buffers buffers(handle, 2, format.nAvgBytesPerSec / 30);
    buffers.AddAll();
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    ASSERT_TRUE(capture.WaitUntil([&] { return capture.bytes.size() >= capture.wantBytes; }));
    ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
    buffers.UnprepareAll();
    ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(capture.closes, 1);

    const auto samples = Samples(capture.bytes, format);
    const int peak = std::abs(*std::max_element(samples.begin(), samples.end(),
                                                [](int a, int b) { return std::abs(a) < std::abs(b); }));
    // The sine plays at half of full scale.
    EXPECT_NEAR(peak, 16384, 16384 * 0.1);
    EXPECT_NEAR(Frequency(samples, p.rate), p.frequency, p.frequency * 0.03);
}

INSTANTIATE_TEST_SUITE_P(Formats, WaveInRecordTest,
                         ::testing::Values(RecordCase{"Mono16At22050", kSine440, 22050, 16, 1, 440},
                                           RecordCase{"Mono8At11025", kSine1000, 11025, 8, 1, 1000},
                                           RecordCase{"Stereo16At44100", kWebcam, 44100, 16, 2, 1000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WaveInTest, ResetReturnsEveryQueuedBufferBeforeItReturns)
{
    const WAVEFORMATEX format = Pcm(22050, 16, 1);
    Capture capture;
    HWAVEIN handle = nullptr;
    ASSERT_EQ(waveInOpen(&handle, kSine440, &format, reinterpret_cast<DWORD_PTR>(&Capture::Proc),
                         reinterpret_cast<DWORD_PTR>(&capture), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    // Each buffer holds ten seconds: none fills during the test.
    Buffers buffers(handle, 3, format.nAvgBytesPerSec * 10);
    buffers.AddAll();
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    Sleep(200);

    EXPECT_EQ(waveInUnprepareHeader(handle, &buffers.headers[0], sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInClose(handle), WAVERR_STILLPLAYING);
    ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
    {
        std::lock_guard held(capture.lock);
        ASSERT_EQ(capture.returned.size(), 3u);
        EXPECT_EQ(capture.returned[0], &buffers.headers[0]);
    }
    EXPECT_GT(buffers.headers[0].dwBytesRecorded, 0u);
    EXPECT_EQ(buffers.headers[1].dwBytesRecorded, 0u);
    for (const auto& h : buffers.headers)
        EXPECT_EQ(h.dwFlags & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    buffers.UnprepareAll();
    ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInStart(handle), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInClose(handle), MMSYSERR_INVALHANDLE);
}

TEST_F(WaveInTest, StopReturnsThePartlyFilledBufferAndKeepsTheEmptyOnes)
{
    const WAVEFORMATEX format = Pcm(22050, 16, 1);
    Capture capture;
    HWAVEIN handle = nullptr;
    ASSERT_EQ(waveInOpen(&handle, kSine440, &format, reinterpret_cast<DWORD_PTR>(&Capture::Proc),
                         reinterpret_cast<DWORD_PTR>(&capture), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    Buffers buffers(handle, 2, format.nAvgBytesPerSec * 10);
    buffers.AddAll();
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    Sleep(200);
    ASSERT_EQ(waveInStop(handle), MMSYSERR_NOERROR);
    {
        std::lock_guard held(capture.lock);
        ASSERT_EQ(capture.returned.size(), 1u);
    }
    EXPECT_GT(buffers.headers[0].dwBytesRecorded, 0u);
    EXPECT_TRUE(buffers.headers[1].dwFlags & WHDR_INQUEUE);
    ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
    buffers.UnprepareAll();
    EXPECT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
}

TEST_F(WaveInTest, OpenChecksFormatDeviceAndFlags)
{
    HWAVEIN handle = nullptr;
    WAVEFORMATEX format = Pcm(22050, 16, 1);
    EXPECT_EQ(waveInOpen(nullptr, kSine440, &format, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInOpen(&handle, 3, &format, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveInOpen(&handle, kSine440, &format, 0, 0, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveInOpen(&handle, kSine440, &format, 0, 0, 0x00020000), MMSYSERR_INVALFLAG);
    WAVEFORMATEX wrongAlign = format;
    wrongAlign.nBlockAlign = 4;
    EXPECT_EQ(waveInOpen(&handle, kSine440, &wrongAlign, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
    WAVEFORMATEX notPcm = format;
    notPcm.wFormatTag = 3;
    EXPECT_EQ(waveInOpen(nullptr, kSine440, &notPcm, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);

    // The mapper opens the default source.
    ASSERT_EQ(waveInOpen(&handle, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    UINT id = 99;
    EXPECT_EQ(waveInGetID(handle, &id), MMSYSERR_NOERROR);
    EXPECT_EQ(id, kSine440);
    WAVEHDR unprepared{};
    char byte = 0;
    unprepared.lpData = &byte;
    unprepared.dwBufferLength = 1;
    EXPECT_EQ(waveInAddBuffer(handle, &unprepared, sizeof unprepared), WAVERR_UNPREPARED);
    EXPECT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
}

TEST_F(WaveInTest, WindowAndEventCallbacksAreDelivered)
{
    PostedMessages posted;
    const WAVEFORMATEX format = Pcm(11025, 16, 1);
    const auto window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x4242));
    HWAVEIN handle = nullptr;
    ASSERT_EQ(
        waveInOpen(&handle, kSine1000, &format, reinterpret_cast<DWORD_PTR>(window), 0, CALLBACK_WINDOW),
        MMSYSERR_NOERROR);
    Buffers buffers(handle, 1, format.nAvgBytesPerSec / 30);
    buffers.AddAll();
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    EXPECT_TRUE(posted.WaitFor(
        [&](const PostedMessage& m)
        {
            return m.window == window && m.msg == MM_WIM_DATA &&
                   m.wParam == reinterpret_cast<WPARAM>(handle) &&
                   m.lParam == reinterpret_cast<LPARAM>(&buffers.headers[0]);
        }));
    ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
    buffers.UnprepareAll();
    ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    const auto messages = posted.Snapshot();
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(),
                            [&](const PostedMessage& m)
                            { return m.window == window && m.msg == MM_WIM_OPEN; }));
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(),
                            [&](const PostedMessage& m)
                            { return m.window == window && m.msg == MM_WIM_CLOSE; }));

    HANDLE event = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    ASSERT_EQ(waveInOpen(&handle, kSine1000, &format, reinterpret_cast<DWORD_PTR>(event), 0, CALLBACK_EVENT),
              MMSYSERR_NOERROR);
    EXPECT_EQ(WaitForSingleObject(event, 5000), WAIT_OBJECT_0); // the open
    Buffers more(handle, 1, format.nAvgBytesPerSec / 30);
    more.AddAll();
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(WaitForSingleObject(event, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(more.headers[0].dwFlags & WHDR_DONE);
    ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
    more.UnprepareAll();
    ASSERT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
    CloseHandle(event);
}

// The webcam unplugged while it records, then plugged in again.
TEST_F(WaveInTest, DeviceRemovedWhileOpenReturnsBuffersAndClosesCleanly)
{
    PostedMessages posted;
    const WAVEFORMATEX format = Pcm(22050, 16, 2);
    Capture capture;
    HWAVEIN handle = nullptr;
    ASSERT_EQ(waveInOpen(&handle, kWebcam, &format, reinterpret_cast<DWORD_PTR>(&Capture::Proc),
                         reinterpret_cast<DWORD_PTR>(&capture), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    Buffers buffers(handle, 2, format.nAvgBytesPerSec * 10);
    buffers.AddAll();
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    Sleep(100);

    const int module = daemon.ModuleOfSource(PulseDaemon::kWebcam);
    ASSERT_GE(module, 0);
    ASSERT_TRUE(daemon.UnloadModule(module));
    EXPECT_TRUE(capture.WaitUntil([&] { return capture.returned.size() == 2; }));
    EXPECT_TRUE(posted.WaitFor(&PostedMessages::IsDeviceChange));
    EXPECT_EQ(waveInGetNumDevs(), 2u);
    EXPECT_EQ(waveInAddBuffer(handle, &buffers.headers[0], sizeof(WAVEHDR)), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInStart(handle), MMSYSERR_NODRIVER);
    UINT id = 0;
    EXPECT_EQ(waveInGetID(handle, &id), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInStop(handle), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
    buffers.UnprepareAll();
    EXPECT_EQ(waveInClose(handle), MMSYSERR_NOERROR);

    posted.Clear();
    ASSERT_GE(daemon.LoadModule("module-remap-source", PulseDaemon::WebcamModuleArguments()), 0);
    EXPECT_TRUE(posted.WaitFor(&PostedMessages::IsDeviceChange));
    ASSERT_EQ(waveInGetNumDevs(), 3u);
    EXPECT_EQ(InterfacePath(kWebcam).rfind("\\\\?\\usb#vid_046d&pid_0825#", 0), 0u);

    Capture again;
    again.wantBytes = format.nAvgBytesPerSec / 10;
    ASSERT_EQ(waveInOpen(&handle, kWebcam, &format, reinterpret_cast<DWORD_PTR>(&Capture::Proc),
                         reinterpret_cast<DWORD_PTR>(&again), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    Buffers fresh(handle, 2, format.nAvgBytesPerSec / 30);
    fresh.AddAll();
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);
    EXPECT_TRUE(again.WaitUntil([&] { return again.bytes.size() >= again.wantBytes; }));
    ASSERT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
    fresh.UnprepareAll();
    EXPECT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
}

TEST(WaveInNoServerTest, NoServerMeansNoDevices)
{
    testing_support::TempDir dir;
    const char* previous = std::getenv("PULSE_SERVER");
    const std::string saved = previous ? previous : "";
    const std::string server = "unix:" + (dir / "nothing-here").string();
    setenv("PULSE_SERVER", server.c_str(), 1);
    EXPECT_EQ(waveInGetNumDevs(), 0u);
    EXPECT_EQ(mixerGetNumDevs(), 0u);
    WAVEINCAPSA caps{};
    EXPECT_EQ(waveInGetDevCapsA(WAVE_MAPPER, &caps, sizeof caps), MMSYSERR_BADDEVICEID);
    const WAVEFORMATEX format = Pcm(22050, 16, 1);
    HWAVEIN handle = nullptr;
    EXPECT_EQ(waveInOpen(&handle, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);
    if (previous)
        setenv("PULSE_SERVER", saved.c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
}

TEST(WaveInServerTest, ServerGoingAwayReturnsBuffersAndIsADeviceChange)
{
    PostedMessages posted;
    auto daemon = std::make_unique<PulseDaemon>();
    ASSERT_EQ(waveInGetNumDevs(), 3u);
    const WAVEFORMATEX format = Pcm(22050, 16, 1);
    Capture capture;
    HWAVEIN handle = nullptr;
    ASSERT_EQ(waveInOpen(&handle, kSine440, &format, reinterpret_cast<DWORD_PTR>(&Capture::Proc),
                         reinterpret_cast<DWORD_PTR>(&capture), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    Buffers buffers(handle, 2, format.nAvgBytesPerSec * 10);
    buffers.AddAll();
    ASSERT_EQ(waveInStart(handle), MMSYSERR_NOERROR);

    daemon.reset();
    EXPECT_TRUE(posted.WaitFor(&PostedMessages::IsDeviceChange));
    EXPECT_TRUE(capture.WaitUntil([&] { return capture.returned.size() == 2; }));
    EXPECT_EQ(waveInAddBuffer(handle, &buffers.headers[0], sizeof(WAVEHDR)), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInReset(handle), MMSYSERR_NOERROR);
    buffers.UnprepareAll();
    EXPECT_EQ(waveInClose(handle), MMSYSERR_NOERROR);
}
