#include "Controls/EditTrans.h"

#include "platform/commctrl/Caret.h"
#include "platform/resources/Resources.h"
#include "tests/controls/ControlsTestSupport.h"
#include "tests/controls/controls_test_ids.h"

#include <QKeyEvent>

using namespace controls_test;

namespace
{
class PaintedDialog : public CDialog
{
public:
    COLORREF background = RGB(200, 120, 40);
    BOOL OnEraseBkgnd(CDC* dc)
    {
        CRect client;
        GetClientRect(&client);
        dc->FillSolidRect(&client, background);
        return TRUE;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(PaintedDialog, CDialog)
ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

class EditTransTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dialog.Create(IDD_FONT_EX));
        ASSERT_TRUE(edit.SubclassDlgItem(IDC_THIRD, &dialog));
        dialog.ShowWindow(SW_SHOW);
        Pump();
    }
    void TearDown() override
    {
        dialog.DestroyWindow();
        Pump();
    }
    /// The dialog as shown, children included, at a point inside the edit.
    COLORREF InsideEdit()
    {
        dialog.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Pump();
        CRect rect;
        edit.GetWindowRect(&rect);
        dialog.ScreenToClient(&rect);
        const QImage shown = platform::window::HostWidgetOf(dialog)->grab().toImage();
        return Pixel(shown, rect.right - 3, rect.bottom - 2);
    }
    PaintedDialog dialog;
    CEditTrans edit;
};
} // namespace

TEST_F(EditTransTest, ParentBackgroundShowsThroughUnlessAColourIsSet)
{
    EXPECT_EQ(InsideEdit(), RGB(200, 120, 40));
    edit.SetBkColor(RGB(0, 0, 200));
    EXPECT_EQ(InsideEdit(), RGB(0, 0, 200));
}

TEST_F(EditTransTest, FocusTakesTheCaretAndLeavingDropsTheSelection)
{
    edit.SetWindowText("hello");
    InsideEdit(); // the first colour request loads the caret
    edit.SetFocus();
    Pump();
    EXPECT_EQ(platform::window::CaretOwner(), edit.GetSafeHwnd());
    edit.SetSel(1, 3);
    int start = -1, end = -1;
    dialog.GetDlgItem(IDC_SECOND)->SetFocus();
    Pump();
    edit.GetSel(start, end);
    EXPECT_EQ(start, end) << "leaving the field drops the selection";
}

TEST_F(EditTransTest, CenteringPutsOneLineInTheMiddle)
{
    edit.CenterTextVertically();
    CRect client, format;
    edit.GetClientRect(&client);
    edit.GetRect(&format);
    EXPECT_EQ(format.top - client.top, client.bottom - format.bottom);
    EXPECT_GT(format.top, client.top - 1);
}

TEST_F(EditTransTest, FocusSelectsTheWholeTextAndTheCaretShows)
{
    edit.SetWindowText("hello");
    InsideEdit(); // the first colour request loads the caret and hides it
    dialog.GetDlgItem(IDC_SECOND)->SetFocus();
    Pump();
    edit.SetFocus();
    Pump();
    QApplication::processEvents();
    Pump();
    int start = -1, end = -1;
    edit.GetSel(start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 5);
    EXPECT_EQ(platform::window::CaretOwner(), edit.GetSafeHwnd());
    EXPECT_TRUE(platform::window::IsCaretVisible()) << "the field's own caret shows while it has the focus";
}

TEST_F(EditTransTest, FieldFocusedBeforeItsFirstPaintShowsTheCaret)
{
    CDialog other;
    CEditTrans field;
    ASSERT_TRUE(other.Create(IDD_FONT_EX));
    ASSERT_TRUE(field.SubclassDlgItem(IDC_THIRD, &other));
    field.SetFocus();
    other.ShowWindow(SW_SHOW);
    other.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump();
    ASSERT_EQ(GetFocus(), field.GetSafeHwnd());
    EXPECT_EQ(platform::window::CaretOwner(), field.GetSafeHwnd());
    EXPECT_TRUE(platform::window::IsCaretVisible());
    other.DestroyWindow();
    Pump();
}

