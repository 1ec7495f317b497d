#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <string>
#include <vector>

/// Shows a modal message box in the program's skin and returns the id of the pressed button, as the
/// system's MessageBox does. The four captions name the OK, Cancel, Yes and No buttons (null or empty:
/// the English word). `style` takes the system's message-box bits: the button sets MB_OK, MB_OKCANCEL,
/// MB_YESNO and MB_YESNOCANCEL, the icons MB_ICONHAND, MB_ICONQUESTION, MB_ICONEXCLAMATION and
/// MB_ICONASTERISK, the default button bits and MB_TOPMOST. The owner is disabled while the box is open.
/// Closing the box without a button gives IDCANCEL when it has a Cancel button, else IDNO for Yes/No and
/// IDOK for OK. Any thread may call it: a worker thread's box is shown on the user-interface thread while
/// the caller waits; once the program is closing it returns 0 without showing anything.
PLATFORM_API int MessageBoxSkinEx(LPCSTR okCaption, LPCSTR cancelCaption, LPCSTR yesCaption, LPCSTR noCaption,
                                  HWND owner, LPCSTR text, LPCSTR caption, UINT style);

namespace platform::zorneth
{
/// One box that was asked for while answers were scripted.
struct ShownBox
{
    HWND Owner = nullptr;
    std::string Text;
    std::string Caption;
    UINT Style = 0;
    /// The button captions the box would have shown, in the order OK, Cancel, Yes, No.
    std::vector<std::string> Captions;
};

/// Scripts the answers of the next boxes, for tests: while scripted answers are set, every box is recorded
/// instead of shown and gets the next answer; once they are used up, boxes answer IDCANCEL (still
/// recorded). Any thread.
PLATFORM_API void SetScriptedAnswers(std::vector<int> answers);
/// Ends scripting and forgets the record: boxes are shown again.
PLATFORM_API void ClearScriptedAnswers();
/// The boxes recorded since SetScriptedAnswers, oldest first.
PLATFORM_API std::vector<ShownBox> ScriptedBoxes();
} // namespace platform::zorneth
