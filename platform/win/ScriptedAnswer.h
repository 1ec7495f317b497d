#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace platform
{
/// The test hook of a dialog that asks the user for a path: while set, the dialog is not shown, its
/// request is recorded and the scripted answer (a path, or none as if cancelled) is taken instead. Any
/// thread.
template <class Request> class ScriptedAnswer
{
public:
    void Set(std::optional<std::string> answer)
    {
        std::lock_guard lock(m_lock);
        m_scripted = true;
        m_answer = std::move(answer);
        m_request = {};
    }

    void Clear()
    {
        std::lock_guard lock(m_lock);
        m_scripted = false;
        m_answer.reset();
        m_request = {};
    }

    Request Last() const
    {
        std::lock_guard lock(m_lock);
        return m_request;
    }

    /// Whether an answer is scripted; if so records `request` and puts the answer in `answer`.
    bool Take(Request request, std::optional<std::string>& answer)
    {
        std::lock_guard lock(m_lock);
        if (!m_scripted)
            return false;
        m_request = std::move(request);
        answer = m_answer;
        return true;
    }

private:
    mutable std::mutex m_lock;
    bool m_scripted = false;
    std::optional<std::string> m_answer;
    Request m_request{};
};
} // namespace platform
