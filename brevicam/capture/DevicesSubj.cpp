#include "DevicesSubj.h"

CDevicesSubj::CDevicesSubj() : m_selection(-1) {}

CDevicesSubj::~CDevicesSubj()
{
    Clear();
}

void CDevicesSubj::Clear()
{
    for (IMoniker* moniker : m_monikers)
        if (moniker)
            moniker->Release();
    m_names.clear();
    m_narrowNames.clear();
    m_monikers.clear();
    m_productIds.clear();
    m_vendorIds.clear();
    m_selection = -1;
}

void CDevicesSubj::Add(const std::wstring& name, IMoniker* moniker, const CString& productId,
                       const CString& vendorId)
{
    if (moniker)
        moniker->AddRef();
    m_names.push_back(name);
    m_narrowNames.emplace_back(platform::WideToUtf8(name));
    m_monikers.push_back(moniker);
    if (!productId.IsEmpty() || !vendorId.IsEmpty())
    {
        m_productIds.push_back(productId);
        m_vendorIds.push_back(vendorId);
    }
}

void CDevicesSubj::Select(int index)
{
    m_selection = static_cast<signed char>(index & 0xFF);
    if (HasSelection())
        m_selectedName = m_narrowNames[static_cast<size_t>(m_selection)];
}

void CDevicesSubj::SelectByName(const CString& name)
{
    int index = IndexOf(name);
    if (index >= 0)
        Select(index);
}

int CDevicesSubj::IndexOf(const CString& name) const
{
    for (size_t i = 0; i < m_narrowNames.size(); ++i)
        if (m_narrowNames[i] == name)
            return static_cast<int>(i);
    return -1;
}

CString CDevicesSubj::GetSelectedName() const
{
    return HasSelection() ? m_narrowNames[static_cast<size_t>(m_selection)] : CString();
}

IMoniker* CDevicesSubj::GetSelectedMoniker() const
{
    if (!HasSelection())
        return nullptr;
    IMoniker* moniker = m_monikers[static_cast<size_t>(m_selection)];
    if (moniker)
        moniker->AddRef();
    return moniker;
}

CString CDevicesSubj::GetSelectedProductId() const
{
    return HasSelection() ? GetProductId(m_selection) : CString();
}

CString CDevicesSubj::GetSelectedVendorId() const
{
    return HasSelection() ? GetVendorId(m_selection) : CString();
}

CString CDevicesSubj::GetName(int index) const
{
    return index >= 0 && index < GetCount() ? m_narrowNames[static_cast<size_t>(index)] : CString();
}

IMoniker* CDevicesSubj::GetMoniker(int index) const
{
    return index >= 0 && index < GetCount() ? m_monikers[static_cast<size_t>(index)] : nullptr;
}

CString CDevicesSubj::GetProductId(int index) const
{
    return index >= 0 && static_cast<size_t>(index) < m_productIds.size()
               ? m_productIds[static_cast<size_t>(index)]
               : CString();
}

CString CDevicesSubj::GetVendorId(int index) const
{
    return index >= 0 && static_cast<size_t>(index) < m_vendorIds.size()
               ? m_vendorIds[static_cast<size_t>(index)]
               : CString();
}
