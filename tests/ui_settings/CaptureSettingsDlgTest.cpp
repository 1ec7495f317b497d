#include "brevicam/ui/CaptureSettingsDlg.h"

#include "brevicam/capture/CaptureController.h"
#include "brevicam/core/Params.h"
#include "brevicam/core/ResourceInstance.h"
#include "platform/commdlg/CommDlg.h"
#include "platform/dshow/VirtualCamera.h"
#include "platform/window/WinApp.h"
#include "platform/zorneth/Zorneth.h"
#include "resources/brevicam/resource.h"
#include "tests/capture/CaptureTestSupport.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace capture_testing;
using platform::VirtualCamera;

namespace
{
namespace fs = std::filesystem;
using testing_support::FilesIn;

/// A mono 16-bit PCM WAV file of `seconds` of silence at 8000 frames per second.
void WriteWave(const fs::path& path, int seconds)
{
    const std::uint32_t rate = 8000;
    const std::uint32_t dataBytes = rate * 2 * static_cast<std::uint32_t>(seconds);
    std::ofstream out(path, std::ios::binary);
    const auto u32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    const auto u16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    u32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1);
    u16(1);
    u32(rate);
    u32(rate * 2);
    u16(2);
    u16(16);
    out.write("data", 4);
    u32(dataBytes);
    out << std::string(dataBytes, '\0');
}

std::string Text(UINT id)
{
    CString text;
    text.LoadString(AppResourceInstance(), id);
    return text.Str();
}

std::string ItemText(HWND dialog, int id)
{
    char text[MAX_PATH] = {};
    ::GetDlgItemText(dialog, id, text, sizeof text);
    return text;
}

