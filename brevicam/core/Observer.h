#pragma once

class CSubject;

/// Receives the notifications of the subjects it is attached to, synchronously on the notifying thread.
class CObserver
{
public:
    virtual ~CObserver() = default;
    /// `subject` is the notifying subject; the observer reads the state from it.
    virtual void Update(CSubject* subject) = 0;
};
