#include "DialogTemplateBuilder.h"
#include "WindowTestSupport.h"

#include "platform/window/CommCtrl.h"
#include "platform/window/Dialogs.h"
#include "tests/support/TempDir.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QWindow>

#include <fstream>

using namespace window_test;

namespace
{
struct DialogLog
{
    std::vector<UINT> messages;
    std::vector<int> commands;
    std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> hook;
};
DialogLog* g_dlg = nullptr;

INT_PTR CALLBACK LoggingDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!g_dlg)
        return FALSE;
    g_dlg->messages.push_back(msg);
    if (g_dlg->hook)
        if (INT_PTR r = g_dlg->hook(hwnd, msg, wParam, lParam))
            return r;
    if (msg == WM_INITDIALOG)
        return TRUE;
    if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED)
    {
        g_dlg->commands.push_back(LOWORD(wParam));
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
        {
            EndDialog(hwnd, LOWORD(wParam));
            return TRUE;
        }
    }
    return FALSE;
}

std::vector<BYTE> SampleTemplate(bool extended, DWORD extraStyle = 0)
{
    TemplateBuilder b(extended, WS_POPUP | WS_CAPTION | DS_MODALFRAME | extraStyle, 160, 80, "Sample");
    b.Font(8, "Tahoma");
    b.Add({0x82, "", 100, WS_CHILD | WS_VISIBLE | SS_LEFT, 7, 7, 100, 10, "Name:"});
    b.Add({0x81, "", 101, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER, 7, 20, 100, 12, "initial"});
    b.Add({0x80, "", IDOK, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 50, 60, 50, 14, "OK"});
    b.Add({0x80, "", IDCANCEL, WS_CHILD | WS_VISIBLE | WS_TABSTOP, 104, 60, 50, 14, "Cancel"});
    return b.Build();
}

void Key(HWND hwnd, int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QWidget* w = platform::window::HostWidgetOf(hwnd);
    if (QWidget* proxy = w->focusProxy())
        w = proxy;
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods);
    QApplication::sendEvent(w, &release);
}
} // namespace

class DialogTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        g_dlg = &log;
    }
    void TearDown() override
    {
        WindowFixture::TearDown();
        g_dlg = nullptr;
    }
    DialogLog log;
};

class TemplateLayoutTest : public DialogTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(TemplateLayoutTest, ControlsAreMadeInDialogUnitsOfTheTemplateFont)
{
    const auto bytes = SampleTemplate(GetParam());
    const auto t = platform::window::ParseDialogTemplate(bytes.data(), bytes.size());
    ASSERT_TRUE(t.valid);
    EXPECT_EQ(t.extended, GetParam());
    EXPECT_EQ(t.face, "Tahoma");
    ASSERT_EQ(t.items.size(), 4u);
    EXPECT_EQ(t.items[1].windowClass.ordinal, 0x81);

    HWND dlg = CreateDialogIndirectParam(nullptr, reinterpret_cast<LPCDLGTEMPLATE>(bytes.data()), nullptr,
                                         LoggingDialogProc, 0);
    ASSERT_NE(dlg, nullptr);
    windows.push_back(dlg);
    EXPECT_EQ(log.messages.front(), static_cast<UINT>(WM_SETFONT));
    EXPECT_NE(std::find(log.messages.begin(), log.messages.end(), WM_INITDIALOG), log.messages.end());
    char cls[32];
    GetClassName(dlg, cls, sizeof cls);
    EXPECT_STREQ(cls, "#32770");
    HWND edit = GetDlgItem(dlg, 101);
    ASSERT_NE(edit, nullptr);
    char text[32];
    GetWindowText(edit, text, sizeof text);
    EXPECT_STREQ(text, "initial");
    // The first tab stop has the focus after WM_INITDIALOG answered TRUE.
    EXPECT_EQ(GetFocus(), edit);

