#include "platform/shell/ShlObj.h"
#include "platform/window/Afx.h"
#include "tests/support/GdiTestSupport.h"
#include "tests/support/ShellTestSupport.h"

#include <QIcon>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using testing_support::PrivateHome;

namespace
{
/// The icon theme a test runs with: the one installed here, or none at all (our own pictures).
enum class Theme
{
    Installed,
    None
};

class FileInfoTest : public testing::TestWithParam<Theme>
{
protected:
    void SetUp() override
    {
        // The window layer's application reads the icon theme; the shell uses it once it exists.
        ASSERT_TRUE(
            window.CreateEx(0, AfxRegisterWndClass(0), "icons", WS_POPUP, CRect(0, 0, 10, 10), nullptr, 0));
        if (GetParam() == Theme::None)
        {
            QIcon::setThemeSearchPaths({QString::fromStdString(home.Home().string())});
            QIcon::setFallbackSearchPaths({});
            QIcon::setThemeName("no-such-theme");
            QIcon::setFallbackThemeName("no-such-theme");
        }
        platform::shell::ReloadSystemIcons();
    }
    void TearDown() override { window.DestroyWindow(); }

    /// The small icon's index of a name, without reading the disk.
    int IconOf(const char* name, DWORD attributes, UINT extra = 0)
    {
        SHFILEINFO info{};
        const DWORD_PTR list =
            SHGetFileInfo(name, attributes, &info, sizeof info,
                          SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | SHGFI_SMALLICON | extra);
        EXPECT_EQ(reinterpret_cast<HIMAGELIST>(list), SmallList());
        return list ? info.iIcon : -1;
    }
    static HIMAGELIST SmallList()
    {
        SHFILEINFO info{};
        return reinterpret_cast<HIMAGELIST>(
            SHGetFileInfo("", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                          SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | SHGFI_SMALLICON));
    }
    /// The pixels of an image of the small list drawn on white.
    static std::vector<COLORREF> PixelsOf(int index)
    {
        testing_support::Canvas canvas(16, 16, RGB(255, 255, 255));
        ImageList_Draw(SmallList(), index, canvas.dc(), 0, 0, ILD_NORMAL);
        std::vector<COLORREF> pixels;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                pixels.push_back(canvas.at(x, y));
        return pixels;
    }

    PrivateHome home;
    CWnd window;
};

TEST_P(FileInfoTest, FolderPictureVideoAndUnknownFileGetDistinctCachedIcons)
{
    const int folder = IconOf("Photos", FILE_ATTRIBUTE_DIRECTORY);
    const int open = IconOf("Photos", FILE_ATTRIBUTE_DIRECTORY, SHGFI_OPENICON);
    const int jpeg = IconOf("Pic-20261211-001.jpg", FILE_ATTRIBUTE_NORMAL);
    const int video = IconOf("Vid-20261211-001.wmv", FILE_ATTRIBUTE_NORMAL);
    const int unknown = IconOf("notes.zzunknownzz", FILE_ATTRIBUTE_NORMAL);
    const std::set<int> distinct{folder, open, jpeg, video, unknown};
    EXPECT_EQ(distinct.size(), 5u);
    const int count = ImageList_GetImageCount(SmallList());
    for (int index : distinct)
    {
        EXPECT_GE(index, 0);
        EXPECT_LT(index, count);
    }
    int cx = 0;
    int cy = 0;
    ASSERT_TRUE(ImageList_GetIconSize(SmallList(), &cx, &cy));
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);

    // One index per icon: asking again adds nothing.
    EXPECT_EQ(IconOf("Pic-20261211-002.jpg", FILE_ATTRIBUTE_NORMAL), jpeg);
    EXPECT_EQ(IconOf("Other", FILE_ATTRIBUTE_DIRECTORY), folder);
    EXPECT_EQ(ImageList_GetImageCount(SmallList()), count);

    // They are pictures, not empty squares, and no two look alike.
    std::set<std::vector<COLORREF>> looks;
    for (int index : distinct)
    {
        const auto pixels = PixelsOf(index);
        EXPECT_NE(std::count(pixels.begin(), pixels.end(), RGB(255, 255, 255)), 256) << index;
        looks.insert(pixels);
    }
    EXPECT_EQ(looks.size(), distinct.size());
}

