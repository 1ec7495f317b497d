#include "platform/ostrago/BrowsePath.h"
#include "platform/window/QtHost.h"
#include "platform/window/WinUser.h"

#include <QDir>
#include <QFileDialog>

#include <cstring>
#include <mutex>

namespace
{
std::mutex g_lock;
bool g_scripted = false;
std::optional<std::string> g_answer;
platform::ostrago::BrowseRequest g_request;

constexpr std::size_t kPathBytes = MAX_PATH;

std::optional<std::string> AskUser(HWND owner, const QString& title, const QString& initial)
{
    QFileDialog dialog(owner ? platform::window::HostWidgetOf(owner) : nullptr, title,
                       initial.isEmpty() ? QDir::homePath() : initial);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    // The desktop's own dialog would run outside our modal loop and window layer.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    const bool disableOwner = owner && ::IsWindowEnabled(owner);
    if (disableOwner)
        ::EnableWindow(owner, FALSE);
    const int result = dialog.exec();
    if (disableOwner && ::IsWindow(owner))
        ::EnableWindow(owner, TRUE);
    if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}
} // namespace

BOOL GetBrowsePath(HWND owner, const char* title, char* path, const wchar_t* initialFolder)
{
    if (!path)
        return FALSE;
    path[0] = '\0';
    const QString initial = initialFolder ? QString::fromWCharArray(initialFolder) : QString();
    std::optional<std::string> chosen;
    bool scripted = false;
    {
        std::lock_guard lock(g_lock);
        if (g_scripted)
        {
            scripted = true;
            g_request = {owner, title ? title : "", initial.toStdString()};
            chosen = g_answer;
        }
    }
    if (!scripted)
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
    std::lock_guard lock(g_lock);
    g_scripted = true;
    g_answer = std::move(folder);
    g_request = {};
}

void ClearScriptedBrowse()
{
    std::lock_guard lock(g_lock);
    g_scripted = false;
    g_answer.reset();
    g_request = {};
}

BrowseRequest LastBrowseRequest()
{
    std::lock_guard lock(g_lock);
    return g_request;
}
} // namespace platform::ostrago
