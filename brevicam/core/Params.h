#pragma once

#include "platform/registry/Profile.h"
#include "platform/win/CString.h"
#include "platform/win/Sync.h"
#include "platform/win/WinTypes.h"

#include <map>
#include <vector>

class CLabel;
class CWnd;

/// The server values kept with the settings: the current record is loaded and saved, the defaults record
/// supplies the defaults of the current one.
struct tagServerSettings
{
    WORD ServerPort;
    DWORD Address; ///< IPv4 address of the local host in host byte order (defaults record only)
    BYTE Flag;
    INT HTMLSkin;
    char CamName[33]; ///< at most 32 bytes of UTF-8 and a terminator
    bool DateAndTime;
    WORD UpstreamSpeed;
};

/// The login values; written by Save only while Remember is non-zero.
struct tagLoginSettings
{
    CString URL;
    CString GUID;
    CString User;
    CString Password;
    int Remember;
};

/// The settings store of the program: every persisted setting with its default, the per-webcam-model
/// capture sizes and mode, and a few run-time values shared between the windows, the capture engine and
/// the media code. One instance, g_params, lives for the whole process.
///
/// Every member is read and written while m_cs is held (a CSingleLock with the initial-lock flag); m_cs is
/// re-entrant, and a caller that needs several values to agree holds it across all its reads. The
/// operations below take it themselves unless they say "no lock". Texts are returned as copies.
///
/// Folders are POSIX paths; the capture-folder accessors return them with a trailing "/".
class CParams
{
public:
    /// Selectors of the capture folders (the string ids of their names).
    static constexpr int kPathIPod = 317;
    static constexpr int kPathPhotos = 345;
    static constexpr int kPathVideos = 362;

    CParams();
    CParams(const CParams&) = delete;
    CParams& operator=(const CParams&) = delete;

    // Start-up and persistence, in the profile of the application object (AfxGetApp), section "Settings".
    // Without an application object, or before it has its registry key and name, reads give the defaults
    // and writes do nothing.
    /// Reads every persisted value with its default, creates the default photo and video folders and the
    /// GIF and Emails folders, and puts values that would break their users back to their defaults.
    void Load();
    /// Writes every persisted value (and the login values while "Remember" is non-zero); failed writes
    /// are ignored.
    void Save();
    /// Reads "VideoResolution_", "PhotoResolution_" and "CamMode_" followed by the model number.
    void LoadCameraSettings(CString model);
    /// Writes the same three values from the current sizes and capture mode.
    void SaveCameraSettings(CString model);
    void LoadLogin();
    void SaveLogin();

    // Copies taken under the lock.
    CString GetVideoDevice();
    CString GetAudioDevice();
    CString GetVideoResolution();
    CString GetPhotoResolution();
    CString GetCaptureFileName();
    CString GetSoundFile();
    CString GetLastUpdateDate();
    /// The folder with a trailing "/", which is also appended to the member itself (so the next Save
    /// stores it); an empty member stays empty.
    CString GetPhotoPath();
    CString GetVideoPath();
    CString GetCopyToFolderPath();
    /// The friendly name of the recording encoder, whatever "Codec" holds.
    CString GetVideoEncoder();

    void SetAudioEnabled(bool enabled);
    void SetUpdateAtStart(int updateAtStart);

    int GetCamMode()
    {
        CSingleLock lock(&m_cs, TRUE);
        return m_CamMode;
    }
    void SetCamMode(int camMode)
    {
        CSingleLock lock(&m_cs, TRUE);
        m_CamMode = camMode;
    }
    HWND GetMainWnd()
    {
        CSingleLock lock(&m_cs, TRUE);
        return m_hMainWnd;
    }
    void SetMainWnd(HWND hwnd)
    {
        CSingleLock lock(&m_cs, TRUE);
        m_hMainWnd = hwnd;
    }
    HWND GetFullscreenWnd()
    {
        CSingleLock lock(&m_cs, TRUE);
        return m_hFullscreenWnd;
    }
    void SetFullscreenWnd(HWND hwnd)
    {
        CSingleLock lock(&m_cs, TRUE);
        m_hFullscreenWnd = hwnd;
    }

    // No lock: these touch no member.
    /// The program's title (string 95) from the resource module.
    static CString GetAppTitle();
    static COLORREF GetVideoBackColor() { return 0; }
    /// "Software\Tavisk\" + the program's folder + "\Update".
    static CString GetUpdateKeyName();
    /// "FtpServer" of the update key under HKEY_LOCAL_MACHINE, or the maker's update server.
    static CString GetUpdateServer();
    /// "Path" of the update key, or an empty text.
    static CString GetUpdatePath();
    /// Writes the user interface's three-letter language code and a terminator into `code` (4 bytes).
    static void GetLanguageCode(char* code);

