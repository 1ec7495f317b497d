#include "platform/commdlg/CommDlg.h"
#include "platform/win/ScriptedAnswer.h"
#include "platform/window/QtHost.h"
#include "platform/window/WinUser.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include <cstring>

namespace
{
platform::ScriptedAnswer<platform::commdlg::OpenFileRequest> g_script;

/// The description and pattern pairs of a filter block; a pair without its pattern ends the block.
std::vector<std::pair<std::string, std::string>> ReadFilters(LPCSTR filter)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    if (!filter)
        return pairs;
    for (const char* at = filter; *at;)
    {
        std::string description = at;
        at += description.size() + 1;
        if (!*at)
            break;
        std::string patterns = at;
        at += patterns.size() + 1;
        pairs.emplace_back(std::move(description), std::move(patterns));
    }
    return pairs;
}

/// "WAV File (*.wav)" for QFileDialog, from a description and its ";"-separated patterns.
QString QtFilter(const std::pair<std::string, std::string>& filter)
{
    QString patterns = QString::fromStdString(filter.second);
    patterns.replace(';', ' ');
    return QString::fromStdString(filter.first) + " (" + patterns + ")";
}

std::optional<std::string> AskUser(const OPENFILENAMEA& ofn,
                                   const std::vector<std::pair<std::string, std::string>>& filters)
{
    QStringList names;
    for (const auto& filter : filters)
        names << QtFilter(filter);
    QFileDialog dialog(ofn.hwndOwner ? platform::window::HostWidgetOf(ofn.hwndOwner) : nullptr,
                       QString::fromUtf8(ofn.lpstrTitle ? ofn.lpstrTitle : ""),
                       QString::fromUtf8(ofn.lpstrInitialDir ? ofn.lpstrInitialDir : ""));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode((ofn.Flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setNameFilters(names);
    const DWORD index = ofn.nFilterIndex ? ofn.nFilterIndex : 1;
    if (index <= static_cast<DWORD>(names.size()))
        dialog.selectNameFilter(names[static_cast<int>(index) - 1]);
    return platform::window::RunFileDialog(dialog, ofn.hwndOwner);
}
} // namespace

BOOL GetOpenFileNameA(LPOPENFILENAMEA ofn)
{
    if (!ofn || !ofn->lpstrFile || ofn->nMaxFile == 0)
        return FALSE;
    const auto filters = ReadFilters(ofn->lpstrFilter);
    std::optional<std::string> chosen;
    if (!g_script.Take({ofn->hwndOwner, filters, ofn->nFilterIndex, ofn->Flags,
                        ofn->lpstrInitialDir ? ofn->lpstrInitialDir : ""},
                       chosen))
        chosen = AskUser(*ofn, filters);
    // A path cut to fit would name another file: one that does not fit counts as no answer.
    if (!chosen || chosen->empty() || chosen->size() >= ofn->nMaxFile)
        return FALSE;
    std::memcpy(ofn->lpstrFile, chosen->c_str(), chosen->size() + 1);
    const auto slash = chosen->rfind('/');
    const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    const auto dot = chosen->rfind('.');
    ofn->nFileOffset = static_cast<WORD>(nameAt);
    ofn->nFileExtension =
        static_cast<WORD>(dot == std::string::npos || dot < nameAt ? chosen->size() : dot + 1);
    return TRUE;
}

namespace platform::commdlg
{
void SetScriptedOpenFile(std::optional<std::string> path)
{
    g_script.Set(std::move(path));
}

void ClearScriptedOpenFile()
{
    g_script.Clear();
}

OpenFileRequest LastOpenFileRequest()
{
    return g_script.Last();
}
} // namespace platform::commdlg
