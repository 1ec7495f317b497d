#include "brevicam/core/Params.h"

#include "platform/registry/Registry.h"
#include "platform/resources/Resources.h"
#include "platform/window/WinApp.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"
#include "tests/support/PulseDaemon.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{
constexpr const char* kSettingsKey = "Software\\Tavisk\\QPX_SE\\Settings";

using testing_support::ScopedEnv;

// A fresh registry, a home of its own with an empty configuration folder, and the application's profile.
class ParamsTest : public testing::Test
{
protected:
    ParamsTest()
        : m_registryEnv("BREVICAM_REGISTRY_DIR", (m_dir / "registry").string()),
          m_homeEnv("HOME", Home().string()), m_configEnv("XDG_CONFIG_HOME", (m_dir / "config").string())
    {
    }
    void SetUp() override
    {
        fs::create_directories(Home());
        platform::registry::Reload();
        m_app.emplace("QPX_SE");
        m_app->SetRegistryKey("Tavisk");
    }
    void TearDown() override
    {
        m_app.reset();
        platform::registry::Reload();
    }

    fs::path Home() const { return m_dir / "home"; }
    fs::path Documents() const { return Home() / "Documents"; }
    std::string Default(const char* sub) const { return (Documents() / "Tavisk webcam" / sub).string(); }

    static DWORD TypeOf(const char* name)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return REG_NONE;
        DWORD type = REG_NONE;
        DWORD size = 0;
        if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            type = REG_NONE;
        RegCloseKey(key);
        return type;
    }
    CString Stored(const char* name) { return Profile().GetProfileString("Settings", name, "<missing>"); }
    int StoredInt(const char* name)
    {
        return static_cast<int>(Profile().GetProfileInt("Settings", name, -999));
    }

    testing_support::TempDir m_dir;
    ScopedEnv m_registryEnv;
    ScopedEnv m_homeEnv;
    ScopedEnv m_configEnv;
    CRegistryProfile& Profile() { return *m_app; }

    std::optional<CWinApp> m_app;
    CParams m_params;
};

std::string Text(int value)
{
    return std::to_string(value);
}

// One persisted value: how to read it from the store, and its default with "{docs}" standing for the
// default capture folders' parent and "{program}" for the program's folder.
struct DefaultCase
{
    const char* name;
    std::function<std::string(CParams&)> read;
    const char* expected;
};

class ParamsDefaultTest : public ParamsTest, public testing::WithParamInterface<DefaultCase>
{
};

TEST_P(ParamsDefaultTest, LoadWithNothingStoredGivesTheDefault)
{
    m_params.Load();
    std::string expected = GetParam().expected;
    for (auto [key, value] :
         {std::pair<std::string, std::string>{"{docs}", (Documents() / "Tavisk webcam").string()},
          {"{program}", CParams::GetProgramFolder().Str()}})
    {
        if (auto at = expected.find(key); at != std::string::npos)
            expected.replace(at, key.size(), value);
    }
    CSingleLock lock(&m_params.m_cs, TRUE);
    EXPECT_EQ(GetParam().read(m_params), expected);
}

