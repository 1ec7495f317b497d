#pragma once

#include "platform/com/Unknown.h"
#include "platform/win/WinTypes.h"

/// The two exceptions of the platform's COM helpers that the capture engine raises besides its own
/// family: `CAtlException`, thrown by the constructors of graph objects with the HRESULT of the failed
/// creation, and `_com_error`, raised by the smart-pointer operations (E_POINTER for a missing
/// interface). Both carry only the HRESULT; the capture graph and the controller catch them by class.
class CAtlException
{
public:
    explicit CAtlException(HRESULT hr) : m_hr(hr) {}
    operator HRESULT() const { return m_hr; }

    HRESULT m_hr;
};

class _com_error
{
public:
    explicit _com_error(HRESULT hr) : m_hr(hr) {}
    HRESULT Error() const { return m_hr; }

private:
    HRESULT m_hr;
};

[[noreturn]] inline void AtlThrow(HRESULT hr)
{
    throw CAtlException(hr);
}

[[noreturn]] inline void _com_issue_error(HRESULT hr)
{
    throw _com_error(hr);
}

/// QueryInterface as the smart pointers do it: a missing interface gives null, any other failure
/// raises `_com_error` with its code. The caller owns the reference handed out.
template <class T> T* QueryOrThrow(IUnknown* object, REFIID iid)
{
    if (!object)
        _com_issue_error(E_POINTER);
    T* result = nullptr;
    HRESULT hr = object->QueryInterface(iid, reinterpret_cast<void**>(&result));
    if (hr == E_NOINTERFACE)
        return nullptr;
    if (FAILED(hr))
        _com_issue_error(hr);
    return result;
}
