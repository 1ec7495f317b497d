#include "shared/faldra/SkinComboBox.h"

#include "FaldraTestSupport.h"

#include "shared/exceptions/Exceptions.h"

#include <string>
#include <vector>

using faldra::CSkinComboBox;

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

class SkinComboBoxTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), "parent", WS_POPUP | WS_VISIBLE,
                                    CRect(0, 0, 300, 300), nullptr, 0));
        InitComboBoxClass();
        native =
            CreateWindowEx(0, WC_COMBOBOX, "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_HASSTRINGS, 10,
                           10, 100, 22, parent.GetSafeHwnd(), reinterpret_cast<HMENU>(9), nullptr, nullptr);
        ASSERT_NE(native, nullptr);
        SendMessage(native, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("one"));
        SendMessage(native, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("two"));
        SendMessage(native, CB_SETITEMDATA, 0, 5);
        SendMessage(native, CB_SETITEMDATA, 1, 6);
        ASSERT_TRUE(combo.SubclassWindow(native));
    }
    void TearDown() override
    {
        combo.DestroyWindow();
        parent.DestroyWindow();
    }
    Parent parent;
    HWND native = nullptr;
    CSkinComboBox combo{20};
};
} // namespace

TEST_F(SkinComboBoxTest, SubclassingMovesTheItemsIntoTheWiderPopup)
{
    ASSERT_NE(combo.GetPopupCtrl(), nullptr);
    COMBOBOXINFO info{sizeof(COMBOBOXINFO), {}, {}, 0, nullptr, nullptr, nullptr};
    ASSERT_TRUE(GetComboBoxInfo(native, &info));
    EXPECT_EQ(SendMessage(info.hwndList, LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(combo.GetCount(), 2);
    CString text;
    combo.GetLBText(1, text);
    EXPECT_STREQ(static_cast<LPCTSTR>(text), "two");
    EXPECT_EQ(combo.GetPopupCtrl()->GetItemData(0), 5u);
    EXPECT_EQ(combo.GetPopupCtrl()->GetItemData(1), 6u);
    CRect list;
    GetWindowRect(info.hwndList, &list);
    CRect popup;
    combo.GetPopupCtrl()->GetWindowRect(&popup);
    EXPECT_EQ(popup.Width(), list.Width() + 20);
    EXPECT_EQ(combo.GetEditRectangle(), CRect(info.rcItem));
}

TEST_F(SkinComboBoxTest, SelectionIsTheWindowText)
{
    EXPECT_EQ(combo.SetCurSel(1), 1);
    char text[8];
    EXPECT_EQ(combo.GetWindowText(text, sizeof text), 3);
    EXPECT_STREQ(text, "two");
    char small[3];
    EXPECT_EQ(combo.SendMessage(WM_GETTEXT, sizeof small, reinterpret_cast<LPARAM>(small)), 0);
    EXPECT_STREQ(small, "tw");
    EXPECT_EQ(combo.SetCurSel(-1), -1);
    EXPECT_EQ(combo.SendMessage(WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text)), 0);
    EXPECT_STREQ(text, "");
}

TEST_F(SkinComboBoxTest, DropDownTogglesOnceAndKeysFollowTheRules)
{
    combo.ShowDropDown(TRUE);
    combo.ShowDropDown(TRUE);
    EXPECT_TRUE(combo.GetDroppedState());
    combo.ShowDropDown(FALSE);
    combo.ShowDropDown(FALSE);
    EXPECT_EQ(parent.codes, (std::vector<UINT>{CBN_DROPDOWN, CBN_CLOSEUP}));

    combo.SendMessage(WM_KEYDOWN, VK_F4, 0);
    EXPECT_TRUE(combo.GetDroppedState());
    combo.SendMessage(WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_FALSE(combo.GetDroppedState());
    combo.SendMessage(WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(combo.GetDroppedState());
    combo.SendMessage(WM_SYSKEYDOWN, VK_DOWN, 0);
    EXPECT_TRUE(combo.GetDroppedState());
    combo.EnableWindow(FALSE); // closes first
    EXPECT_FALSE(combo.GetDroppedState());
    combo.SendMessage(WM_SYSKEYDOWN, VK_DOWN, 0);
    EXPECT_FALSE(combo.GetDroppedState());
}

TEST_F(SkinComboBoxTest, FaceIsPaintedFromTheSkin)
{
    combo.SetSkin(IDB_GREEN_LEFT, IDB_MAGENTA, IDB_YELLOW_RIGHT, 12);
    combo.GetDrawContext().m_bFixedTextColors = 1;
    combo.Invalidate();
    const QImage image = faldra_test::Grab(combo.GetSafeHwnd());
    const QRgb left = image.pixel(0, 10);
    const QRgb middle = image.pixel(50, 1);
    const QRgb right = image.pixel(99, 10);
    EXPECT_EQ(RGB(qRed(left), qGreen(left), qBlue(left)), RGB(0, 255, 0));
    EXPECT_EQ(RGB(qRed(middle), qGreen(middle), qBlue(middle)), RGB(255, 0, 255));
    EXPECT_EQ(RGB(qRed(right), qGreen(right), qBlue(right)), RGB(255, 255, 0));
}

struct FaceCase
{
    const char* name;
    CRect face;
};

class SkinComboBoxFaceTest : public SkinComboBoxTest, public testing::WithParamInterface<FaceCase>
{
};

// The closed face shows the chosen item's text over the skin, within the window's face only, and nothing
// once no item is chosen; also when the face was measured on a template as tall as the opened list.
TEST_P(SkinComboBoxFaceTest, ClosedFaceShowsTheChosenItemsText)
{
    constexpr COLORREF kInk = 0x333333; // the fixed text colour
    combo.SetSkin(IDB_GREEN_LEFT, IDB_MAGENTA, IDB_YELLOW_RIGHT, 12);
    combo.GetDrawContext().m_bFixedTextColors = 1;
    combo.SetFont("Arial", 14, 5);
    const CRect face = GetParam().face;
    combo.SetEditRectangle(&face);
    const auto inkIn = [](const QImage& image, const CRect& area)
    {
        int count = 0;
        for (int y = area.top; y < area.bottom && y < image.height(); ++y)
            for (int x = area.left; x < area.right && x < image.width(); ++x)
                if (testing_support::Near(testing_support::Pixel(image, x, y), kInk, 60))
                    ++count;
        return count;
    };

    combo.SetCurSel(1);
    combo.Invalidate();
    const QImage chosen = faldra_test::Grab(combo.GetSafeHwnd());
    EXPECT_GT(inkIn(chosen, CRect(face.left, face.top, face.right, 20)), 15) << "no text in the closed face";
    EXPECT_EQ(inkIn(chosen, CRect(face.right, 0, chosen.width(), chosen.height())), 0)
        << "text beside the face";

    combo.SetCurSel(-1);
    combo.Invalidate();
    EXPECT_EQ(inkIn(faldra_test::Grab(combo.GetSafeHwnd()), face), 0);
}

INSTANTIATE_TEST_SUITE_P(Faces, SkinComboBoxFaceTest,
                         testing::Values(FaceCase{"WithinTheWindow", CRect(1, 2, 80, 20)},
                                         FaceCase{"TallAsTheOpenedList", CRect(1, 2, 80, 150)}),
                         [](const testing::TestParamInfo<FaceCase>& info)
                         { return std::string(info.param.name); });

TEST(SkinComboBoxWithoutPopupTest, PopupOperationsNameThemselvesInTheirFailure)
{
    CSkinComboBox combo(0);
    EXPECT_THROW_MESSAGE(combo.GetListBox(), CNullPointerException,
                         ".\\SkinComboBox[faldra::CSkinComboBox::GetListBox]: No popup control instantiated");
    EXPECT_THROW_MESSAGE(
        combo.SetIndentation(3), CNullPointerException,
        ".\\SkinComboBox[faldra::CSkinComboBox::SetIndentation]: No popup control instantiated");
    EXPECT_THROW_MESSAGE(
        combo.SetVScrollSkin(1, 2, 3, 4, 5, 6), CNullPointerException,
        ".\\SkinComboBox[faldra::CSkinComboBox::SetVScrollSkin]: No popup control instantiated");
    EXPECT_EQ(combo.SendMessage(CB_GETCOUNT), 0);
    RECT rect{2, 2, 300, 20};
    combo.SetEditRectangle(&rect); // no window: nothing stored
    EXPECT_EQ(combo.GetEditRectangle(), CRect());
    combo.SetFont("Arial", 14, 5);
    EXPECT_EQ(combo.GetDrawContext().GetLogFont().lfHeight, 14);
}
