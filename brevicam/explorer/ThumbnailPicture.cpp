#include "brevicam/explorer/ThumbnailPicture.h"

#include "brevicam/explorer/ShellList.h"
#include "brevicam/media/DllAccessor.h"
#include "kestavo/Transcoder.h"
#include "platform/gdiplus/GdiPlus.h"
#include "platform/win/Kernel.h"
#include "platform/window/WinUser.h"
#include "shared/exceptions/Exceptions.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <sys/types.h>
#include <vector>

namespace
{
/// How often and how far apart the frame file is looked for, and its removal tried again.
constexpr int kFrameLooks = 31;
constexpr DWORD kFrameLookMs = 200;

/// Waits `ms` unless `cancel` is set first; true when it was set.
bool CancelledWithin(HANDLE cancel, DWORD ms)
{
    if (!cancel)
    {
        Sleep(ms);
        return false;
    }
    return WaitForSingleObject(cancel, ms) == WAIT_OBJECT_0;
}

/// The processes the thread `systemThreadId` of this process started and that are not reaped yet.
std::vector<pid_t> ChildrenOfThread(int systemThreadId)
{
    std::vector<pid_t> children;
    std::ifstream list("/proc/self/task/" + std::to_string(systemThreadId) + "/children");
    for (pid_t pid = 0; list >> pid;)
        children.push_back(pid);
    return children;
}

/// A private folder of the program for one frame; empty when none can be made.
std::string MakePrivateFolder()
{
    std::error_code error;
    std::string pattern = (std::filesystem::temp_directory_path(error) / "brevicam-frame-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return {};
    return pattern;
}

/// Removes the private folder and what the converter left in it, trying again while that fails.
void RemovePrivateFolder(const std::string& folder, HANDLE cancel)
{
    for (int attempt = 0; attempt <= kFrameLooks; ++attempt)
    {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
        if (!std::filesystem::exists(folder, error))
            return;
        // Once cancelled, the remaining tries follow each other at once.
        CancelledWithin(cancel, kFrameLookMs);
    }
}

/// The converter's frame as a bitmap 100 pixels wide; 0 with the bitmap, -1 when it cannot be turned into
/// one, `soFar` when the file holds no picture.
HRESULT LoadFrame(const std::string& file, HRESULT soFar, HBITMAP* frame)
{
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Gdiplus::Bitmap image(bytes.data(), bytes.size());
    const UINT width = image.GetWidth();
    const UINT height = image.GetHeight();
    if (width == 0 || height == 0)
        return soFar;
    const int thumbHeight =
        static_cast<int>(100.0 / (static_cast<double>(width) / static_cast<double>(height)));
    std::unique_ptr<Gdiplus::Bitmap> thumbnail(image.GetThumbnailImage(100, static_cast<UINT>(thumbHeight)));
    if (!thumbnail || thumbnail->GetHBITMAP(Gdiplus::Color(0xFF000000), frame) != Gdiplus::Ok || !*frame)
        return -1;
    return 0;
}
/// A new bitmap (of `size`, or of the source's size when null) painted by `paint` with the source and
/// the new bitmap selected into memory DCs; null when `source` is no bitmap.
template <class Paint> HBITMAP PaintNewBitmap(HBITMAP source, const SIZE* size, Paint paint)
{
    BITMAP info{};
    if (!source || GetObject(source, sizeof info, &info) == 0)
        return nullptr;
    HBITMAP result = size ? CreateCompatibleBitmap(nullptr, size->cx, size->cy)
                          : CreateCompatibleBitmap(nullptr, info.bmWidth, info.bmHeight);
    HDC sourceDc = CreateCompatibleDC(nullptr);
    HDC targetDc = CreateCompatibleDC(nullptr);
    if (result && sourceDc && targetDc)
    {
        HGDIOBJ oldSource = SelectObject(sourceDc, source);
        HGDIOBJ oldTarget = SelectObject(targetDc, result);
        paint(targetDc, sourceDc, info.bmWidth, info.bmHeight);
        SelectObject(sourceDc, oldSource);
        SelectObject(targetDc, oldTarget);
    }
    if (sourceDc)
        DeleteDC(sourceDc);
    if (targetDc)
        DeleteDC(targetDc);
    return result;
}
} // namespace

HBITMAP MirrorBitmap(HBITMAP bitmap, BOOL leftRight)
{
    return PaintNewBitmap(
        bitmap, nullptr,
        [leftRight](HDC target, HDC source, int width, int height)
        {
            if (leftRight)
                StretchBlt(target, width, 0, -width, height, source, 0, 0, width, height, SRCCOPY);
            else
                StretchBlt(target, 0, height, width, -height, source, 0, 0, width, height, SRCCOPY);
        });
}

HBITMAP MakeThumbnailPicture(HBITMAP picture)
{
    const SIZE size{ShellThumbWidth, ShellThumbHeight};
    return PaintNewBitmap(picture, &size,
                          [](HDC target, HDC source, int width, int height)
                          {
                              RECT whole{0, 0, ShellThumbWidth, ShellThumbHeight};
                              FillRect(target, &whole, GetSysColorBrush(COLOR_WINDOW));
                              // Integer division truncating towards zero: a larger picture loses equal parts
                              // on both sides.
                              BitBlt(target, (ShellThumbWidth - width) / 2, (ShellThumbHeight - height) / 2,
                                     width, height, source, 0, 0, SRCCOPY);
                              FrameRect(target, &whole, GetSysColorBrush(COLOR_BTNFACE));
                          });
}

HRESULT ExtractVideoFrame(const std::string& path, HANDLE cancel, HRESULT soFar, HBITMAP* frame)
{
    *frame = nullptr;
    // A folder of the program's own (mode 0700) rather than a guessable name in the shared temporary
    // folder: nobody else can put a picture there or read the frame.
    const std::string folder = MakePrivateFolder();
    if (folder.empty())
        return soFar;
    const std::string file = folder + "/frame.bmp";
    HRESULT result = soFar;
    try
    {
        CDllAccessor library(GetTranscoderLibraryPath());
        const int started =
            library.GetGenericFn<transcoder::GetFrameFn>("get_frame", path.c_str(), file.c_str());
        if (started == 0)
        {
            std::error_code error;
            bool cancelled = false;
            for (int look = 0; look <= kFrameLooks && !std::filesystem::exists(file, error); ++look)
                if ((cancelled = CancelledWithin(cancel, kFrameLookMs)))
                    break;
            // The converter has ended when the library returns, so the frame is whole once it is there.
            if (!cancelled && std::filesystem::exists(file, error))
                result = LoadFrame(file, result, frame);
        }
    }
    catch (const CDynamicLinkException&)
    {
        result = -1;
    }
    RemovePrivateFolder(folder, cancel);
    return result;
}

void EndConverterOfThread(int systemThreadId)
{
    if (systemThreadId <= 0)
        return;
    for (const pid_t child : ChildrenOfThread(systemThreadId))
    {
        // The converter leads a process group of its own: ending the group ends what it started too.
        kill(-child, SIGKILL);
        kill(child, SIGKILL);
    }
}
