#pragma once

#include "shared/exceptions/Exceptions.h"

/// Failures of libavcodec and the bit-rate check.
EXCEPTION_RUNTIME_CLASS(CVideoEncoderException, std::runtime_error);

namespace vardell
{
/// A request the encoder cannot follow in its present state (not the family's class of that name).
EXCEPTION_RUNTIME_CLASS(CInvalidStateException, std::runtime_error);
} // namespace vardell
