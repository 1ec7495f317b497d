#include "platform/com/ComPtr.h"
#include "platform/shell/ShlObj.h"
#include "tests/support/ShellTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using platform::com::ComPtr;
using testing_support::NameOf;
using testing_support::PrivateHome;

namespace
{
using IdList = platform::shell::IdListPtr;

ComPtr<IShellFolder> Desktop()
{
    ComPtr<IShellFolder> desktop;
    EXPECT_EQ(SHGetDesktopFolder(desktop.Put()), S_OK);
    return desktop;
}

ComPtr<IShellFolder> FolderAt(const std::filesystem::path& path)
{
    IdList list(ILCreateFromPath(path.c_str()));
    ComPtr<IShellFolder> folder;
    if (list)
        Desktop()->BindToObject(list.get(), nullptr, IID_IShellFolder, folder.PutVoid());
    return folder;
}

/// The children's names (SHGDN_NORMAL) in enumeration order.
std::vector<std::string> Children(IShellFolder* folder, SHCONTF flags)
{
    std::vector<std::string> names;
    ComPtr<IEnumIDList> list;
    if (folder->EnumObjects(nullptr, flags, list.Put()) != S_OK)
        return names;
    LPITEMIDLIST child = nullptr;
    while (list->Next(1, &child, nullptr) == S_OK)
    {
        names.push_back(NameOf(folder, child, SHGDN_NORMAL));
        ILFree(child);
    }
    return names;
}

/// The child of `folder` named `name`, as a single-level list.
IdList ChildNamed(IShellFolder* folder, const std::string& name)
{
    ComPtr<IEnumIDList> list;
    if (folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN,
                            list.Put()) != S_OK)
        return nullptr;
    LPITEMIDLIST child = nullptr;
    while (list->Next(1, &child, nullptr) == S_OK)
    {
        if (NameOf(folder, child, SHGDN_INFOLDER) == name)
            return IdList(child);
        ILFree(child);
    }
    return nullptr;
}

SFGAOF AttributesOf(IShellFolder* folder, LPCITEMIDLIST child)
{
    SFGAOF attributes = SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_HASSUBFOLDER | SFGAO_LINK | SFGAO_GHOSTED |
                        SFGAO_SHARE | SFGAO_HIDDEN;
    LPCITEMIDLIST items[] = {child};
    EXPECT_EQ(folder->GetAttributesOf(1, items, &attributes), S_OK);
    return attributes;
}

class ShellFolderTest : public testing::Test
{
protected:
    PrivateHome home;
};

TEST_F(ShellFolderTest, DesktopHoldsHomeTheUserFoldersThatExistAndTheFileSystem)
{
    home.Folders({"Documents", "Pictures"}); // Music and Desktop are named but missing
    auto desktop = Desktop();
    const auto names = Children(desktop.Get(), SHCONTF_FOLDERS);
    ASSERT_GE(names.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 4),
              (std::vector<std::string>{"Home", "Documents", "Pictures", "File System"}));
    EXPECT_EQ(Children(desktop.Get(), SHCONTF_NONFOLDERS), std::vector<std::string>{});

    IdList documents(ILCreateFromPath((home.Home() / "Documents").c_str()));
    ASSERT_TRUE(documents);
    EXPECT_EQ(ILGetNext(documents.get()), nullptr); // a desktop folder of its own, not Home > Documents
    EXPECT_EQ(NameOf(desktop.Get(), documents.get(), SHGDN_FORPARSING), (home.Home() / "Documents").string());
    EXPECT_EQ(platform::shell::PathFromIDList(documents.get()), (home.Home() / "Documents").string());

    IdList self(nullptr);
    LPITEMIDLIST root = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &root), S_OK);
    self.reset(root);
    EXPECT_EQ(ILGetSize(self.get()), 2u);
    EXPECT_EQ(NameOf(desktop.Get(), self.get(), SHGDN_NORMAL), "Desktop");
    EXPECT_EQ(AttributesOf(desktop.Get(), self.get()) & (SFGAO_FOLDER | SFGAO_HASSUBFOLDER),
              SFGAO_FOLDER | SFGAO_HASSUBFOLDER);
}

