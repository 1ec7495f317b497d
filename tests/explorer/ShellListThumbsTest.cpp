#include "brevicam/core/Params.h"
#include "brevicam/explorer/ShellList.h"
#include "brevicam/explorer/ThumbnailPicture.h"
#include "brevicam/media/DllAccessor.h"
#include "platform/listview/ListView.h"
#include "platform/registry/Registry.h"
#include "tests/explorer/ExplorerTestSupport.h"
#include "tests/support/AppLoopSupport.h"
#include "tests/support/DesktopTestSupport.h"
#include "tests/support/GdiTestSupport.h"
#include "tests/support/TempDir.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

using explorer_test::FolderRecord;
using explorer_test::OpenMediator;
using testing_support::Canvas;
using testing_support::Near;
using testing_support::PumpAppUntil;
using testing_support::ScopedEnvironment;
using testing_support::TempDir;
namespace fs = std::filesystem;

namespace
{
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

/// A picture split in two colours: top and bottom halves, or left and right.
QImage Halves(int width, int height, bool leftRight, QColor first = Qt::red, QColor second = Qt::blue)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    if (leftRight)
    {
        painter.fillRect(0, 0, width / 2, height, first);
        painter.fillRect(width / 2, 0, width - width / 2, height, second);
    }
    else
    {
        painter.fillRect(0, 0, width, height / 2, first);
        painter.fillRect(0, height / 2, width, height - height / 2, second);
    }
    return image;
}

void Save(const QImage& image, const fs::path& file)
{
    ASSERT_TRUE(image.save(QString::fromStdString(file.string()))) << file;
}