void Click(HWND dialog, int id)
{
    ::SendMessage(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                  reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

void Choose(HWND dialog, int id, int index)
{
    HWND list = ::GetDlgItem(dialog, id);
    ::SendMessage(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessage(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

/// Ticks or clears the sound box as a click would.
void CheckSound(HWND dialog, bool on)
{
    ::SendMessage(::GetDlgItem(dialog, IDC_SETTINGS_PLAY_SOUND), BM_SETCHECK,
                  on ? BST_CHECKED : BST_UNCHECKED, 0);
    Click(dialog, IDC_SETTINGS_PLAY_SOUND);
}

bool Enabled(HWND dialog, int id)
{
    return ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE;
}

std::vector<std::string> BoxTexts()
{
    std::vector<std::string> texts;
    for (const auto& box : platform::zorneth::ScriptedBoxes())
        texts.push_back(box.Text);
    return texts;
}

/// The values the dialog edits, as the settings store holds them.
struct Stored
{
    int photos, rate, delay, format, quality, sound;
    std::string photoPath, videoPath, soundFile;
    bool operator==(const Stored&) const = default;
};

Stored StoredValues()
{
    CSingleLock lock(&g_params.m_cs, TRUE);
    return {g_params.m_NbPictures,      g_params.m_ImagesPerSecond, g_params.m_NbSeconds,
            g_params.m_PhotoFormat,     g_params.m_VideoQuality,    g_params.m_CameraSound,
            g_params.m_PhotoPath.Str(), g_params.m_VideoPath.Str(), g_params.m_SoundFile.Str()};
}

std::function<void(HWND)> s_steps;
CCaptureSettingsDlg* s_dialog = nullptr;

void CALLBACK DriveDialog(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND dialog = s_dialog ? s_dialog->GetSafeHwnd() : nullptr;
    if (!dialog || !::IsWindowVisible(dialog))
        return;
    ::KillTimer(nullptr, id);
    auto steps = std::move(s_steps);
    s_steps = nullptr;
    steps(dialog);
    // Whatever the steps left open ends without the dialog's own Cancel.
    if (::IsWindow(dialog))
        ::PostMessage(dialog, WM_CLOSE, 0, 0);
}

class CaptureSettingsDlgTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const CaptureFolders folders = PrepareCaptureSettings(m_dir.Path());
        m_photos = folders.photos;
        m_videos = folders.videos;
        {
            CSingleLock lock(&g_params.m_cs, TRUE);
            g_params.m_NbSeconds = 3;
            g_params.m_VideoQuality = 1;
            g_params.m_SoundFile = (m_dir.Path() / "none.wav").c_str();
        }
        m_app.emplace("QPX_SE");
        m_app->SetRegistryKey("Tavisk");
        WriteWave(m_dir / "two.wav", 2);
        WriteWave(m_dir / "six.wav", 6);
        m_dir.WriteFile("garbage.wav", "RIFF this is no sound at all");
        m_dir.WriteFile("blocker", "a file where a folder would have to be");
    }

    void TearDown() override
    {
        platform::zorneth::ClearScriptedAnswers();
        platform::commdlg::ClearScriptedOpenFile();
        if (m_controller)
        {
            m_controller->StopPreview();
            m_controller.reset();
        }
        m_cameras.clear();
        m_app.reset();
    }

    std::shared_ptr<VirtualCamera> Plug(const std::string& name)
    {
        platform::VirtualCameraConfig config;
        config.name = name;
        m_cameras.push_back(VirtualCamera::Create(config));
        return m_cameras.back();
    }

    /// The controller with its preview running on the first camera.
    CCaptureController& Previewing()
    {
        m_controller = std::make_unique<CCaptureController>();
        m_controller->m_graph.DetectWebcamModel();
        m_controller->StartPreview();
        m_controller->SetMainWindow(m_windows.Surface());
        EXPECT_EQ(m_controller->m_pVideoState->GetState(), VS_RUNNING);
        return *m_controller;
    }

    bool WaitForFrame()
    {
        for (int i = 0; i < 100; ++i)
        {
            CWindowlessRenderer* renderer = m_controller->m_graph.GetRenderer();
            if (renderer && renderer->GetCurrentImage())
            {
                renderer->FreeCurrentImage();
                return true;
            }
            PumpMessages(50);
        }
        return false;
    }

    std::string SelectedCamera() const
    {
        return m_controller->m_graph.GetVideoDevices().GetSelectedName().Str();
    }

    /// Runs the dialog modally over the main window, with message boxes answered by `answers`; `steps`
    /// run once inside its modal loop while it shows. Returns what DoModal returned.
    INT_PTR Run(std::function<void(HWND)> steps, std::vector<int> answers = {})
    {
        platform::zorneth::SetScriptedAnswers(std::move(answers));
        CCaptureSettingsDlg dialog(CWnd::FromHandle(m_windows.Main()));
        dialog.SetController(m_controller.get());
        s_dialog = &dialog;
        s_steps = std::move(steps);
        const UINT_PTR timer = ::SetTimer(nullptr, 0, 1, &DriveDialog);
        const INT_PTR result = dialog.DoModal();
        ::KillTimer(nullptr, timer);
        s_dialog = nullptr;
        m_foldersChanged = dialog.GetFoldersChanged();
        return result;
    }

    testing_support::TempDir m_dir;
    fs::path m_photos;
    fs::path m_videos;
    std::optional<CWinApp> m_app;
    VideoWindows m_windows;
    std::vector<std::shared_ptr<VirtualCamera>> m_cameras;
    std::unique_ptr<CCaptureController> m_controller;
    int m_foldersChanged = -1;
};

// The validation of Apply ----------------------------------------------------------------------------------

struct ValidationCase
{
    const char* name;
    /// Makes the change in the open dialog (the test's folder is given).
    std::function<void(HWND, const fs::path&)> change;
    /// The message box shown, by string id (0: none; -1: the folder questions and errors).
    int message;
    /// The field that has the focus after a refusal.
    int badField;
};

void PrintTo(const ValidationCase& c, std::ostream* os)
{
    *os << c.name;
}

class ApplyValidationTest : public CaptureSettingsDlgTest, public testing::WithParamInterface<ValidationCase>
{
};

std::function<void(HWND, const fs::path&)> Type(int id, const char* text)
{
    return [=](HWND dialog, const fs::path&) { ::SetDlgItemText(dialog, id, text); };
}

std::function<void(HWND, const fs::path&)> Sound(const char* name)
{
    return [=](HWND dialog, const fs::path& dir)
    {
        ::SetDlgItemText(dialog, IDC_SETTINGS_SOUND_FILE, (dir / name).c_str());
        CheckSound(dialog, true);
    };
}

TEST_P(ApplyValidationTest, RefusesWhatCannotBeStoredAndTakesOverTheRest)
{
    const ValidationCase& c = GetParam();
    const Stored before = StoredValues();
    std::vector<std::string> boxes;
    bool applyStillEnabled = true;
    bool focusOnBadField = false;
    Run(
        [&](HWND dialog)
        {
            c.change(dialog, m_dir.Path());
            ASSERT_TRUE(Enabled(dialog, IDC_SETTINGS_APPLY)) << "the change enables Apply";
            Click(dialog, IDC_SETTINGS_APPLY);
            boxes = BoxTexts();
            applyStillEnabled = Enabled(dialog, IDC_SETTINGS_APPLY);
            focusOnBadField = c.badField && ::GetFocus() == ::GetDlgItem(dialog, c.badField);
        },
        {IDYES});
    if (c.message == 0)
    {
        EXPECT_TRUE(boxes.empty()) << boxes.front();
        EXPECT_FALSE(applyStillEnabled);
        EXPECT_NE(StoredValues(), before) << "the change is taken over";
        return;
    }
    ASSERT_FALSE(boxes.empty());
    if (c.message > 0)
        EXPECT_EQ(boxes, std::vector<std::string>{Text(static_cast<UINT>(c.message))});
    else
        EXPECT_EQ(boxes.back().rfind("Cannot create folder", 0), 0u) << boxes.back();
    EXPECT_TRUE(applyStillEnabled);
    EXPECT_TRUE(focusOnBadField);
    EXPECT_EQ(StoredValues(), before) << "nothing is stored";
}

INSTANTIATE_TEST_SUITE_P(
    Values, ApplyValidationTest,
    testing::Values(ValidationCase{"PhotosAboveRange", Type(IDC_SETTINGS_PHOTOS_COUNT, "25"),
                                   IDS_SETTINGS_PHOTOS_RANGE, IDC_SETTINGS_PHOTOS_COUNT},
                    ValidationCase{"NoPhotos", Type(IDC_SETTINGS_PHOTOS_COUNT, "0"),
                                   IDS_SETTINGS_PHOTOS_RANGE, IDC_SETTINGS_PHOTOS_COUNT},
                    ValidationCase{"PhotosWithADash", Type(IDC_SETTINGS_PHOTOS_COUNT, "1-5"),
                                   IDS_SETTINGS_PHOTOS_RANGE, IDC_SETTINGS_PHOTOS_COUNT},
                    ValidationCase{"RateOfZero", Type(IDC_SETTINGS_RATE, "0"), IDS_SETTINGS_RATE_RANGE,
                                   IDC_SETTINGS_RATE},
                    ValidationCase{"RateWithADash", Type(IDC_SETTINGS_RATE, "1-5"), IDS_SETTINGS_RATE_RANGE,
                                   IDC_SETTINGS_RATE},
                    ValidationCase{"DelayAboveRange", Type(IDC_SETTINGS_DELAY, "11"),
                                   IDS_SETTINGS_DELAY_RANGE, IDC_SETTINGS_DELAY},
                    ValidationCase{"HighestValues",
                                   [](HWND dialog, const fs::path&)
                                   {
                                       ::SetDlgItemText(dialog, IDC_SETTINGS_PHOTOS_COUNT, "20");
                                       ::SetDlgItemText(dialog, IDC_SETTINGS_RATE, "5");
                                       ::SetDlgItemText(dialog, IDC_SETTINGS_DELAY, "10");
                                   },
                                   0, 0},
                    ValidationCase{"PhotoFolderThatCannotBeMade",
                                   [](HWND dialog, const fs::path& dir) {
                                       ::SetDlgItemText(dialog, IDC_SETTINGS_PHOTO_FOLDER,
                                                        (dir / "blocker" / "photos").c_str());
                                   },
                                   -1, IDC_SETTINGS_PHOTO_FOLDER},
                    ValidationCase{"VideoFolderThatCannotBeMade",
                                   [](HWND dialog, const fs::path& dir) {
                                       ::SetDlgItemText(dialog, IDC_SETTINGS_VIDEO_FOLDER,
                                                        (dir / "blocker" / "videos").c_str());
                                   },
                                   -1, IDC_SETTINGS_VIDEO_FOLDER},
                    ValidationCase{"SoundOfTwoSeconds", Sound("two.wav"), 0, 0},
                    ValidationCase{"SoundOfSixSeconds", Sound("six.wav"), IDS_SETTINGS_SOUND_TOO_LONG,
                                   IDC_SETTINGS_SOUND_FILE},
                    ValidationCase{"MissingSound", Sound("missing.wav"), IDS_SETTINGS_SOUND_INVALID,
                                   IDC_SETTINGS_SOUND_FILE},
                    ValidationCase{"GarbageSound", Sound("garbage.wav"), IDS_SETTINGS_SOUND_INVALID,
                                   IDC_SETTINGS_SOUND_FILE}),
    [](const testing::TestParamInfo<ValidationCase>& info) { return std::string(info.param.name); });

TEST_F(CaptureSettingsDlgTest, EmptiedSelfTimerIsAppliedAsZero)
{
    std::string shown;
    Run(
        [&](HWND dialog)
        {
            ::SetDlgItemText(dialog, IDC_SETTINGS_DELAY, "");
            Click(dialog, IDC_SETTINGS_APPLY);
            shown = ItemText(dialog, IDC_SETTINGS_DELAY);
        });
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(shown, "0");
    EXPECT_EQ(StoredValues().delay, 0);
}

TEST_F(CaptureSettingsDlgTest, ReadNumberTakesDigitsOnly)
{
    EXPECT_EQ(CCaptureSettingsDlg::ReadNumber(" 12 "), 12);
    EXPECT_EQ(CCaptureSettingsDlg::ReadNumber(""), 0);
    EXPECT_EQ(CCaptureSettingsDlg::ReadNumber("99999999999999999999").value_or(0) > 20, true);
    for (const char* refused : {"1-5", "-2", "3a", "+4", "1 2"})
        EXPECT_FALSE(CCaptureSettingsDlg::ReadNumber(refused)) << refused;
}

// OK, Cancel and Apply -------------------------------------------------------------------------------------

TEST_F(CaptureSettingsDlgTest, OkSavesAndTheControllerShootsWithTheNewValues)
{
    Plug("First Camera");
    CCaptureController& controller = Previewing();
    const fs::path chosen = m_dir / "chosen";
    const INT_PTR result = Run(
        [&](HWND dialog)
        {
            ::SetDlgItemText(dialog, IDC_SETTINGS_PHOTO_FOLDER, chosen.c_str());
            Choose(dialog, IDC_SETTINGS_PHOTO_FORMAT, 0);
            Choose(dialog, IDC_SETTINGS_VIDEO_QUALITY, 0);
            ::SetDlgItemText(dialog, IDC_SETTINGS_PHOTOS_COUNT, "7");
            Click(dialog, IDOK);
        },
        {IDYES});
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(BoxTexts().size(), 1u) << "only the question whether to create the folder";
    EXPECT_EQ(m_foldersChanged, 1);
    EXPECT_TRUE(fs::is_directory(chosen));
    const Stored stored = StoredValues();
    EXPECT_EQ(stored.photoPath, chosen.string());
    EXPECT_EQ(stored.format, 1);
    EXPECT_EQ(stored.quality, 0);
    EXPECT_EQ(stored.photos, 7);
    EXPECT_EQ(m_app->GetProfileInt("Settings", "NbPictures", 0), 7u) << "OK saves the settings";
    EXPECT_EQ(m_app->GetProfileInt("Settings", "PhotoFormat", 0), 1u);

    ASSERT_TRUE(WaitForFrame());
    controller.Shoot();
    const std::vector<std::string> photos = FilesIn(chosen);
    ASSERT_EQ(photos.size(), 1u) << "the photo goes to the new folder";
    EXPECT_EQ(fs::path(photos.front()).extension(), ".bmp");
    EXPECT_TRUE(FilesIn(m_photos).empty());
}

TEST_F(CaptureSettingsDlgTest, CancelAsksOnlyAboutUnappliedChangesAndStoresNothing)
{
    const Stored before = StoredValues();
    const UINT savedBefore = m_app->GetProfileInt("Settings", "NbPictures", 99);
    EXPECT_EQ(Run([](HWND dialog) { Click(dialog, IDC_SETTINGS_CANCEL); }), IDCANCEL);
    EXPECT_TRUE(BoxTexts().empty()) << "nothing changed, nothing to ask";

    bool stayedOpen = false;
    Run(
        [&](HWND dialog)
        {
            ::SetDlgItemText(dialog, IDC_SETTINGS_PHOTOS_COUNT, "7");
            Choose(dialog, IDC_SETTINGS_PHOTO_FORMAT, 0);
            Click(dialog, IDC_SETTINGS_CANCEL);
            stayedOpen = ::IsWindowVisible(dialog) != FALSE;
            Click(dialog, IDC_SETTINGS_CLOSE);
        },
        {IDNO, IDYES});
    EXPECT_TRUE(stayedOpen) << "No keeps the dialog open";
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].Text, Text(IDS_SETTINGS_CANCEL_QUESTION));
    EXPECT_EQ(boxes[0].Caption, Text(IDS_SETTINGS_CANCEL_CAPTION));
    EXPECT_EQ(boxes[0].Style, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(StoredValues(), before);
    EXPECT_EQ(m_app->GetProfileInt("Settings", "NbPictures", 99), savedBefore) << "nothing was saved";
}

TEST_F(CaptureSettingsDlgTest, ApplyThenCancelKeepsTheAppliedValuesWithoutAsking)
{
    const UINT savedBefore = m_app->GetProfileInt("Settings", "ImagesPerSecond", 99);
    Run(
        [](HWND dialog)
        {
            ::SetDlgItemText(dialog, IDC_SETTINGS_RATE, "4");
            Click(dialog, IDC_SETTINGS_APPLY);
            Click(dialog, IDC_SETTINGS_CANCEL);
        });
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_EQ(StoredValues().rate, 4);
    EXPECT_EQ(m_app->GetProfileInt("Settings", "ImagesPerSecond", 99), savedBefore) << "Apply does not save";
}

TEST_F(CaptureSettingsDlgTest, BrowsingForTheSoundOffersWavFilesAndTakesTheChoice)
{
    const fs::path two = m_dir / "two.wav";
    platform::commdlg::SetScriptedOpenFile(two.string());
    std::string shown;
    HWND owner = nullptr;
    Run(
        [&](HWND dialog)
        {
            owner = dialog;
            CheckSound(dialog, true);
            Click(dialog, IDC_SETTINGS_SOUND_BROWSE);
            shown = ItemText(dialog, IDC_SETTINGS_SOUND_FILE);
            Click(dialog, IDOK);
        });
    const platform::commdlg::OpenFileRequest request = platform::commdlg::LastOpenFileRequest();
    EXPECT_EQ(request.Owner, owner);
    ASSERT_EQ(request.Filters.size(), 1u);
    EXPECT_EQ(request.Filters[0].second, "*.wav");
    EXPECT_EQ(request.FilterIndex, 1u);
    EXPECT_EQ(request.Flags & (OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR),
              OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR);
    EXPECT_EQ(shown, two.string());
    EXPECT_EQ(StoredValues().soundFile, two.string());
    EXPECT_EQ(StoredValues().sound, 1);
}

// The camera -----------------------------------------------------------------------------------------------

TEST_F(CaptureSettingsDlgTest, CameraChoiceSwitchesAtOnceAndCancelSwitchesBack)
{
    Plug("First Camera");
    Plug("Second Camera");
    Previewing();
    ASSERT_EQ(SelectedCamera(), "First Camera");
    std::string whileOpen;
    std::vector<std::string> listed;
    Run(
        [&](HWND dialog)
        {
            HWND list = ::GetDlgItem(dialog, IDC_SETTINGS_CAMERA_LIST);
            for (int i = 0; i < ::SendMessage(list, CB_GETCOUNT, 0, 0); ++i)
            {
                char name[256] = {};
                ::SendMessage(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(name));
                listed.push_back(name);
            }
            Choose(dialog, IDC_SETTINGS_CAMERA_LIST, 1);
            whileOpen = SelectedCamera();
            Click(dialog, IDC_SETTINGS_CANCEL);
        },
        {IDYES});
    EXPECT_EQ(listed, (std::vector<std::string>{"First Camera", "Second Camera"}));
    EXPECT_EQ(whileOpen, "Second Camera");
    EXPECT_EQ(SelectedCamera(), "First Camera");
    EXPECT_EQ(m_controller->m_pVideoState->GetState(), VS_RUNNING);
    EXPECT_TRUE(WaitForFrame());
}

TEST_F(CaptureSettingsDlgTest, CancelAfterAFailedApplyReturnsToTheCameraOfTheOpening)
{
    Plug("First Camera");
    Plug("Second Camera")->SetBusy(true);
    Previewing();
    EVideoState whileOpen = VS_RUNNING;
    Run(
        [&](HWND dialog)
        {
            Choose(dialog, IDC_SETTINGS_CAMERA_LIST, 1);
            whileOpen = m_controller->m_pVideoState->GetState();
            // Refused once the numbers have passed: a sound that is not there.
            Sound("missing.wav")(dialog, m_dir.Path());
            Click(dialog, IDC_SETTINGS_APPLY);
            Click(dialog, IDC_SETTINGS_CANCEL);
        },
        {IDOK, IDYES});
    EXPECT_EQ(whileOpen, VS_IN_USE);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{Text(IDS_SETTINGS_SOUND_INVALID),
                                                    Text(IDS_SETTINGS_CANCEL_QUESTION)}));
    EXPECT_EQ(SelectedCamera(), "First Camera");
    EXPECT_EQ(m_controller->m_pVideoState->GetState(), VS_RUNNING);
}