TEST_F(ShellFolderTest, ItemIdListsCombineCompareAndGiveBackTheirPaths)
{
    const auto deep = home.Folders({"a/b/c"});
    IdList c(ILCreateFromPath(deep.c_str()));
    IdList a(ILCreateFromPath((home.Home() / "a").c_str()));
    ASSERT_TRUE(c);
    ASSERT_TRUE(a);
    char path[MAX_PATH];
    ASSERT_TRUE(SHGetPathFromIDList(c.get(), path));
    EXPECT_EQ(std::string(path), deep.string());
    EXPECT_TRUE(ILIsParent(a.get(), c.get(), FALSE));
    EXPECT_FALSE(ILIsParent(a.get(), c.get(), TRUE));
    EXPECT_FALSE(ILIsParent(c.get(), a.get(), FALSE));
    EXPECT_FALSE(ILIsParent(a.get(), a.get(), FALSE));

    // The chain from a, then b, then c, put together again.
    IdList b(ILCreateFromPath((home.Home() / "a/b").c_str()));
    IdList rebuilt(ILCombine(b.get(), ILFindLastID(c.get())));
    EXPECT_TRUE(ILIsEqual(rebuilt.get(), c.get()));
    IdList copy(ILClone(c.get()));
    EXPECT_TRUE(ILIsEqual(copy.get(), c.get()));
    EXPECT_EQ(ILGetSize(copy.get()), ILGetSize(c.get()));
    ASSERT_TRUE(ILRemoveLastID(copy.get()));
    EXPECT_TRUE(ILIsEqual(copy.get(), b.get()));
    EXPECT_FALSE(ILIsEqual(a.get(), nullptr));

    EXPECT_EQ(ILCreateFromPath((home.Home() / "missing").c_str()), nullptr);
    EXPECT_EQ(ILCreateFromPath("relative/path"), nullptr);
    EXPECT_EQ(ILCreateFromPath(""), nullptr);
    IdList dotted(ILCreateFromPath((home.Home().string() + "//a/./b/../b/c/").c_str()));
    EXPECT_TRUE(ILIsEqual(dotted.get(), c.get()));

    // Names parse back to the same lists, from the desktop and from a folder.
    auto desktop = Desktop();
    std::wstring wide = L"";
    for (char ch : deep.string())
        wide.push_back(static_cast<wchar_t>(ch));
    LPITEMIDLIST parsed = nullptr;
    ASSERT_EQ(desktop->ParseDisplayName(nullptr, nullptr, wide.data(), nullptr, &parsed, nullptr), S_OK);
    EXPECT_TRUE(ILIsEqual(parsed, c.get()));
    ILFree(parsed);
    auto folderA = FolderAt(home.Home() / "a");
    ASSERT_TRUE(folderA);
    std::wstring relative = L"b/c";
    ASSERT_EQ(folderA->ParseDisplayName(nullptr, nullptr, relative.data(), nullptr, &parsed, nullptr), S_OK);
    IdList joined(ILCombine(a.get(), parsed));
    ILFree(parsed);
    EXPECT_TRUE(ILIsEqual(joined.get(), c.get()));
}

struct SortCase
{
    const char* name;
    std::vector<std::string> onDisk;
    std::vector<std::string> listed;
};

class EnumerationOrderTest : public ShellFolderTest, public testing::WithParamInterface<SortCase>
{
};

TEST_P(EnumerationOrderTest, NamesComeInFileManagerOrder)
{
    for (const auto& name : GetParam().onDisk)
        home.Folders({"sorted/" + name});
    auto folder = FolderAt(home.Home() / "sorted");
    ASSERT_TRUE(folder);
    EXPECT_EQ(Children(folder.Get(), SHCONTF_FOLDERS), GetParam().listed);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, EnumerationOrderTest,
    testing::Values(
        SortCase{"NumbersByValue",
                 {"Pic-10", "Pic-9", "Pic-100", "Pic-1"},
                 {"Pic-1", "Pic-9", "Pic-10", "Pic-100"}},
        SortCase{"CaseIgnored", {"beta", "Alpha", "gamma", "ALPHA2"}, {"Alpha", "ALPHA2", "beta", "gamma"}},
        SortCase{"SeveralRuns", {"x2y10", "x10y1", "x2y9"}, {"x2y9", "x2y10", "x10y1"}},
        SortCase{"DigitsBeforeLetters", {"b", "2", "a", "10"}, {"2", "10", "a", "b"}},
        SortCase{"CapturedFiles",
                 {"Pic-20261211-010", "Pic-20261211-002", "Pic-20261211-001", "Pic-20261210-100"},
                 {"Pic-20261210-100", "Pic-20261211-001", "Pic-20261211-002", "Pic-20261211-010"}},
        SortCase{"AccentsFoldCase",
                 {"\xC3\xA9t\xC3\xA9",
                  "\xC3\x89T\xC3\x89"
                  "2",
                  "zed"},
                 {"zed", "\xC3\xA9t\xC3\xA9",
                  "\xC3\x89T\xC3\x89"
                  "2"}}),
    [](const testing::TestParamInfo<SortCase>& info) { return std::string(info.param.name); });