void Run(const std::string& command)
{
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

/// A short video of the picture made by the real ffmpeg.
void MakeClip(const QImage& picture, const fs::path& clip)
{
    const fs::path still = clip.parent_path() / (clip.stem().string() + "-still.png");
    Save(picture, still);
    Run("ffmpeg -nostdin -loglevel error -y -loop 1 -i '" + still.string() + "' -t 1 -r 5 -c:v mpeg4 '" +
        clip.string() + "'");
    fs::remove(still);
}

/// A file that holds no picture, so that its thumbnail comes from the converter.
fs::path NoPicture(const fs::path& file)
{
    std::ofstream(file) << "RIFF not a picture";
    return file;
}

/// The transcoder library beside a converter of the test's own (a shell script), for what the real one
/// cannot be made to do on cue: wait, write slowly, or never end.
class StandInConverter
{
public:
    StandInConverter(const TempDir& dir, const std::string& body) : m_folder(dir / "standin")
    {
        fs::create_directories(m_folder);
        fs::copy_file(std::string(CParams::GetProgramFolder()) + "/libkestavo.so",
                      m_folder / "libkestavo.so");
        const fs::path script = m_folder / "ffmpeg";
        std::ofstream(script) << "#!/bin/sh\n"
                                 "for a; do last=$a; done\n"
                                 "out=${last#file:}\n"
                                 "input=$(basename \"${4#file:}\")\n"
                              << "log='" << Log().string() << "'\n"
                              << body;
        fs::permissions(script, fs::perms::owner_all);
        SetTranscoderLibraryPath((m_folder / "libkestavo.so").c_str());
    }
    ~StandInConverter() { SetTranscoderLibraryPath(""); }

    fs::path Log() const { return m_folder / "log"; }
    std::vector<std::string> LogLines() const
    {
        std::vector<std::string> lines;
        std::ifstream in(Log());
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

private:
    fs::path m_folder;
};

class ShellListThumbsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories(dir / "tmp");
        fs::create_directories(dir / "shown");
        env.Set("TMPDIR", (dir / "tmp").string());
        ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), "panel", WS_POPUP | WS_VISIBLE,
                                    CRect(0, 0, 600, 800), nullptr, 0));
        ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | LVS_ICON | LVS_AUTOARRANGE, CRect(0, 0, 600, 800),
                                &parent, 1));
        list.InitializeCtrl();
    }
    void TearDown() override
    {
        if (list.GetSafeHwnd())
            list.DestroyWindow();
        parent.DestroyWindow();
        FreeShellItemData(record);
    }

    fs::path Shown(const std::string& name) const { return dir / "shown" / name; }

    void ShowFolder()
    {
        record = FolderRecord(dir / "shown");
        ASSERT_NE(record, nullptr);
        list.ShowFolder(record);
        list.UpdateWindow();
    }

    int IndexOf(const std::string& name) { return list.FindItem(Shown(name).c_str()); }

    /// The image the item shows, drawn over magenta.
    std::vector<COLORREF> ImageOf(const std::string& name)
    {
        const int index = IndexOf(name);
        LVITEM item{};
        item.mask = LVIF_IMAGE;
        item.iItem = index;
        if (index < 0 || !list.GetItem(&item) || item.iImage < 0)
            return {};
        CImageList* images = list.GetImageList(LVSIL_NORMAL);
        Canvas canvas(ShellThumbWidth, ShellThumbHeight, RGB(255, 0, 255));
        ImageList_Draw(images->GetSafeHandle(), item.iImage, canvas.dc(), 0, 0, ILD_NORMAL);
        std::vector<COLORREF> pixels;
        for (int y = 0; y < ShellThumbHeight; ++y)
            for (int x = 0; x < ShellThumbWidth; ++x)
                pixels.push_back(canvas.at(x, y));
        return pixels;
    }
    static COLORREF At(const std::vector<COLORREF>& pixels, int x, int y)
    {
        return pixels[static_cast<size_t>(y * ShellThumbWidth + x)];
    }

    /// Waits until the item shows a picture whose centre has `colour`.
    bool WaitForThumbnail(const std::string& name, COLORREF centre, int x = 50, int y = 45,
                          int limitMs = 15000)
    {
        return PumpAppUntil(
            [&]
            {
                const auto pixels = ImageOf(name);
                return !pixels.empty() && Near(At(pixels, x, y), centre, 60);
            },
            limitMs);
    }

    /// The frame folders left in the temporary folder.
    std::vector<std::string> LeftInTemporaryFolder() const
    {
        std::vector<std::string> left;
        for (const auto& name : testing_support::FilesIn(dir / "tmp"))
            if (name.rfind("brevicam-frame-", 0) == 0)
                left.push_back(name);
        return left;
    }

    TempDir dir;
    ScopedEnvironment env;
    OpenMediator mediator;
    CWnd parent;
    CShellListCtrl list{&mediator};
    tagTShellItemData* record = nullptr;
};

/// Checks the frame, the empty rows and the picture's rows of a thumbnail whose picture starts at row
/// `top` and ends before row `bottom`.
void ExpectFramedRows(const std::vector<COLORREF>& pixels, int top, int bottom)
{
    const COLORREF window = GetSysColor(COLOR_WINDOW) & 0xFFFFFF;
    const COLORREF face = GetSysColor(COLOR_BTNFACE) & 0xFFFFFF;
    const auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y * ShellThumbWidth + x)]; };
    for (int x : {0, 50, 99})
    {
        EXPECT_EQ(at(x, 0), face) << x;
        EXPECT_EQ(at(x, ShellThumbHeight - 1), face) << x;
    }
    for (int y : {1, 45, 88})
    {
        EXPECT_EQ(at(0, y), face) << y;
        EXPECT_EQ(at(99, y), face) << y;
    }
    for (int y = 1; y < top; ++y)
        EXPECT_EQ(at(50, y), window) << "row " << y;
    for (int y = bottom; y < ShellThumbHeight - 1; ++y)
        EXPECT_EQ(at(50, y), window) << "row " << y;
    if (top > 1)
    {
        EXPECT_NE(at(50, top), window);
    }
    if (bottom < ShellThumbHeight - 1)
    {
        EXPECT_NE(at(50, bottom - 1), window);
    }
}