INSTANTIATE_TEST_SUITE_P(
    EveryValue, ParamsDefaultTest,
    testing::Values(
        DefaultCase{"AudioEnabled", [](CParams& p) { return Text(p.m_AudioEnabled); }, "1"},
        DefaultCase{"NbSeconds", [](CParams& p) { return Text(p.m_NbSeconds); }, "3"},
        DefaultCase{"NbPictures", [](CParams& p) { return Text(p.m_NbPictures); }, "10"},
        DefaultCase{"VideoPath", [](CParams& p) { return p.m_VideoPath.Str(); }, "{docs}/Videos"},
        DefaultCase{"PhotoPath", [](CParams& p) { return p.m_PhotoPath.Str(); }, "{docs}/Photos"},
        DefaultCase{"iPodVideoPath", [](CParams& p) { return p.m_iPodVideoPath.Str(); },
                    "/Tavisk webcam/iPod"},
        DefaultCase{"CopyToFolderPath", [](CParams& p) { return p.m_CopyToFolderPath.Str(); },
                    "{docs}/Photos"},
        DefaultCase{"PhotoFormat", [](CParams& p) { return Text(p.m_PhotoFormat); }, "3"},
        DefaultCase{"CameraSound", [](CParams& p) { return Text(p.m_CameraSound); }, "1"},
        DefaultCase{"ImagesPerSecond", [](CParams& p) { return Text(p.m_ImagesPerSecond); }, "3"},
        DefaultCase{"ResWarning", [](CParams& p) { return Text(p.m_ResWarning); }, "1"},
        DefaultCase{"BMResWarning", [](CParams& p) { return Text(p.m_BMResWarning); }, "1"},
        DefaultCase{"UpdateAtStart", [](CParams& p) { return Text(p.m_UpdateAtStart); }, "1"},
        DefaultCase{"AudioDevice", [](CParams& p) { return p.m_AudioDevice.Str(); }, ""},
        DefaultCase{"VideoDevice", [](CParams& p) { return p.m_VideoDevice.Str(); }, ""},
        DefaultCase{"SoundFile", [](CParams& p) { return p.m_SoundFile.Str(); }, "{program}/shot.wav"},
        DefaultCase{"NoUpdateIndex", [](CParams& p) { return Text(p.m_NoUpdateIndex); }, "0"},
        DefaultCase{"LastUpdateDate", [](CParams& p) { return p.m_LastUpdateDate.Str(); }, ""},
        DefaultCase{"FlickrTocken", [](CParams& p) { return p.m_FlickrTocken.Str(); }, ""},
        DefaultCase{"FlickrUserProfile", [](CParams& p) { return p.m_FlickrUserProfile.Str(); }, ""},
        DefaultCase{"VideoQuality", [](CParams& p) { return Text(p.m_VideoQuality); }, "1"},
        DefaultCase{"Codec", [](CParams& p) { return p.m_Codec.Str(); }, ""},
        DefaultCase{"ServerPort", [](CParams& p) { return Text(p.m_ServerSettings.ServerPort); }, "554"},
        DefaultCase{"CamName", [](CParams& p) { return std::string(p.m_ServerSettings.CamName); },
                    "Camera 1"},
        DefaultCase{"DateAndTime", [](CParams& p) { return Text(p.m_ServerSettings.DateAndTime); }, "1"},
        DefaultCase{"UpstreamSpeed", [](CParams& p) { return Text(p.m_ServerSettings.UpstreamSpeed); },
                    "200"},
        DefaultCase{"HTMLSkin", [](CParams& p) { return Text(p.m_ServerSettings.HTMLSkin); }, "0"},
        DefaultCase{"ServerAddressAndFlag",
                    [](CParams& p)
                    { return Text(static_cast<int>(p.m_ServerSettings.Address + p.m_ServerSettings.Flag)); },
                    "0"},
        DefaultCase{"URL", [](CParams& p) { return p.m_Login.URL.Str(); }, ""},
        DefaultCase{"Password", [](CParams& p) { return p.m_Login.Password.Str(); }, ""},
        DefaultCase{"Remember", [](CParams& p) { return Text(p.m_Login.Remember); }, "0"},
        DefaultCase{"CamMode", [](CParams& p) { return Text(p.m_CamMode); }, "0"},
        DefaultCase{"StatusCount", [](CParams& p) { return Text(p.m_StatusCount); }, "0"}),
    [](const testing::TestParamInfo<DefaultCase>& info) { return std::string(info.param.name); });

TEST_F(ParamsTest, ConstructionValuesHoldUntilLoad)
{
    CSingleLock lock(&m_params.m_cs, TRUE);
    EXPECT_EQ(m_params.m_UpdateAtStart, 1);
    EXPECT_EQ(m_params.m_Login.Remember, 0);
    EXPECT_EQ(m_params.m_NbPictures, 0);
    EXPECT_TRUE(m_params.m_PhotoPath.IsEmpty());
    EXPECT_EQ(m_params.m_hMainWnd, nullptr);
    EXPECT_EQ(m_params.m_hFullscreenWnd, nullptr);
    EXPECT_TRUE(m_params.GetLastFiles().empty());
}