    RECT r{7, 20, 107, 32};
    MapDialogRect(dlg, &r);
    RECT wr;
    GetWindowRect(edit, &wr);
    POINT at{wr.left, wr.top};
    ScreenToClient(dlg, &at);
    EXPECT_EQ(at.x, r.left);
    EXPECT_EQ(at.y, r.top);
    EXPECT_EQ(wr.right - wr.left, r.right - r.left);
    EXPECT_GT(r.right - r.left, 100);
    EXPECT_EQ(SendMessage(dlg, DM_GETDEFID, 0, 0), MAKELRESULT(IDOK, DC_HASDEFID));
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessage(edit, WM_GETFONT, 0, 0)),
              reinterpret_cast<HFONT>(SendMessage(dlg, WM_GETFONT, 0, 0)));
}

INSTANTIATE_TEST_SUITE_P(Layouts, TemplateLayoutTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Extended" : "Plain"; });

// The desktop names a window by the title of its native window: the caption a window is made with must
// reach it, not only a later SetWindowText.
TEST_F(DialogTest, TopLevelWindowsShowTheNameTheyWereMadeWithAsTitle)
{
    const auto bytes = SampleTemplate(true);
    HWND dlg = CreateDialogIndirectParam(nullptr, reinterpret_cast<LPCDLGTEMPLATE>(bytes.data()), nullptr,
                                         LoggingDialogProc, 0);
    ASSERT_NE(dlg, nullptr);
    windows.push_back(dlg);
    HWND top = Top();
    ShowWindow(dlg, SW_SHOW);
    for (auto [hwnd, title] : {std::pair{dlg, "Sample"}, std::pair{top, "top"}})
    {
        QWidget* widget = platform::window::HostWidgetOf(hwnd);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->windowTitle().toStdString(), title);
        ASSERT_NE(widget->windowHandle(), nullptr);
        EXPECT_EQ(widget->windowHandle()->title().toStdString(), title);
    }
    SetWindowText(dlg, "Renamed");
    EXPECT_EQ(platform::window::HostWidgetOf(dlg)->windowTitle().toStdString(), "Renamed");
}

TEST_F(DialogTest, TruncatedTemplatesAreRefused)
{
    auto bytes = SampleTemplate(true);
    for (std::size_t cut : {std::size_t{10}, bytes.size() / 2, bytes.size() - 3})
    {
        const auto t = platform::window::ParseDialogTemplate(bytes.data(), cut);
        EXPECT_FALSE(t.valid) << cut;
        EXPECT_EQ(
            platform::window::CreateDialogFromTemplate(nullptr, t, nullptr, LoggingDialogProc, 0, nullptr),
            nullptr);
    }
}

TEST_F(DialogTest, UnknownControlClassFailsTheDialog)
{
    TemplateBuilder b(true, WS_POPUP, 50, 50);
    b.Add({0, "NoSuchControl", 5, WS_CHILD, 0, 0, 10, 10, ""});
    const auto bytes = b.Build();
    EXPECT_EQ(CreateDialogIndirectParam(nullptr, reinterpret_cast<LPCDLGTEMPLATE>(bytes.data()), nullptr,
                                        LoggingDialogProc, 0),
              nullptr);
}