TEST_F(ShellFolderTest, AttributesTellFoldersSubfoldersLinksAndHiddenNames)
{
    home.Folders({"t/withSub/inner", "t/noSub", "t/.hidden", "t/onlyHidden/.secret"});
    home.File("t/noSub/file.txt");
    home.File("t/photo.jpg");
    home.Link("t/link", "t/withSub");
    home.Link("t/dangling", "t/missing");
    auto folder = FolderAt(home.Home() / "t");
    ASSERT_TRUE(folder);

    EXPECT_EQ(Children(folder.Get(), SHCONTF_FOLDERS),
              (std::vector<std::string>{"link", "noSub", "onlyHidden", "withSub"}));
    EXPECT_EQ(Children(folder.Get(), SHCONTF_NONFOLDERS),
              (std::vector<std::string>{"dangling", "photo.jpg"}));
    EXPECT_EQ(Children(folder.Get(), SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN),
              (std::vector<std::string>{".hidden", "link", "noSub", "onlyHidden", "withSub"}));

    struct Expected
    {
        const char* name;
        SFGAOF attributes;
    };
    const Expected table[] = {
        {"withSub", SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_HASSUBFOLDER},
        {"noSub", SFGAO_FOLDER | SFGAO_FILESYSTEM},
        {"onlyHidden", SFGAO_FOLDER | SFGAO_FILESYSTEM}, // a hidden subfolder is never shown
        {".hidden", SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_GHOSTED | SFGAO_HIDDEN},
        {"link", SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_HASSUBFOLDER | SFGAO_LINK},
        {"photo.jpg", SFGAO_FILESYSTEM},
        {"dangling", SFGAO_FILESYSTEM | SFGAO_LINK},
    };
    for (const Expected& row : table)
    {
        IdList child = ChildNamed(folder.Get(), row.name);
        ASSERT_TRUE(child) << row.name;
        EXPECT_EQ(AttributesOf(folder.Get(), child.get()), row.attributes) << row.name;
        EXPECT_EQ(NameOf(folder.Get(), child.get(), SHGDN_FORPARSING),
                  (home.Home() / "t" / row.name).string());
    }
}

TEST_F(ShellFolderTest, NonAsciiAndOverLongNamesComeThroughWhole)
{
    const std::string accented = "\xC3\x9Cn\xC3\xAF"
                                 "c\xC3\xB8"
                                 "d\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC"; // Ünïcødé 日本
    const std::string longAscii(255, 'x');
    std::string longWide;
    for (int i = 0; i < 85; ++i)
        longWide += "\xE6\x97\xA5"; // 255 bytes of 日
    const std::string notUtf8 = "bad\xFF\xFEname";
    for (const auto& name : {accented, longAscii, longWide, notUtf8})
        home.Folders({"names/" + name});
    auto folder = FolderAt(home.Home() / "names");
    ASSERT_TRUE(folder);
    const auto names = Children(folder.Get(), SHCONTF_FOLDERS);
    ASSERT_EQ(names.size(), 4u);
    for (const auto& name : {accented, longAscii, longWide, notUtf8})
    {
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end());
        IdList child = ChildNamed(folder.Get(), name);
        ASSERT_TRUE(child);
        EXPECT_EQ(NameOf(folder.Get(), child.get(), SHGDN_FORPARSING),
                  (home.Home() / "names" / name).string());
    }

    // A path past MAX_PATH: the whole path is there, but not in a MAX_PATH buffer.
    const std::string deepName = "names/" + longAscii + "/" + longAscii;
    home.Folders({deepName});
    IdList deep(ILCreateFromPath((home.Home() / deepName).c_str()));
    ASSERT_TRUE(deep);
    EXPECT_EQ(platform::shell::PathFromIDList(deep.get()), (home.Home() / deepName).string());
    char buffer[MAX_PATH] = "untouched";
    EXPECT_FALSE(SHGetPathFromIDList(deep.get(), buffer));
    EXPECT_STREQ(buffer, "");

    // A name cut to a small buffer stops before a character, never inside one.
    IdList wide = ChildNamed(folder.Get(), longWide);
    STRRET name{};
    ASSERT_EQ(folder->GetDisplayNameOf(wide.get(), SHGDN_NORMAL, &name), S_OK);
    char small[8];
    ASSERT_EQ(StrRetToBuf(&name, wide.get(), small, sizeof small), S_OK);
    EXPECT_EQ(std::string(small), "\xE6\x97\xA5\xE6\x97\xA5");
}