TEST_F(CaptureSettingsDlgTest, WithoutCameraTheListSaysNoneAndAShotLocksThePhotoGroup)
{
    m_controller = std::make_unique<CCaptureController>();
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        g_params.m_CamMode = 1;
    }
    std::string listed;
    bool listEnabled = true;
    std::vector<bool> duringShot, afterShot;
    const int group[] = {IDC_SETTINGS_PHOTO_FOLDER, IDC_SETTINGS_PHOTO_FORMAT, IDC_SETTINGS_PHOTO_BROWSE,
                         IDC_SETTINGS_PHOTOS_COUNT, IDC_SETTINGS_RATE};
    Run(
        [&](HWND dialog)
        {
            char name[64] = {};
            ::SendMessage(::GetDlgItem(dialog, IDC_SETTINGS_CAMERA_LIST), CB_GETLBTEXT, 0,
                          reinterpret_cast<LPARAM>(name));
            listed = name;
            listEnabled = Enabled(dialog, IDC_SETTINGS_CAMERA_LIST);
            m_controller->m_pProgState->SetState(PS_SHOT_STARTED);
            for (int id : group)
                duringShot.push_back(Enabled(dialog, id));
            m_controller->m_pProgState->SetState(PS_IMAGES_SAVED);
            for (int id : group)
                afterShot.push_back(Enabled(dialog, id));
        });
    EXPECT_EQ(listed, Text(IDS_NONE));
    EXPECT_FALSE(listEnabled);
    EXPECT_EQ(duringShot, std::vector<bool>(5, false));
    EXPECT_EQ(afterShot, std::vector<bool>(5, true));
}
// Leaving a number field ------------------------------------------------------------------------------------