    // Folders.
    /// The default photo (345) or video (362) folder under the documents folder, without a trailing "/";
    /// empty when the documents folder is not available or for another selector. Creates nothing.
    CString GetDefaultFolder(int selector);
    /// Resets the folder of the selector (317 "iPodVideoPath", 345 "PhotoPath", 362 "VideoPath") to its
    /// default and creates it; when the documents folder is not available the member keeps its value and
    /// that folder is created. Another selector throws CInvalidArgumentException and changes nothing.
    void SelectPath(int selector);
    /// Creates the GIF and Emails folders under the documents folder. No lock of its own.
    void CreateMediaFolders();
    /// The folder where e-mail copies are prepared, "Tavisk webcam/Emails/" under the documents folder, with
    /// its trailing "/"; created (errors ignored) on every call. Empty when there is no documents folder.
    static CString GetEmailsFolder();
    /// The folder of the running program, without a trailing "/"; empty when it cannot be found. No lock.
    static CString GetProgramFolder();

    // Paths (no lock).
    /// TRUE for an absolute path that names a folder the program can use: see Params_Paths.cpp.
    static BOOL IsValidPath(CString path);
    /// Whether the path exists as a folder (`folder` TRUE) or as anything else (`folder` FALSE).
    static bool PathExists(CString path, BOOL folder);
    /// The path shortened for display to at most `maxChars` - 1 bytes, with "..." in place of the middle
    /// folders, when it is longer than `maxChars` (negative: 50); otherwise unchanged.
    static CString CompactPath(CString path, int maxChars);
    /// Makes sure the folder can take files, asking the user (skinned boxes owned by `owner`, captioned
    /// with the program's title) to create a missing one: 0 it exists; 1 it was created; 2 the path is
    /// invalid (box 840 when an owner is given), it lies on a network or read-only medium (box 840) or it
    /// could not be created (box 147); 3 the user declined to create it (box 143). Raises nothing; any
    /// thread (a worker's boxes are shown by the user-interface thread).
    static int CheckFolder(HWND owner, CString path);
    /// The text, or its beginning followed by "...", fitting the label's width in the label's own font;
    /// "..." alone when not even that fits. User-interface thread.
    static CString EllipsizeText(CString text, CLabel& label);
    /// The same for any window: a label is measured in its own font, another window in the font it was
    /// given (WM_GETFONT). A null window gives the text unchanged.
    static CString EllipsizeText(CString text, CWnd* window);
    /// TRUE while the live video is shown in full screen: the main window's live-video surface (control
    /// 1002) has another parent than the main window. User-interface thread.
    BOOL IsFullScreen();
    /// The parent folder with its trailing "/", or an empty text for the root and for names without one.
    static CString GetParentFolder(CString path);
    /// TRUE when both paths, without their last component, are the same folder (case-sensitive).
    static BOOL IsSameFolder(const char* file, const char* folder);
    /// Collapses every run of "/" into one, in place; returns `path`.
    static char* NormalizePath(char* path);

    // File kinds by extension (no lock: the tables never change after construction).
    /// The image library's format number of the extension, 0 when unknown or without ".".
    int GetImageType(CString path) const;
    /// 0 AVI, 1 MPEG family, 2 ASF, 3 WMV, 4 anything else.
    int GetMediaType(CString path) const;

    // Files captured last.
    /// Empties the list first unless the capture mode is 1 (burst series); appends the path and returns it.
    CString AddLastCapturedFile(CString path);
    void ClearLastFiles();
    std::vector<CString> GetLastFiles();

    /// true when the user may administer the system: root, or a member of the group "sudo", "admin" or
    /// "wheel" (the groups Linux distributions give administrators). No lock.
    static bool IsUserAdmin();

    // Members, in the order the program relies on; public ones are read and written under m_cs.
    HWND m_hMainWnd;
    tagServerSettings m_ServerSettings;
    tagServerSettings m_DefaultServerSettings;
    int m_AudioEnabled;
    tagLoginSettings m_Login;
    int m_CamMode;
    int m_StatusCount;
    CString m_PhotoPath;
    CString m_VideoPath;
    CString m_iPodVideoPath;
    CString m_CopyToFolderPath;
    int m_NbSeconds;
    int m_NbPictures;
    int m_PhotoFormat;
    CString m_Codec;
    CString m_SoundFile;
    int m_CameraSound;
    CString m_AudioDevice;
    CString m_VideoDevice;
    int m_BMResWarning;
    int m_ResWarning;
    int m_UpdateAtStart;
    CString m_CaptureFileName;
    std::vector<CString> m_LastFiles;
    int m_ImagesPerSecond;
    std::map<CString, int> m_ImageTypes;
    std::map<CString, int> m_MediaTypes;
    int m_NoUpdateIndex;
    CString m_LastUpdateDate;
    HWND m_hFullscreenWnd;
    CString m_FlickrTocken;
    CString m_FlickrUserProfile;
    CCriticalSection m_cs;
    CString m_VideoResolution;
    CString m_PhotoResolution;
    int m_VideoQuality;

private:
    void FillDefaultServerSettings();
    /// The documents folder (created when missing) joined with `sub`; false when there is none.
    static bool DocumentsSubFolder(const char* sub, CString& out);
    /// Creates the folder with any missing parents; the result is not looked at by the callers.
    static bool CreateFolderTree(const CString& folder);
};

/// The settings store of the program.
extern CParams g_params;
