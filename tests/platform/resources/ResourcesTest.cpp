#include "platform/resources/Resources.h"

#include "sample_ids.h"

#include "platform/win/CString.h"
#include "platform/win/LastError.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <elf.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

using testing_support::ReadFile;
using testing_support::TempDir;

namespace
{
constexpr const char* kLanguageLibrary = "platform_resources_tests-FRA.so";

std::filesystem::path Fixture(const std::string& name)
{
    return testing_support::SourceDir() / "tests/fixtures/resources" / name;
}

std::filesystem::path ProgramFolder()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

std::string Bytes(HMODULE module, HRSRC res)
{
    const auto* data = static_cast<const char*>(LockResource(LoadResource(module, res)));
    return data ? std::string(data, SizeofResource(module, res)) : std::string();
}

std::string LoadText(HINSTANCE module, UINT id)
{
    char buffer[256];
    const int n = LoadStringA(module, id, buffer, sizeof buffer);
    EXPECT_EQ(std::strlen(buffer), static_cast<std::size_t>(n));
    return buffer;
}

WORD Word(const BYTE* p)
{
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

DWORD Dword(const BYTE* p)
{
    return Word(p) | (static_cast<DWORD>(Word(p + 2)) << 16);
}

std::u16string Utf16At(const BYTE* p, std::size_t& offset)
{
    std::u16string s;
    while (Word(p + offset))
    {
        s += static_cast<char16_t>(Word(p + offset));
        offset += 2;
    }
    offset += 2;
    return s;
}

// Restores the class library's handles, which tests change.
class ResourcesTest : public testing::Test
{
protected:
    void TearDown() override
    {
        AfxSetResourceHandle(nullptr);
        AfxSetInstanceHandle(nullptr);
    }
};
} // namespace

struct FindCase
{
    const char* name;
    LPCSTR type;
    LPCSTR id;
    std::function<std::string()> expected; // the data, or null to check only that it is there
    friend void PrintTo(const FindCase& c, std::ostream* os) { *os << c.name; }
};

class FindResourceTest : public testing::TestWithParam<FindCase>
{
};

TEST_P(FindResourceTest, FindsTheResourceInTheProgram)
{
    const FindCase& c = GetParam();
    HRSRC res = FindResourceA(nullptr, c.id, c.type);
    ASSERT_NE(res, nullptr) << GetLastError();
    EXPECT_GT(SizeofResource(nullptr, res), 0u);
    if (c.expected)
    {
        EXPECT_EQ(Bytes(nullptr, res), c.expected());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FindResourceTest,
    testing::Values(FindCase{"StringBlock", RT_STRING, MAKEINTRESOURCE(IDS_APP_TITLE / 16 + 1), {}},
                    FindCase{"Dialog", RT_DIALOG, MAKEINTRESOURCE(IDD_SAMPLE), {}},
                    // windres keeps a bitmap without its 14-byte file header.
                    FindCase{"Bitmap", RT_BITMAP, MAKEINTRESOURCE(IDB_SAMPLE),
                             [] { return ReadFile(Fixture("tiny.bmp")).substr(14); }},
                    FindCase{"PngById", "PNG", MAKEINTRESOURCE(IDR_SAMPLE_PNG),
                             [] { return ReadFile(Fixture("tiny.png")); }},
                    FindCase{"PngByNumberText", "png", "#300", [] { return ReadFile(Fixture("tiny.png")); }},
                    FindCase{"PngByNameAnyCase", "Png", "logo", [] { return ReadFile(Fixture("tiny.png")); }},
                    FindCase{"RawData", RT_RCDATA, MAKEINTRESOURCE(IDR_SAMPLE_DATA),
                             [] { return std::string("\1\0\2\0\3\0abc", 9); }},
                    FindCase{"Accelerators", RT_ACCELERATOR, MAKEINTRESOURCE(IDR_ACCELERATORS), {}},
                    FindCase{"Version", RT_VERSION, MAKEINTRESOURCE(1), {}},
                    FindCase{"IconGroup", RT_GROUP_ICON, MAKEINTRESOURCE(IDI_SAMPLE), {}},
                    FindCase{"IconImage", RT_ICON, MAKEINTRESOURCE(1),
                             [] { return ReadFile(Fixture("tiny.ico")).substr(22); }}),
    [](const auto& info) { return std::string(info.param.name); });

struct MissingCase
{
    const char* name;
    LPCSTR type;
    LPCSTR id;
    WORD language;
    DWORD error;
    friend void PrintTo(const MissingCase& c, std::ostream* os) { *os << c.name; }
};

class MissingResourceTest : public testing::TestWithParam<MissingCase>
{
};

TEST_P(MissingResourceTest, GivesNullAndTheReason)
{
    const MissingCase& c = GetParam();
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(FindResourceExA(nullptr, c.type, c.id, c.language), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MissingResourceTest,
    testing::Values(MissingCase{"UnknownType", RT_MENU, MAKEINTRESOURCE(1), 0, ERROR_RESOURCE_TYPE_NOT_FOUND},
                    MissingCase{"UnknownId", RT_DIALOG, MAKEINTRESOURCE(999), 0,
                                ERROR_RESOURCE_NAME_NOT_FOUND},
                    MissingCase{"UnknownName", "PNG", "NOLOGO", 0, ERROR_RESOURCE_NAME_NOT_FOUND},
                    MissingCase{"OtherLanguage", RT_DIALOG, MAKEINTRESOURCE(IDD_SAMPLE), MAKELANGID(0x0C, 1),
                                ERROR_RESOURCE_LANG_NOT_FOUND}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ResourcesTest, ExactLanguageIsFound)
{
    EXPECT_NE(FindResourceExA(nullptr, RT_DIALOG, MAKEINTRESOURCE(IDD_SAMPLE), MAKELANGID(0x09, 1)), nullptr);
}

TEST_F(ResourcesTest, ForeignHandlesAreRefused)
{
    const auto bogus = reinterpret_cast<HMODULE>(0x1000);
    EXPECT_EQ(FindResourceA(bogus, MAKEINTRESOURCE(IDD_SAMPLE), RT_DIALOG), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    // A handle of another module's resource is not taken for one of the program's.
    HMODULE runtime = GetModuleHandleA("libplatform_resources.so");
    HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCE(IDD_SAMPLE), RT_DIALOG);
    EXPECT_EQ(LoadResource(runtime, res), nullptr);
    EXPECT_EQ(SizeofResource(nullptr, reinterpret_cast<HRSRC>(std::uintptr_t{0x2000})), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(ResourcesTest, ModuleWithoutResourcesSaysSo)
{
    HMODULE runtime = GetModuleHandleA("libplatform_resources.so");
    ASSERT_NE(runtime, nullptr);
    char buffer[16] = "x";
    EXPECT_EQ(LoadStringA(runtime, IDS_GREETING, buffer, sizeof buffer), 0);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_DATA_NOT_FOUND);
    EXPECT_STREQ(buffer, "");
}

struct StringCase
{
    const char* name;
    UINT id;
    const char* text;
    friend void PrintTo(const StringCase& c, std::ostream* os) { *os << c.name; }
};

class LoadStringTest : public testing::TestWithParam<StringCase>
{
};

TEST_P(LoadStringTest, GivesTheUtf8Text)
{
    const StringCase& c = GetParam();
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LoadText(nullptr, c.id), c.text);
    if (!*c.text)
    {
        EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
    }
    CString s("unchanged");
    EXPECT_EQ(s.LoadString(c.id), *c.text ? TRUE : FALSE);
    EXPECT_EQ(s, *c.text ? c.text : "unchanged");
}

INSTANTIATE_TEST_SUITE_P(Ids, LoadStringTest,
                         testing::Values(StringCase{"FirstOfFirstBlock", IDS_GREETING, "Hello"},
                                         StringCase{"LastOfBlock", IDS_LAST_OF_BLOCK, "Last of its block"},
                                         StringCase{"Title", IDS_APP_TITLE, "Brevicam"},
                                         StringCase{"Accented", IDS_ACCENTED, "Caméra prête — ünïcode ✓"},
                                         StringCase{"Supplementary", IDS_SUPPLEMENTARY, "Smile 😀"},
                                         StringCase{"GapInBlock", IDS_UNUSED_IN_BLOCK, ""},
                                         StringCase{"NoSuchBlock", 5000, ""},
                                         StringCase{"BeyondSixteenBits", 0x10000 + IDS_GREETING, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ResourcesTest, LoadStringCutsAtACharacterBoundary)
{
    char buffer[5];
    // "Cam" then "é" (two bytes) would need 6 bytes with the terminator.
    EXPECT_EQ(LoadStringA(nullptr, IDS_ACCENTED, buffer, sizeof buffer), 3);
    EXPECT_STREQ(buffer, "Cam");
    char one[1] = {'x'};
    EXPECT_EQ(LoadStringA(nullptr, IDS_ACCENTED, one, 1), 0);
    EXPECT_EQ(one[0], '\0');
}

TEST_F(ResourcesTest, DialogTemplateCarriesItsFont)
{
    HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCE(IDD_SAMPLE), RT_DIALOG);
    ASSERT_NE(res, nullptr);
    const auto* p = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, res)));
    ASSERT_GE(SizeofResource(nullptr, res), 26u);
    EXPECT_EQ(Dword(p), 0xFFFF0001u); // version 1, signature 0xFFFF: the extended layout
    const DWORD style = Dword(p + 12);
    EXPECT_TRUE(style & 0x40) << "DS_SETFONT";
    EXPECT_EQ(Word(p + 16), 3); // items
    EXPECT_EQ(Word(p + 22), 186);
    EXPECT_EQ(Word(p + 24), 95);
    std::size_t offset = 26;
    EXPECT_EQ(Utf16At(p, offset), u""); // no menu
    EXPECT_EQ(Utf16At(p, offset), u""); // standard class
    EXPECT_EQ(Utf16At(p, offset), u"Sample dialog");
    EXPECT_EQ(Word(p + offset), 8); // point size
    EXPECT_EQ(Word(p + offset + 2), 400);
    offset += 6;
    EXPECT_EQ(Utf16At(p, offset), u"MS Shell Dlg");
    EXPECT_LE(offset, SizeofResource(nullptr, res));
}

TEST_F(ResourcesTest, VersionResourceHoldsTheFileVersion)
{
    HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCE(1), RT_VERSION);
    ASSERT_NE(res, nullptr);
    const std::string data = Bytes(nullptr, res);
    const auto pos = data.find("\xBD\x04\xEF\xFE");
    ASSERT_NE(pos, std::string::npos);
    const auto* fixed = reinterpret_cast<const BYTE*>(data.data() + pos);
    EXPECT_EQ(Dword(fixed + 8), 0x00020005u);
    EXPECT_EQ(Dword(fixed + 12), 0x0011012Cu);
}

TEST_F(ResourcesTest, ModuleHandlesNameTheSameModuleEveryWay)
{
    HMODULE program = GetModuleHandleA(nullptr);
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(platform::resources::ThisModule(), program);
    EXPECT_EQ(AfxGetInstanceHandle(), program);
    EXPECT_EQ(AfxGetResourceHandle(), program);
    EXPECT_EQ(GetModuleHandleA("platform_resources_tests"), program);

    HMODULE runtime = platform::resources::ModuleFromAddress(reinterpret_cast<const void*>(&FindResourceA));
    EXPECT_NE(runtime, program);
    EXPECT_EQ(GetModuleHandleA("libplatform_resources.so"), runtime);
    // Exports are bound by their C names.
    EXPECT_EQ(GetProcAddress(runtime, "FindResourceA"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);

    EXPECT_EQ(GetModuleHandleA("libnothing.so"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST_F(ResourcesTest, SystemLibraryLoadsAndBindsByName)
{
    HMODULE maths = LoadLibraryA("libm.so.6");
    ASSERT_NE(maths, nullptr) << GetLastError();
    using Cosine = double (*)(double);
    auto cosine = reinterpret_cast<Cosine>(reinterpret_cast<void*>(GetProcAddress(maths, "cos")));
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_TRUE(FreeLibrary(maths));
    HMODULE runtime = GetModuleHandleA("libc.so.6");
    EXPECT_NE(GetProcAddress(runtime, "strlen"), nullptr);
}

TEST_F(ResourcesTest, ModuleFileNameIsBoundedAndTerminated)
{
    char path[4096];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    EXPECT_EQ(std::filesystem::path(path), std::filesystem::read_symlink("/proc/self/exe"));
    EXPECT_EQ(n, std::strlen(path));
    char small[8];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::string(small), std::string(path).substr(0, 7));
}

TEST_F(ResourcesTest, LanguageLibraryServesTextsAsResourceModule)
{
    HMODULE french = LoadLibraryA(kLanguageLibrary);
    ASSERT_NE(french, nullptr) << GetLastError();
    EXPECT_EQ(GetModuleHandleA(kLanguageLibrary), french);
    char path[4096];
    ASSERT_GT(GetModuleFileNameA(french, path, sizeof path), 0u);
    EXPECT_EQ(std::filesystem::path(path), ProgramFolder() / kLanguageLibrary);
    EXPECT_EQ(LoadText(french, IDS_APP_TITLE), "Brevicam (français)");
    EXPECT_EQ(GetProcAddress(french, "FindResourceA"), nullptr);

    AfxSetResourceHandle(french);
    CString text;
    EXPECT_TRUE(text.LoadString(IDS_GREETING));
    EXPECT_EQ(text, "Bonjour");
    // A text the language library lacks comes from the program itself.
    EXPECT_TRUE(text.LoadString(IDS_ENGLISH_ONLY));
    EXPECT_EQ(text, "Only in English");
    EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCE(IDS_APP_TITLE / 16 + 1), RT_STRING), french);
    EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCE(IDR_SAMPLE_PNG), "PNG"), GetModuleHandleA(nullptr));
    EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCE(999), RT_DIALOG), french);
    // The other language's resources carry their own language id.
    EXPECT_NE(FindResourceExA(french, RT_STRING, MAKEINTRESOURCE(IDS_GREETING / 16 + 1), MAKELANGID(0x0C, 1)),
              nullptr);

    AfxSetResourceHandle(nullptr);
    EXPECT_TRUE(text.LoadString(IDS_GREETING));
    EXPECT_EQ(text, "Hello");
    EXPECT_TRUE(FreeLibrary(french));
}

