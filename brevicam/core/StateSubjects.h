#pragma once

#include "brevicam/core/Subject.h"
#include "platform/win/CString.h"

#include <cstring>

/// A subject holding one state value; every SetState notifies, also when the value does not change.
template <typename E> class CBasicStateSubj : public CSubject
{
public:
    explicit CBasicStateSubj(E initial) : m_state(static_cast<int>(initial)) {}

    void SetState(E state)
    {
        m_state = static_cast<int>(state);
        Notify();
    }
    E GetState() const { return static_cast<E>(m_state); }

    /// The state as a 32-bit integer; some callers write it and then call Notify themselves.
    int m_state;
};

/// A state subject that also carries a message of at most 259 bytes.
template <typename E> class CAdvStateSubj : public CBasicStateSubj<E>
{
public:
    static constexpr std::size_t kMessageSize = 260;

    CAdvStateSubj(E initial, const char* message) : CBasicStateSubj<E>(initial) { SetMessage(message); }

    /// Stores the text, cut to 259 bytes at a character boundary, and notifies; the state is unchanged.
    void SetMessage(const char* message)
    {
        platform::CopyTruncated(m_message, kMessageSize, message ? message : "");
        this->Notify();
    }
    const char* GetMessage() const { return m_message; }

private:
    char m_message[kMessageSize] = {};
};
