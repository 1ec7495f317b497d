#pragma once

#include "platform/win/CString.h"
#include "platform/win/WinTypes.h"

/// The installation's language code: the value "Language" of the current user's key
/// "SOFTWARE\Tavisk\" followed by the program's folder, three letters in upper case; "ENU" when none is
/// stored. `code` holds 4 bytes.
void GetInstallationLanguage(char code[4]);

/// Whether the installation's language is Arabic ("ARA", in any letter case).
bool IsArabicLanguage();

/// The text of the language table's row `key` (its English id) in the installation's language, from the
/// string table of `module` (null: the current resource module). A language the table does not know, or
/// a text it lacks in that language, gives the English text. False with `text` emptied when no row has
/// that key.
bool LoadLanguageString(int key, CString& text, HINSTANCE module);
