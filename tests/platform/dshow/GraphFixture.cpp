#include "GraphFixture.h"

#include "platform/win/CString.h"

#include <chrono>
#include <thread>

namespace dshow_testing
{
ComPtr<IBaseFilter> BindFilter(IMoniker* moniker)
{
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid()), S_OK);
    return filter;
}

ComPtr<IBaseFilter> MakeFilter(REFCLSID classId)
{
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.PutVoid()),
              S_OK);
    return filter;
}

void Add(IGraphBuilder* graph, IBaseFilter* filter, const wchar_t* name)
{
    ASSERT_NE(filter, nullptr);
    EXPECT_TRUE(SUCCEEDED(graph->AddFilter(filter, name)));
}

ComPtr<IPin> Pin(IBaseFilter* filter, const wchar_t* name)
{
    ComPtr<IPin> pin;
    filter->FindPin(name, pin.Put());
    return pin;
}

bool WaitForEvent(IMediaEventEx* events, long code, long timeoutMs, LONG_PTR* param1, LONG_PTR* param2)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline)
    {
        long got = 0;
        LONG_PTR p1 = 0;
        LONG_PTR p2 = 0;
        if (events->GetEvent(&got, &p1, &p2, 100) != S_OK)
            continue;
        if (got == code)
        {
            *param1 = p1;
            *param2 = p2;
            return true;
        }
        events->FreeEventParams(got, p1, p2);
    }
    return false;
}

BYTE* WaitForImage(IVMRWindowlessControl9* control, int timeoutMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline)
    {
        BYTE* dib = nullptr;
        if (control->GetCurrentImage(&dib) == S_OK)
            return dib;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return nullptr;
}

std::wstring ProfileXml(int width, int height, int quality, long long frameTime)
{
    std::wstring xml =
        L"<profile version=\"524288\" name=\"Custom profile\" description=\"Custom profile\">\n"
        L"  <streamconfig majortype=\"{73647561-0000-0010-8000-00AA00389B71}\" streamnumber=\"1\" "
        L"streamname=\"Audio Stream\" inputname=\"Audio\" bitrate=\"128016\" bufferwindow=\"5000\" "
        L"reliabletransport=\"0\" decodercomplexity=\"\" rfc1766langid=\"en-us\" vbrenabled=\"1\" "
        L"vbrquality=\"100\" bitratemax=\"0\" bufferwindowmax=\"0\">\n"
        L"    <wmmediatype subtype=\"{00000161-0000-0010-8000-00AA00389B71}\" bfixedsizesamples=\"1\" "
        L"btemporalcompression=\"0\" lsamplesize=\"11889\">\n"
        L"      <waveformatex wFormatTag=\"353\" nChannels=\"2\" nSamplesPerSec=\"44100\" "
        L"nAvgBytesPerSec=\"2147483490\" nBlockAlign=\"11889\" wBitsPerSample=\"16\" "
        L"codecdata=\"008800000F00E95C0000\"/>\n"
        L"    </wmmediatype>\n"
        L"  </streamconfig>\n"
        L"  <streamconfig majortype=\"{73646976-0000-0010-8000-00AA00389B71}\" streamnumber=\"2\" "
        L"streamname=\"Video Stream\" inputname=\"Video409\" bitrate=\"1000000\" bufferwindow=\"5000\" "
        L"reliabletransport=\"1\" decodercomplexity=\"AU\" rfc1766langid=\"en-us\" vbrenabled=\"1\" "
        L"vbrquality=\"QUALITY_VALUE\" bitratemax=\"0\" bufferwindowmax=\"0\">\n"
        L"    <videomediaprops maxkeyframespacing=\"80000000\" quality=\"0\"/>\n"
        L"    <wmmediatype subtype=\"{32564D57-0000-0010-8000-00AA00389B71}\" bfixedsizesamples=\"0\" "
        L"btemporalcompression=\"1\" lsamplesize=\"0\">\n"
        L"      <videoinfoheader dwbitrate=\"1000000\" dwbiterrorrate=\"0\" "
        L"avgtimeperframe=\"AVGTIMEPERFRAME_VALUE\">\n"
        L"        <rcsource left=\"0\" top=\"0\" right=\"WIDTH_VALUE\" bottom=\"HEIGHT_VALUE\"/>\n"
        L"        <rctarget left=\"0\" top=\"0\" right=\"WIDTH_VALUE\" bottom=\"HEIGHT_VALUE\"/>\n"
        L"        <bitmapinfoheader biwidth=\"WIDTH_VALUE\" biheight=\"HEIGHT_VALUE\" biplanes=\"1\" "
        L"bibitcount=\"24\" bicompression=\"WMV2\" bisizeimage=\"0\" bixpelspermeter=\"0\" "
        L"biypelspermeter=\"0\" biclrused=\"0\" biclrimportant=\"0\"/>\n"
        L"      </videoinfoheader>\n"
        L"    </wmmediatype>\n"
        L"  </streamconfig>\n"
        L"  <streamprioritization>\n"
        L"    <stream number=\"1\" mandatory=\"0\"/>\n"
        L"    <stream number=\"2\" mandatory=\"0\"/>\n"
        L"  </streamprioritization>\n"
        L"</profile>\n";
    auto replace = [&xml](const std::wstring& from, const std::wstring& to)
    {
        for (size_t at = xml.find(from); at != std::wstring::npos; at = xml.find(from, at + to.size()))
            xml.replace(at, from.size(), to);
    };
    if (quality >= 0)
        replace(L"QUALITY_VALUE", std::to_wstring(quality));
    if (width >= 0)
        replace(L"WIDTH_VALUE", std::to_wstring(width));
    if (height >= 0)
        replace(L"HEIGHT_VALUE", std::to_wstring(height));
    if (frameTime >= 0)
        replace(L"AVGTIMEPERFRAME_VALUE", std::to_wstring(frameTime));
    return xml;
}

