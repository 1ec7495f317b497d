#include "brevicam/media/FileOperation.h"

#include "brevicam/core/SkinMessageBox.h"
#include "brevicam/media/AskOverWriteDlg.h"
#include "brevicam/media/WaitDialog.h"
#include "platform/win/LastError.h"
#include "platform/window/Extras.h"
#include "platform/window/WinUser.h"
#include "resources/brevicam/resource.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <limits.h>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
constexpr std::size_t kChunkBytes = 1 << 20;
// The longest file name the file systems take, in bytes.
constexpr std::size_t kMaxNameBytes = NAME_MAX;
constexpr std::string_view kCopyOf = "Copy of ";
constexpr std::string_view kCopyNumbered = "Copy (";
constexpr std::string_view kNumberedOf = ") of ";

using Progress = std::function<bool(std::uint64_t total, std::uint64_t done)>;

std::string WithSlash(std::string path)
{
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

std::string WithoutSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

/// The last component of a path, without a trailing "/"; empty for the root.
std::string LastName(const std::string& path)
{
    const std::string trimmed = WithoutSlash(path);
    if (trimmed == "/")
        return std::string();
    const auto slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

/// Anything at all lies at the path, a dangling link included.
bool Taken(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

bool IsLink(const std::string& path)
{
    struct stat st;
    return ::lstat(WithoutSlash(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

/// The path with links and "." / ".." resolved as far as it exists; the rest is kept as written.
std::string Resolved(const std::string& path)
{
    std::string result = WithoutSlash(path);
    if (char* real = ::realpath(result.c_str(), nullptr))
    {
        result = real;
        std::free(real);
        return result;
    }
    const auto slash = result.rfind('/');
    if (slash == std::string::npos || slash == 0)
        return result;
    return WithSlash(Resolved(result.substr(0, slash))) + result.substr(slash + 1);
}

/// `inner` is `outer` or lies below it, compared by whole components.
bool IsWithin(const std::string& inner, const std::string& outer)
{
    const std::string in = Resolved(inner);
    const std::string out = Resolved(outer);
    return in == out || in.starts_with(WithSlash(out));
}

/// The names in a folder, "." and ".." left out, sorted so that a copy always goes the same way.
std::vector<std::string> ListFolder(const std::string& folder, int& error)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
    {
        error = errno;
        return names;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir))
    {
        const std::string_view name(entry->d_name);
        if (name != "." && name != "..")
            names.emplace_back(name);
        errno = 0;
    }
    error = errno;
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

/// Creates a folder with its missing parents; an existing folder is fine. 0 or the error.
int CreateFolders(const std::string& folder)
{
    const std::string path = WithoutSlash(folder);
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : EEXIST;
    const auto slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0)
    {
        if (const int error = CreateFolders(path.substr(0, slash)))
            return error;
    }
    if (::mkdir(path.c_str(), 0777) == 0 ||
        (errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)))
        return 0;
    return errno;
}

/// A file descriptor closed on scope exit.
class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }
    /// 0 or the error of close, which may be the first to report a full disk.
    int Close()
    {
        if (m_fd < 0)
            return 0;
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

/// Copies the bytes of the regular file `source` to `target` in chunks, reporting after each one; the
/// file gets the source's permissions and times. With `failIfExists` the target must not exist; without,
/// the copy is written beside the target and replaces it only once complete, so that a failed copy never
/// costs the file it was to replace. A failed or cancelled copy leaves nothing behind. 0 or the error
/// (ECANCELED when `progress` said stop).
int CopyBytes(const std::string& source, const std::string& target, bool failIfExists,
              const Progress& progress)
{
    Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.Get() < 0)
        return errno;
    struct stat st;
    if (::fstat(in.Get(), &st) != 0)
        return errno;
    // Pipes and devices have no end to copy to.
    if (!S_ISREG(st.st_mode))
        return EOPNOTSUPP;
    ::fcntl(in.Get(), F_SETFL, ::fcntl(in.Get(), F_GETFL) & ~O_NONBLOCK);

    std::string written = target;
    int fd;
    if (failIfExists)
        fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    else
    {
        // A short temporary name beside the target, which fits even when the target's name takes all
        // the room a name has.
        const auto slash = target.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
        std::string pattern = folder + ".brevicam-" + std::to_string(::getpid()) + "-XXXXXX";
        fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        written = pattern;
    }
    if (fd < 0)
        return errno;
    Fd out(fd);

    auto fail = [&](int error)
    {
        out.Close();
        ::unlink(written.c_str());
        return error;
    };

    const std::uint64_t total = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t done = 0;
    std::vector<char> buffer(kChunkBytes);
    for (;;)
    {
        const ssize_t got = ::read(in.Get(), buffer.data(), buffer.size());
        if (got < 0)
        {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        if (got == 0)
            break;
        for (ssize_t at = 0; at < got;)
        {
            const ssize_t put = ::write(out.Get(), buffer.data() + at, static_cast<std::size_t>(got - at));
            if (put < 0)
            {
                if (errno == EINTR)
                    continue;
                return fail(errno);
            }
            at += put;
        }
        done += static_cast<std::uint64_t>(got);
        if (progress && !progress(total, done))
            return fail(ECANCELED);
    }
    ::fchmod(out.Get(), st.st_mode & 07777);
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out.Get(), times);
    if (const int error = out.Close())
        return fail(error);
    if (!failIfExists && ::rename(written.c_str(), target.c_str()) != 0)
        return fail(errno);
    return 0;
}

/// Recreates the link `source` as `target` (its text unchanged). 0 or the error.
int CopyLink(const std::string& source, const std::string& target, bool failIfExists)
{
    std::vector<char> text(PATH_MAX + 1);
    const ssize_t length = ::readlink(source.c_str(), text.data(), text.size() - 1);
    if (length < 0)
        return errno;
    text[static_cast<std::size_t>(length)] = '\0';
    if (failIfExists)
        return ::symlink(text.data(), target.c_str()) == 0 ? 0 : errno;
    const auto slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        const std::string temporary =
            folder + ".brevicam-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        if (::symlink(text.data(), temporary.c_str()) != 0)
        {
            if (errno == EEXIST)
                continue;
            return errno;
        }
        if (::rename(temporary.c_str(), target.c_str()) != 0)
        {
            const int error = errno;
            ::unlink(temporary.c_str());
            return error;
        }
        return 0;
    }
    return EEXIST;
}

/// Runs the byte copy where the wait window can be seen: on the user-interface thread the copy moves to a
/// helper thread while this thread keeps handling messages, so that the window paints; elsewhere the
/// calling thread copies and the user-interface thread shows the window by itself.
int CopyShowingProgress(const std::string& source, const std::string& target, bool failIfExists,
                        const Progress& progress)
{
    if (!platform::window::IsUserInterfaceThread())
        return CopyBytes(source, target, failIfExists, progress);
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    int result = 0;
    std::thread helper;
    try
    {
        helper = std::thread(
            [&]
            {
                const int error = CopyBytes(source, target, failIfExists, progress);
                std::lock_guard guard(lock);
                result = error;
                done = true;
                finished.notify_all();
            });
    }
    catch (const std::system_error&)
    {
        // No thread to spare: the copy runs here, and the window waits for it.
        return CopyBytes(source, target, failIfExists, progress);
    }
    for (;;)
    {
        platform::window::PumpPendingMessages();
        std::unique_lock guard(lock);
        if (finished.wait_for(guard, std::chrono::milliseconds(10), [&] { return done; }))
            break;
    }
    helper.join();
    return result;
}
} // namespace

