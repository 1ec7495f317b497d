#include "miravoc/MiravocDlg.h"

#include "MiravocTestSupport.h"

#include "miravoc/Miravoc.h"
#include "miravoc/MiravocApp.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/registry/Registry.h"
#include "platform/testing/FakeLowerFilter.h"
#include "platform/window/QtHost.h"
#include "resources/miravoc/resource.h"
#include "tests/support/TempDir.h"

#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

using platform::testing::FakeLowerFilter;
using testing_support::PulseDaemon;

namespace
{
/// Steps run inside the dialog's modal loop, on the user-interface thread: each waits for its condition,
/// then acts. A script that does not finish within its time closes the dialog and counts as failed.
class ModalScript
{
public:
    void When(std::function<bool()> ready, std::function<void()> act)
    {
        m_steps.push_back({std::move(ready), std::move(act)});
    }
    void Then(std::function<void()> act)
    {
        When([] { return true; }, std::move(act));
    }
    void Start(int limitMs = 20000)
    {
        s_current = this;
        m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        m_timer = SetTimer(nullptr, 0, 20, &ModalScript::Tick);
    }
    bool Finished() const { return m_next == m_steps.size(); }
    bool TimedOut() const { return m_timedOut; }
    ~ModalScript()
    {
        if (m_timer)
            KillTimer(nullptr, m_timer);
        if (s_current == this)
            s_current = nullptr;
    }

private:
    static void Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        ModalScript* script = s_current;
        if (!script || script->m_running)
            return;
        script->m_running = true;
        while (script->m_next < script->m_steps.size() && script->m_steps[script->m_next].ready())
            script->m_steps[script->m_next++].act();
        if (!script->Finished() && std::chrono::steady_clock::now() > script->m_deadline)
        {
            script->m_timedOut = true;
            script->m_next = script->m_steps.size();
            CloseVolumeDialog();
        }
        if (script->Finished() && script->m_timer)
        {
            KillTimer(nullptr, script->m_timer);
            script->m_timer = 0;
        }
        script->m_running = false;
    }

    struct Step
    {
        std::function<bool()> ready;
        std::function<void()> act;
    };
    static inline ModalScript* s_current = nullptr;
    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    std::chrono::steady_clock::time_point m_deadline;
    UINT_PTR m_timer = 0;
    bool m_running = false;
    bool m_timedOut = false;
};

