#include "brevicam/ui/LiveVideo.h"

#include "SurfaceTestSupport.h"

#include "brevicam/capture/CaptureController.h"
#include "brevicam/capture/WindowlessRenderer.h"
#include "brevicam/core/ResourceInstance.h"
#include "platform/window/DC.h"
#include "platform/window/QtHost.h"
#include "platform/window/WinGdi.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

using namespace surface_test;

namespace
{
constexpr int kSurfaceId = 1002;
constexpr int kWidth = 320;
constexpr int kHeight = 240;

/// The surface with its paints and its notifications counted.
class CountingSurface : public CLiveVideo
{
public:
    using CLiveVideo::CLiveVideo;
    void Update(CSubject* subject) override
    {
        ++updates;
        CLiveVideo::Update(subject);
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_PAINT)
            ++paints;
        return CLiveVideo::WindowProc(message, wParam, lParam);
    }
    int updates = 0;
    int paints = 0;
};

bool Near(QRgb pixel, int r, int g, int b, int tolerance = 48)
{
    return std::abs(qRed(pixel) - r) <= tolerance && std::abs(qGreen(pixel) - g) <= tolerance &&
           std::abs(qBlue(pixel) - b) <= tolerance;
}

/// Whether the picture shows the seven colour bars of the camera's test pattern across its upper part
/// (below the clock the camera draws in the top-left corner).
bool ShowsColourBars(const QImage& image)
{
    if (image.width() < 7 || image.height() < 4)
        return false;
    static const int bars[7][3] = {{192, 192, 192}, {192, 192, 0}, {0, 192, 192}, {0, 192, 0},
                                   {192, 0, 192},   {192, 0, 0},   {0, 0, 192}};
    const int y = image.height() * 2 / 5;
    for (int i = 0; i < 7; ++i)
    {
        const int x = (2 * i + 1) * image.width() / 14;
        if (!Near(image.pixel(x, y), bars[i][0], bars[i][1], bars[i][2]))
            return false;
    }
    return true;
}

bool AllOf(const QImage& image, COLORREF colour)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!Near(image.pixel(x, y), GetRValue(colour), GetGValue(colour), GetBValue(colour), 0))
                return false;
    return !image.isNull();
}

class LiveVideoTest : public ControllerFixture
{
protected:
    void TearDown() override
    {
        // The surface goes before the controller it observes, as the main dialog's window goes before
        // the program tears the controller down.
        m_surface.reset();
        ControllerFixture::TearDown();
    }

    CountingSurface& MakeSurface(CCaptureController* controller)
    {
        m_surface = std::make_unique<CountingSurface>(controller);
        EXPECT_TRUE(m_surface->Create(nullptr, WS_CHILD | WS_VISIBLE,
                                      CRect(63, 77, 63 + kWidth, 77 + kHeight),
                                      CWnd::FromHandle(m_host->Handle()), kSurfaceId));
        return *m_surface;
    }

    /// The surface's pixels after it was invalidated and every pending message was handled.
    QImage Repainted()
    {
        m_surface->Invalidate(TRUE);
        m_surface->UpdateWindow();
        PumpFor(50);
        return platform::window::ClientImage(m_surface->GetSafeHwnd());
    }

    void SetVideoState(EVideoState state)
    {
        m_controller->m_pVideoState->m_state = state;
        m_controller->m_pVideoState->Notify();
    }

    std::unique_ptr<CountingSurface> m_surface;
};

/// What the surface should show for a text: black, and the text in white in the band a quarter of the way
/// down, drawn into a plain window of the same size.
QImage ExpectedMessage(HWND host, UINT textId)
{
    HWND plain = CreateWindowEx(0, "Static", "", WS_CHILD | WS_VISIBLE, 0, 0, kWidth, kHeight, host, nullptr,
                                nullptr, nullptr);
    HDC dc = GetDC(plain);
    RECT client{0, 0, kWidth, kHeight};
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    const int height = GetDeviceCaps(dc, LOGPIXELSY) == 120 ? 144 : 120;
    RECT band{0, kHeight / 4 - height / 4, kWidth, kHeight / 4 - height / 4 + height};
    CString text;
    text.LoadString(AppResourceInstance(), textId);
    EXPECT_FALSE(text.IsEmpty()) << "string " << textId;
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    DrawText(dc, text, -1, &band, DT_CENTER | DT_WORDBREAK);
    ReleaseDC(plain, dc);
    QImage image = platform::window::ClientImage(plain);
    DestroyWindow(plain);
    return image;
}
} // namespace

TEST_F(LiveVideoTest, ShowsTheCamerasPictureDrawnByTheController)
{
    Plug();
    CCaptureController& controller = MakeController();
    CountingSurface& surface = MakeSurface(&controller);
    controller.StartPreview();
    controller.SetMainWindow(surface.GetSafeHwnd());
    ASSERT_EQ(controller.m_pVideoState->GetState(), VS_RUNNING);
    ASSERT_NE(controller.m_graph.GetRenderer(), nullptr);
    EXPECT_EQ(controller.m_graph.GetRenderer()->GetVideoWindow(), surface.GetSafeHwnd());

    QImage image;
    // The bounds only end a run that hangs; a loaded machine may take long for the first frames.
    for (int i = 0; i < 1200 && !ShowsColourBars(image); ++i)
    {
        PumpFor(50);
        image = platform::window::ClientImage(surface.GetSafeHwnd());
    }
    ASSERT_EQ(image.size(), QSize(kWidth, kHeight));
    EXPECT_TRUE(ShowsColourBars(image)) << "no colour bars on the surface";

    // A paint of the live picture fills the background and has the renderer draw the frame again; the
    // parent hears of the paint.
    m_host->ResetCounts();
    image = Repainted();
    // The notice to the parent is posted; it may come after the picture is back.
    for (int i = 0; i < 1200 && (!ShowsColourBars(image) || m_host->Notices() < 1); ++i)
    {
        PumpFor(50);
        image = platform::window::ClientImage(surface.GetSafeHwnd());
    }
    EXPECT_TRUE(ShowsColourBars(image)) << "the repainted picture lacks the colour bars";
    EXPECT_GE(m_host->Notices(), 1);

    // What the window system composes on screen: the parent, repainted on the notice, with the picture
    // on top of it.
    PumpFor(100);
    QWidget* host = platform::window::HostWidgetOf(m_host->Handle());
    ASSERT_NE(host, nullptr);
    const QImage composed = host->grab().toImage().copy(63, 77, kWidth, kHeight);
    EXPECT_TRUE(ShowsColourBars(composed)) << "the parent covers the picture on screen";
}

