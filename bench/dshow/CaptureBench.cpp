// Cost of the capture layer per frame, next to the same work done by GStreamer's and FFmpeg's own
// tools: the preview of a 640 x 480 camera at 30 frames per second, and a WMV recording of it.
//
// capture_bench [seconds]   (default 10)

#include "platform/dshow/DShow.h"
#include "platform/dshow/VirtualCamera.h"
#include "platform/win/CString.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using platform::com::ComPtr;

namespace
{
double CpuSeconds(const rusage& usage)
{
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double SelfCpu()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return CpuSeconds(usage);
}

/// Runs a program to its end; the processor time it used, or -1 when it failed.
double ChildCpu(const std::vector<std::string>& arguments)
{
    pid_t pid = fork();
    if (pid == 0)
    {
        std::vector<char*> argv;
        for (const auto& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return CpuSeconds(usage);
}

ComPtr<IBaseFilter> Make(REFCLSID classId)
{
    ComPtr<IBaseFilter> filter;
    CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.PutVoid());
    return filter;
}

ComPtr<IBaseFilter> Camera(const std::string& path)
{
    ComPtr<ICreateDevEnum> devices;
    CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                     devices.PutVoid());
    ComPtr<IEnumMoniker> list;
    if (!devices || devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, list.Put(), 0) != S_OK)
        return {};
    IMoniker* moniker = nullptr;
    while (list->Next(1, &moniker, nullptr) == S_OK)
    {
        auto held = ComPtr<IMoniker>::Adopt(moniker);
        ComPtr<IPropertyBag> bag;
        held->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid());
        VARIANT value;
        VariantInit(&value);
        bool match = bag && SUCCEEDED(bag->Read(L"DevicePath", &value, nullptr)) && value.vt == VT_BSTR &&
                     platform::WideToUtf8(value.bstrVal) == path;
        VariantClear(&value);
        if (match)
        {
            ComPtr<IBaseFilter> filter;
            held->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid());
            return filter;
        }
    }
    return {};
}

std::wstring Profile()
{
    return L"<profile version=\"524288\" name=\"Bench\"><streamconfig "
           L"majortype=\"{73646976-0000-0010-8000-00AA00389B71}\" bitrate=\"1000000\" vbrenabled=\"1\" "
           L"vbrquality=\"100\"><videomediaprops maxkeyframespacing=\"80000000\"/><wmmediatype "
           L"subtype=\"{32564D57-0000-0010-8000-00AA00389B71}\"><videoinfoheader avgtimeperframe=\"333333\">"
           L"<bitmapinfoheader biwidth=\"640\" biheight=\"480\" bicompression=\"WMV2\"/></videoinfoheader>"
           L"</wmmediatype></streamconfig></profile>";
}

struct Measure
{
    double cpu = 0;
    int frames = 0;
    double PerFrameMs() const { return frames ? cpu * 1000.0 / frames : 0; }
};

/// Preview (and, with `file`, recording) of the camera for `seconds`.
Measure RunGraph(const std::string& cameraPath, int seconds, const std::string& file)
{
    std::atomic<int> frames{0};
    platform::dshow::SetVideoFrameSink([&](HWND, const platform::dshow::VideoFrame&, const RECT&, const RECT&)
                                       { ++frames; });
    ComPtr<IGraphBuilder> graph;
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.PutVoid());
    ComPtr<ICaptureGraphBuilder2> builder;
    CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                     builder.PutVoid());
    builder->SetFiltergraph(graph.Get());
    ComPtr<IBaseFilter> camera = Camera(cameraPath);
    ComPtr<IBaseFilter> renderer = Make(CLSID_VideoMixingRenderer9);
    ComPtr<IBaseFilter> converter = Make(CLSID_Colour);
    graph->AddFilter(camera.Get(), L"Camera");
    graph->AddFilter(renderer.Get(), L"Video Renderer");
    graph->AddFilter(converter.Get(), L"Color Space Converter");
    renderer.As<IVMRFilterConfig9>(IID_IVMRFilterConfig9)->SetRenderingMode(VMR9Mode_Windowless);
    renderer.As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9)
        ->SetVideoClippingWindow(reinterpret_cast<HWND>(1));
    if (file.empty())
        builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, camera.Get(), converter.Get(),
                              renderer.Get());
    else
    {
        ComPtr<IBaseFilter> tee = Make(CLSID_SmartTee);
        ComPtr<IBaseFilter> writer = Make(CLSID_WMAsfWriter);
        graph->AddFilter(tee.Get(), L"Smart Tee");
        graph->AddFilter(writer.Get(), L"ASF Writer");
        ComPtr<IWMProfileManager> manager;
        WMCreateProfileManager(manager.Put());
        ComPtr<IWMProfile> profile;
        std::wstring xml = Profile();
        manager->LoadProfileByData(xml.c_str(), profile.Put());
        writer.As<IConfigAsfWriter>(IID_IConfigAsfWriter)->ConfigureFilterUsingProfile(profile.Get());
        std::wstring name = platform::Utf8ToWide(file);
        writer.As<IFileSinkFilter>(IID_IFileSinkFilter)->SetFileName(name.c_str(), nullptr);
        builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, camera.Get(), nullptr, tee.Get());
        ComPtr<IPin> capture;
        ComPtr<IPin> preview;
        tee->FindPin(L"Capture", capture.Put());
        tee->FindPin(L"Preview", preview.Put());
        builder->RenderStream(nullptr, &MEDIATYPE_Video, capture.Get(), nullptr, writer.Get());
        builder->RenderStream(nullptr, &MEDIATYPE_Video, preview.Get(), converter.Get(), renderer.Get());
    }
    auto control = graph.As<IMediaControl>(IID_IMediaControl);
    double start = SelfCpu();
    if (control->Run() != S_OK)
    {
        std::fprintf(stderr, "the graph does not run\n");
        std::exit(1);
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    control->Stop();
    Measure measure{SelfCpu() - start, frames.load()};
    platform::dshow::SetVideoFrameSink({});
    return measure;
}
} // namespace