/// The audio settings dialog on the screen, or null.
CMiravocDlg* RunningDialog()
{
    HWND found = nullptr;
    EnumWindows(
        [](HWND hwnd, LPARAM result) -> BOOL
        {
            if (::GetDlgItem(hwnd, IDC_VOLUME_SLIDER) && ::GetDlgItem(hwnd, IDC_MIC_CHOOSER) &&
                IsWindowVisible(hwnd))
            {
                *reinterpret_cast<HWND*>(result) = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found ? dynamic_cast<CMiravocDlg*>(CWnd::FromHandlePermanent(found)) : nullptr;
}

template <class T> T* Control(int id)
{
    CMiravocDlg* dialog = RunningDialog();
    return dialog ? static_cast<T*>(dialog->GetDlgItem(id)) : nullptr;
}

CBitmapSlider& Slider()
{
    return *static_cast<CBitmapSlider*>(
        CWnd::FromHandlePermanent(RunningDialog()->GetDlgItem(IDC_VOLUME_SLIDER)->m_hWnd));
}

CComboBox& Chooser()
{
    return *static_cast<CComboBox*>(
        CWnd::FromHandlePermanent(RunningDialog()->GetDlgItem(IDC_MIC_CHOOSER)->m_hWnd));
}

std::vector<std::string> ChooserEntries()
{
    std::vector<std::string> entries;
    CComboBox& chooser = Chooser();
    for (int i = 0; i < chooser.GetCount(); ++i)
    {
        CString text;
        chooser.GetLBText(i, text);
        entries.push_back(text.Str());
    }
    return entries;
}

std::string TextOf(int id)
{
    char text[256] = {};
    ::GetWindowText(RunningDialog()->GetDlgItem(id)->m_hWnd, text, sizeof text);
    return text;
}

int MeterLevel()
{
    return static_cast<int>(
        ::SendMessage(RunningDialog()->GetDlgItem(IDC_LEVEL_METER)->m_hWnd, PBM_GETPOS, 0, 0));
}

void Click(int id)
{
    RunningDialog()->SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                                 reinterpret_cast<LPARAM>(RunningDialog()->GetDlgItem(id)->m_hWnd));
}

bool Shown(int id)
{
    return ::IsWindowVisible(RunningDialog()->GetDlgItem(id)->m_hWnd) != FALSE;
}

// The source volume pactl shows for a mixer volume of 0 to 65535.
unsigned SourceVolumeOf(DWORD mixerVolume)
{
    return static_cast<unsigned>((static_cast<std::uint64_t>(mixerVolume) * 65536 + 32767) / 65535);
}

std::string InstallationKey()
{
    char folder[260] = {};
    GetModuleDirectory(folder, sizeof folder);
    return std::string("SOFTWARE\\Tavisk\\") + folder;
}

void SetLanguage(const char* code)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, InstallationKey().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    if (code)
        RegSetValueExA(key, "Language", 0, REG_SZ, reinterpret_cast<const BYTE*>(code),
                       static_cast<DWORD>(std::strlen(code) + 1));
    else
        RegDeleteValueA(key, "Language");
    RegCloseKey(key);
}

/// The library as the program has it, with a private sound server, and an owner window for the dialog.
class MiravocDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(app.InitInstance());
        ASSERT_NE(g_pAudioDeviceEngine, nullptr);
        ASSERT_TRUE(owner.CreateEx(0, AfxRegisterWndClass(0), "owner", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100,
                                   nullptr, nullptr));
    }
    void TearDown() override
    {
        owner.DestroyWindow();
        app.ExitInstance();
        SetLanguage(nullptr);
    }
    /// Runs the dialog in microphone-selection mode (or `mode`) over the script; whether it ended with OK.
    bool Run(ModalScript& script, CString& device, int mode = 1, int lockNc = 0)
    {
        script.Start();
        const bool ok = ShowVolumeSlider(mode, device, &owner, 1, 30, 950, 900, lockNc);
        EXPECT_TRUE(script.Finished());
        EXPECT_FALSE(script.TimedOut()) << "the script did not get through";
        return ok;
    }

    PulseDaemon daemon;
    CMiravocApp app;
    CWnd owner;
};
} // namespace

TEST_F(MiravocDlgTest, ListsTheDevicesAndPicksTheCallersMicrophoneByItsWholeName)
{
    // Another microphone whose name begins with the webcam's first 31 bytes and more.
    const std::string webcam = PulseDaemon::kWebcamDescription;
    const std::string sibling = "Webcam Microphone Analogue \xc3\x91o\xc3\xb1o Mono";
    ASSERT_GE(daemon.LoadModule("module-remap-source",
                                std::string("source_name=sibling master=") + PulseDaemon::kTone440Sink +
                                    ".monitor channels=1 channel_map=mono master_channel_map=front-left"
                                    " remix=no source_properties='device.description=\"" +
                                    sibling + "\"'"),
              0);
    ModalScript script;
    std::vector<std::string> entries;
    int selected = -1;
    script.When([] { return RunningDialog() != nullptr; },
                [&]
                {
                    entries = ChooserEntries();
                    selected = Chooser().GetCurSel();
                    EXPECT_TRUE(Shown(IDC_MIC_CHOOSER));
                    EXPECT_TRUE(Shown(IDC_CHOOSER_CAPTION));
                    EXPECT_FALSE(Shown(IDC_NOISE_CANCELLATION));
                    RunningDialog()->PostMessage(WM_COMMAND, IDOK);
                });
    CString device = webcam;
    EXPECT_TRUE(Run(script, device));
    EXPECT_EQ(entries, (std::vector<std::string>{PulseDaemon::kSine440Description,
                                                 PulseDaemon::kSine1000Description, webcam, sibling}));
    EXPECT_EQ(selected, 2);
    // The whole name comes back, so that the caller finds the device by it.
    EXPECT_EQ(device.Str(), webcam);
}

struct EndCase
{
    const char* name;
    int command; // how the dialog ends
    bool restored;
};

void PrintTo(const EndCase& c, std::ostream* os)
{
    *os << c.name;
}

class MiravocDlgEndTest : public MiravocDlgTest, public ::testing::WithParamInterface<EndCase>
{
};

