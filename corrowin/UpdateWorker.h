#pragma once

#include "platform/win/CString.h"
#include "platform/win/WinTypes.h"

#include <cstddef>
#include <string>

/// What the update worker asks of its dialog. Called on the worker's thread; the dialog carries each
/// request out on the user-interface thread (posted, or sent where an answer is needed) and never touches
/// its windows from the worker's thread. Requests that wait for the user-interface thread return at once
/// (with IDCANCEL, or doing nothing) once the dialog is closing.
class IUpdateHost
{
public:
    virtual ~IUpdateHost() = default;

    /// Status text: string `stringId` ("%s" filled with the application name; in installer mode the
    /// CD-ROM variants replace 1002, 1003 and 1006). `final` turns the closing button into the way out.
    virtual void ShowMessage(UINT stringId, BOOL final) = 0;
    /// The server's and the installed version, each after a blank.
    virtual void ShowVersions(const CString& server, const CString& installed) = 0;
    /// Whether the dialog is still out of view.
    virtual BOOL IsBackground() = 0;
    /// Brings the dialog into view (centred when it was out of view).
    virtual void BringIntoView() = 0;
    /// The handshake: false once the dialog is closing (then the worker must not ask or send).
    virtual bool TrySetState(int state) = 0;
    /// The question dialog: IDYES, IDNO or IDCANCEL, and whether "Don't warn me in the future." was ticked.
    virtual int AskQuestion(BOOL& dontWarn) = 0;
    /// The Yes/No box with string `stringId` ("%s" filled with the application name); IDYES or IDNO.
    virtual int AskYesNo(UINT stringId) = 0;
    /// Shows the dialog (after the user agreed in the question dialog).
    virtual void ShowDialog() = 0;
    /// WM_UPDATE_ANSWER: 1 to keep the automatic check, 0 to turn it off.
    virtual void PostAnswer(int answer) = 0;
    /// WM_CLOSE.
    virtual void PostClose() = 0;
    /// WM_UPDATE_DOWNLOADED.
    virtual void PostDownloaded() = 0;
    /// WM_UPDATE_PROGRESS with 0..100.
    virtual void SendProgress(int percent) = 0;
};

/// Where the package goes, kept by the library's application object: the download target and the state
/// bits. Any thread.
class IUpdateTarget
{
public:
    virtual ~IUpdateTarget() = default;
    /// The target becomes the download folder followed by `folder` and "/" (no folder: the download folder).
    virtual void SetTargetFolder(const char* folder) = 0;
    virtual void Append2TargetName(const char* name) = 0;
    /// Bit 0: a downloaded package waits for installation.
    virtual void SetStateBit(unsigned bit, BOOL on) = 0;
};

/// The download folder: $XDG_CACHE_HOME/brevicam/update ($HOME/.cache when XDG_CACHE_HOME is not an
/// absolute path); empty when neither is set.
std::string UpdateDownloadFolder();

/// One update check on the calling thread (the dialog's worker thread): reads the version file from the
/// server, compares it with the installed version, asks, and downloads the package into the download
/// folder, resuming a partial download when the server still has the same file. Everything the server
/// sends is treated as hostile: the version file's lines and names are checked before anything is touched,
/// the package lands only in its own folder (no symbolic link is followed there), and the download counts
/// as complete only when the local size equals the server's.
class CUpdateWorker
{
public:
    /// A version as in a version resource: most significant (a << 16 | b) and least significant
    /// (c << 16 | d) halves.
    struct VersionInfo
    {
        VersionInfo() = default;
        VersionInfo(DWORD ms, DWORD ls) : dwMS(ms), dwLS(ls) {}
        /// From the text "a.b.c.d" after leading blanks: each part 1 to 5 digits up to 65535. A sign, a
        /// part too large or not a number makes that part 0 and ends the reading, as does any character
        /// but "." after a part; parts not read stay 0 ("4.1" is 4.1.0.0). Text after the fourth part is
        /// ignored. A null text throws CNullPointerException.
        explicit VersionInfo(const char* text);
        bool IsNewerThan(const VersionInfo& other) const;
        /// "a.b.c.d".
        CString Format() const;

        DWORD dwMS = 0;
        DWORD dwLS = 0;
    };

    /// The three lines of the version file.
    struct VersionFile
    {
        std::string version;
        std::string folder;
        std::string package;

        /// Splits the file's bytes into its three lines (ended by CR, LF or CR LF; what follows the third
        /// line's end is ignored). False for a line over 259 bytes, a control byte in a line, an empty
        /// package line, or a folder or package name that is not a safe server name (the package must
        /// end in ".deb"; an empty folder stands for the download folder itself).
        bool Parse(const char* data, std::size_t size);
    };

    /// A name from the server that may become a file or folder name here: one path component of
    /// [A-Za-z0-9._+-], 1 to 128 bytes, not starting with "." or "-".
    static bool IsSafeServerName(const std::string& name);

    /// The version file's limit, and the block size of the package's transfer.
    static constexpr std::size_t kVersionFileMax = 4096;
    static constexpr DWORD kBlockSize = 32768;
    /// Packages of this size and more are refused.
    static constexpr unsigned long long kPackageMax = 1ULL << 32;

    struct Settings
    {
        CString applicationName;
        /// "host" or "host:port".
        CString server;
        CString ftpDirectory;
        CString versionFileName;
        VersionInfo installed;
        BOOL ask = FALSE;
        BOOL installerMode = FALSE;
    };

    /// `cancel` is a manual-reset event the dialog signals once when it closes; the worker looks at it
    /// between its steps and the transfer ends on it within a fraction of a second. None of the three is
    /// owned.
    CUpdateWorker(const Settings& settings, IUpdateHost& host, IUpdateTarget& target, HANDLE cancel);

    /// Runs the whole check; returns when it is done, failed or was cancelled.
    void Run();

private:
    enum class Outcome
    {
        Done,
        Stop
    };

    bool Cancelled() const;
    /// Reports string `id` as the final status.
    void Report(UINT id);
    /// Ends in background: a dialog out of view closes itself.
    void EndInBackground();
    Outcome Check(VersionFile& file);
    Outcome Ask();
    void Download(const VersionFile& file);

    Settings m_settings;
    IUpdateHost& m_host;
    IUpdateTarget& m_target;
    HANDLE m_cancel;
};