TEST_F(ParamsTest, SavedValuesLoadBackWithTheirRegistryTypes)
{
    m_params.Load();
    {
        CSingleLock lock(&m_params.m_cs, TRUE);
        m_params.m_AudioEnabled = 0;
        m_params.m_NbSeconds = 9;
        m_params.m_NbPictures = 25;
        m_params.m_PhotoPath = "/srv/photos/Été 2024";
        m_params.m_VideoPath = "/srv/videos";
        m_params.m_iPodVideoPath = "/srv/ipod";
        m_params.m_CopyToFolderPath = "/srv/copies/";
        m_params.m_PhotoFormat = 1;
        m_params.m_CameraSound = 0;
        m_params.m_ImagesPerSecond = 7;
        m_params.m_ResWarning = 0;
        m_params.m_BMResWarning = 0;
        m_params.m_UpdateAtStart = 0;
        m_params.m_AudioDevice = "Webcam Microphone";
        m_params.m_VideoDevice = "Virtual Camera";
        m_params.m_SoundFile = "/usr/share/sounds/click.wav";
        m_params.m_NoUpdateIndex = 4;
        m_params.m_LastUpdateDate = "20240131";
        m_params.m_FlickrTocken = "token";
        m_params.m_FlickrUserProfile = "profile";
        m_params.m_VideoQuality = 2;
        m_params.m_Codec = "Some Codec";
        m_params.m_ServerSettings.ServerPort = 8554;
        m_params.m_ServerSettings.HTMLSkin = 2;
        platform::CopyTruncated(m_params.m_ServerSettings.CamName, 33, "Hall");
        m_params.m_ServerSettings.DateAndTime = false;
        m_params.m_ServerSettings.UpstreamSpeed = 512;
    }
    m_params.Save();

    for (const char* name : {"AudioEnabled", "NbPictures", "ImagesPerSecond", "ServerPort", "DateAndTime"})
        EXPECT_EQ(TypeOf(name), REG_DWORD) << name;
    for (const char* name : {"PhotoPath", "CamName", "LastUpdateDate", "Codec"})
        EXPECT_EQ(TypeOf(name), REG_SZ) << name;

    platform::registry::Reload();
    CParams loaded;
    loaded.Load();
    CSingleLock lock(&loaded.m_cs, TRUE);
    EXPECT_EQ(loaded.m_AudioEnabled, 0);
    EXPECT_EQ(loaded.m_NbSeconds, 9);
    EXPECT_EQ(loaded.m_NbPictures, 25);
    EXPECT_EQ(loaded.m_PhotoPath, "/srv/photos/Été 2024");
    EXPECT_EQ(loaded.m_VideoPath, "/srv/videos");
    EXPECT_EQ(loaded.m_iPodVideoPath, "/srv/ipod");
    EXPECT_EQ(loaded.m_CopyToFolderPath, "/srv/copies/");
    EXPECT_EQ(loaded.m_PhotoFormat, 1);
    EXPECT_EQ(loaded.m_CameraSound, 0);
    EXPECT_EQ(loaded.m_ImagesPerSecond, 7);
    EXPECT_EQ(loaded.m_ResWarning, 0);
    EXPECT_EQ(loaded.m_BMResWarning, 0);
    EXPECT_EQ(loaded.m_UpdateAtStart, 0);
    EXPECT_EQ(loaded.m_AudioDevice, "Webcam Microphone");
    EXPECT_EQ(loaded.m_VideoDevice, "Virtual Camera");
    EXPECT_EQ(loaded.m_SoundFile, "/usr/share/sounds/click.wav");
    EXPECT_EQ(loaded.m_NoUpdateIndex, 4);
    EXPECT_EQ(loaded.m_LastUpdateDate, "20240131");
    EXPECT_EQ(loaded.m_FlickrTocken, "token");
    EXPECT_EQ(loaded.m_FlickrUserProfile, "profile");
    EXPECT_EQ(loaded.m_VideoQuality, 2);
    EXPECT_EQ(loaded.m_Codec, "Some Codec");
    EXPECT_EQ(loaded.GetVideoEncoder(), "WMVideo8 Encoder DMO");
    EXPECT_EQ(loaded.m_ServerSettings.ServerPort, 8554);
    EXPECT_EQ(loaded.m_ServerSettings.HTMLSkin, 2);
    EXPECT_STREQ(loaded.m_ServerSettings.CamName, "Hall");
    EXPECT_FALSE(loaded.m_ServerSettings.DateAndTime);
    EXPECT_EQ(loaded.m_ServerSettings.UpstreamSpeed, 512);
}

// A stored value, the value Load makes of it, and the value the next Save stores.
struct CorruptCase
{
    const char* name;
    std::function<void(CRegistryProfile&)> store;
    std::function<std::string(CParams&)> read;
    const char* loaded;
    const char* value;   // the registry value Save rewrites
    const char* resaved; // its text after Save
};

class ParamsCorruptValueTest : public ParamsTest, public testing::WithParamInterface<CorruptCase>
{
};

TEST_P(ParamsCorruptValueTest, LoadPutsItRightAndSaveStoresTheRightValue)
{
    GetParam().store(Profile());
    m_params.Load();
    {
        CSingleLock lock(&m_params.m_cs, TRUE);
        EXPECT_EQ(GetParam().read(m_params), GetParam().loaded);
    }
    m_params.Save();
    const DWORD type = TypeOf(GetParam().value);
    const std::string stored =
        type == REG_DWORD ? Text(StoredInt(GetParam().value)) : Stored(GetParam().value).Str();
    EXPECT_EQ(stored, GetParam().resaved);
}

auto StoreInt(const char* name, int value)
{
    return [=](CRegistryProfile& p) { p.WriteProfileInt("Settings", name, value); };
}
auto StoreText(const char* name, const char* value)
{
    return [=](CRegistryProfile& p) { p.WriteProfileString("Settings", name, value); };
}

