#pragma once

#include <cstdint>
#include <vector>

class CObserver;

/// Keeps a list of observers in order of attachment and calls each of them when it notifies. The subject
/// does not own its observers; detaching before an observer goes away is the observer's duty.
/// Observers may attach or detach themselves or others from inside their Update: an observer detached
/// during a notification is not called again, the others are each called once, and one attached
/// during a notification is called by the notification its attachment starts.
class CSubject
{
public:
    CSubject() = default;
    CSubject(const CSubject&) = delete;
    CSubject& operator=(const CSubject&) = delete;
    virtual ~CSubject();

    /// Appends the observer (again, when it is already attached) and notifies every observer at once.
    virtual void Attach(CObserver* observer);
    /// Removes the first entry of the observer; an observer not attached is ignored.
    virtual void Detach(CObserver* observer);
    /// Calls Update(this) on every observer, from the first attached to the last.
    virtual void Notify();

private:
    struct Entry
    {
        CObserver* observer; // null once detached during a notification
        std::uint64_t serial;
    };

    void Compact();

    std::vector<Entry> m_observers;
    std::uint64_t m_nextSerial = 0;
    int m_notifyDepth = 0;
};
