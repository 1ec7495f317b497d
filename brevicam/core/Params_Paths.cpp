// The settings store's folders, path rules, file kinds and probes: the parts that work on the file system
// rather than on stored values.

#include "Params.h"

#include "platform/resources/Resources.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{
// Leaves room, within the 260-byte path buffers of the program, for the names it writes into a folder
// (as the system's own limit on folder paths does).
constexpr std::size_t kMaxFolderPath = MAX_PATH - 12;
constexpr int kStandardCompactLength = 50;
constexpr std::string_view kEllipsis = "...";

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// The value of XDG_DOCUMENTS_DIR in a user-dirs.dirs file, read as the shell would source it: the last
// assignment wins, the value is a quoted "$HOME/..." or absolute path with backslash escapes.
std::string DocumentsFromUserDirs(const fs::path& file, const std::string& home)
{
    std::ifstream in(file);
    std::string line, result;
    static constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=";
    while (std::getline(in, line))
    {
        std::string_view text(line);
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
            text.remove_prefix(1);
        if (!text.starts_with(kKey))
            continue;
        text.remove_prefix(kKey.size());
        std::string value;
        if (!text.empty() && text.front() == '"')
        {
            bool closed = false;
            for (std::size_t i = 1; i < text.size(); ++i)
            {
                if (text[i] == '\\' && i + 1 < text.size())
                    value += text[++i];
                else if (text[i] == '"')
                {
                    closed = true;
                    break;
                }
                else
                    value += text[i];
            }
            if (!closed)
                continue;
        }
        else
        {
            value = std::string(text.substr(0, text.find_first_of(" \t#")));
        }
        if (value == "$HOME")
            value = home;
        else if (value.starts_with("$HOME/"))
            value = home + value.substr(5);
        else if (!value.starts_with("/"))
            continue;
        result = value;
    }
    return result;
}

// The user's documents folder, created when missing: XDG_DOCUMENTS_DIR of the user's user-dirs.dirs, else
// $HOME/Documents. Empty when there is no usable home or the folder cannot be made.
std::string DocumentsFolder()
{
    const std::string home = Environment("HOME");
    if (home.empty() || home.front() != '/')
        return std::string();
    std::string config = Environment("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/')
        config = home + "/.config";
    std::string documents = DocumentsFromUserDirs(fs::path(config) / "user-dirs.dirs", home);
    if (documents.empty())
        documents = home + "/Documents";
    std::error_code ec;
    fs::create_directories(documents, ec);
    if (!fs::is_directory(documents, ec))
        return std::string();
    return documents;
}

// The path without its last component, as the shell leaves it on removing the file name; "/" stays.
std::string_view RemoveFileSpec(std::string_view path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return std::string_view();
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}
} // namespace

bool CParams::DocumentsSubFolder(const char* sub, CString& out)
{
    std::string folder = DocumentsFolder();
    if (folder.empty())
        return false;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    if (folder.back() != '/')
        folder += '/';
    out = CString(folder + sub);
    return true;
}

CString CParams::GetEmailsFolder()
{
    CString folder;
    if (!DocumentsSubFolder("Tavisk webcam/Emails", folder))
        return CString();
    CreateFolderTree(folder);
    return folder + "/";
}

bool CParams::CreateFolderTree(const CString& folder)
{
    if (folder.IsEmpty())
        return false;
    std::error_code ec;
    fs::create_directories(folder.Str(), ec);
    return fs::is_directory(folder.Str(), ec);
}

CString CParams::GetProgramFolder()
{
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    // A cut path would name another folder: only a whole one counts.
    if (length == 0 || length >= sizeof buffer - 1)
        return CString();
    return CString(RemoveFileSpec(std::string_view(buffer, length)));
}

// The path rules, for absolute POSIX paths. A path is rejected when:
//  - it does not begin with "/" (relative paths), or is longer than kMaxFolderPath bytes;
//  - it holds a character that other systems forbid in names, or a control character: * ? < > | " : \ ;
//  - a name in it begins with "." (hidden folders, "." and ".."), a folder name ends with "." or a
//    blank, or a name begins with a blank ("/." "./" " /" "/ "), or the path ends with ".";
//  - it holds an empty name ("//").
// Non-ASCII names and blanks inside names are fine.
BOOL CParams::IsValidPath(CString path)
{
    const std::string& p = path.Str();
    if (p.empty() || p.front() != '/' || p.size() > kMaxFolderPath)
        return FALSE;
    for (unsigned char c : p)
    {
        if (c < 0x20 || c == 0x7F ||
            std::string_view("*?<>|\":\\").find(static_cast<char>(c)) != std::string_view::npos)
            return FALSE;
    }
    for (std::string_view pair : {"./", "/.", " /", "/ ", "//"})
    {
        if (p.find(pair) != std::string::npos)
            return FALSE;
    }
    if (p.back() == '.')
        return FALSE;
    return TRUE;
}

