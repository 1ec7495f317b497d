#include "MiravocTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <utility>
#include <vector>

using miravoc_test::EngineThreadCount;
using miravoc_test::PumpFor;
using miravoc_test::PumpUntil;
using testing_support::PulseDaemon;

namespace
{
std::string BinaryFolder()
{
    const char* dir = std::getenv("BREVICAM_TEST_BINARY_DIR");
    return std::string(dir ? dir : ".") + "/bin";
}

// The names the program links the exports by.
const char* const kExportNames[] = {
    "_Z13GetNumDevicesv",
    "_Z9SetDevicei",
    "_Z9SetDevicePc",
    "_Z11CheckDevicePc",
    "_Z16GetCurrentDevicePcm",
    "_Z30IsDeviceVolumeControlAvailablev",
    "_Z19GetVolumeMeterValuev",
    "_Z20EnableVolumeMeteringb",
    "_Z15OpenAudioDevicev",
    "_Z16CloseAudioDevicev",
    "_Z17GetDeviceNameByIdiPcm",
    "_Z16GetCurrentVolumev",
    "_Z16SetCurrentVolumej",
    "_Z15IsMuteAvailablev",
    "_Z13GetVolumeMutev",
    "_Z13SetVolumeMutej",
    "_Z16GetMaximalVolumev",
    "_Z17GetDefaultMicNameR7CString",
    "_Z13SetDefaultMicv",
    "_Z19SetDefaultMicVidPidPcS_",
    "_Z21GetDefaultMicFilterIdv",
    "_Z16ShowVolumeDialogP4CWnd",
    "_Z16ShowVolumeSlideriR7CStringP4CWndijjji",
    "_Z17CloseVolumeDialogv",
};
} // namespace

TEST(MiravocLibraryTest, UnloadWhileCaptureRunsStopsAndJoinsTheEngineThreadsFirst)
{
    PulseDaemon daemon;
    const std::string path = BinaryFolder() + "/libmiravoc.so";
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const char* name : kExportNames)
        EXPECT_NE(dlsym(library, name), nullptr) << name;

    const auto setDevice = reinterpret_cast<int (*)(char*)>(dlsym(library, "_Z9SetDevicePc"));
    const auto meter = reinterpret_cast<DWORD (*)()>(dlsym(library, "_Z19GetVolumeMeterValuev"));
    ASSERT_TRUE(setDevice && meter);
    std::string webcam = PulseDaemon::kWebcamDescription;
    ASSERT_EQ(setDevice(webcam.data()), 2);
    ASSERT_TRUE(PumpUntil([&] { return meter() > 0; }));
    EXPECT_EQ(EngineThreadCount(), 3);

    ASSERT_EQ(dlclose(library), 0);
    EXPECT_EQ(EngineThreadCount(), 0);
    EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "the library stayed loaded";
    // Capture callbacks into the unloaded code would have come by now.
    PumpFor(300);
}

TEST(MiravocLibraryTest, LinkedByAProgramItServesItsUserInterfaceThreadToItsEnd)
{
    PulseDaemon daemon;
    std::string output;
    const int status = testing_support::RunProgram(
        {BinaryFolder() + "/miravoc_load_probe", PulseDaemon::kWebcamDescription}, &output, 30000);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("devices 3\ncheck 2\ndevice 2\nlevel moving\n"), std::string::npos) << output;
}

TEST(MiravocLibraryTest, ProgramEndingWithoutTheWindowLayersCloseEndsCleanly)
{
    PulseDaemon daemon;
    std::string output;
    const int status =
        testing_support::RunProgram({BinaryFolder() + "/miravoc_load_probe", "--one-call"}, &output, 30000);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("devices 3\n"), std::string::npos) << output;
}

TEST(MiravocLibraryTest, LoadingTheLibraryNeedsNoWindowSystem)
{
    // Without a display and without a chosen platform, making the window system's application aborts.
    std::vector<std::pair<std::string, std::string>> saved;
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
    {
        if (const char* value = std::getenv(name))
            saved.emplace_back(name, value);
        unsetenv(name);
    }
    std::string output;
    const int status =
        testing_support::RunProgram({BinaryFolder() + "/miravoc_load_probe", "--load-only"}, &output);
    for (const auto& [name, value] : saved)
        setenv(name.c_str(), value.c_str(), 1);
    EXPECT_EQ(status, 0) << output;
}
