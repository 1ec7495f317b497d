#include "platform/com/Com.h"

#include "platform/com/ComPtr.h"
#include "platform/com/FilterMapper.h"
#include "platform/registry/Registry.h"
#include "platform/win/LastError.h"
#include "tests/support/RegistryProbe.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using platform::com::ComPtr;

namespace
{
DEFINE_GUID(kSomeClass, 0x12345678, 0x9ABC, 0xDEF0, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF);

ComPtr<IFilterMapper2> NewMapper()
{
    ComPtr<IFilterMapper2> mapper;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                               mapper.PutVoid()),
              S_OK);
    return mapper;
}
} // namespace

TEST(GuidTest, TextFormRoundTrips)
{
    EXPECT_EQ(platform::com::GuidToString(kSomeClass), "{12345678-9ABC-DEF0-0123-456789ABCDEF}");
    GUID read{};
    ASSERT_TRUE(platform::com::GuidFromString("{12345678-9abc-def0-0123-456789abcdef}", &read));
    EXPECT_EQ(read, kSomeClass);
    EXPECT_EQ(platform::com::GuidToString(FOURCCMap(MAKEFOURCC('s', 'a', 'm', 'r'))),
              "{726D6173-0000-0010-8000-00AA00389B71}");
}

TEST(GuidTest, MalformedTextIsRefusedAndLeavesTheTargetAlone)
{
    for (const char* text :
         {"12345678-9ABC-DEF0-0123-456789ABCDEF", "{12345678-9ABC-DEF0-0123-456789ABCDE}",
          "{12345678-9ABC-DEF0-0123-456789ABCDEG}", "{12345678-9ABC-DEF0+0123-456789ABCDEF}",
          "{12345678-9ABC-DEF0-0123-456789ABCDEF}x", "", "{}"})
    {
        GUID read = kSomeClass;
        EXPECT_FALSE(platform::com::GuidFromString(text, &read)) << text;
        EXPECT_EQ(read, kSomeClass) << text;
    }
}

TEST(ComTest, InitialiseCountsPerThread)
{
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
}

TEST(ComTest, CreationFailuresNameTheirCause)
{
    ComPtr<IUnknown> object;
    EXPECT_EQ(CoCreateInstance(kSomeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.PutVoid()),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(kSomeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr), E_POINTER);

    testing_support::TempDir dir;
    ASSERT_EQ(
        platform::com::RegisterInprocServer(kSomeClass, "Missing", (dir / "missing.so").string(), "Both"),
        S_OK);
    EXPECT_EQ(CoCreateInstance(kSomeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.PutVoid()),
              HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));

    // A loadable library that is no plug-in.
    const auto library = platform::com::ModulePathOf(reinterpret_cast<const void*>(&GetLastError));
    ASSERT_FALSE(library.empty());
    ASSERT_EQ(platform::com::RegisterInprocServer(kSomeClass, "Not a plug-in", library, "Both"), S_OK);
    EXPECT_EQ(CoCreateInstance(kSomeClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, object.PutVoid()),
              CO_E_ERRORINDLL);
    EXPECT_EQ(CoCreateInstance(kSomeClass, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, object.PutVoid()),
              REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(object);
}

TEST(ComTest, ServerEntriesAreWrittenAndRemovedWithEverythingBelow)
{
    const std::string key = "CLSID\\{12345678-9ABC-DEF0-0123-456789ABCDEF}";
    ASSERT_EQ(platform::com::RegisterInprocServer(kSomeClass, "Some class", "/opt/some.so", "Both"), S_OK);
    EXPECT_EQ(testing_support::ReadClassesRootText(key, ""), "Some class");
    EXPECT_EQ(testing_support::ReadClassesRootText(key + "\\InprocServer32", ""), "/opt/some.so");
    EXPECT_EQ(testing_support::ReadClassesRootText(key + "\\InprocServer32", "ThreadingModel"), "Both");
    ASSERT_EQ(platform::com::UnregisterInprocServer(kSomeClass), S_OK);
    EXPECT_FALSE(testing_support::ClassesRootKeyExists(key));
    EXPECT_EQ(platform::com::UnregisterInprocServer(kSomeClass), S_OK);
    EXPECT_EQ(platform::com::DeleteKeyTree(HKEY_CLASSES_ROOT, key), static_cast<LONG>(ERROR_FILE_NOT_FOUND));
}

TEST(ComTest, TaskMemoryHoldsWhatIsWritten)
{
    auto* block = static_cast<char*>(CoTaskMemAlloc(8));
    ASSERT_NE(block, nullptr);
    std::memcpy(block, "abcdefg", 8);
    block = static_cast<char*>(CoTaskMemRealloc(block, 4096));
    ASSERT_NE(block, nullptr);
    EXPECT_STREQ(block, "abcdefg");
    CoTaskMemFree(block);
    CoTaskMemFree(nullptr);
}

