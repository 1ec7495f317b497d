#include "brevicam/explorer/ShellClass.h"

#include "platform/com/ComPtr.h"
#include "platform/shell/ShlObj.h"
#include "shared/exceptions/Exceptions.h"
#include "tests/support/ExceptionTestSupport.h"
#include "tests/support/ShellTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>

using testing_support::PrivateHome;

namespace
{
/// The message and HRESULT of the CShellException that `call` throws; empty when it throws none.
std::pair<std::string, int> ShellFailure(const std::function<void()>& call)
{
    try
    {
        call();
    }
    catch (const CShellException& e)
    {
        return {e.what(), e.GetHResult()};
    }
    return {};
}

struct StateCase
{
    const char* name;
    DWORD attributes;
    BOOL withChildren;
    UINT mask;
    UINT state;
    UINT stateMask;
    int children;
};

class SetTreeItemStateTest : public testing::TestWithParam<StateCase>
{
};

TEST_P(SetTreeItemStateTest, MaskAndStateFollowTheAttributes)
{
    const StateCase& c = GetParam();
    TVITEM item{};
    CShellClass::SetTreeItemState(c.attributes, &item, c.withChildren);
    EXPECT_EQ(item.mask, c.mask);
    EXPECT_EQ(item.state, c.state);
    EXPECT_EQ(item.stateMask, c.stateMask);
    EXPECT_EQ(item.cChildren, c.children);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SetTreeItemStateTest,
    testing::Values(StateCase{"PlainFolder", SFGAO_FOLDER, TRUE, 0x27, 0, 0, 0},
                    StateCase{"SubfoldersShowAButton", SFGAO_HASSUBFOLDER, TRUE, 0x67, 0, 0, 1},
                    StateCase{"SubfoldersWithoutChildrenWanted", SFGAO_HASSUBFOLDER, FALSE, 0x27, 0, 0, 0},
                    StateCase{"GhostedIsCut", SFGAO_GHOSTED, TRUE, 0x2F, TVIS_CUT, TVIS_CUT, 0},
                    StateCase{"LinkOverlay", SFGAO_LINK, TRUE, 0x2F, 0x200, 0xF00, 0},
                    StateCase{"ShareClearsTheLinkOverlay", SFGAO_LINK | SFGAO_SHARE, TRUE, 0x2F, 0x100, 0xF00,
                              0},
                    StateCase{"LinkReplacesTheCut", SFGAO_GHOSTED | SFGAO_LINK | SFGAO_HASSUBFOLDER, TRUE,
                              0x6F, 0x200, 0xF00, 1}),
    [](const testing::TestParamInfo<StateCase>& info) { return std::string(info.param.name); });

/// A folder whose attributes and names the test decides: items outside the file system, refusals.
class FakeFolder final : public IShellFolder
{
public:
    SFGAOF attributes = 0;
    HRESULT attributesResult = S_OK;

    STDMETHODIMP QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP ParseDisplayName(HWND, LPBC, LPWSTR, ULONG*, PIDLIST_RELATIVE*, ULONG*) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP EnumObjects(HWND, SHCONTF, IEnumIDList**) override { return E_NOTIMPL; }
    STDMETHODIMP BindToObject(PCUIDLIST_RELATIVE, LPBC, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHODIMP BindToStorage(PCUIDLIST_RELATIVE, LPBC, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHODIMP CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override { return E_NOTIMPL; }
    STDMETHODIMP CreateViewObject(HWND, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHODIMP GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF* found) override
    {
        *found = attributes;
        return attributesResult;
    }
    STDMETHODIMP GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT*, void**) override
    {
        return E_NOINTERFACE;
    }
    STDMETHODIMP GetDisplayNameOf(PCUITEMID_CHILD, SHGDNF, STRRET*) override { return E_ACCESSDENIED; }
    STDMETHODIMP SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD*) override
    {
        return E_NOTIMPL;
    }