TEST_F(ShellFolderTest, SymbolicLinkLoopsAreShownButNeverFollowed)
{
    home.Folders({"a/x", "a/sibling1", "a/sibling2"});
    home.Link("a/loop", "a");
    home.Link("a/x/back", "a");
    home.Link("a/sibling1/there", "a/sibling2");
    home.Link("a/sibling2/again", "a/sibling1");
    auto a = FolderAt(home.Home() / "a");
    ASSERT_TRUE(a);
    IdList loop = ChildNamed(a.Get(), "loop");
    ASSERT_TRUE(loop);
    EXPECT_EQ(AttributesOf(a.Get(), loop.get()), SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_LINK);
    ComPtr<IShellFolder> inside;
    ASSERT_EQ(a->BindToObject(loop.get(), nullptr, IID_IShellFolder, inside.PutVoid()), S_OK);
    ComPtr<IEnumIDList> nothing;
    EXPECT_EQ(inside->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, nothing.Put()), S_FALSE);
    EXPECT_FALSE(nothing);

    auto x = FolderAt(home.Home() / "a/x");
    IdList back = ChildNamed(x.Get(), "back");
    EXPECT_EQ(AttributesOf(x.Get(), back.get()), SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_LINK);

    // Two folders that lead into each other: one step is fine, the way back is the loop.
    auto there = FolderAt(home.Home() / "a/sibling1/there");
    ASSERT_TRUE(there);
    EXPECT_EQ(Children(there.Get(), SHCONTF_FOLDERS), std::vector<std::string>{"again"});
    auto again = FolderAt(home.Home() / "a/sibling1/there/again");
    ASSERT_TRUE(again);
    EXPECT_EQ(Children(again.Get(), SHCONTF_FOLDERS), std::vector<std::string>{});
}

TEST_F(ShellFolderTest, DamagedItemIdListsAreRefused)
{
    home.Folders({"d/inner"});
    auto folder = FolderAt(home.Home() / "d");
    ASSERT_TRUE(folder);
    struct Damaged
    {
        const char* name;
        std::vector<unsigned char> bytes;
    };
    const Damaged table[] = {
        {"slash in a name", {8, 0, 'N', '.', '.', '/', 'e', 0, 0, 0}},
        {"dot dot", {6, 0, 'N', '.', '.', 0, 0, 0}},
        {"no terminator", {6, 0, 'N', 'a', 'b', 'c', 0, 0}},
        {"unknown kind", {5, 0, 'Q', 'a', 0, 0, 0}},
        {"root below a folder", {5, 0, 'R', '/', 0, 0, 0}},
        {"too short", {3, 0, 'N', 0, 0}},
    };
    for (const Damaged& row : table)
    {
        const auto* list = reinterpret_cast<LPCITEMIDLIST>(row.bytes.data());
        ComPtr<IShellFolder> bound;
        EXPECT_EQ(folder->BindToObject(list, nullptr, IID_IShellFolder, bound.PutVoid()), E_INVALIDARG)
            << row.name;
        STRRET name{};
        EXPECT_EQ(folder->GetDisplayNameOf(list, SHGDN_FORPARSING, &name), E_INVALIDARG) << row.name;
        SFGAOF attributes = SFGAO_FOLDER;
        EXPECT_EQ(folder->GetAttributesOf(1, &list, &attributes), E_INVALIDARG) << row.name;
    }
    EXPECT_EQ(platform::shell::MakeItemID('N', "a/b"), nullptr);
    EXPECT_EQ(platform::shell::MakeItemID('N', ".."), nullptr);
}

TEST_F(ShellFolderTest, SpecialFoldersAreTheXdgFolders)
{
    LPITEMIDLIST list = nullptr;
    EXPECT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_PERSONAL, &list), E_FAIL); // no Documents yet
    home.Folders({"Documents", ".local/share/Trash/files"});
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_PERSONAL, &list), S_OK);
    EXPECT_EQ(platform::shell::PathFromIDList(list), (home.Home() / "Documents").string());
    ILFree(list);
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, &list), S_OK);
    EXPECT_EQ(platform::shell::PathFromIDList(list), (home.Home() / ".local/share/Trash/files").string());
    ILFree(list);
    EXPECT_EQ(SHGetSpecialFolderLocation(nullptr, 0x1234, &list), E_INVALIDARG);
    EXPECT_EQ(list, nullptr);
}
} // namespace
