#include "MediaChecks.h"
#include "PinHarness.h"

#include "DirectShowFilters/tolquin/SpeechEncoderSettings.h"
#include "platform/registry/Registry.h"
#include "tests/support/RegistryProbe.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <dlfcn.h>
#include <string>

using harness::Bench;
using harness::ComPtr;

namespace
{
constexpr unsigned kRate = 22050;
const GUID kSamr = FOURCCMap(MAKEFOURCC('s', 'a', 'm', 'r'));
const GUID kSawb = FOURCCMap(MAKEFOURCC('s', 'a', 'w', 'b'));

// Stored frame sizes by frame type (the frame-type byte included).
constexpr int kNarrowSizes[16] = {13, 14, 16, 18, 20, 21, 27, 32, 6, 0, 0, 0, 0, 0, 0, 1};
constexpr int kWideSizes[16] = {18, 24, 33, 37, 41, 47, 51, 59, 61, 6, 6, 0, 0, 0, 1, 1};

/// 16-bit mono PCM at `rate`; `formatBytes` 16 leaves out cbSize.
CMediaType PcmType(unsigned rate = kRate, WORD channels = 1, WORD bits = 16, ULONG formatBytes = 18)
{
    CMediaType type;
    type.SetType(&MEDIATYPE_Audio);
    type.SetSubtype(&MEDIASUBTYPE_PCM);
    type.SetFormatType(&FORMAT_WaveFormatEx);
    type.SetTemporalCompression(FALSE);
    type.SetSampleSize(channels * bits / 8);
    WAVEFORMATEX format{WAVE_FORMAT_PCM,
                        channels,
                        rate,
                        rate * channels * bits / 8,
                        static_cast<WORD>(channels * bits / 8),
                        bits,
                        0};
    type.SetFormat(reinterpret_cast<const BYTE*>(&format), formatBytes);
    return type;
}

ComPtr<IBaseFilter> NewEncoder()
{
    return harness::LoadFilter(harness::PluginPath("tolquin.so"), CLSID_SpeechEncoderFilter);
}

ComPtr<ISpeechEncoderSettings> SettingsOf(IBaseFilter* filter)
{
    ComPtr<ISpeechEncoderSettings> settings;
    filter->QueryInterface(IID_ISpeechEncoderSettings, settings.PutVoid());
    return settings;
}

/// Splits stored AMR frames by their frame-type bytes; false when the sizes do not add up.
bool SplitFrames(const std::vector<BYTE>& bytes, const int* sizes, std::vector<int>* types)
{
    std::size_t pos = 0;
    while (pos < bytes.size())
    {
        const int type = (bytes[pos] >> 3) & 0x0F;
        if (sizes[type] == 0 || pos + static_cast<std::size_t>(sizes[type]) > bytes.size())
            return false;
        types->push_back(type);
        pos += static_cast<std::size_t>(sizes[type]);
    }
    return true;
}

/// A bench with the encoder set up and running, fed in `chunk`-sample pieces of speech.
struct EncoderRun
{
    explicit EncoderRun(bool wideband = false, short mode = 7, bool dtx = false)
        : bench(NewEncoder(), PcmType(), kRate * 4)
    {
        const auto settings = SettingsOf(bench.Filter());
        EXPECT_EQ(settings->SetWideband(wideband), S_OK);
        EXPECT_EQ(settings->SetMode(mode), S_OK);
        EXPECT_EQ(settings->SetDTX(dtx), S_OK);
    }

    HRESULT Feed(unsigned samples)
    {
        const auto pcm = media_checks::SpeechPcm(kRate, fed, samples);
        const REFERENCE_TIME start = static_cast<REFERENCE_TIME>(fed) * UNITS / kRate;
        fed += samples;
        const REFERENCE_TIME stop = static_cast<REFERENCE_TIME>(fed) * UNITS / kRate;
        return bench.Push(pcm, start, stop);
    }

