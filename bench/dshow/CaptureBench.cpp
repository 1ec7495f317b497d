// Cost of the capture layer per frame, each figure taken while gst-launch-1.0 does the same work in a
// process of its own: the preview of a 640 x 480 camera at 30 frames per second, and the preview with a
// WMV recording of it. Both run together; the window measured opens once both are running (start-ups
// left out), and the processor time of each side over it comes from the kernel. Each is repeated
// `rounds` times; the ratios print as min / median / max. Below 1 we use less.
//
// capture_bench [seconds per window (10)] [rounds (3)]

#include "bench/support/BenchSupport.h"

#include "platform/dshow/DShow.h"
#include "platform/dshow/VirtualCamera.h"
#include "platform/win/CString.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

using platform::com::ComPtr;

namespace
{
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
    bool ok = false;
    double oursCpu = 0;
    int oursFrames = 0;
    double referenceCpu = 0;
    double seconds = 0;
    double OursPerFrameMs() const { return oursFrames ? oursCpu * 1000.0 / oursFrames : 0; }
    /// The reference's source is live at 30 frames per second.
    double ReferencePerFrameMs() const { return seconds > 0 ? referenceCpu * 1000.0 / (30.0 * seconds) : 0; }
};

/// The preview (and, with `file`, the recording) of the camera while `reference` runs: both are given
/// two seconds to reach their steady state, then measured over the same `seconds`.
Measure RunGraph(const std::string& cameraPath, int seconds, const std::string& file,
                 const bench::Reference& reference)
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
    Measure measure;
    if (control->Run() != S_OK)
    {
        std::fprintf(stderr, "the graph does not run\n");
        platform::dshow::SetVideoFrameSink({});
        return measure;
    }
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const int firstFrame = frames.load();
    const double oursStart = bench::ProcessCpuSeconds();
    const double referenceStart = reference.CpuSeconds();
    const double start = bench::Now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double oursEnd = bench::ProcessCpuSeconds();
    const double referenceEnd = reference.CpuSeconds();
    measure.seconds = bench::Now() - start;
    measure.oursFrames = frames.load() - firstFrame;
    control->Stop();
    platform::dshow::SetVideoFrameSink({});
    measure.oursCpu = oursEnd - oursStart;
    measure.referenceCpu = referenceEnd - referenceStart;
    measure.ok = referenceStart >= 0 && referenceEnd >= 0 && measure.oursFrames > 0;
    return measure;
}

/// The camera as the virtual camera makes it, shown as our preview shows it; with `file`, also recorded
/// as the recording bin does.
std::vector<std::string> ReferencePipeline(const std::string& file)
{
    std::vector<std::string> arguments = bench::Words(
        "gst-launch-1.0 -q videotestsrc is-live=true pattern=smpte "
        "! video/x-raw,format=I420,width=640,height=480,framerate=30/1 "
        "! clockoverlay halignment=right valignment=bottom time-format=%H:%M:%S "
        "! videoconvert ! video/x-raw,format=YUY2 ! tee name=t "
        "! queue ! videoconvert ! queue ! videoconvert ! video/x-raw,format=BGRx ! fakesink sync=false");
    if (file.empty())
        return arguments;
    for (std::string& word :
         bench::Words("t. ! queue ! videoconvert ! videoscale ! videorate "
                      "! video/x-raw,format=I420,width=640,height=480,framerate=30/1 "
                      "! avenc_wmv2 pass=quant quantizer=2 gop-size=240 ! identity single-segment=true "
                      "! queue ! avmux_asf ! filesink"))
        arguments.push_back(std::move(word));
    arguments.push_back("location=" + file);
    return arguments;
}

/// `rounds` windows of `seconds` of the graph beside its reference; false when one could not be measured.
bool Compare(const char* name, const std::string& cameraPath, int seconds, int rounds,
             const std::filesystem::path& folder, bool record)
{
    std::vector<double> ratios;
    Measure last;
    for (int round = 0; round < rounds; ++round)
    {
        const std::string ours = record ? (folder / "bench.wmv").string() : "";
        const std::string theirs = record ? (folder / "reference.wmv").string() : "";
        bench::Reference reference(ReferencePipeline(theirs));
        if (!reference.Started())
        {
            std::fprintf(stderr, "gst-launch-1.0 could not be started\n");
            return false;
        }
        last = RunGraph(cameraPath, seconds, ours, reference);
        reference.Stop();
        if (!last.ok)
        {
            std::printf("%s: no figures (the reference ended early, or no frame came)\n%s\n", name,
                        reference.Output().c_str());
            return false;
        }
        ratios.push_back(last.OursPerFrameMs() / last.ReferencePerFrameMs());
        std::error_code ec;
        std::filesystem::remove(ours, ec);
        std::filesystem::remove(theirs, ec);
    }
    std::printf("%s, last round: %d frames in %.1f s, %.3f ms CPU per frame; gst-launch-1.0 %.3f ms\n", name,
                last.oursFrames, last.seconds, last.OursPerFrameMs(), last.ReferencePerFrameMs());
    bench::PrintSpread((std::string(name) + " CPU per frame, ours / gst-launch-1.0").c_str(), ratios);
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
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

    bool ok = Compare("preview", camera->DevicePath(), seconds, rounds, folder, false);
    ok = Compare("preview + recording", camera->DevicePath(), seconds, rounds, folder, true) && ok;
    std::filesystem::remove_all(folder);
    return ok ? 0 : 1;
}