TEST_P(MiravocDlgEndTest, VolumeAndMuteApplyAtOnceAndCancelPutsThemBack)
{
    const auto& c = GetParam();
    ASSERT_EQ(daemon.Pactl({"set-source-volume", PulseDaemon::kSine1000, "32768"}), 0);
    ModalScript script;
    script.When([] { return RunningDialog() && Slider().IsSliderEnabled(); },
                [&]
                {
                    EXPECT_EQ(Slider().GetMinimum(), 0);
                    EXPECT_EQ(Slider().GetMaximum(), 65535);
                    EXPECT_EQ(TextOf(IDC_VOLUME_VALUE), " 50");
                    // The user drags the slider to a fifth of the way down: 80 %.
                    Slider().SetValue(13107, true);
                    EXPECT_EQ(TextOf(IDC_VOLUME_VALUE), " 80");
                    EXPECT_EQ(daemon.SourceVolumes(PulseDaemon::kSine1000),
                              std::vector<unsigned>{SourceVolumeOf(65535 - 13107)});
                    EXPECT_TRUE(Shown(IDC_MUTE));
                    Click(IDC_MUTE);
                    EXPECT_TRUE(daemon.SourceMuted(PulseDaemon::kSine1000));
                    EXPECT_TRUE(Shown(IDC_UNMUTE));
                    EXPECT_FALSE(Shown(IDC_MUTE));
                    Click(c.command);
                });
    CString device = PulseDaemon::kSine1000Description;
    EXPECT_EQ(Run(script, device), c.command == IDOK);
    EXPECT_EQ(device.Str(), PulseDaemon::kSine1000Description);
    if (c.restored)
    {
        EXPECT_EQ(daemon.SourceVolumes(PulseDaemon::kSine1000), std::vector<unsigned>{SourceVolumeOf(32768)});
        EXPECT_FALSE(daemon.SourceMuted(PulseDaemon::kSine1000));
    }
    else
    {
        EXPECT_EQ(daemon.SourceVolumes(PulseDaemon::kSine1000),
                  std::vector<unsigned>{SourceVolumeOf(65535 - 13107)});
        EXPECT_TRUE(daemon.SourceMuted(PulseDaemon::kSine1000));
    }
}

