#include "platform/shell/ExtractImage.h"

#include "platform/com/ComPtr.h"
#include "platform/shell/ItemIdList.h"
#include "platform/shell/ShellFolder.h"
#include "platform/win/Dib.h"
#include "platform/win/LastError.h"
#include "platform/window/WinGdi.h"
#include "tests/support/TempDir.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using platform::com::ComPtr;
using testing_support::TempDir;

namespace
{
/// A picture whose left half is red and right half blue.
QImage TwoColours(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height, QColor(255, 0, 0));
    painter.fillRect(width / 2, 0, width - width / 2, height, QColor(0, 0, 255));
    return image;
}

/// Converts `from` into `to` with the real ffmpeg (for the formats Qt does not write).
void Convert(const std::filesystem::path& from, const std::filesystem::path& to)
{
    const std::string command =
        "ffmpeg -nostdin -loglevel error -y -i '" + from.string() + "' '" + to.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

struct Picture
{
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels; // top-down, row by row
    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
};

Picture Read(HBITMAP bitmap)
{
    Picture picture;
    BITMAP info{};
    if (!bitmap || GetObject(bitmap, sizeof info, &info) == 0)
        return picture;
    picture.width = info.bmWidth;
    picture.height = info.bmHeight;
    std::vector<DWORD> bits(static_cast<size_t>(info.bmWidth * info.bmHeight));
    BITMAPINFO header = Dib32Info(info.bmWidth, -info.bmHeight);
    GetDIBits(nullptr, bitmap, 0, static_cast<UINT>(info.bmHeight), bits.data(), &header, DIB_RGB_COLORS);
    for (const DWORD bgra : bits)
        picture.pixels.push_back(RGB((bgra >> 16) & 0xFF, (bgra >> 8) & 0xFF, bgra & 0xFF));
    return picture;
}

bool Near(COLORREF actual, COLORREF wanted, int tolerance = 40)
{
    return std::abs(GetRValue(actual) - GetRValue(wanted)) <= tolerance &&
           std::abs(GetGValue(actual) - GetGValue(wanted)) <= tolerance &&
           std::abs(GetBValue(actual) - GetBValue(wanted)) <= tolerance;
}

class ExtractImageTest : public testing::Test
{
protected:
    /// The extractor that the file's folder hands out for it.
    HRESULT ExtractorFor(const std::filesystem::path& file, IExtractImage** extractor)
    {
        ComPtr<IShellFolder> desktop;
        EXPECT_EQ(SHGetDesktopFolder(desktop.Put()), S_OK);
        LPITEMIDLIST absolute = ILCreateFromPathA(file.parent_path().c_str());
        ComPtr<IShellFolder> folder;
        HRESULT hr = desktop->BindToObject(absolute, nullptr, IID_IShellFolder, folder.PutVoid());
        ILFree(absolute);
        if (FAILED(hr))
            return hr;
        LPITEMIDLIST child = ILCreateFromPathA(file.c_str());
        LPCITEMIDLIST last = ILFindLastID(child);
        hr = folder->GetUIObjectOf(nullptr, 1, &last, IID_IExtractImage, nullptr,
                                   reinterpret_cast<void**>(extractor));
        ILFree(child);
        return hr;
    }

    /// Extracts `file` at the file list's thumbnail size; the result and the picture.
    HRESULT Extract(const std::filesystem::path& file, Picture& picture, DWORD flags = IEIFLAG_ASPECT)
    {
        ComPtr<IExtractImage> extractor;
        const HRESULT made = ExtractorFor(file, extractor.Put());
        if (FAILED(made))
            return made;
        char location[MAX_PATH] = {};
        const SIZE size{100, 90};
        DWORD priority = 0;
        EXPECT_EQ(extractor->GetLocation(location, MAX_PATH, &priority, &size, 32, &flags), S_OK);
        EXPECT_EQ(std::string(location), file.string());
        HBITMAP bitmap = nullptr;
        const HRESULT hr = extractor->Extract(&bitmap);
        EXPECT_EQ(SUCCEEDED(hr), bitmap != nullptr);
        picture = Read(bitmap);
        if (bitmap)
            DeleteObject(bitmap);
        return hr;
    }

    TempDir dir;
};

struct FormatCase
{
    const char* name;
    const char* file;
    bool throughFfmpeg; // Qt writes no GIF and no JPEG 2000
};

class ExtractImageFormatTest : public ExtractImageTest, public testing::WithParamInterface<FormatCase>
{
};

TEST_P(ExtractImageFormatTest, FitsThePictureIntoTheAskedSizeWithItsColours)
{
    const FormatCase& format = GetParam();
    for (const auto& [width, height, fittedWidth, fittedHeight] : std::vector<std::tuple<int, int, int, int>>{
             {640, 480, 100, 75}, {480, 640, 67, 90}, {40, 30, 100, 75}})
    {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        const auto file = dir / (std::to_string(width) + "-" + format.file);
        if (format.throughFfmpeg)
        {
            ASSERT_TRUE(
                TwoColours(width, height).save(QString::fromStdString((dir / "source.png").string())));
            Convert(dir / "source.png", file);
        }
        else
            ASSERT_TRUE(TwoColours(width, height).save(QString::fromStdString(file.string())));
        Picture picture;
        ASSERT_EQ(Extract(file, picture), S_OK);
        EXPECT_EQ(picture.width, fittedWidth);
        EXPECT_EQ(picture.height, fittedHeight);
        EXPECT_TRUE(Near(picture.At(2, picture.height / 2), RGB(255, 0, 0)));
        EXPECT_TRUE(Near(picture.At(picture.width - 3, picture.height / 2), RGB(0, 0, 255)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ExtractImageFormatTest,
    testing::Values(FormatCase{"Jpeg", "photo.jpg", false}, FormatCase{"Png", "photo.png", false},
                    FormatCase{"Bmp", "photo.bmp", false}, FormatCase{"Gif", "photo.gif", true},
                    FormatCase{"Tiff", "photo.tif", false}, FormatCase{"Jpeg2000", "photo.jp2", true}),
    [](const testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

TEST_F(ExtractImageTest, OriginalSizeKeepsASmallPictureAsItIs)
{
    const auto file = dir / "small.png";
    ASSERT_TRUE(TwoColours(40, 30).save(QString::fromStdString(file.string())));
    Picture picture;
    ASSERT_EQ(Extract(file, picture, IEIFLAG_ORIGSIZE), S_OK);
    EXPECT_EQ(picture.width, 40);
    EXPECT_EQ(picture.height, 30);
}

TEST_F(ExtractImageTest, FilesThatAreNoPicturesFailSoThatTheConverterCanTry)
{
    Picture picture;
    EXPECT_EQ(Extract(dir.WriteFile("notes.txt", "not a picture at all"), picture), E_FAIL);
    // A name that promises a picture changes nothing: the content decides.
    EXPECT_EQ(Extract(dir.WriteFile("video.jpg", std::string("RIFF\0\0\0\0AVI LIST", 16)), picture), E_FAIL);
    EXPECT_EQ(Extract(dir.WriteFile("empty.png", ""), picture), E_FAIL);
}

TEST_F(ExtractImageTest, OnlyOneRegularFileGetsAnExtractor)
{
    std::filesystem::create_directories(dir / "folder");
    IExtractImage* extractor = nullptr;
    EXPECT_EQ(ExtractorFor(dir / "folder", &extractor), E_FAIL);
    EXPECT_EQ(extractor, nullptr);

    ComPtr<IShellFolder> desktop;
    ASSERT_EQ(SHGetDesktopFolder(desktop.Put()), S_OK);
    LPITEMIDLIST absolute = ILCreateFromPathA(dir.Path().c_str());
    ComPtr<IShellFolder> folder;
    ASSERT_EQ(desktop->BindToObject(absolute, nullptr, IID_IShellFolder, folder.PutVoid()), S_OK);
    ILFree(absolute);
    dir.WriteFile("a.png", "x");
    dir.WriteFile("b.png", "x");
    LPITEMIDLIST a = ILCreateFromPathA((dir / "a.png").c_str());
    LPITEMIDLIST b = ILCreateFromPathA((dir / "b.png").c_str());
    LPCITEMIDLIST both[2] = {ILFindLastID(a), ILFindLastID(b)};
    EXPECT_EQ(folder->GetUIObjectOf(nullptr, 2, both, IID_IExtractImage, nullptr,
                                    reinterpret_cast<void**>(&extractor)),
              E_INVALIDARG);
    ILFree(a);
    ILFree(b);

    ASSERT_EQ(ExtractorFor(dir / "a.png", &extractor), S_OK);
    HBITMAP bitmap = nullptr;
    EXPECT_EQ(extractor->Extract(&bitmap), E_UNEXPECTED) << "no size asked yet";
    extractor->Release();
}

/// The bytes of a 640 x 480 picture in `format`, and the same cut to a third.
std::pair<std::string, std::string> WholeAndCut(const TempDir& dir, const char* name)
{
    const auto file = dir / name;
    EXPECT_TRUE(TwoColours(640, 480).save(QString::fromStdString(file.string())));
    std::ifstream in(file, std::ios::binary);
    std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(file);
    return {whole, whole.substr(0, whole.size() / 3)};
}

TEST_F(ExtractImageTest, DamagedPicturesThatNobodyWritesFailAsInvalidData)
{
    for (const char* name : {"cut.png", "cut.jpg"})
    {
        SCOPED_TRACE(name);
        const std::string cut = WholeAndCut(dir, name).second;
        Picture picture;
        EXPECT_EQ(Extract(dir.WriteFile(name, cut), picture), HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
    }
    // A JPEG whose header promises a picture and whose data is noise.
    std::string noise("\xFF\xD8\xFF\xE0", 4);
    for (int i = 0; i < 5000; ++i)
        noise += static_cast<char>((i * 7919) & 0xFF);
    noise += std::string("\xFF\xD9", 2);
    Picture picture;
    EXPECT_EQ(Extract(dir.WriteFile("noise.jpg", noise), picture), HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
}

/// Appends to a file in small steps from another thread, as a recorder writes, until told to stop; then
/// writes the rest and closes the file.
class SlowWriter
{
public:
    SlowWriter(const std::filesystem::path& file, const std::string& start, std::string rest)
        : m_out(file, std::ios::binary), m_rest(std::move(rest))
    {
        m_out << start << std::flush;
        m_thread = std::thread(
            [this]
            {
                while (!m_stop)
                {
                    m_out << '\0' << std::flush;
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            });
    }
    /// Stops appending, then writes the rest and closes.
    void Finish()
    {
        if (!m_thread.joinable())
            return;
        m_stop = true;
        m_thread.join();
        m_out.seekp(0);
        m_out << m_rest;
        m_out.close();
    }
    ~SlowWriter() { Finish(); }

private:
    std::ofstream m_out;
    std::string m_rest;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

TEST_F(ExtractImageTest, APictureStillBeingWrittenIsASharingViolation)
{
    const auto [whole, cut] = WholeAndCut(dir, "growing.png");
    SlowWriter writer(dir / "growing.png", cut, whole);
    Picture picture;
    EXPECT_EQ(Extract(dir / "growing.png", picture), HRESULT_SHARING_VIOLATION);
    writer.Finish();
    ASSERT_EQ(Extract(dir / "growing.png", picture), S_OK);
    EXPECT_EQ(picture.width, 100);
}
} // namespace
