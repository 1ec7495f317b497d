// The Internet functions over libcurl: one multi handle per session, whose connection pool keeps the FTP
// control connection open from one call to the next; every call drives its transfer itself on the
// calling thread, so that it can be cancelled and bounded.

#include "platform/win/Kernel.h"
#include "platform/win/LastError.h"
#include "platform/wininet/WinInet.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace
{
struct EasyDeleter
{
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter
{
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct UrlDeleter
{
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct ListDeleter
{
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlFree
{
    void operator()(char* text) const { curl_free(text); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;
using MultiPtr = std::unique_ptr<CURLM, MultiDeleter>;
using UrlPtr = std::unique_ptr<CURLU, UrlDeleter>;
using CurlText = std::unique_ptr<char, CurlFree>;
using ListPtr = std::unique_ptr<curl_slist, ListDeleter>;

// How long one wait for the sockets lasts before the cancel event is looked at again.
constexpr int kPollSliceMs = 100;
// The most a file handle buffers ahead of its reader before the transfer is paused.
constexpr std::size_t kMaxBufferedBytes = 256 * 1024;
// Seconds between 1601-01-01 and 1970-01-01, the two epochs of file times.
constexpr long long kFileTimeEpochSeconds = 11644473600LL;

std::mutex g_timeoutsMutex;
platform::wininet::Timeouts g_timeouts;

enum class Kind
{
    Session,
    Connection,
    Find,
    File
};

struct Object
{
    explicit Object(Kind k, std::shared_ptr<Object> p = nullptr) : kind(k), parent(std::move(p)) {}
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    const Kind kind;
    const std::shared_ptr<Object> parent;
    std::atomic<bool> closed{false};
};

struct Session : Object
{
    Session() : Object(Kind::Session) {}
    std::string agent;
    MultiPtr multi;
    platform::wininet::Timeouts timeouts;
    std::atomic<HANDLE> cancelEvent{nullptr};
};

struct Connection : Object
{
    explicit Connection(std::shared_ptr<Object> session) : Object(Kind::Connection, std::move(session)) {}
    std::string host;
    long port = INTERNET_DEFAULT_FTP_PORT;
    // The current folder: its names below the login folder, or below the root when absolute.
    std::vector<std::string> folder;
    bool absolute = false;
    // The file open on this connection, if any.
    std::weak_ptr<Object> openFile;
};

struct Find : Object
{
    explicit Find(std::shared_ptr<Object> connection) : Object(Kind::Find, std::move(connection)) {}
};

struct File : Object
{
    explicit File(std::shared_ptr<Object> connection) : Object(Kind::File, std::move(connection)) {}
    ~File() override { Stop(); }

    void Stop()
    {
        if (easy && multi)
            curl_multi_remove_handle(multi, easy.get());
        easy.reset();
    }

    std::string url;
    bool ascii = false;
    long long size = -1;
    long long offset = 0;
    // The transfer, from the first read on.
    CURLM* multi = nullptr;
    EasyPtr easy;
    ListPtr restart;
    bool started = false;
    bool done = false;
    bool paused = false;
    CURLcode result = CURLE_OK;
    std::string buffer;
    std::size_t readPos = 0;
    // What the reader waits for; the transfer pauses only once more than that is buffered.
    std::size_t wanted = 0;
    // Bytes that came from the server, and whether it sent more than the file's size.
    long long received = 0;
    bool overrun = false;

    std::size_t Buffered() const { return buffer.size() - readPos; }
};

// Handles are numbers of ours, never reused, so that a stale handle finds nothing instead of freed memory.
std::mutex g_handlesMutex;
std::unordered_map<std::uintptr_t, std::shared_ptr<Object>> g_handles;
std::uintptr_t g_nextHandle = 0x1000;

HINTERNET Register(std::shared_ptr<Object> object)
{
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    const std::uintptr_t id = g_nextHandle;
    g_nextHandle += 8;
    g_handles.emplace(id, std::move(object));
    return reinterpret_cast<HINTERNET>(id);
}

std::shared_ptr<Object> Lookup(HINTERNET handle)
{
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    const auto it = g_handles.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == g_handles.end())
        return nullptr;
    return it->second;
}

template <class T> std::shared_ptr<T> LookupAs(HINTERNET handle, Kind kind)
{
    std::shared_ptr<Object> object = Lookup(handle);
    if (!object)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (object->kind != kind)
    {
        SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}

Session& SessionOf(const Object& object)
{
    const Object* at = &object;
    while (at->parent)
        at = at->parent.get();
    return *static_cast<Session*>(const_cast<Object*>(at));
}

bool Cancelled(const Object& object)
{
    for (const Object* at = &object; at; at = at->parent.get())
        if (at->closed.load())
            return true;
    HANDLE event = SessionOf(object).cancelEvent.load();
    return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

DWORD ErrorOf(CURLcode code)
{
    switch (code)
    {
    case CURLE_OK:
        return ERROR_SUCCESS;
    case CURLE_COULDNT_RESOLVE_HOST:
        return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
        return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
        return ERROR_INTERNET_TIMEOUT;
    case CURLE_ABORTED_BY_CALLBACK:
        return ERROR_INTERNET_OPERATION_CANCELLED;
    case CURLE_LOGIN_DENIED:
        return ERROR_INTERNET_LOGIN_FAILURE;
    case CURLE_URL_MALFORMAT:
        return ERROR_INTERNET_INVALID_URL;
    case CURLE_OUT_OF_MEMORY:
        return ERROR_NOT_ENOUGH_MEMORY;
    case CURLE_FTP_COULDNT_USE_REST:
    case CURLE_BAD_DOWNLOAD_RESUME:
    case CURLE_RANGE_ERROR:
    case CURLE_QUOTE_ERROR: // the only command we send of our own is the restart
        return ERROR_FTP_RESTART_REFUSED;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_ACCEPT_TIMEOUT:
        return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_SEND_ERROR:
        return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_COULDNT_SET_TYPE:
    case CURLE_FTP_PORT_FAILED:
        return ERROR_INTERNET_EXTENDED_ERROR;
    default:
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

void InitCurl()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool HasControlCharacter(const char* text)
{
    for (const char* c = text; *c; ++c)
        if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7F)
            return true;
    return false;
}

std::vector<std::string> SplitPath(const std::string& path)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= path.size())
    {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        if (end > start)
            names.push_back(path.substr(start, end - start));
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return names;
}

std::string Escape(const std::string& name)
{
    CurlText escaped(curl_easy_escape(nullptr, name.c_str(), static_cast<int>(name.size())));
    return escaped ? std::string(escaped.get()) : std::string();
}

/// The URL of a folder (ending in "/") or of a file in it; empty when the host is refused.
std::string BuildUrl(const Connection& connection, const std::vector<std::string>& folder, bool absolute,
                     const std::string* file)
{
    // Each name is escaped on its own, so no name can add a folder level or a command of its own; an
    // absolute folder starts with an escaped "/", which the single CWD then sends as it is.
    std::string path = "/";
    if (absolute)
        path += "%2F";
    for (const std::string& name : folder)
        path += Escape(name) + "/";
    if (file)
        path += Escape(*file);
    UrlPtr url(curl_url());
    if (!url)
        return {};
    const std::string port = std::to_string(connection.port);
    if (curl_url_set(url.get(), CURLUPART_SCHEME, "ftp", 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_HOST, connection.host.c_str(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_PORT, port.c_str(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_PATH, path.c_str(), 0) != CURLUE_OK)
        return {};
    char* text = nullptr;
    if (curl_url_get(url.get(), CURLUPART_URL, &text, 0) != CURLUE_OK || !text)
        return {};
    CurlText owned(text);
    return std::string(owned.get());
}

size_t Discard(char*, size_t size, size_t count, void*)
{
    return size * count;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return Cancelled(*static_cast<const Object*>(user)) ? 1 : 0;
}

long Seconds(DWORD ms)
{
    return static_cast<long>((static_cast<unsigned long long>(ms) + 999) / 1000);
}

/// A transfer with the options every call shares; `owner` is the handle whose cancellation stops it.
EasyPtr NewTransfer(const std::string& url, const Object& owner)
{
    EasyPtr easy(curl_easy_init());
    if (!easy)
        return nullptr;
    const platform::wininet::Timeouts& limits = SessionOf(owner).timeouts;
    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.ConnectMs));
    curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, Seconds(limits.ResponseMs));
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, Seconds(limits.StallMs));
    curl_easy_setopt(e, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    // A passive-mode answer naming another host is not followed.
    curl_easy_setopt(e, CURLOPT_FTP_SKIP_PASV_IP, 1L);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, const_cast<Object*>(&owner));
    // What a transfer without data reports about the file is not wanted as data.
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Discard);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Discard);
    return easy;
}

/// Whether the multi handle reports `easy` as finished, with its result.
bool Finished(CURLM* multi, CURL* easy, CURLcode& result)
{
    int queued = 0;
    bool finished = false;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued))
    {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
        {
            finished = true;
            result = message->data.result;
        }
    }
    return finished;
}

/// Runs a transfer that carries no data to its end on the session's multi handle.
CURLcode RunProbe(const Object& owner, CURL* easy)
{
    CURLM* multi = SessionOf(owner).multi.get();
    if (curl_multi_add_handle(multi, easy) != CURLM_OK)
        return CURLE_OUT_OF_MEMORY;
    CURLcode result = CURLE_OK;
    for (;;)
    {
        if (Cancelled(owner))
        {
            result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        int running = 0;
        curl_multi_perform(multi, &running);
        if (Finished(multi, easy, result))
            break;
        curl_multi_poll(multi, nullptr, 0, kPollSliceMs, nullptr);
    }
    curl_multi_remove_handle(multi, easy);
    return result;
}

/// The size a server tells for SIZE, read strictly from its answer: the answer to the last SIZE command
/// sent, if it was "213 " followed by nothing but decimal digits.
struct SizeAnswer
{
    bool asked = false;
    long long size = -1;
};

int OnDebug(CURL*, curl_infotype type, char* data, size_t length, void* user)
{
    auto* answer = static_cast<SizeAnswer*>(user);
    std::string line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (type == CURLINFO_HEADER_OUT)
    {
        answer->asked = line.rfind("SIZE ", 0) == 0;
        if (answer->asked)
            answer->size = -1;
    }
    else if (type == CURLINFO_HEADER_IN && answer->asked)
    {
        answer->asked = false;
        const std::string digits = line.rfind("213 ", 0) == 0 ? line.substr(4) : std::string();
        const bool valid =
            !digits.empty() && digits.size() <= 18 &&
            std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
        answer->size = valid ? std::stoll(digits) : -1;
    }
    return 0;
}

/// Asks the server for a file's size and time; false with the last error set when it cannot.
bool ProbeFile(const Connection& connection, const std::string& name, const Object& owner, long long& size,
               long long& time, std::string& url)
{
    url = BuildUrl(connection, connection.folder, connection.absolute, &name);
    if (url.empty())
    {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return false;
    }
    EasyPtr easy = NewTransfer(url, owner);
    if (!easy)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    // The size is read from the server's own answer: libcurl takes the digits at its end, so "-5" and
    // "unknown" would pass for sizes.
    SizeAnswer answer;
    curl_easy_setopt(easy.get(), CURLOPT_NOBODY, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_FILETIME, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_DEBUGFUNCTION, &OnDebug);
    curl_easy_setopt(easy.get(), CURLOPT_DEBUGDATA, &answer);
    curl_easy_setopt(easy.get(), CURLOPT_VERBOSE, 1L);
    const CURLcode result = RunProbe(owner, easy.get());
    if (result != CURLE_OK)
    {
        SetLastError(ErrorOf(result));
        return false;
    }
    curl_off_t stamp = -1;
    curl_easy_getinfo(easy.get(), CURLINFO_FILETIME_T, &stamp);
    size = answer.size;
    time = stamp;
    return true;
}

size_t OnData(char* data, size_t size, size_t count, void* user)
{
    auto* file = static_cast<File*>(user);
    const std::size_t bytes = size * count;
    if (file->Buffered() >= std::max(kMaxBufferedBytes, file->wanted))
    {
        file->paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    // A server that sends more than the size it announced (one that ignored the restart offset, say)
    // cannot be trusted with any of it.
    if (file->size >= 0 && file->offset + file->received + static_cast<long long>(bytes) > file->size)
    {
        file->overrun = true;
        return 0;
    }
    file->buffer.append(data, bytes);
    file->received += static_cast<long long>(bytes);
    return bytes;
}

bool StartTransfer(File& file)
{
    file.started = true;
    file.multi = SessionOf(file).multi.get();
    if (file.size >= 0 && file.offset == file.size)
    {
        file.done = true;
        return true;
    }
    file.easy = NewTransfer(file.url, file);
    if (file.offset > 0)
        file.restart.reset(curl_slist_append(nullptr, ("REST " + std::to_string(file.offset)).c_str()));
    if (!file.easy || (file.offset > 0 && !file.restart))
    {
        file.easy.reset();
        file.done = true;
        file.result = CURLE_OUT_OF_MEMORY;
        return false;
    }
    CURL* e = file.easy.get();
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &OnData);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &file);
    curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, file.ascii ? 1L : 0L);
    // The size told at opening is the one the transfer is judged against, here, not by libcurl, which
    // would cut what a server sends beyond it and so hide a server that ignored the restart offset.
    // Without the size libcurl does not restart by itself, so the restart is sent right before RETR.
    curl_easy_setopt(e, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
    if (file.restart)
        curl_easy_setopt(e, CURLOPT_PREQUOTE, file.restart.get());
    if (curl_multi_add_handle(file.multi, e) != CURLM_OK)
    {
        file.easy.reset();
        file.done = true;
        file.result = CURLE_OUT_OF_MEMORY;
        return false;
    }
    return true;
}

void CloseTree(const std::shared_ptr<Object>& root)
{
    root->closed = true;
    std::vector<std::shared_ptr<Object>> removed;
    {
        std::lock_guard<std::mutex> lock(g_handlesMutex);
        for (auto it = g_handles.begin(); it != g_handles.end();)
        {
            bool below = false;
            for (const Object* at = it->second.get(); at && !below; at = at->parent.get())
                below = at == root.get();
            if (below)
            {
                it->second->closed = true;
                removed.push_back(std::move(it->second));
                it = g_handles.erase(it);
            }
            else
                ++it;
        }
    }
    // Files first, so that their transfers leave the session's multi handle before it goes.
    for (auto& object : removed)
        if (object->kind == Kind::File)
            static_cast<File&>(*object).Stop();
}
} // namespace

DWORD InternetAttemptConnect(DWORD)
{
    return ERROR_SUCCESS;
}

HINTERNET InternetOpenA(LPCSTR agent, DWORD, LPCSTR, LPCSTR, DWORD)
{
    InitCurl();
    auto session = std::make_shared<Session>();
    session->agent = agent ? agent : "";
    session->timeouts = platform::wininet::GetTimeouts();
    session->multi.reset(curl_multi_init());
    if (!session->multi)
    {
        SetLastError(ERROR_INTERNET_OUT_OF_HANDLES);
        return nullptr;
    }
    return Register(std::move(session));
}

HINTERNET InternetConnectA(HINTERNET internet, LPCSTR server, INTERNET_PORT port, LPCSTR userName,
                           LPCSTR password, DWORD service, DWORD, DWORD_PTR)
{
    auto session = LookupAs<Session>(internet, Kind::Session);
    if (!session)
        return nullptr;
    if (!server || !*server || service != INTERNET_SERVICE_FTP || (userName && *userName) ||
        (password && *password) || HasControlCharacter(server))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto connection = std::make_shared<Connection>(session);
    std::string host = server;
    long chosenPort = port == INTERNET_INVALID_PORT_NUMBER ? INTERNET_DEFAULT_FTP_PORT : port;
    // "host:port" and "[v6]:port"; a bare IPv6 address has more than one colon and no port.
    std::size_t colon = std::string::npos;
    if (host.front() == '[')
    {
        const std::size_t close = host.find(']');
        if (close != std::string::npos && close + 1 < host.size() && host[close + 1] == ':')
            colon = close + 1;
    }
    else if (host.find(':') == host.rfind(':'))
        colon = host.find(':');
    if (colon != std::string::npos)
    {
        const std::string digits = host.substr(colon + 1);
        long value = 0;
        for (char c : digits)
            value = (c >= '0' && c <= '9' && value <= 65535) ? value * 10 + (c - '0') : 70000;
        if (digits.empty() || value < 1 || value > 65535)
        {
            SetLastError(ERROR_INTERNET_INVALID_URL);
            return nullptr;
        }
        chosenPort = value;
        host.erase(colon);
    }
    connection->host = host;
    connection->port = chosenPort;
    const std::string url = BuildUrl(*connection, {}, false, nullptr);
    if (url.empty())
    {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return nullptr;
    }
    // Connecting and logging in now, as the caller expects a server that cannot be reached to fail here.
    EasyPtr easy = NewTransfer(url, *connection);
    if (!easy)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    curl_easy_setopt(easy.get(), CURLOPT_NOBODY, 1L);
    const CURLcode result = RunProbe(*connection, easy.get());
    if (result != CURLE_OK)
    {
        SetLastError(ErrorOf(result));
        return nullptr;
    }
    return Register(std::move(connection));
}

BOOL FtpSetCurrentDirectoryA(HINTERNET connect, LPCSTR directory)
{
    auto connection = LookupAs<Connection>(connect, Kind::Connection);
    if (!connection)
        return FALSE;
    if (!directory || HasControlCharacter(directory))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (connection->openFile.lock())
    {
        SetLastError(ERROR_FTP_TRANSFER_IN_PROGRESS);
        return FALSE;
    }
    std::vector<std::string> folder = connection->folder;
    bool absolute = connection->absolute;
    if (directory[0] == '/')
    {
        folder.clear();
        absolute = true;
    }
    for (std::string& name : SplitPath(directory))
        folder.push_back(std::move(name));
    const std::string url = BuildUrl(*connection, folder, absolute, nullptr);
    if (url.empty())
    {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return FALSE;
    }
    EasyPtr easy = NewTransfer(url, *connection);
    if (!easy)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    curl_easy_setopt(easy.get(), CURLOPT_NOBODY, 1L);
    const CURLcode result = RunProbe(*connection, easy.get());
    if (result != CURLE_OK)
    {
        SetLastError(ErrorOf(result));
        return FALSE;
    }
    connection->folder = std::move(folder);
    connection->absolute = absolute;
    return TRUE;
}

HINTERNET FtpFindFirstFileA(HINTERNET connect, LPCSTR searchFile, LPWIN32_FIND_DATAA findData, DWORD,
                            DWORD_PTR)
{
    auto connection = LookupAs<Connection>(connect, Kind::Connection);
    if (!connection)
        return nullptr;
    if (!searchFile || !*searchFile || !findData || HasControlCharacter(searchFile) ||
        std::strpbrk(searchFile, "*?/") || std::strlen(searchFile) >= MAX_PATH)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (connection->openFile.lock())
    {
        SetLastError(ERROR_FTP_TRANSFER_IN_PROGRESS);
        return nullptr;
    }
    long long size = -1;
    long long time = -1;
    std::string url;
    if (!ProbeFile(*connection, searchFile, *connection, size, time, url))
    {
        if (GetLastError() == ERROR_INTERNET_EXTENDED_ERROR)
            SetLastError(ERROR_NO_MORE_FILES);
        return nullptr;
    }
    *findData = WIN32_FIND_DATAA{};
    findData->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (size > 0)
    {
        findData->nFileSizeHigh = static_cast<DWORD>(static_cast<unsigned long long>(size) >> 32);
        findData->nFileSizeLow = static_cast<DWORD>(static_cast<unsigned long long>(size) & 0xFFFFFFFFu);
    }
    if (time >= 0)
    {
        const unsigned long long ticks =
            (static_cast<unsigned long long>(time) + kFileTimeEpochSeconds) * 10000000ULL;
        findData->ftLastWriteTime.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
        findData->ftLastWriteTime.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    }
    std::strncpy(findData->cFileName, searchFile, MAX_PATH - 1);
    return Register(std::make_shared<Find>(connection));
}

HINTERNET FtpOpenFileA(HINTERNET connect, LPCSTR fileName, DWORD access, DWORD flags, DWORD_PTR)
{
    auto connection = LookupAs<Connection>(connect, Kind::Connection);
    if (!connection)
        return nullptr;
    if (!fileName || !*fileName || HasControlCharacter(fileName) || access != GENERIC_READ)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (connection->openFile.lock())
    {
        SetLastError(ERROR_FTP_TRANSFER_IN_PROGRESS);
        return nullptr;
    }
    // A name with folders in it is looked for below the current folder.
    std::vector<std::string> names = SplitPath(fileName);
    if (names.empty())
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Connection place(connection->parent);
    place.host = connection->host;
    place.port = connection->port;
    place.folder = connection->folder;
    place.absolute = connection->absolute || fileName[0] == '/';
    if (fileName[0] == '/')
        place.folder.clear();
    place.folder.insert(place.folder.end(), names.begin(), names.end() - 1);
    auto file = std::make_shared<File>(connection);
    long long time = -1;
    if (!ProbeFile(place, names.back(), *file, file->size, time, file->url))
        return nullptr;
    file->ascii = (flags & FTP_TRANSFER_TYPE_ASCII) != 0;
    connection->openFile = file;
    return Register(std::move(file));
}

DWORD FtpGetFileSize(HINTERNET handle, DWORD* fileSizeHigh)
{
    auto file = LookupAs<File>(handle, Kind::File);
    if (!file)
        return INVALID_FILE_SIZE;
    if (file->size < 0)
    {
        SetLastError(ERROR_INTERNET_EXTENDED_ERROR);
        return INVALID_FILE_SIZE;
    }
    const auto size = static_cast<unsigned long long>(file->size);
    if (fileSizeHigh)
        *fileSizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

DWORD InternetSetFilePointer(HINTERNET handle, LONG distanceToMove, LONG* distanceToMoveHigh,
                             DWORD moveMethod, DWORD_PTR)
{
    auto file = LookupAs<File>(handle, Kind::File);
    if (!file)
        return INVALID_SET_FILE_POINTER;
    if (file->started)
    {
        SetLastError(ERROR_INTERNET_INVALID_OPERATION);
        return INVALID_SET_FILE_POINTER;
    }
    long long position =
        distanceToMoveHigh
            ? static_cast<long long>(
                  (static_cast<unsigned long long>(static_cast<DWORD>(*distanceToMoveHigh)) << 32) |
                  static_cast<DWORD>(distanceToMove))
            : static_cast<long long>(distanceToMove);
    if (moveMethod != FILE_BEGIN || position < 0 || (file->size >= 0 && position > file->size))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    file->offset = position;
    if (distanceToMoveHigh)
        *distanceToMoveHigh = static_cast<LONG>(static_cast<unsigned long long>(position) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(static_cast<unsigned long long>(position) & 0xFFFFFFFFu);
}

BOOL InternetReadFile(HINTERNET handle, LPVOID buffer, DWORD toRead, DWORD* read)
{
    if (read)
        *read = 0;
    auto file = LookupAs<File>(handle, Kind::File);
    if (!file)
        return FALSE;
    if (!buffer || !read)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    file->wanted = toRead;
    if (!file->started)
        StartTransfer(*file);
    while (file->Buffered() < toRead && !file->done)
    {
        if (Cancelled(*file))
        {
            file->Stop();
            file->done = true;
            file->result = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        if (file->paused)
        {
            file->paused = false;
            curl_easy_pause(file->easy.get(), CURLPAUSE_CONT);
        }
        int running = 0;
        curl_multi_perform(file->multi, &running);
        CURLcode result = CURLE_OK;
        if (Finished(file->multi, file->easy.get(), result))
        {
            file->done = true;
            // The end of a transfer is judged against the size the server announced.
            if (result == CURLE_OK && file->size >= 0 && file->offset + file->received < file->size)
                result = CURLE_PARTIAL_FILE;
            file->result = result;
            file->Stop();
            break;
        }
        if (file->Buffered() < toRead && !file->paused)
            curl_multi_poll(file->multi, nullptr, 0, kPollSliceMs, nullptr);
    }
    const std::size_t bytes = std::min<std::size_t>(toRead, file->Buffered());
    const bool broken = file->done && file->result != CURLE_OK && bytes < toRead;
    std::memcpy(buffer, file->buffer.data() + file->readPos, bytes);
    file->readPos += bytes;
    if (file->readPos == file->buffer.size())
    {
        file->buffer.clear();
        file->readPos = 0;
    }
    else if (file->readPos >= kMaxBufferedBytes)
    {
        file->buffer.erase(0, file->readPos);
        file->readPos = 0;
    }
    *read = static_cast<DWORD>(bytes);
    if (broken)
    {
        SetLastError(file->overrun ? ERROR_INVALID_DATA : ErrorOf(file->result));
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL InternetCloseHandle(HINTERNET handle)
{
    std::shared_ptr<Object> object = Lookup(handle);
    if (!object)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    CloseTree(object);
    return TRUE;
}

namespace platform::wininet
{
Timeouts GetTimeouts()
{
    std::lock_guard<std::mutex> lock(g_timeoutsMutex);
    return g_timeouts;
}

void SetTimeouts(const Timeouts& timeouts)
{
    std::lock_guard<std::mutex> lock(g_timeoutsMutex);
    g_timeouts = timeouts;
}

BOOL SetCancelEvent(HINTERNET internet, HANDLE event)
{
    auto session = LookupAs<Session>(internet, Kind::Session);
    if (!session)
        return FALSE;
    session->cancelEvent = event;
    return TRUE;
}
} // namespace platform::wininet
