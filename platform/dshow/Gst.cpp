#include "Gst.h"

#include "FileSink_gst.h"

#include "platform/win/LastError.h"

#include <mutex>

namespace platform::dshow::gst
{
void EnsureInit()
{
    static std::once_flag once;
    std::call_once(once,
                   []
                   {
                       gst_init(nullptr, nullptr);
                       RegisterFileSink();
                   });
}

std::string FirstMissingFactory(std::initializer_list<const char*> factories)
{
    EnsureInit();
    for (const char* name : factories)
    {
        ObjectPtr<GstElementFactory> factory(gst_element_factory_find(name));
        if (!factory)
            return name;
    }
    return {};
}

GstElement* MakeElement(const char* factory, const char* name)
{
    EnsureInit();
    return gst_element_factory_make(factory, name);
}

HRESULT HresultFromError(const GError* error)
{
    constexpr DWORD ERROR_BUSY = 170;
    constexpr DWORD ERROR_DEVICE_NOT_CONNECTED = 1167;
    if (!error)
        return E_FAIL;
    if (error->domain == GST_RESOURCE_ERROR)
    {
        switch (error->code)
        {
        case GST_RESOURCE_ERROR_NO_SPACE_LEFT:
            return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
        case GST_RESOURCE_ERROR_BUSY:
            return HRESULT_FROM_WIN32(ERROR_BUSY);
        case GST_RESOURCE_ERROR_NOT_FOUND:
            return HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
        case GST_RESOURCE_ERROR_WRITE:
        case GST_RESOURCE_ERROR_OPEN_WRITE:
        case GST_RESOURCE_ERROR_OPEN_READ_WRITE:
            return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
        case GST_RESOURCE_ERROR_READ:
        case GST_RESOURCE_ERROR_OPEN_READ:
            return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
        default:
            break;
        }
    }
    return E_FAIL;
}
} // namespace platform::dshow::gst
