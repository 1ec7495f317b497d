#include "Controls/TransparentDialogBase.h"

#include "tests/controls/ControlsTestSupport.h"
#include "tests/controls/controls_test_ids.h"

using namespace controls_test;

namespace
{
class SkinnedDialog : public CTransparentDialogBase
{
public:
    SkinnedDialog(CWnd* parent, UINT png = IDP_DIALOG)
        : CTransparentDialogBase(png, IDD_SKINNED, parent, TRUE)
    {
    }
    explicit SkinnedDialog(UINT png) : CTransparentDialogBase(png) {}
    std::function<void(SkinnedDialog&)> onInit;
    BOOL OnInitDialog() override
    {
        CTransparentDialogBase::OnInitDialog();
        if (onInit)
            onInit(*this);
        return TRUE;
    }
    using CTransparentDialogBase::m_bDragging;
    using CTransparentDialogBase::m_ptPress;
};

class TransparentDialogBaseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        owner.CreateEx(0, AfxRegisterWndClass(0), "owner", WS_POPUP | WS_VISIBLE, 300, 300, 50, 50, nullptr,
                       nullptr);
    }
    void TearDown() override
    {
        owner.DestroyWindow();
        Pump();
    }
    /// Creates the modeless dialog and shows it at (40, 50).
    void ShowModeless(SkinnedDialog& dialog)
    {
        ASSERT_TRUE(dialog.Create(IDD_SKINNED, &owner));
        dialog.SetWindowPos(nullptr, 40, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        dialog.ShowWindow(SW_SHOW);
        Pump();
    }
    CWnd owner;
};
} // namespace

TEST_F(TransparentDialogBaseTest, ModelessDialogTakesSizeShapeAndPictureFromItsPng)
{
    SkinnedDialog dialog(IDP_DIALOG);
    ASSERT_NO_FATAL_FAILURE(ShowModeless(dialog));

    EXPECT_EQ(dialog.GetStyle() & WS_CAPTION, 0u);
    CRect rect;
    dialog.GetWindowRect(&rect);
    EXPECT_EQ(rect.Width(), 120);
    EXPECT_EQ(rect.Height(), 80);

    HWND layered = dialog.GetLayeredWindow();
    ASSERT_NE(layered, nullptr);
    EXPECT_EQ(::GetWindow(dialog, GW_OWNER), layered);
    EXPECT_EQ(dialog.GetParent()->GetSafeHwnd(), owner.GetSafeHwnd());
    EXPECT_TRUE(::IsWindowVisible(layered));
    CRect layeredRect;
    ::GetWindowRect(layered, &layeredRect);
    EXPECT_EQ(layeredRect, rect);

    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(dialog.GetWindowRgn(region), ERROR);
    EXPECT_FALSE(PtInRegion(region, 0, 0));
    EXPECT_FALSE(PtInRegion(region, 9, 0));
    EXPECT_TRUE(PtInRegion(region, 10, 0));
    EXPECT_FALSE(PtInRegion(region, 50, 79)) << "semi-transparent pixels are left to the layered window";
    EXPECT_TRUE(PtInRegion(region, 50, 78));
    DeleteObject(region);

    const QImage client = Grab(dialog);
    EXPECT_EQ(Pixel(client, 60, 40), RGB(40, 44, 52));

    // The layered window shows the PNG with its alpha; without a compositor (as here) the layer cuts it
    // to its visible pixels, and the colours are the PNG's.
    QWidget* shown = platform::window::HostWidgetOf(layered);
    ASSERT_NE(shown, nullptr);
    const QImage picture = platform::window::ClientImage(layered);
    EXPECT_FALSE(shown->mask().contains(QPoint(0, 0)));
    EXPECT_TRUE(shown->mask().contains(QPoint(60, 40)));
    EXPECT_EQ(Pixel(shown->grab().toImage(), 60, 40), RGB(40, 44, 52));

    dialog.MoveWindow(CRect(70, 90, 190, 170));
    ::GetWindowRect(layered, &layeredRect);
    EXPECT_EQ(layeredRect.TopLeft(), CPoint(70, 90));
    dialog.DestroyWindow();
    EXPECT_FALSE(::IsWindow(layered));
}

