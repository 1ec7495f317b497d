#pragma once

#include "platform/com/Unknown.h"

#include <utility>

namespace platform::com
{
/// Holds one reference to an interface and releases it on destruction.
template <class T> class ComPtr
{
public:
    ComPtr() = default;
    /// Takes a new reference to `p`.
    ComPtr(T* p) : m_p(p)
    {
        if (m_p)
            m_p->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.m_p) {}
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ~ComPtr() { Reset(); }
    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(m_p, other.m_p);
        return *this;
    }

    /// Takes over a reference the caller already owns.
    static ComPtr Adopt(T* p)
    {
        ComPtr result;
        result.m_p = p;
        return result;
    }

    void Reset()
    {
        if (T* p = std::exchange(m_p, nullptr))
            p->Release();
    }
    /// Releases what is held and returns the slot for a function that hands out a new reference.
    T** Put()
    {
        Reset();
        return &m_p;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    /// Gives up the reference without releasing it.
    T* Detach() { return std::exchange(m_p, nullptr); }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    /// QueryInterface for another interface; an empty pointer when the object does not have it.
    template <class U> ComPtr<U> As(REFIID iid) const
    {
        ComPtr<U> result;
        if (m_p)
            m_p->QueryInterface(iid, result.PutVoid());
        return result;
    }

private:
    T* m_p = nullptr;
};
} // namespace platform::com