TEST_P(FileInfoTest, ItemsByIdListGetNamesTypesAndIcons)
{
    home.Folders({"Documents"});
    const auto jpeg = home.File("Documents/photo.jpg");
    LPITEMIDLIST folderList = ILCreateFromPath((home.Home() / "Documents").c_str());
    LPITEMIDLIST fileList = ILCreateFromPath(jpeg.c_str());
    ASSERT_TRUE(folderList && fileList);
    const UINT flags = SHGFI_PIDL | SHGFI_DISPLAYNAME | SHGFI_TYPENAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON;
    SHFILEINFO folder{};
    ASSERT_NE(SHGetFileInfo(reinterpret_cast<LPCSTR>(folderList), 0, &folder, sizeof folder, flags), 0u);
    EXPECT_STREQ(folder.szDisplayName, "Documents");
    EXPECT_STREQ(folder.szTypeName, "Folder");
    SHFILEINFO file{};
    ASSERT_NE(SHGetFileInfo(reinterpret_cast<LPCSTR>(fileList), 0, &file, sizeof file, flags), 0u);
    EXPECT_STREQ(file.szDisplayName, "photo.jpg");
    EXPECT_STRNE(file.szTypeName, "");
    EXPECT_NE(file.iIcon, folder.iIcon);
    ILFree(folderList);
    ILFree(fileList);

    SHFILEINFO missing{};
    EXPECT_EQ(SHGetFileInfo((home.Home() / "missing.jpg").c_str(), 0, &missing, sizeof missing,
                            flags & ~SHGFI_PIDL),
              0u);
    EXPECT_EQ(SHGetFileInfo(jpeg.c_str(), 0, &missing, sizeof missing - 1, SHGFI_DISPLAYNAME), 0u);
}

TEST_P(FileInfoTest, TheIconItselfComesInTheSizeAskedForAndLooksLikeItsListImage)
{
    const auto jpeg = home.File("photo.jpg");
    LPITEMIDLIST list = ILCreateFromPath(jpeg.c_str());
    ASSERT_NE(list, nullptr);
    for (const UINT size : {SHGFI_LARGEICON, SHGFI_SMALLICON})
    {
        SHFILEINFO info{};
        ASSERT_NE(SHGetFileInfo(reinterpret_cast<LPCSTR>(list), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                                SHGFI_ICON | SHGFI_PIDL | SHGFI_USEFILEATTRIBUTES | size),
                  0u);
        ASSERT_NE(info.hIcon, nullptr);
        const int expected = size == SHGFI_SMALLICON ? 16 : 32;
        const int drawn = expected + 8;
        testing_support::Canvas canvas(drawn, drawn, RGB(255, 255, 255));
        EXPECT_TRUE(DrawIconEx(canvas.dc(), 0, 0, info.hIcon, 0, 0, 0, nullptr, DI_NORMAL));
        int painted = 0;
        for (int y = 0; y < drawn; ++y)
            for (int x = 0; x < drawn; ++x)
                if (canvas.at(x, y) != RGB(255, 255, 255))
                {
                    ++painted;
                    EXPECT_LT(x, expected);
                    EXPECT_LT(y, expected);
                }
        EXPECT_GT(painted, 0);
        if (size == SHGFI_SMALLICON)
        {
            SHFILEINFO indexed{};
            SHGetFileInfo(reinterpret_cast<LPCSTR>(list), FILE_ATTRIBUTE_NORMAL, &indexed, sizeof indexed,
                          SHGFI_SYSICONINDEX | SHGFI_PIDL | SHGFI_SMALLICON);
            testing_support::Canvas own(16, 16, RGB(255, 255, 255));
            DrawIconEx(own.dc(), 0, 0, info.hIcon, 0, 0, 0, nullptr, DI_NORMAL);
            EXPECT_EQ(PixelsOf(indexed.iIcon),
                      [&]
                      {
                          std::vector<COLORREF> pixels;
                          for (int y = 0; y < 16; ++y)
                              for (int x = 0; x < 16; ++x)
                                  pixels.push_back(own.at(x, y));
                          return pixels;
                      }());
        }
        EXPECT_TRUE(DestroyIcon(info.hIcon));
    }
    ILFree(list);
}

INSTANTIATE_TEST_SUITE_P(Themes, FileInfoTest, testing::Values(Theme::Installed, Theme::None),
                         [](const testing::TestParamInfo<Theme>& info) {
                             return info.param == Theme::Installed ? std::string("InstalledTheme")
                                                                   : std::string("NoTheme");
                         });
} // namespace