TEST_F(TransparentDialogBaseTest, ARightToLeftDialogIsCutWhereItsPictureIsSeen)
{
    SkinnedDialog plain(IDP_DIALOG);
    ASSERT_NO_FATAL_FAILURE(ShowModeless(plain));
    SkinnedDialog mirrored(IDP_DIALOG);
    ASSERT_TRUE(mirrored.Create(IDD_SKINNED_RTL, &owner));
    mirrored.SetWindowPos(nullptr, 200, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    mirrored.ShowWindow(SW_SHOW);
    Pump();
    ASSERT_TRUE(mirrored.GetExStyle() & WS_EX_LAYOUTRTL);

    // Its region counts from its upper-right corner: the picture's opaque area read from the right.
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_NE(mirrored.GetWindowRgn(region), ERROR);
    EXPECT_FALSE(PtInRegion(region, 119, 0));
    EXPECT_FALSE(PtInRegion(region, 110, 0));
    EXPECT_TRUE(PtInRegion(region, 109, 0));
    EXPECT_FALSE(PtInRegion(region, 69, 79));
    DeleteObject(region);

    // On the screen it has the picture's own shape, that of the left-to-right dialog and of its layered
    // window, which show the picture the right way round.
    const QRegion shape = platform::window::HostWidgetOf(mirrored)->mask();
    EXPECT_FALSE(shape.contains(QPoint(9, 0)));
    EXPECT_TRUE(shape.contains(QPoint(10, 0)));
    EXPECT_EQ(shape, platform::window::HostWidgetOf(plain)->mask());
    EXPECT_EQ(platform::window::HostWidgetOf(mirrored.GetLayeredWindow())->mask(),
              platform::window::HostWidgetOf(plain.GetLayeredWindow())->mask());
    // And shows the picture where the shape lets it through.
    EXPECT_EQ(Pixel(Grab(mirrored), 60, 40), RGB(40, 44, 52));
    EXPECT_EQ(Pixel(Grab(mirrored), 115, 40), RGB(40, 44, 52));
    mirrored.DestroyWindow();
    plain.DestroyWindow();
}

TEST_F(TransparentDialogBaseTest, MissingPngLeavesThePlainDialog)
{
    SkinnedDialog dialog(4242);
    ASSERT_TRUE(dialog.Create(IDD_SKINNED, &owner));
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(dialog.GetWindowRgn(region), ERROR);
    DeleteObject(region);
    dialog.DestroyWindow();
}

struct ModalCase
{
    const char* name;
    bool ownerEnabledBefore;
};

class TransparentDialogBaseModalTest : public TransparentDialogBaseTest,
                                       public ::testing::WithParamInterface<ModalCase>
{
};

TEST_P(TransparentDialogBaseModalTest, RunsModallyAndGivesTheOwnerItsEnabledStateBack)
{
    owner.EnableWindow(GetParam().ownerEnabledBefore);
    SkinnedDialog dialog(&owner);
    bool ownerDisabledWhileRunning = false;
    INT_PTR nested = -1;
    dialog.onInit = [&](SkinnedDialog& d)
    {
        ownerDisabledWhileRunning = !owner.IsWindowEnabled();
        nested = d.DoModal();
        d.PostMessage(WM_COMMAND, IDOK);
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_TRUE(ownerDisabledWhileRunning);
    EXPECT_EQ(nested, 0) << "a second DoModal only shows the dialog again";
    EXPECT_EQ(owner.IsWindowEnabled() != FALSE, GetParam().ownerEnabledBefore);
    EXPECT_EQ(dialog.GetLayeredWindow(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Owner, TransparentDialogBaseModalTest,
                         ::testing::Values(ModalCase{"Enabled", true}, ModalCase{"AlreadyDisabled", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TransparentDialogBaseTest, CountedEnableNeedsAsManyEnablesAsDisables)
{
    SkinnedDialog dialog(IDP_DIALOG);
    ASSERT_TRUE(dialog.Create(IDD_SKINNED, &owner));
    dialog.SendMessage(WM_ENABLE_COUNTED, 0);
    dialog.SendMessage(WM_ENABLE_COUNTED, 0);
    dialog.SendMessage(WM_ENABLE_COUNTED, 1);
    EXPECT_FALSE(dialog.IsWindowEnabled());
    dialog.SendMessage(WM_ENABLE_COUNTED, 1);
    EXPECT_TRUE(dialog.IsWindowEnabled());
    EXPECT_EQ(dialog.SendMessage(WM_MODAL_TASK_STATE, 0), 0);
    EXPECT_EQ(dialog.SendMessage(WM_MODAL_TASK_STATE, 1), 0);
    EXPECT_TRUE(dialog.IsWindowEnabled());
    dialog.DestroyWindow();
}

TEST_F(TransparentDialogBaseTest, DragsByTheBackgroundWithTheLayeredWindow)
{
    SkinnedDialog dialog(IDP_DIALOG);
    ASSERT_TRUE(dialog.Create(IDD_SKINNED, &owner));
    dialog.SetWindowPos(nullptr, 200, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    dialog.ShowWindow(SW_SHOW);
    Pump();

    Mouse(dialog, QEvent::MouseButtonPress, QPoint(30, 30), Qt::LeftButton);
    EXPECT_TRUE(dialog.m_bDragging);
    EXPECT_EQ(dialog.m_ptPress, CPoint(30, 30));
    Mouse(dialog, QEvent::MouseMove, QPoint(45, 20), Qt::LeftButton);
    CRect rect;
    dialog.GetWindowRect(&rect);
    EXPECT_EQ(rect.TopLeft(), CPoint(215, 190));
    CRect layered;
    ::GetWindowRect(dialog.GetLayeredWindow(), &layered);
    EXPECT_EQ(layered.TopLeft(), CPoint(215, 190));

    Mouse(dialog, QEvent::MouseButtonRelease, QPoint(30, 30), Qt::NoButton);
    EXPECT_FALSE(dialog.m_bDragging);
    Mouse(dialog, QEvent::MouseMove, QPoint(60, 60), Qt::NoButton);
    dialog.GetWindowRect(&rect);
    EXPECT_EQ(rect.TopLeft(), CPoint(215, 190)) << "no drag after the release";
    dialog.DestroyWindow();
}

TEST_F(TransparentDialogBaseTest, ARightToLeftDialogDragsWithThePointer)
{
    SkinnedDialog dialog(IDP_DIALOG);
    ASSERT_TRUE(dialog.Create(IDD_SKINNED_RTL, &owner));
    dialog.SetWindowPos(nullptr, 200, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    dialog.ShowWindow(SW_SHOW);
    Pump();
    // Client points count from the right edge: from 30 to 45 is 15 pixels to the left on the screen.
    Mouse(dialog, QEvent::MouseButtonPress, QPoint(30, 30), Qt::LeftButton);
    EXPECT_EQ(dialog.m_ptPress, CPoint(30, 30));
    Mouse(dialog, QEvent::MouseMove, QPoint(45, 20), Qt::LeftButton);
    CRect rect;
    dialog.GetWindowRect(&rect);
    EXPECT_EQ(rect.TopLeft(), CPoint(185, 190));
    CRect layered;
    ::GetWindowRect(dialog.GetLayeredWindow(), &layered);
    EXPECT_EQ(layered.TopLeft(), CPoint(185, 190));
    Mouse(dialog, QEvent::MouseButtonRelease, QPoint(45, 20), Qt::NoButton);
    dialog.DestroyWindow();
}

namespace
{
class RefreshProbe : public CButton
{
public:
    int received = 0;
    COLORREF seen = CLR_INVALID;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_REFRESH_BUTTON_BKGND)
        {
            ++received;
            seen = reinterpret_cast<CDC*>(wParam)->GetPixel(60, 40);
            return 0;
        }
        return CButton::WindowProc(message, wParam, lParam);
    }
};
} // namespace

TEST_F(TransparentDialogBaseTest, ErasingSendsTheRefreshMessageToButtonsOnly)
{
    SkinnedDialog dialog(IDP_DIALOG);
    ASSERT_TRUE(dialog.Create(IDD_SKINNED, &owner));
    RefreshProbe probe;
    ASSERT_TRUE(probe.SubclassDlgItem(IDC_FIRST, &dialog));

    CTransparentDialogBase::SetRefreshMessage(WM_REFRESH_BUTTON_BKGND);
    dialog.ShowWindow(SW_SHOW);
    dialog.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    Pump();
    EXPECT_GE(probe.received, 1);
    EXPECT_EQ(probe.seen, RGB(40, 44, 52)) << "the DC holds the dialog's background";

    CTransparentDialogBase::SetRefreshMessage(0);
    probe.received = 0;
    dialog.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    Pump();
    EXPECT_EQ(probe.received, 0);
    dialog.DestroyWindow();
}

TEST_F(TransparentDialogBaseTest, DraggingStopsWhenLessThan35PixelsStayInTheWorkArea)
{
    RECT work{};
    ASSERT_TRUE(SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0));
    SkinnedDialog dialog(IDP_DIALOG);
    ASSERT_TRUE(dialog.Create(IDD_SKINNED, &owner));
    dialog.SetWindowPos(nullptr, 200, work.top + 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    dialog.ShowWindow(SW_SHOW);
    Pump();

    Mouse(dialog, QEvent::MouseButtonPress, QPoint(30, 30), Qt::LeftButton);
    // 80 pixels tall at 10 below the top: moving up by 56 would leave 34.
    Mouse(dialog, QEvent::MouseMove, QPoint(30, 30 - 56), Qt::LeftButton);
    CRect rect;
    dialog.GetWindowRect(&rect);
    EXPECT_EQ(rect.top, work.top + 10) << "the move is refused";
    EXPECT_EQ(dialog.m_ptPress, CPoint(30, 30 - 56)) << "and the press point re-based";
    // Back down a little moves at once, from the re-based point.
    Mouse(dialog, QEvent::MouseMove, QPoint(30, 30 - 56 + 5), Qt::LeftButton);
    dialog.GetWindowRect(&rect);
    EXPECT_EQ(rect.top, work.top + 15);
    Mouse(dialog, QEvent::MouseButtonRelease, QPoint(30, 30), Qt::NoButton);
    dialog.DestroyWindow();
}

TEST_F(TransparentDialogBaseTest, DialogObjectGoingAwayTakesBothWindowsWithIt)
{
    HWND layered = nullptr;
    HWND window = nullptr;
    {
        SkinnedDialog dialog(IDP_DIALOG);
        ASSERT_TRUE(dialog.Create(IDD_SKINNED, &owner));
        layered = dialog.GetLayeredWindow();
        window = dialog.GetSafeHwnd();
    }
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_FALSE(::IsWindow(layered));
}

TEST_F(TransparentDialogBaseTest, CloseRequestForTheBackgroundGoesToTheDialog)
{
    struct ClosingDialog : SkinnedDialog
    {
        using SkinnedDialog::SkinnedDialog;
        int closeRequests = 0;
        LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
        {
            if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE)
            {
                ++closeRequests;
                return 0;
            }
            return SkinnedDialog::WindowProc(message, wParam, lParam);
        }
    };
    ClosingDialog dialog(IDP_DIALOG);
    ASSERT_TRUE(dialog.Create(IDD_SKINNED, &owner));
    HWND layered = dialog.GetLayeredWindow();
    ASSERT_NE(layered, nullptr);
    // What the window manager's close button, Alt+F4 or the taskbar ask of the window they see.
    ::SendMessage(layered, WM_SYSCOMMAND, SC_CLOSE, 0);
    ::SendMessage(layered, WM_CLOSE, 0, 0);
    EXPECT_EQ(dialog.closeRequests, 2);
    EXPECT_TRUE(::IsWindow(layered));
    EXPECT_TRUE(::IsWindow(dialog.GetSafeHwnd()));
}

namespace
{
struct MinimiseCase
{
    const char* name;
    std::function<void(HWND)> minimise;
    std::function<void(HWND)> restore;
};

void PrintTo(const MinimiseCase& value, std::ostream* os)
{
    *os << value.name;
}

class TransparentDialogBaseMinimiseTest : public TransparentDialogBaseTest,
                                          public ::testing::WithParamInterface<MinimiseCase>
{
};
} // namespace

TEST_P(TransparentDialogBaseMinimiseTest, MinimisedDialogLeavesNothingOnScreenAndComesBackWhole)
{
    SkinnedDialog dialog(IDP_DIALOG);
    ASSERT_NO_FATAL_FAILURE(ShowModeless(dialog));
    const HWND layered = dialog.GetLayeredWindow();
    CRect before;
    dialog.GetWindowRect(&before);
    ASSERT_TRUE(ShowsOnScreen(dialog));
    ASSERT_TRUE(ShowsOnScreen(layered));

    GetParam().minimise(dialog);
    Pump();
    EXPECT_TRUE(dialog.IsIconic());
    EXPECT_FALSE(ShowsOnScreen(dialog));
    EXPECT_FALSE(ShowsOnScreen(layered)) << "the skin's translucent background stayed behind";
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    dialog.GetWindowPlacement(&placement);
    EXPECT_EQ(CRect(placement.rcNormalPosition), before) << "the place to come back to is kept";

    GetParam().restore(dialog);
    Pump();
    EXPECT_FALSE(dialog.IsIconic());
    CRect after;
    dialog.GetWindowRect(&after);
    EXPECT_EQ(after, before);
    CRect layeredRect;
    ::GetWindowRect(layered, &layeredRect);
    EXPECT_EQ(layeredRect, before);
    EXPECT_TRUE(ShowsOnScreen(dialog));
    EXPECT_TRUE(ShowsOnScreen(layered));
    EXPECT_EQ(Pixel(platform::window::HostWidgetOf(layered)->grab().toImage(), 60, 40), RGB(40, 44, 52));
    dialog.DestroyWindow();
}

INSTANTIATE_TEST_SUITE_P(
    Routes, TransparentDialogBaseMinimiseTest,
    ::testing::Values(MinimiseCase{"ShowWindow", [](HWND h) { ::ShowWindow(h, SW_MINIMIZE); },
                                   [](HWND h) { ::ShowWindow(h, SW_RESTORE); }},
                      MinimiseCase{"SystemMenu",
                                   [](HWND h) { ::SendMessage(h, WM_SYSCOMMAND, SC_MINIMIZE, 0); },
                                   [](HWND h) { ::SendMessage(h, WM_SYSCOMMAND, SC_RESTORE, 0); }},
                      MinimiseCase{"Placement",
                                   [](HWND h)
                                   {
                                       WINDOWPLACEMENT p{};
                                       p.length = sizeof p;
                                       ::GetWindowPlacement(h, &p);
                                       p.showCmd = SW_SHOWMINIMIZED;
                                       ::SetWindowPlacement(h, &p);
                                   },
                                   [](HWND h) { ::ShowWindow(h, SW_SHOWNORMAL); }}),
    [](const auto& info) { return std::string(info.param.name); });
