#include "OleAuto.h"

#include "platform/win/CString.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>
#include <string>

namespace
{
constexpr size_t kPrefix = sizeof(std::uint64_t);

bool IsInteger(VARTYPE vt)
{
    switch (vt)
    {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_BOOL:
    case VT_ERROR:
        return true;
    default:
        return false;
    }
}

long long IntegerOf(const VARIANT& v)
{
    switch (v.vt)
    {
    case VT_I1:
        return v.cVal;
    case VT_I2:
        return v.iVal;
    case VT_I4:
        return v.lVal;
    case VT_I8:
        return v.llVal;
    case VT_UI1:
        return v.bVal;
    case VT_UI2:
        return v.uiVal;
    case VT_UI4:
        return v.ulVal;
    case VT_UI8:
        return static_cast<long long>(v.ullVal);
    case VT_INT:
        return v.intVal;
    case VT_UINT:
        return v.uintVal;
    case VT_BOOL:
        return v.boolVal ? -1 : 0;
    case VT_ERROR:
        return v.scode;
    default:
        return 0;
    }
}

HRESULT StoreInteger(VARIANT* target, long long n, VARTYPE type)
{
    auto fits = [n](long long lo, long long hi) { return n >= lo && n <= hi; };
    switch (type)
    {
    case VT_I1:
        if (!fits(-128, 127))
            return DISP_E_OVERFLOW;
        target->cVal = static_cast<char>(n);
        break;
    case VT_I2:
        if (!fits(-32768, 32767))
            return DISP_E_OVERFLOW;
        target->iVal = static_cast<SHORT>(n);
        break;
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
        if (!fits(std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()))
            return DISP_E_OVERFLOW;
        target->lVal = static_cast<LONG>(n);
        break;
    case VT_I8:
        target->llVal = n;
        break;
    case VT_UI1:
        if (!fits(0, 255))
            return DISP_E_OVERFLOW;
        target->bVal = static_cast<BYTE>(n);
        break;
    case VT_UI2:
        if (!fits(0, 65535))
            return DISP_E_OVERFLOW;
        target->uiVal = static_cast<USHORT>(n);
        break;
    case VT_UI4:
    case VT_UINT:
        if (!fits(0, std::numeric_limits<uint32_t>::max()))
            return DISP_E_OVERFLOW;
        target->ulVal = static_cast<ULONG>(n);
        break;
    case VT_UI8:
        if (n < 0)
            return DISP_E_OVERFLOW;
        target->ullVal = static_cast<ULONGLONG>(n);
        break;
    case VT_BOOL:
        target->boolVal = n ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    default:
        return DISP_E_BADVARTYPE;
    }
    target->vt = type;
    return S_OK;
}
} // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length)
{
    auto* block = static_cast<unsigned char*>(
        std::malloc(kPrefix + (static_cast<size_t>(length) + 1) * sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    std::uint64_t bytes = static_cast<std::uint64_t>(length) * sizeof(OLECHAR);
    std::memcpy(block, &bytes, kPrefix);
    auto* chars = reinterpret_cast<OLECHAR*>(block + kPrefix);
    if (text)
        std::wmemcpy(chars, text, length);
    chars[length] = 0;
    return chars;
}

BSTR SysAllocString(const OLECHAR* text)
{
    if (!text)
        return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(std::wcslen(text)));
}

void SysFreeString(BSTR text)
{
    if (text)
        std::free(reinterpret_cast<unsigned char*>(text) - kPrefix);
}

UINT SysStringLen(BSTR text)
{
    if (!text)
        return 0;
    std::uint64_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<unsigned char*>(text) - kPrefix, kPrefix);
    return static_cast<UINT>(bytes / sizeof(OLECHAR));
}