    Bench bench;
    unsigned fed = 0;
};
} // namespace

struct ModeCase
{
    bool wideband;
    short mode;
    friend void PrintTo(const ModeCase& c, std::ostream* os)
    {
        *os << (c.wideband ? "wideband" : "narrowband") << " mode " << c.mode;
    }
};

class TolquinModeTest : public testing::TestWithParam<ModeCase>
{
};

TEST_P(TolquinModeTest, EncodesSpeechThatFfmpegDecodesBack)
{
    const auto [wideband, mode] = GetParam();
    EncoderRun run(wideband, mode, false);
    ASSERT_EQ(run.bench.Connect(), S_OK);
    ASSERT_EQ(run.bench.Run(), S_OK);
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(run.Feed(kRate / 10), S_OK);
    ASSERT_EQ(run.bench.Stop(), S_OK);

    // One output sample per input sample, each with its input's times and whole frames of the mode.
    const auto& samples = run.bench.Sink().Samples();
    ASSERT_EQ(samples.size(), 20u);
    const int* sizes = wideband ? kWideSizes : kNarrowSizes;
    for (std::size_t i = 0; i < samples.size(); ++i)
    {
        std::vector<int> types;
        ASSERT_TRUE(SplitFrames(samples[i].data, sizes, &types)) << "sample " << i;
        EXPECT_EQ(types, std::vector<int>(5, mode)) << "sample " << i;
        EXPECT_TRUE(samples[i].syncPoint);
        EXPECT_EQ(samples[i].start, static_cast<REFERENCE_TIME>(i) * UNITS / 10);
        EXPECT_EQ(samples[i].stop, static_cast<REFERENCE_TIME>(i + 1) * UNITS / 10);
    }

    const unsigned codecRate = wideband ? 16000 : 8000;
    testing_support::TempDir dir;
    auto file = run.bench.Sink().Bytes();
    const std::string magic = wideband ? "#!AMR-WB\n" : "#!AMR\n";
    file.insert(file.begin(), magic.begin(), magic.end());
    media_checks::WriteFile(dir / "speech.amr", file);
    std::string errors;
    ASSERT_EQ(media_checks::Run("ffmpeg -nostdin -v error -y -f amr -i " + (dir / "speech.amr").string() +
                                    " -f s16le -ac 1 -ar " + std::to_string(codecRate) + " " +
                                    (dir / "speech.raw").string(),
                                &errors),
              0)
        << errors;
    EXPECT_EQ(errors, "");
    const auto raw = media_checks::ReadFile(dir / "speech.raw");
    std::vector<short> decoded(raw.size() / 2);
    std::memcpy(decoded.data(), raw.data(), decoded.size() * 2);
    EXPECT_EQ(decoded.size(), 2u * codecRate);

    std::vector<short> reference(2 * codecRate);
    const auto pcm = media_checks::SpeechPcm(codecRate, 0, 2 * codecRate);
    std::memcpy(reference.data(), pcm.data(), pcm.size());
    const double snr =
        media_checks::BestSnr(reference, decoded, static_cast<int>(codecRate / 20), codecRate / 5);
    RecordProperty("snr", std::to_string(snr));
    EXPECT_GT(snr, 6.0) << "mode " << mode;
}

INSTANTIATE_TEST_SUITE_P(AllModes, TolquinModeTest,
                         testing::Values(ModeCase{false, 0}, ModeCase{false, 1}, ModeCase{false, 2},
                                         ModeCase{false, 3}, ModeCase{false, 4}, ModeCase{false, 5},
                                         ModeCase{false, 6}, ModeCase{false, 7}, ModeCase{true, 0},
                                         ModeCase{true, 1}, ModeCase{true, 2}, ModeCase{true, 3},
                                         ModeCase{true, 4}, ModeCase{true, 5}, ModeCase{true, 6},
                                         ModeCase{true, 7}, ModeCase{true, 8}),
                         [](const testing::TestParamInfo<ModeCase>& info)
                         {
                             return std::string(info.param.wideband ? "Wideband" : "Narrowband") + "Mode" +
                                    std::to_string(info.param.mode);
                         });

