#include "DeviceGraph.h"

#include "ComErrors.h"
#include "WebcamModels.h"

#include "miravoc/Miravoc.h"
#include "platform/com/ComPtr.h"

#include <string>

using platform::com::ComPtr;

int g_webcamModel = 0;

int GetWebcamModel()
{
    return g_webcamModel;
}

bool IsWebcamModel(int model)
{
    return g_webcamModel == model;
}

CDeviceGraph::CDeviceGraph()
    : CFilterGraph(), m_pVideoCaptureFilter(nullptr), m_pAudioCaptureFilter(nullptr),
      m_pEncoderFilter(nullptr), m_currentResolution(0, 0, false)
{
}

CDeviceGraph::~CDeviceGraph() = default;

void CDeviceGraph::EnumerateDevices(int kind)
{
    CDevicesSubj& list = kind == kVideo ? m_videoDevices : m_audioDevices;
    const DWORD context = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
    ComPtr<IUnknown> unknown;
    HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, context, IID_IUnknown, unknown.PutVoid());
    if (FAILED(hr))
        _com_issue_error(hr);
    hr = OleRun(unknown.Get());
    if (FAILED(hr))
        _com_issue_error(hr);
    ComPtr<ICreateDevEnum> devices;
    hr = unknown->QueryInterface(IID_ICreateDevEnum, devices.PutVoid());
    if (FAILED(hr) && hr != E_NOINTERFACE)
        _com_issue_error(hr);
    list.Clear();
    if (!devices)
        _com_issue_error(E_POINTER);

    ComPtr<IEnumMoniker> monikers;
    const GUID& category = kind == kVideo ? CLSID_VideoInputDeviceCategory : CLSID_AudioInputDeviceCategory;
    if (devices->CreateClassEnumerator(category, monikers.Put(), 0) != S_OK)
        return;
    IMoniker* raw = nullptr;
    while (monikers->Next(1, &raw, nullptr) == S_OK)
    {
        ComPtr<IMoniker> moniker = ComPtr<IMoniker>::Adopt(raw);
        raw = nullptr;
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid())))
            continue;
        CString name;
        if (FAILED(ReadBagText(bag.Get(), L"FriendlyName", &name)))
            continue;
        const std::wstring wideName = platform::Utf8ToWide(name.Str());
        if (kind != kVideo)
        {
            std::string audioName = name.Str();
            if (CheckDevice(audioName.data()) >= 0)
                list.Add(wideName, moniker.Get());
            continue;
        }
        CString path;
        if (FAILED(ReadBagText(bag.Get(), L"DevicePath", &path)))
            continue;
        CString vendorId;
        CString productId;
        if (!ParseDevicePathIds(path, &vendorId, &productId) || !IsAcceptedDevice(vendorId, productId))
            continue;
        list.Add(wideName, moniker.Get(), productId, vendorId);
    }

    CDSDeviceFilter* filter = kind == kVideo ? m_pVideoCaptureFilter : m_pAudioCaptureFilter;
    IMoniker* made = filter ? filter->GetMoniker() : nullptr;
    if (!made)
        return;
    for (int i = 0; i < list.GetCount(); ++i)
    {
        if (list.GetMoniker(i)->IsEqual(made) == S_OK)
        {
            list.Select(i);
            return;
        }
    }
}

void CDeviceGraph::SelectDevice(int kind, int index)
{
    if (kind == kVideo)
    {
        if (m_videoDevices.GetCount() == 0)
            m_videoDevices.SetSelectionNone();
        int selection = m_videoDevices.GetSelection();
        if (selection >= 0 && (index & 0xFF) == selection)
            return;
        m_resolutions.clear();
        m_currentResolution = CResolution(0, 0, false);
        m_videoDevices.Select(index);
    }
    else if (kind == kAudio)
        m_audioDevices.Select(index);
}

int CDeviceGraph::GetSelectedIndex(int kind)
{
    CDevicesSubj& list = kind == kVideo ? m_videoDevices : m_audioDevices;
    if (list.GetCount() == 0)
        list.SetSelectionNone();
    return list.GetSelection();
}

void CDeviceGraph::DetectWebcamModel()
{
    if (m_videoDevices.GetCount() == 0)
        m_videoDevices.SetSelectionNone();
    int selection = m_videoDevices.GetSelection();
    if (selection < 0 || selection >= m_videoDevices.GetCount())
    {
        g_webcamModel = 0;
        return;
    }
    CString vendorId = m_videoDevices.GetVendorId(selection);
    CString productId = m_videoDevices.GetProductId(selection);
    vendorId.MakeUpper();
    productId.MakeUpper();
    g_webcamModel = FindWebcamModel(vendorId.Left(4), productId.Left(4));
}

bool CDeviceGraph::GetModelClass()
{
    switch (g_webcamModel)
    {
    case 4:
    case 5:
    case 6:
    case 7:
    case 9:
    case 10:
    case 11:
    case 17:
    case 20:
    case 23:
        return true;
    default:
        return false;
    }
}

void CDeviceGraph::EnsureResolution(const CResolution& size)
{
    // The set orders by area, so finding the size finds any entry of the same area.
    if (m_resolutions.find(size) != m_resolutions.end())
        return;
    m_resolutions.clear();
    m_resolutions.insert(size);
}

void CDeviceGraph::FillPhotoResolutions()
{
    if (g_webcamModel == 0)
        DetectWebcamModel();
    ApplyPhotoSizeRow(g_webcamModel, m_resolutions);
}

void CDeviceGraph::FillVideoResolutions()
{
    ApplyVideoSizeRow(g_webcamModel, m_resolutions);
}

void CDeviceGraph::RemoveResolutionsAbove(const CResolution& size)
{
    for (auto it = m_resolutions.begin(); it != m_resolutions.end();)
    {
        if (size < *it)
            it = m_resolutions.erase(it);
        else
            ++it;
    }
}