INSTANTIATE_TEST_SUITE_P(Ends, MiravocDlgEndTest,
                         ::testing::Values(EndCase{"Ok", IDOK, false}, EndCase{"Cancel", IDCANCEL, true},
                                           EndCase{"CloseButton", IDC_CLOSE, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MiravocDlgTest, AVolumeAboveTheNominalShowsAtTheTop)
{
    ASSERT_EQ(daemon.Pactl({"set-source-volume", PulseDaemon::kSine440, "150%"}), 0);
    ModalScript script;
    script.When([] { return RunningDialog() && Slider().IsSliderEnabled(); },
                [&]
                {
                    EXPECT_EQ(Slider().GetPos(), 0);
                    EXPECT_EQ(TextOf(IDC_VOLUME_VALUE), "100");
                    Click(IDCANCEL);
                });
    CString device = PulseDaemon::kSine440Description;
    Run(script, device);
}

TEST_F(MiravocDlgTest, TheLevelMeterFollowsTheSineAndShowsNothingWhileMuted)
{
    ModalScript script;
    script.When([] { return RunningDialog() && MeterLevel() >= 60; }, [] { Click(IDC_MUTE); });
    script.When([] { return MeterLevel() == 0; }, [] { Click(IDC_UNMUTE); });
    script.When([] { return MeterLevel() >= 60; }, [] { Click(IDOK); });
    CString device = PulseDaemon::kSine440Description;
    EXPECT_TRUE(Run(script, device));
}

TEST_F(MiravocDlgTest, ASourceThatGoesWhileOpenIsReportedToTheDialogsThreadAndTheListRebuilt)
{
    ModalScript script;
    script.When([] { return RunningDialog() && MeterLevel() > 0; },
                [&]
                {
                    ASSERT_TRUE(daemon.UnloadModule(daemon.ModuleOfSource(PulseDaemon::kWebcam)));
                    // The engine's threads post the news; until this thread reads its messages, nothing of
                    // the dialog changes. Only the engine's own window is served meanwhile.
                    const HWND dialog = RunningDialog()->GetSafeHwnd();
                    const HWND engineWindow = FindWindow(nullptr, "Tavisk Webcam audio callback wnd");
                    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(8);
                    MSG msg;
                    bool posted = false;
                    while (!posted && std::chrono::steady_clock::now() < deadline)
                    {
                        posted = PeekMessage(&msg, dialog, WM_MIRAVOC_ENGINE_EVENT, WM_MIRAVOC_ENGINE_EVENT,
                                             PM_NOREMOVE);
                        while (engineWindow && PeekMessage(&msg, engineWindow, 0, 0, PM_REMOVE))
                            DispatchMessage(&msg);
                        std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    }
                    EXPECT_TRUE(posted);
                    EXPECT_EQ(Chooser().GetCount(), 3)
                        << "the list changed before the dialog's thread got the news";
                });
    // Entry 0 is chosen, opened and metered.
    script.When([] { return Chooser().GetCount() == 2 && Chooser().GetCurSel() == 0 && MeterLevel() > 0; },
                [] { Click(IDOK); });
    CString device = PulseDaemon::kWebcamDescription;
    EXPECT_TRUE(Run(script, device));
    EXPECT_EQ(device.Str(), PulseDaemon::kSine440Description);
}

TEST_F(MiravocDlgTest, CloseVolumeDialogEndsItWithoutPuttingAnythingBack)
{
    EXPECT_TRUE(CloseVolumeDialog()); // none runs
    ASSERT_EQ(daemon.Pactl({"set-source-volume", PulseDaemon::kSine440, "65536"}), 0);
    ModalScript script;
    script.When([] { return RunningDialog() && Slider().IsSliderEnabled(); },
                []
                {
                    Slider().SetValue(32768, true);
                    EXPECT_TRUE(CloseVolumeDialog());
                });
    CString device = PulseDaemon::kSine440Description;
    EXPECT_FALSE(Run(script, device));
    EXPECT_EQ(daemon.SourceVolumes(PulseDaemon::kSine440),
              std::vector<unsigned>{SourceVolumeOf(65535 - 32768)});
}

TEST_F(MiravocDlgTest, WithoutTheEngineNoDialogRuns)
{
    app.ExitInstance();
    CString device = "unchanged";
    EXPECT_FALSE(ShowVolumeSlider(1, device, &owner, 1, 30, 950, 900, 0));
    EXPECT_EQ(device, "unchanged");
    EXPECT_FALSE(ShowVolumeDialog(&owner));
    EXPECT_EQ(GetDefaultMicFilterId(), -1);
    EXPECT_TRUE(CloseVolumeDialog());
}

struct LabelCase
{
    const char* name;
    DWORD volume;
    const char* shown;
};

void PrintTo(const LabelCase& c, std::ostream* os)
{
    *os << c.name;
}

class MiravocDlgLabelTest : public MiravocDlgTest, public ::testing::WithParamInterface<LabelCase>
{
};

TEST_P(MiravocDlgLabelTest, TheValueIsPaddedToThreeCharacters)
{
    const auto& c = GetParam();
    ASSERT_EQ(
        daemon.Pactl({"set-source-volume", PulseDaemon::kSine440, std::to_string(SourceVolumeOf(c.volume))}),
        0);
    ModalScript script;
    std::string shown;
    script.When([] { return RunningDialog() && Slider().IsSliderEnabled(); },
                [&]
                {
                    shown = TextOf(IDC_VOLUME_VALUE);
                    Click(IDCANCEL);
                });
    CString device = PulseDaemon::kSine440Description;
    Run(script, device);
    EXPECT_EQ(shown, c.shown);
}

INSTANTIATE_TEST_SUITE_P(Percentages, MiravocDlgLabelTest,
                         ::testing::Values(LabelCase{"Five", 3277, "  5"},
                                           LabelCase{"FortyTwo", 27525, " 42"},
                                           LabelCase{"Hundred", 65535, "100"}, LabelCase{"None", 0, "  0"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct LanguageCase
{
    const char* code;
    const char* title;
    const char* volume;
    bool mirrored;
};

void PrintTo(const LanguageCase& c, std::ostream* os)
{
    *os << c.code;
}

class MiravocDlgLanguageTest : public MiravocDlgTest, public ::testing::WithParamInterface<LanguageCase>
{
};

TEST_P(MiravocDlgLanguageTest, TextsAndTemplateFollowTheInstallationsLanguage)
{
    const auto& c = GetParam();
    SetLanguage(c.code);
    ModalScript script;
    script.When([] { return RunningDialog() != nullptr; },
                [&]
                {
                    CMiravocDlg* dialog = RunningDialog();
                    EXPECT_EQ(TextOf(IDC_TITLE), c.title);
                    EXPECT_EQ(TextOf(IDC_VOLUME_CAPTION), c.volume);
                    EXPECT_EQ((dialog->GetExStyle() & WS_EX_LAYOUTRTL) != 0, c.mirrored);
                    CRect box;
                    dialog->GetDlgItem(IDC_NOISE_CANCELLATION)->GetWindowRect(&box);
                    EXPECT_EQ(box.Width(), c.mirrored ? 27 : 29);
                    CRect band;
                    dialog->GetDlgItem(IDC_NOISE_CANCELLATION_BAND)->GetWindowRect(&band);
                    dialog->ScreenToClient(&band);
                    EXPECT_EQ(band.left, c.mirrored ? 16 : 12);
                    EXPECT_EQ(band.top, 400);
                    Click(IDCANCEL);
                });
    script.Start();
    EXPECT_FALSE(ShowVolumeDialog(&owner));
    EXPECT_TRUE(script.Finished());
    EXPECT_FALSE(script.TimedOut());
}

INSTANTIATE_TEST_SUITE_P(Languages, MiravocDlgLanguageTest,
                         ::testing::Values(LanguageCase{"ENU", "Audio Settings", "Mic volume", false},
                                           // The French caption's line feed is left out.
                                           LanguageCase{"fra", "Paramètres audio", "Volume du micro", false},
                                           LanguageCase{"ARA", "إعدادات الصوت", "مستوى صوت الميكروفون",
                                                        true}),
                         [](const auto& info) { return std::string(info.param.code); });

namespace
{
/// Where the controls of a dialog lie on the screen, from the dialog's own top-left corner, and what the
/// dialog shows.
struct Placement
{
    int width = 0;
    std::map<int, CRect> controls;
    QImage picture;
    bool hitsItsControls = true;
};

const int kPlacedControls[] = {IDC_TITLE,
                               IDC_CLOSE,
                               IDC_VOLUME_CAPTION,
                               IDC_VOLUME_SLIDER,
                               IDC_LEVEL_METER,
                               IDC_VOLUME_VALUE,
                               IDC_MUTE,
                               IDC_NOISE_CANCELLATION,
                               IDC_NOISE_CANCELLATION_CAPTION,
                               IDOK,
                               IDCANCEL};
} // namespace

class MiravocDlgMirrorTest : public MiravocDlgTest
{
protected:
    Placement Place(const char* language)
    {
        SetLanguage(language);
        Placement placed;
        ModalScript script;
        script.When([] { return RunningDialog() != nullptr; },
                    [&]
                    {
                        CMiravocDlg* dialog = RunningDialog();
                        CRect window;
                        dialog->GetWindowRect(&window);
                        placed.width = window.Width();
                        for (int id : kPlacedControls)
                        {
                            CWnd* control = dialog->GetDlgItem(id);
                            CRect r;
                            control->GetWindowRect(&r);
                            // What lies under an enabled control's middle on the screen is the control.
                            if (control->IsWindowEnabled() &&
                                ::WindowFromPoint(r.CenterPoint()) != control->GetSafeHwnd())
                                placed.hitsItsControls = false;
                            r.OffsetRect(-window.left, -window.top);
                            placed.controls[id] = r;
                        }
                        placed.picture =
                            platform::window::HostWidgetOf(dialog->GetSafeHwnd())->grab().toImage();
                        Click(IDCANCEL);
                    });
        script.Start();
        ShowVolumeDialog(&owner);
        EXPECT_TRUE(script.Finished());
        return placed;
    }
};

TEST_F(MiravocDlgMirrorTest, TheArabicDialogIsTheEnglishOneLaidOutFromTheRight)
{
    const Placement english = Place("ENU");
    const Placement arabic = Place("ARA");
    ASSERT_EQ(arabic.width, english.width);
    ASSERT_EQ(arabic.controls.size(), std::size(kPlacedControls));
    EXPECT_TRUE(english.hitsItsControls);
    EXPECT_TRUE(arabic.hitsItsControls);
    const int width = english.width;
    for (int id : kPlacedControls)
    {
        const CRect& e = english.controls.at(id);
        const CRect& a = arabic.controls.at(id);
        // The leading edge is the right one: the control starts as far from it as the English one from
        // the left (the check box is narrower in Arabic, so its far edge differs).
        EXPECT_EQ(a.right, width - e.left) << id;
        EXPECT_EQ(a.top, e.top) << id;
        EXPECT_EQ(a.Height(), e.Height()) << id;
        if (id != IDC_NOISE_CANCELLATION)
        {
            EXPECT_EQ(a.Width(), e.Width()) << id;
        }
    }
    // The pictures of the mute button, which carries no text, are the same where each dialog shows it.
    const CRect& e = english.controls.at(IDC_MUTE);
    const CRect& a = arabic.controls.at(IDC_MUTE);
    int same = 0;
    for (int y = 0; y < e.Height(); ++y)
        for (int x = 0; x < e.Width(); ++x)
            same +=
                english.picture.pixel(e.left + x, e.top + y) == arabic.picture.pixel(a.left + x, a.top + y);
    EXPECT_GT(same, e.Width() * e.Height() * 9 / 10);
}

struct DriverCase
{
    const char* name;
    bool driver;
    std::vector<FakeLowerFilter::Instance> instances;
    int filterId;
};

void PrintTo(const DriverCase& c, std::ostream* os)
{
    *os << c.name;
}

class MiravocDlgDriverTest : public MiravocDlgTest, public ::testing::WithParamInterface<DriverCase>
{
protected:
    void SetUp() override
    {
        MiravocDlgTest::SetUp();
        std::string vid = PulseDaemon::kWebcamVendorId;
        std::string pid = PulseDaemon::kWebcamProductId;
        SetDefaultMicVidPid(vid.data(), pid.data());
    }
};

TEST_P(MiravocDlgDriverTest, TheCheckBoxSwitchesOnlyTheWebcamsInstance)
{
    const auto& c = GetParam();
    std::unique_ptr<FakeLowerFilter> driver;
    if (c.driver)
        driver = std::make_unique<FakeLowerFilter>(c.instances);
    EXPECT_EQ(GetDefaultMicFilterId(), c.filterId);

    ModalScript script;
    bool enabled = true;
    bool checked = true;
    script.When([] { return RunningDialog() != nullptr; },
                [&]
                {
                    CWnd* box = RunningDialog()->GetDlgItem(IDC_NOISE_CANCELLATION);
                    EXPECT_TRUE(Shown(IDC_NOISE_CANCELLATION));
                    EXPECT_TRUE(Shown(IDC_NOISE_CANCELLATION_CAPTION));
                    EXPECT_FALSE(Shown(IDC_MIC_CHOOSER));
                    enabled = box->IsWindowEnabled() != FALSE;
                    checked = box->SendMessage(BM_GETCHECK) == BST_CHECKED;
                    if (enabled)
                    {
                        box->SendMessage(BM_SETCHECK, BST_CHECKED);
                        Click(IDC_NOISE_CANCELLATION);
                    }
                    Click(IDOK);
                });
    CString device = PulseDaemon::kSine440Description;
    EXPECT_TRUE(Run(script, device, 0));
    EXPECT_EQ(enabled, c.filterId >= 0);
    EXPECT_FALSE(checked);
    if (!driver)
        return;
    const auto switches = driver->Switches();
    if (c.filterId < 0)
    {
        EXPECT_TRUE(switches.empty()) << "no instance may be switched without the webcam's";
        return;
    }
    ASSERT_EQ(switches.size(), 1u);
    EXPECT_EQ(switches[0].instance, static_cast<DWORD>(c.filterId));
    EXPECT_EQ(std::vector<DWORD>(switches[0].parameters, switches[0].parameters + 4),
              (std::vector<DWORD>{1, 30, 950, 900}));
    for (std::size_t i = 0; i < driver->Instances().size(); ++i)
        EXPECT_EQ(driver->Instances()[i].noiseCancellation, static_cast<int>(i) == c.filterId);
}

INSTANTIATE_TEST_SUITE_P(
    Drivers, MiravocDlgDriverTest,
    ::testing::Values(
        DriverCase{
            "TwoInstancesTheSecondTheWebcams", true, {{0x0bda, 0x5678, false}, {0x046d, 0x0825, false}}, 1},
        DriverCase{"NoInstanceOfTheWebcam", true, {{0x0bda, 0x5678, false}, {0x046d, 0x0821, false}}, -1},
        DriverCase{"NoDriver", false, {}, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MiravocDlgTest, CancelSwitchesTheNoiseCancellationBackAndALockedOneCannotBeSwitched)
{
    std::string vid = PulseDaemon::kWebcamVendorId;
    std::string pid = PulseDaemon::kWebcamProductId;
    SetDefaultMicVidPid(vid.data(), pid.data());
    FakeLowerFilter driver({{0x046d, 0x0825, true}});
    ModalScript script;
    script.When([] { return RunningDialog() != nullptr; },
                []
                {
                    CWnd* box = RunningDialog()->GetDlgItem(IDC_NOISE_CANCELLATION);
                    EXPECT_EQ(box->SendMessage(BM_GETCHECK), BST_CHECKED);
                    box->SendMessage(BM_SETCHECK, BST_UNCHECKED);
                    Click(IDC_NOISE_CANCELLATION);
                });
    script.Then([&] { EXPECT_FALSE(driver.Instances()[0].noiseCancellation); });
    script.Then([] { Click(IDCANCEL); });
    CString device = PulseDaemon::kSine440Description;
    EXPECT_FALSE(Run(script, device, 0));
    EXPECT_TRUE(driver.Instances()[0].noiseCancellation);
    const auto switches = driver.Switches();
    ASSERT_EQ(switches.size(), 2u);
    EXPECT_EQ(switches[0].parameters[1], 0u); // switched off: the second value is sent as 0
    EXPECT_EQ(switches[1].parameters[1], 30u);

    ModalScript locked;
    locked.When([] { return RunningDialog() != nullptr; },
                []
                {
                    EXPECT_FALSE(Shown(IDC_NOISE_CANCELLATION));
                    Click(IDCANCEL);
                });
    Run(locked, device, 0, 1);
    EXPECT_EQ(driver.Switches().size(), 2u);
}

class MiravocDlgSoundSettingsTest : public MiravocDlgTest, public ::testing::WithParamInterface<bool>
{
protected:
    void SetUp() override
    {
        MiravocDlgTest::SetUp();
        const char* path = std::getenv("PATH");
        m_savedPath = path ? path : "";
        std::string folders = "/usr/bin:/bin";
        if (GetParam())
        {
            // A stand-in for the sound settings that notes its arguments.
            const std::string program = bin.Path().string() + "/pavucontrol";
            std::ofstream(program) << "#!/bin/sh\necho \"$@\" > " << bin.Path().string() << "/arguments\n";
            chmod(program.c_str(), 0755);
            folders = bin.Path().string() + ":" + folders;
        }
        setenv("PATH", folders.c_str(), 1);
    }
    void TearDown() override
    {
        setenv("PATH", m_savedPath.c_str(), 1);
        MiravocDlgTest::TearDown();
    }
    std::string Arguments() const
    {
        std::ifstream file(bin.Path().string() + "/arguments");
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    testing_support::TempDir bin;
    std::string m_savedPath;
};

TEST_P(MiravocDlgSoundSettingsTest, TheSoundSettingsButtonStartsTheVolumeControlWhenItIsInstalled)
{
    const bool installed = GetParam();
    ModalScript script;
    bool enabled = false;
    script.When([] { return RunningDialog() != nullptr; },
                [&]
                {
                    enabled = RunningDialog()->GetDlgItem(IDC_SOUND_SETTINGS)->IsWindowEnabled() != FALSE;
                    if (enabled)
                        Click(IDC_SOUND_SETTINGS);
                });
    script.When([&] { return !installed || !Arguments().empty(); }, [] { Click(IDOK); });
    CString device = PulseDaemon::kSine440Description;
    EXPECT_TRUE(Run(script, device));
    EXPECT_EQ(enabled, installed);
    if (installed)
    {
        EXPECT_EQ(Arguments(), "--tab=4\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Installed, MiravocDlgSoundSettingsTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Installed" : "Missing"; });