TEST(TolquinTest, InputShortOfAFrameWaitsForTheNextSample)
{
    // Narrowband mode 7 frames are 32 bytes. 50 ms of input holds two whole 20-ms frames; the 10 ms
    // left over complete a third frame after two more such samples.
    EncoderRun run;
    ASSERT_EQ(run.bench.Connect(), S_OK);
    ASSERT_EQ(run.bench.Run(), S_OK);
    for (unsigned samples : {2205u, 1102u, 1102u, 1102u, 100u, 0u})
        ASSERT_EQ(run.Feed(samples), S_OK);
    std::vector<std::size_t> lengths;
    for (const auto& sample : run.bench.Sink().Samples())
        lengths.push_back(sample.data.size());
    EXPECT_EQ(lengths, (std::vector<std::size_t>{160, 64, 64, 96, 0, 0}));
}

TEST(TolquinTest, OddByteCountEncodesTheWholeSamples)
{
    EncoderRun run;
    ASSERT_EQ(run.bench.Connect(), S_OK);
    ASSERT_EQ(run.bench.Run(), S_OK);
    auto pcm = media_checks::SpeechPcm(kRate, 0, 2205);
    pcm.push_back(0x7F);
    ASSERT_EQ(run.bench.Push(pcm), S_OK);
    ASSERT_EQ(run.bench.Sink().Samples().size(), 1u);
    EXPECT_EQ(run.bench.Sink().Samples()[0].data.size(), 160u);
    // Without times on the input, the output carries zero times.
    EXPECT_TRUE(run.bench.Sink().Samples()[0].hasTime);
    EXPECT_EQ(run.bench.Sink().Samples()[0].start, 0);
    EXPECT_EQ(run.bench.Sink().Samples()[0].stop, 0);
}

TEST(TolquinTest, OversizedSampleIsRefusedWithoutLosingBuffersOrCarriedInput)
{
    EncoderRun run;
    ASSERT_EQ(run.bench.Connect(), S_OK);
    ASSERT_EQ(run.bench.Run(), S_OK);
    ASSERT_EQ(run.Feed(1000), S_OK); // two frames, 118 samples carried
    // More than one second of input: refused as a whole, and the delivery buffer taken for it goes back.
    // The output allocator has two buffers, so a buffer kept by mistake would stall the third attempt.
    const auto tooLong = media_checks::SpeechPcm(kRate, 0, kRate + 1);
    for (int attempt = 0; attempt < 4; ++attempt)
    {
        EXPECT_EQ(run.bench.Push(tooLong), VFW_E_RUNTIME_ERROR);
        EXPECT_EQ(run.bench.Sink().Outstanding(), 0);
    }
    // The 118 carried samples and 400 new ones make one frame; 400 alone would make none.
    ASSERT_EQ(run.Feed(400), S_OK);
    const auto& samples = run.bench.Sink().Samples();
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[1].data.size(), 32u);
}

TEST(TolquinTest, PauseAfterStopDropsCarriedInput)
{
    EncoderRun run;
    ASSERT_EQ(run.bench.Connect(), S_OK);
    ASSERT_EQ(run.bench.Run(), S_OK);
    ASSERT_EQ(run.Feed(1000), S_OK); // 118 samples carried
    ASSERT_EQ(run.bench.Stop(), S_OK);
    ASSERT_EQ(run.bench.Run(), S_OK);
    ASSERT_EQ(run.Feed(400), S_OK);
    const auto& samples = run.bench.Sink().Samples();
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[1].data.size(), 0u);
}

