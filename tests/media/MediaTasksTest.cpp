#include "brevicam/core/Params.h"
#include "brevicam/media/GIFConversionTask.h"
#include "brevicam/media/PhotoResizeTask.h"
#include "platform/image/CxImage.h"
#include "platform/zorneth/Zorneth.h"
#include "tests/platform/dshow/MediaProbe.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/resource.h>
#include <thread>

namespace
{
using testing_support::FilesIn;
using testing_support::Today;
namespace fs = std::filesystem;

/// The window the tasks report their modal waits to.
class ParentWnd : public CWnd
{
public:
    std::vector<WPARAM> states;
    afx_msg LRESULT OnModalTaskState(WPARAM wParam, LPARAM)
    {
        states.push_back(wParam);
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ParentWnd, CWnd)
ON_MESSAGE(WM_MODAL_TASK_STATE, OnModalTaskState)
END_MESSAGE_MAP()

/// A colour image with a different colour in each quarter, so that every frame and photo has content.
CxImage ColourImage(DWORD width, DWORD height, BYTE shade = 0)
{
    CxImage image;
    image.Create(width, height, 24);
    for (DWORD y = 0; y < height; ++y)
        for (DWORD x = 0; x < width; ++x)
            image.SetPixelColor(static_cast<long>(x), static_cast<long>(y),
                                RGBQUAD{static_cast<BYTE>(x * 255 / width),
                                        static_cast<BYTE>(y * 255 / height),
                                        static_cast<BYTE>(shade + (x < width / 2 ? 0 : 120)), 0});
    return image;
}

class MediaTaskTest : public testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories(m_dir.Path() / "home");
        setenv("HOME", (m_dir.Path() / "home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_dir.Path() / "home" / ".config").c_str(), 1);
        m_photos = m_dir.Path() / "photos";
        fs::create_directories(m_photos);
        SetPhotoFolder(m_photos);
        {
            CSingleLock lock(&g_params.m_cs, TRUE);
            g_params.m_PhotoFormat = 3;
            g_params.m_ImagesPerSecond = 3;
            g_params.m_CamMode = 0;
        }
        g_params.ClearLastFiles();
        m_parent.CreateEx(0, AfxRegisterWndClass(0), "parent", WS_POPUP | WS_VISIBLE, 10, 10, 600, 400,
                          nullptr, nullptr);
        CGIFConversionTask::SetFileOpener(&RecordOpened);
        s_opened.clear();
    }
    void TearDown() override
    {
        CGIFConversionTask::SetFileOpener(nullptr);
        platform::zorneth::ClearScriptedAnswers();
        m_parent.DestroyWindow();
    }

    static void SetPhotoFolder(const fs::path& folder)
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_PhotoPath = folder.string().c_str();
    }
    static void RecordOpened(const CString& path) { s_opened.push_back(path.Str()); }

    fs::path GifFolder() const { return m_dir.Path() / "home" / "Documents" / "Tavisk webcam" / "GIF"; }
    std::string PhotoBase() const { return (m_photos / ("Pic-" + Today() + "-")).string(); }

    static inline std::vector<std::string> s_opened;
    testing_support::TempDir m_dir;
    fs::path m_photos;
    ParentWnd m_parent;
};

// Photo naming and format -------------------------------------------------------------------------------

struct PhotoCase
{
    const char* name;
    int format;
    std::vector<std::string> existing; // counters and extensions already in the folder, e.g. "001.bmp"
    bool grey;
    std::string expected; // counter and extension of the file written
    DWORD expectedBpp;
};

void PrintTo(const PhotoCase& c, std::ostream* os)
{
    *os << c.name;
}

class PhotoNamingTest : public MediaTaskTest, public testing::WithParamInterface<PhotoCase>
{
};

TEST_P(PhotoNamingTest, WritesTheNextFreeNameInTheChosenFormat)
{
    const PhotoCase& c = GetParam();
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_PhotoFormat = c.format;
    }
    for (const std::string& e : c.existing)
        std::ofstream(PhotoBase() + e) << "x";
    CxImage image = ColourImage(64, 48);
    if (c.grey)
    {
        image.DecreaseBpp(8, false);
        image.SetGrayPalette();
        ASSERT_TRUE(image.IsGrayScale());
    }

