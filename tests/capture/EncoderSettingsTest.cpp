#include "CaptureTestSupport.h"

#include "brevicam/capture/CaptureGraph.h"
#include "brevicam/core/Params.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace capture_testing;

namespace
{
std::string ProfileXml(int width, int height, int quality, long long frameTime)
{
    std::vector<wchar_t> buffer(CCaptureGraph::kProfileXmlSize, L'?');
    CCaptureGraph::BuildProfileXml(buffer.data(), width, height, quality, frameTime);
    return platform::WideToUtf8(buffer.data());
}

int Count(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

AM_MEDIA_TYPE VideoType(const GUID& format, int width, int height, REFERENCE_TIME frameTime)
{
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_YUY2;
    type.formattype = format;
    BITMAPINFOHEADER* header = nullptr;
    if (format == FORMAT_VideoInfo2)
    {
        auto* info = static_cast<VIDEOINFOHEADER2*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER2)));
        *info = VIDEOINFOHEADER2{};
        info->rcSource = {0, 0, width, height};
        info->rcTarget = info->rcSource;
        info->AvgTimePerFrame = frameTime;
        header = &info->bmiHeader;
        type.pbFormat = reinterpret_cast<BYTE*>(info);
        type.cbFormat = sizeof(VIDEOINFOHEADER2);
    }
    else
    {
        auto* info = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
        *info = VIDEOINFOHEADER{};
        info->rcSource = {0, 0, width, height};
        info->rcTarget = info->rcSource;
        info->AvgTimePerFrame = frameTime;
        header = &info->bmiHeader;
        type.pbFormat = reinterpret_cast<BYTE*>(info);
        type.cbFormat = sizeof(VIDEOINFOHEADER);
    }
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = width;
    header->biHeight = height;
    header->biBitCount = 16;
    header->biCompression = MAKEFOURCC('Y', 'U', 'Y', '2');
    return type;
}

/// The recording values of the encoder configuration.
tagWMVEncoderConfig RecordingConfig(float frameRate, DWORD fourCC = MAKEFOURCC('W', 'M', 'V', '2'))
{
    tagWMVEncoderConfig config{};
    config.frameRate = frameRate;
    config.keyDistance = 8;
    config.videoWindow = 5000;
    config.crispness = 75;
    config.vbrQuality = 98;
    config.vbrEnabled = 1;
    config.fourCC = fourCC;
    return config;
}

class EncoderTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(CoCreateInstance(CLSID_DMOWrapperFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                   m_filter.PutVoid()),
                  S_OK);
        auto wrapper = m_filter.As<IDMOWrapperFilter>(IID_IDMOWrapperFilter);
        ASSERT_EQ(wrapper->Init(CLSID_CWMV8EncMediaObject, DMOCATEGORY_VIDEO_ENCODER), S_OK);
        m_encoder = m_filter.As<IMediaObject>(IID_IMediaObject);
        ASSERT_TRUE(m_encoder);
    }

    VARIANT Read(const wchar_t* name)
    {
        VARIANT value;
        VariantInit(&value);
        m_error = m_filter.As<IPropertyBag>(IID_IPropertyBag)->Read(name, &value, nullptr);
        return value;
    }

    ComPtr<IBaseFilter> m_filter;
    ComPtr<IMediaObject> m_encoder;
    HRESULT m_error = S_OK;
};
} // namespace

TEST(ReplaceAllWideTest, ReplacesEveryOccurrenceWithoutRescanning)
{
    wchar_t text[64] = L"aXbXXc";
    ReplaceAllWide(text, 64, L"X", L"XX");
    EXPECT_STREQ(text, L"aXXbXXXXc");
    ReplaceAllWide(text, 64, L"XX", L"-");
    EXPECT_STREQ(text, L"a-b--c");
    ReplaceAllWide(text, 64, L"", L"nothing");
    EXPECT_STREQ(text, L"a-b--c");
    // A result that outgrows the buffer is cut to it, never written past it.
    wchar_t small[8] = L"abab";
    small[7] = L'!';
    ReplaceAllWide(small, 7, L"b", L"bbbb");
    EXPECT_STREQ(small, L"abbbba");
    EXPECT_EQ(small[7], L'!');
}