TEST_F(DialogTest, ModalDialogDisablesItsOwnerAndReturnsTheEndDialogResult)
{
    HWND owner = Top();
    const auto bytes = SampleTemplate(true);
    bool ownerDisabledInside = false;
    log.hook = [&](HWND dlg, UINT msg, WPARAM, LPARAM) -> INT_PTR
    {
        if (msg == WM_INITDIALOG)
            PostMessage(dlg, WM_APP, 0, 0);
        if (msg == WM_APP)
        {
            ownerDisabledInside = !IsWindowEnabled(owner);
            EXPECT_EQ(GetWindow(dlg, GW_OWNER), owner);
            EndDialog(dlg, 42);
            return TRUE;
        }
        return FALSE;
    };
    const INT_PTR r = DialogBoxIndirectParam(nullptr, reinterpret_cast<LPCDLGTEMPLATE>(bytes.data()), owner,
                                             LoggingDialogProc, 0);
    EXPECT_EQ(r, 42);
    EXPECT_TRUE(ownerDisabledInside);
    EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(DialogTest, NestedModalDialogsEndInnerFirst)
{
    const auto bytes = SampleTemplate(true);
    std::vector<std::string> order;
    int depth = 0;
    log.hook = [&](HWND dlg, UINT msg, WPARAM, LPARAM) -> INT_PTR
    {
        if (msg == WM_INITDIALOG)
        {
            ++depth;
            PostMessage(dlg, WM_APP, static_cast<WPARAM>(depth), 0);
        }
        if (msg == WM_APP)
        {
            if (depth == 1)
            {
                const INT_PTR inner = DialogBoxIndirectParam(
                    nullptr, reinterpret_cast<LPCDLGTEMPLATE>(bytes.data()), dlg, LoggingDialogProc, 0);
                order.push_back("inner " + std::to_string(inner));
                EndDialog(dlg, 1);
            }
            else
            {
                order.push_back("ending inner");
                EndDialog(dlg, 2);
            }
            return TRUE;
        }
        return FALSE;
    };
    const INT_PTR outer = DialogBoxIndirectParam(nullptr, reinterpret_cast<LPCDLGTEMPLATE>(bytes.data()),
                                                 nullptr, LoggingDialogProc, 0);
    EXPECT_EQ(outer, 1);
    EXPECT_EQ(order, (std::vector<std::string>{"ending inner", "inner 2"}));
}

TEST_F(DialogTest, SendFromAThreadIsHandledWhileAModalDialogRuns)
{
    HWND target = Top();
    const auto bytes = SampleTemplate(true);
    std::atomic<LRESULT> result{0};
    std::thread worker;
    recorder.handlers[WM_APP + 7] = [](HWND, WPARAM w, LPARAM) -> LRESULT
    { return static_cast<LRESULT>(w * 3); };
    log.hook = [&](HWND dlg, UINT msg, WPARAM, LPARAM) -> INT_PTR
    {
        if (msg == WM_INITDIALOG)
            worker = std::thread(
                [&, dlg]
                {
                    result = SendMessage(target, WM_APP + 7, 5, 0);
                    PostMessage(dlg, WM_COMMAND, IDOK, 0);
                });
        return FALSE;
    };
    const INT_PTR r = DialogBoxIndirectParam(nullptr, reinterpret_cast<LPCDLGTEMPLATE>(bytes.data()), nullptr,
                                             LoggingDialogProc, 0);
    worker.join();
    EXPECT_EQ(r, IDOK);
    EXPECT_EQ(result.load(), 15);
}

TEST_F(DialogTest, DialogKeysMoveFocusAndPressTheDefaultAndCancelButtons)
{
    const auto bytes = SampleTemplate(true);
    HWND dlg = CreateDialogIndirectParam(nullptr, reinterpret_cast<LPCDLGTEMPLATE>(bytes.data()), nullptr,
                                         LoggingDialogProc, 0);
    windows.push_back(dlg);
    ShowWindow(dlg, SW_SHOW);
    HWND edit = GetDlgItem(dlg, 101);
    SetFocus(edit);
    auto pump = [&]
    {
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
            if (!IsDialogMessage(dlg, &msg))
            {
                TranslateMessage(&msg);
                DispatchMessage(&msg);
            }
    };
    Key(edit, Qt::Key_Tab);
    pump();
    EXPECT_EQ(GetFocus(), GetDlgItem(dlg, IDOK));
    Key(GetFocus(), Qt::Key_Tab);
    pump();
    EXPECT_EQ(GetFocus(), GetDlgItem(dlg, IDCANCEL));
    Key(GetFocus(), Qt::Key_Tab);
    pump();
    EXPECT_EQ(GetFocus(), edit);

    Key(edit, Qt::Key_Return);
    pump();
    Key(edit, Qt::Key_Escape);
    pump();
    EXPECT_EQ(log.commands, (std::vector<int>{IDOK, IDCANCEL}));
}

class UnusableFocusTest : public DialogTest, public ::testing::WithParamInterface<bool>
{
};

// The clicked button takes the focus on the press and hides (or disables) itself in its command, as the
// mute button of a main window swaps with the unmute button.
TEST_P(UnusableFocusTest, ClickedButtonThatGoesAwayPassesTheFocusToTheNextControl)
{
    const bool hide = GetParam();
    log.hook = [hide](HWND hwnd, UINT msg, WPARAM wParam, LPARAM) -> INT_PTR
    {
        if (msg != WM_COMMAND || LOWORD(wParam) != IDOK)
            return FALSE;
        HWND ok = GetDlgItem(hwnd, IDOK);
        if (hide)
            ShowWindow(ok, SW_HIDE);
        else
            EnableWindow(ok, FALSE);
        return TRUE;
    };
    const auto bytes = SampleTemplate(true);
    HWND dlg = CreateDialogIndirectParam(nullptr, reinterpret_cast<LPCDLGTEMPLATE>(bytes.data()), nullptr,
                                         LoggingDialogProc, 0);
    windows.push_back(dlg);
    ShowWindow(dlg, SW_SHOW);
    platform::window::PumpPendingMessages();
    HWND ok = GetDlgItem(dlg, IDOK);
    HWND cancel = GetDlgItem(dlg, IDCANCEL);
    Mouse(ok, QEvent::MouseButtonPress, QPoint(3, 3));
    Mouse(ok, QEvent::MouseButtonRelease, QPoint(3, 3));
    for (int i = 0; i < 5; ++i)
        platform::window::PumpPendingMessages();
    EXPECT_EQ(GetFocus(), cancel);
    // Qt agrees, so its late focus reports take nothing back.
    EXPECT_EQ(QApplication::focusWidget(), platform::window::HostWidgetOf(cancel));

    // A dialog that remembers the gone button as its focus gives the focus to a control that can use it.
    SetFocus(ok);
    SendMessage(dlg, WM_ACTIVATE, WA_INACTIVE, 0);
    SetFocus(dlg);
    platform::window::PumpPendingMessages();
    EXPECT_EQ(GetFocus(), cancel);
}

INSTANTIATE_TEST_SUITE_P(HiddenOrDisabled, UnusableFocusTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info)
                         { return std::string(info.param ? "Hidden" : "Disabled"); });