int main(int argc, char** argv)
{
    int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    std::string missing;
    if (!platform::dshow::CheckElementFactories(&missing) && missing != "v4l2src" && missing != "pulsesrc")
    {
        std::fprintf(stderr, "missing GStreamer element: %s\n", missing.c_str());
        return 1;
    }
    platform::VirtualCameraConfig config;
    config.sizes = {{640, 480}};
    config.offerMjpeg = false;
    auto camera = platform::VirtualCamera::Create(config);
    auto folder = std::filesystem::temp_directory_path() / ("capture_bench." + std::to_string(getpid()));
    std::filesystem::create_directories(folder);

    Measure preview = RunGraph(camera->DevicePath(), seconds, "");
    const int referenceFrames = 30 * seconds;
    double launch = ChildCpu({"gst-launch-1.0",
                              "-q",
                              "videotestsrc",
                              "is-live=true",
                              "pattern=smpte",
                              "num-buffers=" + std::to_string(referenceFrames),
                              "!",
                              "video/x-raw,format=I420,width=640,height=480,framerate=30/1",
                              "!",
                              "clockoverlay",
                              "!",
                              "videoconvert",
                              "!",
                              "video/x-raw,format=YUY2",
                              "!",
                              "tee",
                              "!",
                              "queue",
                              "!",
                              "videoconvert",
                              "!",
                              "queue",
                              "!",
                              "videoconvert",
                              "!",
                              "video/x-raw,format=BGRx",
                              "!",
                              "fakesink",
                              "sync=false"});
    std::printf("preview   %4d frames  %.3f ms CPU per frame; gst-launch-1.0 %.3f ms; ratio %.2f\n",
                preview.frames, preview.PerFrameMs(), launch * 1000.0 / referenceFrames,
                launch > 0 ? preview.PerFrameMs() / (launch * 1000.0 / referenceFrames) : 0.0);

    std::string file = (folder / "bench.wmv").string();
    Measure recording = RunGraph(camera->DevicePath(), seconds, file);
    std::string raw = (folder / "frames.yuv").string();
    ChildCpu({"ffmpeg", "-nostdin", "-y", "-i", file, "-f", "rawvideo", "-pix_fmt", "yuv420p", raw});
    int rawFrames = static_cast<int>(
        std::filesystem::exists(raw) ? std::filesystem::file_size(raw) / (640 * 480 * 3 / 2) : 0);
    double ffmpeg =
        ChildCpu({"ffmpeg", "-nostdin", "-y", "-f", "rawvideo", "-pix_fmt", "yuv420p", "-s", "640x480", "-r",
                  "30", "-i", raw, "-c:v", "wmv2", "-q:v", "2", (folder / "ffmpeg.wmv").string()});
    double encodePerFrame = recording.PerFrameMs() - preview.PerFrameMs();
    double ffmpegPerFrame = rawFrames > 0 && ffmpeg > 0 ? ffmpeg * 1000.0 / rawFrames : 0;
    std::printf("recording %4d frames  %.3f ms CPU per frame (%.3f above the preview); ffmpeg wmv2 %.3f ms; "
                "ratio %.2f\n",
                recording.frames, recording.PerFrameMs(), encodePerFrame, ffmpegPerFrame,
                ffmpegPerFrame > 0 ? encodePerFrame / ffmpegPerFrame : 0.0);
    std::filesystem::remove_all(folder);
    return 0;
}
