#include "DirectShowFilters/FilterErrors.h"

#include "DirectShowFilters/tolquin/TolquinExceptions.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

struct MappingCase
{
    const char* name;
    std::function<void()> raise;
    HRESULT expected;
    friend void PrintTo(const MappingCase& c, std::ostream* os) { *os << c.name; }
};

class FilterErrorsTest : public testing::TestWithParam<MappingCase>
{
};

TEST_P(FilterErrorsTest, MapsTheExceptionToItsResult)
{
    HRESULT hr = S_OK;
    try
    {
        GetParam().raise();
    }
    catch (...)
    {
        hr = HResultFromException();
    }
    EXPECT_EQ(static_cast<unsigned>(hr), static_cast<unsigned>(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Table, FilterErrorsTest,
    testing::Values(
        MappingCase{"ComCarriesItsResult", [] { throw CCOMException("x", E_ACCESSDENIED); }, E_ACCESSDENIED},
        MappingCase{"DirectShowCarriesItsResult", [] { throw CDirectShowException(VFW_E_NOT_CONNECTED); },
                    VFW_E_NOT_CONNECTED},
        MappingCase{"ShellCarriesItsResult",
                    [] { throw CShellException("x", static_cast<int>(0x80070002u)); },
                    static_cast<HRESULT>(0x80070002u)},
        MappingCase{"OutOfMemory", [] { throw COutOfMemoryException("x"); }, E_OUTOFMEMORY},
        MappingCase{"PlainAllocationFailure", [] { throw std::bad_alloc(); }, E_OUTOFMEMORY},
        MappingCase{"SystemErrorCode", [] { throw COSResourceException("x", 5); }, E_ACCESSDENIED},
        MappingCase{"SystemErrorCodeKeepsLow16Bits", [] { throw COSResourceException("x", 0x12345); },
                    static_cast<HRESULT>(0x80072345u)},
        MappingCase{"LinkErrorCode", [] { throw CDynamicLinkException("x", 126); },
                    static_cast<HRESULT>(0x8007007Eu)},
        MappingCase{"NegativeCodeAsItIs", [] { throw COSResourceException("x", static_cast<int>(E_HANDLE)); },
                    E_HANDLE},
        MappingCase{"MissingCodeIsNoSuccess", [] { throw COSResourceException("x", 0); }, E_FAIL},
        MappingCase{"AudioEncoder", [] { throw CAudioEncoderException("x"); }, VFW_E_RUNTIME_ERROR},
        MappingCase{"BufferOverflow", [] { throw CBufferOverflowException("x"); }, VFW_E_RUNTIME_ERROR},
        MappingCase{"InvalidObject", [] { throw CInvalidObjectException("x"); }, VFW_E_RUNTIME_ERROR},
        MappingCase{"ModuleFailure", [] { throw CInvalidStateException("x"); }, VFW_E_RUNTIME_ERROR},
        MappingCase{"RuntimeError", [] { throw std::runtime_error("x"); }, VFW_E_RUNTIME_ERROR},
        MappingCase{"InvalidArgument", [] { throw CInvalidArgumentException("x"); }, E_UNEXPECTED},
        MappingCase{"NullPointer", [] { throw CNullPointerException("x"); }, E_UNEXPECTED},
        MappingCase{"AnythingElse", [] { throw 42; }, E_UNEXPECTED}),
    [](const testing::TestParamInfo<MappingCase>& info) { return std::string(info.param.name); });