INSTANTIATE_TEST_SUITE_P(
    StoredValues, ParamsCorruptValueTest,
    testing::Values(
        CorruptCase{"PhotoFormat2", StoreInt("PhotoFormat", 2),
                    [](CParams& p) { return Text(p.m_PhotoFormat); }, "3", "PhotoFormat", "3"},
        CorruptCase{"PhotoFormat1Stays", StoreInt("PhotoFormat", 1),
                    [](CParams& p) { return Text(p.m_PhotoFormat); }, "1", "PhotoFormat", "1"},
        CorruptCase{"PhotoFormatAsText", StoreText("PhotoFormat", "1"),
                    [](CParams& p) { return Text(p.m_PhotoFormat); }, "3", "PhotoFormat", "3"},
        CorruptCase{"ImagesPerSecondZero", StoreInt("ImagesPerSecond", 0),
                    [](CParams& p) { return Text(p.m_ImagesPerSecond); }, "3", "ImagesPerSecond", "3"},
        CorruptCase{"ImagesPerSecondNegative", StoreInt("ImagesPerSecond", -4),
                    [](CParams& p) { return Text(p.m_ImagesPerSecond); }, "3", "ImagesPerSecond", "3"},
        CorruptCase{"ImagesPerSecondFiveStays", StoreInt("ImagesPerSecond", 5),
                    [](CParams& p) { return Text(p.m_ImagesPerSecond); }, "5", "ImagesPerSecond", "5"},
        CorruptCase{"NbPicturesZero", StoreInt("NbPictures", 0),
                    [](CParams& p) { return Text(p.m_NbPictures); }, "10", "NbPictures", "10"},
        CorruptCase{"NbPicturesNegative", StoreInt("NbPictures", -1),
                    [](CParams& p) { return Text(p.m_NbPictures); }, "10", "NbPictures", "10"},
        CorruptCase{"ServerPortOver16Bits", StoreInt("ServerPort", 70000),
                    [](CParams& p) { return Text(p.m_ServerSettings.ServerPort); }, "4464", "ServerPort",
                    "4464"},
        CorruptCase{"UpstreamSpeedOver16Bits", StoreInt("UpstreamSpeed", 65537),
                    [](CParams& p) { return Text(p.m_ServerSettings.UpstreamSpeed); }, "1", "UpstreamSpeed",
                    "1"},
        CorruptCase{"DateAndTimeFive", StoreInt("DateAndTime", 5),
                    [](CParams& p) { return Text(p.m_ServerSettings.DateAndTime); }, "1", "DateAndTime", "1"},
        CorruptCase{"CamNameOf40Characters", StoreText("CamName", "0123456789012345678901234567890123456789"),
                    [](CParams& p) { return std::string(p.m_ServerSettings.CamName); },
                    "01234567890123456789012345678901", "CamName", "01234567890123456789012345678901"},
        // 31 ASCII bytes and a two-byte letter: the letter does not fit whole and goes.
        CorruptCase{"CamNameCutBetweenCharacters", StoreText("CamName", "0123456789012345678901234567890é"),
                    [](CParams& p) { return std::string(p.m_ServerSettings.CamName); },
                    "0123456789012345678901234567890", "CamName", "0123456789012345678901234567890"}),
    [](const testing::TestParamInfo<CorruptCase>& info) { return std::string(info.param.name); });

TEST_F(ParamsTest, CopyToFolderPathDefaultsToTheStoredPhotoPath)
{
    Profile().WriteProfileString("Settings", "PhotoPath", "/srv/Pics");
    m_params.Load();
    CSingleLock lock(&m_params.m_cs, TRUE);
    EXPECT_EQ(m_params.m_CopyToFolderPath, "/srv/Pics");
}

TEST_F(ParamsTest, PerModelValuesAreReadAndWrittenForThatModelOnly)
{
    Profile().WriteProfileString("Settings", "VideoResolution_12", "1280 x 720");
    Profile().WriteProfileString("Settings", "PhotoResolution_12", "1600 x 1200");
    Profile().WriteProfileInt("Settings", "CamMode_12", 2);

    m_params.LoadCameraSettings("7");
    EXPECT_EQ(m_params.GetVideoResolution(), "640 x 480");
    EXPECT_EQ(m_params.GetPhotoResolution(), "640 x 480");
    EXPECT_EQ(m_params.GetCamMode(), 0);

    m_params.LoadCameraSettings("12");
    EXPECT_EQ(m_params.GetVideoResolution(), "1280 x 720");
    EXPECT_EQ(m_params.GetPhotoResolution(), "1600 x 1200");
    EXPECT_EQ(m_params.GetCamMode(), 2);

    {
        CSingleLock lock(&m_params.m_cs, TRUE);
        m_params.m_VideoResolution = "800 x 600";
    }
    m_params.SetCamMode(3);
    m_params.SaveCameraSettings("7");
    EXPECT_EQ(Stored("VideoResolution_7"), "800 x 600");
    EXPECT_EQ(Stored("PhotoResolution_7"), "1600 x 1200");
    EXPECT_EQ(StoredInt("CamMode_7"), 3);
    EXPECT_EQ(Stored("VideoResolution_12"), "1280 x 720");
    EXPECT_EQ(StoredInt("CamMode_12"), 2);

    // Save leaves the per-model values alone.
    m_params.SetCamMode(1);
    m_params.Save();
    EXPECT_EQ(StoredInt("CamMode_7"), 3);
}

