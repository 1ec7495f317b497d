#include "Controls/RadioGroup.h"

#include "Controls/GdipButton.h"
#include "Controls/xSkinButton.h"

namespace
{
bool IsKitButton(HWND hwnd)
{
    CWnd* object = CWnd::FromHandlePermanent(hwnd);
    return dynamic_cast<CGdipButton*>(object) != nullptr || dynamic_cast<CxSkinButton*>(object) != nullptr;
}
} // namespace

void UncheckRadioGroup(CWnd* button)
{
    CWnd* parent = button ? button->GetParent() : nullptr;
    if (!parent)
        return;
    HWND self = button->GetSafeHwnd();
    for (HWND h = ::GetNextDlgGroupItem(*parent, self, FALSE); h && h != self;
         h = ::GetNextDlgGroupItem(*parent, h, FALSE))
        if (IsKitButton(h))
            ::SendMessage(h, WM_KIT_RADIO_UNCHECK, 0, 0);
}