TEST(TolquinTest, DtxSendsSilenceDescriptorsOfTheStoredSizes)
{
    for (const bool wideband : {false, true})
    {
        EncoderRun run(wideband, wideband ? 8 : 7, true);
        ASSERT_EQ(run.bench.Connect(), S_OK);
        ASSERT_EQ(run.bench.Run(), S_OK);
        for (int i = 0; i < 5; ++i)
            ASSERT_EQ(run.Feed(kRate / 10), S_OK);
        const std::vector<BYTE> silence(kRate / 10 * 2, 0);
        for (int i = 0; i < 20; ++i)
            ASSERT_EQ(run.bench.Push(silence), S_OK);
        std::vector<int> types;
        ASSERT_TRUE(SplitFrames(run.bench.Sink().Bytes(), wideband ? kWideSizes : kNarrowSizes, &types));
        EXPECT_EQ(types.size(), 125u);
        // Speech frames of the mode first, then silence descriptors and empty frames.
        EXPECT_EQ(types.front(), wideband ? 8 : 7);
        const int sid = wideband ? 9 : 8;
        EXPECT_NE(std::find(types.begin(), types.end(), sid), types.end());
        EXPECT_NE(std::find(types.begin(), types.end(), 15), types.end());
    }
}

TEST(TolquinTest, SettingsHaveTheirDefaults)
{
    const auto filter = NewEncoder();
    const auto settings = SettingsOf(filter.Get());
    ASSERT_TRUE(settings);
    BOOL wideband = -1;
    BOOL dtx = -1;
    short mode = -1;
    EXPECT_EQ(settings->GetWideband(&wideband), S_OK);
    EXPECT_EQ(settings->GetDTX(&dtx), S_OK);
    EXPECT_EQ(settings->GetMode(&mode), S_OK);
    EXPECT_EQ(wideband, FALSE);
    EXPECT_EQ(dtx, TRUE);
    EXPECT_EQ(mode, 7);
    EXPECT_EQ(settings->GetWideband(nullptr), E_POINTER);
    EXPECT_EQ(settings->GetDTX(nullptr), E_POINTER);
    EXPECT_EQ(settings->GetMode(nullptr), E_POINTER);
}

