#pragma once

#include "brevicam/core/Subject.h"
#include "platform/dshow/DShow.h"
#include "platform/win/CString.h"

#include <string>
#include <vector>

/// One list of capture devices of one kind (video or audio) with a selection. The list never notifies by
/// itself: whoever enumerates again calls Notify. The selection is one signed byte (-1 none), so a list
/// addresses at most 128 devices; an index beyond the end may be stored and then reads as none.
/// User-interface thread only.
class CDevicesSubj : public CSubject
{
public:
    CDevicesSubj();
    ~CDevicesSubj() override;

    /// Empties the lists (releasing the monikers) and sets the selection to none; the selected name stays.
    void Clear();
    /// Appends a device; the list takes a reference to the moniker. Ids are empty for microphones.
    void Add(const std::wstring& name, IMoniker* moniker, const CString& productId = CString(),
             const CString& vendorId = CString());
    /// Stores the low 8 bits of `index`; a stored index inside the list also becomes the selected name.
    void Select(int index);
    /// Selects the first device named exactly `name`; nothing changes when there is none.
    void SelectByName(const CString& name);
    /// The index of the first device named exactly `name`, -1 when there is none.
    int IndexOf(const CString& name) const;

    CString GetSelectedName() const;
    /// The selected device's moniker with a new reference the caller releases; null for none.
    IMoniker* GetSelectedMoniker() const;
    CString GetSelectedProductId() const;
    CString GetSelectedVendorId() const;
    /// The name last selected through Select or SelectByName.
    const CString& GetLastSelectedName() const { return m_selectedName; }

    int GetCount() const { return static_cast<int>(m_names.size()); }
    /// The stored selection widened with its sign.
    int GetSelection() const { return m_selection; }
    void SetSelectionNone() { m_selection = -1; }
    /// Whether the stored selection names a device of the list.
    bool HasSelection() const { return m_selection >= 0 && m_selection < GetCount(); }
    CString GetName(int index) const;
    IMoniker* GetMoniker(int index) const;
    CString GetProductId(int index) const;
    CString GetVendorId(int index) const;

private:
    std::vector<std::wstring> m_names;
    std::vector<CString> m_narrowNames;
    std::vector<IMoniker*> m_monikers;
    std::vector<CString> m_productIds;
    std::vector<CString> m_vendorIds;
    signed char m_selection;
    CString m_selectedName;
};
