#include "jobs.h"

#include "platform/win/Kernel.h"

#include <initializer_list>
#include <new>
#include <string_view>

namespace transcoder
{
namespace
{
void Append(CommandLine& commandLine, const CommandLine& more)
{
    commandLine.insert(commandLine.end(), more.begin(), more.end());
}

void Append(CommandLine& commandLine, std::initializer_list<std::string_view> more)
{
    for (std::string_view argument : more)
        commandLine.emplace_back(argument);
}

// The converter reads bit rates in bit/s; the "k" keeps the kbit/s the jobs were tuned for.
void AppendMp4MovieOptions(CommandLine& commandLine)
{
    Append(commandLine, {"-f",       "mp4",   "-r",  "30",  "-vcodec", "mpeg4", "-maxrate", "700k",
                         "-b:v",     "500k",  "-bt", "20k", "-qmin",   "3",     "-qmax",    "5",
                         "-bufsize", "8192k", "-g",  "300", "-b:a",    "160k",  "-ar",      "48000"});
}
} // namespace

// ---- PSP movie ----

CPSPMovieJob::CPSPMovieJob(CBaseJob* outer) : CSingleJob(outer)
{
    m_rescaler = new (std::nothrow) CRescaler(this);
    if (!m_rescaler)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate internal rescaler object"));
}

CommandLine CPSPMovieJob::BuildCommandLine()
{
    CommandLine commandLine = ConverterCommand();
    Append(commandLine, ResizeParams());
    // The PSP muxer needs one video and one audio stream.
    Append(commandLine, {"-f",    "mp4", "-vcodec", "mpeg4", "-maxrate", "700k",  "-bt",     "20k",
                         "-qmin", "3",   "-qmax",   "5",     "-bufsize", "8192k", "-aspect", "16:9",
                         "-g",    "300", "-vol",    "256",   "-r",       "29.97", "-b:v",    "500k",
                         "-ac",   "2",   "-ar",     "24000", "-b:a",     "64k",   "-f",      "psp"});
    commandLine.push_back(ConverterFileArgument(GetTarget()));
    return commandLine;
}

void CPSPMovieJob::SetText(const char* text)
{
    if (text)
        m_text = text;
}

const char* CPSPMovieJob::GetText()
{
    return m_text.c_str();
}

// ---- PSP thumbnail ----

CPSPThumbJob::CPSPThumbJob(CBaseJob* outer) : CSingleJob(outer)
{
    m_rescaler = new (std::nothrow) CRescaler(this);
    if (!m_rescaler)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate internal rescaler object"));
}

CommandLine CPSPThumbJob::BuildCommandLine()
{
    CommandLine commandLine = ConverterCommand();
    Append(commandLine, ResizeParams());
    Append(commandLine, {"-f", "mjpeg", "-vframes", "1"});
    commandLine.push_back(ConverterFileArgument(GetTarget()));
    return commandLine;
}

// ---- iPod and blog movies ----

CiPodMovieJob::CiPodMovieJob(CBaseJob* outer) : CSingleJob(outer)
{
    m_rescaler = new (std::nothrow) CRescaler(this);
    if (!m_rescaler)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate internal rescaler object"));
}

CommandLine CiPodMovieJob::BuildCommandLine()
{
    CommandLine commandLine = ConverterCommand();
    Append(commandLine, ResizeParams());
    AppendMp4MovieOptions(commandLine);
    commandLine.push_back(ConverterFileArgument(GetTarget()));
    return commandLine;
}

CBlogMovieJob::CBlogMovieJob(CBaseJob* outer) : CSingleJob(outer)
{
    m_rescaler = new (std::nothrow) CRescaler(this);
    if (!m_rescaler)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate internal rescaler object"));
}

CommandLine CBlogMovieJob::BuildCommandLine()
{
    CommandLine commandLine = ConverterCommand();
    Append(commandLine, ResizeParams());
    AppendMp4MovieOptions(commandLine);
    commandLine.push_back(ConverterFileArgument(GetTarget()));
    return commandLine;
}

// ---- blog GIF frames ----

CBlogGIFJob::CBlogGIFJob(CBaseJob* outer) : CSingleJob(outer)
{
    m_rescaler = new (std::nothrow) CRescaler(this);
    if (!m_rescaler)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate internal rescaler object"));
}

CommandLine CBlogGIFJob::BuildCommandLine()
{
    CommandLine commandLine = ConverterCommand();
    Append(commandLine, {"-r", std::to_string(GetFrameRate())});
    Append(commandLine, ResizeParams());
    // The converter reads the name as a pattern: a '%' of the name itself is written doubled.
    std::string pattern;
    for (const char c : m_target)
        pattern += c == '%' ? std::string("%%") : std::string(1, c);
    commandLine.push_back(ConverterFileArgument(pattern + "%d.jpg"));
    return commandLine;
}

const char* CBlogGIFJob::GetTarget()
{
    m_reportedTarget = m_target + ".gif";
    return m_reportedTarget.c_str();
}

void CBlogGIFJob::TestOKRun()
{
    if (m_exitCode == 0)
        return;
    DeleteTarget();
    if (GetAvailableSpace(GetTarget()) == 0)
        throw CNotEnoughSpaceException(THROW_SITE_MESSAGE("Insufficient drive space for transcoding"));
    throw CTranscoderException(THROW_SITE_MESSAGE("The transcoding process has encountered a Runtime error"),
                               static_cast<int>(m_exitCode));
}

void CBlogGIFJob::SetFrameRate(int rate)
{
    m_frameRate = rate;
}

int CBlogGIFJob::GetFrameRate()
{
    return m_frameRate;
}

// ---- e-mail movie ----

CEmailMovieJob::CEmailMovieJob(CBaseJob* outer) : CSingleJob(outer)
{
    m_rescaler = new (std::nothrow) CRescaler(this);
    if (!m_rescaler)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate internal rescaler object"));
}

CommandLine CEmailMovieJob::BuildCommandLine()
{
    CommandLine commandLine = ConverterCommand();
    Append(commandLine, ResizeParams());
    // MPEG-1 in a program stream, whatever the target's extension says: the mail recipient's players read
    // it by its content.
    Append(commandLine, {"-f", "mpeg", "-vcodec", "mpeg1video", "-r", "30"});
    commandLine.push_back(ConverterFileArgument(GetTarget()));
    return commandLine;
}

// ---- PSP movie with thumbnail ----

CPSPCompJob::CPSPCompJob()
{
    try
    {
        m_movieJob = new CPSPMovieJob(this);
    }
    catch (const std::bad_alloc&)
    {
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate PSPMovie object"));
    }
    try
    {
        m_thumbJob = new CPSPThumbJob(this);
    }
    catch (const std::bad_alloc&)
    {
        delete m_movieJob;
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate PSPThumbnail object"));
    }
}

CPSPCompJob::~CPSPCompJob()
{
    delete m_thumbJob;
    delete m_movieJob;
}

void* CPSPCompJob::QueryInterface(REFIID iid)
{
    return m_outer ? m_outer->QueryInterface(iid) : NonDelegatingQueryInterface(iid);
}

void* CPSPCompJob::NonDelegatingQueryInterface(REFIID iid)
{
    if (iid == IID_IPSPCompJob)
        return static_cast<IPSPCompJob*>(this);
    if (iid == IID_IBaseJob)
        return static_cast<IBaseJob*>(this);
    if (iid == IID_IRescaler)
        return static_cast<IRescaler*>(this);
    if (iid == IID_IPSPMovieJob)
        return m_movieJob->NonDelegatingQueryInterface(iid);
    if (iid == IID_IPSPThumbJob)
        return m_thumbJob->NonDelegatingQueryInterface(iid);
    return nullptr;
}

void CPSPCompJob::SetSource(const char* path)
{
    m_movieJob->SetSource(path);
    m_thumbJob->SetSource(path);
}

void CPSPCompJob::SetTarget(const char* path)
{
    m_movieJob->SetTarget(path);
    if (!path)
        return;
    // The thumbnail lies beside the movie: only a dot in the file's own name starts its extension.
    const std::string target(path);
    const auto slash = target.rfind('/');
    const auto dot = target.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    m_thumbJob->SetTarget(((hasExtension ? target.substr(0, dot) : target) + ".THM").c_str());
}

const char* CPSPCompJob::GetSource()
{
    return m_movieJob->GetSource();
}

const char* CPSPCompJob::GetTarget()
{
    return m_movieJob->GetTarget();
}

void CPSPCompJob::Run()
{
    m_movieJob->Run();
    auto* thumbRescaler = static_cast<IRescaler*>(m_thumbJob->NonDelegatingQueryInterface(IID_IRescaler));
    thumbRescaler->SetSize(SIZE{160, 120});
    thumbRescaler->SetPad(TRUE);
    thumbRescaler->SetEnlarge(TRUE);
    // The movie is what was asked for; a missing thumbnail does not fail it.
    try
    {
        m_thumbJob->Run();
    }
    catch (const CNotEnoughSpaceException&)
    {
    }
    catch (const CTranscoderException&)
    {
    }
    catch (const COSResourceException&)
    {
    }
}

void CPSPCompJob::SetHaltEvent(HANDLE event)
{
    m_movieJob->SetHaltEvent(event);
    m_thumbJob->SetHaltEvent(event);
}

HANDLE CPSPCompJob::GetHaltEvent()
{
    return m_movieJob->GetHaltEvent();
}

DWORD CPSPCompJob::GetExitCode()
{
    return m_movieJob->GetExitCode();
}

BOOL CPSPCompJob::DeleteTarget()
{
    m_movieJob->DeleteTarget();
    return m_thumbJob->DeleteTarget();
}

CommandLine CPSPCompJob::BuildCommandLine()
{
    return {};
}

void CPSPCompJob::Attach(IListener* listener)
{
    m_movieJob->Attach(listener);
}

void CPSPCompJob::Detach(IListener* listener)
{
    m_movieJob->Detach(listener);
}

IRescaler* CPSPCompJob::MovieRescaler()
{
    return static_cast<IRescaler*>(m_movieJob->NonDelegatingQueryInterface(IID_IRescaler));
}

void CPSPCompJob::SetSize(SIZE target)
{
    MovieRescaler()->SetSize(target);
}

SIZE CPSPCompJob::GetSize()
{
    return MovieRescaler()->GetSize();
}

void CPSPCompJob::SetPad(BOOL pad)
{
    MovieRescaler()->SetPad(pad);
}

BOOL CPSPCompJob::GetPad()
{
    return MovieRescaler()->GetPad();
}

void CPSPCompJob::SetEnlarge(BOOL enlarge)
{
    MovieRescaler()->SetEnlarge(enlarge);
}

BOOL CPSPCompJob::GetEnlarge()
{
    return MovieRescaler()->GetEnlarge();
}
} // namespace transcoder