TEST_F(DialogTest, ButtonsClickCheckAndGroupRadios)
{
    TemplateBuilder b(true, WS_POPUP | WS_VISIBLE, 120, 80);
    b.Add({0x80, "", 10, WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 0, 0, 60, 10, "Check"});
    b.Add({0x80, "", 11, WS_CHILD | WS_VISIBLE | WS_GROUP | BS_AUTORADIOBUTTON, 0, 12, 60, 10, "One"});
    b.Add({0x80, "", 12, WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON, 0, 24, 60, 10, "Two"});
    b.Add({0x80, "", 13, WS_CHILD | WS_VISIBLE | WS_GROUP | BS_PUSHBUTTON, 0, 36, 60, 14, "Push"});
    const auto bytes = b.Build();
    HWND dlg = CreateDialogIndirectParam(nullptr, reinterpret_cast<LPCDLGTEMPLATE>(bytes.data()), nullptr,
                                         LoggingDialogProc, 0);
    windows.push_back(dlg);
    auto click = [&](int id)
    {
        HWND h = GetDlgItem(dlg, id);
        Mouse(h, QEvent::MouseButtonPress, QPoint(3, 3));
        Mouse(h, QEvent::MouseButtonRelease, QPoint(3, 3));
        platform::window::PumpPendingMessages();
    };
    click(10);
    EXPECT_EQ(IsDlgButtonChecked(dlg, 10), BST_CHECKED);
    click(10);
    EXPECT_EQ(IsDlgButtonChecked(dlg, 10), BST_UNCHECKED);
    click(11);
    click(12);
    EXPECT_EQ(IsDlgButtonChecked(dlg, 11), BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dlg, 12), BST_CHECKED);
    EXPECT_EQ(GetNextDlgGroupItem(dlg, GetDlgItem(dlg, 12), FALSE), GetDlgItem(dlg, 11));
    click(13);
    EXPECT_EQ(log.commands, (std::vector<int>{10, 10, 11, 12, 13}));

    // A press released outside the button is no click.
    HWND push = GetDlgItem(dlg, 13);
    Mouse(push, QEvent::MouseButtonPress, QPoint(3, 3));
    Mouse(push, QEvent::MouseButtonRelease, QPoint(300, 3));
    platform::window::PumpPendingMessages();
    EXPECT_EQ(log.commands.size(), 5u);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(DialogTest, OwnerDrawnButtonsAskTheirParentToDrawAndColour)
{
    HWND top = Top(0, 0, 100, 60);
    HWND button = CreateWindowEx(0, "Button", "x", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 5, 5, 40, 20, top,
                                 reinterpret_cast<HMENU>(7), nullptr, nullptr);
    UINT state = 0;
    recorder.handlers[WM_DRAWITEM] = [&](HWND, WPARAM, LPARAM l) -> LRESULT
    {
        auto* di = reinterpret_cast<DRAWITEMSTRUCT*>(l);
        state = di->itemState;
        EXPECT_EQ(di->CtlType, ODT_BUTTON);
        EXPECT_EQ(di->CtlID, 7u);
        return TRUE;
    };
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(top, WM_DRAWITEM) > 0; }));
    EXPECT_EQ(recorder.Messages(top, {WM_CTLCOLORBTN, WM_DRAWITEM}),
              (std::vector<UINT>{WM_CTLCOLORBTN, WM_DRAWITEM}));
    SendMessage(button, BM_SETSTATE, TRUE, 0);
    EXPECT_TRUE(state & ODS_SELECTED);
    EXPECT_TRUE(SendMessage(button, BM_GETSTATE, 0, 0) & BST_PUSHED);
}