struct StateCase
{
    const char* name;
    EVideoState state;
    /// The camera list is emptied with a selection left over, as after a refresh that found none.
    bool listEmptied;
    /// The text shown; 0 when the surface keeps what it showed.
    UINT textId;
};

void PrintTo(const StateCase& c, std::ostream* out)
{
    *out << c.name;
}

class LiveVideoStateTest : public LiveVideoTest, public testing::WithParamInterface<StateCase>
{
};

TEST_P(LiveVideoStateTest, ShowsWhyThereIsNoPicture)
{
    const StateCase& c = GetParam();
    Plug();
    CCaptureController& controller = MakeController();
    CDevicesSubj& cameras = controller.m_graph.GetVideoDevices();
    ASSERT_EQ(cameras.GetCount(), 1);
    cameras.Select(0);
    CountingSurface& surface = MakeSurface(&controller);

    // Without a renderer, a running state shows the background colour alone.
    constexpr COLORREF kBlue = RGB(0, 0, 200);
    surface.SetBackgroundColor(kBlue);
    SetVideoState(VS_RUNNING);
    ASSERT_TRUE(AllOf(Repainted(), kBlue));

    if (c.listEmptied)
    {
        cameras.Clear();
        cameras.Select(0);
    }
    SetVideoState(c.state);
    m_host->ResetCounts();
    const QImage shown = Repainted();
    // The notice is posted: on a loaded machine it may come after the paint's own pumping.
    for (int i = 0; i < 1200 && m_host->Notices() < 1; ++i)
        PumpFor(50);
    EXPECT_EQ(m_host->Notices(), 1) << "every paint tells the parent";
    if (c.textId == 0)
    {
        EXPECT_TRUE(AllOf(shown, kBlue)) << "the surface drew over what it showed";
        return;
    }
    EXPECT_EQ(shown, ExpectedMessage(m_host->Handle(), c.textId)) << "not the text " << c.textId;
    if (c.listEmptied)
    {
        EXPECT_EQ(cameras.GetSelection(), -1) << "an empty list keeps a selection";
    }
}

INSTANTIATE_TEST_SUITE_P(States, LiveVideoStateTest,
                         testing::Values(StateCase{"InUse", VS_IN_USE, false, CLiveVideo::kInUseTextId},
                                         StateCase{"Missing", VS_MISSING, false, CLiveVideo::kMissingTextId},
                                         StateCase{"LostAfterRefreshFoundNone", VS_LOST, true,
                                                   CLiveVideo::kLostTextId},
                                         StateCase{"LostWhileStillChosen", VS_LOST, false, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LiveVideoTest, PaintsStayFewWhileTheParentRepaintsOnEveryNotice)
{
    // One pass with no camera (a still message) and one with the live picture moving.
    for (const bool camera : {false, true})
    {
        SCOPED_TRACE(camera ? "live picture" : "still picture");
        m_surface.reset();
        if (m_controller)
        {
            m_controller->StopPreview();
            m_controller.reset();
        }
        m_cameras.clear();
        if (camera)
            Plug();
        CCaptureController& controller = MakeController();
        CountingSurface& surface = MakeSurface(&controller);
        controller.StartPreview();
        controller.SetMainWindow(surface.GetSafeHwnd());
        ASSERT_EQ(controller.m_pVideoState->GetState(), camera ? VS_RUNNING : VS_MISSING);
        PumpFor(300);

        surface.paints = 0;
        m_host->ResetCounts();
        surface.Invalidate(TRUE);
        PumpFor(1000);
        // The parent repaints itself on each notice; that must not bring the surface back to paint.
        EXPECT_GE(surface.paints, 1);
        EXPECT_LE(surface.paints, 3);
        EXPECT_LE(m_host->Notices(), 3);
        EXPECT_LE(m_host->Paints(), 3);
    }
}

TEST_F(LiveVideoTest, LetsTheVideoStateGoWithItsWindow)
{
    CCaptureController& controller = MakeController();
    CountingSurface& surface = MakeSurface(&controller);
    controller.m_pVideoState->Notify();
    EXPECT_EQ(surface.updates, 1);

    surface.DestroyWindow();
    controller.m_pVideoState->Notify();
    EXPECT_EQ(surface.updates, 1) << "a surface without a window still observes";

    // The controller may now go first: the surface no longer reaches it.
    m_controller.reset();
    m_surface.reset();
}

TEST_F(LiveVideoTest, SurfaceWithoutAWindowDetachesWhenItGoes)
{
    CCaptureController& controller = MakeController();
    auto surface = std::make_unique<CountingSurface>(&controller);
    controller.m_pVideoState->Notify();
    EXPECT_EQ(surface->updates, 1);
    surface.reset();
    // A dangling observer would be called here.
    controller.m_pVideoState->Notify();
    SUCCEED();
}
