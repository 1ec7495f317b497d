#include "shared/faldra/SkinListCtrlBtns.h"

#include "FaldraTestSupport.h"

#include "shared/exceptions/Exceptions.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include <cstdint>
#include <string>

using faldra::CSkinListCtrlBtns;
using faldra::tagSCROLLSTARTINFO;

using faldra_test::Pixel;

namespace
{
constexpr COLORREF kRed = RGB(255, 0, 0);      // normal and disabled: the normal image list
constexpr COLORREF kGreen = RGB(0, 255, 0);    // hover: the small image list
constexpr COLORREF kBlue = RGB(0, 0, 255);     // pressed: the state image list
constexpr COLORREF kYellow = RGB(255, 255, 0); // label fill

HIMAGELIST SolidList(COLORREF color)
{
    HBITMAP bitmap = faldra_test::SolidBitmap(32, 32, color);
    HIMAGELIST list = ImageList_Create(32, 32, ILC_COLOR32, 1, 1);
    ImageList_Add(list, bitmap, nullptr);
    DeleteObject(bitmap);
    return list;
}

class SkinListCtrlBtnsTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(parent.CreateEx(0, AfxRegisterWndClass(0), "parent", WS_POPUP | WS_VISIBLE,
                                    CRect(0, 0, 400, 300), nullptr, 0));
    }
    void TearDown() override
    {
        if (buttons.GetSafeHwnd())
            buttons.DestroyWindow();
        parent.DestroyWindow();
    }
    /// Five buttons in a row of 60-pixel cells, with the three image lists.
    void Make(DWORD style = 0, int count = 5)
    {
        ASSERT_TRUE(
            buttons.Create(WS_CHILD | WS_VISIBLE | LVS_ICON | style, CRect(0, 0, 300, 150), &parent, 1));
        tagSCROLLSTARTINFO bars[2] = {{16, 23, 23, 11}, {16, 23, 23, 10}};
        buttons.InitControl(bars);
        buttons.SetIconSpacing(60, 70);
        buttons.SetImageList(SolidList(kRed), LVSIL_NORMAL);
        buttons.SetImageList(SolidList(kGreen), LVSIL_SMALL);
        buttons.SetImageList(SolidList(kBlue), LVSIL_STATE);
        for (int i = 0; i < count; ++i)
            buttons.InsertItem(i, std::string("b").append(std::to_string(i)).c_str(), 0);
    }
    CPoint Centre(int item)
    {
        CRect icon;
        buttons.GetItemRect(item, &icon, LVIR_ICON);
        return icon.CenterPoint();
    }
    /// The colour of each item's icon as drawn now.
    std::vector<COLORREF> Icons()
    {
        const QImage image = faldra_test::Grab(buttons.GetSafeHwnd());
        std::vector<COLORREF> colours;
        for (int i = 0; i < buttons.GetItemCount(); ++i)
            colours.push_back(Pixel(image, Centre(i).x, Centre(i).y));
        return colours;
    }
    void Mouse(UINT message, UINT keys, CPoint at)
    {
        buttons.SendMessage(message, keys, MAKELPARAM(at.x, at.y));
    }
    /// A real pointer move through Qt, so that the window layer knows the pointer is over the list (a
    /// leave request is answered at once otherwise).
    void Move(CPoint at, Qt::MouseButtons held = Qt::NoButton)
    {
        QWidget* widget = platform::window::HostWidgetOf(buttons.GetSafeHwnd());
        ASSERT_NE(widget, nullptr);
        POINT screen{at.x, at.y};
        ClientToScreen(buttons.GetSafeHwnd(), &screen);
        RECT window{};
        GetWindowRect(buttons.GetSafeHwnd(), &window);
        QMouseEvent e(QEvent::MouseMove, QPointF(screen.x - window.left, screen.y - window.top),
                      QPointF(screen.x, screen.y), Qt::NoButton, held, Qt::NoModifier);
        QApplication::sendEvent(widget, &e);
        faldra_test::Pump();
    }

    CWnd parent;
    CSkinListCtrlBtns buttons;
};

TEST_F(SkinListCtrlBtnsTest, HoverFollowsThePointerFromItemToItem)
{
    Make();
    EXPECT_EQ(buttons.GetScrollBarCtl(0).GetStyle() & (WS_VISIBLE | SS_NOTIFY), WS_VISIBLE);
    Move(Centre(2));
    EXPECT_EQ(Icons(), (std::vector<COLORREF>{kRed, kRed, kGreen, kRed, kRed}));
    Move(Centre(3));
    EXPECT_EQ(Icons(), (std::vector<COLORREF>{kRed, kRed, kRed, kGreen, kRed}));
    Move(Centre(1), Qt::LeftButton); // moved in with a button down: pressed
    EXPECT_EQ(Icons(), (std::vector<COLORREF>{kRed, kBlue, kRed, kRed, kRed}));
    buttons.SendMessage(WM_MOUSELEAVE);
    EXPECT_EQ(Icons(), (std::vector<COLORREF>(5, kRed)));
}