    CPhotoResizeTask task(&m_parent);
    task.Save(&image, CResolution(64, 48, false));

    EXPECT_EQ(task.GetResult(), 0);
    const std::string expected = PhotoBase() + c.expected;
    EXPECT_EQ(task.GetFileName().Str(), expected);
    CxImage written;
    ASSERT_TRUE(written.Load(expected.c_str())) << written.GetLastError();
    EXPECT_EQ(written.GetType(), c.format == 1 ? CXIMAGE_FORMAT_BMP : CXIMAGE_FORMAT_JPG);
    EXPECT_EQ(written.GetWidth(), 64u);
    EXPECT_EQ(written.GetBpp(), c.expectedBpp);
    EXPECT_EQ(written.IsGrayScale(), c.grey);
    const auto last = g_params.GetLastFiles();
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(last[0].Str(), expected);
    EXPECT_TRUE(m_parent.states.empty()) << "a synchronous save has no modal wait";
}

INSTANTIATE_TEST_SUITE_P(
    Photos, PhotoNamingTest,
    testing::Values(PhotoCase{"FirstJpeg", 3, {}, false, "001.jpg", 24},
                    PhotoCase{"JpegStepsOverBitmap", 3, {"001.bmp"}, false, "002.jpg", 24},
                    PhotoCase{
                        "BitmapStepsOverBoth", 1, {"001.jpg", "002.bmp", "004.jpg"}, false, "003.bmp", 24},
                    PhotoCase{"GreyJpegStaysGrey", 3, {}, true, "001.jpg", 8},
                    PhotoCase{"OtherFilesDoNotCount", 3, {"001.png", "001"}, false, "001.jpg", 24}),
    [](const testing::TestParamInfo<PhotoCase>& info) { return std::string(info.param.name); });

TEST_F(MediaTaskTest, InterpolatedSizeIsResampledBehindTheWaitWindow)
{
    CxImage image = ColourImage(160, 120);
    g_bCaptureDlgReenable = 0;
    g_bCaptureSmallDlgReenable = 0;

    CPhotoResizeTask task(&m_parent);
    task.SetAsync(1);
    task.Save(&image, CResolution(320, 240, true));

    EXPECT_EQ(task.GetResult(), 0);
    EXPECT_EQ(m_parent.states, (std::vector<WPARAM>{0, 1}));
    EXPECT_EQ(g_bCaptureDlgReenable, 1);
    EXPECT_EQ(g_bCaptureSmallDlgReenable, 1);
    EXPECT_TRUE(m_parent.IsWindowEnabled()) << "the modal wait gives the parent back";
    EXPECT_FALSE(task.IsRunning());
    CxImage written;
    ASSERT_TRUE(written.Load(task.GetFileName().Str().c_str()));
    EXPECT_EQ(written.GetWidth(), 320u);
    EXPECT_EQ(written.GetHeight(), 240u);
}

TEST_F(MediaTaskTest, NativeSizeIsNotResampled)
{
    CxImage image = ColourImage(160, 120);
    CPhotoResizeTask task(&m_parent);
    task.Save(&image, CResolution(320, 240, false));
    ASSERT_EQ(task.GetResult(), 0);
    CxImage written;
    ASSERT_TRUE(written.Load(task.GetFileName().Str().c_str()));
    EXPECT_EQ(written.GetWidth(), 160u);
}

class PhotoModeTest : public MediaTaskTest, public testing::WithParamInterface<int>
{
};

