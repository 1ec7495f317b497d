#include "platform/com/Com.h"
#include "platform/shell/ShellFolder.h"
#include "platform/shell/ShellInternal.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace
{
using platform::shell::detail::CleanAbsolutePath;
using platform::shell::detail::DesktopRoot;

std::string ExistingFolder(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return {};
    return CleanAbsolutePath(path.toStdString());
}

std::string HomeFolder()
{
    return ExistingFolder(QDir::homePath());
}

/// Kernel and service file systems that a file manager never shows as volumes.
bool IsPseudoFileSystem(std::string_view type)
{
    static constexpr std::string_view kPseudo[] = {
        "proc",     "sysfs",           "devtmpfs",    "devpts",     "tmpfs",   "cgroup",
        "cgroup2",  "securityfs",      "pstore",      "debugfs",    "tracefs", "configfs",
        "fusectl",  "mqueue",          "hugetlbfs",   "bpf",        "autofs",  "binfmt_misc",
        "nsfs",     "efivarfs",        "ramfs",       "rpc_pipefs", "nfsd",    "overlay",
        "squashfs", "fuse.gvfsd-fuse", "fuse.portal", "fuse.lxcfs"};
    return std::find(std::begin(kPseudo), std::end(kPseudo), type) != std::end(kPseudo);
}

/// Where file managers look for removable and mounted volumes.
bool IsUserVolumePlace(const std::string& root, const std::string& home)
{
    for (std::string_view place : {"/media/", "/run/media/", "/mnt/"})
        if (root.starts_with(place))
            return true;
    return !home.empty() && root.starts_with(home + "/");
}

void AddRoot(std::vector<DesktopRoot>& roots, const std::string& path, std::string name, std::string icon)
{
    if (path.empty())
        return;
    for (const auto& root : roots)
        if (root.path == path)
            return;
    roots.push_back({path, std::move(name), std::move(icon)});
}
} // namespace

namespace platform::shell::detail
{
std::vector<DesktopRoot> DesktopRoots()
{
    std::vector<DesktopRoot> roots;
    const std::string home = HomeFolder();
    AddRoot(roots, home, "Home", "user-home");
    struct UserFolder
    {
        QStandardPaths::StandardLocation location;
        const char* icon;
    };
    static constexpr std::array<UserFolder, 6> kUserFolders = {{
        {QStandardPaths::DesktopLocation, "user-desktop"},
        {QStandardPaths::DocumentsLocation, "folder-documents"},
        {QStandardPaths::DownloadLocation, "folder-download"},
        {QStandardPaths::MusicLocation, "folder-music"},
        {QStandardPaths::PicturesLocation, "folder-pictures"},
        {QStandardPaths::MoviesLocation, "folder-videos"},
    }};
    for (const UserFolder& folder : kUserFolders)
    {
        const std::string path = ExistingFolder(QStandardPaths::writableLocation(folder.location));
        if (path != home && path != "/")
            AddRoot(roots, path, LastComponent(path), folder.icon);
    }
    AddRoot(roots, "/", "File System", "drive-harddisk");

    std::vector<DesktopRoot> volumes;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
    {
        if (!volume.isValid() || !volume.isReady())
            continue;
        const std::string path = CleanAbsolutePath(volume.rootPath().toStdString());
        if (path.empty() || path == "/" || !IsUserVolumePlace(path, home) ||
            IsPseudoFileSystem(volume.fileSystemType().toStdString()))
            continue;
        std::string name = volume.name().toStdString();
        if (name.empty())
            name = LastComponent(path);
        const bool removable = path.starts_with("/media/") || path.starts_with("/run/media/");
        volumes.push_back({path, name, removable ? "drive-removable-media" : "drive-harddisk"});
    }
    std::sort(volumes.begin(), volumes.end(),
              [](const DesktopRoot& a, const DesktopRoot& b) { return a.path < b.path; });
    for (auto& volume : volumes)
        AddRoot(roots, volume.path, std::move(volume.displayName), std::move(volume.iconName));
    return roots;
}

std::string DesktopFolderPath()
{
    const std::string desktop =
        ExistingFolder(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    return desktop.empty() ? HomeFolder() : desktop;
}

const DesktopRoot* FindRoot(const std::vector<DesktopRoot>& roots, std::string_view path)
{
    for (const auto& root : roots)
        if (root.path == path)
            return &root;
    return nullptr;
}
} // namespace platform::shell::detail

HRESULT SHGetSpecialFolderLocation(HWND, int folder, PIDLIST_ABSOLUTE* list)
{
    if (!list)
        return E_POINTER;
    *list = nullptr;
    QString path;
    switch (folder)
    {
    case CSIDL_DESKTOP:
        *list = static_cast<PIDLIST_ABSOLUTE>(CoTaskMemAlloc(sizeof(USHORT)));
        if (!*list)
            return E_OUTOFMEMORY;
        std::memset(*list, 0, sizeof(USHORT));
        return S_OK;
    case CSIDL_PERSONAL:
        path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        break;
    case CSIDL_DESKTOPDIRECTORY:
        path = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        break;
    case CSIDL_BITBUCKET:
        path = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files";
        break;
    default:
        return E_INVALIDARG;
    }
    const std::string existing = ExistingFolder(path);
    if (existing.empty())
        return E_FAIL;
    *list = ILCreateFromPathA(existing.c_str());
    return *list ? S_OK : E_FAIL;
}
