#pragma once

#include "platform/win/CString.h"
#include "platform/win/WinTypes.h"

/// The program's message boxes: skinned boxes with the button captions of the user's language, and the
/// plain box of a failed start. Texts are loaded from AppResourceInstance each time; a missing string gives
/// an empty text and the box is shown all the same. Results are the button ids (IDYES 6, IDNO 7,
/// IDCANCEL 2...).

/// String `id` with its first "%s" replaced by `text`. The string may come from a language library, so
/// it is never read as a format.
CString LoadStringWithText(UINT id, const char* text);

/// Loads the captions "OK" (319), "Cancel" (135), "&Yes" (340) and "&No" (342) and shows the skinned box.
int SkinMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
/// The text is string `textId`, shown as it is (not formatted).
int SkinMessageBoxId(HWND owner, UINT textId, LPCSTR caption, UINT style);
/// Text and caption are strings `textId` and `captionId`.
int SkinMessageBoxIds(HWND owner, UINT textId, UINT captionId, UINT style);

/// The plain system box of a failed start: string 21, a line break and the system's text for `code`
/// (at most 299 characters after the line break), captioned with string 20, one OK button, no owner.
/// `text`, a caller's description of the failure, is not shown: the box names the failure by its code.
int ShowStartupErrorBox(HRESULT code, LPCSTR text = nullptr);

/// The system's sentence for an error code (a system error number or an HRESULT of one) up to its first
/// carriage return, or "Unknown error".
CString GetSystemErrorText(DWORD code);
