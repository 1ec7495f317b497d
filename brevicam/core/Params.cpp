#include "Params.h"

#include "brevicam/core/RegKeyHolder.h"
#include "brevicam/core/ResourceInstance.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/registry/Registry.h"
#include "platform/resources/Resources.h"
#include "platform/window/WinApp.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"

#include <arpa/inet.h>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

CParams g_params;

namespace
{
constexpr const char* kSection = "Settings";
constexpr const char* kDefaultResolution = "640 x 480";
constexpr const char* kVideoEncoder = "WMVideo8 Encoder DMO";
constexpr const char* kDefaultUpdateServer = "ftp.tavisk.com";
constexpr DWORD kModuleDirectorySize = 260;

constexpr int kDefaultNbPictures = 10;
constexpr int kDefaultImagesPerSecond = 3;
constexpr int kDefaultPhotoFormat = 3;
constexpr int kPhotoFormatBmp = 1;
constexpr int kLastCamMode = 3;

// The profile functions of the application object; without one, reads give the defaults and writes do
// nothing.
CRegistryProfile* AppProfile()
{
    return AfxGetApp();
}

int ReadInt(const char* entry, int defaultValue)
{
    CRegistryProfile* profile = AppProfile();
    return profile ? static_cast<int>(profile->GetProfileInt(kSection, entry, defaultValue)) : defaultValue;
}

CString ReadString(const char* entry, const char* defaultValue)
{
    CRegistryProfile* profile = AppProfile();
    return profile ? profile->GetProfileString(kSection, entry, defaultValue) : CString(defaultValue);
}

void WriteInt(const char* entry, int value)
{
    if (CRegistryProfile* profile = AppProfile())
        profile->WriteProfileInt(kSection, entry, value);
}

void WriteString(const char* entry, const char* value)
{
    if (CRegistryProfile* profile = AppProfile())
        profile->WriteProfileString(kSection, entry, value);
}

// The program's folder as the common-utilities library reports it; empty when it cannot tell.
CString ModuleDirectory()
{
    char buffer[kModuleDirectorySize] = {};
    if (GetModuleDirectory(buffer, kModuleDirectorySize) == 0)
        return CString();
    buffer[kModuleDirectorySize - 1] = '\0';
    return CString(buffer);
}

// The first IPv4 address the local host name resolves to, in host byte order; 0 when there is none.
DWORD LocalHostAddress()
{
    char name[50] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return 0;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0 || !found)
        return 0;
    DWORD address = 0;
    if (found->ai_addr && found->ai_addrlen >= sizeof(sockaddr_in))
        address = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    freeaddrinfo(found);
    return address;
}

// A text value of the update key, accepted only when it is a terminated text that fits 260 bytes.
bool ReadUpdateValue(const char* valueName, CString& out)
{
    CRegKeyHolder key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, CParams::GetUpdateKeyName(), 0, KEY_READ, key.Receive()) !=
        ERROR_SUCCESS)
        return false;
    BYTE data[MAX_PATH] = {};
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key, valueName, nullptr, &type, data, &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return false;
    if (size == 0)
    {
        out.Empty();
        return true;
    }
    if (size > sizeof data || data[size - 1] != '\0')
        return false;
    out = reinterpret_cast<const char*>(data);
    return true;
}
} // namespace

CParams::CParams()
    : m_hMainWnd(nullptr), m_ServerSettings{}, m_DefaultServerSettings{},
      m_AudioEnabled(0), m_Login{CString(), CString(), CString(), CString(), 0}, m_CamMode(0),
      m_StatusCount(0), m_NbSeconds(0), m_NbPictures(0), m_PhotoFormat(0), m_CameraSound(0),
      m_BMResWarning(0), m_ResWarning(0), m_UpdateAtStart(1), m_ImagesPerSecond(0), m_NoUpdateIndex(0),
      m_hFullscreenWnd(nullptr), m_VideoQuality(0)
{
    static constexpr std::pair<const char*, int> kImageTypes[] = {
        {"BMP", 1},  {"GIF", 2},  {"JPG", 3},  {"JPEG", 3}, {"JPE", 3},  {"JFIF", 3},
        {"PNG", 4},  {"ICO", 5},  {"TIFF", 6}, {"TIF", 6},  {"TGA", 7},  {"PCX", 8},
        {"WBMP", 9}, {"WMF", 10}, {"EMF", 10}, {"PGX", 13}, {"PNM", 14}, {"PPM", 14},
        {"PGM", 14}, {"RAS", 15}, {"JP2", 11}, {"J2C", 11}, {"JPC", 12},
    };
    static constexpr std::pair<const char*, int> kMediaTypes[] = {
        {"MPG", 1}, {"MPEG", 1}, {"MP4", 1}, {"AVI", 0}, {"ASF", 2}, {"WMV", 3},
    };
    for (const auto& [extension, type] : kImageTypes)
        m_ImageTypes.emplace(extension, type);
    for (const auto& [extension, kind] : kMediaTypes)
        m_MediaTypes.emplace(extension, kind);
}

