#pragma once

#include "platform/dshow/Strmif.h"

namespace platform::dshow
{
/// Creation functions of the built-in classes (as IClassFactory::CreateInstance).
HRESULT CreateSmartTee(IUnknown* outer, REFIID iid, void** object);
HRESULT CreateColourConverter(IUnknown* outer, REFIID iid, void** object);
HRESULT CreateNullRenderer(IUnknown* outer, REFIID iid, void** object);
HRESULT CreateSampleGrabber(IUnknown* outer, REFIID iid, void** object);
HRESULT CreateVideoRenderer7(IUnknown* outer, REFIID iid, void** object);
HRESULT CreateVideoRenderer9(IUnknown* outer, REFIID iid, void** object);
HRESULT CreateAsfWriter(IUnknown* outer, REFIID iid, void** object);
HRESULT CreateDmoWrapper(IUnknown* outer, REFIID iid, void** object);
HRESULT CreateFilterGraph(IUnknown* outer, REFIID iid, void** object);
HRESULT CreateCaptureGraphBuilder(IUnknown* outer, REFIID iid, void** object);
HRESULT CreateSystemDeviceEnum(IUnknown* outer, REFIID iid, void** object);

/// Hands out a new object of ours (which starts without references) as `iid`; deletes it on failure.
template <class T> HRESULT HandOut(T* object, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!object)
        return E_OUTOFMEMORY;
    object->NonDelegatingAddRef();
    HRESULT hr = object->NonDelegatingQueryInterface(iid, out);
    object->NonDelegatingRelease();
    return hr;
}
} // namespace platform::dshow
