#include "corrowin/UpdateWorker.h"

#include "platform/win/Kernel.h"
#include "platform/win/LastError.h"
#include "platform/wininet/WinInet.h"
#include "shared/exceptions/Exceptions.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace
{
// Message ids of the library's string table.
constexpr UINT IDS_NO_SERVER = 1002;
constexpr UINT IDS_SERVER_ERROR = 1003;
constexpr UINT IDS_ALREADY_UPDATED = 1004;
constexpr UINT IDS_UPDATE_QUESTION = 1005;
constexpr UINT IDS_UPDATING = 1006;
constexpr UINT IDS_WRITE_ERROR = 1010;
constexpr UINT IDS_MOST_RECENT = 1257;

constexpr int IDNO = 7;
constexpr int IDCANCEL = 2;

// Handshake states (see CWebUpdateDlg).
constexpr int kIdle = 0;
constexpr int kAsking = 2;
constexpr int kSending = 3;

constexpr std::size_t kLineMax = 259;
constexpr std::size_t kNameMax = 128;
// Beside the package: the server's size and time when its download began, so that a partial file is
// resumed only from the same file.
constexpr const char* kRecordSuffix = ".resume";

/// An Internet handle closed at the end of its scope.
class InternetHandle
{
public:
    explicit InternetHandle(HINTERNET handle = nullptr) : m_handle(handle) {}
    ~InternetHandle() { Reset(); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    void Reset(HINTERNET handle = nullptr)
    {
        if (m_handle)
            InternetCloseHandle(m_handle);
        m_handle = handle;
    }
    HINTERNET Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    HINTERNET m_handle;
};

/// A file descriptor closed at the end of its scope.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

/// A connection to the server in the folder of the version file and the package.
struct ServerSession
{
    InternetHandle internet;
    InternetHandle connection;
};

bool IsControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

/// Opens (creating it, mode 0700, where missing) one folder level below `parent` without following a
/// symbolic link; -1 with errno set when it cannot (ELOOP or ENOTDIR: something else is in the way).
int OpenFolderLevel(int parent, const char* name)
{
    if (mkdirat(parent, name, 0700) != 0 && errno != EEXIST)
        return -1;
    return openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

/// The package's folder below the download folder, opened level by level from the cache folder on (the
/// cache folder itself may be a link the user made). -1 with errno when it cannot be opened or made.
int OpenPackageFolder(const std::string& folder)
{
    const std::string root = UpdateDownloadFolder();
    if (root.empty())
    {
        errno = ENOENT;
        return -1;
    }
    const std::string cache = root.substr(0, root.size() - std::string("/brevicam/update").size());
    // The cache folder and the folders above it are the user's; only they may be links.
    std::string made;
    for (std::size_t at = 1; at <= cache.size(); ++at)
    {
        if (at == cache.size() || cache[at] == '/')
        {
            made = cache.substr(0, at);
            if (mkdir(made.c_str(), 0700) != 0 && errno != EEXIST)
                return -1;
        }
    }
    Descriptor base(open(cache.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (base.Get() < 0)
        return -1;
    Descriptor program(OpenFolderLevel(base.Get(), "brevicam"));
    if (program.Get() < 0)
        return -1;
    const int update = OpenFolderLevel(program.Get(), "update");
    if (update < 0 || folder.empty())
        return update;
    Descriptor owner(update);
    return OpenFolderLevel(owner.Get(), folder.c_str());
}

/// A regular file of the folder opened without following a link and without blocking on a pipe; -1 with
/// errno (ELOOP for a link, EINVAL for anything but a regular file).
int OpenRegular(int folder, const std::string& name, int flags)
{
    const int fd = openat(folder, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    struct stat info
    {
    };
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
    {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0)
    {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

struct Record
{
    unsigned long long size = 0;
    unsigned long long time = 0;
    bool operator==(const Record&) const = default;
};

bool ReadRecord(int folder, const std::string& name, Record& record)
{
    Descriptor fd(OpenRegular(folder, name, O_RDONLY));
    if (fd.Get() < 0)
        return false;
    char text[64] = {};
    const ssize_t got = read(fd.Get(), text, sizeof text - 1);
    if (got <= 0)
        return false;
    char* end = nullptr;
    record.size = std::strtoull(text, &end, 10);
    if (end == text || *end != ' ')
        return false;
    char* start = end + 1;
    record.time = std::strtoull(start, &end, 10);
    return end != start && *end == '\n';
}

bool WriteRecord(int folder, const std::string& name, const Record& record)
{
    unlinkat(folder, name.c_str(), 0);
    Descriptor fd(OpenRegular(folder, name, O_WRONLY | O_CREAT | O_EXCL));
    if (fd.Get() < 0)
        return false;
    const std::string text = std::to_string(record.size) + " " + std::to_string(record.time) + "\n";
    return WriteAll(fd.Get(), text.data(), text.size());
}

/// Reads one part of a version: blanks, then 1 to 5 digits up to 65535. False (part 0) otherwise.
bool ReadPart(const char*& at, DWORD& part)
{
    part = 0;
    while (*at == ' ' || *at == '\t')
        ++at;
    unsigned long value = 0;
    int digits = 0;
    while (*at >= '0' && *at <= '9')
    {
        if (++digits > 5)
            return false;
        value = value * 10 + static_cast<unsigned long>(*at - '0');
        ++at;
    }
    if (digits == 0 || value > 65535)
        return false;
    part = static_cast<DWORD>(value);
    return true;
}
} // namespace

std::string UpdateDownloadFolder()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    std::string root;
    if (cache && cache[0] == '/')
        root = cache;
    else if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        root = std::string(home) + "/.cache";
    else
        return {};
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return root + "/brevicam/update";
}

CUpdateWorker::VersionInfo::VersionInfo(const char* text)
{
    if (!text)
        throw CNullPointerException(THROW_SITE_MESSAGE("No version string to extract info from"));
    const char* at = text;
    DWORD part = 0;
    // Each part is read only while the ones before it were read and followed by a full stop.
    if (!ReadPart(at, part))
        return;
    dwMS = part << 16;
    if (*at++ != '.' || !ReadPart(at, part))
        return;
    dwMS |= part;
    if (*at++ != '.' || !ReadPart(at, part))
        return;
    dwLS = part << 16;
    if (*at++ != '.' || !ReadPart(at, part))
        return;
    dwLS |= part;
}

bool CUpdateWorker::VersionInfo::IsNewerThan(const VersionInfo& other) const
{
    return dwMS > other.dwMS || (dwMS == other.dwMS && dwLS > other.dwLS);
}

CString CUpdateWorker::VersionInfo::Format() const
{
    CString text;
    text.Format("%u.%u.%u.%u", dwMS >> 16, dwMS & 0xFFFF, dwLS >> 16, dwLS & 0xFFFF);
    return text;
}

bool CUpdateWorker::IsSafeServerName(const std::string& name)
{
    if (name.empty() || name.size() > kNameMax || name[0] == '.' || name[0] == '-')
        return false;
    for (char c : name)
    {
        const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                             c == '.' || c == '_' || c == '+' || c == '-';
        if (!allowed)
            return false;
    }
    return true;
}

bool CUpdateWorker::VersionFile::Parse(const char* data, std::size_t size)
{
    std::string* lines[] = {&version, &folder, &package};
    for (std::string* line : lines)
        line->clear();
    std::size_t index = 0;
    for (std::size_t at = 0; at < size && index < 3; ++at)
    {
        const auto c = static_cast<unsigned char>(data[at]);
        if (c == '\r' || c == '\n')
        {
            if (c == '\r' && at + 1 < size && data[at + 1] == '\n')
                ++at;
            ++index;
            continue;
        }
        if (IsControl(c) || lines[index]->size() >= kLineMax)
            return false;
        lines[index]->push_back(static_cast<char>(c));
    }
    if (package.empty() || !IsSafeServerName(package) || !package.ends_with(".deb"))
        return false;
    return folder.empty() || IsSafeServerName(folder);
}

CUpdateWorker::CUpdateWorker(const Settings& settings, IUpdateHost& host, IUpdateTarget& target,
                             HANDLE cancel)
    : m_settings(settings), m_host(host), m_target(target), m_cancel(cancel)
{
}

bool CUpdateWorker::Cancelled() const
{
    return m_cancel && WaitForSingleObject(m_cancel, 0) == WAIT_OBJECT_0;
}

void CUpdateWorker::Report(UINT id)
{
    m_host.ShowMessage(id, TRUE);
}

void CUpdateWorker::EndInBackground()
{
    if (m_host.IsBackground())
        m_host.PostClose();
}

void CUpdateWorker::Run()
{
    VersionFile file;
    if (Check(file) == Outcome::Stop || Ask() == Outcome::Stop)
        return;
    Download(file);
}

namespace
{
/// Opens the session and the connection and enters the FTP directory. The failure's message id, or 0 when
/// connected; -1 when cancelled.
int Connect(ServerSession& server, const CUpdateWorker::Settings& settings, HANDLE cancel)
{
    auto cancelled = [cancel] { return cancel && WaitForSingleObject(cancel, 0) == WAIT_OBJECT_0; };
    server.internet.Reset(InternetOpenA(settings.applicationName, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr,
                                        INTERNET_FLAG_NO_CACHE_WRITE));
    if (!server.internet)
        return IDS_NO_SERVER;
    platform::wininet::SetCancelEvent(server.internet.Get(), cancel);
    if (cancelled())
        return -1;
    server.connection.Reset(InternetConnectA(server.internet.Get(), settings.server,
                                             INTERNET_DEFAULT_FTP_PORT, nullptr, nullptr,
                                             INTERNET_SERVICE_FTP, 0, 0));
    if (cancelled())
        return -1;
    if (!server.connection)
        return IDS_NO_SERVER;
    // A folder the server refuses would leave us reading whatever lies where we landed.
    if (!settings.ftpDirectory.IsEmpty() &&
        !FtpSetCurrentDirectoryA(server.connection.Get(), settings.ftpDirectory))
        return cancelled() ? -1 : static_cast<int>(IDS_SERVER_ERROR);
    return 0;
}
} // namespace

CUpdateWorker::Outcome CUpdateWorker::Check(VersionFile& file)
{
    if (InternetAttemptConnect(0) != ERROR_SUCCESS)
    {
        Report(IDS_NO_SERVER);
        EndInBackground();
        return Outcome::Stop;
    }
    std::vector<char> bytes(kVersionFileMax + 1);
    std::size_t total = 0;
    {
        ServerSession server;
        const int failure = Connect(server, m_settings, m_cancel);
        if (failure != 0)
        {
            if (failure > 0)
                Report(static_cast<UINT>(failure));
            EndInBackground();
            return Outcome::Stop;
        }
        InternetHandle remote(FtpOpenFileA(server.connection.Get(), m_settings.versionFileName, GENERIC_READ,
                                           FTP_TRANSFER_TYPE_BINARY, 0));
        if (Cancelled())
        {
            EndInBackground();
            return Outcome::Stop;
        }
        // Read to its end: a file longer than the limit is not a version file.
        bool ok = static_cast<bool>(remote);
        while (ok && total <= kVersionFileMax)
        {
            DWORD read = 0;
            ok = InternetReadFile(remote.Get(), bytes.data() + total,
                                  static_cast<DWORD>(bytes.size() - total), &read) != FALSE;
            total += read;
            if (read == 0)
                break;
        }
        if (Cancelled())
        {
            EndInBackground();
            return Outcome::Stop;
        }
        if (!ok || total > kVersionFileMax)
        {
            Report(IDS_SERVER_ERROR);
            EndInBackground();
            return Outcome::Stop;
        }
    }
    if (!file.Parse(bytes.data(), total))
    {
        Report(IDS_SERVER_ERROR);
        EndInBackground();
        return Outcome::Stop;
    }
    const VersionInfo offered(file.version.c_str());
    m_host.ShowVersions(CString(" ") + file.version.c_str(), CString(" ") + m_settings.installed.Format());
    m_target.SetTargetFolder(file.folder.c_str());
    if (Cancelled())
    {
        EndInBackground();
        return Outcome::Stop;
    }
    if (!offered.IsNewerThan(m_settings.installed))
    {
        Report(m_settings.installerMode ? IDS_MOST_RECENT : IDS_ALREADY_UPDATED);
        EndInBackground();
        return Outcome::Stop;
    }
    return Outcome::Done;
}

CUpdateWorker::Outcome CUpdateWorker::Ask()
{
    if (m_settings.ask)
    {
        BOOL dontWarn = FALSE;
        const int answer = m_host.AskQuestion(dontWarn);
        // No answer at all: the dialog went away while asking, and nothing is to be stored.
        if (answer == 0)
        {
            EndInBackground();
            return Outcome::Stop;
        }
        if (answer == IDNO || answer == IDCANCEL)
        {
            m_host.PostAnswer(dontWarn ? 0 : 1);
            m_host.PostClose();
            EndInBackground();
            return Outcome::Stop;
        }
        m_host.ShowDialog();
        m_host.PostAnswer(dontWarn ? 0 : 1);
        return Outcome::Done;
    }
    if (m_settings.installerMode)
        return Outcome::Done;
    if (!m_host.TrySetState(kAsking))
    {
        m_host.PostClose();
        EndInBackground();
        return Outcome::Stop;
    }
    const int answer = m_host.AskYesNo(IDS_UPDATE_QUESTION);
    m_host.TrySetState(kIdle);
    // A box that could not be shown (the program is closing) is no consent.
    if (answer == IDNO || answer == 0)
    {
        m_host.PostClose();
        EndInBackground();
        return Outcome::Stop;
    }
    return Outcome::Done;
}

void CUpdateWorker::Download(const VersionFile& file)
{
    if (Cancelled())
    {
        EndInBackground();
        return;
    }
    if (m_host.TrySetState(kSending))
    {
        m_host.BringIntoView();
        m_host.TrySetState(kIdle);
    }
    m_host.ShowMessage(IDS_UPDATING, FALSE);

    ServerSession server;
    const int failure = Connect(server, m_settings, m_cancel);
    if (failure != 0)
    {
        if (failure > 0)
            Report(static_cast<UINT>(failure));
        EndInBackground();
        return;
    }
    WIN32_FIND_DATAA found{};
    unsigned long long remoteTime = 0;
    {
        InternetHandle find(FtpFindFirstFileA(server.connection.Get(), file.package.c_str(), &found, 0, 0));
        if (!find)
        {
            if (!Cancelled())
                Report(IDS_SERVER_ERROR);
            EndInBackground();
            return;
        }
        remoteTime = (static_cast<unsigned long long>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                     found.ftLastWriteTime.dwLowDateTime;
    }
    InternetHandle remote(FtpOpenFileA(server.connection.Get(), file.package.c_str(), GENERIC_READ,
                                       FTP_TRANSFER_TYPE_BINARY, 0));
    if (!remote)
    {
        if (!Cancelled())
            Report(IDS_SERVER_ERROR);
        EndInBackground();
        return;
    }
    DWORD high = 0;
    const DWORD low = FtpGetFileSize(remote.Get(), &high);
    const unsigned long long remoteSize = (static_cast<unsigned long long>(high) << 32) | low;
    // A package of unknown size, of no bytes or of 4 GiB and more is no package we install.
    if ((low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) || remoteSize == 0 ||
        remoteSize >= kPackageMax)
    {
        Report(IDS_SERVER_ERROR);
        return;
    }
    m_target.Append2TargetName(file.package.c_str());

    Descriptor folder(OpenPackageFolder(file.folder));
    if (folder.Get() < 0)
    {
        Report(errno == ELOOP || errno == ENOTDIR ? IDS_SERVER_ERROR : IDS_WRITE_ERROR);
        return;
    }
    const std::string recordName = file.package + kRecordSuffix;
    auto discard = [&]
    {
        unlinkat(folder.Get(), file.package.c_str(), 0);
        unlinkat(folder.Get(), recordName.c_str(), 0);
    };
    struct stat local
    {
    };
    unsigned long long localSize = 0;
    if (fstatat(folder.Get(), file.package.c_str(), &local, AT_SYMLINK_NOFOLLOW) == 0)
    {
        // Something planted where the package goes is left alone, and nothing is written through it.
        if (!S_ISREG(local.st_mode))
        {
            Report(IDS_SERVER_ERROR);
            return;
        }
        localSize = static_cast<unsigned long long>(local.st_size);
    }
    const Record serverFile{remoteSize, remoteTime};
    Record saved;
    unsigned long long offset = 0;
    // Resumed only from the same file: a partial download of another package of the same name would
    // otherwise be completed with the wrong bytes.
    if (localSize > 0 && localSize < remoteSize && remoteTime != 0 &&
        ReadRecord(folder.Get(), recordName, saved) && saved == serverFile)
    {
        LONG offsetHigh = static_cast<LONG>(localSize >> 32);
        if (InternetSetFilePointer(remote.Get(), static_cast<LONG>(localSize & 0xFFFFFFFFu), &offsetHigh,
                                   FILE_BEGIN, 0) != INVALID_SET_FILE_POINTER)
            offset = localSize;
    }
    if (offset == 0)
    {
        discard();
        if (!WriteRecord(folder.Get(), recordName, serverFile))
        {
            discard();
            Report(IDS_WRITE_ERROR);
            return;
        }
    }
    Descriptor target(OpenRegular(folder.Get(), file.package, O_WRONLY | O_CREAT | O_APPEND));
    if (target.Get() < 0)
    {
        // A link or other file planted at the package's name since it was looked at stays untouched.
        const bool planted = errno == ELOOP || errno == EINVAL;
        if (!planted)
            discard();
        Report(planted ? IDS_SERVER_ERROR : IDS_WRITE_ERROR);
        return;
    }
    struct stat opened
    {
    };
    if (fstat(target.Get(), &opened) != 0 || static_cast<unsigned long long>(opened.st_size) != offset)
    {
        discard();
        Report(IDS_SERVER_ERROR);
        return;
    }

    std::vector<char> block(kBlockSize);
    unsigned long long count = offset;
    for (;;)
    {
        if (Cancelled())
        {
            EndInBackground();
            return;
        }
        DWORD read = 0;
        const BOOL ok = InternetReadFile(remote.Get(), block.data(), kBlockSize, &read);
        const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        if (error == ERROR_INVALID_DATA || error == ERROR_FTP_RESTART_REFUSED)
        {
            // What came cannot be trusted, or cannot be resumed: the next check starts afresh.
            discard();
            Report(IDS_SERVER_ERROR);
            return;
        }
        if (read > 0 && !WriteAll(target.Get(), block.data(), read))
        {
            discard();
            Report(IDS_WRITE_ERROR);
            return;
        }
        count += read;
        if (Cancelled() || error == ERROR_INTERNET_OPERATION_CANCELLED)
        {
            EndInBackground();
            return;
        }
        if (!ok)
        {
            // The partial package stays for the next check to resume.
            Report(IDS_SERVER_ERROR);
            return;
        }
        const int percent = static_cast<int>(
            std::min(100.0, static_cast<double>(count) / static_cast<double>(remoteSize) * 100.0));
        if (m_host.TrySetState(kSending))
        {
            m_host.SendProgress(percent);
            m_host.TrySetState(kIdle);
        }
        if (read < kBlockSize)
            break;
    }
    remote.Reset();
    server.connection.Reset();
    server.internet.Reset();

    struct stat done
    {
    };
    const unsigned long long size =
        fstat(target.Get(), &done) == 0 ? static_cast<unsigned long long>(done.st_size) : 0;
    if (size != remoteSize)
    {
        // Short: kept for resumption; longer than the server's file: of no use.
        if (size > remoteSize)
            discard();
        Report(IDS_SERVER_ERROR);
        return;
    }
    unlinkat(folder.Get(), recordName.c_str(), 0);
    if (m_host.TrySetState(kSending))
    {
        m_host.SendProgress(100);
        m_host.TrySetState(kIdle);
    }
    m_target.SetStateBit(0, TRUE);
    m_host.PostDownloaded();
}