TEST_P(PhotoModeTest, InvalidImageWritesNothing)
{
    CxImage empty;
    CPhotoResizeTask task(&m_parent);
    task.SetAsync(GetParam());
    task.Save(&empty, CResolution(320, 240, true));
    EXPECT_EQ(task.GetResult(), -2);
    EXPECT_TRUE(FilesIn(m_photos).empty());
    EXPECT_TRUE(task.GetFileName().IsEmpty());
}

TEST_P(PhotoModeTest, DeclinedMissingFolderRefusesTheSave)
{
    const fs::path missing = m_dir.Path() / "gone" / "photos";
    SetPhotoFolder(missing);
    platform::zorneth::SetScriptedAnswers({IDNO});
    CxImage image = ColourImage(32, 32);

    CPhotoResizeTask task(&m_parent);
    task.SetAsync(GetParam());
    task.Save(&image, CResolution(32, 32, false));

    EXPECT_EQ(task.GetResult(), -3);
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].Text.find("does not exist"), std::string::npos);
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_TRUE(g_params.GetLastFiles().empty());
}

TEST_P(PhotoModeTest, AcceptedMissingFolderIsCreatedAndUsed)
{
    const fs::path missing = m_dir.Path() / "new" / "photos";
    SetPhotoFolder(missing);
    platform::zorneth::SetScriptedAnswers({IDYES});
    CxImage image = ColourImage(32, 32);

    CPhotoResizeTask task(&m_parent);
    task.SetAsync(GetParam());
    task.Save(&image, CResolution(32, 32, false));

    EXPECT_EQ(task.GetResult(), 0);
    EXPECT_EQ(FilesIn(missing), (std::vector<std::string>{"Pic-" + Today() + "-001.jpg"}));
}

TEST_P(PhotoModeTest, WriteFailureLeavesNoFile)
{
    CxImage image = ColourImage(400, 300);
    // Files may grow to 4 KiB only: the write fails part-way with EFBIG instead of a signal.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    CPhotoResizeTask task(&m_parent);
    task.SetAsync(GetParam());
    task.Save(&image, CResolution(400, 300, false));
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(task.GetResult(), -4);
    EXPECT_EQ(task.GetFileName().Str(), PhotoBase() + "001.jpg") << "the name tried is kept for the message";
    EXPECT_TRUE(FilesIn(m_photos).empty());
    EXPECT_TRUE(g_params.GetLastFiles().empty());
}

INSTANTIATE_TEST_SUITE_P(Modes, PhotoModeTest, testing::Values(0, 1),
                         [](const testing::TestParamInfo<int>& info)
                         { return info.param ? "Async" : "Sync"; });

/// A photo task whose work throws.
class ThrowingPhotoTask : public CPhotoResizeTask
{
public:
    using CPhotoResizeTask::CPhotoResizeTask;
    bool standard = true;

protected:
    int Run() override
    {
        if (standard)
            throw std::runtime_error("broken");
        throw 42;
    }
};

TEST_F(MediaTaskTest, ExceptionInTheWorkerIsResultMinusOne)
{
    CxImage image = ColourImage(8, 8);
    for (bool standard : {true, false})
    {
        ThrowingPhotoTask task(&m_parent);
        task.standard = standard;
        task.SetAsync(1);
        task.Save(&image, CResolution(8, 8, false));
        EXPECT_EQ(task.GetResult(), -1);
    }
    EXPECT_EQ(m_parent.states, (std::vector<WPARAM>{0, 1, 0, 1}));

    ThrowingPhotoTask sync(&m_parent);
    EXPECT_THROW(sync.Save(&image, CResolution(8, 8, false)), std::runtime_error)
        << "on the caller's thread the exception reaches the caller";
}

// Animated GIF ----------------------------------------------------------------------------------------

bool LoopsForever(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto at = bytes.find("NETSCAPE2.0");
    // Sub-block of 3 bytes: 1, then the loop count (little endian), 0 = without end.
    return at != std::string::npos && at + 15 <= bytes.size() && bytes[at + 11] == 3 && bytes[at + 12] == 1 &&
           bytes[at + 13] == 0 && bytes[at + 14] == 0;
}

