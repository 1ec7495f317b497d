#pragma once

#include "platform/dshowbase/Interfaces.h"
#include "platform/win/WinTypes.h"
#include "shared/exceptions/Exceptions.h"

#include <new>
#include <stdexcept>

/// The result a COM entry point of the encoder filters returns for the exception being handled; call it
/// only inside a catch block. Nothing thrown inside the filters leaves them: every entry point that runs
/// code which can throw catches everything and returns this.
///
/// CCOMException and its subclasses give the result they carry, COutOfMemoryException (and any other
/// allocation failure) E_OUTOFMEMORY, COSResourceException HRESULT_FROM_WIN32 of its code when that is
/// positive, a negative code as it is and a missing code (0) E_FAIL, any other runtime error
/// VFW_E_RUNTIME_ERROR, a logic error (invalid argument, null pointer) E_UNEXPECTED, and anything else
/// E_UNEXPECTED.
inline HRESULT HResultFromException() noexcept
{
    try
    {
        throw;
    }
    catch (const CCOMException& e)
    {
        return static_cast<HRESULT>(e.GetHResult());
    }
    catch (const COutOfMemoryException&)
    {
        return E_OUTOFMEMORY;
    }
    catch (const COSResourceException& e)
    {
        const int code = e.GetErrorCode();
        // A failure without a recorded system error must not read as success.
        if (code == 0)
            return E_FAIL;
        return code > 0 ? HRESULT_FROM_WIN32(static_cast<DWORD>(code)) : static_cast<HRESULT>(code);
    }
    catch (const std::runtime_error&)
    {
        return VFW_E_RUNTIME_ERROR;
    }
    catch (const std::logic_error&)
    {
        return E_UNEXPECTED;
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    catch (...)
    {
        return E_UNEXPECTED;
    }
}