TEST(ProfileXmlTest, PlaceholdersAreFilledEverywhere)
{
    std::string xml = ProfileXml(800, 600, 90, 333667);
    EXPECT_EQ(xml.find("_VALUE"), std::string::npos);
    EXPECT_EQ(Count(xml, "right=\"800\""), 2);
    EXPECT_EQ(Count(xml, "bottom=\"600\""), 2);
    EXPECT_EQ(Count(xml, "biwidth=\"800\" biheight=\"600\""), 1);
    EXPECT_EQ(Count(xml, "vbrquality=\"90\""), 1);
    EXPECT_EQ(Count(xml, "avgtimeperframe=\"333667\""), 1);
    // The profile loads and gives the writer its two inputs.
    ComPtr<IWMProfileManager> manager;
    ASSERT_EQ(WMCreateProfileManager(manager.Put()), S_OK);
    ComPtr<IWMProfile> profile;
    std::wstring wide = platform::Utf8ToWide(xml);
    ASSERT_EQ(manager->LoadProfileByData(wide.c_str(), profile.Put()), S_OK);
    DWORD streams = 0;
    EXPECT_EQ(profile->GetStreamCount(&streams), S_OK);
    EXPECT_EQ(streams, 2u);
}

struct QualityCase
{
    int videoQuality;
    int profileQuality;
};

class ProfileQualityTest : public testing::TestWithParam<QualityCase>
{
};

TEST_P(ProfileQualityTest, VideoQualitySettingChoosesTheVbrQuality)
{
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_VideoQuality = GetParam().videoQuality;
        g_params.m_VideoResolution = "800 x 600";
    }
    g_webcamModel = 0;
    int width = 0;
    int height = 0;
    int quality = 0;
    long long frameTime = 0;
    CCaptureGraph::GetProfileValues(CResolution(640, 480, false), &width, &height, &quality, &frameTime);
    EXPECT_EQ(quality, GetParam().profileQuality);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
    EXPECT_EQ(frameTime, 333667);
}

INSTANTIATE_TEST_SUITE_P(Settings, ProfileQualityTest,
                         testing::Values(QualityCase{0, 100}, QualityCase{1, 90}, QualityCase{2, 80},
                                         QualityCase{7, 100}));

TEST(ProfileXmlTest, ReducedRateSizesOfModel18GetFifteenFrames)
{
    int width = 0;
    int height = 0;
    int quality = 0;
    long long frameTime = 0;
    g_webcamModel = 18;
    CCaptureGraph::GetProfileValues(CResolution(1024, 768, false), &width, &height, &quality, &frameTime);
    EXPECT_EQ(frameTime, 666666);
    CCaptureGraph::GetProfileValues(CResolution(1024, 600, false), &width, &height, &quality, &frameTime);
    EXPECT_EQ(frameTime, 333667);
    g_webcamModel = 0;
}

TEST(ResolutionTextTest, BlanksAroundTheXDoNotMatter)
{
    int width = -1;
    int height = -1;
    CCaptureGraph::ParseResolutionText("1280 x 1024", &width, &height);
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(height, 1024);
    CCaptureGraph::ParseResolutionText("1280x1024", &width, &height);
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(height, 1024);
    CCaptureGraph::ParseResolutionText("  x640 x", &width, &height);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 0);
    CCaptureGraph::ParseResolutionText("", &width, &height);
    EXPECT_EQ(width, 0);
    EXPECT_EQ(height, 0);
}

TEST(BitRateTest, BitsPerFrameTimesTheRate)
{
    tagWMVEncoderConfig config{};
    AM_MEDIA_TYPE type = VideoType(FORMAT_VideoInfo, 640, 480, 333333);
    EXPECT_EQ(CCaptureGraph::ComputeBitRate(&type, 30.0, &config), S_OK);
    EXPECT_EQ(config.bitRate, 3686400);
    EXPECT_EQ(CCaptureGraph::ComputeBitRate(&type, static_cast<double>(14.99f), &config), S_OK);
    EXPECT_EQ(config.bitRate, 1841971);
    // No rate given: the input's frame time, else 29.97.
    EXPECT_EQ(CCaptureGraph::ComputeBitRate(&type, 0, &config), S_OK);
    EXPECT_EQ(config.bitRate, static_cast<int>(122880 * (10000000.0 / 333333)));
    FreeMediaType(type);
    type = VideoType(FORMAT_VideoInfo2, 640, 480, 0);
    EXPECT_EQ(CCaptureGraph::ComputeBitRate(&type, 0, &config), S_OK);
    EXPECT_EQ(config.bitRate, static_cast<int>(122880 * 29.97));
    type.formattype = FORMAT_WaveFormatEx;
    EXPECT_EQ(CCaptureGraph::ComputeBitRate(&type, 30, &config), static_cast<HRESULT>(0xC0046071u));
    FreeMediaType(type);
    EXPECT_EQ(CCaptureGraph::ComputeBitRate(&type, 30, &config), E_INVALIDARG);
}