struct GifCase
{
    const char* name;
    int imagesPerSecond;
    DWORD width, height;
    int frames;
    int expectedDelay;
    int expectedWidth, expectedHeight;
};

void PrintTo(const GifCase& c, std::ostream* os)
{
    *os << c.name;
}

class GifTest : public MediaTaskTest, public testing::WithParamInterface<GifCase>
{
};

TEST_P(GifTest, WritesALoopingAnimationAndOpensIt)
{
    const GifCase& c = GetParam();
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_ImagesPerSecond = c.imagesPerSecond;
    }
    std::vector<CxImage> frames;
    for (int i = 0; i < c.frames; ++i)
        frames.push_back(ColourImage(c.width, c.height, static_cast<BYTE>(i * 40)));

    CGIFConversionTask task(&m_parent);
    task.Convert(frames);

    EXPECT_EQ(m_parent.states, (std::vector<WPARAM>{0, 1}));
    const auto files = FilesIn(GifFolder());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].rfind("Gif-" + Today() + "-", 0), 0u) << files[0];
    const std::string path = (GifFolder() / files[0]).string();
    EXPECT_EQ(s_opened, (std::vector<std::string>{path}));
    const testing_support::GifProbe probe = testing_support::ProbeGif(path);
    EXPECT_EQ(probe.frames, c.frames);
    EXPECT_EQ(probe.width, c.expectedWidth);
    EXPECT_EQ(probe.height, c.expectedHeight);
    for (int d : probe.durations)
        EXPECT_EQ(d, c.expectedDelay);
    EXPECT_TRUE(LoopsForever(path));
    EXPECT_EQ(frames[0].GetBpp(), 24u) << "the caller's frames are copied, not changed";
}

INSTANTIATE_TEST_SUITE_P(Gifs, GifTest,
                         testing::Values(GifCase{"ThreePerSecond", 3, 160, 120, 4, 33, 160, 120},
                                         GifCase{"ZeroRateShowsASecond", 0, 64, 48, 3, 100, 64, 48},
                                         GifCase{"NegativeRateShowsASecond", -2, 64, 48, 2, 100, 64, 48},
                                         GifCase{"WideButNotTallKeepsItsSize", 5, 800, 480, 2, 20, 800, 480},
                                         GifCase{"LargeBecomesVga", 3, 1280, 720, 2, 33, 640, 480}),
                         [](const testing::TestParamInfo<GifCase>& info)
                         { return std::string(info.param.name); });

TEST_F(MediaTaskTest, GifNamesNeverReuseACounter)
{
    fs::create_directories(GifFolder());
    std::vector<CxImage> frames{ColourImage(16, 16), ColourImage(16, 16, 90)};
    CGIFConversionTask first(&m_parent);
    first.Convert(frames);
    CGIFConversionTask second(&m_parent);
    second.Convert(frames);
    const auto files = FilesIn(GifFolder());
    ASSERT_EQ(files.size(), 2u);
    ASSERT_EQ(s_opened.size(), 2u);
    EXPECT_LT(s_opened[0], s_opened[1]);
}

TEST_F(MediaTaskTest, NoFramesWriteNothingAndMakeNoFolder)
{
    CGIFConversionTask task(&m_parent);
    task.Convert({});
    EXPECT_EQ(m_parent.states, (std::vector<WPARAM>{0, 1})) << "the wait ends even when the work ended first";
    EXPECT_FALSE(fs::exists(GifFolder()));
    EXPECT_TRUE(s_opened.empty());
}