TEST(FilterMapperTest, RegistersFilterDataInTheCategoryAndReplacesItAgain)
{
    const auto mapper = NewMapper();
    ASSERT_TRUE(mapper);
    const REGPINTYPES inputTypes[] = {{&kSomeClass, nullptr}};
    const REGPINTYPES outputTypes[] = {{&kSomeClass, &kSomeClass}, {&kSomeClass, &GUID_NULL}};
    const REGFILTERPINS pins[] = {{L"In", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, inputTypes},
                                  {L"Out", FALSE, TRUE, TRUE, TRUE, &CLSID_NULL, nullptr, 2, outputTypes}};
    const REGFILTER2 data{1, MERIT_UNLIKELY, 2, pins};
    ASSERT_EQ(mapper->RegisterFilter(kSomeClass, L"Filtre \u00e9t\u00e9", nullptr,
                                     &CLSID_VideoCompressorCategory, L"Some instance", &data),
              S_OK);
    const std::string key = "CLSID\\{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\Instance\\Some instance";
    EXPECT_EQ(testing_support::ReadClassesRootText(key, "FriendlyName"), "Filtre \xc3\xa9t\xc3\xa9");
    EXPECT_EQ(testing_support::ReadClassesRootText(key, "CLSID"), "{12345678-9ABC-DEF0-0123-456789ABCDEF}");
    EXPECT_EQ(testing_support::ReadClassesRootText(key, "Merit"), std::to_string(MERIT_UNLIKELY));
    EXPECT_EQ(testing_support::ReadClassesRootText(key + "\\Pins\\0", "Name"), "In");
    EXPECT_EQ(testing_support::ReadClassesRootText(key + "\\Pins\\1", "Many"), "1");
    EXPECT_EQ(testing_support::ReadClassesRootText(key + "\\Pins\\0\\Types\\0", "SubType"),
              "{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(testing_support::ReadClassesRootText(key + "\\Pins\\1\\Types\\1", "MajorType"),
              "{12345678-9ABC-DEF0-0123-456789ABCDEF}");

    // A new registration under the same name replaces the old one whole.
    const REGFILTER2 smaller{1, MERIT_NORMAL, 1, pins};
    ASSERT_EQ(mapper->RegisterFilter(kSomeClass, L"Other", nullptr, &CLSID_VideoCompressorCategory,
                                     L"Some instance", &smaller),
              S_OK);
    EXPECT_EQ(testing_support::ReadClassesRootText(key, "Merit"), std::to_string(MERIT_NORMAL));
    EXPECT_FALSE(testing_support::ClassesRootKeyExists(key + "\\Pins\\1"));

    EXPECT_EQ(mapper->UnregisterFilter(&CLSID_VideoCompressorCategory, L"Some instance", kSomeClass), S_OK);
    EXPECT_FALSE(testing_support::ClassesRootKeyExists(key));
    EXPECT_EQ(mapper->UnregisterFilter(&CLSID_VideoCompressorCategory, L"Some instance", kSomeClass),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST(FilterMapperTest, DefaultsToTheFilterCategoryUnderTheClassId)
{
    const auto mapper = NewMapper();
    const REGFILTER2 data{1, MERIT_NORMAL, 0, nullptr};
    ASSERT_EQ(mapper->RegisterFilter(kSomeClass, L"Plain", nullptr, nullptr, nullptr, &data), S_OK);
    EXPECT_EQ(testing_support::ReadClassesRootText(
                  "CLSID\\{083863F1-70DE-11D0-BD40-00A0C911CE86}\\Instance\\{12345678-9ABC-DEF0-0123-"
                  "456789ABCDEF}",
                  "FriendlyName"),
              "Plain");
}

TEST(FilterMapperTest, RefusesWhatItCannotStore)
{
    const auto mapper = NewMapper();
    const REGFILTER2 version2{2, MERIT_NORMAL, 0, nullptr};
    EXPECT_EQ(mapper->RegisterFilter(kSomeClass, L"x", nullptr, nullptr, nullptr, &version2), E_NOTIMPL);
    EXPECT_EQ(mapper->RegisterFilter(kSomeClass, L"x", nullptr, nullptr, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(mapper->RegisterFilter(kSomeClass, nullptr, nullptr, nullptr, nullptr, &version2), E_POINTER);

    ComPtr<IFilterMapper2> aggregated;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterMapper2, mapper.Get(), CLSCTX_INPROC_SERVER, IID_IUnknown,
                               aggregated.PutVoid()),
              CLASS_E_NOAGGREGATION);
}