TEST_F(ParamsTest, CaptureModeOutsideItsRangeLoadsAsPhoto)
{
    for (int stored : {-1, 4, 1000})
    {
        Profile().WriteProfileInt("Settings", "CamMode_5", stored);
        m_params.SetCamMode(2);
        m_params.LoadCameraSettings("5");
        EXPECT_EQ(m_params.GetCamMode(), 0) << stored;
    }
    Profile().WriteProfileInt("Settings", "CamMode_5", 3);
    m_params.LoadCameraSettings("5");
    EXPECT_EQ(m_params.GetCamMode(), 3);
}

TEST_F(ParamsTest, LoginValuesAreWrittenOnlyWhileRemembered)
{
    Profile().WriteProfileString("Settings", "URL", "rtsp://old");
    Profile().WriteProfileString("Settings", "User", "old user");
    m_params.Load();
    {
        CSingleLock lock(&m_params.m_cs, TRUE);
        m_params.m_Login.URL = "rtsp://new";
        m_params.m_Login.User = "new user";
        m_params.m_Login.GUID = "guid";
        m_params.m_Login.Password = "secret";
    }
    m_params.Save();
    EXPECT_EQ(Stored("URL"), "rtsp://old");
    EXPECT_EQ(Stored("User"), "old user");
    EXPECT_EQ(Stored("Password"), "<missing>");
    EXPECT_EQ(Stored("Remember"), "<missing>");

    {
        CSingleLock lock(&m_params.m_cs, TRUE);
        m_params.m_Login.Remember = 1;
    }
    m_params.Save();
    EXPECT_EQ(Stored("URL"), "rtsp://new");
    EXPECT_EQ(Stored("GUID"), "guid");
    EXPECT_EQ(Stored("User"), "new user");
    EXPECT_EQ(Stored("Password"), "secret");
    EXPECT_EQ(StoredInt("Remember"), 1);
}

// How often the settings file was saved while `action` ran: each save writes a file under a name of its
// own and renames it over the settings file. The kernel may merge moves onto one name into one event,
// never moves from different names.
int SettingsFileSaves(const fs::path& folder, const std::function<void()>& action)
{
    fs::create_directories(folder);
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    EXPECT_GE(watch, 0);
    EXPECT_GE(inotify_add_watch(watch, folder.c_str(), IN_MOVED_FROM), 0);
    action();
    int saves = 0;
    alignas(inotify_event) char buffer[4096];
    ssize_t length = 0;
    while ((length = ::read(watch, buffer, sizeof buffer)) > 0)
        for (const char* at = buffer; at < buffer + length;)
        {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            if (event->len > 0 && std::string(event->name).find("HKCU.json") != std::string::npos)
                ++saves;
            at += sizeof(inotify_event) + event->len;
        }
    ::close(watch);
    return saves;
}

TEST_F(ParamsTest, EachSaveWritesTheSettingsFileOnce)
{
    m_params.Load();
    m_params.LoadCameraSettings("5");
    {
        CSingleLock lock(&m_params.m_cs, TRUE);
        m_params.m_Login.Remember = 1;
        m_params.m_NbPictures = 12;
        m_params.m_CamMode = 2;
    }
    const fs::path folder = m_dir / "registry";
    EXPECT_EQ(SettingsFileSaves(folder, [&] { m_params.Save(); }), 1);
    EXPECT_EQ(SettingsFileSaves(folder, [&] { m_params.SaveCameraSettings("5"); }), 1);
    platform::registry::Reload();
    EXPECT_EQ(StoredInt("NbPictures"), 12);
    EXPECT_EQ(StoredInt("Remember"), 1);
    EXPECT_EQ(StoredInt("CamMode_5"), 2);
}

TEST_F(ParamsTest, WithoutAProfileLoadGivesDefaultsAndSaveWritesNothing)
{
    Profile().WriteProfileInt("Settings", "NbPictures", 42);
    // Before the application object has its registry key, and when there is no application object.
    Profile().SetRegistryKey(nullptr);
    for (int round = 0; round < 2; ++round)
    {
        m_params.Load();
        {
            CSingleLock lock(&m_params.m_cs, TRUE);
            EXPECT_EQ(m_params.m_NbPictures, 10);
            m_params.m_NbPictures = 5;
        }
        m_params.Save();
        m_app.reset();
    }
    m_app.emplace("QPX_SE");
    m_app->SetRegistryKey("Tavisk");
    EXPECT_EQ(StoredInt("NbPictures"), 42);
}

TEST_F(ParamsTest, LoadCreatesTheDefaultFoldersWhateverFoldersAreChosen)
{
    Profile().WriteProfileString("Settings", "PhotoPath", (m_dir / "chosen").c_str());
    m_params.Load();
    for (const char* sub : {"Photos", "Videos", "GIF", "Emails"})
        EXPECT_TRUE(fs::is_directory(Default(sub))) << sub;
    EXPECT_FALSE(fs::exists(Default("iPod")));
    EXPECT_FALSE(fs::exists(m_dir / "chosen"));
    EXPECT_EQ(m_params.GetPhotoPath(), (m_dir / "chosen").string() + "/");
}

