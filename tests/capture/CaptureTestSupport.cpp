#include "CaptureTestSupport.h"

#include "brevicam/capture/FilterGraph.h"

namespace capture_testing
{
ComPtr<IMoniker> FindMoniker(REFCLSID category, const std::string& key)
{
    ComPtr<ICreateDevEnum> devices;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                devices.PutVoid())))
        return {};
    ComPtr<IEnumMoniker> list;
    if (devices->CreateClassEnumerator(category, list.Put(), 0) != S_OK)
        return {};
    IMoniker* moniker = nullptr;
    while (list->Next(1, &moniker, nullptr) == S_OK)
    {
        auto held = ComPtr<IMoniker>::Adopt(moniker);
        ComPtr<IPropertyBag> bag;
        if (FAILED(held->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid())))
            continue;
        CString value;
        const wchar_t* property =
            category == CLSID_VideoInputDeviceCategory ? L"DevicePath" : L"FriendlyName";
        if (SUCCEEDED(ReadBagText(bag.Get(), property, &value)) && value.Str() == key)
            return held;
    }
    return {};
}

std::vector<std::string> FilterNames(IGraphBuilder* graph)
{
    std::vector<std::string> names;
    ComPtr<IEnumFilters> filters;
    if (FAILED(graph->EnumFilters(filters.Put())))
        return names;
    IBaseFilter* filter = nullptr;
    while (filters->Next(1, &filter, nullptr) == S_OK)
    {
        FILTER_INFO info{};
        if (SUCCEEDED(filter->QueryFilterInfo(&info)))
        {
            names.push_back(platform::WideToUtf8(info.achName));
            if (info.pGraph)
                info.pGraph->Release();
        }
        filter->Release();
    }
    return names;
}

std::shared_ptr<platform::VirtualCamera> MakeCamera(const std::string& name, unsigned short vendorId,
                                                    unsigned short productId, std::vector<SIZE> sizes)
{
    platform::VirtualCameraConfig config;
    config.name = name;
    config.vendorId = vendorId;
    config.productId = productId;
    if (!sizes.empty())
        config.sizes = std::move(sizes);
    return platform::VirtualCamera::Create(config);
}
} // namespace capture_testing
