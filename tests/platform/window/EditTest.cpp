#include "WindowTestSupport.h"

#include "platform/commctrl/Caret.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QStyle>

#include <string>

using namespace window_test;

namespace
{
class EditTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        top = Top(0, 0, 240, 100);
        first = MakeEdit(1, 10);
        second = MakeEdit(2, 50);
        platform::window::PumpPendingMessages();
    }
    HWND MakeEdit(int id, int y)
    {
        return CreateWindowEx(0, "Edit", "some text", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10, y, 200, 24, top,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }
    static std::pair<DWORD, DWORD> Selection(HWND edit)
    {
        DWORD start = 99, end = 99;
        SendMessage(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        return {start, end};
    }
    static QLineEdit* LineOf(HWND edit)
    {
        return static_cast<QLineEdit*>(platform::window::HostWidgetOf(edit)->focusProxy());
    }
    static void Pump()
    {
        for (int i = 0; i < 5; ++i)
            platform::window::PumpPendingMessages();
    }
    HWND top = nullptr;
    HWND first = nullptr;
    HWND second = nullptr;
};

/// How the focus reaches the field: by the program or by the keyboard.
enum class FocusBy
{
    Call,
    Tab
};

class EditFocusTest : public EditTest, public ::testing::WithParamInterface<FocusBy>
{
};
} // namespace

TEST_P(EditFocusTest, WholeTextSelectedOnSetFocusStaysSelected)
{
    recorder.handlers[WM_COMMAND] = [this](HWND, WPARAM wParam, LPARAM lParam) -> LRESULT
    {
        if (HIWORD(wParam) == EN_SETFOCUS && reinterpret_cast<HWND>(lParam) == second)
        {
            // What a field that selects its text on entry does: sets the text again, then selects it.
            char text[64];
            GetWindowText(second, text, sizeof text);
            SetWindowText(second, text);
            SendMessage(second, EM_SETSEL, 0, -1);
        }
        return 0;
    };
    SetFocus(first);
    Pump();
    if (GetParam() == FocusBy::Call)
        SetFocus(second);
    else
    {
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(LineOf(first), &tab);
        QApplication::processEvents();
        if (GetFocus() != second)
            SetFocus(second); // a plain window does no dialog navigation; the focus change is what counts
    }
    Pump();
    QApplication::processEvents();
    Pump();
    ASSERT_EQ(GetFocus(), second);
    EXPECT_EQ(Selection(second), std::make_pair(DWORD{0}, DWORD{9}));
    EXPECT_EQ(LineOf(second)->selectedText(), QStringLiteral("some text"));
}

INSTANTIATE_TEST_SUITE_P(Entry, EditFocusTest, ::testing::Values(FocusBy::Call, FocusBy::Tab));

TEST_F(EditTest, EmptyingTheUndoBufferKeepsTextAndSelection)
{
    SendMessage(first, EM_SETSEL, 4, 4);
    SendMessage(first, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("!!"));
    ASSERT_TRUE(SendMessage(first, EM_CANUNDO, 0, 0));
    // A selection made backwards keeps its moving end where it was.
    SendMessage(first, EM_SETSEL, 6, 2);
    SendMessage(first, EM_EMPTYUNDOBUFFER, 0, 0);
    EXPECT_FALSE(SendMessage(first, EM_CANUNDO, 0, 0));
    EXPECT_EQ(Selection(first), std::make_pair(DWORD{2}, DWORD{6}));
    EXPECT_EQ(LineOf(first)->cursorPosition(), 2);
    SendMessage(first, EM_UNDO, 0, 0);
    char text[64];
    GetWindowText(first, text, sizeof text);
    EXPECT_STREQ(text, "some!! text");
}

