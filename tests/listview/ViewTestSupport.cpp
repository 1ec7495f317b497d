#include "ViewTestSupport.h"

#include "platform/listview/ListView.h"
#include "platform/listview/TreeView.h"

namespace view_test
{
void Parent::Record(NMHDR* header)
{
    Note note{header->code, -1, 0, 0, 0, 0};
    switch (header->code)
    {
    case LVN_ITEMCHANGING:
    case LVN_ITEMCHANGED:
    case LVN_INSERTITEM:
    case LVN_DELETEITEM:
    case LVN_DELETEALLITEMS:
    case LVN_BEGINDRAG:
    case LVN_BEGINRDRAG:
    {
        auto* nm = reinterpret_cast<NMLISTVIEW*>(header);
        note.item = nm->iItem;
        note.newState = nm->uNewState;
        note.oldState = nm->uOldState;
        note.lParam = nm->lParam;
        break;
    }
    case NM_CLICK:
    case NM_DBLCLK:
    case NM_RCLICK:
    case LVN_ITEMACTIVATE:
        // Only the list view sends them with the item; the tree view's are plain headers.
        if (header->idFrom == kListId)
            note.item = reinterpret_cast<NMITEMACTIVATE*>(header)->iItem;
        break;
    case LVN_GETDISPINFOA:
        note.item = reinterpret_cast<NMLVDISPINFOA*>(header)->item.iItem;
        break;
    case LVN_GETINFOTIPA:
        note.item = reinterpret_cast<NMLVGETINFOTIPA*>(header)->iItem;
        break;
    case LVN_KEYDOWN:
        note.item = reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey;
        break;
    case TVN_SELCHANGINGA:
    case TVN_SELCHANGEDA:
    case TVN_ITEMEXPANDINGA:
    case TVN_ITEMEXPANDEDA:
    case TVN_BEGINDRAGA:
    {
        auto* nm = reinterpret_cast<NMTREEVIEWA*>(header);
        note.lParam = nm->itemNew.lParam;
        note.action = nm->action;
        break;
    }
    case TVN_DELETEITEMA:
        note.lParam = reinterpret_cast<NMTREEVIEWA*>(header)->itemOld.lParam;
        break;
    default:
        break;
    }
    notes.push_back(note);
}
} // namespace view_test