TEST_F(ParamsTest, SelectPathResetsTheFolderAndCreatesIt)
{
    {
        CSingleLock lock(&m_params.m_cs, TRUE);
        m_params.m_iPodVideoPath = "/elsewhere";
        m_params.m_VideoPath = "/elsewhere";
    }
    m_params.SelectPath(CParams::kPathIPod);
    m_params.SelectPath(CParams::kPathVideos);
    CSingleLock lock(&m_params.m_cs, TRUE);
    EXPECT_EQ(m_params.m_iPodVideoPath, Default("iPod"));
    EXPECT_EQ(m_params.m_VideoPath, Default("Videos"));
    EXPECT_TRUE(fs::is_directory(Default("iPod")));
    EXPECT_TRUE(fs::is_directory(Default("Videos")));
}

TEST_F(ParamsTest, SelectPathWithAnUnknownSelectorThrowsAndChangesNothing)
{
    {
        CSingleLock lock(&m_params.m_cs, TRUE);
        m_params.m_PhotoPath = "/kept";
    }
    try
    {
        m_params.SelectPath(100);
        FAIL() << "no exception";
    }
    catch (const CInvalidArgumentException& e)
    {
        EXPECT_STREQ(e.what(), ".\\Params[CParams::SelectPath]: Unknown path selector");
    }
    CSingleLock lock(&m_params.m_cs, TRUE);
    EXPECT_EQ(m_params.m_PhotoPath, "/kept");
    EXPECT_FALSE(fs::exists(Documents()));
}

TEST_F(ParamsTest, WithoutADocumentsFolderTheFolderKeepsItsValueAndIsCreated)
{
    // A home that is a file: no documents folder can be made in it.
    fs::remove_all(Home());
    m_dir.WriteFile("home", "not a folder");
    const std::string previous = (m_dir / "previous" / "Photos").string();
    {
        CSingleLock lock(&m_params.m_cs, TRUE);
        m_params.m_PhotoPath = previous;
    }
    EXPECT_TRUE(m_params.GetDefaultFolder(CParams::kPathPhotos).IsEmpty());
    m_params.SelectPath(CParams::kPathPhotos);
    EXPECT_EQ(m_params.GetPhotoPath(), previous + "/");
    EXPECT_TRUE(fs::is_directory(previous));

    ScopedEnv noHome("HOME", std::nullopt);
    EXPECT_TRUE(m_params.GetDefaultFolder(CParams::kPathVideos).IsEmpty());
}

TEST_F(ParamsTest, GetDefaultFolderCreatesNothing)
{
    EXPECT_EQ(m_params.GetDefaultFolder(CParams::kPathPhotos), Default("Photos"));
    EXPECT_EQ(m_params.GetDefaultFolder(CParams::kPathVideos), Default("Videos"));
    EXPECT_TRUE(m_params.GetDefaultFolder(CParams::kPathIPod).IsEmpty());
    EXPECT_FALSE(fs::exists(Default("Photos")));
    EXPECT_FALSE(fs::exists(Default("Videos")));
}

// A user-dirs.dirs content (empty: no file) and where the documents folder is then, below the home.
struct DocumentsCase
{
    const char* name;
    const char* userDirs;
    const char* documents; // relative to the home; "/..." relative to the test's folder
};

class ParamsDocumentsTest : public ParamsTest, public testing::WithParamInterface<DocumentsCase>
{
};

TEST_P(ParamsDocumentsTest, DefaultFoldersLieInTheUsersDocumentsFolder)
{
    std::string content = GetParam().userDirs;
    if (auto at = content.find("{abs}"); at != std::string::npos)
        content.replace(at, 5, m_dir.Path().string());
    if (!content.empty())
        m_dir.WriteFile("config/user-dirs.dirs", content);
    const std::string documents = GetParam().documents;
    const fs::path expected =
        documents.starts_with("/") ? fs::path(m_dir.Path().string() + documents) : Home() / documents;
    EXPECT_EQ(m_params.GetDefaultFolder(CParams::kPathPhotos), (expected / "Tavisk webcam/Photos").string());
}

