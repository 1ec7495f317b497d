#pragma once

#include "kestavo/ConverterProcess.h"
#include "kestavo/Transcoder.h"
#include "platform/win/Sync.h"
#include "shared/exceptions/Exceptions.h"

#include <cstdint>
#include <list>
#include <set>
#include <string>
#include <string_view>
#include <vector>

/// The job engine of the transcoder library: the instance with its queue and worker, the base job that runs
/// one conversion through the external converter, the converter's launcher, the parsers of its output and
/// the rescaler.
///
/// The converter is the `ffmpeg` program in the library's own folder when there is one, otherwise the first
/// `ffmpeg` on PATH. A converter that writes nothing for 30 seconds is ended; the environment variable
/// KESTAVO_SILENCE_TIMEOUT_MS sets another limit (tests use it).

namespace transcoder
{
/// Arguments of one converter run, the program first. Each file name is one argument, so no name can
/// pass for an option.
using CommandLine = std::vector<std::string>;

/// The converter ended with a failure; the error code is its exit code.
class KESTAVO_API CTranscoderException : public CModuleException
{
public:
    CTranscoderException(const std::string& message, int exitCode)
        : CModuleException(message), m_exitCode(exitCode)
    {
    }
    CTranscoderException(const CTranscoderException& other)
        : CModuleException(std::string(other.what())), m_exitCode(other.GetErrorCode())
    {
    }
    CTranscoderException& operator=(const CTranscoderException&) = default;
    virtual int GetErrorCode() const { return m_exitCode; }

private:
    int m_exitCode;
};

/// A parser state did not find what it looks for in the text so far.
EXCEPTION_RUNTIME_CLASS(CParserException, CModuleException);

/// The converter: the one beside this library, else the first on PATH. When there is none, the path beside
/// the library, so that starting it fails with "file not found".
std::string GetConverterPath();
/// A file name as a converter argument that the converter takes for a local file whatever its text (a
/// leading "-", a protocol-like prefix).
std::string ConverterFileArgument(const std::string& path);
/// How long the converter may stay silent before it is ended, in milliseconds.
DWORD GetSilenceTimeoutMs();
/// The size of a regular file; 0 for a missing file or anything else.
std::uint64_t GetFileSize(const std::string& path);
/// Free bytes on the file system that holds the path, or would hold it (the nearest existing folder above
/// it answers). When that cannot be told, the largest value: unknown never counts as full.
std::uint64_t GetAvailableSpace(const std::string& path);

class CBaseParser;

/// One state of a parser: a function of the parser and its buffered text that returns non-zero to run the
/// next state on the same text at once, 0 to wait for more text.
struct ParserState
{
    int (*function)(CBaseParser& parser, std::string& text) = nullptr;
    friend bool operator==(const ParserState&, const ParserState&) = default;
};

/// A state machine over the converter's output, fed one read at a time.
class CBaseParser
{
public:
    explicit CBaseParser(ParserState initial) : m_state(initial) {}
    virtual ~CBaseParser() = default;
    CBaseParser(const CBaseParser&) = delete;
    CBaseParser& operator=(const CBaseParser&) = delete;

    /// The state that follows the current one; throws CInvalidStateException from an unknown state.
    virtual ParserState GetNextState() = 0;
    virtual const void* GetResult() = 0;

    /// Appends the text of one read (up to a zero byte) and runs the states on it. Afterwards the result
    /// flag is set exactly when the states came to rest without a parser exception; an empty read clears
    /// it. Other exceptions of the states go on.
    void Feed(std::string_view received);

    BOOL HasResult() const { return m_hasResult; }
    void ClearResult() { m_hasResult = FALSE; }
    void Advance() { m_state = GetNextState(); }
    ParserState GetState() const { return m_state; }
    const std::string& GetBufferedText() const { return m_text; }

private:
    BOOL m_hasResult = FALSE;
    ParserState m_state;
    std::string m_text;
};

/// Owns one converter run: the process and the read end of its output. Destroying it ends a converter
/// that still runs.
class CTranscoderLauncher
{
public:
    /// Starts the converter; throws COSResourceException with the system error code when it cannot.
    CTranscoderLauncher(const CommandLine& commandLine, CBaseParser* parser);
    virtual ~CTranscoderLauncher() = default;
    CTranscoderLauncher(const CTranscoderLauncher&) = delete;
    CTranscoderLauncher& operator=(const CTranscoderLauncher&) = delete;

    /// Waits for the converter's next output (at most the silence limit) and feeds it to the parser. With a
    /// halt event that is set, ends the converter (code 995) and throws CUserAbortException; after the
    /// silence limit ends it with code 30 and returns.
    void DoIteration(HANDLE haltEvent);
    /// Waits up to `ms` between iterations; a halt or the end of the converter's output cuts it short.
    void Pause(HANDLE haltEvent, DWORD ms);
    /// STILL_ACTIVE until the converter has ended and its output has been read to the end.
    DWORD GetExitCode();
    /// Ends the converter now; its exit code becomes `exitCode` unless it had ended by itself.
    void Terminate(DWORD exitCode);
    bool OutputEnded() const { return m_process.OutputEnded(); }
    /// The last iteration read as much as one iteration may: more output is probably waiting.
    bool ReadLimitReached() const { return m_readLimitReached; }

private:
    DWORD m_exitCode = STILL_ACTIVE;
    bool m_readLimitReached = false;
    CBaseParser* m_parser;
    ConverterProcess m_process;
};

/// The base of every job: its data, the run loop over one converter run, and the completion test.
class CBaseJob : public IBaseJob
{
public:
    class CQueryParser;
    class CProgressParser;

    CBaseJob() = default;
    CBaseJob(const CBaseJob&) = delete;
    CBaseJob& operator=(const CBaseJob&) = delete;

