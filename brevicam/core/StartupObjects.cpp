#include "StartupObjects.h"

#include "platform/window/WinUser.h"

UINT g_cfInternalDrag = RegisterClipboardFormatA("Tavisk_QPW_E22F87D5_51AC_4e53_83FF_9E54CC150017");
// The only system family the program runs on.
BYTE g_bIsNT = 1;

int g_bCaptureDlgButtonsRestored = 0;
int g_bSmallDlgButtonsRestored = 0;
int g_bCaptureDlgReenable = 0;
int g_bCaptureSmallDlgReenable = 0;