INSTANTIATE_TEST_SUITE_P(
    UserDirs, ParamsDocumentsTest,
    testing::Values(
        DocumentsCase{"NoFile", "", "Documents"},
        DocumentsCase{"Relocated", "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n", "Papers"},
        DocumentsCase{"WithBlanksAndComments",
                      "# written by xdg-user-dirs-update\n  XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                      "XDG_DOCUMENTS_DIR=\"$HOME/My Documents\"\n",
                      "My Documents"},
        DocumentsCase{"NonAscii", "XDG_DOCUMENTS_DIR=\"$HOME/Документы\"\n", "Документы"},
        DocumentsCase{"Absolute", "XDG_DOCUMENTS_DIR=\"{abs}/shared docs\"\n", "/shared docs"},
        DocumentsCase{"LastAssignmentWins",
                      "XDG_DOCUMENTS_DIR=\"$HOME/First\"\nXDG_DOCUMENTS_DIR=\"$HOME/Second\"\n", "Second"},
        DocumentsCase{"EscapedQuote", "XDG_DOCUMENTS_DIR=\"$HOME/say \\\"cheese\\\"\"\n", "say \"cheese\""},
        DocumentsCase{"RelativeIsIgnored", "XDG_DOCUMENTS_DIR=\"Papers\"\n", "Documents"},
        DocumentsCase{"UnterminatedIsIgnored", "XDG_DOCUMENTS_DIR=\"$HOME/Papers\n", "Documents"},
        DocumentsCase{"HomeItself", "XDG_DOCUMENTS_DIR=\"$HOME\"\n", ""}),
    [](const testing::TestParamInfo<DocumentsCase>& info) { return std::string(info.param.name); });

TEST_F(ParamsTest, CaptureFolderAccessorsAddTheTrailingSlashToTheMember)
{
    {
        CSingleLock lock(&m_params.m_cs, TRUE);
        m_params.m_PhotoPath = "/srv/Pics";
        m_params.m_VideoPath = "/srv/Clips/";
        m_params.m_CopyToFolderPath = "";
    }
    EXPECT_EQ(m_params.GetPhotoPath(), "/srv/Pics/");
    EXPECT_EQ(m_params.GetVideoPath(), "/srv/Clips/");
    EXPECT_EQ(m_params.GetCopyToFolderPath(), "");
    m_params.Save();
    EXPECT_EQ(Stored("PhotoPath"), "/srv/Pics/");
    CSingleLock lock(&m_params.m_cs, TRUE);
    EXPECT_EQ(m_params.m_PhotoPath, "/srv/Pics/");
}

TEST_F(ParamsTest, LastFilesAreClearedForEachCaptureUnlessInBurstMode)
{
    m_params.SetCamMode(0);
    EXPECT_EQ(m_params.AddLastCapturedFile("/p/a.jpg"), "/p/a.jpg");
    EXPECT_EQ(m_params.AddLastCapturedFile("/p/b.jpg"), "/p/b.jpg");
    EXPECT_EQ(m_params.GetLastFiles(), std::vector<CString>{"/p/b.jpg"});

    m_params.SetCamMode(1);
    m_params.ClearLastFiles();
    for (const char* file : {"/p/1.jpg", "/p/2.jpg", "/p/3.jpg"})
        m_params.AddLastCapturedFile(file);
    EXPECT_EQ(m_params.GetLastFiles(), (std::vector<CString>{"/p/1.jpg", "/p/2.jpg", "/p/3.jpg"}));

    m_params.SetCamMode(2);
    m_params.AddLastCapturedFile("/p/timer.jpg");
    EXPECT_EQ(m_params.GetLastFiles(), std::vector<CString>{"/p/timer.jpg"});
    m_params.ClearLastFiles();
    EXPECT_TRUE(m_params.GetLastFiles().empty());
}

