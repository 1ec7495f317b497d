#pragma once

#include "platform/win/CString.h"
#include "platform/win/WinTypes.h"

/// A failure inside the file-operation engine: the text shown for it and the system error code behind it
/// (0 for the engine's own texts and for an operation the user cancelled). Thrown and caught by value.
class CFException
{
public:
    /// The engine's own text, code 0.
    explicit CFException(const CString& text);
    /// The system's message for the POSIX error `err`, with its code in the program's error numbering.
    static CFException FromErrno(int err);

    const CString& GetText() const noexcept { return m_strError; }
    DWORD GetCode() const noexcept { return m_dwError; }

    CString m_strError;
    DWORD m_dwError = 0;

private:
    CFException(const CString& text, DWORD code);
};