bool CParams::PathExists(CString path, BOOL folder)
{
    std::error_code ec;
    const fs::file_status status = fs::status(path.Str(), ec);
    if (ec || !fs::exists(status))
        return false;
    return fs::is_directory(status) == (folder != FALSE);
}

CString CParams::CompactPath(CString path, int maxChars)
{
    const std::size_t maximum = maxChars < 0 ? kStandardCompactLength : static_cast<std::size_t>(maxChars);
    const std::string& p = path.Str();
    if (p.size() <= maximum)
        return path;
    // The result and its terminator fit `maximum` bytes.
    const std::size_t room = maximum > 0 ? maximum - 1 : 0;
    if (room < kEllipsis.size())
        return CString(platform::Utf8Prefix(p, room));

    std::string_view whole(p);
    if (whole.size() > 1 && whole.back() == '/')
        whole.remove_suffix(1);
    const auto lastSlash = whole.rfind('/');
    const std::string_view last = lastSlash == std::string_view::npos ? whole : whole.substr(lastSlash + 1);
    const std::string_view head =
        lastSlash == std::string_view::npos ? std::string_view() : whole.substr(0, lastSlash + 1);
    const std::string tail = std::string(kEllipsis) + (head.empty() ? "" : "/") + std::string(last);
    if (tail.size() > room)
    {
        // Even the last name does not fit: its beginning, then the ellipsis.
        return CString(std::string(platform::Utf8Prefix(last, room - kEllipsis.size())) +
                       std::string(kEllipsis));
    }
    // As many leading folders as fit, whole, in front of the ellipsis.
    std::size_t keep = 0;
    for (std::size_t i = 0; i < head.size(); ++i)
    {
        if (head[i] == '/' && i + 1 + tail.size() <= room)
            keep = i + 1;
    }
    return CString(std::string(head.substr(0, keep)) + tail);
}

CString CParams::GetParentFolder(CString path)
{
    std::string_view p(path.Str());
    if (p.size() < 2)
        return CString();
    if (p.back() == '/')
        p.remove_suffix(1);
    const auto slash = p.rfind('/');
    if (slash == std::string_view::npos)
        return CString();
    const std::string_view parent = p.substr(0, slash + 1);
    // The root has no parent worth naming, as a drive root had none.
    if (parent.size() < 2)
        return CString();
    return CString(parent);
}

BOOL CParams::IsSameFolder(const char* file, const char* folder)
{
    if (!file || !folder)
        return FALSE;
    return RemoveFileSpec(file) == RemoveFileSpec(folder) ? TRUE : FALSE;
}

char* CParams::NormalizePath(char* path)
{
    if (!path)
        return path;
    // Linux gives a leading "//" no meaning of its own (there are no network prefixes), so every run of
    // separators shrinks to one.
    char* out = path;
    for (const char* in = path; *in; ++in)
    {
        if (*in == '/' && out > path && out[-1] == '/')
            continue;
        *out++ = *in;
    }
    *out = '\0';
    return path;
}

namespace
{
int LookUpExtension(const std::map<CString, int>& table, const CString& path, int unknown)
{
    const int dot = path.ReverseFind('.');
    if (dot < 0)
        return unknown;
    CString extension = path.Mid(dot + 1);
    extension.MakeUpper();
    const auto it = table.find(extension);
    return it == table.end() ? unknown : it->second;
}
} // namespace

int CParams::GetImageType(CString path) const
{
    return LookUpExtension(m_ImageTypes, path, 0);
}

int CParams::GetMediaType(CString path) const
{
    return LookUpExtension(m_MediaTypes, path, 4);
}

bool CParams::IsUserAdmin()
{
    if (geteuid() == 0)
        return true;
    const int count = getgroups(0, nullptr);
    if (count < 0)
        return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count) + 1);
    const int got = getgroups(count, groups.data());
    if (got < 0)
        return false;
    groups.resize(static_cast<std::size_t>(got));
    groups.push_back(getegid());

    for (const char* name : {"sudo", "admin", "wheel"})
    {
        std::vector<char> buffer(1024);
        group entry{};
        group* found = nullptr;
        int rc;
        while ((rc = getgrnam_r(name, &entry, buffer.data(), buffer.size(), &found)) == ERANGE &&
               buffer.size() < (1u << 20))
            buffer.resize(buffer.size() * 2);
        if (rc != 0 || !found)
            continue;
        for (gid_t gid : groups)
        {
            if (gid == found->gr_gid)
                return true;
        }
    }
    return false;
}