TEST_F(ShellListThumbsTest, APhotoIsFittedCentredAndFramedWithItsColours)
{
    Save(Halves(640, 480, false), Shown("landscape.jpg"));
    Save(Halves(480, 640, true), Shown("portrait.png"));
    ShowFolder();
    ASSERT_TRUE(WaitForThumbnail("landscape.jpg", kRed, 50, 20));
    ASSERT_TRUE(WaitForThumbnail("portrait.png", kRed, 30, 45));

    // 640 x 480 becomes 100 x 75: 7 rows above it (the frame line among them) and 8 below.
    const auto landscape = ImageOf("landscape.jpg");
    ExpectFramedRows(landscape, 7, 82);
    EXPECT_TRUE(Near(At(landscape, 50, 8), kRed, 40));
    EXPECT_TRUE(Near(At(landscape, 50, 80), kBlue, 40));

    // 480 x 640 becomes 67 x 90, 16 columns in from the left.
    const auto portrait = ImageOf("portrait.png");
    const COLORREF window = GetSysColor(COLOR_WINDOW) & 0xFFFFFF;
    EXPECT_EQ(At(portrait, 15, 45), window);
    EXPECT_TRUE(Near(At(portrait, 17, 45), kRed, 10));
    EXPECT_TRUE(Near(At(portrait, 81, 45), kBlue, 10));
    EXPECT_EQ(At(portrait, 83, 45), window);
    EXPECT_TRUE(LeftInTemporaryFolder().empty());
}

TEST_F(ShellListThumbsTest, VideosGetAFrameOfTheRealConverterAndLeaveNothingBehind)
{
    MakeClip(Halves(640, 480, false), Shown("landscape.avi"));
    MakeClip(Halves(480, 640, false), Shown("portrait.avi"));
    ShowFolder();
    ASSERT_TRUE(WaitForThumbnail("landscape.avi", kRed, 50, 20));
    ASSERT_TRUE(WaitForThumbnail("portrait.avi", kBlue, 50, 80));

    // The frame is 100 pixels wide: 640 x 480 gives 100 x 75 centred ...
    const auto landscape = ImageOf("landscape.avi");
    ExpectFramedRows(landscape, 7, 82);
    // ... and 480 x 640 gives 100 x 133, of which the middle 90 rows show (its halves meet at row 45).
    const auto portrait = ImageOf("portrait.avi");
    ExpectFramedRows(portrait, 1, ShellThumbHeight - 1);
    EXPECT_TRUE(Near(At(portrait, 50, 43), kRed, 60));
    EXPECT_TRUE(Near(At(portrait, 50, 48), kBlue, 60));

    EXPECT_TRUE(LeftInTemporaryFolder().empty());
    // The converter was reaped: no child of this process is left.
    for (const auto& task : fs::directory_iterator("/proc/self/task"))
        EXPECT_EQ(testing_support::ReadFile(task.path() / "children"), "") << task.path();
}

TEST_F(ShellListThumbsTest, DamagedPicturesKeepTheirIconImage)
{
    const std::string whole = [&]
    {
        Save(Halves(640, 480, false), dir / "whole.png");
        return testing_support::ReadFile(dir / "whole.png");
    }();
    dir.WriteFile("shown/a-cut.png", whole.substr(0, whole.size() / 2));
    std::string noise("\xFF\xD8\xFF\xE0", 4);
    for (int i = 0; i < 4000; ++i)
        noise += static_cast<char>((i * 7919) & 0xFF);
    dir.WriteFile("shown/b-corrupt.jpg", noise + std::string("\xFF\xD9", 2));
    Save(Halves(640, 480, false), Shown("z-good.jpg"));
    ShowFolder();
    const auto cutBefore = ImageOf("a-cut.png");
    const auto corruptBefore = ImageOf("b-corrupt.jpg");
    // Jobs run in the list's order: once the last file has its thumbnail, the others are done.
    ASSERT_TRUE(WaitForThumbnail("z-good.jpg", kRed, 50, 20));
    EXPECT_EQ(ImageOf("a-cut.png"), cutBefore);
    EXPECT_EQ(ImageOf("b-corrupt.jpg"), corruptBefore);
    EXPECT_TRUE(LeftInTemporaryFolder().empty());
}

