// The file and folder dialogs of the layer's families, and Qt's dialogs in general, run as modal windows of
// ours: in our message loop, not in a Qt loop of their own.

#include "platform/win/Kernel.h"
#include "platform/window/QtHost.h"
#include "platform/window/WinUser.h"

#include <QFileDialog>

namespace platform::window
{
int RunDialogInMessageLoop(QDialog& dialog)
{
    bool done = false;
    int result = QDialog::Rejected;
    const DWORD thread = ::GetCurrentThreadId();
    const QMetaObject::Connection finished = QObject::connect(&dialog, &QDialog::finished,
                                                              [&](int value)
                                                              {
                                                                  done = true;
                                                                  result = value;
                                                                  // Wakes the loop below.
                                                                  ::PostThreadMessage(thread, WM_NULL, 0, 0);
                                                              });
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.show();
    while (!done)
    {
        MSG msg;
        const BOOL got = ::GetMessage(&msg, nullptr, 0, 0);
        if (got == 0)
        {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            dialog.reject();
            break;
        }
        if (got < 0)
            break;
        ::TranslateMessage(&msg);
        ::DispatchMessage(&msg);
    }
    QObject::disconnect(finished);
    return result;
}

std::optional<std::string> RunFileDialog(QFileDialog& dialog, HWND owner)
{
    // The desktop's own dialog would run outside our modal loop and window layer.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    const bool disableOwner = owner && ::IsWindowEnabled(owner);
    if (disableOwner)
        ::EnableWindow(owner, FALSE);
    const int result = RunDialogInMessageLoop(dialog);
    if (disableOwner && ::IsWindow(owner))
        ::EnableWindow(owner, TRUE);
    if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().front().toStdString();
}
} // namespace platform::window