TEST_F(EditTest, BecomingTransparentShowsTheParentAgain)
{
    const COLORREF parentColour = RGB(200, 120, 40);
    HBRUSH parentBrush = CreateSolidBrush(parentColour);
    HBRUSH fieldBrush = CreateSolidBrush(RGB(0, 0, 200));
    bool transparent = false;
    recorder.handlers[WM_ERASEBKGND] = [&](HWND, WPARAM wParam, LPARAM) -> LRESULT
    {
        RECT rc;
        GetClientRect(top, &rc);
        FillRect(reinterpret_cast<HDC>(wParam), &rc, parentBrush);
        return 1;
    };
    recorder.handlers[WM_CTLCOLOREDIT] = [&](HWND, WPARAM wParam, LPARAM) -> LRESULT
    {
        // Text drawn without its own background says nothing about the field's: a brush still fills it.
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(transparent ? GetStockObject(NULL_BRUSH) : fieldBrush);
    };
    SetWindowText(first, "");
    const auto shown = [&]
    {
        RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Pump();
        const QImage image = platform::window::HostWidgetOf(top)->grab().toImage();
        return Pixel(image, 200, 30);
    };
    EXPECT_EQ(shown(), RGB(0, 0, 200));
    transparent = true;
    EXPECT_EQ(shown(), parentColour);
    transparent = false;
    EXPECT_EQ(shown(), RGB(0, 0, 200));
    DeleteObject(parentBrush);
    DeleteObject(fieldBrush);
}

TEST_F(EditTest, CaretCountsHidesAndShows)
{
    ASSERT_TRUE(CreateCaret(first, nullptr, 1, 10));
    EXPECT_FALSE(platform::window::IsCaretVisible()) << "a new caret is hidden";
    EXPECT_FALSE(ShowCaret(second)) << "only the owner shows it";
    EXPECT_TRUE(HideCaret(first));
    EXPECT_TRUE(ShowCaret(first));
    EXPECT_FALSE(platform::window::IsCaretVisible())
        << "one show undoes one hide, the creation's hide remains";
    EXPECT_TRUE(ShowCaret(nullptr));
    EXPECT_TRUE(platform::window::IsCaretVisible());
    EXPECT_FALSE(ShowCaret(first)) << "a shown caret is not shown more";
    EXPECT_TRUE(HideCaret(first));
    EXPECT_FALSE(platform::window::IsCaretVisible()) << "the extra show counted for nothing";
    ASSERT_TRUE(CreateCaret(second, nullptr, 1, 10));
    EXPECT_EQ(platform::window::CaretOwner(), second) << "a new caret replaces the old one";
    EXPECT_FALSE(HideCaret(first));
    EXPECT_TRUE(DestroyCaret());
    EXPECT_FALSE(DestroyCaret());
    EXPECT_EQ(platform::window::CaretOwner(), nullptr);

    ASSERT_TRUE(CreateCaret(second, nullptr, 1, 10));
    DestroyWindow(second);
    EXPECT_FALSE(ShowCaret(nullptr)) << "the caret went with its window";
    EXPECT_FALSE(DestroyCaret());
}

TEST_F(EditTest, FocusedFieldShowsItsCursorOnlyWhileItShowsTheCaret)
{
    const auto cursorWidth = [](HWND edit)
    {
        QLineEdit* line = LineOf(edit);
        return line->style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, line);
    };
    SetFocus(first);
    Pump();
    EXPECT_EQ(platform::window::CaretOwner(), first) << "the focused field takes a caret";
    EXPECT_TRUE(platform::window::IsCaretVisible());
    EXPECT_GT(cursorWidth(first), 0);

    // A field replacing the caret with its own hidden one and hiding it again: one show is not enough.
    ASSERT_TRUE(CreateCaret(first, nullptr, 2, 10));
    HideCaret(first);
    EXPECT_EQ(cursorWidth(first), 0);
    ShowCaret(first);
    EXPECT_EQ(cursorWidth(first), 0);
    ShowCaret(first);
    EXPECT_GT(cursorWidth(first), 0);

    SetFocus(second);
    Pump();
    EXPECT_EQ(platform::window::CaretOwner(), second) << "the caret goes with the focus";
    EXPECT_EQ(cursorWidth(first), 0);
    EXPECT_GT(cursorWidth(second), 0);
}

TEST_F(EditTest, MarginsSetTheSidesOfTheFormattingRectangleOnly)
{
    RECT formatting{0, 5, 200, 19};
    SendMessage(first, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&formatting));
    SendMessage(first, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(7, 9));
    RECT now{};
    SendMessage(first, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&now));
    EXPECT_EQ(now.left, 7);
    EXPECT_EQ(now.right, 200 - 9);
    EXPECT_EQ(now.top, 5) << "the vertical placement stays";
    EXPECT_EQ(now.bottom, 19);
    EXPECT_EQ(LineOf(first)->textMargins(), QMargins(7, 5, 9, 5));

    SendMessage(first, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELONG(30, 2));
    SendMessage(first, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&now));
    EXPECT_EQ(now.left, 7) << "only the margin named changes";
    EXPECT_EQ(now.right, 200 - 2);
}