TEST_F(SkinListCtrlBtnsTest, PressingAndReleasingFollowWhereTheButtonGoesUp)
{
    Make();
    Mouse(WM_LBUTTONDOWN, MK_LBUTTON, Centre(1));
    EXPECT_EQ(Icons()[1], kBlue);
    Mouse(WM_LBUTTONUP, 0, CPoint(295, 140)); // empty space
    EXPECT_EQ(Icons()[1], kRed);
    Mouse(WM_LBUTTONDOWN, MK_LBUTTON, Centre(1));
    Mouse(WM_LBUTTONUP, 0, Centre(4)); // over another item: the pressed one hovers
    EXPECT_EQ(Icons()[1], kGreen);
}

TEST_F(SkinListCtrlBtnsTest, ADisabledItemNeverHoversOrPressesAndStaysDisabled)
{
    Make();
    buttons.SetItemEnabled(1, false);
    EXPECT_FALSE(buttons.GetItemEnabled(1));
    Move(Centre(1));
    Mouse(WM_LBUTTONDOWN, MK_LBUTTON, Centre(1));
    EXPECT_EQ(Icons()[1], kRed);
    buttons.ClearStates();
    buttons.SendMessage(WM_MOUSELEAVE);
    EXPECT_FALSE(buttons.GetItemEnabled(1));
    buttons.SetItemEnabled(1, true);
    EXPECT_TRUE(buttons.GetItemEnabled(1));
}

TEST_F(SkinListCtrlBtnsTest, StatesFollowTheListsIndexesAndNeverGrowBeyondTheItems)
{
    Make(LVS_SORTASCENDING, 0);
    buttons.InsertItem(0, "m", 0);
    buttons.InsertItem(0, "z", 0); // asked for 0, placed at 1 by the sorted list
    buttons.InsertItem(5, "a", 0); // asked for 5, placed at 0
    ASSERT_EQ(buttons.GetItemCount(), 3);
    buttons.SetItemEnabled(0, false);
    EXPECT_EQ(buttons.GetItemText(0, 0), CString("a"));
    EXPECT_TRUE(buttons.GetItemEnabled(1));
    EXPECT_TRUE(buttons.GetItemEnabled(2));
    EXPECT_FALSE(buttons.GetItemEnabled(3)); // no state beyond the items

    // Painting, refreshing and failed requests add no states.
    for (int i = 0; i < 3; ++i)
    {
        buttons.Invalidate();
        faldra_test::Grab(buttons.GetSafeHwnd());
    }
    EXPECT_EQ(buttons.InsertItem(-1, "bad", 0), -1);
    EXPECT_FALSE(buttons.DeleteItem(7));
    buttons.SetItemEnabled(3, false);
    EXPECT_FALSE(buttons.GetItemEnabled(3));
    EXPECT_FALSE(buttons.GetItemEnabled(0));

    ASSERT_TRUE(buttons.DeleteItem(0)); // the disabled "a" goes with its state
    EXPECT_TRUE(buttons.GetItemEnabled(0));
    buttons.DeleteAllItems();
    buttons.SetItemEnabled(0, false);
    EXPECT_FALSE(buttons.GetItemEnabled(0));
    buttons.InsertItem(0, "again", 0);
    EXPECT_TRUE(buttons.GetItemEnabled(0));
}

TEST_F(SkinListCtrlBtnsTest, OutOfRangeItemsAreIgnored)
{
    Make();
    buttons.SetItemEnabled(5, false);
    EXPECT_FALSE(buttons.GetItemEnabled(5));
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(buttons.GetItemEnabled(i));
    buttons.SetItemEnabled(-1, false);
    EXPECT_FALSE(buttons.GetItemEnabled(-1));
}

TEST_F(SkinListCtrlBtnsTest, LabelsUseTheTextColoursAndAreWidened)
{
    Make(LVS_SHOWSELALWAYS, 2);
    buttons.SetTextBackgroundColor(kYellow);
    buttons.SetHighlightColor(kBlue);
    buttons.SetItemState(0, LVIS_SELECTED, LVIS_SELECTED);
    const QImage image = faldra_test::Grab(buttons.GetSafeHwnd());
    CRect selected;
    buttons.GetItemRect(0, &selected, LVIR_LABEL);
    EXPECT_EQ(Pixel(image, selected.left + 1, selected.top + 1), kBlue);
    CRect label;
    buttons.GetItemRect(1, &label, LVIR_LABEL);
    EXPECT_EQ(Pixel(image, label.left + 1, label.top + 1), kYellow);
    EXPECT_EQ(Pixel(image, label.left - 5, label.top + 1), kYellow);  // widened by 7 on the left
    EXPECT_NE(Pixel(image, label.left + 1, label.top + 16), kYellow); // cut to 15 pixels
    EXPECT_THROW_MESSAGE(
        buttons.GetScrollBarCtl(2), CInvalidArgumentException,
        ".\\SkinListCtrlBtns[faldra::CSkinListCtrlBtns::GetScrollBarCtl]: Invalid scrollbar id code");
}
} // namespace