bool CopyProgressRoutine(std::uint64_t totalBytes, std::uint64_t transferredBytes, void* data)
{
    auto* wait = static_cast<CWaitDialog*>(data);
    if (!wait || totalBytes == 0)
        return true;
    const int percent =
        static_cast<int>(static_cast<double>(transferredBytes) * 100.0 / static_cast<double>(totalBytes));
    if (percent < 100)
    {
        if (CWaitThread* thread = wait->GetWaitThread())
            thread->PostThreadMessage(WM_WAIT_PROGRESS, static_cast<WPARAM>(percent), 0);
    }
    return true;
}

CFileOperation::CFileOperation() = default;

bool CFileOperation::Cancelled() const noexcept
{
    return (m_pCancel && m_pCancel->load()) || platform::window::IsShuttingDown();
}

int CFileOperation::CheckPath(const CString& path)
{
    struct stat st;
    if (::stat(path.Str().c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? kPathFolder : kPathFile;
    return errno == ENOENT || errno == ENOTDIR ? kPathMissing : kPathError;
}

CString CFileOperation::MakeCopyName(const CString& path)
{
    const std::string& p = path.Str();
    const auto slash = p.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
    const std::string file = slash == std::string::npos ? p : p.substr(slash + 1);
    // A leading dot starts a hidden name, not an extension.
    const auto dot = file.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string name = hasExtension ? file.substr(0, dot) : file;
    const std::string extension = hasExtension ? file.substr(dot) : std::string();

    std::string renamed = std::string(kCopyOf) + name;
    if (name.starts_with(kCopyOf))
        renamed = std::string(kCopyNumbered) + "1" + std::string(kNumberedOf) + name.substr(kCopyOf.size());
    else if (name.starts_with(kCopyNumbered))
    {
        const std::size_t digits = name.find_first_not_of("0123456789", kCopyNumbered.size());
        const std::size_t count = digits == std::string::npos ? 0 : digits - kCopyNumbered.size();
        // Nine digits at most, so that the next number still fits.
        if (count > 0 && count <= 9 && name.compare(digits, kNumberedOf.size(), kNumberedOf) == 0)
        {
            const long next = std::stol(name.substr(kCopyNumbered.size(), count)) + 1;
            renamed = std::string(kCopyNumbered) + std::to_string(next) + std::string(kNumberedOf) +
                      name.substr(digits + kNumberedOf.size());
        }
    }
    // The longer name must still be a name the folder takes: its end gives way, the extension stays.
    if (renamed.size() + extension.size() > kMaxNameBytes && extension.size() < kMaxNameBytes / 2)
        renamed = std::string(platform::Utf8Prefix(renamed, kMaxNameBytes - extension.size()));
    return CString(folder + renamed + extension);
}

bool CFileOperation::Copy(CString source, CString destination, bool showProgress, CWnd* parent)
{
    m_bShowProgress = showProgress;
    bool result = true;
    // A folder copied into the folder where it lies is already there.
    const std::string sourcePath = WithoutSlash(source.Str());
    const auto slash = sourcePath.rfind('/');
    if (slash != std::string::npos && CheckPath(source) == kPathFolder && !IsLink(sourcePath) &&
        Resolved(slash == 0 ? "/" : sourcePath.substr(0, slash)) == Resolved(destination.Str()))
        return true;
    try
    {
        DoCopy(source, destination, parent);
    }
    catch (const CFException& e)
    {
        m_strError = e.m_strError;
        m_nErrorCode = static_cast<int>(e.m_dwError);
        result = false;
    }
    m_nSubfolderBudget = -1;
    return result;
}

void CFileOperation::DoCopy(CString source, CString destination, CWnd* parent)
{
    if (IsWithin(destination.Str(), source.Str()))
    {
        const auto slashes = [](const std::string& s)
        { return static_cast<int>(std::count(s.begin(), s.end(), '/')); };
        const int depth = slashes(destination.Str()) - slashes(source.Str());
        if (depth >= 0)
            m_nSubfolderBudget = depth;
    }

    const int sourceKind = CheckPath(source);
    const int destinationKind = CheckPath(destination);
    if (sourceKind == kPathMissing)
        throw CFException(source + " not found");
    if (sourceKind == kPathError)
        throw CFException("General source path error");
    if (destinationKind == kPathMissing)
        throw CFException(destination + " not found");
    if (destinationKind == kPathError)
        throw CFException("General destination path error");

    if (sourceKind == kPathFolder && destinationKind == kPathFile)
        throw CFException("Wrong operation");

    const std::string target = WithSlash(destination.Str());
    if (sourceKind == kPathFolder && IsLink(source.Str()))
    {
        // A link to a folder is copied as the link it is, never as what it leads to.
        DoLinkCopy(CString(WithoutSlash(source.Str())), CString(target + LastName(source.Str())), parent);
        return;
    }
    if (sourceKind == kPathFolder)
    {
        const std::string folder = WithSlash(source.Str());
        int error = 0;
        ListFolder(folder, error);
        if (error)
            throw CFException(CString(WithoutSlash(source.Str())) + " not found");
        std::string into = target;
        const std::string name = LastName(source.Str());
        if (!name.empty())
        {
            into += name + "/";
            if (const int failed = CreateFolders(into))
                throw CFException::FromErrno(failed);
        }
        DoFolderCopy(CString(folder), CString(into));
        return;
    }
    if (destinationKind == kPathFile)
    {
        DoFileCopy(source, destination, parent);
        return;
    }
    DoFileCopy(source, CString(target + LastName(source.Str())), parent);
}

void CFileOperation::DoFolderCopy(const CString& sourceFolder, const CString& destinationFolder)
{
    int error = 0;
    const std::vector<std::string> names = ListFolder(sourceFolder.Str(), error);
    if (error)
        throw CFException::FromErrno(error);
    for (const std::string& name : names)
    {
        const std::string path = sourceFolder.Str() + name;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0)
            continue;
        if (S_ISLNK(st.st_mode))
            DoLinkCopy(CString(path), destinationFolder + name.c_str(), nullptr);
        else if (!S_ISDIR(st.st_mode))
            DoFileCopy(CString(path), destinationFolder + name.c_str(), nullptr);
        else if (m_nSubfolderBudget != 0)
        {
            const std::string target = destinationFolder.Str() + name + "/";
            if (!Taken(WithoutSlash(target)))
            {
                if (const int failed = CreateFolders(target))
                    throw CFException::FromErrno(failed);
            }
            if (m_nSubfolderBudget > 0)
                --m_nSubfolderBudget;
            DoFolderCopy(CString(path + "/"), CString(target));
        }
    }
}

bool CFileOperation::ResolveTarget(CString& target, bool& failIfExists, CWnd* parent)
{
    failIfExists = false;
    if (!m_bOverwriteMode)
    {
        while (Taken(target.Str()))
            target = MakeCopyName(target);
        failIfExists = true;
    }
    if (m_bAskIfOverwrite && Taken(target.Str()))
    {
        if (m_nLastAnswer == OVERWRITE_YES_ALL || m_nLastAnswer == OVERWRITE_NO_ALL)
            m_bAnswerForAll = true;
        if (!m_bAnswerForAll && m_nLastAnswer != OVERWRITE_CANCEL)
            m_nLastAnswer = CAskOverWriteDlg::AskFromAnyThread(
                m_bNoCancel, parent, CString(LastName(target.Str())), IDS_FILE_EXISTS_OVERWRITE);
        if (m_nLastAnswer == OVERWRITE_NO || m_nLastAnswer == OVERWRITE_NO_ALL)
        {
            m_bCopied = false;
            return false;
        }
    }
    if (m_bAskIfOverwrite && m_nLastAnswer == OVERWRITE_CANCEL)
    {
        m_bCopied = false;
        return false;
    }
    return true;
}

void CFileOperation::DoFileCopy(const CString& source, CString target, CWnd* parent)
{
    m_bCopied = true;
    bool failIfExists = false;
    if (!ResolveTarget(target, failIfExists, parent))
        return;
    CopyContents(source, target, failIfExists);
}

void CFileOperation::DoLinkCopy(const CString& source, CString target, CWnd* parent)
{
    m_bCopied = true;
    bool failIfExists = false;
    if (!ResolveTarget(target, failIfExists, parent))
        return;
    struct stat from, to;
    if (::lstat(source.Str().c_str(), &from) == 0 && ::lstat(target.Str().c_str(), &to) == 0 &&
        SameFile(from, to))
        return;
    if (const int error = CopyLink(source.Str(), target.Str(), failIfExists))
        throw CFException::FromErrno(error);
}

void CFileOperation::CopyContents(const CString& source, const CString& target, bool failIfExists)
{
    // Copying a file onto itself (the same file under another name or through a link) would empty it;
    // it is already where it should be.
    struct stat from, to;
    if (::stat(source.Str().c_str(), &from) == 0 && ::stat(target.Str().c_str(), &to) == 0 &&
        SameFile(from, to))
        return;
    const Progress keepGoing = [this](std::uint64_t, std::uint64_t) { return !Cancelled(); };
    int error;
    if (m_bShowProgress)
    {
        CWaitDialog wait(nullptr);
        wait.Start(IDS_PLEASE_WAIT);
        error =
            CopyShowingProgress(source.Str(), target.Str(), failIfExists,
                                [&](std::uint64_t total, std::uint64_t done) {
                                    return CopyProgressRoutine(total, done, &wait) && keepGoing(total, done);
                                });
        wait.Stop();
    }
    else
        error = CopyBytes(source.Str(), target.Str(), failIfExists, keepGoing);
    if (error)
        throw CFException::FromErrno(error);
}

bool CFileOperation::Delete(CString path)
{
    try
    {
        DoDelete(path);
    }
    catch (const CFException& e)
    {
        m_strError = e.m_strError;
        m_nErrorCode = static_cast<int>(e.m_dwError);
        return e.m_dwError == 0;
    }
    return true;
}

void CFileOperation::DoDelete(const CString& path)
{
    const std::string p = WithoutSlash(path.Str());
    struct stat st;
    if (p.empty() || ::lstat(p.c_str(), &st) != 0)
        return;
    if (S_ISLNK(st.st_mode))
    {
        if (::unlink(p.c_str()) != 0)
            throw CFException::FromErrno(errno);
        return;
    }
    if (!S_ISDIR(st.st_mode))
    {
        if (!AskDeleteReadOnly(CString(p)))
        {
            m_bSkipped = 1;
            return;
        }
        if (::unlink(p.c_str()) != 0)
            throw CFException::FromErrno(errno);
        return;
    }
    int error = 0;
    const std::vector<std::string> names = ListFolder(p, error);
    if (error)
        throw CFException::FromErrno(error);
    for (const std::string& name : names)
        DoDelete(CString(WithSlash(p) + name));
    if (::rmdir(p.c_str()) != 0 && !m_bSkipped)
        throw CFException::FromErrno(errno);
}

bool CFileOperation::AskDeleteReadOnly(const CString& path)
{
    struct stat st;
    if (::stat(path.Str().c_str(), &st) != 0)
        return false;
    if (st.st_mode & S_IWUSR)
        return true;
    if (m_bAskIfReadOnly)
    {
        const CString text = CString(LastName(path.Str())) + " is read olny. Do you want delete it?";
        switch (SkinMessageBox(nullptr, text, "Warning", MB_YESNOCANCEL | MB_ICONQUESTION))
        {
        case IDYES:
            break;
        case IDNO:
            return false;
        default:
            // Cancel, or no answer because the program is closing: stop here without an error.
            m_bSkipped = 1;
            throw CFException(CString());
        }
    }
    return ::chmod(path.Str().c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}
