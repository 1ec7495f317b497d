#pragma once

#include "platform/win/WinTypes.h"
#include "shared/exceptions/Exceptions.h"

#include <string>

/// Failures of the AMR libraries and of the rate converter.
EXCEPTION_RUNTIME_CLASS(CAudioEncoderException, std::runtime_error);
/// More input or output than the encoder's buffers hold.
EXCEPTION_RUNTIME_CLASS(CBufferOverflowException, std::runtime_error);

/// A failed media-filter call, carrying its result.
class CDirectShowException : public CCOMException
{
public:
    explicit CDirectShowException(HRESULT hr) : CCOMException(std::string(), hr) {}
    CDirectShowException(const std::string& message, HRESULT hr) : CCOMException(message, hr) {}
    CDirectShowException(const CDirectShowException& other)
        : CCOMException(std::string(other.what()), other.GetHResult())
    {
    }
    CDirectShowException& operator=(const CDirectShowException&) = default;
};