TEST_F(ShellListThumbsTest, AFileStillGrowingIsRetriedUntilItIsComplete)
{
    Save(Halves(640, 480, false), dir / "whole.png");
    const std::string whole = testing_support::ReadFile(dir / "whole.png");
    std::ofstream out(Shown("growing.png"), std::ios::binary);
    out << whole.substr(0, whole.size() / 3) << std::flush;
    std::atomic<bool> stop{false};
    std::thread writer(
        [&]
        {
            // A recorder's pace: a little at a time, for longer than one attempt watches the file.
            for (int i = 0; i < 40 && !stop; ++i)
            {
                out << '\0' << std::flush;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            out.seekp(0);
            out << whole;
            out.close();
        });
    ShowFolder();
    const bool shown = WaitForThumbnail("growing.png", kRed, 50, 20);
    stop = true;
    writer.join();
    EXPECT_TRUE(shown);
}

TEST_F(ShellListThumbsTest, ARefreshAskedByTheOwnerOvertakesThePopulation)
{
    for (int i = 0; i < 12; ++i)
    {
        // Formatted rather than concatenated: GCC 12 warns falsely (-Wrestrict) on "p" + std::to_string().
        char name[16];
        std::snprintf(name, sizeof name, "p%d.jpg", 10 + i);
        Save(Halves(320, 240, false, Qt::green, Qt::green), Shown(name));
    }
    Save(Halves(320, 240, false), Shown("z.jpg"));
    list.EnableThumbnails(FALSE);
    ShowFolder();
    ASSERT_TRUE(list.RefreshThumbnail(IndexOf("z.jpg")));
    EXPECT_FALSE(list.RefreshThumbnail(-1));
    EXPECT_FALSE(list.RefreshThumbnail(list.GetItemCount()));
    list.EnableThumbnails(TRUE);
    ASSERT_TRUE(WaitForThumbnail("z.jpg", kRed, 50, 20));
    const auto last = ImageOf("p21.jpg");
    EXPECT_TRUE(last.empty() || !Near(At(last, 50, 45), RGB(0, 255, 0), 60)) << "the last file came first";
    EXPECT_TRUE(WaitForThumbnail("p21.jpg", RGB(0, 255, 0)));
}

TEST_F(ShellListThumbsTest, PausingLetsTheRunningJobFinishAndStartsNothingMore)
{
    StandInConverter converter(dir, "echo \"start $input\" >> \"$log\"\n"
                                    "while [ ! -e '" +
                                        (dir / "go").string() +
                                        "' ]; do sleep 0.05; done\n"
                                        "cp '" +
                                        (dir / "frame.bmp").string() + "' \"$out\"\n");
    Save(Halves(320, 240, false), dir / "frame.bmp");
    NoPicture(Shown("v1.avi"));
    NoPicture(Shown("v2.avi"));
    ShowFolder();
    ASSERT_TRUE(PumpAppUntil([&] { return converter.LogLines().size() == 1; }));
    list.EnableThumbnails(FALSE);
    std::ofstream(dir / "go") << "";
    // The running job's result is still applied ...
    ASSERT_TRUE(WaitForThumbnail("v1.avi", kRed, 50, 20));
    // ... and no other starts while paused.
    EXPECT_FALSE(PumpAppUntil([&] { return converter.LogLines().size() > 1; }, 500));
    list.EnableThumbnails(TRUE);
    ASSERT_TRUE(WaitForThumbnail("v2.avi", kRed, 50, 20));
    EXPECT_EQ(converter.LogLines(), (std::vector<std::string>{"start v1.avi", "start v2.avi"}));
}

TEST_F(ShellListThumbsTest, OneJobRunsAtATimeAndAModifiedFileIsQueuedOnce)
{
    StandInConverter converter(dir, "echo \"start $input\" >> \"$log\"\n"
                                    "while [ ! -e '" +
                                        (dir / "go").string() +
                                        "' ]; do sleep 0.05; done\n"
                                        "cp '" +
                                        (dir / "frame.bmp").string() +
                                        "' \"$out\"\n"
                                        "echo \"end $input\" >> \"$log\"\n");
    Save(Halves(320, 240, false), dir / "frame.bmp");
    NoPicture(Shown("clip.avi"));
    NoPicture(Shown("other.avi"));
    ShowFolder();
    ASSERT_TRUE(PumpAppUntil([&] { return converter.LogLines().size() == 1; }));
    // While the first job runs: the owner asks for it again, thumbnails are switched off and on, and the
    // file is reported modified five times.
    ASSERT_TRUE(list.RefreshThumbnail(IndexOf("clip.avi")));
    list.EnableThumbnails(FALSE);
    list.EnableThumbnails(TRUE);
    for (int i = 0; i < 5; ++i)
    {
        auto* name = new char[9];
        std::strcpy(name, "clip.avi");
        list.SendMessage(WM_SHELLLIST_FILE_MODIFIED, 0, reinterpret_cast<LPARAM>(name));
    }
    std::ofstream(dir / "go") << "";
    ASSERT_TRUE(WaitForThumbnail("clip.avi", kRed, 50, 20));
    // One more run covers the refresh and the modifications, ahead of the other file; no run beside
    // another.
    ASSERT_TRUE(WaitForThumbnail("other.avi", kRed, 50, 20));
    EXPECT_FALSE(PumpAppUntil([&] { return converter.LogLines().size() > 6; }, 500));
    EXPECT_EQ(converter.LogLines(),
              (std::vector<std::string>{"start clip.avi", "end clip.avi", "start clip.avi", "end clip.avi",
                                        "start other.avi", "end other.avi"}));
}

TEST_F(ShellListThumbsTest, ModifiedFilesAreNotQueuedWhilePaused)
{
    Save(Halves(320, 240, false), Shown("photo.png"));
    ShowFolder();
    ASSERT_TRUE(WaitForThumbnail("photo.png", kRed, 50, 20));
    list.EnableThumbnails(FALSE);
    // Renamed into place, so that only the report below tells the list of the new content.
    Save(Halves(320, 240, false, Qt::green, Qt::green), dir / "photo.png");
    fs::rename(dir / "photo.png", Shown("photo.png"));
    auto* name = new char[10];
    std::strcpy(name, "photo.png");
    list.SendMessage(WM_SHELLLIST_FILE_MODIFIED, 0, reinterpret_cast<LPARAM>(name));
    list.EnableThumbnails(TRUE);
    EXPECT_FALSE(WaitForThumbnail("photo.png", RGB(0, 255, 0), 50, 45, 500));
    // The owner asks for the file's thumbnail once it is done.
    ASSERT_TRUE(list.RefreshThumbnail(IndexOf("photo.png")));
    EXPECT_TRUE(WaitForThumbnail("photo.png", RGB(0, 255, 0)));
}

TEST_F(ShellListThumbsTest, AFileRewrittenInPlaceGetsANewThumbnail)
{
    Save(Halves(320, 240, false), Shown("photo.png"));
    ShowFolder();
    ASSERT_TRUE(WaitForThumbnail("photo.png", kRed, 50, 20));
    Save(Halves(320, 240, false, Qt::green, Qt::green), Shown("photo.png"));
    EXPECT_TRUE(WaitForThumbnail("photo.png", RGB(0, 255, 0)));
}

TEST_F(ShellListThumbsTest, AFrameIsReadOnlyOnceTheConverterHasWrittenItWhole)
{
    // The stand-in writes the first half of the picture, waits, then the rest.
    Save(Halves(320, 240, false), dir / "frame.bmp");
    StandInConverter converter(dir, "head -c 40000 '" + (dir / "frame.bmp").string() +
                                        "' > \"$out\"\n"
                                        "sleep 1\n"
                                        "cp '" +
                                        (dir / "frame.bmp").string() + "' \"$out\"\n");
    NoPicture(Shown("clip.avi"));
    ShowFolder();
    ASSERT_TRUE(WaitForThumbnail("clip.avi", kRed, 50, 20));
    const auto pixels = ImageOf("clip.avi");
    EXPECT_TRUE(Near(At(pixels, 50, 80), kBlue, 40));
    EXPECT_TRUE(LeftInTemporaryFolder().empty());
}

TEST_F(ShellListThumbsTest, ClosingTheListEndsARunningConverterAtOnce)
{
    // Without being ended, the converter would hold the generator for ten minutes.
    env.Set("KESTAVO_SILENCE_TIMEOUT_MS", "600000");
    StandInConverter converter(dir, "echo $$ > '" + (dir / "pid").string() + "'\nexec sleep 600\n");
    NoPicture(Shown("clip.avi"));
    ShowFolder();
    ASSERT_TRUE(PumpAppUntil([&] { return fs::exists(dir / "pid") && fs::file_size(dir / "pid") > 0; }));
    const pid_t pid = std::stoi(testing_support::ReadFile(dir / "pid"));
    list.DestroyWindow();
    // Ended and reaped: no such process any more.
    EXPECT_EQ(kill(pid, 0), -1);
    EXPECT_EQ(errno, ESRCH);
    EXPECT_TRUE(LeftInTemporaryFolder().empty());
}

TEST_F(ShellListThumbsTest, ArabicMirrorsEveryThumbnailLeftToRight)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Tavisk\\" + CParams::GetProgramFolder(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Language", 0, REG_SZ, reinterpret_cast<const BYTE*>("ara"), 4);
    Save(Halves(640, 480, true), Shown("photo.png"));
    ShowFolder();
    const bool shown = WaitForThumbnail("photo.png", kBlue, 20, 45);
    RegDeleteValueA(key, "Language");
    RegCloseKey(key);
    ASSERT_TRUE(shown);
    const auto pixels = ImageOf("photo.png");
    EXPECT_TRUE(Near(At(pixels, 80, 45), kRed, 10));
    ExpectFramedRows(pixels, 7, 82);
}

TEST(MirrorBitmapTest, MirrorsACopyAcrossEitherAxis)
{
    void* bits = nullptr;
    HBITMAP source = testing_support::TopDownBitmap(3, 2, &bits);
    auto* pixels = static_cast<uint32_t*>(bits);
    for (uint32_t i = 0; i < 6; ++i)
        pixels[i] = 0xFF000000u | (i + 1);
    for (const auto& [leftRight, wanted] : std::vector<std::pair<BOOL, std::vector<COLORREF>>>{
             {TRUE, {3, 2, 1, 6, 5, 4}}, {FALSE, {4, 5, 6, 1, 2, 3}}})
    {
        HBITMAP mirrored = MirrorBitmap(source, leftRight);
        ASSERT_NE(mirrored, nullptr);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, mirrored);
        std::vector<COLORREF> seen;
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                seen.push_back(GetPixel(dc, x, y) >> 16); // the blue channel, as RGB stores it
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(mirrored);
        EXPECT_EQ(seen, wanted) << leftRight;
    }
    EXPECT_EQ(pixels[0], 0xFF000001u) << "the source stays as it was";
    DeleteObject(source);
    EXPECT_EQ(MirrorBitmap(nullptr, TRUE), nullptr);
}
} // namespace