TEST_F(EncoderTest, RecordingValuesReachTheEncoder)
{
    g_wmvEncoderConfig = RecordingConfig(30.0f);
    AM_MEDIA_TYPE input = VideoType(FORMAT_VideoInfo2, 640, 480, 333333);
    ASSERT_EQ(m_encoder->SetInputType(0, &input, 0), S_OK);
    AM_MEDIA_TYPE output{};
    EXPECT_EQ(CCaptureGraph::SetEncoderTypes(m_encoder.Get(), &input, &output), S_OK);
    EXPECT_EQ(g_wmvEncoderConfig.bitRate, 3686400);
    // A VideoInfo2 input gives a VideoInfo output of the same size and frame time.
    EXPECT_EQ(output.formattype, FORMAT_VideoInfo);
    EXPECT_EQ(output.subtype, MEDIASUBTYPE_WMV2);
    ASSERT_EQ(output.cbFormat, sizeof(VIDEOINFOHEADER));
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(output.pbFormat);
    EXPECT_EQ(info->bmiHeader.biWidth, 640);
    EXPECT_EQ(info->bmiHeader.biHeight, 480);
    EXPECT_EQ(info->AvgTimePerFrame, 333333);
    EXPECT_EQ(info->dwBitRate, 3686400u);
    EXPECT_EQ(info->bmiHeader.biBitCount, 24);
    AM_MEDIA_TYPE current{};
    ASSERT_EQ(m_encoder->GetOutputCurrentType(0, &current), S_OK);
    EXPECT_EQ(current.subtype, MEDIASUBTYPE_WMV2);
    FreeMediaType(current);

    VARIANT value = Read(L"_VBRQUALITY");
    EXPECT_EQ(value.lVal, 98);
    value = Read(L"_KEYDIST");
    EXPECT_EQ(value.lVal, 8000);
    value = Read(L"_CRISP");
    EXPECT_EQ(value.lVal, 75);
    value = Read(L"_DECODERCOMPLEXITYREQUESTED");
    EXPECT_EQ(platform::WideToUtf8(value.bstrVal), "MP");
    VariantClear(&value);
    value = Read(L"_RAVG");
    EXPECT_EQ(m_error, E_INVALIDARG);
    FreeMediaType(input);
    FreeMediaType(output);
}

TEST_F(EncoderTest, Wmv1SkipsTheDecoderProfileAndCrispness)
{
    tagWMVEncoderConfig config = RecordingConfig(30.0f, MAKEFOURCC('W', 'M', 'V', '1'));
    EXPECT_EQ(CCaptureGraph::SetEncoderProperties(m_encoder.Get(), &config), S_OK);
    Read(L"_KEYDIST");
    EXPECT_EQ(m_error, S_OK);
    Read(L"_CRISP");
    EXPECT_EQ(m_error, E_INVALIDARG);
    Read(L"_DECODERCOMPLEXITYREQUESTED");
    EXPECT_EQ(m_error, E_INVALIDARG);
    // A value the encoder refuses stops the writes with that property's code.
    config.vbrQuality = 1000;
    EXPECT_EQ(CCaptureGraph::SetEncoderProperties(m_encoder.Get(), &config),
              static_cast<HRESULT>(0xC0046077u));
}

TEST_F(EncoderTest, UnknownFourCCAndForeignFormatsAreRefused)
{
    tagWMVEncoderConfig config = RecordingConfig(30.0f, MAKEFOURCC('X', 'V', 'I', 'D'));
    AM_MEDIA_TYPE input = VideoType(FORMAT_VideoInfo, 640, 480, 333333);
    AM_MEDIA_TYPE output{};
    EXPECT_EQ(CCaptureGraph::MakeEncoderOutputType(m_encoder.Get(), &input, &config, &output),
              static_cast<HRESULT>(0xC0046070u));
    FreeMediaType(output);
    // A format that is no video info clears the input type.
    input.formattype = FORMAT_WaveFormatEx;
    EXPECT_EQ(CCaptureGraph::SetEncoderTypes(m_encoder.Get(), &input, &output), E_FAIL);
    EXPECT_EQ(input.pbFormat, nullptr);
    EXPECT_EQ(input.cbFormat, 0u);
    EXPECT_EQ(input.majortype, GUID_NULL);
}