TEST_F(EditTransTest, ClickingIntoTheFieldSelectsTheWholeText)
{
    edit.SetWindowText("hello world");
    InsideEdit();
    QApplication::setActiveWindow(platform::window::HostWidgetOf(dialog)->window());
    dialog.GetDlgItem(IDC_SECOND)->SetFocus();
    Pump();
    // The line edit takes the focus from the click and places its cursor before the field hears of it.
    auto* line = platform::window::HostWidgetOf(edit)->focusProxy();
    ASSERT_NE(line, nullptr);
    const QPointF at(20, 5);
    line->setFocus(Qt::MouseFocusReason);
    QMouseEvent press(QEvent::MouseButtonPress, at, line->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(line, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, line->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(line, &release);
    Pump();
    ASSERT_EQ(GetFocus(), edit.GetSafeHwnd());
    int start = -1, end = -1;
    edit.GetSel(start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 11);
}

TEST_F(EditTransTest, TypingLeavesNoUndoAndKeepsTheSelection)
{
    edit.SetWindowText("hello");
    edit.SetFocus();
    Pump();
    edit.SetSel(5, 5);
    auto* line = platform::window::HostWidgetOf(edit)->focusProxy();
    ASSERT_NE(line, nullptr);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QApplication::sendEvent(line, &key);
    Pump();
    edit.SetSel(1, 3);
    Pump();
    EXPECT_FALSE(edit.CanUndo());
    int start = -1, end = -1;
    edit.GetSel(start, end);
    EXPECT_EQ(start, 1);
    EXPECT_EQ(end, 3);
    CString text;
    edit.GetWindowText(text);
    EXPECT_EQ(text, "hellox");
}

TEST_F(EditTransTest, ClearingTheBackColourShowsTheParentAgain)
{
    edit.SetBkColor(RGB(0, 0, 200));
    EXPECT_EQ(InsideEdit(), RGB(0, 0, 200));
    edit.SetBkColor(CLR_INVALID);
    // Only the parent's area is invalidated; that alone must bring the parent back under the field.
    dialog.UpdateWindow();
    Pump();
    CRect rect;
    edit.GetWindowRect(&rect);
    dialog.ScreenToClient(&rect);
    const QImage shown = platform::window::HostWidgetOf(dialog)->grab().toImage();
    EXPECT_EQ(Pixel(shown, rect.right - 3, rect.bottom - 2), RGB(200, 120, 40));
}

TEST_F(EditTransTest, PointerOverTheFieldIsTheKitsCursor)
{
    const HCURSOR pointer = LoadCursor(GetModuleHandle(nullptr), MAKEINTRESOURCE(IDC_EDIT_POINTER));
    ASSERT_NE(pointer, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(reinterpret_cast<HICON>(pointer), &info));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    // The pointer moves over the line edit that shows the field (from wherever it was before).
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
    QWidget* line = platform::window::HostWidgetOf(edit)->focusProxy();
    ASSERT_NE(line, nullptr);
    const QPointF at(20, 5);
    QMouseEvent move(QEvent::MouseMove, at, line->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(line, &move);
    ASSERT_TRUE(PumpUntil([&] { return line->cursor().shape() == Qt::BitmapCursor; }));
    EXPECT_EQ(GetCursor(), pointer);
    for (QWidget* shown : {platform::window::HostWidgetOf(edit), line})
    {
        EXPECT_EQ(shown->cursor().shape(), Qt::BitmapCursor);
        EXPECT_EQ(shown->cursor().hotSpot(),
                  QPoint(static_cast<int>(info.xHotspot), static_cast<int>(info.yHotspot)));
        EXPECT_EQ(shown->cursor().pixmap().size(), QSize(32, 32));
    }
}
