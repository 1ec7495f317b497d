#include "mpgwrapper.h"

#include "kestavo/AviHeaders.h"
#include "kestavo/FourCCTable.h"
#include "kestavo/jobs.h"
#include "platform/win/Kernel.h"
#include "platform/win/LastError.h"
#include "platform/win/Process.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace transcoder
{
namespace
{
// One read iteration takes at most this much of the converter's output; the rest waits in the pipe.
constexpr std::size_t kReadLimit = 16383;
// The parser keeps unparsed text only up to this size; beyond it the oldest text goes.
constexpr std::size_t kMaxBufferedText = 256 * 1024;
constexpr std::size_t kKeptBufferedText = 64 * 1024;
constexpr DWORD kIterationPauseMs = 500;
constexpr DWORD kDefaultSilenceTimeoutMs = 30000;
constexpr int kPollSliceMs = 50;
// A converter ended because its run failed inside the library gets a plain failure code.
constexpr DWORD kFailedRunExitCode = 1;
// No video this program meets comes near this many pixels a side; a header that claims more (or a size
// that reads as negative) is damaged or hostile.
constexpr DWORD kMaxFrameSide = 16384;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsAlnum(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string_view TrimLeft(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    return text;
}

/// Finds a complete line (ended by CR or LF) that `accept` takes: the first, or with `last` the last one.
/// On a match the line goes to `line` and `text` is cut to begin at that line's end.
template <typename Accept>
bool TakeCompleteLine(std::string& text, Accept accept, bool last, std::string& line)
{
    std::size_t start = 0;
    std::size_t foundStart = 0;
    std::size_t foundEnd = std::string::npos;
    while (start < text.size())
    {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos)
            break;
        if (accept(std::string_view(text).substr(start, end - start)))
        {
            foundStart = start;
            foundEnd = end;
            if (!last)
                break;
        }
        start = end + 1;
    }
    if (foundEnd == std::string::npos)
        return false;
    line.assign(text, foundStart, foundEnd - foundStart);
    text.erase(0, foundEnd);
    return true;
}

/// "[-]H:MM:SS[.ff]" in seconds.
std::optional<double> ParseClock(std::string_view text)
{
    text = TrimLeft(text);
    double sign = 1.0;
    if (!text.empty() && text.front() == '-')
    {
        sign = -1.0;
        text.remove_prefix(1);
    }
    const char* p = text.data();
    const char* end = text.data() + text.size();
    long long hours = 0;
    auto r = std::from_chars(p, end, hours);
    if (r.ec != std::errc() || r.ptr == end || *r.ptr != ':')
        return std::nullopt;
    long long minutes = 0;
    r = std::from_chars(r.ptr + 1, end, minutes);
    if (r.ec != std::errc() || r.ptr == end || *r.ptr != ':')
        return std::nullopt;
    double seconds = 0.0;
    r = std::from_chars(r.ptr + 1, end, seconds, std::chars_format::fixed);
    if (r.ec != std::errc())
        return std::nullopt;
    return sign * (static_cast<double>(minutes) * 60.0 + static_cast<double>(hours) * 3600.0 + seconds);
}

/// The text after "name=" in a progress line, blanks skipped; nothing when the line has no such field.
std::optional<std::string_view> FieldValue(std::string_view line, std::string_view name)
{
    for (std::size_t pos = line.find(name); pos != std::string_view::npos; pos = line.find(name, pos + 1))
    {
        const std::size_t after = pos + name.size();
        if (after >= line.size() || line[after] != '=')
            continue;
        // "size" is also the tail of the last line's "Lsize".
        const bool atStart =
            pos == 0 || !IsAlnum(line[pos - 1]) ||
            (name == "size" && line[pos - 1] == 'L' && (pos == 1 || !IsAlnum(line[pos - 2])));
        if (atStart)
            return TrimLeft(line.substr(after + 1));
    }
    return std::nullopt;
}

bool IsNotAvailable(std::string_view value)
{
    return value.starts_with("N/A");
}

template <typename T> std::optional<T> NumberField(std::string_view line, std::string_view name)
{
    const auto value = FieldValue(line, name);
    if (!value)
        return std::nullopt;
    if (IsNotAvailable(*value))
        return T{};
    T number{};
    const auto r = std::from_chars(value->data(), value->data() + value->size(), number);
    if (r.ec != std::errc())
        return std::nullopt;
    return number;
}

std::optional<double> ClockField(std::string_view line, std::string_view name)
{
    const auto value = FieldValue(line, name);
    if (!value)
        return std::nullopt;
    if (IsNotAvailable(*value))
        return 0.0;
    return ParseClock(*value);
}

bool IsVideoStreamLine(std::string_view line)
{
    return TrimLeft(line).starts_with("Stream #") && line.find(": Video: ") != std::string_view::npos;
}

/// The first "WxH" of a stream description whose numbers stand alone (so a code like 0x34504D46 is not
/// taken for a size).
std::optional<SIZE> FirstFrameSize(std::string_view line)
{
    for (std::size_t i = 0; i < line.size(); ++i)
    {
        if (!IsDigit(line[i]) || line[i] == '0' || (i > 0 && IsAlnum(line[i - 1])))
            continue;
        const char* end = line.data() + line.size();
        int width = 0;
        auto r = std::from_chars(line.data() + i, end, width);
        if (r.ec != std::errc() || r.ptr == end || *r.ptr != 'x' || r.ptr + 1 == end || !IsDigit(r.ptr[1]))
            continue;
        int height = 0;
        r = std::from_chars(r.ptr + 1, end, height);
        if (r.ec != std::errc() || height <= 0 || (r.ptr != end && IsAlnum(*r.ptr)))
            continue;
        return SIZE{width, height};
    }
    return std::nullopt;
}

bool IsSameFile(const std::string& a, const std::string& b)
{
    struct stat sa
    {
    };
    struct stat sb
    {
    };
    if (a.empty() || b.empty() || stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

std::string LibraryFolder()
{
    Dl_info info{};
    std::string file;
    if (dladdr(reinterpret_cast<void*>(&GetConverterPath), &info) && info.dli_fname &&
        std::strchr(info.dli_fname, '/'))
        file = info.dli_fname;
    else
    {
        // Linked into a program rather than loaded: the program's own file.
        char buffer[4096];
        const ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
        if (n <= 0)
            return {};
        file.assign(buffer, static_cast<std::size_t>(n));
    }
    const auto slash = file.rfind('/');
    return slash == 0 ? std::string("/") : file.substr(0, slash);
}

bool IsExecutableFile(const std::string& path)
{
    struct stat st
    {
    };
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

void CopyText(char* field, std::size_t size, const char* text)
{
    std::snprintf(field, size, "%s", text);
}

VideoFileInfo DefaultVideoFileInfo()
{
    VideoFileInfo info{};
    CopyText(info.container, sizeof(info.container), "N/A");
    CopyText(info.codec, sizeof(info.codec), "N/A");
    CopyText(info.duration, sizeof(info.duration), "N/A");
    return info;
}

unsigned TranscodingThread(void* argument)
{
    auto* instance = static_cast<CVideoTranscoder*>(argument);
    int result = 0;
    try
    {
        if (!instance->JobProcessor())
            return 0;
    }
    catch (const COSResourceException& e)
    {
        result = e.GetErrorCode();
    }
    catch (...)
    {
        // A runtime failure, or anything else a job let out: the queue ends as failed either way, and the
        // worker never takes the process down.
        result = -1;
    }
    try
    {
        instance->ClearJobs();
        instance->Notify(TE_QUEUE_DONE, &result);
    }
    catch (...)
    {
    }
    return static_cast<unsigned>(result);
}
} // namespace

std::string GetConverterPath()
{
    const std::string folder = LibraryFolder();
    const std::string beside = (folder == "/" ? std::string() : folder) + "/ffmpeg";
    if (!folder.empty() && IsExecutableFile(beside))
        return beside;
    if (std::string found = platform::FindProgramOnPath("ffmpeg"); !found.empty())
        return found;
    return beside;
}

std::uint64_t GetFileSize(const std::string& path)
{
    struct stat st
    {
    };
    if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

std::uint64_t GetAvailableSpace(const std::string& path)
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(path.empty() ? "." : path, ec);
    if (ec)
        return std::numeric_limits<std::uint64_t>::max();
    for (;;)
    {
        const auto info = std::filesystem::space(p, ec);
        if (!ec)
            return info.available;
        if (!p.has_parent_path() || p.parent_path() == p)
            return std::numeric_limits<std::uint64_t>::max();
        p = p.parent_path();
    }
}

std::string ConverterFileArgument(const std::string& path)
{
    return "file:" + path;
}

DWORD GetSilenceTimeoutMs()
{
    if (const char* text = std::getenv("KESTAVO_SILENCE_TIMEOUT_MS"))
    {
        DWORD ms = 0;
        const auto r = std::from_chars(text, text + std::strlen(text), ms);
        if (r.ec == std::errc() && ms > 0)
            return ms;
    }
    return kDefaultSilenceTimeoutMs;
}

// ---- parsers ----

void CBaseParser::Feed(std::string_view received)
{
    m_hasResult = TRUE;
    if (received.empty())
    {
        m_hasResult = FALSE;
        return;
    }
    m_text.append(received.substr(0, received.find('\0')));
    if (m_text.size() > kMaxBufferedText)
        m_text.erase(0, m_text.size() - kKeptBufferedText);
    try
    {
        while (m_state.function && m_state.function(*this, m_text))
        {
        }
    }
    catch (const CParserException&)
    {
        m_hasResult = FALSE;
    }
}

CBaseJob::CQueryParser::CQueryParser() : CBaseParser(ParserState{&StreamFinderState}) {}

int CBaseJob::CQueryParser::StreamFinderState(CBaseParser& parser, std::string& text)
{
    std::string line;
    if (!TakeCompleteLine(
            text, [](std::string_view l) { return l.starts_with("Input"); }, false, line))
        throw CParserException(THROW_SITE_MESSAGE("Start signature not found"));
    parser.Advance();
    text.erase(0, text.size() - TrimLeft(text).size());
    return 1;
}

int CBaseJob::CQueryParser::InputLengthEvaluatorState(CBaseParser& parser, std::string& text)
{
    // The duration line may follow a metadata block, so it is found by its text.
    std::string line;
    if (!TakeCompleteLine(
            text, [](std::string_view l) { return TrimLeft(l).starts_with("Duration:"); }, false, line))
        throw CParserException(THROW_SITE_MESSAGE("Input line not fully formed, yet"));
    parser.Advance();
    const std::string_view value = TrimLeft(TrimLeft(line).substr(9));
    if (IsNotAvailable(value))
        return 1;
    const auto seconds = ParseClock(value);
    if (!seconds)
        throw CParserException(THROW_SITE_MESSAGE("Malformed input line"));
    static_cast<CQueryParser&>(parser).m_inputLength = static_cast<float>(*seconds);
    return 1;
}

ParserState CBaseJob::CProgressParser::GetNextState()
{
    const ParserState state = GetState();
    if (state == ParserState{&StreamFinderState})
        return ParserState{&InputLengthEvaluatorState};
    if (state == ParserState{&InputLengthEvaluatorState} || state == ParserState{&ProgressEvaluatorState})
        return ParserState{&ProgressEvaluatorState};
    throw CInvalidStateException(THROW_SITE_MESSAGE("Parser reached an inconsistent/unknown state"));
}

const void* CBaseJob::CProgressParser::GetResult()
{
    m_progress.inputLength = m_inputLength;
    return &m_progress;
}

int CBaseJob::CProgressParser::ProgressEvaluatorState(CBaseParser& parser, std::string& text)
{
    // The converter ends each progress line with a CR and rewrites it; only the last complete one counts.
    std::string line;
    if (!TakeCompleteLine(
            text, [](std::string_view l) { return TrimLeft(l).starts_with("frame="); }, true, line))
        throw CParserException(THROW_SITE_MESSAGE("Empty or malformed input line"));
    const auto frame = NumberField<std::int32_t>(line, "frame");
    const auto fps = NumberField<float>(line, "fps");
    const auto quality = NumberField<float>(line, "q");
    const auto size = NumberField<float>(line, "size");
    const auto time = ClockField(line, "time");
    if (!frame || !fps || !quality || !size || !time)
        throw CParserException(THROW_SITE_MESSAGE("Empty or malformed input line"));
    TranscodeProgress& progress = static_cast<CProgressParser&>(parser).m_progress;
    progress.frame = *frame;
    progress.fps = *fps;
    progress.quality = *quality;
    progress.size = *size;
    progress.time = static_cast<float>(*time);
    return 0;
}

ParserState CRescaler::CQuerySizeParser::GetNextState()
{
    const ParserState state = GetState();
    if (state == ParserState{&StreamFinderState})
        return ParserState{&FrameSizeWHEvaluatorState};
    if (state == ParserState{&FrameSizeWHEvaluatorState} || state == ParserState{&IdleState})
        return ParserState{&IdleState};
    throw CInvalidStateException(THROW_SITE_MESSAGE("Parser reached an inconsistent/unknown state"));
}

const void* CRescaler::CQuerySizeParser::GetResult()
{
    return &m_size;
}

int CRescaler::CQuerySizeParser::FrameSizeWHEvaluatorState(CBaseParser& parser, std::string& text)
{
    std::string line;
    if (!TakeCompleteLine(text, IsVideoStreamLine, false, line))
        throw CParserException(THROW_SITE_MESSAGE("Video stream signature not found, yet"));
    parser.Advance();
    static_cast<CQuerySizeParser&>(parser).m_size = FirstFrameSize(line).value_or(SIZE{1, 1});
    return 1;
}

int CRescaler::CQuerySizeParser::IdleState(CBaseParser&, std::string& text)
{
    text.clear();
    return 0;
}

// ---- launcher ----

CTranscoderLauncher::CTranscoderLauncher(const CommandLine& commandLine, CBaseParser* parser)
    : m_parser(parser)
{
    const int error = m_process.Start(commandLine);
    if (error != 0)
        throw COSResourceException(THROW_SITE_MESSAGE("Failed starting-up the transcoder (external) process"),
                                   static_cast<int>(platform::ErrorFromErrno(error)));
}

void CTranscoderLauncher::DoIteration(HANDLE haltEvent)
{
    m_readLimitReached = false;
    if (GetExitCode() != STILL_ACTIVE)
        return;
    const DWORD limitMs = GetSilenceTimeoutMs();
    const ULONGLONG start = GetTickCount64();
    std::string received;
    for (;;)
    {
        if (haltEvent && WaitForSingleObject(haltEvent, 0) == WAIT_OBJECT_0)
        {
            Terminate(kHaltExitCode);
            throw CUserAbortException(THROW_SITE_MESSAGE("User has aborted the operation"));
        }
        if (!m_process.OutputEnded())
        {
            if (m_process.Read(received, kReadLimit) != ConverterProcess::ReadStatus::NoData)
                break;
        }
        else if (GetExitCode() != STILL_ACTIVE)
            return;
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (elapsed >= limitMs)
        {
            Terminate(kSilenceExitCode);
            return;
        }
        const int sliceMs = static_cast<int>(std::min<ULONGLONG>(kPollSliceMs, limitMs - elapsed));
        if (m_process.OutputEnded())
            Sleep(static_cast<DWORD>(std::min(sliceMs, 10)));
        else
            m_process.WaitForOutput(sliceMs);
    }
    m_readLimitReached = received.size() >= kReadLimit;
    if (m_parser)
        m_parser->Feed(received);
}

void CTranscoderLauncher::Pause(HANDLE haltEvent, DWORD ms)
{
    const ULONGLONG start = GetTickCount64();
    for (;;)
    {
        // The next iteration acts on the halt; an ended output is read at once.
        if (haltEvent && WaitForSingleObject(haltEvent, 0) == WAIT_OBJECT_0)
            return;
        const ULONGLONG elapsed = GetTickCount64() - start;
        if (elapsed >= ms)
            return;
        if (m_process.WaitForOutputEnd(static_cast<int>(std::min<ULONGLONG>(kPollSliceMs, ms - elapsed))))
            return;
    }
}

DWORD CTranscoderLauncher::GetExitCode()
{
    DWORD code = 0;
    if (m_exitCode == STILL_ACTIVE && m_process.OutputEnded() && m_process.HasEnded(code))
    {
        m_process.Finish();
        m_exitCode = code;
    }
    return m_exitCode;
}

void CTranscoderLauncher::Terminate(DWORD exitCode)
{
    if (m_exitCode != STILL_ACTIVE)
        return;
    DWORD code = 0;
    m_exitCode = m_process.HasEnded(code) ? code : exitCode;
    m_process.Finish();
}

// ---- base job ----

void* CBaseJob::QueryInterface(REFIID iid)
{
    return iid == IID_IBaseJob ? static_cast<IBaseJob*>(this) : nullptr;
}

void CBaseJob::SetSource(const char* path)
{
    if (!path)
        throw CNullPointerException(THROW_SITE_MESSAGE("No transcoding source defined"));
    m_source = path;
}

void CBaseJob::SetTarget(const char* path)
{
    if (!path)
        throw CNullPointerException(THROW_SITE_MESSAGE("No transcoding target defined"));
    m_target = path;
}

const char* CBaseJob::GetSource()
{
    return m_source.c_str();
}

const char* CBaseJob::GetTarget()
{
    return m_target.c_str();
}

void CBaseJob::SetHaltEvent(HANDLE event)
{
    m_haltEvent = event;
}

HANDLE CBaseJob::GetHaltEvent()
{
    return m_haltEvent;
}

DWORD CBaseJob::GetExitCode()
{
    return m_exitCode;
}

BOOL CBaseJob::DeleteTarget()
{
    const std::string target = GetTarget();
    // Whatever went wrong, the job's own input is never deleted in its target's name.
    if (IsSameFile(target, GetSource()))
        return FALSE;
    return unlink(target.c_str()) == 0 ? TRUE : FALSE;
}

void CBaseJob::Prepare() {}

CBaseParser* CBaseJob::CreateProgressParser()
{
    return new (std::nothrow) CProgressParser();
}

void CBaseJob::UpdateProgress(CBaseParser* parser)
{
    if (!parser || !parser->HasResult())
        return;
    parser->ClearResult();
    if (const void* result = parser->GetResult())
        Notify(result);
}

void CBaseJob::Attach(IListener* listener)
{
    m_listeners.insert(listener);
}

void CBaseJob::Detach(IListener* listener)
{
    m_listeners.erase(listener);
}

void CBaseJob::Notify(const void* data)
{
    // A listener may attach or detach listeners while it is called; see CVideoTranscoder::Notify.
    const std::vector<IListener*> listeners(m_listeners.begin(), m_listeners.end());
    for (IListener* listener : listeners)
        if (m_listeners.contains(listener))
            listener->OnEvent(this, data);
}

CommandLine CBaseJob::ConverterCommand()
{
    return {GetConverterPath(), "-nostdin", "-y", "-i", ConverterFileArgument(GetSource())};
}

void CBaseJob::Run()
{
    Prepare();
    const std::unique_ptr<CBaseParser> parser(CreateProgressParser());
    CommandLine commandLine;
    try
    {
        commandLine = BuildCommandLine();
    }
    catch (const CUserAbortException&)
    {
        // Halted while the rescaler asked the converter for the source's size.
        m_exitCode = kHaltExitCode;
        throw;
    }
    // The converter would overwrite its own input before it read it.
    if (IsSameFile(GetSource(), GetTarget()))
        throw CTranscoderException(THROW_SITE_MESSAGE("The transcoding target is the source file"),
                                   static_cast<int>(m_exitCode));

    CTranscoderLauncher launcher(commandLine, parser.get());
    try
    {
        for (;;)
        {
            m_exitCode = launcher.GetExitCode();
            if (m_exitCode != STILL_ACTIVE)
                break;
            launcher.DoIteration(GetHaltEvent());
            UpdateProgress(parser.get());
            // A converter that writes more than an iteration takes would otherwise block on its full pipe
            // and convert only as fast as the pauses let it write.
            if (!launcher.OutputEnded() && !launcher.ReadLimitReached())
                launcher.Pause(GetHaltEvent(), kIterationPauseMs);
        }
    }
    catch (const CUserAbortException&)
    {
        m_exitCode = launcher.GetExitCode();
        DeleteTarget();
        throw;
    }
    catch (...)
    {
        // The run is lost either way; the converter is ended rather than waited for.
        launcher.Terminate(kFailedRunExitCode);
        m_exitCode = launcher.GetExitCode();
        DeleteTarget();
    }
    TestOKRun();
}

void CBaseJob::TestOKRun()
{
    const std::string target = GetTarget();
    if (m_exitCode == 0 && GetFileSize(target) != 0 && GetAvailableSpace(target) != 0)
        return;
    const std::uint64_t space = GetAvailableSpace(target);
    DeleteTarget();
    if (space == 0)
        throw CNotEnoughSpaceException(THROW_SITE_MESSAGE("Insufficient drive space for transcoding"));
    throw CTranscoderException(THROW_SITE_MESSAGE("The transcoding process has encountered a Runtime error"),
                               static_cast<int>(m_exitCode));
}

// ---- rescaler ----

void* CRescaler::QueryInterface(REFIID iid)
{
    return m_owner ? m_owner->QueryInterface(iid) : NonDelegatingQueryInterface(iid);
}

void* CRescaler::NonDelegatingQueryInterface(REFIID iid)
{
    return iid == IID_IRescaler ? static_cast<IRescaler*>(this) : nullptr;
}

void CRescaler::SetSize(SIZE target)
{
    m_width = std::max<LONG>(target.cx, 1);
    m_height = std::max<LONG>(target.cy, 1);
}

SIZE CRescaler::GetSize()
{
    return SIZE{m_width, m_height};
}

void CRescaler::SetPad(BOOL pad)
{
    m_pad = pad;
}

BOOL CRescaler::GetPad()
{
    return m_pad;
}

void CRescaler::SetEnlarge(BOOL enlarge)
{
    m_enlarge = enlarge;
}

BOOL CRescaler::GetEnlarge()
{
    return m_enlarge;
}

CommandLine CRescaler::GetResizeParams(const std::string& source)
{
    if (source.empty())
        throw CInvalidArgumentException(
            THROW_SITE_MESSAGE("Cannot rescale an unknown input stream (no filename given)"));
    SIZE sourceSize{1, 1};
    try
    {
        sourceSize = ProbeSourceSize(source);
    }
    catch (const CUserAbortException&)
    {
        throw;
    }
    catch (const std::runtime_error&)
    {
        return {};
    }
    catch (const std::bad_alloc&)
    {
        return {};
    }
    return ComputeResizeParams(sourceSize, GetSize(), m_pad, m_enlarge);
}

SIZE CRescaler::ProbeSourceSize(const std::string& source)
{
    // Without an output the converter only describes its input and ends.
    CQuerySizeParser parser;
    CTranscoderLauncher launcher({GetConverterPath(), "-nostdin", "-i", ConverterFileArgument(source)},
                                 &parser);
    const HANDLE haltEvent = m_owner ? m_owner->GetHaltEvent() : nullptr;
    // The converter usually ends before its description is read, so the output is read to its end.
    while (launcher.GetExitCode() == STILL_ACTIVE)
    {
        launcher.DoIteration(haltEvent);
        if (parser.HasResult())
        {
            parser.ClearResult();
            if (const auto* size = static_cast<const SIZE*>(parser.GetResult()))
                return *size;
        }
    }
    return SIZE{1, 1};
}

CommandLine CRescaler::ComputeResizeParams(SIZE source, SIZE target, BOOL pad, BOOL enlarge)
{
    const int sw = std::max<LONG>(source.cx, 1);
    const int sh = std::max<LONG>(source.cy, 1);
    const int tw = target.cx;
    const int th = target.cy;
    const float r = static_cast<float>(sh) / static_cast<float>(sw);
    const auto evenHalf = [](int d)
    {
        int half = d / 2;
        if (half % 2 != 0)
            half += 1;
        return half;
    };

    int w = sw;
    int h = sh;
    int padV = 0;
    int padH = 0;
    bool scaled = false;
    if (sw > tw || (enlarge && sw < tw))
    {
        scaled = true;
        w = tw;
        const int nh = static_cast<int>(static_cast<float>(tw) * r);
        if (nh <= th)
        {
            padV = evenHalf(th - nh);
            h = th - 2 * padV;
        }
    }
    if (h > th || (enlarge && h < th && padV == 0))
    {
        h = th;
        const int nw = static_cast<int>(static_cast<float>(th) / r);
        if (nw <= tw)
        {
            padH = evenHalf(tw - nw);
            w = tw - 2 * padH;
        }
        else
        {
            // Fitting the height would overflow the width (a source as wide as the target, enlarged): the
            // width limits instead, so the pads never go negative.
            w = tw;
            const int nh = static_cast<int>(static_cast<float>(tw) * r);
            padV = evenHalf(th - nh);
            h = th - 2 * padV;
        }
    }
    else if (!scaled)
        return {};

    std::string filter = "scale=" + std::to_string(w) + ":" + std::to_string(h);
    if (pad)
        filter += ",pad=" + std::to_string(w + 2 * padH) + ":" + std::to_string(h + 2 * padV) + ":" +
                  std::to_string(padH) + ":" + std::to_string(padV);
    // Square pixels, as the size and pad arithmetic assumes.
    filter += ",setsar=1";
    return {"-vf", filter};
}

// ---- instance ----

CVideoTranscoder::CVideoTranscoder()
{
    m_haltEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    if (!m_haltEvent)
        throw COSResourceException(THROW_SITE_MESSAGE("Cannot create Halt event"),
                                   static_cast<int>(GetLastError()));
    m_errorHandledEvent = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    if (!m_errorHandledEvent)
    {
        const int error = static_cast<int>(GetLastError());
        CloseHandle(m_haltEvent);
        throw COSResourceException(THROW_SITE_MESSAGE("Cannot create error synchronization event"), error);
    }
}

CVideoTranscoder::~CVideoTranscoder()
{
    // A worker still running would use this object after it is gone.
    Halt();
    if (m_thread)
        CloseHandle(m_thread);
    ClearJobs();
    DeleteCurrentJob();
    CloseHandle(m_errorHandledEvent);
    CloseHandle(m_haltEvent);
}

void CVideoTranscoder::RegisterCallback(IUIObserver* observer)
{
    CSingleLock lock(&m_lock, TRUE);
    m_observers.insert(observer);
}

void CVideoTranscoder::UnregisterCallback(IUIObserver* observer)
{
    CSingleLock lock(&m_lock, TRUE);
    m_observers.erase(observer);
}

IBaseJob* CVideoTranscoder::CreateJob(REFGUID jobType)
{
    std::unique_ptr<IBaseJob> job;
    if (jobType == IID_IPSPMovieJob)
        job.reset(new CPSPMovieJob());
    else if (jobType == IID_IPSPThumbJob)
        job.reset(new CPSPThumbJob());
    else if (jobType == IID_IPSPCompJob)
        job.reset(new CPSPCompJob());
    else if (jobType == IID_IiPodMovieJob)
        job.reset(new CiPodMovieJob());
    else if (jobType == IID_IBlogGIFJob)
        job.reset(new CBlogGIFJob());
    else if (jobType == IID_IBlogMovieJob)
        job.reset(new CBlogMovieJob());
    else if (jobType == IID_IEmailMovieJob)
        job.reset(new CEmailMovieJob());
    else
        return nullptr;
    job->SetHaltEvent(m_haltEvent);
    job->Attach(this);
    CSingleLock lock(&m_lock, TRUE);
    m_jobs.push_back(job.get());
    return job.release();
}

IBaseJob* CVideoTranscoder::PopJob()
{
    IBaseJob* job = nullptr;
    {
        CSingleLock lock(&m_lock, TRUE);
        if (m_jobs.empty())
            return nullptr;
        job = m_jobs.front();
        m_jobs.pop_front();
    }
    job->Detach(this);
    return job;
}

void CVideoTranscoder::ClearJobs()
{
    CSingleLock lock(&m_lock, TRUE);
    while (!m_jobs.empty())
    {
        IBaseJob* job = m_jobs.front();
        m_jobs.pop_front();
        delete job;
    }
}

HANDLE CVideoTranscoder::RunJobQueue()
{
    if (m_thread)
    {
        // Two workers on one queue would run the same jobs and delete them twice.
        if (WaitForSingleObject(m_thread, 0) == WAIT_TIMEOUT)
            throw CInvalidStateException(THROW_SITE_MESSAGE("The transcoding thread is still running"));
        CloseHandle(m_thread);
        m_thread = nullptr;
    }
    unsigned threadId = 0;
    const UINT_PTR thread = _beginthreadex(nullptr, 0, &TranscodingThread, this, 0, &threadId);
    if (!thread)
        throw COSResourceException(THROW_SITE_MESSAGE("Cannot start transcoding thread"),
                                   static_cast<int>(GetLastError()));
    m_thread = reinterpret_cast<HANDLE>(thread);
    m_threadId = threadId;
    return m_thread;
}

void CVideoTranscoder::Halt()
{
    SetEvent(m_haltEvent);
    // An observer that halts from inside a notification runs on the worker itself, which cannot wait for
    // its own end; it ends as soon as the notification returns.
    if (m_thread && GetCurrentThreadId() != m_threadId)
        WaitForSingleObject(m_thread, INFINITE);
}

int CVideoTranscoder::GetJobCount()
{
    CSingleLock lock(&m_lock, TRUE);
    return static_cast<int>(m_jobs.size());
}

BOOL CVideoTranscoder::IsInterJobSyncSet()
{
    CSingleLock lock(&m_lock, TRUE);
    return m_interJobSync ? TRUE : FALSE;
}

void CVideoTranscoder::SetInterJobSync(HANDLE event)
{
    CSingleLock lock(&m_lock, TRUE);
    m_interJobSync = event;
}

void CVideoTranscoder::SignalErrorHandled()
{
    SetEvent(m_errorHandledEvent);
}

std::list<std::string> CVideoTranscoder::GetSourceList()
{
    CSingleLock lock(&m_lock, TRUE);
    std::list<std::string> sources;
    for (IBaseJob* job : m_jobs)
        sources.emplace_back(job->GetSource());
    return sources;
}

std::list<std::string> CVideoTranscoder::GetTargetList()
{
    CSingleLock lock(&m_lock, TRUE);
    std::list<std::string> targets;
    for (IBaseJob* job : m_jobs)
        targets.emplace_back(job->GetTarget());
    return targets;
}

void CVideoTranscoder::OnEvent(IBaseJob*, const void* data)
{
    if (!data)
        return;
    TranscodeProgress progress = *static_cast<const TranscodeProgress*>(data);
    Notify(TE_JOB_PROGRESS, &progress);
}

bool CVideoTranscoder::Notify(int event, const void* data)
{
    // The lock is re-entrant: an observer may ask the instance for its job count while it is called.
    CSingleLock lock(&m_lock, TRUE);
    // Observers may register and unregister (themselves or others) while they are called, so the round goes
    // over a copy; one unregistered meanwhile is skipped, as its owner may already have deleted it.
    const std::vector<IUIObserver*> observers(m_observers.begin(), m_observers.end());
    for (IUIObserver* observer : observers)
    {
        if (!m_observers.contains(observer))
            continue;
        try
        {
            observer->Notify(WM_TRANSCODER_EVENT, event, data);
        }
        catch (...)
        {
            // One failing observer must not end the run or keep the others from their events.
        }
    }
    return !m_observers.empty();
}

void CVideoTranscoder::DeleteCurrentJob()
{
    delete m_currentJob;
    m_currentJob = nullptr;
}

bool CVideoTranscoder::ReportJobError(IBaseJob* job, int code)
{
    const TranscoderJobStatus status{job->GetSource(), code};
    if (!Notify(TE_JOB_ERROR, &status))
        return true;
    // A halt ends the wait too, so that cancelling never hangs on an error nobody acknowledged.
    const HANDLE events[2] = {m_errorHandledEvent, m_haltEvent};
    return WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0;
}

void CVideoTranscoder::ReportAbort(IBaseJob* job)
{
    const TranscoderJobStatus status{job->GetSource(), static_cast<int>(job->GetExitCode())};
    Notify(TE_JOB_ABORTED, &status);
}

BOOL CVideoTranscoder::JobProcessor()
{
    for (;;)
    {
        {
            CSingleLock lock(&m_lock, TRUE);
            if (m_jobs.empty())
                return TRUE;
            m_currentJob = m_jobs.front();
            m_jobs.pop_front();
        }
        IBaseJob* job = m_currentJob;
        try
        {
            const TranscoderJobInfo info{job->GetSource(), job->GetTarget()};
            Notify(TE_JOB_STARTED, &info);
            job->Run();
            const TranscoderJobStatus done{job->GetSource(), 0};
            Notify(TE_JOB_DONE, &done);

            HANDLE sync = nullptr;
            {
                CSingleLock lock(&m_lock, TRUE);
                sync = m_interJobSync;
            }
            if (sync)
            {
                const HANDLE events[2] = {sync, m_haltEvent};
                if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1 &&
                    GetJobCount() == 0)
                    throw CUserAbortException(
                        THROW_SITE_MESSAGE("User aborted while synchronizing between jobs"));
            }
        }
        catch (const CUserAbortException&)
        {
            ReportAbort(job);
            DeleteCurrentJob();
            return FALSE;
        }
        catch (const CNotEnoughSpaceException&)
        {
            if (!ReportJobError(job, kJobErrorDiskFull))
            {
                ReportAbort(job);
                DeleteCurrentJob();
                return FALSE;
            }
        }
        catch (const CTranscoderException&)
        {
            if (!ReportJobError(job, kJobErrorConverterFailed))
            {
                ReportAbort(job);
                DeleteCurrentJob();
                return FALSE;
            }
        }
        catch (const COSResourceException& e)
        {
            const COSResourceException copy(e.what(), e.GetErrorCode());
            DeleteCurrentJob();
            throw copy;
        }
        catch (...)
        {
            DeleteCurrentJob();
            throw;
        }
        DeleteCurrentJob();
    }
}

// ---- exported functions ----

IVideoTranscoder* CreateVideoTranscoderInstance()
{
    try
    {
        return new CVideoTranscoder();
    }
    catch (...)
    {
        return nullptr;
    }
}

int DeleteVideoTranscoderInstance(IVideoTranscoder* instance)
{
    delete instance;
    return 0;
}

VideoFileInfo get_info(const char* path)
{
    VideoFileInfo info = DefaultVideoFileInfo();
    try
    {
        AviHeaders headers;
        if (!ReadAviHeaders(path, headers) || headers.width > kMaxFrameSide || headers.height > kMaxFrameSide)
            return info;
        CopyText(info.container, sizeof(info.container), "AVI");

        const AviStreamHeader* timing = nullptr;
        for (const auto& stream : headers.streams)
            if (!timing && stream && stream->type == kStreamTypeVideo)
                timing = &*stream;
        // A scale of 0, or a rate below one frame per second, gives no whole-number rate to count seconds
        // with; those fields keep their defaults.
        if (timing && timing->scale != 0)
        {
            info.frameRate = static_cast<double>(timing->rate) / static_cast<double>(timing->scale);
            const DWORD wholeRate = timing->rate / timing->scale;
            if (wholeRate != 0)
            {
                const double total = static_cast<double>(timing->length) / static_cast<double>(wholeRate);
                const int seconds = static_cast<int>(std::min(total, static_cast<double>(INT_MAX)));
                std::snprintf(info.duration, sizeof(info.duration), "%02d:%02d:%02d", seconds / 3600,
                              (seconds / 60) % 60, seconds % 60);
                info.seconds = static_cast<float>(seconds);
            }
        }
        info.width = static_cast<std::int32_t>(headers.width);
        info.height = static_cast<std::int32_t>(headers.height);

        // The last video stream decides the codec.
        for (const auto& stream : headers.streams)
        {
            if (!stream || stream->type != kStreamTypeVideo)
                continue;
            info.fourcc = stream->handler;
            CopyText(info.codec, sizeof(info.codec), "N/A");
            if (const char* name = FindCodecName(stream->handler))
                CopyText(info.codec, sizeof(info.codec), name);
        }
        info.valid = true;
        return info;
    }
    catch (...)
    {
        return DefaultVideoFileInfo();
    }
}

int get_frame(const char* video, const char* image)
{
    try
    {
        if (!video || !image || !*video || !*image || IsSameFile(video, image))
            return -1;
        // The converter would wait on a FIFO or device (and hold the caller) until the silence limit; only
        // regular files are read, or written over.
        struct stat st
        {
        };
        if (stat(video, &st) != 0 || !S_ISREG(st.st_mode) || (stat(image, &st) == 0 && !S_ISREG(st.st_mode)))
            return -1;
        // -update 1 writes exactly one image under the given name, never a numbered series.
        CTranscoderLauncher launcher({GetConverterPath(), "-nostdin", "-y", "-i",
                                      ConverterFileArgument(video), "-frames:v", "1", "-update", "1",
                                      ConverterFileArgument(image)},
                                     nullptr);
        while (launcher.GetExitCode() == STILL_ACTIVE)
            launcher.DoIteration(nullptr);
        return launcher.GetExitCode() == 0 && GetFileSize(image) != 0 ? 0 : -1;
    }
    catch (...)
    {
        return -1;
    }
}

bool check_valid_psp(const char*)
{
    return true;
}
} // namespace transcoder
