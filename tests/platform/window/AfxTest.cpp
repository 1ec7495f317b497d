#include "DialogTemplateBuilder.h"
#include "WindowTestSupport.h"
#include "window_test_ids.h"

#include "platform/resources/Resources.h"
#include "platform/window/Controls.h"
#include "platform/window/DC.h"
#include "platform/window/Dialog.h"
#include "platform/window/WinApp.h"

#include <QKeyEvent>

#include <stdexcept>

using namespace window_test;

namespace
{
std::vector<std::string> g_calls;

class CBaseWnd : public CWnd
{
public:
    afx_msg void OnLButtonDown(UINT flags, CPoint point)
    {
        g_calls.push_back("base down " + std::to_string(point.x) + "," + std::to_string(point.y) +
                          ((flags & MK_LBUTTON) ? " left" : ""));
    }
    afx_msg LRESULT OnShared(WPARAM w, LPARAM)
    {
        g_calls.push_back("base shared");
        return static_cast<LRESULT>(w + 1);
    }
    afx_msg LRESULT OnThrow(WPARAM, LPARAM) { throw std::runtime_error("handler failed"); }

protected:
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseWnd, CWnd)
ON_WM_LBUTTONDOWN()
ON_MESSAGE(WM_APP, OnShared)
ON_MESSAGE(WM_APP + 9, OnThrow)
END_MESSAGE_MAP()

class CDerivedWnd : public CBaseWnd
{
public:
    afx_msg LRESULT OnShared(WPARAM w, LPARAM)
    {
        g_calls.push_back("derived shared");
        return static_cast<LRESULT>(w + 100);
    }
    afx_msg void OnTimer(UINT_PTR id) { g_calls.push_back("timer " + std::to_string(id)); }
    afx_msg int OnCreate(LPCREATESTRUCT cs)
    {
        g_calls.push_back(std::string("create ") + cs->lpszName);
        return 0;
    }
    void PostNcDestroy() override { g_calls.push_back("post nc destroy"); }

protected:
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedWnd, CBaseWnd)
ON_WM_CREATE()
ON_WM_TIMER()
ON_MESSAGE(WM_APP, OnShared)
END_MESSAGE_MAP()

/// A parent that records the commands and notifications that reach it.
class CParentWnd : public CWnd
{
public:
    afx_msg void OnFirst() { g_calls.push_back("parent first"); }
    afx_msg void OnSecond() { g_calls.push_back("parent second"); }
    afx_msg void OnRange(UINT id) { g_calls.push_back("parent range " + std::to_string(id)); }
    afx_msg void OnNotifyCode(NMHDR* header, LRESULT* result)
    {
        g_calls.push_back("parent notify " + std::to_string(header->idFrom));
        *result = 7;
    }

protected:
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CParentWnd, CWnd)
ON_BN_CLICKED(10, OnFirst)
ON_BN_CLICKED(11, OnSecond)
ON_COMMAND_RANGE(20, 29, OnRange)
ON_NOTIFY(NM_CLICK, 30, OnNotifyCode)
END_MESSAGE_MAP()

/// A button that handles its own click (the parent never sees it) and draws itself.
class CSelfButton : public CButton
{
public:
    afx_msg void OnClicked() { g_calls.push_back("self clicked"); }
    void DrawItem(LPDRAWITEMSTRUCT dis) override
    {
        g_calls.push_back("draw item");
        CDC* dc = CDC::FromHandle(dis->hDC);
        dc->FillSolidRect(&dis->rcItem, RGB(0, 128, 0));
    }
    afx_msg HBRUSH CtlColor(CDC*, UINT type)
    {
        g_calls.push_back("ctlcolor " + std::to_string(type));
        return nullptr;
    }

protected:
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CSelfButton, CButton)
ON_CONTROL_REFLECT(BN_CLICKED, OnClicked)
ON_WM_CTLCOLOR_REFLECT()
END_MESSAGE_MAP()

/// A button that looks at its click and lets the parent have it too.
class CSharingButton : public CButton
{
public:
    afx_msg BOOL OnClicked()
    {
        g_calls.push_back("sharing clicked");
        return FALSE;
    }

protected:
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CSharingButton, CButton)
ON_CONTROL_REFLECT_EX(BN_CLICKED, OnClicked)
END_MESSAGE_MAP()

class CColourLabel : public CStatic
{
public:
    CBrush brush{RGB(1, 2, 3)};
    afx_msg HBRUSH CtlColor(CDC* dc, UINT)
    {
        dc->SetTextColor(RGB(9, 9, 9));
        return brush;
    }

protected:
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CColourLabel, CStatic)
ON_WM_CTLCOLOR_REFLECT()
END_MESSAGE_MAP()

class CSampleDialog : public CDialog
{
public:
    explicit CSampleDialog(CWnd* parent = nullptr) : CDialog(IDD_AFX_SAMPLE, parent) {}
    CEdit m_edit;
    CString m_name = "Ada";
    std::function<void(CSampleDialog&)> script;
    bool initialised = false;
    bool destroyedThroughOverride = false;

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        initialised = true;
        PostMessage(WM_APP);
        return TRUE;
    }
    BOOL DestroyWindow() override
    {
        destroyedThroughOverride = true;
        return CDialog::DestroyWindow();
    }
    afx_msg LRESULT OnScript(WPARAM, LPARAM)
    {
        if (script)
            script(*this);
        return 0;
    }

protected:
    void DoDataExchange(CDataExchange* dx) override
    {
        CDialog::DoDataExchange(dx);
        DDX_Control(dx, IDC_AFX_EDIT, m_edit);
        DDX_Text(dx, IDC_AFX_EDIT, m_name);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CSampleDialog, CDialog)
ON_MESSAGE(WM_APP, OnScript)
END_MESSAGE_MAP()

void PressKey(HWND hwnd, int key)
{
    QWidget* w = platform::window::HostWidgetOf(hwnd);
    if (QWidget* proxy = w->focusProxy())
        w = proxy;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}
} // namespace

class AfxTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        g_calls.clear();
    }
};

TEST_F(AfxTest, MessageMapsFindDerivedHandlersFirstAndChainToTheBase)
{
    CDerivedWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, nullptr, "made", WS_POPUP | WS_VISIBLE, 10, 10, 100, 50, nullptr, nullptr));
    EXPECT_EQ(CWnd::FromHandlePermanent(wnd.m_hWnd), &wnd);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"create made"}));
    g_calls.clear();
    EXPECT_EQ(wnd.SendMessage(WM_APP, 1), 101);
    wnd.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 4));
    wnd.SendMessage(WM_TIMER, 5);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"derived shared", "base down 3,4 left", "timer 5"}));
    // Unhandled messages reach the window's own procedure.
    wnd.SetWindowText("title");
    CString text;
    wnd.GetWindowText(text);
    EXPECT_EQ(text, "title");

    CBaseWnd base;
    base.CreateEx(0, nullptr, "base", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);
    EXPECT_EQ(base.SendMessage(WM_APP, 1), 2);
    EXPECT_TRUE(base.IsKindOf(RUNTIME_CLASS(CWnd)));
    EXPECT_STREQ(base.GetRuntimeClass()->m_lpszClassName, "CWnd");
}

TEST_F(AfxTest, ExceptionsFromHandlersStopAtDispatch)
{
    CBaseWnd wnd;
    wnd.CreateEx(0, nullptr, "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);
    EXPECT_EQ(wnd.SendMessage(WM_APP + 9), 0);
    wnd.PostMessage(WM_APP + 9);
    wnd.PostMessage(WM_APP, 1);
    ASSERT_TRUE(PumpUntil([] { return !g_calls.empty(); }));
    EXPECT_EQ(g_calls, (std::vector<std::string>{"base shared"}));
}

TEST_F(AfxTest, DestroyingTheWindowDetachesTheObjectAndCallsPostNcDestroyLast)
{
    CDerivedWnd wnd;
    wnd.CreateEx(0, nullptr, "x", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);
    HWND hwnd = wnd.m_hWnd;
    g_calls.clear();
    EXPECT_TRUE(wnd.DestroyWindow());
    EXPECT_EQ(wnd.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(hwnd), nullptr);
    EXPECT_EQ(CWnd::FromHandle(hwnd), nullptr);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"post nc destroy"}));
}

