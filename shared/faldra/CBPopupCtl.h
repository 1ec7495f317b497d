#pragma once

#include "platform/commctrl2/ListBox.h"
#include "shared/faldra/Export.h"

namespace faldra
{
/// The list operations of a combo box's drop-down list, as the skinned combo box reaches its popup.
class FALDRA_API CCBPopupCtl
{
public:
    CCBPopupCtl() = default;
    CCBPopupCtl(const CCBPopupCtl&) {}
    CCBPopupCtl& operator=(const CCBPopupCtl&) { return *this; }
    virtual ~CCBPopupCtl() = default;

    virtual int InitStorage(int items, UINT bytes) = 0;
    virtual int GetCount() const = 0;
    virtual int GetHorizontalExtent() const = 0;
    virtual DWORD GetItemData(int index) const = 0;
    virtual void* GetItemDataPtr(int index) const = 0;
    virtual int GetItemHeight(int index) const = 0;
    virtual int GetItemRect(int index, RECT* rect) const = 0;
    virtual LCID GetLocale() const = 0;
    virtual int GetSel(int index) const = 0;
    virtual void GetText(int index, CString& text) const = 0;
    virtual int GetText(int index, char* buffer) const = 0;
    virtual int GetTextLen(int index) const = 0;
    virtual int GetTopIndex() const = 0;
    virtual void SetHorizontalExtent(int extent) = 0;
    virtual int SetItemData(int index, DWORD data) = 0;
    virtual int SetItemDataPtr(int index, void* data) = 0;
    virtual int SetItemHeight(int index, UINT height) = 0;
    virtual LCID SetLocale(LCID locale) = 0;
    virtual int SetTopIndex(int index) = 0;
    virtual int GetCurSel() const = 0;
    virtual int SetCurSel(int index) = 0;
    virtual int AddString(const char* text) = 0;
    virtual int DeleteString(UINT index) = 0;
    virtual int Dir(UINT attributes, const char* pattern) = 0;
    virtual int FindString(int start, const char* text) const = 0;
    virtual int FindStringExact(int start, const char* text) const = 0;
    virtual int InsertString(int index, const char* text) = 0;
    virtual void ResetContent() = 0;
    virtual int SelectString(int start, const char* text) = 0;
    virtual void Destroy() = 0;
};
} // namespace faldra