    ULONG refs = 1;
};

class ShellClassTest : public testing::Test
{
protected:
    PrivateHome home;
};

TEST_F(ShellClassTest, NoTreeItemIsRefused)
{
    EXPECT_THROW_MESSAGE(CShellClass::SetTreeItemState(0, nullptr, TRUE), CNullPointerException,
                         ".\\ShellClass[CShellClass::SetTreeItemState]: No tree item received");
}

TEST_F(ShellClassTest, ItemOutsideTheFileSystemGivesAnAllZeroRecord)
{
    FakeFolder folder;
    folder.attributes = SFGAO_HIDDEN; // neither folder nor file system
    LPITEMIDLIST child = platform::shell::MakeItemID('N', "virtual");
    TVINSERTSTRUCT insert;
    std::memset(&insert, 0x5A, sizeof insert);
    char* name = nullptr;
    CShellClass::FillTreeViewItem(&insert, &folder, nullptr, child, TVI_ROOT, TVI_LAST, &name, TRUE);
    TVINSERTSTRUCT zero;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(std::memcmp(&insert, &zero, sizeof insert), 0);
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(folder.refs, 1u); // no record took a reference
    ILFree(child);              // still the caller's

    folder.attributesResult = E_ACCESSDENIED;
    child = platform::shell::MakeItemID('N', "refused");
    EXPECT_EQ(ShellFailure(
                  [&] {
                      CShellClass::FillTreeViewItem(&insert, &folder, nullptr, child, TVI_ROOT, TVI_LAST,
                                                    &name, TRUE);
                  }),
              std::make_pair(
                  std::string(".\\ShellClass[CShellClass::FillTreeViewItem]: Failed to get item attributes"),
                  E_ACCESSDENIED));
    ILFree(child);
    EXPECT_THROW_MESSAGE(
        CShellClass::FillTreeViewItem(&insert, &folder, nullptr, nullptr, TVI_ROOT, TVI_LAST, &name, TRUE),
        CNullPointerException, ".\\ShellClass[CShellClass::FillTreeViewItem]: Invalid PIDL received");
}

TEST_F(ShellClassTest, DesktopRootRecordHasNoParentAndItsOwnEmptyList)
{
    platform::com::ComPtr<IShellFolder> desktop;
    ASSERT_EQ(SHGetDesktopFolder(desktop.Put()), S_OK);
    LPITEMIDLIST list = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &list), S_OK);
    TVINSERTSTRUCT insert{};
    char* name = nullptr;
    CShellClass::FillTreeViewItem(&insert, desktop.Get(), nullptr, list, nullptr, TVI_LAST, &name, TRUE);
    auto* record = reinterpret_cast<tagTShellItemData*>(insert.item.lParam);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->pidlParent, nullptr);
    EXPECT_EQ(record->pidlRelative, list);
    EXPECT_EQ(ILGetSize(record->pidlRelative), 2u);
    EXPECT_EQ(record->pFolder, desktop.Get());
    EXPECT_STREQ(name, "Desktop");
    EXPECT_EQ(insert.item.pszText, name);
    EXPECT_EQ(insert.item.mask, 0x67u);
    EXPECT_EQ(insert.item.cChildren, 1);
    EXPECT_GE(insert.item.iImage, 0);
    EXPECT_GE(insert.item.iSelectedImage, 0);
    CoTaskMemFree(name);
    FreeShellItemData(record);
}

TEST_F(ShellClassTest, NamesAndIconsOfFileSystemItems)
{
    home.Folders({"Documents/Photos"});
    platform::com::ComPtr<IShellFolder> desktop;
    SHGetDesktopFolder(desktop.Put());
    LPITEMIDLIST documents = ILCreateFromPath((home.Home() / "Documents").c_str());
    platform::com::ComPtr<IShellFolder> folder;
    ASSERT_EQ(desktop->BindToObject(documents, nullptr, IID_IShellFolder, folder.PutVoid()), S_OK);
    LPITEMIDLIST photos = platform::shell::MakeItemID('N', "Photos");
    EXPECT_EQ(CShellClass::GetParsingName(folder.Get(), photos),
              CString((home.Home() / "Documents/Photos").c_str()));
    char* name = nullptr;
    CShellClass::GetName(folder.Get(), photos, SHGDN_NORMAL, &name);
    EXPECT_STREQ(name, "Photos");
    CoTaskMemFree(name);

    LPITEMIDLIST absolute = ILCombine(documents, photos);
    EXPECT_NE(CShellClass::GetIconIndex(absolute), CShellClass::GetOpenIconIndex(absolute));
    EXPECT_EQ(CShellClass::GetSystemImageList(TRUE), CShellClass::GetSystemImageList(TRUE));
    EXPECT_NE(CShellClass::GetSystemImageList(TRUE), CShellClass::GetSystemImageList(FALSE));
    ILFree(absolute);

    EXPECT_THROW_MESSAGE(CShellClass::GetName(nullptr, photos, SHGDN_NORMAL, &name), CNullPointerException,
                         ".\\ShellClass[CShellClass::GetName]: No IShellFolder interface");
    FakeFolder refusing;
    EXPECT_EQ(
        ShellFailure([&] { CShellClass::GetName(&refusing, photos, SHGDN_NORMAL, &name); }),
        std::make_pair(std::string(".\\ShellClass[CShellClass::GetName]: Failed to get the display name"),
                       E_ACCESSDENIED));
    LPITEMIDLIST goneChild = platform::shell::MakeItemID('N', "gone");
    LPITEMIDLIST gone = ILCombine(documents, goneChild);
    ILFree(goneChild);
    EXPECT_EQ(ShellFailure([&] { CShellClass::GetIconIndex(gone); }),
              std::make_pair(
                  std::string(".\\ShellClass[CShellClass::GetIconIndex]: Unable to load item's system icon"),
                  E_UNEXPECTED));
    ILFree(gone);
    ILFree(photos);
    ILFree(documents);
}
} // namespace
