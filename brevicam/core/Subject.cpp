#include "Subject.h"

#include "Observer.h"

#include <algorithm>

CSubject::~CSubject() = default;

void CSubject::Attach(CObserver* observer)
{
    m_observers.push_back({observer, m_nextSerial++});
    Notify();
}

void CSubject::Detach(CObserver* observer)
{
    auto it = std::find_if(m_observers.begin(), m_observers.end(),
                           [observer](const Entry& e) { return e.observer && e.observer == observer; });
    if (it == m_observers.end())
        return;
    // While a notification walks the list, entries keep their places and only lose their observer.
    if (m_notifyDepth > 0)
        it->observer = nullptr;
    else
        m_observers.erase(it);
}

void CSubject::Notify()
{
    struct DepthGuard
    {
        CSubject& s;
        explicit DepthGuard(CSubject& subject) : s(subject) { ++s.m_notifyDepth; }
        ~DepthGuard()
        {
            if (--s.m_notifyDepth == 0)
                s.Compact();
        }
    } guard(*this);

    // Observers attached after this notification began were already called by their own attachment.
    const std::uint64_t limit = m_nextSerial;
    for (std::size_t i = 0; i < m_observers.size(); ++i)
    {
        const Entry entry = m_observers[i];
        if (entry.observer && entry.serial < limit)
            entry.observer->Update(this);
    }
}

void CSubject::Compact()
{
    std::erase_if(m_observers, [](const Entry& e) { return e.observer == nullptr; });
}
