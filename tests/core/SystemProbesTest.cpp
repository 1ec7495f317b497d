#include "brevicam/core/SystemProbes.h"

#include "brevicam/core/RegKeyHolder.h"
#include "platform/registry/Registry.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

namespace
{
using testing_support::TempDir;

constexpr DWORD kFailed = static_cast<DWORD>(-1);
constexpr const char* kProcessors = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor";

// A machine description: files below a fake /sys and /proc, and what the probe must make of them.
struct MachineCase
{
    const char* name;
    std::map<std::string, std::string> sysFiles; // below sys/devices/system/cpu/
    std::string cpuinfo;                         // proc/cpuinfo; no file when empty
    DWORD expectedTotal;
};

void PrintTo(const MachineCase& c, std::ostream* os)
{
    *os << c.name;
}

// Points the processor probe at fake trees; the machine key is rebuilt on the next access.
class FakeMachine
{
public:
    FakeMachine()
    {
        setenv("BREVICAM_SYSFS_ROOT", (m_dir / "sys").c_str(), 1);
        setenv("BREVICAM_PROC_ROOT", (m_dir / "proc").c_str(), 1);
        platform::registry::Reload();
    }
    ~FakeMachine()
    {
        unsetenv("BREVICAM_SYSFS_ROOT");
        unsetenv("BREVICAM_PROC_ROOT");
        platform::registry::Reload();
    }
    FakeMachine(const FakeMachine&) = delete;
    FakeMachine& operator=(const FakeMachine&) = delete;

    void Sys(const std::string& path, const std::string& content)
    {
        m_dir.WriteFile("sys/devices/system/cpu/" + path, content);
    }
    void CpuInfo(const std::string& content) { m_dir.WriteFile("proc/cpuinfo", content); }

private:
    TempDir m_dir;
};

std::string CpuInfoBlock(int processor, const std::string& mhzLine)
{
    return "processor\t: " + std::to_string(processor) + "\nvendor_id\t: FakeVendor\n" + mhzLine +
           "\ncache size\t: 512 KB\n\n";
}

class TotalCpuMHzTest : public ::testing::TestWithParam<MachineCase>
{
};

TEST_P(TotalCpuMHzTest, SumsEachProcessorsClock)
{
    const MachineCase& c = GetParam();
    FakeMachine machine;
    for (const auto& [path, content] : c.sysFiles)
        machine.Sys(path, content);
    if (!c.cpuinfo.empty())
        machine.CpuInfo(c.cpuinfo);

    DWORD total = 12345;
    EXPECT_EQ(c.expectedTotal, GetTotalCpuMHz(&total));
    EXPECT_EQ(c.expectedTotal, total);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, TotalCpuMHzTest,
    ::testing::Values(
        MachineCase{
            "TwoProcessorsFromSysfs",
            {{"cpu0/cpufreq/cpuinfo_max_freq", "1600000\n"}, {"cpu1/cpufreq/cpuinfo_max_freq", "1600000\n"}},
            "",
            3200},
        MachineCase{"SysfsPreferredToMomentaryClock",
                    {{"cpu0/cpufreq/cpuinfo_max_freq", "3400000\n"}},
                    CpuInfoBlock(0, "cpu MHz\t\t: 800.000"),
                    3400},
        MachineCase{"CpuinfoWhenSysfsHasNoClock",
                    {{"cpu0/online", "1\n"}, {"cpu1/online", "1\n"}},
                    CpuInfoBlock(0, "cpu MHz\t\t: 1600.000") + CpuInfoBlock(1, "cpu MHz\t\t: 2399.6"),
                    4000},
        MachineCase{
            "NothingReadableGivesZero", {{"cpu0/online", "1\n"}}, CpuInfoBlock(0, "bogomips\t: 10.0"), 0},
        MachineCase{"NoTreesAtAllGiveZero", {}, "", 0},
        MachineCase{"GarbageSkipsThatProcessor",
                    {{"cpu0/cpufreq/cpuinfo_max_freq", "2000000\n"},
                     {"cpu1/cpufreq/cpuinfo_max_freq", "fast\n"},
                     {"cpu2/cpufreq/cpuinfo_max_freq", "-5\n"},
                     {"cpu3/cpufreq/cpuinfo_max_freq", "99999999999999999999999\n"}},
                    CpuInfoBlock(1, "cpu MHz\t\t: n/a") + CpuInfoBlock(2, "cpu MHz\t\t: nan") +
                        CpuInfoBlock(3, "cpu MHz\t\t: -1600"),
                    2000},
        MachineCase{"GarbageInSysfsFallsBackToCpuinfo",
                    {{"cpu0/cpufreq/cpuinfo_max_freq", "\n"}},
                    CpuInfoBlock(0, "cpu MHz\t\t: 1200.4"),
                    1200},
        MachineCase{"ZeroClockIsNoClock", {{"cpu0/cpufreq/cpuinfo_max_freq", "0\n"}}, "", 0}),
    [](const ::testing::TestParamInfo<MachineCase>& info) { return std::string(info.param.name); });

// The failure paths read the machine key as it stands; the tests change it in memory (it is never saved).
class TotalCpuMHzFailureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_machine.Sys("cpu0/cpufreq/cpuinfo_max_freq", "1600000\n");
        m_machine.Sys("cpu1/cpufreq/cpuinfo_max_freq", "1600000\n");
    }

    static void Processor(const char* number, CRegKeyHolder& key)
    {
        const std::string path = std::string(kProcessors) + "\\" + number;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, key.Receive()));
    }

    FakeMachine m_machine;
};

