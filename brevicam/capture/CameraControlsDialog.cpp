#include "CameraControlsDialog.h"

#include "platform/com/ComPtr.h"
#include "platform/window/WinUser.h"

#include <algorithm>
#include <string>
#include <vector>

using platform::com::ComPtr;

namespace
{
constexpr int kFirstEditId = 100;
constexpr int kFirstAutoId = 200;
constexpr short kRowHeight = 16;
constexpr short kWidth = 240;

const char* const kControlNames[] = {"Brightness", "Contrast",      "Hue",
                                     "Saturation", "Sharpness",     "Gamma",
                                     "Colour",     "White balance", "Backlight compensation",
                                     "Gain"};

struct ControlRow
{
    long property = 0;
    long min = 0;
    long max = 0;
    long step = 1;
    long value = 0;
    bool hasAuto = false;
    bool automatic = false;
};

struct DialogState
{
    ComPtr<IAMVideoProcAmp> controls;
    std::vector<ControlRow> rows;
    HWND window = nullptr;
};

DialogState* g_open = nullptr;

/// Dialog templates in the resource compiler's layout, with ASCII texts.
class TemplateWriter
{
public:
    void Word(WORD value)
    {
        m_bytes.push_back(static_cast<BYTE>(value & 0xFF));
        m_bytes.push_back(static_cast<BYTE>(value >> 8));
    }
    void Dword(DWORD value)
    {
        Word(static_cast<WORD>(value & 0xFFFF));
        Word(static_cast<WORD>(value >> 16));
    }
    void Text(const std::string& text)
    {
        for (unsigned char c : text)
            Word(c);
        Word(0);
    }
    void Align()
    {
        while (m_bytes.size() % 4)
            m_bytes.push_back(0);
    }
    void Item(WORD classOrdinal, int id, DWORD style, short x, short y, short cx, short cy,
              const std::string& text)
    {
        Align();
        Dword(style | WS_CHILD | WS_VISIBLE);
        Dword(0);
        for (short v : {x, y, cx, cy})
            Word(static_cast<WORD>(v));
        Word(static_cast<WORD>(id));
        Word(0xFFFF);
        Word(classOrdinal);
        Text(text);
        Word(0);
    }
    std::vector<BYTE>& Bytes() { return m_bytes; }

private:
    std::vector<BYTE> m_bytes;
};

constexpr WORD kButton = 0x80;
constexpr WORD kEdit = 0x81;
constexpr WORD kStatic = 0x82;

std::vector<BYTE> BuildTemplate(const std::vector<ControlRow>& rows)
{
    const short buttonsTop = static_cast<short>(7 + rows.size() * kRowHeight + 4);
    int items = 2;
    for (const ControlRow& row : rows)
        items += row.hasAuto ? 4 : 3;
    TemplateWriter t;
    // Centred over its owner; the template's origin would put it on the owner's top-left corner.
    t.Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER);
    t.Dword(0);
    t.Word(static_cast<WORD>(items));
    t.Word(0);
    t.Word(0);
    t.Word(kWidth);
    t.Word(static_cast<WORD>(buttonsTop + 21));
    t.Word(0);
    t.Word(0);
    t.Text("Camera");
    t.Word(8);
    t.Text("MS Shell Dlg");
    short y = 7;
    for (const ControlRow& row : rows)
    {
        const int index = static_cast<int>(row.property);
        t.Item(kStatic, -1, SS_LEFT, 7, static_cast<short>(y + 2), 95, 10, kControlNames[index]);
        t.Item(kEdit, kFirstEditId + index, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 104, y, 40, 12, "");
        t.Item(kStatic, -1, SS_LEFT, 148, static_cast<short>(y + 2), 50, 10,
               std::to_string(row.min) + " to " + std::to_string(row.max));
        if (row.hasAuto)
            t.Item(kButton, kFirstAutoId + index, BS_AUTOCHECKBOX | WS_TABSTOP, 200, y, 35, 12, "Auto");
        y = static_cast<short>(y + kRowHeight);
    }
    t.Item(kButton, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, static_cast<short>(kWidth - 114), buttonsTop, 50, 14,
           "OK");
    t.Item(kButton, IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, static_cast<short>(kWidth - 57), buttonsTop, 50, 14,
           "Cancel");
    return std::move(t.Bytes());
}

/// The value kept inside the control's range and on one of its steps.
long Fit(const ControlRow& row, long value)
{
    value = std::clamp(value, row.min, row.max);
    const long step = row.step > 0 ? row.step : 1;
    return row.min + (value - row.min) / step * step;
}

void Apply(DialogState& state)
{
    for (ControlRow& row : state.rows)
    {
        const int index = static_cast<int>(row.property);
        BOOL read = FALSE;
        const long value = static_cast<int>(GetDlgItemInt(state.window, kFirstEditId + index, &read, TRUE));
        const bool automatic =
            row.hasAuto && IsDlgButtonChecked(state.window, kFirstAutoId + index) == BST_CHECKED;
        const long wanted = read ? Fit(row, value) : row.value;
        if (automatic != row.automatic || wanted != row.value)
            state.controls->Set(row.property, wanted,
                                automatic ? VideoProcAmp_Flags_Auto : VideoProcAmp_Flags_Manual);
    }
}

INT_PTR ControlsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    DialogState* state = g_open;
    if (!state)
        return FALSE;
    switch (message)
    {
    case WM_INITDIALOG:
        state->window = dialog;
        for (const ControlRow& row : state->rows)
        {
            const int index = static_cast<int>(row.property);
            SetDlgItemInt(dialog, kFirstEditId + index, static_cast<UINT>(row.value), TRUE);
            if (row.hasAuto)
                CheckDlgButton(dialog, kFirstAutoId + index, row.automatic ? BST_CHECKED : BST_UNCHECKED);
        }
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
        {
            Apply(*state);
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL)
        {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
} // namespace

bool ShowCameraControls(HWND owner, IBaseFilter* filter)
{
    if (!filter || g_open)
        return false;
    DialogState state;
    filter->QueryInterface(IID_IAMVideoProcAmp, state.controls.PutVoid());
    if (!state.controls)
        return false;
    for (long property = VideoProcAmp_Brightness; property <= VideoProcAmp_Gain; ++property)
    {
        ControlRow row;
        row.property = property;
        long defaultValue = 0;
        long caps = 0;
        if (FAILED(state.controls->GetRange(property, &row.min, &row.max, &row.step, &defaultValue, &caps)))
            continue;
        long flags = 0;
        if (FAILED(state.controls->Get(property, &row.value, &flags)))
            continue;
        row.hasAuto = (caps & VideoProcAmp_Flags_Auto) != 0;
        row.automatic = (flags & VideoProcAmp_Flags_Auto) != 0;
        state.rows.push_back(row);
    }
    if (state.rows.empty())
        return false;
    const std::vector<BYTE> bytes = BuildTemplate(state.rows);
    g_open = &state;
    const INT_PTR result = DialogBoxIndirectParam(nullptr, reinterpret_cast<LPCDLGTEMPLATE>(bytes.data()),
                                                  owner, &ControlsDialogProc, 0);
    g_open = nullptr;
    return result != -1;
}

HWND GetOpenCameraControls()
{
    return g_open ? g_open->window : nullptr;
}
