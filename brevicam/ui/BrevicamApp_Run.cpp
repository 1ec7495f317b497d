// The part of the start-up that runs the program: the capture controller and the main dialog.

#include "BrevicamApp.h"
#include "BrevicamDlg.h"

#include "brevicam/capture/CaptureController.h"
#include "brevicam/core/Params.h"
#include "brevicam/core/SkinMessageBox.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/window/Extras.h"
#include "resources/brevicam/resource.h"

void CBrevicamApp::RunMainDialog()
{
    CCaptureController controller;
    controller.m_graph.DetectWebcamModel();
    g_params.Save();
    CBrevicamDlg dialog(&controller);
    m_pMainWnd = &dialog;
    // However the run ends, the application never names a dialog that is gone.
    struct MainWindowReset
    {
        CWnd*& mainWindow;
        ~MainWindowReset() { mainWindow = nullptr; }
    } reset{m_pMainWnd};
    if ((isWindowsVista() || isWindows7()) && !CParams::IsUserAdmin())
        SkinMessageBoxId(nullptr, IDS_NOT_ADMINISTRATOR, CParams::GetAppTitle(), MB_ICONEXCLAMATION);
    platform::window::WatchSessionAndPower();
    dialog.DoModal();
}
