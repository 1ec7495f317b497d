#include "Controls/KitButton.h"

void ReadKitButtonStyle(DWORD style, UINT* align, int* kind)
{
    if (style & BS_LEFT)
        *align = DT_LEFT;
    else if (style & BS_RIGHT)
        *align = DT_RIGHT;
    else
        *align = DT_CENTER;
    if ((style & 3) == 3)
        *kind = 2;
    else if ((style & 9) == 9)
        *kind = 4;
    else
        *kind = 0;
}

bool PushedFollowsPointer(CWnd* button, CPoint screenPoint)
{
    const bool over = WindowFromPoint(screenPoint) == button->m_hWnd;
    const bool pushed = (button->SendMessage(BM_GETSTATE) & BST_PUSHED) != 0;
    if (over == pushed)
        return false;
    button->SendMessage(BM_SETSTATE, over);
    return true;
}