TEST_F(AfxTest, SubclassingRoutesThroughTheObjectAndBackToTheWindowsProcedure)
{
    HWND plain = Top();
    recorder.handlers[WM_APP] = [](HWND, WPARAM, LPARAM) -> LRESULT { return 55; };
    CWnd* temp = CWnd::FromHandle(plain);
    EXPECT_EQ(temp, CWnd::FromHandle(plain));
    EXPECT_EQ(CWnd::FromHandlePermanent(plain), nullptr);

    CBaseWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(plain));
    EXPECT_EQ(CWnd::FromHandle(plain), &wnd);
    EXPECT_EQ(wnd.SendMessage(WM_APP, 1), 2);
    EXPECT_EQ(wnd.SendMessage(WM_APP + 1), 0);
    EXPECT_EQ(recorder.Count(plain, WM_APP + 1), 1);
    EXPECT_EQ(wnd.UnsubclassWindow(), plain);
    EXPECT_EQ(SendMessage(plain, WM_APP, 0, 0), 55);
    EXPECT_EQ(GetWindowLongPtr(plain, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(RecordingProc));
}

TEST_F(AfxTest, CommandsNotificationsAndReflectionReachTheirHandlers)
{
    CParentWnd parent;
    parent.CreateEx(0, nullptr, "parent", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr);
    CSelfButton self;
    self.Create("self", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, CRect(0, 0, 50, 20), &parent, 10);
    CSharingButton sharing;
    sharing.Create("sharing", WS_CHILD | WS_VISIBLE, CRect(60, 0, 110, 20), &parent, 11);
    CButton plain;
    plain.Create("plain", WS_CHILD | WS_VISIBLE, CRect(120, 0, 170, 20), &parent, 25);

    self.SendMessage(BM_CLICK);
    sharing.SendMessage(BM_CLICK);
    plain.SendMessage(BM_CLICK);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"self clicked", "sharing clicked", "parent second",
                                                 "parent range 25"}));

    g_calls.clear();
    NMHDR header{self.m_hWnd, 30, NM_CLICK};
    EXPECT_EQ(parent.SendMessage(WM_NOTIFY, 30, reinterpret_cast<LPARAM>(&header)), 7);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"parent notify 30"}));

    // The owner-drawn button is drawn by its own DrawItem, asked through its parent.
    g_calls.clear();
    self.Invalidate();
    self.UpdateWindow();
    EXPECT_EQ(g_calls, (std::vector<std::string>{"ctlcolor 3", "draw item"}));
    EXPECT_EQ(Pixel(platform::window::ClientImage(self.m_hWnd), 5, 5), RGB(0, 128, 0));
}

TEST_F(AfxTest, ReflectedColourComesFromTheControlWhenItGivesABrush)
{
    CWnd parent;
    parent.CreateEx(0, nullptr, "parent", WS_POPUP, 0, 0, 100, 50, nullptr, nullptr);
    CColourLabel label;
    label.Create("label", WS_CHILD | WS_VISIBLE, CRect(0, 0, 50, 20), &parent, 5);
    CStatic other;
    other.Create("other", WS_CHILD | WS_VISIBLE, CRect(0, 20, 50, 40), &parent, 6);
    HDC dc = GetDC(label.m_hWnd);
    EXPECT_EQ(parent.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(label.m_hWnd)),
              reinterpret_cast<LRESULT>(static_cast<HBRUSH>(label.brush)));
    EXPECT_EQ(GetTextColor(dc), RGB(9, 9, 9));
    EXPECT_EQ(parent.SendMessage(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(other.m_hWnd)),
              reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE)));
    ReleaseDC(label.m_hWnd, dc);
}