void VariantInit(VARIANT* value)
{
    if (!value)
        return;
    std::memset(value, 0, sizeof *value);
    value->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* value)
{
    if (!value)
        return E_INVALIDARG;
    if (value->vt == VT_BSTR)
        SysFreeString(value->bstrVal);
    else if (value->vt == VT_UNKNOWN && value->punkVal)
        value->punkVal->Release();
    VariantInit(value);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* target, const VARIANT* source)
{
    if (!target || !source)
        return E_INVALIDARG;
    if (target == source)
        return S_OK;
    VARIANT copy = *source;
    if (source->vt == VT_BSTR && source->bstrVal)
    {
        copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
        if (!copy.bstrVal)
            return E_OUTOFMEMORY;
    }
    else if (source->vt == VT_UNKNOWN && source->punkVal)
        source->punkVal->AddRef();
    VariantClear(target);
    *target = copy;
    return S_OK;
}

HRESULT VariantChangeType(VARIANT* target, const VARIANT* source, USHORT, VARTYPE type)
{
    if (!target || !source)
        return E_INVALIDARG;
    if (source->vt == type)
        return VariantCopy(target, source);
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = DISP_E_TYPEMISMATCH;
    if (type == VT_BSTR)
    {
        std::string text;
        if (source->vt == VT_BOOL)
            text = source->boolVal ? "True" : "False";
        else if (IsInteger(source->vt))
            text = std::to_string(IntegerOf(*source));
        else if (source->vt == VT_R4 || source->vt == VT_R8)
        {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%.15g",
                          source->vt == VT_R4 ? source->fltVal : source->dblVal);
            text = buffer;
        }
        else if (source->vt == VT_EMPTY)
            text.clear();
        else
            return DISP_E_TYPEMISMATCH;
        std::wstring wide = platform::Utf8ToWide(text);
        result.vt = VT_BSTR;
        result.bstrVal = SysAllocString(wide.c_str());
        hr = result.bstrVal ? S_OK : E_OUTOFMEMORY;
    }
    else if (type == VT_R4 || type == VT_R8)
    {
        double d = 0;
        if (IsInteger(source->vt))
            d = static_cast<double>(IntegerOf(*source));
        else if (source->vt == VT_R4)
            d = source->fltVal;
        else if (source->vt == VT_R8)
            d = source->dblVal;
        else if (source->vt == VT_BSTR && source->bstrVal)
        {
            std::string text = platform::WideToUtf8(source->bstrVal);
            char* end = nullptr;
            d = std::strtod(text.c_str(), &end);
            if (text.empty() || (end && *end))
                return DISP_E_TYPEMISMATCH;
        }
        else if (source->vt != VT_EMPTY)
            return DISP_E_TYPEMISMATCH;
        result.vt = type;
        if (type == VT_R4)
            result.fltVal = static_cast<FLOAT>(d);
        else
            result.dblVal = d;
        hr = S_OK;
    }
    else
    {
        long long n = 0;
        if (IsInteger(source->vt))
            n = IntegerOf(*source);
        else if (source->vt == VT_R4 || source->vt == VT_R8)
            n = static_cast<long long>(source->vt == VT_R4 ? source->fltVal : source->dblVal);
        else if (source->vt == VT_BSTR && source->bstrVal)
        {
            std::string text = platform::WideToUtf8(source->bstrVal);
            if (type == VT_BOOL && (text == "True" || text == "False"))
                n = text == "True" ? -1 : 0;
            else
            {
                errno = 0;
                char* end = nullptr;
                n = std::strtoll(text.c_str(), &end, 10);
                if (text.empty() || (end && *end))
                    return DISP_E_TYPEMISMATCH;
                if (errno == ERANGE)
                    return DISP_E_OVERFLOW;
            }
        }
        else if (source->vt != VT_EMPTY)
            return DISP_E_TYPEMISMATCH;
        hr = StoreInteger(&result, n, type);
    }
    if (FAILED(hr))
        return hr;
    VariantClear(target);
    *target = result;
    return S_OK;
}

HRESULT OleRun(IUnknown* object)
{
    return object ? S_OK : E_INVALIDARG;
}
