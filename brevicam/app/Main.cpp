// The brevicam program: the application object theApp runs everything from its InitInstance.

#include "brevicam/ui/BrevicamApp.h"
#include "platform/dshow/Presentation.h"
#include "platform/dshow/VirtualCamera.h"
#include "platform/window/WinApp.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    // Docked windows need absolute positions, which Wayland does not give: run through XWayland unless
    // the user chose a platform.
    if (std::getenv("WAYLAND_DISPLAY") && std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    platform::VirtualCamera::EnableFromEnvironment();
    std::string missing;
    if (!platform::dshow::CheckElementFactories(&missing))
        std::fprintf(stderr,
                     "brevicam: the GStreamer element \"%s\" is not installed; the webcam cannot be used.\n",
                     missing.c_str());
    // The application object lives in the windows' library; naming it here links it into the program.
    CWinApp* const app = &theApp;
    return app == AfxGetApp() ? AfxWinMain(argc, argv) : EXIT_FAILURE;
}