TEST_F(DialogTest, StaticsLetTheMouseThroughUnlessTheyNotify)
{
    HWND top = Top(0, 0, 100, 60);
    HWND plain = CreateWindowEx(0, "Static", "text", WS_CHILD | WS_VISIBLE, 0, 0, 50, 20, top, nullptr,
                                nullptr, nullptr);
    HWND notify = CreateWindowEx(0, "Static", "link", WS_CHILD | WS_VISIBLE | SS_NOTIFY, 50, 0, 50, 20, top,
                                 reinterpret_cast<HMENU>(9), nullptr, nullptr);
    EXPECT_TRUE(platform::window::HostWidgetOf(plain)->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_FALSE(platform::window::HostWidgetOf(notify)->testAttribute(Qt::WA_TransparentForMouseEvents));
    Mouse(notify, QEvent::MouseButtonPress, QPoint(2, 2));
    platform::window::PumpPendingMessages();
    bool clicked = false;
    for (const auto& r : recorder.log)
        clicked |=
            r.hwnd == top && r.msg == WM_COMMAND && HIWORD(r.wParam) == STN_CLICKED && LOWORD(r.wParam) == 9;
    EXPECT_TRUE(clicked);
    SetWindowLongPtr(plain, GWL_STYLE, GetWindowLongPtr(plain, GWL_STYLE) | SS_NOTIFY);
    EXPECT_FALSE(platform::window::HostWidgetOf(plain)->testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST_F(DialogTest, EditHoldsTextNotifiesChangesAndTakesNoInputWhileDisabled)
{
    HWND top = Top(0, 0, 200, 60);
    HWND edit = CreateWindowEx(0, "Edit", "Grüße", WS_CHILD | WS_VISIBLE | WS_BORDER, 5, 5, 150, 22, top,
                               reinterpret_cast<HMENU>(3), nullptr, nullptr);
    char text[32];
    EXPECT_EQ(GetWindowTextLength(edit), 7);
    GetWindowText(edit, text, sizeof text);
    EXPECT_STREQ(text, "Grüße");
    recorder.log.clear();
    SetWindowText(edit, "abc");
    int changes = 0;
    for (const auto& r : recorder.log)
        changes += r.msg == WM_COMMAND && HIWORD(r.wParam) == EN_CHANGE ? 1 : 0;
    EXPECT_EQ(changes, 1);

    SetFocus(edit);
    SendMessage(edit, EM_SETSEL, 3, 3);
    auto* line = static_cast<QLineEdit*>(platform::window::HostWidgetOf(edit)->focusProxy());
    ASSERT_NE(line, nullptr);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_D, Qt::NoModifier, QStringLiteral("d"));
    QApplication::sendEvent(line, &press);
    platform::window::PumpPendingMessages();
    GetWindowText(edit, text, sizeof text);
    EXPECT_STREQ(text, "abcd");
    EXPECT_TRUE(SendMessage(edit, EM_GETMODIFY, 0, 0));
    changes = 0;
    for (const auto& r : recorder.log)
        changes += r.msg == WM_COMMAND && HIWORD(r.wParam) == EN_CHANGE ? 1 : 0;
    EXPECT_EQ(changes, 2);

    EnableWindow(top, FALSE);
    QKeyEvent blocked(QEvent::KeyPress, Qt::Key_E, Qt::NoModifier, QStringLiteral("e"));
    QApplication::sendEvent(line, &blocked);
    GetWindowText(edit, text, sizeof text);
    EXPECT_STREQ(text, "abcd");
    EXPECT_TRUE(line->isEnabled());

    DWORD start = 9, end = 9;
    SendMessage(edit, EM_SETSEL, 1, 3);
    SendMessage(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, 1u);
    EXPECT_EQ(end, 3u);
}

TEST_F(DialogTest, BitmapsLoadFromFilesInTheirOwnRowOrder)
{
    testing_support::TempDir dir;
    // A 2 x 2, 24-bit, bottom-up file: bottom row blue, blue; top row red, white.
    std::vector<BYTE> file(14 + 40 + 16);
    BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(file.size()), 0, 0, 54};
    BITMAPINFOHEADER ih{40, 2, 2, 1, 24, BI_RGB, 16, 0, 0, 0, 0};
    std::memcpy(file.data(), &fh, 14);
    std::memcpy(file.data() + 14, &ih, 40);
    const BYTE rows[16] = {255, 0, 0, 255, 0, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0};
    std::memcpy(file.data() + 54, rows, 16);
    const auto path = dir.WriteFile("pic.bmp", std::string(file.begin(), file.end()));
    HBITMAP dib = reinterpret_cast<HBITMAP>(
        LoadImage(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    ASSERT_NE(dib, nullptr);
    DIBSECTION ds{};
    ASSERT_EQ(GetObject(dib, sizeof ds, &ds), static_cast<int>(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 24);
    EXPECT_EQ(ds.dsBmih.biHeight, 2);
    EXPECT_EQ(std::memcmp(ds.dsBm.bmBits, rows, 16), 0);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, dib);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 1, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 0, 1), RGB(0, 0, 255));
    DeleteDC(dc);
    DeleteObject(dib);

    const auto bad =
        dir.WriteFile("bad.bmp", "BMxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx");
    EXPECT_EQ(LoadImage(nullptr, bad.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
}

class ToolTipTest : public WindowFixture
{
protected:
    HWND MakeTip(DWORD style)
    {
        HWND tip = CreateWindowEx(0, TOOLTIPS_CLASS, nullptr, style, 0, 0, 0, 0, GetDesktopWindow(), nullptr,
                                  nullptr, nullptr);
        windows.push_back(tip);
        SendMessage(tip, TTM_SETDELAYTIME, TTDT_AUTOMATIC, 30);
        return tip;
    }
};

TEST_F(ToolTipTest, RelayedHoverShowsTheTipAfterItsDelayEvenOverAnInactiveWindow)
{
    HWND owner = Top(100, 100, 200, 100);
    HWND other = Top(400, 100, 50, 50);
    SetActiveWindow(other);
    HWND tip = MakeTip(TTS_ALWAYSTIP);
    EXPECT_EQ(GetWindowLongPtr(tip, GWL_EXSTYLE) & WS_EX_TOPMOST, WS_EX_TOPMOST);
    TOOLINFO ti{};
    ti.cbSize = sizeof ti;
    ti.hwnd = owner;
    ti.uId = 1;
    ti.rect = RECT{0, 0, 100, 50};
    ti.lpszText = const_cast<char*>("Take a photo");
    ASSERT_TRUE(SendMessage(tip, TTM_ADDTOOL, 0, reinterpret_cast<LPARAM>(&ti)));
    EXPECT_EQ(SendMessage(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
    SetCursorPos(110, 110);
    MSG move{owner, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10), 0, {110, 110}};
    SendMessage(tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&move));
    EXPECT_FALSE(IsWindowVisible(tip));
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(tip) != FALSE; }));
    char text[64];
    GetWindowText(tip, text, sizeof text);
    EXPECT_STREQ(text, "Take a photo");
    EXPECT_NE(GetActiveWindow(), tip);

    // A click takes the tip away; leaving the tool's rectangle too.
    MSG down{owner, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10), 0, {110, 110}};
    SendMessage(tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&down));
    EXPECT_FALSE(IsWindowVisible(tip));

    ti.lpszText = const_cast<char*>("Record");
    SendMessage(tip, TTM_UPDATETIPTEXT, 0, reinterpret_cast<LPARAM>(&ti));
    MSG away{owner, WM_MOUSEMOVE, 0, MAKELPARAM(150, 10), 0, {250, 110}};
    SendMessage(tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&away));
    SendMessage(tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&move));
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(tip) != FALSE; }));
    GetWindowText(tip, text, sizeof text);
    EXPECT_STREQ(text, "Record");
}