struct LeaveCase
{
    const char* name;
    int to;
    bool validates;
};

void PrintTo(const LeaveCase& c, std::ostream* os)
{
    *os << c.name;
}

class LeaveNumberFieldTest : public CaptureSettingsDlgTest, public testing::WithParamInterface<LeaveCase>
{
};

TEST_P(LeaveNumberFieldTest, WrongNumberIsReportedOnlyWhenLeftForAnotherField)
{
    const LeaveCase& c = GetParam();
    bool focusBack = false;
    std::pair<DWORD, DWORD> selection{};
    Run(
        [&](HWND dialog)
        {
            HWND photos = ::GetDlgItem(dialog, IDC_SETTINGS_PHOTOS_COUNT);
            ::SetFocus(photos);
            ::SetWindowText(photos, "25");
            ::SetFocus(::GetDlgItem(dialog, c.to));
            focusBack = ::GetFocus() == photos;
            DWORD start = 99, end = 99;
            ::SendMessage(photos, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                          reinterpret_cast<LPARAM>(&end));
            selection = {start, end};
        },
        {IDOK});
    if (!c.validates)
    {
        EXPECT_TRUE(BoxTexts().empty());
        EXPECT_FALSE(focusBack);
        return;
    }
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{Text(IDS_SETTINGS_PHOTOS_RANGE)});
    EXPECT_TRUE(focusBack) << "the field takes the focus back";
    EXPECT_EQ(selection, std::make_pair(DWORD{0}, DWORD{2})) << "with its whole text selected";
}