TEST_F(ParamsTest, UpdatesUnderOneHoldAreNeverLost)
{
    constexpr int each = 2000;
    auto work = [this]
    {
        for (int i = 0; i < each; ++i)
        {
            CSingleLock lock(&m_params.m_cs, TRUE);
            const int seen = m_params.m_NoUpdateIndex;
            std::this_thread::yield();
            m_params.m_NoUpdateIndex = seen + 1;
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    CSingleLock lock(&m_params.m_cs, TRUE);
    EXPECT_EQ(m_params.m_NoUpdateIndex, 2 * each);
    // The holder may save without letting go.
    m_params.Save();
    EXPECT_EQ(StoredInt("NoUpdateIndex"), 2 * each);
}

class ParamsUpdateKeyTest : public ParamsTest
{
protected:
    void SetUpdateValue(const char* name, DWORD type, const void* data, DWORD size)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, CParams::GetUpdateKeyName(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void SetText(const char* name, const std::string& text, DWORD type = REG_SZ)
    {
        SetUpdateValue(name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }
};

TEST_F(ParamsUpdateKeyTest, KeyNameFollowsTheProgramsFolder)
{
    EXPECT_EQ(CParams::GetUpdateKeyName(), "Software\\Tavisk\\" + CParams::GetProgramFolder() + "\\Update");
}

// (The registry store keeps texts terminated, so an unterminated text cannot be stored to try.)
TEST_F(ParamsUpdateKeyTest, ServerAndPathFallBackUnlessStoredAsAFittingText)
{
    const CString fallback = CParams::GetUpdateServer();
    EXPECT_FALSE(fallback.IsEmpty());
    EXPECT_EQ(CParams::GetUpdatePath(), "");

    SetText("FtpServer", "ftp.example.org");
    SetText("Path", "/updates/brevicam");
    EXPECT_EQ(CParams::GetUpdateServer(), "ftp.example.org");
    EXPECT_EQ(CParams::GetUpdatePath(), "/updates/brevicam");

    SetText("FtpServer", "%SERVER%", REG_EXPAND_SZ);
    EXPECT_EQ(CParams::GetUpdateServer(), "%SERVER%");

    SetUpdateValue("FtpServer", REG_SZ, "", 0);
    EXPECT_EQ(CParams::GetUpdateServer(), "");

    const DWORD number = 7;
    SetUpdateValue("FtpServer", REG_DWORD, &number, sizeof number);
    EXPECT_EQ(CParams::GetUpdateServer(), fallback);

    SetText("FtpServer", std::string(300, 'x'));
    EXPECT_EQ(CParams::GetUpdateServer(), fallback);

    SetText("Path", std::string(259, 'p'));
    EXPECT_EQ(CParams::GetUpdatePath(), std::string(259, 'p'));
}

TEST_F(ParamsTest, LanguageCodeComesFromTheInstallationKey)
{
    char code[4] = {};
    CParams::GetLanguageCode(code);
    EXPECT_STREQ(code, "ENU");

    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\Tavisk\\" + CParams::GetProgramFolder(), 0,
                              nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Language", 0, REG_SZ, reinterpret_cast<const BYTE*>("FRA"), 4);
    RegCloseKey(key);
    char stored[4] = {};
    CParams::GetLanguageCode(stored);
    EXPECT_STREQ(stored, "FRA");
}

TEST_F(ParamsTest, ProgramFolderIsTheFolderOfTheRunningProgram)
{
    EXPECT_EQ(CParams::GetProgramFolder(), fs::read_symlink("/proc/self/exe").parent_path().string());
}

TEST_F(ParamsTest, AdministratorsAreRootOrMembersOfAnAdministratorsGroup)
{
    std::string uid, groups;
    ASSERT_EQ(testing_support::RunProgram({"id", "-u"}, &uid), 0);
    ASSERT_EQ(testing_support::RunProgram({"id", "-Gn"}, &groups), 0);
    bool expected = std::stoi(uid) == 0;
    std::istringstream names(groups);
    for (std::string name; names >> name;)
        expected |= name == "sudo" || name == "admin" || name == "wheel";
    EXPECT_EQ(CParams::IsUserAdmin(), expected);
}

// The program's own string table, as embedded in this test program.
struct StringCase
{
    UINT id;
    const char* text;
};

class ParamsStringTableTest : public testing::TestWithParam<StringCase>
{
};

TEST_P(ParamsStringTableTest, TextIsTheProgramsOwn)
{
    CString text;
    ASSERT_TRUE(text.LoadString(AfxGetResourceHandle(), GetParam().id));
    EXPECT_EQ(text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Strings, ParamsStringTableTest,
    testing::Values(
        StringCase{IDS_APP_NAME, "Tavisk Webcam Vistrel"},
        StringCase{IDS_INIT_FAILED, "The application failed to initialize properly"},
        StringCase{IDS_PRODUCT_NAME, "Brevicam"}, StringCase{IDS_OK, "OK"}, StringCase{IDS_CANCEL, "Cancel"},
        StringCase{IDS_YES, "&Yes"}, StringCase{IDS_NO, "&No"},
        StringCase{IDS_FOLDER_MISSING_CREATE,
                   "The folder\n%s\ndoes not exist. Would you like to create it now?"},
        StringCase{IDS_FOLDER_CREATE_FAILED,
                   "Cannot create folder %s.\nPlease verify that the drive is accessible "
                   "and you have sufficient rights to create the folder."},
        StringCase{IDS_DIRECTORY_INVALID, "%s\nDirectory name is invalid."},
        StringCase{IDS_DONT_WARN_AGAIN, "Don't warn me in the future."}, StringCase{IDS_PHOTOS, "Photos"},
        StringCase{IDS_VIDEOS, "Videos"},
        StringCase{IDS_NOT_ENOUGH_SPACE, "You don't have enough free space on your hard drive."},
        StringCase{IDS_RES_LOWERED_BURST,
                   "Note: The selected resolution is not supported in burst mode.\n Your "
                   "webcam's resolution will be automatically adjusted to the maximum value "
                   "supported."},
        StringCase{IDS_NEED_24BIT_COLOUR,
                   "You need to select at least a 24bits colour quality \nin your Display "
                   "Properties before runing %s."},
        StringCase{
            IDS_NOT_ADMINISTRATOR,
            "To enjoy all your webcam's features, you need to restart your system as \"Standard user\" or "
            "\"Administrator\", not as \"Guest\"."}),
    [](const testing::TestParamInfo<StringCase>& info) { return "Id" + std::to_string(info.param.id); });

TEST(ParamsTitleTest, AppTitleIsTheProductName)
{
    EXPECT_EQ(CParams::GetAppTitle(), "Brevicam");
}
} // namespace