TEST_F(TotalCpuMHzFailureTest, ClockStoredAsTextFailsWithThePartialSum)
{
    CRegKeyHolder key;
    Processor("1", key);
    const char text[] = "1600";
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, "~MHz", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text));

    DWORD total = 0;
    EXPECT_EQ(kFailed, GetTotalCpuMHz(&total));
    EXPECT_EQ(1600u, total);
}

TEST_F(TotalCpuMHzFailureTest, MissingClockFails)
{
    CRegKeyHolder key;
    Processor("0", key);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueA(key, "~MHz"));

    DWORD total = 99;
    EXPECT_EQ(kFailed, GetTotalCpuMHz(&total));
    EXPECT_EQ(0u, total);
}

TEST_F(TotalCpuMHzFailureTest, MissingProcessorKeyFailsAndLeavesTheTotal)
{
    for (const char* number : {"0", "1"})
        ASSERT_EQ(ERROR_SUCCESS,
                  RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kProcessors) + "\\" + number).c_str()));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, kProcessors));

    DWORD total = 4321;
    EXPECT_EQ(kFailed, GetTotalCpuMHz(&total));
    EXPECT_EQ(4321u, total);
}

TEST_F(TotalCpuMHzFailureTest, MachineKeyIsRebuiltAtEachLoadAndNeverSaved)
{
    CRegKeyHolder key;
    Processor("0", key);
    const DWORD mhz = 1;
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, "~MHz", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mhz), sizeof mhz));
    CRegKeyHolder software;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\ProbeTest", 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, software.Receive(), nullptr));
    DWORD total = 0;
    EXPECT_EQ(1601u, GetTotalCpuMHz(&total));

    const std::string saved = testing_support::ReadFile(platform::registry::RootFolder() + "/HKLM.json");
    EXPECT_NE(std::string::npos, saved.find("ProbeTest"));
    EXPECT_EQ(std::string::npos, saved.find("CentralProcessor"));
    platform::registry::Reload();
    EXPECT_EQ(3200u, GetTotalCpuMHz(&total));
}

TEST(TotalCpuMHzLiveTest, ThisMachineGivesATotal)
{
    DWORD total = 0;
    EXPECT_NE(kFailed, GetTotalCpuMHz(&total));
}

TEST(RegKeyHolderTest, ClosesItsKeyOnScopeExit)
{
    HKEY raw = nullptr;
    {
        CRegKeyHolder key;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\HolderTest", 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr));
        raw = key;
        ASSERT_NE(nullptr, raw);
    }
    EXPECT_EQ(static_cast<LONG>(ERROR_INVALID_HANDLE), RegCloseKey(raw));
}

TEST(GdiPlusTest, StartupKeepsATokenUntilShutdown)
{
    EXPECT_EQ(0, StartupGdiPlus());
    EXPECT_NE(0u, g_gdiplusToken);
    ShutdownGdiPlus();
    EXPECT_EQ(0u, g_gdiplusToken);
}
} // namespace