namespace
{
/// Digits-only fields of both kinds: single-line and multi-line.
class DigitsOnlyEditTest : public EditTest, public ::testing::WithParamInterface<DWORD>
{
};
} // namespace

TEST_P(DigitsOnlyEditTest, RefusesNonDigitsTypedAndPasted)
{
    HWND number = CreateWindowEx(0, "Edit", "", WS_CHILD | WS_VISIBLE | ES_NUMBER | GetParam(), 10, 90, 60,
                                 24, top, reinterpret_cast<HMENU>(static_cast<INT_PTR>(3)), nullptr, nullptr);
    ASSERT_NE(number, nullptr);
    SetFocus(number);
    Pump();
    const auto text = [number]
    {
        char buffer[64] = {};
        GetWindowText(number, buffer, sizeof buffer);
        return std::string(buffer);
    };
    QWidget* field = platform::window::HostWidgetOf(number)->focusProxy();
    const std::pair<int, const char*> keys[] = {
        {Qt::Key_4, "4"}, {Qt::Key_Minus, "-"}, {Qt::Key_X, "x"}, {Qt::Key_Space, " "}, {Qt::Key_2, "2"}};
    for (const auto& [code, typed] : keys)
    {
        QKeyEvent key(QEvent::KeyPress, code, Qt::NoModifier, QString::fromLatin1(typed));
        QApplication::sendEvent(field, &key);
    }
    Pump();
    EXPECT_EQ(text(), "42");

    QGuiApplication::clipboard()->setText(QStringLiteral("1-5"));
    SendMessage(number, WM_PASTE, 0, 0);
    EXPECT_EQ(text(), "42") << "a paste with a non-digit is refused whole";
    QGuiApplication::clipboard()->setText(QStringLiteral("7"));
    SendMessage(number, WM_PASTE, 0, 0);
    EXPECT_EQ(text(), "427");

    SetWindowText(number, "a1");
    EXPECT_EQ(text(), "a1") << "text set by the program is not checked";
}

INSTANTIATE_TEST_SUITE_P(Kinds, DigitsOnlyEditTest, ::testing::Values(DWORD{0}, ES_MULTILINE | ES_CENTER),
                         [](const ::testing::TestParamInfo<DWORD>& info)
                         { return info.param ? std::string("MultiLine") : std::string("SingleLine"); });

TEST_F(EditTest, MultiLineTextIsLaidInTheFormattingRectangle)
{
    DestroyWindow(top);
    top = Top(0, 0, 240, 120);
    HWND memo = CreateWindowEx(0, "Edit", "one two three four five six seven eight nine ten",
                               WS_CHILD | WS_VISIBLE | ES_MULTILINE, 10, 10, 200, 90, top,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(4)), nullptr, nullptr);
    ASSERT_NE(memo, nullptr);
    const RECT whole{0, 0, 200, 90};
    SendMessage(memo, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&whole));
    Pump();
    const LRESULT wideLines = SendMessage(memo, EM_GETLINECOUNT, 0, 0);

    const RECT narrow{60, 30, 140, 70};
    SendMessage(memo, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&narrow));
    RECT now{};
    SendMessage(memo, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&now));
    EXPECT_EQ(now.left, 60);
    EXPECT_EQ(now.top, 30);
    EXPECT_EQ(now.right, 140);
    EXPECT_EQ(now.bottom, 70);
    RedrawWindow(top, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Pump();
    EXPECT_GT(SendMessage(memo, EM_GETLINECOUNT, 0, 0), wideLines) << "lines wrap at the rectangle's width";

    // The text's dark pixels all lie inside the rectangle (the edit sits at 10, 10 in the window).
    const QImage image = platform::window::HostWidgetOf(top)->grab().toImage();
    int inside = 0, outside = 0;
    for (int y = 10; y < 100; ++y)
        for (int x = 10; x < 210; ++x)
        {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) + qGreen(p) + qBlue(p) > 384)
                continue;
            const bool in = x >= 10 + 60 && x < 10 + 140 && y >= 10 + 30 && y < 10 + 70;
            (in ? inside : outside)++;
        }
    EXPECT_GT(inside, 0);
    EXPECT_EQ(outside, 0);
}
