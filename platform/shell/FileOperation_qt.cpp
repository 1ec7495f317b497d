// Deleting files as the shell does: into the desktop's trash (Qt keeps to the freedesktop.org trash layout,
// a trash folder per volume included), or for good.

#include "platform/shell/FileOperation.h"
#include "platform/shell/ShellInternal.h"
#include "platform/win/LastError.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QString>

#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace
{
bool MoveToTrash(const char* path)
{
    // Qt makes the home trash inside the data folder only when that folder exists; without it, it would
    // take the current folder for the trash.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    return QFile::moveToTrash(QString::fromUtf8(path));
}
} // namespace

DWORD platform::shell::detail::DeletePath(const char* path, bool toTrash)
{
    std::error_code error;
    // A dangling link is an entry of its own, which goes as it is.
    const fs::file_status status = fs::symlink_status(path, error);
    if (!fs::exists(status))
        return ERROR_FILE_NOT_FOUND;
    if (toTrash)
        return MoveToTrash(path) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    // A link goes as it is, never what it leads to.
    if (fs::is_directory(status))
        fs::remove_all(path, error);
    else
        fs::remove(path, error);
    return error ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

int SHFileOperationA(LPSHFILEOPSTRUCTA operation)
{
    if (!operation || !operation->pFrom || operation->wFunc != FO_DELETE)
        return static_cast<int>(ERROR_INVALID_PARAMETER);
    operation->fAnyOperationsAborted = FALSE;
    const bool toTrash = (operation->fFlags & FOF_ALLOWUNDO) != 0;
    DWORD result = ERROR_SUCCESS;
    for (const char* path = operation->pFrom; *path; path += std::strlen(path) + 1)
    {
        const DWORD one = platform::shell::detail::DeletePath(path, toTrash);
        if (one != ERROR_SUCCESS && result == ERROR_SUCCESS)
            result = one;
    }
    return static_cast<int>(result);
}
