#include "shared/exceptions/Exceptions.h"

#include <gtest/gtest.h>

namespace
{
struct CParams
{
    static std::string SelectPath(int) { return THROW_SITE_MESSAGE("Unknown path selector"); }
};

namespace faldra
{
struct CSkinListCtrl
{
    std::string InitControl() const { return THROW_SITE_MESSAGE("List control window not yet created"); }
};
} // namespace faldra

struct tagTThumbInfo
{
    struct CComp
    {
        std::string operator()(int, int) const { return THROW_SITE_MESSAGE("Invalid arguments to compare"); }
    };
};

class CGIFWaitDialog
{
};
template <typename T> struct CWaitableTask
{
    std::string Start() { return THROW_SITE_MESSAGE("boom"); }
};
} // namespace

TEST(ExceptionsTest, ThrowSiteNamesSourceFunctionAndText)
{
    // This unit lives outside any deliverable's folder, so its path stays relative to the checkout.
    EXPECT_EQ(CParams::SelectPath(1), ".\\tests\\core\\ExceptionsTest[{anonymous}::CParams::SelectPath]: "
                                      "Unknown path selector");
    EXPECT_EQ(faldra::CSkinListCtrl().InitControl(),
              ".\\tests\\core\\ExceptionsTest[{anonymous}::faldra::CSkinListCtrl::InitControl]: "
              "List control window not yet created");
    EXPECT_EQ(tagTThumbInfo::CComp()(1, 2),
              ".\\tests\\core\\ExceptionsTest[{anonymous}::tagTThumbInfo::CComp::operator ()]: "
              "Invalid arguments to compare");
}

struct SourceCase
{
    const char* file;
    const char* expected;
};

class ThrowSiteSourceTest : public testing::TestWithParam<SourceCase>
{
};

TEST_P(ThrowSiteSourceTest, IsRelativeToTheModuleFolder)
{
    EXPECT_EQ(exceptions::ThrowSiteSource(GetParam().file), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ThrowSiteSourceTest,
    testing::Values(SourceCase{"brevicam/core/Params.cpp", ".\\Params"},
                    SourceCase{"Controls/GdiPlusBitmap.cpp", ".\\Controls\\GdiPlusBitmap"},
                    SourceCase{"shared/faldra/HotTrackZone.cpp", ".\\HotTrackZone"},
                    SourceCase{"kestavo/mpgwrapper.cpp", ".\\mpgwrapper"},
                    SourceCase{"brevicam/media/DllAccessor.h", "brevicam\\media\\DllAccessor.h"}));

TEST(ExceptionsTest, FunctionNamesAreWrittenAsTheOriginalCompilerDid)
{
    EXPECT_EQ(exceptions::ThrowSiteFunction("void CWaitableTask<T>::Start() [with T = CGIFWaitDialog]"),
              "CWaitableTask<class CGIFWaitDialog>::Start");
    EXPECT_EQ(
        exceptions::ThrowSiteFunction("transcoder::CTranscoderLauncher::CTranscoderLauncher(const char*)"),
        "transcoder::CTranscoderLauncher::CTranscoderLauncher");
    EXPECT_EQ(
        exceptions::ThrowSiteFunction("std::map<int, int> CDllAccessor::GetGenericFn(const char*) const"),
        "CDllAccessor::GetGenericFn");
    EXPECT_EQ(CWaitableTask<CGIFWaitDialog>().Start(),
              ".\\tests\\core\\ExceptionsTest[{anonymous}::CWaitableTask<class "
              "{anonymous}::CGIFWaitDialog>::Start]: "
              "boom");
}

TEST(ExceptionsTest, OutOfMemoryKeepsItsOwnMessage)
{
    try
    {
        throw COutOfMemoryException("Cannot allocate memory");
    }
    catch (const std::bad_alloc& e)
    {
        EXPECT_STREQ(e.what(), "Cannot allocate memory");
    }
    COutOfMemoryException original("x");
    const COutOfMemoryException copy(original);
    EXPECT_STREQ(copy.what(), "x");
}

TEST(ExceptionsTest, CodeCarriersKeepTheirCodesThroughBasesAndCopies)
{
    try
    {
        throw CShellException("shell", static_cast<int>(0x80004005u));
    }
    catch (const CCOMException& e)
    {
        EXPECT_EQ(e.GetHResult(), static_cast<int>(0x80004005u));
    }
    try
    {
        throw CDynamicLinkException("link", 127);
    }
    catch (const COSResourceException& e)
    {
        EXPECT_EQ(e.GetErrorCode(), 127);
    }
    const CDynamicLinkException source("text", 126);
    const CDynamicLinkException copy(source);
    EXPECT_STREQ(copy.what(), "text");
    EXPECT_EQ(copy.GetErrorCode(), 126);
    EXPECT_STREQ(CModuleException("").what(), "");
}

template <typename Thrown, typename Caught> bool CaughtAs()
{
    try
    {
        throw Thrown("m");
    }
    catch (const Caught&)
    {
        return true;
    }
    catch (...)
    {
        return false;
    }
}

TEST(ExceptionsTest, HierarchyRoutesToTheRightHandlers)
{
    EXPECT_TRUE((CaughtAs<CNotEnoughSpaceException, CIOException>()));
    EXPECT_TRUE((CaughtAs<CVideoInUseException, CModuleException>()));
    EXPECT_TRUE((CaughtAs<CMissingModuleException, std::runtime_error>()));
    EXPECT_TRUE((CaughtAs<CFolderMissing, CModuleException>()));
    EXPECT_TRUE((CaughtAs<CNullPointerException, std::logic_error>()));
    EXPECT_FALSE((CaughtAs<CNullPointerException, std::runtime_error>()));
    EXPECT_FALSE((CaughtAs<CInvalidArgumentException, std::runtime_error>()));
    EXPECT_TRUE((CaughtAs<CUserAbortException, std::exception>()));
}
