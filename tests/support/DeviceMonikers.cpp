#include "DeviceMonikers.h"

#include "platform/win/CString.h"

namespace testing_support
{
using platform::com::ComPtr;

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
        const wchar_t* property =
            category == CLSID_VideoInputDeviceCategory ? L"DevicePath" : L"FriendlyName";
        if (ReadProperty(held.Get(), property) == key)
            return held;
    }
    return {};
}

std::string ReadProperty(IMoniker* moniker, const wchar_t* name)
{
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid())))
        return {};
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    std::string text;
    if (SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal)
        text = platform::WideToUtf8(value.bstrVal);
    VariantClear(&value);
    return text;
}
} // namespace testing_support