TEST(TolquinTest, SettingsAreRefusedWhileStreamingAndTakenOnReconnection)
{
    EncoderRun run;
    ASSERT_EQ(run.bench.Connect(), S_OK);
    ASSERT_EQ(run.bench.Run(), S_OK);
    ASSERT_EQ(run.Feed(2205), S_OK);
    const auto settings = SettingsOf(run.bench.Filter());
    EXPECT_EQ(settings->SetWideband(TRUE), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(settings->SetMode(0), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(settings->SetDTX(TRUE), VFW_E_ALREADY_CONNECTED);
    ASSERT_EQ(run.Feed(2205), S_OK);
    BOOL wideband = -1;
    settings->GetWideband(&wideband);
    EXPECT_EQ(wideband, FALSE);
    EXPECT_EQ(run.bench.Sink().Samples().back().data.size(), 160u);

    ASSERT_EQ(run.bench.Stop(), S_OK);
    run.bench.Disconnect();
    EXPECT_EQ(settings->SetWideband(TRUE), S_OK);
    EXPECT_EQ(settings->SetMode(8), S_OK);
    ASSERT_EQ(run.bench.Connect(), S_OK);
    ASSERT_EQ(run.bench.Run(), S_OK);
    ASSERT_EQ(run.Feed(2205), S_OK);
    EXPECT_EQ(run.bench.Sink().Samples().back().data.size(), 5u * 61u);
    const CMediaType output = run.bench.OutputType();
    EXPECT_EQ(output.subtype, kSawb);
}

struct OutputTypeCase
{
    bool wideband;
    short mode;
    GUID subtype;
    DWORD rate;
    DWORD bytesPerSecond;
    ULONG sampleSize;
    friend void PrintTo(const OutputTypeCase& c, std::ostream* os)
    {
        *os << (c.wideband ? "wideband" : "narrowband") << " mode " << c.mode;
    }
};

class TolquinOutputTypeTest : public testing::TestWithParam<OutputTypeCase>
{
};

TEST_P(TolquinOutputTypeTest, DescribesTheFramesOfTheMode)
{
    const auto& c = GetParam();
    EncoderRun run(c.wideband, c.mode, true);
    ASSERT_EQ(run.bench.Connect(), S_OK);
    const CMediaType type = run.bench.OutputType();
    EXPECT_EQ(type.majortype, MEDIATYPE_Audio);
    EXPECT_EQ(type.subtype, c.subtype);
    EXPECT_EQ(type.formattype, FORMAT_WaveFormatEx);
    EXPECT_FALSE(type.bTemporalCompression);
    EXPECT_EQ(type.GetSampleSize(), c.sampleSize);
    ASSERT_EQ(type.cbFormat, 18u);
    WAVEFORMATEX format;
    std::memcpy(&format, type.pbFormat, sizeof(format));
    EXPECT_EQ(format.wFormatTag, 0x6173);
    EXPECT_EQ(format.nChannels, 1);
    EXPECT_EQ(format.nSamplesPerSec, c.rate);
    EXPECT_EQ(format.nAvgBytesPerSec, c.bytesPerSecond);
    EXPECT_EQ(format.nBlockAlign, 1);
    EXPECT_EQ(format.wBitsPerSample, 16);
    EXPECT_EQ(format.cbSize, 0);

    // The sink's allocator holds one second of the largest frames in two buffers.
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(run.bench.Sink().Input()->GetAllocator(allocator.Put()), S_OK);
    ALLOCATOR_PROPERTIES props{};
    allocator->GetProperties(&props);
    EXPECT_GE(props.cBuffers, 2);
    EXPECT_GE(props.cbBuffer, c.wideband ? 3050 : 1600);
}

INSTANTIATE_TEST_SUITE_P(Modes, TolquinOutputTypeTest,
                         testing::Values(OutputTypeCase{false, 7, kSamr, 8000, 1600, 32},
                                         OutputTypeCase{false, 0, kSamr, 8000, 650, 13},
                                         OutputTypeCase{true, 8, kSawb, 16000, 3050, 61},
                                         OutputTypeCase{true, 0, kSawb, 16000, 900, 18}));

struct RefusedInputCase
{
    const char* name;
    CMediaType (*make)();
    friend void PrintTo(const RefusedInputCase& c, std::ostream* os) { *os << c.name; }
};

class TolquinRefusedInputTest : public testing::TestWithParam<RefusedInputCase>
{
};

TEST_P(TolquinRefusedInputTest, InputConnectionFailsAsTypeNotAccepted)
{
    Bench bench(NewEncoder(), GetParam().make(), kRate * 2);
    EXPECT_EQ(bench.ConnectInput(), VFW_E_TYPE_NOT_ACCEPTED);
}

INSTANTIATE_TEST_SUITE_P(BadTypes, TolquinRefusedInputTest,
                         testing::Values(RefusedInputCase{"FormatWithoutCbSize",
                                                          [] { return PcmType(kRate, 1, 16, 16); }},
                                         RefusedInputCase{"OtherRate", [] { return PcmType(44100); }},
                                         RefusedInputCase{"Stereo", [] { return PcmType(kRate, 2); }},
                                         RefusedInputCase{"EightBit", [] { return PcmType(kRate, 1, 8); }},
                                         RefusedInputCase{"NoFormatBlock",
                                                          []
                                                          {
                                                              CMediaType type = PcmType();
                                                              type.ResetFormatBuffer();
                                                              return type;
                                                          }},
                                         RefusedInputCase{"VideoMajorType",
                                                          []
                                                          {
                                                              CMediaType type = PcmType();
                                                              type.SetType(&MEDIATYPE_Video);
                                                              return type;
                                                          }}),
                         [](const testing::TestParamInfo<RefusedInputCase>& info)
                         { return std::string(info.param.name); });

TEST(TolquinTest, ModeAboveTheCodecsHighestFailsTheInputConnection)
{
    struct Case
    {
        bool wideband;
        short mode;
        HRESULT result;
    };
    for (const Case c : {Case{false, 8, E_UNEXPECTED}, Case{false, -1, E_UNEXPECTED},
                         Case{true, 9, E_UNEXPECTED}, Case{true, 8, S_OK}})
    {
        EncoderRun run(c.wideband, c.mode);
        EXPECT_EQ(run.bench.ConnectInput(), c.result) << c.wideband << " " << c.mode;
    }
}

TEST(TolquinTest, OutputCannotConnectBeforeTheInput)
{
    Bench bench(NewEncoder(), PcmType(), kRate * 2);
    CMediaType offered;
    offered.SetType(&MEDIATYPE_Audio);
    offered.SetSubtype(&kSamr);
    offered.SetFormatType(&FORMAT_WaveFormatEx);
    bench.Sink().Input()->m_offered = offered;
    EXPECT_EQ(bench.ConnectOutput(), VFW_E_NOT_CONNECTED);
    const auto output = harness::FindPin(bench.Filter(), PINDIR_OUTPUT);
    EXPECT_EQ(output->QueryAccept(&offered), S_FALSE);
}

TEST(TolquinTest, SampleOfAnotherAttachedTypeIsRefused)
{
    EncoderRun run;
    ASSERT_EQ(run.bench.Connect(), S_OK);
    ASSERT_EQ(run.bench.Run(), S_OK);
    const auto input = harness::FindPin(run.bench.Filter(), PINDIR_INPUT);
    ComPtr<IMemInputPin> memInput = input.As<IMemInputPin>(IID_IMemInputPin);
    ComPtr<IMemAllocator> allocator;
    ASSERT_EQ(memInput->GetAllocator(allocator.Put()), S_OK);
    IMediaSample* taken = nullptr;
    ASSERT_EQ(allocator->GetBuffer(&taken, nullptr, nullptr, 0), S_OK);
    const auto sample = ComPtr<IMediaSample>::Adopt(taken);
    CMediaType other = PcmType(44100);
    sample->SetMediaType(&other);
    sample->SetActualDataLength(100);
    EXPECT_EQ(memInput->Receive(sample.Get()), VFW_E_INVALIDMEDIATYPE);
    EXPECT_TRUE(run.bench.Sink().Samples().empty());
}

namespace
{

template <class F> F Export(void* module, const char* name)
{
    return reinterpret_cast<F>(dlsym(module, name));
}
} // namespace

TEST(TolquinRegistrationTest, RegistersCreatesThroughTheRegistryAndUnregisters)
{
    const auto path = std::filesystem::canonical(harness::PluginPath("tolquin.so"));
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr);
    const auto registerServer = Export<LPFNREGISTERSERVER>(module, "DllRegisterServer");
    const auto unregisterServer = Export<LPFNREGISTERSERVER>(module, "DllUnregisterServer");
    const auto canUnloadNow = Export<LPFNCANUNLOADNOW>(module, "DllCanUnloadNow");
    ASSERT_TRUE(registerServer && unregisterServer && canUnloadNow);

    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(CoCreateInstance(CLSID_SpeechEncoderFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               filter.PutVoid()),
              REGDB_E_CLASSNOTREG);

    ASSERT_EQ(registerServer(), S_OK);
    const std::string server = "CLSID\\{F160BAAC-5A50-473C-8E22-EC7EEE53CBD8}";
    EXPECT_EQ(testing_support::ReadClassesRootText(server, ""), "Tavisk Speech Encoder");
    EXPECT_EQ(testing_support::ReadClassesRootText(server + "\\InprocServer32", ""), path.string());
    EXPECT_EQ(testing_support::ReadClassesRootText(server + "\\InprocServer32", "ThreadingModel"), "Both");
    const std::string filters =
        "CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\{F160BAAC-5A50-473C-8E22-EC7EEE53CBD8}";
    EXPECT_EQ(testing_support::ReadClassesRootText(filters, "FriendlyName"), "Tavisk Speech Encoder");
    EXPECT_EQ(testing_support::ReadClassesRootText(filters, "Merit"), std::to_string(0x600000));
    EXPECT_EQ(testing_support::ReadClassesRootText(filters + "\\Pins\\0", "Output"), "0");
    EXPECT_EQ(testing_support::ReadClassesRootText(filters + "\\Pins\\0\\Types\\0", "SubType"),
              "{00000001-0000-0010-8000-00AA00389B71}");
    EXPECT_EQ(testing_support::ReadClassesRootText(filters + "\\Pins\\1", "Output"), "1");
    EXPECT_EQ(testing_support::ReadClassesRootText(filters + "\\Pins\\1\\Types\\0", "SubType"),
              "{726D6173-0000-0010-8000-00AA00389B71}");
    EXPECT_EQ(testing_support::ReadClassesRootText(filters + "\\Pins\\1\\Types\\1", "SubType"),
              "{62776173-0000-0010-8000-00AA00389B71}");
    const std::string compressors =
        "CLSID\\{33D9A761-90C8-11D0-BD43-00A0C911CE86}\\Instance\\Tavisk Speech Encoder";
    EXPECT_EQ(testing_support::ReadClassesRootText(compressors, "CLSID"),
              "{F160BAAC-5A50-473C-8E22-EC7EEE53CBD8}");
    EXPECT_EQ(testing_support::ReadClassesRootText(compressors, "FriendlyName"), "Tavisk Speech Encoder");

    ASSERT_EQ(CoCreateInstance(CLSID_SpeechEncoderFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               filter.PutVoid()),
              S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    {
        Bench bench(filter, PcmType(), kRate * 2);
        ASSERT_EQ(bench.Connect(), S_OK);
        ASSERT_EQ(bench.Run(), S_OK);
        ASSERT_EQ(bench.Push(media_checks::SpeechPcm(kRate, 0, 2205)), S_OK);
        ASSERT_EQ(bench.Sink().Samples().size(), 1u);
        EXPECT_EQ(bench.Sink().Samples()[0].data.size(), 160u);
    }
    filter.Reset();
    EXPECT_EQ(canUnloadNow(), S_OK);

    ASSERT_EQ(unregisterServer(), S_OK);
    EXPECT_FALSE(testing_support::ClassesRootKeyExists(server));
    EXPECT_FALSE(testing_support::ClassesRootKeyExists(filters));
    EXPECT_FALSE(testing_support::ClassesRootKeyExists(compressors));
    EXPECT_EQ(CoCreateInstance(CLSID_SpeechEncoderFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               filter.PutVoid()),
              REGDB_E_CLASSNOTREG);
}

TEST(TolquinRegistrationTest, ClassFactoryServesOnlyItsClass)
{
    void* module = dlopen(harness::PluginPath("tolquin.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr);
    const auto getClassObject = Export<LPFNGETCLASSOBJECT>(module, "DllGetClassObject");
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(CLSID_FilterMapper2, IID_IClassFactory, factory.PutVoid()),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(getClassObject(CLSID_SpeechEncoderFilter, IID_IBaseFilter, factory.PutVoid()), E_NOINTERFACE);
    ASSERT_EQ(getClassObject(CLSID_SpeechEncoderFilter, IID_IClassFactory, factory.PutVoid()), S_OK);
    ComPtr<ISpeechEncoderSettings> settings;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_ISpeechEncoderSettings, settings.PutVoid()), S_OK);
    ComPtr<IUnknown> other;
    EXPECT_EQ(factory->CreateInstance(settings.Get(), IID_IBaseFilter, other.PutVoid()), E_NOINTERFACE);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IFilterMapper2, other.PutVoid()), E_NOINTERFACE);
    EXPECT_FALSE(other);
}