    void* QueryInterface(REFIID iid) override;

    void SetSource(const char* path) override;
    void SetTarget(const char* path) override;
    const char* GetSource() override;
    const char* GetTarget() override;
    void Run() override;
    void SetHaltEvent(HANDLE event) override;
    HANDLE GetHaltEvent() override;
    DWORD GetExitCode() override;
    BOOL DeleteTarget() override;

    virtual void Prepare();
    virtual CommandLine BuildCommandLine() = 0;
    /// Returns when the conversion succeeded; otherwise deletes the target and throws
    /// CNotEnoughSpaceException (no free space left) or CTranscoderException with the exit code.
    virtual void TestOKRun();
    virtual CBaseParser* CreateProgressParser();
    virtual void UpdateProgress(CBaseParser* parser);

    void Attach(IListener* listener) override;
    void Detach(IListener* listener) override;
    void Notify(const void* data) override;

protected:
    /// The converter and the job's input: the start of every job's command line.
    CommandLine ConverterCommand();

    DWORD m_exitCode = 0;
    HANDLE m_haltEvent = nullptr;
    std::string m_source;
    std::string m_target;
    std::set<IListener*> m_listeners;
};

/// Finds the input's description and its length in the converter's output.
class CBaseJob::CQueryParser : public CBaseParser
{
public:
    CQueryParser();

    static int StreamFinderState(CBaseParser& parser, std::string& text);
    static int InputLengthEvaluatorState(CBaseParser& parser, std::string& text);

    float GetInputLength() const { return m_inputLength; }

protected:
    float m_inputLength = 0.0f;
};

/// Follows the converter's progress lines after the input's length.
class CBaseJob::CProgressParser : public CBaseJob::CQueryParser
{
public:
    ParserState GetNextState() override;
    const void* GetResult() override;

    static int ProgressEvaluatorState(CBaseParser& parser, std::string& text);

private:
    TranscodeProgress m_progress{};
};

/// A job's target frame size and the converter options that fit the source into it.
class CRescaler : public IRescaler, public INonDelegatingGeneric
{
public:
    class CQuerySizeParser;

    explicit CRescaler(CBaseJob* owner) : m_owner(owner) {}

    void* QueryInterface(REFIID iid) override;
    void* NonDelegatingQueryInterface(REFIID iid) override;
    void SetSize(SIZE target) override;
    SIZE GetSize() override;
    void SetPad(BOOL pad) override;
    BOOL GetPad() override;
    void SetEnlarge(BOOL enlarge) override;
    BOOL GetEnlarge() override;

    /// The size and pad options for the source, after asking the converter for its frame size (which obeys
    /// the owner job's halt event: CUserAbortException goes on). Empty when the source keeps its size.
    /// Throws CInvalidArgumentException for an empty source.
    CommandLine GetResizeParams(const std::string& source);
    /// The options for a source of the given size, without asking the converter.
    static CommandLine ComputeResizeParams(SIZE source, SIZE target, BOOL pad, BOOL enlarge);

private:
    SIZE ProbeSourceSize(const std::string& source);

    CBaseJob* m_owner;
    LONG m_width = 1;
    LONG m_height = 1;
    BOOL m_pad = FALSE;
    BOOL m_enlarge = FALSE;
};

/// Finds the frame size in the converter's description of its input.
class CRescaler::CQuerySizeParser : public CBaseJob::CQueryParser
{
public:
    ParserState GetNextState() override;
    const void* GetResult() override;

    static int FrameSizeWHEvaluatorState(CBaseParser& parser, std::string& text);
    static int IdleState(CBaseParser& parser, std::string& text);

private:
    SIZE m_size{0, 0};
};

/// The transcoder instance: a queue of jobs run by one worker thread, with events to the observers.
class CVideoTranscoder : public IVideoTranscoder, public IListener
{
public:
    /// Throws COSResourceException when its events cannot be created.
    CVideoTranscoder();
    ~CVideoTranscoder() override;
    CVideoTranscoder(const CVideoTranscoder&) = delete;
    CVideoTranscoder& operator=(const CVideoTranscoder&) = delete;

    void RegisterCallback(IUIObserver* observer) override;
    void UnregisterCallback(IUIObserver* observer) override;
    IBaseJob* CreateJob(REFGUID jobType) override;
    IBaseJob* PopJob() override;
    void ClearJobs() override;
    HANDLE RunJobQueue() override;
    void Halt() override;
    int GetJobCount() override;
    BOOL IsInterJobSyncSet() override;
    void SetInterJobSync(HANDLE event) override;
    void SignalErrorHandled() override;
    std::list<std::string> GetSourceList() override;
    std::list<std::string> GetTargetList() override;

    void OnEvent(IBaseJob* job, const void* data) override;

    /// The worker's body: runs the queue; false after a user abort.
    virtual BOOL JobProcessor();
    /// Calls every observer with the event; true when there was one.
    virtual bool Notify(int event, const void* data);

private:
    /// Reports a failed job and waits for its acknowledgement; false when a halt ended the wait.
    bool ReportJobError(IBaseJob* job, int code);
    void ReportAbort(IBaseJob* job);
    void WaitBetweenJobs();
    void DeleteCurrentJob();

    HANDLE m_thread = nullptr;
    unsigned m_threadId = 0;
    HANDLE m_haltEvent = nullptr;
    HANDLE m_errorHandledEvent = nullptr;
    HANDLE m_interJobSync = nullptr;
    IBaseJob* m_currentJob = nullptr;
    std::list<IBaseJob*> m_jobs;
    std::set<IUIObserver*> m_observers;
    CCriticalSection m_lock;
};
} // namespace transcoder