TEST_F(MediaTaskTest, FailedGifIsReportedAndLeavesNoFile)
{
    platform::zorneth::SetScriptedAnswers({IDOK});
    // Frames of different sizes cannot make one animation.
    std::vector<CxImage> frames{ColourImage(32, 32), ColourImage(16, 16)};
    CGIFConversionTask task(&m_parent);
    task.Convert(frames);

    EXPECT_TRUE(FilesIn(GifFolder()).empty());
    EXPECT_TRUE(s_opened.empty());
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Caption, CParams::GetAppTitle().Str());
    EXPECT_EQ(boxes[0].Style, UINT(MB_OK));
}
} // namespace

namespace
{
/// A photo task whose work waits until the test lets it go, so that its wait window can be looked at.
class HeldPhotoTask : public CPhotoResizeTask
{
public:
    using CPhotoResizeTask::CPhotoResizeTask;
    std::atomic<bool> release{false};
    CPhotoResizeDialog* dialog = nullptr;

protected:
    CPhotoResizeDialog* CreateWaitDialog(IWaitableTask* task, CWnd* parent) override
    {
        dialog = CPhotoResizeTask::CreateWaitDialog(task, parent);
        return dialog;
    }
    int Run() override
    {
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return 7;
    }
};

HeldPhotoTask* s_held = nullptr;
std::string s_waitText;
bool s_survivedOkCancel = false;

void CALLBACK LookAtWaitWindow(HWND, UINT, UINT_PTR id, DWORD)
{
    if (!s_held->dialog || !::IsWindow(s_held->dialog->GetSafeHwnd()))
        return;
    ::KillTimer(nullptr, id);
    const HWND wait = s_held->dialog->GetSafeHwnd();
    char text[128] = {};
    ::GetDlgItemText(wait, IDC_WAIT_TEXT, text, sizeof text);
    s_waitText = text;
    ::SendMessage(wait, WM_COMMAND, IDOK, 0);
    ::SendMessage(wait, WM_COMMAND, IDCANCEL, 0);
    s_survivedOkCancel = ::IsWindow(wait) && s_held->IsRunning();
    s_held->release = true;
}

TEST_F(MediaTaskTest, WaitWindowShowsItsTextAndIgnoresOkAndCancel)
{
    CxImage image = ColourImage(8, 8);
    HeldPhotoTask task(&m_parent);
    s_held = &task;
    task.SetAsync(1);
    ::SetTimer(nullptr, 0, 10, &LookAtWaitWindow);
    task.Save(&image, CResolution(8, 8, false));

    EXPECT_EQ(s_waitText, "Please wait…");
    EXPECT_TRUE(s_survivedOkCancel) << "only the end of the work closes the wait window";
    EXPECT_EQ(task.GetResult(), 7) << "the dialog hands the work's result to its task";
    EXPECT_FALSE(task.IsRunning());
}
} // namespace

namespace
{
TEST_F(MediaTaskTest, WrittenGifIsHandedToTheDesktopOpener)
{
    // The desktop's opener, replaced by a script that notes what it was asked to open.
    const fs::path bin = m_dir.Path() / "bin";
    fs::create_directories(bin);
    const fs::path noted = m_dir.Path() / "opened.txt";
    std::ofstream(bin / "xdg-open") << "#!/bin/sh\nprintf '%s' \"$1\" > '" << noted.string() << ".part'\nmv '"
                                    << noted.string() << ".part' '" << noted.string() << "'\n";
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (bin.string() + ":" + oldPath).c_str(), 1);
    CGIFConversionTask::SetFileOpener(nullptr);

    std::vector<CxImage> frames{ColourImage(16, 16), ColourImage(16, 16, 90)};
    CGIFConversionTask task(&m_parent);
    task.Convert(frames);
    setenv("PATH", oldPath.c_str(), 1);

    const auto files = FilesIn(GifFolder());
    ASSERT_EQ(files.size(), 1u);
    for (int i = 0; i < 1000 && !fs::exists(noted); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(noted);
    std::string opened;
    std::getline(in, opened);
    EXPECT_EQ(opened, (GifFolder() / files[0]).string());
}
} // namespace
