#pragma once

#include "platform/win/WinTypes.h"

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

namespace transcoder
{
/// One run of an external program with its standard input on /dev/null and its standard output and error
/// in one pipe that only this object reads. The program leads a process group of its own, so that ending
/// it also ends anything it started. Used from one thread at a time.
class ConverterProcess
{
public:
    enum class ReadStatus
    {
        Data,   ///< text was appended
        NoData, ///< nothing to read just now
        End     ///< the program and everything it started closed their output
    };

    ConverterProcess() = default;
    /// Kills a program that still runs and reaps it; closes the pipe.
    ~ConverterProcess();
    ConverterProcess(const ConverterProcess&) = delete;
    ConverterProcess& operator=(const ConverterProcess&) = delete;

    /// Starts arguments[0] (a path; no search) with the arguments as they are: no shell sees them.
    /// 0 on success, otherwise the errno of the failure.
    int Start(const std::vector<std::string>& arguments);

    /// Waits at most timeoutMs until there is output to read or the output has ended.
    void WaitForOutput(int timeoutMs) const;
    /// Waits at most timeoutMs until the output has ended (its writers are gone), whether or not text is
    /// still waiting in the pipe; true when it has.
    bool WaitForOutputEnd(int timeoutMs) const;
    /// Appends what the pipe holds, at most maxBytes, without blocking.
    ReadStatus Read(std::string& text, std::size_t maxBytes);
    bool OutputEnded() const { return m_outputEnded; }

    /// True once the program has ended (it stays unreaped until Finish); its exit code then goes to
    /// exitCode: the code it exited with, or 128 plus the signal that ended it.
    bool HasEnded(DWORD& exitCode);
    /// Kills what is left of the process group and reaps the program; waits only for the kill to land.
    void Finish();

    pid_t GetPid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_output = -1;
    bool m_outputEnded = false;
    bool m_reaped = false;
};
} // namespace transcoder
