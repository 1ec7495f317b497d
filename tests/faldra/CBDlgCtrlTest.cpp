#include "shared/faldra/CBDlgCtrl.h"

#include "FaldraTestSupport.h"

#include <memory>
#include <vector>

using faldra::CCBDlgCtrl;

namespace
{
class Parent : public CWnd
{
public:
    std::vector<UINT> codes;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_COMMAND && LOWORD(wParam) == 9)
            codes.push_back(HIWORD(wParam));
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

class CBDlgCtrlTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), "parent", WS_POPUP | WS_VISIBLE,
                                    CRect(0, 0, 300, 300), nullptr, 0));
        ASSERT_TRUE(combo.Create(WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_HASSTRINGS,
                                 CRect(10, 10, 110, 32), &parent, 9));
        popup = std::make_unique<CCBDlgCtrl>(combo);
    }
    void TearDown() override
    {
        popup.reset();
        combo.DestroyWindow();
        parent.DestroyWindow();
    }
    bool PumpUntilHidden()
    {
        for (int i = 0; i < 2000 && popup->IsWindowVisible(); ++i)
        {
            faldra_test::Pump();
            Sleep(1);
        }
        return !popup->IsWindowVisible();
    }
    int Height() const
    {
        CRect window;
        popup->GetWindowRect(&window);
        return window.Height();
    }

    Parent parent;
    CComboBox combo;
    std::unique_ptr<CCBDlgCtrl> popup;
};
} // namespace

TEST_F(CBDlgCtrlTest, HeightFitsWholeRowsAndTheScrollBarShowsWhenTheyRunOut)
{
    ASSERT_TRUE(popup->Create(CRect(0, 0, 100, 100), 0, CSize(1, 1)));
    EXPECT_EQ(popup->AddString("first"), 0);
    const int row = popup->GetItemHeight(0);
    ASSERT_GT(row, 0);
    EXPECT_EQ(Height(), row + 2);
    EXPECT_FALSE(popup->GetScrollbar().GetStyle() & WS_VISIBLE);
    EXPECT_FALSE(popup->GetListBox().GetIsScrollVisible());

    const int rows = 97 / row;
    for (int i = 1; i <= rows; ++i)
        popup->AddString("more");
    EXPECT_TRUE(popup->GetScrollbar().GetStyle() & WS_VISIBLE);
    EXPECT_TRUE(popup->GetListBox().GetIsScrollVisible());
    EXPECT_EQ(Height(), rows * row + 2);
    int min = -1;
    int max = -1;
    popup->GetScrollbar().GetScrollRange(&min, &max);
    EXPECT_EQ(max, rows);

    while (popup->GetCount() > 0)
        popup->DeleteString(0);
    popup->GetScrollbar().GetScrollRange(&min, &max);
    EXPECT_EQ(max, 0);
    EXPECT_EQ(Height(), row + 2); // fitted down to one row; the last deletion leaves it
    EXPECT_FALSE(popup->GetScrollbar().GetStyle() & WS_VISIBLE);
}

TEST_F(CBDlgCtrlTest, NoIntegralHeightKeepsTheCreatedHeight)
{
    ASSERT_TRUE(popup->Create(CRect(0, 0, 100, 100), LBS_NOINTEGRALHEIGHT, CSize(1, 1)));
    for (int i = 0; i < 30; ++i)
        popup->AddString("x");
    EXPECT_EQ(Height(), 100);
    EXPECT_FALSE(popup->GetScrollbar().GetStyle() & WS_VISIBLE);
}

TEST_F(CBDlgCtrlTest, ChoosingAnItemNotifiesTheComboParent)
{
    ASSERT_TRUE(popup->Create(CRect(0, 0, 100, 100), 0, CSize(1, 1)));
    popup->AddString("one");
    popup->AddString("two");
    popup->GetListBox().SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, popup->GetItemHeight(0) + 2));
    EXPECT_EQ(popup->GetCurSel(), 1);
    EXPECT_EQ(parent.codes, (std::vector<UINT>{CBN_SELENDOK, CBN_SELCHANGE}));
}

TEST_F(CBDlgCtrlTest, KeysMoveFromTheHotItemAndStopAtTheEnds)
{
    ASSERT_TRUE(popup->Create(CRect(0, 0, 100, 100), 0, CSize(1, 1)));
    popup->AddString("one");
    popup->AddString("two");
    popup->SetCurSel(0); // also the hot item
    popup->SendMessage(WM_KEYDOWN, VK_UP, 0);
    EXPECT_TRUE(parent.codes.empty());
    popup->SendMessage(WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(parent.codes, (std::vector<UINT>{CBN_SELCHANGE}));

    MSG escape{popup->GetSafeHwnd(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {0, 0}};
    EXPECT_TRUE(popup->PreTranslateMessage(&escape)); // forwarded to the combo, never the dialog's Cancel
    EXPECT_TRUE(IsWindow(popup->GetSafeHwnd()));
}

TEST_F(CBDlgCtrlTest, WheelAtTheTopKeepsTheListAtZeroAndShowingNeedsADroppedCombo)
{
    ASSERT_TRUE(popup->Create(CRect(0, 0, 100, 100), 0, CSize(1, 1)));
    for (int i = 0; i < 30; ++i)
        popup->AddString("x");
    popup->SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    EXPECT_EQ(popup->GetTopIndex(), 0);
    EXPECT_EQ(popup->GetScrollbar().GetScrollPos(), 0);
    popup->SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-2 * WHEEL_DELTA)), 0);
    EXPECT_EQ(popup->GetTopIndex(), 2);

    popup->ShowWindow(SW_SHOW); // the combo is not dropped: the popup hides again
    EXPECT_TRUE(PumpUntilHidden());
    popup->Destroy();
    EXPECT_EQ(popup->GetSafeHwnd(), nullptr);
}
