#include "platform/wmformat/WmReader.h"

#include "platform/com/ComPtr.h"
#include "platform/win/CString.h"
#include "tests/kestavo/KestavoTestSupport.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using platform::com::ComPtr;
namespace fs = std::filesystem;

namespace
{
class WmReaderTest : public testing::Test
{
protected:
    std::wstring Wide(const fs::path& path) const { return platform::Utf8ToWide(path.string()); }

    /// A WMV with audio first and video second.
    fs::path MakeWmv()
    {
        const fs::path path = m_dir / "with audio.wmv";
        kestavo_test::MakeClip(path,
                               {"-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-f", "lavfi", "-i",
                                "testsrc=duration=1:size=160x120:rate=10"},
                               {"-map", "0:a", "-map", "1:v", "-c:a", "wmav2", "-c:v", "wmv2"});
        return path;
    }

    testing_support::TempDir m_dir;
};

TEST_F(WmReaderTest, OutputsDescribeTheStreamsInFileOrder)
{
    const fs::path file = MakeWmv();
    ComPtr<IWMSyncReader> reader;
    ASSERT_EQ(WMCreateSyncReader(nullptr, 0, reader.Put()), S_OK);
    ASSERT_EQ(reader->Open(Wide(file).c_str()), S_OK);
    EXPECT_EQ(reader->Open(Wide(file).c_str()), E_UNEXPECTED) << "one file at a time";
    DWORD outputs = 0;
    ASSERT_EQ(reader->GetOutputCount(&outputs), S_OK);
    ASSERT_EQ(outputs, 2u);

    ComPtr<IWMOutputMediaProps> audio;
    ASSERT_EQ(reader->GetOutputProps(0, audio.Put()), S_OK);
    GUID major{};
    audio->GetType(&major);
    EXPECT_EQ(major, MEDIATYPE_Audio);

    ComPtr<IWMOutputMediaProps> video;
    ASSERT_EQ(reader->GetOutputProps(1, video.Put()), S_OK);
    DWORD size = 0;
    ASSERT_EQ(video->GetMediaType(nullptr, &size), S_OK);
    EXPECT_EQ(size, sizeof(WM_MEDIA_TYPE) + sizeof(VIDEOINFOHEADER));
    std::vector<BYTE> buffer(size);
    DWORD tooSmall = size - 1;
    EXPECT_EQ(video->GetMediaType(reinterpret_cast<WM_MEDIA_TYPE*>(buffer.data()), &tooSmall),
              ASF_E_BUFFERTOOSMALL);
    ASSERT_EQ(video->GetMediaType(reinterpret_cast<WM_MEDIA_TYPE*>(buffer.data()), &size), S_OK);
    const auto* type = reinterpret_cast<const WM_MEDIA_TYPE*>(buffer.data());
    EXPECT_EQ(type->majortype, MEDIATYPE_Video);
    EXPECT_EQ(type->formattype, FORMAT_VideoInfo);
    EXPECT_EQ(type->subtype, FOURCCMap(MAKEFOURCC('W', 'M', 'V', '2')));
    ASSERT_EQ(type->pbFormat, buffer.data() + sizeof(WM_MEDIA_TYPE));
    VIDEOINFOHEADER info;
    std::memcpy(&info, type->pbFormat, sizeof info);
    EXPECT_EQ(info.bmiHeader.biWidth, 160);
    EXPECT_EQ(info.bmiHeader.biHeight, 120);
    EXPECT_EQ(info.AvgTimePerFrame, 1000000);

    WORD audioStream = 0;
    WORD videoStream = 0;
    ASSERT_EQ(reader->GetStreamNumberForOutput(0, &audioStream), S_OK);
    ASSERT_EQ(reader->GetStreamNumberForOutput(1, &videoStream), S_OK);
    EXPECT_NE(audioStream, videoStream);
    EXPECT_EQ(reader->SetReadStreamSamples(videoStream, FALSE), S_OK);
    EXPECT_EQ(reader->SetReadStreamSamples(99, FALSE), NS_E_INVALID_REQUEST);
    ComPtr<IWMOutputMediaProps> none;
    EXPECT_EQ(reader->GetOutputProps(2, none.Put()), NS_E_INVALID_REQUEST);
    EXPECT_EQ(reader->Close(), S_OK);
}

TEST_F(WmReaderTest, OnlyAsfFilesOpen)
{
    const fs::path mp4 = m_dir / "clip.mp4";
    kestavo_test::MakeClip(mp4, {"-f", "lavfi", "-i", "testsrc=duration=1:size=160x120:rate=10"},
                           {"-c:v", "mpeg4"});
    ComPtr<IWMSyncReader> reader;
    ASSERT_EQ(WMCreateSyncReader(nullptr, 0, reader.Put()), S_OK);
    EXPECT_EQ(reader->Open(Wide(mp4).c_str()), NS_E_INVALID_INPUT_FORMAT);
    EXPECT_EQ(reader->Open(Wide(m_dir / "missing.wmv").c_str()), NS_E_FILE_NOT_FOUND);
    ComPtr<IWMMetadataEditor> editor;
    ASSERT_EQ(WMCreateEditor(editor.Put()), S_OK);
    EXPECT_EQ(editor->Open(Wide(mp4).c_str()), NS_E_INVALID_INPUT_FORMAT);
}

TEST_F(WmReaderTest, HeaderTellsThePlayTimeOfTheFileOnly)
{
    const fs::path file = MakeWmv();
    ComPtr<IWMMetadataEditor> editor;
    ASSERT_EQ(WMCreateEditor(editor.Put()), S_OK);
    ASSERT_EQ(editor->Open(Wide(file).c_str()), S_OK);
    const ComPtr<IWMHeaderInfo> header = editor.As<IWMHeaderInfo>(IID_IWMHeaderInfo);
    ASSERT_TRUE(header);

    WORD stream = 0;
    WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
    WORD length = 0;
    ASSERT_EQ(header->GetAttributeByName(&stream, g_wszWMDuration, &type, nullptr, &length), S_OK);
    EXPECT_EQ(type, WMT_TYPE_QWORD);
    ASSERT_EQ(length, 8);
    ULONGLONG duration = 0;
    WORD small = 4;
    EXPECT_EQ(header->GetAttributeByName(&stream, g_wszWMDuration, &type, reinterpret_cast<BYTE*>(&duration),
                                         &small),
              ASF_E_BUFFERTOOSMALL);
    ASSERT_EQ(header->GetAttributeByName(&stream, g_wszWMDuration, &type, reinterpret_cast<BYTE*>(&duration),
                                         &length),
              S_OK);
    EXPECT_NEAR(static_cast<double>(duration) / 1e7, 1.0, 0.1);

    WORD videoStream = 1;
    EXPECT_EQ(header->GetAttributeByName(&videoStream, g_wszWMDuration, &type, nullptr, &length),
              ASF_E_NOTFOUND);
    EXPECT_EQ(header->GetAttributeByName(&stream, L"Title", &type, nullptr, &length), ASF_E_NOTFOUND);
    EXPECT_EQ(editor->Close(), S_OK);
}
} // namespace