TEST_F(AfxTest, DialogFromItsTemplateResourceRunsModallyWithDataExchange)
{
    HWND owner = Top();
    CWnd ownerWnd;
    ownerWnd.Attach(owner);
    CSampleDialog dlg(&ownerWnd);
    bool ownerDisabled = false;
    dlg.script = [&](CSampleDialog& d)
    {
        ownerDisabled = !IsWindowEnabled(owner);
        char text[32];
        d.m_edit.GetWindowText(text, sizeof text);
        EXPECT_STREQ(text, "Ada");
        EXPECT_TRUE(d.m_edit.IsKindOf(RUNTIME_CLASS(CEdit)));
        EXPECT_EQ(CWnd::FromHandlePermanent(d.m_edit.m_hWnd), &d.m_edit);
        d.m_edit.SetWindowText("Grace");
        HWND picture = ::GetDlgItem(d.m_hWnd, IDC_AFX_PICTURE);
        auto bitmap = reinterpret_cast<HBITMAP>(::SendMessage(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
        BITMAP bm{};
        EXPECT_EQ(GetObject(bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
        EXPECT_EQ(bm.bmWidth, 4);
        d.m_edit.SetFocus();
        // Enter in the edit presses the default button.
        PressKey(d.m_edit.m_hWnd, Qt::Key_Return);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_TRUE(dlg.initialised);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_TRUE(dlg.destroyedThroughOverride);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
    EXPECT_EQ(dlg.m_edit.m_hWnd, nullptr);
    EXPECT_EQ(dlg.m_name, "Grace");
    ownerWnd.Detach();
}

TEST_F(AfxTest, CancelEndsTheDialogWithoutSavingData)
{
    CSampleDialog dlg;
    dlg.script = [](CSampleDialog& d)
    {
        d.m_edit.SetWindowText("changed");
        d.SendMessage(WM_CLOSE);
    };
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.m_name, "Ada");
}

TEST_F(AfxTest, NestedDialogsEachEndTheirOwnLoop)
{
    CSampleDialog outer;
    std::vector<std::string> order;
    outer.script = [&](CSampleDialog& o)
    {
        CSampleDialog inner(&o);
        inner.script = [&](CSampleDialog& i)
        {
            EXPECT_FALSE(o.IsWindowEnabled());
            order.push_back("inner");
            i.EndDialog(7);
        };
        order.push_back("inner returned " + std::to_string(inner.DoModal()));
        EXPECT_TRUE(o.IsWindowEnabled());
        o.EndDialog(8);
    };
    EXPECT_EQ(outer.DoModal(), 8);
    EXPECT_EQ(order, (std::vector<std::string>{"inner", "inner returned 7"}));
}

TEST_F(AfxTest, ModelessDialogFromAResourceAndAMissingTemplate)
{
    CSampleDialog dlg;
    ASSERT_TRUE(dlg.Create(IDD_AFX_SAMPLE));
    EXPECT_TRUE(dlg.initialised);
    EXPECT_EQ(dlg.GetDlgItem(IDC_AFX_LABEL)->GetDlgCtrlID(), IDC_AFX_LABEL);
    dlg.DestroyWindow();
    CDialog missing(4242);
    EXPECT_EQ(missing.DoModal(), -1);
    EXPECT_FALSE(missing.Create(4242));
}

TEST_F(AfxTest, DcAndGdiWrappersDrawAndHandTemporaryObjectsBack)
{
    CWnd wnd;
    wnd.CreateEx(0, nullptr, "", WS_POPUP, 0, 0, 40, 40, nullptr, nullptr);
    {
        CClientDC dc(&wnd);
        CBrush red(RGB(255, 0, 0));
        CBrush* old = dc.SelectObject(&red);
        ASSERT_NE(old, nullptr);
        EXPECT_EQ(old, CBrush::FromHandle(static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))));
        dc.SelectStockObject(NULL_PEN);
        dc.Rectangle(0, 0, 11, 11);
        dc.SelectObject(old);
        dc.FillSolidRect(20, 20, 5, 5, RGB(0, 0, 255));
        EXPECT_EQ(dc.GetBkColor(), RGB(0, 0, 255));
    }
    const QImage picture = platform::window::ClientImage(wnd.m_hWnd);
    EXPECT_EQ(Pixel(picture, 9, 9), RGB(255, 0, 0));
    EXPECT_EQ(Pixel(picture, 22, 22), RGB(0, 0, 255));

    CFont font;
    ASSERT_TRUE(font.CreatePointFont(85, "Arial"));
    LOGFONT lf{};
    font.GetLogFont(&lf);
    EXPECT_EQ(lf.lfHeight, -11);
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.LoadBitmap(IDB_AFX_PICTURE));
    BITMAP bm{};
    bitmap.GetBitmap(&bm);
    EXPECT_EQ(bm.bmWidth, 4);
    EXPECT_EQ(bm.bmHeight, 2);
    CDC mem;
    mem.CreateCompatibleDC(nullptr);
    CBitmap* previous = mem.SelectObject(&bitmap);
    EXPECT_EQ(mem.GetPixel(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(mem.GetPixel(3, 0), RGB(0, 0, 255));
    EXPECT_EQ(mem.GetPixel(0, 1), RGB(0, 255, 0));
    mem.SelectObject(previous);

    CRgn a, b, c;
    a.CreateRectRgn(0, 0, 10, 10);
    b.CreateRectRgn(5, 5, 15, 15);
    c.CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(c.CombineRgn(&a, &b, RGN_OR), COMPLEXREGION);
    EXPECT_TRUE(c.PtInRegion(12, 12));
}

TEST_F(AfxTest, ToolTipControlShowsTheTipOfAWindowTool)
{
    CWnd parent;
    parent.CreateEx(0, nullptr, "parent", WS_POPUP | WS_VISIBLE, 100, 100, 200, 100, nullptr, nullptr);
    CButton button;
    button.Create("b", WS_CHILD | WS_VISIBLE, CRect(10, 10, 60, 30), &parent, 3);
    CToolTipCtrl tip;
    // Owned by the desktop, as a tooltip shared by several windows is.
    ASSERT_TRUE(tip.Create(CWnd::GetDesktopWindow(), TTS_ALWAYSTIP));
    EXPECT_EQ(tip.GetOwner(), nullptr);
    tip.SetDelayTime(20);
    ASSERT_TRUE(tip.AddTool(&button, IDS_AFX_TIP));
    EXPECT_EQ(tip.GetToolCount(), 1);
    tip.Activate(TRUE);
    SetCursorPos(115, 115);
    MSG move{button.m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5), 0, {115, 115}};
    tip.RelayEvent(&move);
    ASSERT_TRUE(PumpUntil([&] { return tip.IsWindowVisible() != FALSE; }));
    CString text;
    tip.GetWindowText(text);
    EXPECT_EQ(text, "Take a photo");
}

namespace
{
struct App : CWinApp
{
    App() : CWinApp("QPX_SE") {}
    BOOL InitInstance() override
    {
        SetRegistryKey("Tavisk");
        WriteProfileInt("Settings", "Runs", 3);
        PostQuitMessage(4);
        return TRUE;
    }
    int ExitInstance() override { return CWinApp::ExitInstance() + 10; }
};

[[noreturn]] void RunApplication()
{
    App app;
    const bool mine = AfxGetApp() == &app;
    char name[] = "brevicam_test";
    char* argv[] = {name, nullptr};
    const int code = AfxWinMain(1, argv);
    const bool stored = app.GetProfileInt("Settings", "Runs", 0) == 3;
    std::exit(mine && stored && code == 14 ? 0 : 1);
}
} // namespace

TEST(AfxAppTest, ApplicationObjectKeepsItsProfileAndRunsUntilQuit)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunApplication(), ::testing::ExitedWithCode(0), "");
}