TEST_F(ToolTipTest, WithoutAlwaysTipOnlyTheActiveWindowsToolsShow)
{
    HWND owner = Top(100, 100, 200, 100);
    HWND other = Top(400, 100, 50, 50);
    SetActiveWindow(other);
    HWND tip = MakeTip(0);
    TOOLINFO ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND;
    ti.hwnd = owner;
    ti.uId = reinterpret_cast<UINT_PTR>(owner);
    ti.lpszText = const_cast<char*>("hidden");
    SendMessage(tip, TTM_ADDTOOL, 0, reinterpret_cast<LPARAM>(&ti));
    MSG move{owner, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10), 0, {110, 110}};
    SendMessage(tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&move));
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    platform::window::PumpPendingMessages();
    EXPECT_FALSE(IsWindowVisible(tip));
}

TEST_F(ToolTipTest, CallbackTextIsAskedOfTheToolsWindow)
{
    HWND owner = Top(100, 100, 200, 100);
    HWND tip = MakeTip(TTS_ALWAYSTIP);
    recorder.handlers[WM_NOTIFY] = [&](HWND, WPARAM, LPARAM l) -> LRESULT
    {
        auto* info = reinterpret_cast<NMTTDISPINFO*>(l);
        if (info->hdr.code == TTN_GETDISPINFO)
        {
            EXPECT_EQ(info->hdr.hwndFrom, tip);
            std::strcpy(info->szText, "asked");
        }
        return 0;
    };
    TOOLINFO ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = owner;
    ti.uId = reinterpret_cast<UINT_PTR>(owner);
    ti.lpszText = LPSTR_TEXTCALLBACK;
    SendMessage(tip, TTM_ADDTOOL, 0, reinterpret_cast<LPARAM>(&ti));
    SetCursorPos(110, 110);
    Mouse(owner, QEvent::MouseMove, QPoint(10, 10));
    ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(tip) != FALSE; }));
    char text[64];
    GetWindowText(tip, text, sizeof text);
    EXPECT_STREQ(text, "asked");
}
