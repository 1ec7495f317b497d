#include "brevicam/media/FException.h"

#include "platform/win/LastError.h"

#include <system_error>

CFException::CFException(const CString& text) : CFException(text, 0) {}

CFException::CFException(const CString& text, DWORD code) : m_strError(text), m_dwError(code) {}

CFException CFException::FromErrno(int err)
{
    return CFException(CString(std::generic_category().message(err)), platform::ErrorFromErrno(err));
}