void CParams::Load()
{
    CSingleLock lock(&m_cs, TRUE);

    m_AudioEnabled = ReadInt("AudioEnabled", 1);
    m_NbSeconds = ReadInt("NbSeconds", 3);
    m_NbPictures = ReadInt("NbPictures", kDefaultNbPictures);

    // Where there is no documents folder, the folders default to the root's, as they did to the system
    // drive's.
    m_PhotoPath = "/Tavisk webcam/Photos";
    m_VideoPath = "/Tavisk webcam/Videos";
    m_iPodVideoPath = "/Tavisk webcam/iPod";
    SelectPath(kPathPhotos);
    SelectPath(kPathVideos);

    m_VideoPath = ReadString("VideoPath", m_VideoPath);
    m_PhotoPath = ReadString("PhotoPath", m_PhotoPath);
    m_iPodVideoPath = ReadString("iPodVideoPath", m_iPodVideoPath);
    m_CopyToFolderPath = ReadString("CopyToFolderPath", m_PhotoPath);

    m_PhotoFormat = ReadInt("PhotoFormat", kDefaultPhotoFormat);
    m_CameraSound = ReadInt("CameraSound", 1);
    m_ImagesPerSecond = ReadInt("ImagesPerSecond", kDefaultImagesPerSecond);
    m_ResWarning = ReadInt("ResWarning", 1);
    m_BMResWarning = ReadInt("BMResWarning", 1);
    m_UpdateAtStart = ReadInt("UpdateAtStart", 1);
    m_AudioDevice = ReadString("AudioDevice", "");
    m_VideoDevice = ReadString("VideoDevice", "");

    m_SoundFile = ReadString("SoundFile", GetProgramFolder() + "/shot.wav");

    m_NoUpdateIndex = ReadInt("NoUpdateIndex", 0);
    m_LastUpdateDate = ReadString("LastUpdateDate", "");
    m_FlickrTocken = ReadString("FlickrTocken", "");
    m_FlickrUserProfile = ReadString("FlickrUserProfile", "");
    m_VideoQuality = ReadInt("VideoQuality", 1);
    m_Codec = ReadString("Codec", "");

    if (m_PhotoFormat != kDefaultPhotoFormat && m_PhotoFormat != kPhotoFormatBmp)
        m_PhotoFormat = kDefaultPhotoFormat;
    // The burst timer and the GIF frame time divide by the rate, and a burst of no pictures never ends.
    if (m_ImagesPerSecond <= 0)
        m_ImagesPerSecond = kDefaultImagesPerSecond;
    if (m_NbPictures <= 0)
        m_NbPictures = kDefaultNbPictures;

    FillDefaultServerSettings();
    const tagServerSettings& defaults = m_DefaultServerSettings;
    m_ServerSettings = tagServerSettings{};
    m_ServerSettings.ServerPort = static_cast<WORD>(ReadInt("ServerPort", defaults.ServerPort));
    const CString camName = ReadString("CamName", defaults.CamName);
    platform::CopyTruncated(m_ServerSettings.CamName, sizeof m_ServerSettings.CamName, camName.Str());
    m_ServerSettings.DateAndTime = ReadInt("DateAndTime", defaults.DateAndTime ? 1 : 0) != 0;
    m_ServerSettings.UpstreamSpeed = static_cast<WORD>(ReadInt("UpstreamSpeed", defaults.UpstreamSpeed));
    m_ServerSettings.HTMLSkin = ReadInt("HTMLSkin", defaults.HTMLSkin);

    LoadLogin();
    CreateMediaFolders();
}

void CParams::FillDefaultServerSettings()
{
    tagServerSettings& d = m_DefaultServerSettings;
    d = tagServerSettings{};
    d.ServerPort = 554;
    d.Address = LocalHostAddress();
    d.Flag = 0;
    platform::CopyTruncated(d.CamName, sizeof d.CamName, "Camera 1");
    d.DateAndTime = true;
    d.UpstreamSpeed = 200;
    d.HTMLSkin = 0;
}

