#include "platform/ostrago/BrowsePath.h"
#include "platform/win/ScriptedAnswer.h"
#include "platform/window/QtHost.h"
#include "platform/window/WinUser.h"

#include <QDir>
#include <QFileDialog>

#include <cstring>

namespace
{
platform::ScriptedAnswer<platform::ostrago::BrowseRequest> g_script;

constexpr std::size_t kPathBytes = MAX_PATH;

std::optional<std::string> AskUser(HWND owner, const QString& title, const QString& initial)
{
    QFileDialog dialog(owner ? platform::window::HostWidgetOf(owner) : nullptr, title,
                       initial.isEmpty() ? QDir::homePath() : initial);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    return platform::window::RunFileDialog(dialog, owner);
}
} // namespace

BOOL GetBrowsePath(HWND owner, const char* title, char* path, const wchar_t* initialFolder)
{
    if (!path)
        return FALSE;
    path[0] = '\0';
    const QString initial = initialFolder ? QString::fromWCharArray(initialFolder) : QString();
    std::optional<std::string> chosen;
    if (!g_script.Take({owner, title ? title : "", initial.toStdString()}, chosen))
        chosen = AskUser(owner, QString::fromUtf8(title ? title : ""), initial);
    // A path cut to fit would name another folder: one that does not fit counts as no answer.
    if (!chosen || chosen->empty() || chosen->size() >= kPathBytes)
        return FALSE;
    std::memcpy(path, chosen->c_str(), chosen->size() + 1);
    return TRUE;
}

namespace platform::ostrago
{
void SetScriptedBrowse(std::optional<std::string> folder)
{
    g_script.Set(std::move(folder));
}

void ClearScriptedBrowse()
{
    g_script.Clear();
}

BrowseRequest LastBrowseRequest()
{
    return g_script.Last();
}
} // namespace platform::ostrago