INSTANTIATE_TEST_SUITE_P(Targets, LeaveNumberFieldTest,
                         testing::Values(LeaveCase{"ToTheRate", IDC_SETTINGS_RATE, true},
                                         LeaveCase{"ToCancel", IDC_SETTINGS_CANCEL, false},
                                         LeaveCase{"ToDefault", IDC_SETTINGS_DEFAULT, false}),
                         [](const testing::TestParamInfo<LeaveCase>& info)
                         { return std::string(info.param.name); });

TEST_F(CaptureSettingsDlgTest, DefaultPutsBackTheDefaultsAndThenHasNothingMoreToDo)
{
    std::vector<std::string> texts;
    bool soundOn = false, defaultEnabled = true, applyEnabled = false;
    Run(
        [&](HWND dialog)
        {
            ASSERT_TRUE(Enabled(dialog, IDC_SETTINGS_DEFAULT)) << "the test's values are not the defaults";
            Click(dialog, IDC_SETTINGS_DEFAULT);
            for (int id :
                 {IDC_SETTINGS_PHOTOS_COUNT, IDC_SETTINGS_DELAY, IDC_SETTINGS_RATE, IDC_SETTINGS_PHOTO_FORMAT,
                  IDC_SETTINGS_VIDEO_QUALITY, IDC_SETTINGS_SOUND_FILE, IDC_SETTINGS_PHOTO_FOLDER})
                texts.push_back(ItemText(dialog, id));
            soundOn = ::SendMessage(::GetDlgItem(dialog, IDC_SETTINGS_PLAY_SOUND), BM_GETCHECK, 0, 0) ==
                      BST_CHECKED;
            defaultEnabled = Enabled(dialog, IDC_SETTINGS_DEFAULT);
            applyEnabled = Enabled(dialog, IDC_SETTINGS_APPLY);
        });
    const std::string photos = std::string(g_params.GetDefaultFolder(CParams::kPathPhotos).Str()) + "/";
    EXPECT_EQ(texts, (std::vector<std::string>{"10", "3", "3", "JPG", Text(IDS_SETTINGS_MEDIUM_QUALITY),
                                               std::string(CParams::GetProgramFolder().Str()) + "/shot.wav",
                                               photos}));
    EXPECT_TRUE(soundOn);
    EXPECT_FALSE(defaultEnabled);
    EXPECT_TRUE(applyEnabled) << "the defaults are not taken over yet";
}
} // namespace
