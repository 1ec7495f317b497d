#pragma once

#include "platform/com/Unknown.h"

#include <atomic>

namespace platform::com
{
/// Reference counting and QueryInterface of an object made with new: it answers IID_IUnknown and each of
/// `Ids` with its `Primary` interface, starts with one reference (the creator's) and deletes itself with
/// the last Release.
template <class Primary, const IID&... Ids> class ComObject : public Primary
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualGUID(iid, IID_IUnknown) || (IsEqualGUID(iid, Ids) || ...))
        {
            *object = static_cast<Primary*>(this);
            this->AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~ComObject() = default;

private:
    std::atomic<ULONG> m_refs{1};
};
} // namespace platform::com
