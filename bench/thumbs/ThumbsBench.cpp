// Thumbnails of a folder of photos by the file list, beside ffmpegthumbnailer over the same folder at the
// same size; and the time to list a folder of 10,000 files, beside `ls -1v`.
//
//   thumbs_bench [photos (500)] [rounds (3)] [files to list (10000)]
//
// Runs headless (the offscreen Qt platform when QT_QPA_PLATFORM is unset); the photos, the settings and
// the frames live in a temporary folder that is removed at the end.

#include "bench/support/BenchSupport.h"

#include "brevicam/explorer/ShellList.h"
#include "platform/listview/ListView.h"
#include "platform/window/Extras.h"
#include "platform/window/Wnd.h"
#include "tests/explorer/ExplorerTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using explorer_test::FolderRecord;
using explorer_test::OpenMediator;

namespace
{
/// Processor time (user + system) of the finished children of this process, in seconds.
double ChildrenCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

/// Delivers messages until `done` holds, counting the thumbnail results on the way.
template <class Done> void PumpUntil(int& results, Done done)
{
    while (!done())
    {
        MSG msg;
        if (!PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            usleep(200);
            continue;
        }
        if (msg.message == WM_SHELLLIST_THUMBNAIL_DONE)
            ++results;
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
}

/// A list window of the capture panel's size.
struct ListWindow
{
    OpenMediator mediator;
    CWnd parent;
    CShellListCtrl list{&mediator};
    tagTShellItemData* record = nullptr;

    ListWindow()
    {
        parent.CreateEx(0, AfxRegisterWndClass(0), "panel", WS_POPUP | WS_VISIBLE, CRect(0, 0, 460, 600),
                        nullptr, 0);
        list.Create(WS_CHILD | WS_VISIBLE | LVS_ICON | LVS_AUTOARRANGE, CRect(0, 0, 460, 600), &parent, 1);
        list.InitializeCtrl();
    }
    ~ListWindow()
    {
        list.DestroyWindow();
        parent.DestroyWindow();
        FreeShellItemData(record);
    }

    void Show(const fs::path& folder)
    {
        record = FolderRecord(folder);
        list.ShowFolder(record);
    }
};

struct Figures
{
    double wall = 0;
    double cpu = 0;
};

Figures OurThumbnails(const fs::path& folder, int photos)
{
    ListWindow window;
    int results = 0;
    const double cpu = bench::ProcessCpuSeconds();
    const double start = bench::Now();
    window.Show(folder);
    PumpUntil(results, [&] { return results >= photos; });
    return {bench::Now() - start, bench::ProcessCpuSeconds() - cpu};
}

Figures ReferenceThumbnails(const std::vector<fs::path>& files, const fs::path& out)
{
    const double cpu = ChildrenCpuSeconds();
    const double start = bench::Now();
    for (const auto& file : files)
        bench::RunQuietly(
            {"ffmpegthumbnailer", "-i", file.string(), "-o", out.string(), "-s", "100", "-c", "jpeg"});
    return {bench::Now() - start, ChildrenCpuSeconds() - cpu};
}

/// The time the list takes to show the folder's files, thumbnails paused.
double OurListing(const fs::path& folder, int files)
{
    ListWindow window;
    window.list.EnableThumbnails(FALSE);
    const double start = bench::Now();
    window.Show(folder);
    const double seconds = bench::Now() - start;
    if (window.list.GetItemCount() != files)
        std::printf("  the list shows %d files instead of %d\n", window.list.GetItemCount(), files);
    return seconds;
}
} // namespace

int main(int argc, char** argv)
{
    const int photos = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const int listed = argc > 3 ? std::max(1, std::atoi(argv[3])) : 10000;

    const fs::path folder = fs::temp_directory_path() / ("thumbs_bench_" + std::to_string(::getpid()));
    for (const char* sub : {"photos", "listing", "registry", "out"})
        fs::create_directories(folder / sub);
    setenv("BREVICAM_REGISTRY_DIR", (folder / "registry").c_str(), 1);
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    int status = 0;
    std::printf("Making %d photos of 1280 x 720 with ffmpeg...\n", photos);
    if (!bench::RunQuietly({"ffmpeg", "-nostdin", "-y", "-f", "lavfi", "-i", "testsrc2=size=1280x720:rate=25",
                            "-frames:v", std::to_string(photos), "-q:v", "3",
                            (folder / "photos" / "photo%04d.jpg").string()}))
    {
        std::printf("  ffmpeg could not make the photos\n");
        fs::remove_all(folder);
        return 1;
    }
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder / "photos"))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());

    // Thumbnails --------------------------------------------------------------------------------------------
    const bool haveReference = bench::RunQuietly({"ffmpegthumbnailer", "-v"});
    std::printf(
        "\nThumbnails of %d photos, 100 pixels wide (s; ours until the last is shown, processor time of\n"
        "the whole program; ffmpegthumbnailer one process per photo, its start-ups included)\n",
        photos);
    std::printf("  %-6s %9s %9s %14s %14s\n", "round", "ours", "our CPU", "reference", "reference CPU");
    std::vector<double> wallRatios;
    std::vector<double> cpuRatios;
    for (int round = 0; round < rounds; ++round)
    {
        const Figures ours = OurThumbnails(folder / "photos", photos);
        Figures reference;
        if (haveReference)
            reference = ReferenceThumbnails(files, folder / "out" / "thumb.jpg");
        std::printf("  %-6d %9.3f %9.3f %14.3f %14.3f\n", round + 1, ours.wall, ours.cpu, reference.wall,
                    reference.cpu);
        if (haveReference && reference.wall > 0 && reference.cpu > 0)
        {
            wallRatios.push_back(ours.wall / reference.wall);
            cpuRatios.push_back(ours.cpu / reference.cpu);
        }
    }
    if (haveReference)
    {
        std::printf("Ratio ours / ffmpegthumbnailer\n");
        bench::PrintSpread("time", wallRatios);
        bench::PrintSpread("CPU ", cpuRatios);
    }
    else
    {
        std::printf("  ffmpegthumbnailer is not installed (scripts/bench installs it)\n");
        status = 1;
    }

    // Listing ---------------------------------------------------------------------------------------------
    for (int i = 0; i < listed; ++i)
    {
        char name[32];
        std::snprintf(name, sizeof name, "file%05d.jpg", i);
        std::ofstream(folder / "listing" / name);
    }
    std::printf("\nListing %d files (s; the reference `ls -1v` is one process, its start-up included)\n",
                listed);
    std::printf("  %-6s %9s %11s\n", "round", "ours", "reference");
    std::vector<double> listRatios;
    for (int round = 0; round < rounds; ++round)
    {
        const double ours = OurListing(folder / "listing", listed);
        const double start = bench::Now();
        bench::RunQuietly({"ls", "-1v", (folder / "listing").string()});
        const double reference = bench::Now() - start;
        std::printf("  %-6d %9.3f %11.3f\n", round + 1, ours, reference);
        listRatios.push_back(ours / reference);
    }
    std::printf("Ratio ours / ls\n");
    bench::PrintSpread("time", listRatios);

    fs::remove_all(folder);
    return status;
}
