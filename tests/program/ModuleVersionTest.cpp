#include "platform/ostrago/Ostrago.h"
#include "platform/resources/Resources.h"
#include "platform/win/LastError.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

namespace
{
namespace fs = std::filesystem;

/// The folder that the build puts every deliverable in, this test program included.
fs::path OutputFolder()
{
    char path[PATH_MAX + 1] = {};
    GetModuleFileNameA(nullptr, path, PATH_MAX);
    return fs::path(path).parent_path();
}

class ModuleVersionTest : public testing::TestWithParam<const char*>
{
};

// The About box, the main window's label and the update request all read the program's version from its
// file; every module of the product carries the same one, taken from the project's version.
TEST_P(ModuleVersionTest, FileCarriesTheProjectVersion)
{
    const fs::path file = OutputFolder() / GetParam();
    ASSERT_TRUE(fs::exists(file)) << file;
    char text[1000] = {};
    ASSERT_TRUE(GetVersionInfo(file.c_str(), text, sizeof text, 0)) << GetLastError();
    EXPECT_STREQ(text, BREVICAM_EXPECTED_VERSION_TEXT);
    tagVERSIONINFO info{};
    ASSERT_TRUE(GetVersionInfo(file.c_str(), &info, 0));
    EXPECT_EQ(info.dwFileVersionMS, MAKELONG(BREVICAM_EXPECTED_MINOR, BREVICAM_EXPECTED_MAJOR));
    EXPECT_EQ(info.dwFileVersionLS, MAKELONG(BREVICAM_EXPECTED_TWEAK, BREVICAM_EXPECTED_PATCH));
}

INSTANTIATE_TEST_SUITE_P(Deliverables, ModuleVersionTest,
                         testing::Values("brevicam", "libfaldra.so", "libmiravoc.so", "libkestavo.so",
                                         "tolquin.so", "vardell.so"),
                         [](const testing::TestParamInfo<const char*>& info)
                         {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (c == '.')
                                     c = '_';
                             return name;
                         });
} // namespace