void PreviewGraph::Build(const std::string& devicePath)
{
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               graph.PutVoid()),
              S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                               IID_ICaptureGraphBuilder2, builder.PutVoid()),
              S_OK);
    builder->SetFiltergraph(graph.Get());
    control = graph.As<IMediaControl>(IID_IMediaControl);
    events = graph.As<IMediaEventEx>(IID_IMediaEventEx);
    ComPtr<IMoniker> moniker = FindMoniker(CLSID_VideoInputDeviceCategory, devicePath);
    ASSERT_TRUE(moniker);
    camera = BindFilter(moniker.Get());
    ASSERT_TRUE(camera);
    Add(graph.Get(), camera.Get(), L"Camera");
    renderer = MakeFilter(CLSID_VideoMixingRenderer9);
    Add(graph.Get(), renderer.Get(), L"Video Renderer");
    auto config = renderer.As<IVMRFilterConfig9>(IID_IVMRFilterConfig9);
    ASSERT_TRUE(config);
    ASSERT_EQ(config->SetRenderingMode(VMR9Mode_Windowless), S_OK);
    windowless = renderer.As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9);
    ASSERT_TRUE(windowless);
    ComPtr<IBaseFilter> converter = MakeFilter(CLSID_Colour);
    Add(graph.Get(), converter.Get(), L"Color Space Converter");
    ComPtr<IBaseFilter> nullRenderer = MakeFilter(CLSID_NullRenderer);
    Add(graph.Get(), nullRenderer.Get(), L"Null renderer");
    ASSERT_EQ(builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, camera.Get(), converter.Get(),
                                    renderer.Get()),
              S_OK);
}

void PreviewGraph::TearDown()
{
    if (!graph)
        return;
    control->Stop();
    for (;;)
    {
        ComPtr<IEnumFilters> list;
        graph->EnumFilters(list.Put());
        IBaseFilter* filter = nullptr;
        if (list->Next(1, &filter, nullptr) != S_OK)
            break;
        EXPECT_EQ(graph->RemoveFilter(filter), S_OK);
        filter->Release();
    }
}
} // namespace dshow_testing