void CParams::LoadLogin()
{
    CSingleLock lock(&m_cs, TRUE);
    m_Login.URL = ReadString("URL", "");
    m_Login.GUID = ReadString("GUID", "");
    m_Login.User = ReadString("User", "");
    m_Login.Password = ReadString("Password", "");
    m_Login.Remember = ReadInt("Remember", 0);
}

void CParams::Save()
{
    CSingleLock lock(&m_cs, TRUE);
    // One save of the settings file for all of them, not one per value.
    platform::registry::WriteBatch batch;
    WriteInt("AudioEnabled", m_AudioEnabled);
    WriteInt("ServerPort", m_ServerSettings.ServerPort);
    WriteInt("HTMLSkin", m_ServerSettings.HTMLSkin);
    WriteString("CamName", m_ServerSettings.CamName);
    WriteInt("DateAndTime", m_ServerSettings.DateAndTime ? 1 : 0);
    WriteInt("UpstreamSpeed", m_ServerSettings.UpstreamSpeed);
    WriteInt("NbPictures", m_NbPictures);
    WriteInt("NbSeconds", m_NbSeconds);
    WriteInt("PhotoFormat", m_PhotoFormat);
    WriteString("VideoPath", m_VideoPath);
    WriteString("iPodVideoPath", m_iPodVideoPath);
    WriteString("PhotoPath", m_PhotoPath);
    WriteString("CopyToFolderPath", m_CopyToFolderPath);
    WriteString("Codec", m_Codec);
    WriteString("SoundFile", m_SoundFile);
    WriteInt("CameraSound", m_CameraSound);
    WriteInt("ImagesPerSecond", m_ImagesPerSecond);
    WriteInt("ResWarning", m_ResWarning);
    WriteInt("BMResWarning", m_BMResWarning);
    WriteInt("UpdateAtStart", m_UpdateAtStart);
    WriteString("VideoDevice", m_VideoDevice);
    WriteString("AudioDevice", m_AudioDevice);
    WriteInt("NoUpdateIndex", m_NoUpdateIndex);
    WriteString("LastUpdateDate", m_LastUpdateDate);
    WriteString("FlickrTocken", m_FlickrTocken);
    WriteString("FlickrUserProfile", m_FlickrUserProfile);
    WriteInt("VideoQuality", m_VideoQuality);
    SaveLogin();
}

void CParams::SaveLogin()
{
    CSingleLock lock(&m_cs, TRUE);
    if (!m_Login.Remember)
        return;
    platform::registry::WriteBatch batch;
    WriteString("URL", m_Login.URL);
    WriteString("GUID", m_Login.GUID);
    WriteString("User", m_Login.User);
    WriteString("Password", m_Login.Password);
    WriteInt("Remember", m_Login.Remember);
}

void CParams::LoadCameraSettings(CString model)
{
    CSingleLock lock(&m_cs, TRUE);
    m_VideoResolution = ReadString(CString("VideoResolution_") + model, kDefaultResolution);
    m_PhotoResolution = ReadString(CString("PhotoResolution_") + model, kDefaultResolution);
    m_CamMode = ReadInt(CString("CamMode_") + model, 0);
    // The capture engine and the windows index their modes by this number.
    if (m_CamMode < 0 || m_CamMode > kLastCamMode)
        m_CamMode = 0;
}

void CParams::SaveCameraSettings(CString model)
{
    CSingleLock lock(&m_cs, TRUE);
    platform::registry::WriteBatch batch;
    WriteString(CString("VideoResolution_") + model, m_VideoResolution);
    WriteString(CString("PhotoResolution_") + model, m_PhotoResolution);
    WriteInt(CString("CamMode_") + model, m_CamMode);
}

CString CParams::GetVideoDevice()
{
    CSingleLock lock(&m_cs, TRUE);
    return m_VideoDevice;
}

CString CParams::GetAudioDevice()
{
    CSingleLock lock(&m_cs, TRUE);
    return m_AudioDevice;
}

CString CParams::GetVideoResolution()
{
    CSingleLock lock(&m_cs, TRUE);
    return m_VideoResolution;
}

CString CParams::GetPhotoResolution()
{
    CSingleLock lock(&m_cs, TRUE);
    return m_PhotoResolution;
}

