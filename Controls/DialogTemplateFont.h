#pragma once

#include "platform/window/Afx.h"

/// Re-creates the font of a dialog template at a fixed resolution and lays the dialog and its controls
/// out again with it, so that a dialog keeps its designed pixel layout whatever the display's font size.
/// The previous font comes back with Restore (and on destruction). User-interface thread only.
class CDialogTemplateFont
{
public:
    CDialogTemplateFont() = default;
    CDialogTemplateFont(const CDialogTemplateFont&) = delete;
    CDialogTemplateFont& operator=(const CDialogTemplateFont&) = delete;
    ~CDialogTemplateFont();

    /// Applies the font of RT_DIALOG `templateId` of `module` to `dialog` at `dpi` dots per inch and sizes
    /// the dialog and the template's controls with the font's base units. A template that is missing or
    /// too short for what it declares changes nothing.
    void Apply(HINSTANCE module, HWND dialog, UINT templateId, double dpi);
    /// Gives the dialog and its controls their previous font back (while the window exists) and deletes
    /// the font Apply made.
    void Restore();
    HFONT GetFont() const noexcept { return m_hFont; }

private:
    WORD m_nTemplateId = 0;
    HINSTANCE m_hModule = nullptr;
    HWND m_hDialog = nullptr;
    HFONT m_hFont = nullptr;
    HFONT m_hPreviousFont = nullptr;
};
