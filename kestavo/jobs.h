#pragma once

#include "kestavo/mpgwrapper.h"

#include <string>

/// The job types the transcoder instance creates by identifier. A single job owns a rescaler and may be
/// aggregated by an outer job (the PSP composite), to which it then hands every interface question.

namespace transcoder
{
/// What every single job shares: aggregation and the rescaler. The most-derived constructor creates the
/// rescaler, so that a failure names that class.
template <class JobInterface, const GUID& kJobIid>
class CSingleJob : public CBaseJob, public INonDelegatingGeneric, public JobInterface
{
public:
    ~CSingleJob() override { delete m_rescaler; }

    void* QueryInterface(REFIID iid) override
    {
        return m_outer ? m_outer->QueryInterface(iid) : NonDelegatingQueryInterface(iid);
    }

    void* NonDelegatingQueryInterface(REFIID iid) override
    {
        if (iid == kJobIid)
            return static_cast<JobInterface*>(this);
        if (iid == IID_IBaseJob)
            return static_cast<IBaseJob*>(this);
        if (iid == IID_IRescaler)
            return m_rescaler->NonDelegatingQueryInterface(iid);
        return nullptr;
    }

protected:
    explicit CSingleJob(CBaseJob* outer) : m_outer(outer) {}

    /// The rescaler's options for this job's source.
    CommandLine ResizeParams() { return m_rescaler->GetResizeParams(GetSource()); }

    CRescaler* m_rescaler = nullptr;
    CBaseJob* m_outer;
};

class CPSPMovieJob : public CSingleJob<IPSPMovieJob, IID_IPSPMovieJob>
{
public:
    explicit CPSPMovieJob(CBaseJob* outer = nullptr);

    CommandLine BuildCommandLine() override;
    void SetText(const char* text) override;
    const char* GetText() override;

private:
    std::string m_text;
};

class CPSPThumbJob : public CSingleJob<IPSPThumbJob, IID_IPSPThumbJob>
{
public:
    explicit CPSPThumbJob(CBaseJob* outer = nullptr);

    CommandLine BuildCommandLine() override;
};

class CiPodMovieJob : public CSingleJob<IiPodMovieJob, IID_IiPodMovieJob>
{
public:
    explicit CiPodMovieJob(CBaseJob* outer = nullptr);

    CommandLine BuildCommandLine() override;
};

class CBlogMovieJob : public CSingleJob<IBlogMovieJob, IID_IBlogMovieJob>
{
public:
    explicit CBlogMovieJob(CBaseJob* outer = nullptr);

    CommandLine BuildCommandLine() override;
};

/// Writes the frames of the source as JPEG files named after the target ("<target>1.jpg", ...); its
/// target, as reported and deleted, is "<target>.gif".
class CBlogGIFJob : public CSingleJob<IBlogGIFJob, IID_IBlogGIFJob>
{
public:
    explicit CBlogGIFJob(CBaseJob* outer = nullptr);

    CommandLine BuildCommandLine() override;
    const char* GetTarget() override;
    void TestOKRun() override;
    void SetFrameRate(int rate) override;
    int GetFrameRate() override;

private:
    int m_frameRate = 1;
    std::string m_reportedTarget;
};

class CEmailMovieJob : public CSingleJob<IEmailMovieJob, IID_IEmailMovieJob>
{
public:
    explicit CEmailMovieJob(CBaseJob* outer = nullptr);

    CommandLine BuildCommandLine() override;
};

/// A PSP movie and its thumbnail: runs a movie job, then a thumbnail job beside its target (".THM").
class CPSPCompJob : public CBaseJob, public INonDelegatingGeneric, public IPSPCompJob, public IRescaler
{
public:
    CPSPCompJob();
    ~CPSPCompJob() override;

    void* QueryInterface(REFIID iid) override;
    void* NonDelegatingQueryInterface(REFIID iid) override;

    void SetSource(const char* path) override;
    void SetTarget(const char* path) override;
    const char* GetSource() override;
    const char* GetTarget() override;
    void Run() override;
    void SetHaltEvent(HANDLE event) override;
    HANDLE GetHaltEvent() override;
    DWORD GetExitCode() override;
    BOOL DeleteTarget() override;
    CommandLine BuildCommandLine() override;

    void Attach(IListener* listener) override;
    void Detach(IListener* listener) override;

    void SetSize(SIZE target) override;
    SIZE GetSize() override;
    void SetPad(BOOL pad) override;
    BOOL GetPad() override;
    void SetEnlarge(BOOL enlarge) override;
    BOOL GetEnlarge() override;

private:
    IRescaler* MovieRescaler();

    CPSPMovieJob* m_movieJob = nullptr;
    CPSPThumbJob* m_thumbJob = nullptr;
    CBaseJob* m_outer = nullptr;
};
} // namespace transcoder
