#include "FaldraTestSupport.h"

#include "platform/commctrl2/ComboBox.h"

#include <vector>

namespace
{
/// A parent that records the commands of its controls.
class Parent : public CWnd
{
public:
    std::vector<UINT> codes;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_COMMAND)
            codes.push_back(HIWORD(wParam));
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

class ComboBoxControlTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), "parent", WS_POPUP | WS_VISIBLE,
                                    CRect(0, 0, 200, 200), nullptr, 0));
        ASSERT_TRUE(combo.Create(WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_HASSTRINGS,
                                 CRect(10, 10, 110, 32), &parent, 9));
    }
    void TearDown() override
    {
        combo.DestroyWindow();
        parent.DestroyWindow();
    }
    Parent parent;
    CComboBox combo;
};
} // namespace

TEST_F(ComboBoxControlTest, ItemsLiveInTheListAndTheSelectionIsTheWindowText)
{
    EXPECT_EQ(combo.AddString("one"), 0);
    EXPECT_EQ(combo.AddString("two"), 1);
    EXPECT_EQ(combo.SetItemData(1, 77), CB_OKAY);
    EXPECT_EQ(combo.GetCount(), 2);
    EXPECT_EQ(combo.SetCurSel(1), 1);
    char text[16];
    combo.GetWindowText(text, sizeof text);
    EXPECT_STREQ(text, "two");
    EXPECT_EQ(combo.GetItemData(1), 77u);
    CString item;
    combo.GetLBText(-1, item); // no item: an empty text, nothing copied
    EXPECT_STREQ(static_cast<LPCTSTR>(item), "");
    EXPECT_EQ(combo.SetCurSel(-1), CB_ERR);
    combo.GetWindowText(text, sizeof text);
    EXPECT_STREQ(text, "");

    COMBOBOXINFO info{sizeof(COMBOBOXINFO), {}, {}, 0, nullptr, nullptr, nullptr};
    ASSERT_TRUE(combo.GetComboBoxInfo(&info));
    EXPECT_EQ(SendMessage(info.hwndList, LB_GETCOUNT, 0, 0), 2);
    EXPECT_LT(info.rcItem.right, info.rcButton.left + 1);
    EXPECT_FALSE(GetComboBoxInfo(parent.GetSafeHwnd(), &info));
}

TEST_F(ComboBoxControlTest, DropDownAndKeysNotifyTheParent)
{
    combo.AddString("one");
    combo.AddString("two");
    combo.ShowDropDown(TRUE);
    EXPECT_TRUE(combo.GetDroppedState());
    combo.ShowDropDown(TRUE); // already dropped: nothing more
    combo.ShowDropDown(FALSE);
    EXPECT_FALSE(combo.GetDroppedState());
    combo.SendMessage(WM_KEYDOWN, VK_DOWN, 0);
    combo.SendMessage(WM_KEYDOWN, VK_DOWN, 0);
    combo.SendMessage(WM_KEYDOWN, VK_DOWN, 0); // past the last item: nothing
    EXPECT_EQ(combo.GetCurSel(), 1);
    EXPECT_EQ(parent.codes, (std::vector<UINT>{CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELCHANGE, CBN_SELCHANGE}));
}
