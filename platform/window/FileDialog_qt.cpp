// The file and folder dialogs of the layer's families, run as modal windows of ours.

#include "platform/window/QtHost.h"
#include "platform/window/WinUser.h"

#include <QFileDialog>

namespace platform::window
{
std::optional<std::string> RunFileDialog(QFileDialog& dialog, HWND owner)
{
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
} // namespace platform::window