TEST_F(ResourcesTest, LanguageLibraryCanBeReadAsDataOnly)
{
    const auto path = ProgramFolder() / kLanguageLibrary;
    HMODULE french = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(french, nullptr) << GetLastError();
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(french) & 1, 1u);
    EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr) << "nothing was mapped";
    EXPECT_EQ(LoadText(french, IDS_GREETING), "Bonjour");
    char name[4096];
    ASSERT_GT(GetModuleFileNameA(french, name, sizeof name), 0u);
    EXPECT_EQ(std::filesystem::path(name), path);
    EXPECT_EQ(GetProcAddress(french, "anything"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(FreeLibrary(french));
    EXPECT_EQ(FindResourceA(french, MAKEINTRESOURCE(1), RT_STRING), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(FreeLibrary(french));
}

struct BadFileCase
{
    const char* name;
    std::function<std::string()> content; // null: no file at all
    DWORD error;
    friend void PrintTo(const BadFileCase& c, std::ostream* os) { *os << c.name; }
};

class BadLibraryTest : public testing::TestWithParam<BadFileCase>
{
};

TEST_P(BadLibraryTest, LoadFailsWithTheReason)
{
    TempDir dir;
    const auto path = dir / "lib.so";
    if (GetParam().content)
        dir.WriteFile("lib.so", GetParam().content());
    for (DWORD flags : {DWORD{0}, LOAD_LIBRARY_AS_DATAFILE})
    {
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(LoadLibraryExA(path.c_str(), nullptr, flags), nullptr);
        EXPECT_EQ(GetLastError(), GetParam().error) << "flags " << flags;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadLibraryTest,
    testing::Values(BadFileCase{"Missing", nullptr, ERROR_MOD_NOT_FOUND},
                    BadFileCase{"Text", [] { return std::string("not a library at all\n"); },
                                ERROR_BAD_FORMAT},
                    BadFileCase{"TruncatedElf",
                                [] { return ReadFile(ProgramFolder() / kLanguageLibrary).substr(0, 100); },
                                ERROR_BAD_FORMAT}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ResourcesTest, DamagedResourcesGiveErrorsNotCrashes)
{
    std::string bytes = ReadFile(ProgramFolder() / kLanguageLibrary);
    const std::string owner("Brevicam\0\0\0\0", 12);
    const auto note = bytes.find(owner);
    ASSERT_NE(note, std::string::npos);
    // The stream's first header: make its header size run far past the end.
    const std::size_t stream = note + owner.size();
    bytes[stream + 4] = '\xF0';
    bytes[stream + 7] = '\x7F';
    TempDir dir;
    const auto path = dir.WriteFile("damaged-FRA.so", bytes);

    HMODULE data = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(FindResourceA(data, MAKEINTRESOURCE(1), RT_STRING), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
    FreeLibrary(data);

    HMODULE mapped = LoadLibraryA(path.c_str());
    ASSERT_NE(mapped, nullptr) << GetLastError();
    char buffer[32];
    EXPECT_EQ(LoadStringA(mapped, IDS_GREETING, buffer, sizeof buffer), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
    FreeLibrary(mapped);
}

// A minimal ELF file with one note segment whose header says `claimedSize` bytes at `offset`.
std::string ElfWithNoteSegment(std::uint64_t offset, std::uint64_t claimedSize, const std::string& segment)
{
    Elf64_Ehdr eh{};
    std::memcpy(eh.e_ident, ELFMAG, SELFMAG);
    eh.e_ident[EI_CLASS] = ELFCLASS64;
    eh.e_ident[EI_DATA] = ELFDATA2LSB;
    eh.e_ident[EI_VERSION] = EV_CURRENT;
    eh.e_type = ET_DYN;
    eh.e_machine = EM_X86_64;
    eh.e_version = EV_CURRENT;
    eh.e_phoff = sizeof eh;
    eh.e_ehsize = sizeof eh;
    eh.e_phentsize = sizeof(Elf64_Phdr);
    eh.e_phnum = 1;
    Elf64_Phdr ph{};
    ph.p_type = PT_NOTE;
    ph.p_offset = offset;
    ph.p_filesz = claimedSize;
    ph.p_memsz = claimedSize;
    ph.p_align = 4;
    std::string bytes(reinterpret_cast<const char*>(&eh), sizeof eh);
    bytes.append(reinterpret_cast<const char*>(&ph), sizeof ph);
    return bytes + segment;
}

// Peak resident memory of this process in KiB, after clearing it when asked.
long PeakResidentKiB(bool reset)
{
    if (reset)
        std::ofstream("/proc/self/clear_refs") << "5";
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

TEST_F(ResourcesTest, NoteSegmentsAreCheckedAgainstTheFileBeforeTheyAreRead)
{
    TempDir dir;
    constexpr std::uint64_t kHeaders = sizeof(Elf64_Ehdr) + sizeof(Elf64_Phdr);

    // A 120-byte file claiming a 512 MiB note segment: refused without allocating the claim.
    const auto huge =
        dir.WriteFile("huge.so", ElfWithNoteSegment(kHeaders, 512ull << 20, std::string(8, '\0')));
    const long before = PeakResidentKiB(true);
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LoadLibraryExA(huge.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_FORMAT));
    if (before > 0)
    {
        EXPECT_LT(PeakResidentKiB(false) - before, 64 * 1024) << "KiB allocated for a damaged header";
    }

    // One note whose padding ends past its 13-byte segment: read as a module without resources.
    std::string note(12, '\0');
    note[4] = 1; // description size
    note += '\x01';
    const auto padded = dir.WriteFile("padded.so", ElfWithNoteSegment(kHeaders, note.size(), note));
    HMODULE data = LoadLibraryExA(padded.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(data, nullptr) << GetLastError();
    EXPECT_EQ(FindResourceA(data, MAKEINTRESOURCE(1), RT_STRING), nullptr);
    FreeLibrary(data);
}

TEST_F(ResourcesTest, LookupsRaceSafelyWithLoadingAndFreeing)
{
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 4; ++i)
        readers.emplace_back(
            [&]
            {
                while (!stop)
                {
                    char buffer[32];
                    if (LoadStringA(nullptr, IDS_APP_TITLE, buffer, sizeof buffer) != 8)
                        ++wrong;
                }
            });
    for (int i = 0; i < 50; ++i)
    {
        HMODULE french = LoadLibraryA(kLanguageLibrary);
        ASSERT_NE(french, nullptr);
        EXPECT_EQ(LoadText(french, IDS_GREETING), "Bonjour");
        FreeLibrary(french);
    }
    stop = true;
    for (auto& t : readers)
        t.join();
    EXPECT_EQ(wrong, 0);
}
