#include "brevicam/media/GIFConversionTask.h"

#include "brevicam/core/Params.h"
#include "platform/image/CxImageGIF.h"
#include "platform/image/Quantizer.h"

#include <algorithm>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <new>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
namespace fs = std::filesystem;

constexpr long kMaxGifWidth = 640;
constexpr long kMaxGifHeight = 480;

// Every name tried uses up one value, for the whole run of the program.
std::atomic<int> s_gifCounter{1};

void OpenWithDesktop(const CString& path)
{
    // A shell that starts the opener in the background and ends at once, so that a viewer which keeps
    // the opener waiting neither holds the wait window nor leaves a child to reap. The path is an
    // argument of the shell, never part of its command text.
    const std::string file = path.Str();
    char* const argv[] = {const_cast<char*>("sh"),
                          const_cast<char*>("-c"),
                          const_cast<char*>("xdg-open \"$1\" >/dev/null 2>&1 </dev/null &"),
                          const_cast<char*>("sh"),
                          const_cast<char*>(file.c_str()),
                          nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, "sh", nullptr, nullptr, argv, environ) == 0)
        waitpid(child, nullptr, 0);
}

std::atomic<CGIFConversionTask::FileOpener> s_opener{&OpenWithDesktop};

// "<documents>/Tavisk webcam/GIF/", beside the default photo folder; empty without a documents folder.
CString GifFolder()
{
    const CString photos = g_params.GetDefaultFolder(CParams::kPathPhotos);
    if (photos.IsEmpty())
        return CString();
    return CString(fs::path(photos.Str()).parent_path().string() + "/GIF/");
}
} // namespace

CGIFConversionTask::CGIFConversionTask(CWnd* parent) : CWaitableTask<CGIFWaitDialog>(parent) {}

CGIFConversionTask::~CGIFConversionTask()
{
    JoinWorker();
    m_frames.clear();
}

void CGIFConversionTask::SetFileOpener(FileOpener opener)
{
    s_opener = opener ? opener : &OpenWithDesktop;
}

void CGIFConversionTask::Convert(const std::vector<CxImage>& frames)
{
    m_frames = frames;
    Start();
}

int CGIFConversionTask::Run()
{
    if (m_frames.empty())
        return kTaskNothingToDo;

    const CString folder = GifFolder();
    std::error_code ec;
    if (folder.IsEmpty() || (fs::create_directories(folder.Str(), ec), !fs::is_directory(folder.Str(), ec)))
        return kTaskFolderRefused;

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    CString name;
    do
    {
        name.Format("%sGif-%d%.2d%.2d-%.3d.gif", folder.Str().c_str(), local.tm_year + 1900, local.tm_mon + 1,
                    local.tm_mday, s_gifCounter++);
    } while (fs::exists(name.Str(), ec));

    // One palette for the whole animation, from the first frame's colours.
    std::vector<RGBQUAD> palette;
    try
    {
        palette.resize(256);
        CQuantizer quantizer(256, 8);
        if (!quantizer.ProcessImage(m_frames.front().GetDIB()))
            return kTaskFolderRefused;
        quantizer.SetColorTable(palette.data());
    }
    catch (const std::bad_alloc&)
    {
        return kTaskSaveFailed;
    }

    int imagesPerSecond;
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        imagesPerSecond = g_params.m_ImagesPerSecond;
    }
    // A stored rate of 0 or less would divide by zero: show such frames for a second.
    const DWORD delay = 100 / static_cast<DWORD>(std::max(imagesPerSecond, 1));

    std::vector<CxImage*> pages;
    for (CxImage& frame : m_frames)
    {
        if (!frame.DecreaseBpp(8, true, palette.data()))
            return kTaskFolderRefused;
        if (static_cast<long>(frame.GetWidth()) > kMaxGifWidth &&
            static_cast<long>(frame.GetHeight()) > kMaxGifHeight &&
            !frame.Resample(kMaxGifWidth, kMaxGifHeight, 2))
            return kTaskFolderRefused;
        frame.SetFrameDelay(delay);
        pages.push_back(&frame);
    }

    CxImageGIF encoder;
    encoder.SetLoops(0);
    encoder.SetFrameDelay(delay);
    if (!encoder.Save(name.Str().c_str(), pages.data(), static_cast<int>(pages.size()), false))
        return kTaskFolderRefused;

    s_opener.load()(name);
    return kTaskSucceeded;
}