CString CParams::GetCaptureFileName()
{
    CSingleLock lock(&m_cs, TRUE);
    return m_CaptureFileName;
}

CString CParams::GetSoundFile()
{
    CSingleLock lock(&m_cs, TRUE);
    return m_SoundFile;
}

CString CParams::GetLastUpdateDate()
{
    CSingleLock lock(&m_cs, TRUE);
    return m_LastUpdateDate;
}

CString CParams::GetVideoEncoder()
{
    return kVideoEncoder;
}

void CParams::SetAudioEnabled(bool enabled)
{
    CSingleLock lock(&m_cs, TRUE);
    m_AudioEnabled = enabled ? 1 : 0;
}

void CParams::SetUpdateAtStart(int updateAtStart)
{
    CSingleLock lock(&m_cs, TRUE);
    m_UpdateAtStart = updateAtStart;
}

CString CParams::GetAppTitle()
{
    CString title;
    title.LoadString(AppResourceInstance(), IDS_PRODUCT_NAME);
    return title;
}

CString CParams::GetUpdateKeyName()
{
    return CString("Software\\Tavisk\\") + ModuleDirectory() + "\\Update";
}

CString CParams::GetUpdateServer()
{
    CString server;
    return ReadUpdateValue("FtpServer", server) ? server : CString(kDefaultUpdateServer);
}

CString CParams::GetUpdatePath()
{
    CString path;
    return ReadUpdateValue("Path", path) ? path : CString();
}

void CParams::GetLanguageCode(char* code)
{
    const CString key = CString("SOFTWARE\\Tavisk\\") + ModuleDirectory();
    CMultiLanguage::GetLangCode(key, "Language", code);
}

CString CParams::GetDefaultFolder(int selector)
{
    CSingleLock lock(&m_cs, TRUE);
    const char* sub = selector == kPathPhotos   ? "Tavisk webcam/Photos"
                      : selector == kPathVideos ? "Tavisk webcam/Videos"
                                                : nullptr;
    CString folder;
    if (!sub || !DocumentsSubFolder(sub, folder))
        return CString();
    return folder;
}

void CParams::SelectPath(int selector)
{
    CSingleLock lock(&m_cs, TRUE);
    CString* member = nullptr;
    const char* sub = nullptr;
    switch (selector)
    {
    case kPathIPod:
        member = &m_iPodVideoPath;
        sub = "Tavisk webcam/iPod";
        break;
    case kPathPhotos:
        member = &m_PhotoPath;
        sub = "Tavisk webcam/Photos";
        break;
    case kPathVideos:
        member = &m_VideoPath;
        sub = "Tavisk webcam/Videos";
        break;
    default:
        throw CInvalidArgumentException(THROW_SITE_MESSAGE("Unknown path selector"));
    }
    CString folder;
    if (DocumentsSubFolder(sub, folder))
        *member = folder;
    CreateFolderTree(*member);
}

void CParams::CreateMediaFolders()
{
    for (const char* sub : {"Tavisk webcam/GIF", "Tavisk webcam/Emails"})
    {
        CString folder;
        if (DocumentsSubFolder(sub, folder))
            CreateFolderTree(folder);
    }
}

namespace
{
CString WithTrailingSlash(CString& member)
{
    if (!member.IsEmpty() && member.GetAt(member.GetLength() - 1) != '/')
        member += '/';
    return member;
}
} // namespace

CString CParams::GetPhotoPath()
{
    CSingleLock lock(&m_cs, TRUE);
    return WithTrailingSlash(m_PhotoPath);
}

CString CParams::GetVideoPath()
{
    CSingleLock lock(&m_cs, TRUE);
    return WithTrailingSlash(m_VideoPath);
}

CString CParams::GetCopyToFolderPath()
{
    CSingleLock lock(&m_cs, TRUE);
    return WithTrailingSlash(m_CopyToFolderPath);
}

CString CParams::AddLastCapturedFile(CString path)
{
    CSingleLock lock(&m_cs, TRUE);
    if (m_CamMode != 1)
        ClearLastFiles();
    m_LastFiles.push_back(path);
    return m_LastFiles.back();
}

void CParams::ClearLastFiles()
{
    CSingleLock lock(&m_cs, TRUE);
    m_LastFiles.clear();
}

std::vector<CString> CParams::GetLastFiles()
{
    CSingleLock lock(&m_cs, TRUE);
    return m_LastFiles;
}
