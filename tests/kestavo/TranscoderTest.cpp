#include "KestavoTestSupport.h"

#include "platform/win/Kernel.h"
#include "shared/exceptions/Exceptions.h"
#include "tests/support/SmallDisk.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <fstream>
#include <functional>
#include <sys/mount.h>
#include <thread>
#include <unistd.h>

using namespace transcoder;
using namespace kestavo_test;

namespace
{
class TranscoderTest : public TranscoderFixture
{
protected:
    void SetUp() override
    {
        TranscoderFixture::SetUp();
        MakeStandardClip(Path("clip.avi"));
    }

    /// Stops the conversion writing `target` where it stands, so that a halt surely finds it running.
    pid_t FreezeConverterOf(const std::string& target)
    {
        const auto pid = WaitForConverterChild(target);
        EXPECT_TRUE(pid.has_value());
        if (!pid)
            return -1;
        kill(*pid, SIGSTOP);
        return *pid;
    }
};

int CodeOf(const std::vector<RecordedEvent>& events, int event)
{
    for (const auto& e : events)
        if (e.event == event)
            return e.code;
    return -12345;
}

/// An observer that records its events and then acts, as a dialog that closes itself from an event does.
class ActingRecorder : public EventRecorder
{
public:
    using EventRecorder::EventRecorder;

    int Notify(UINT message, int event, const void* data) override
    {
        const int result = EventRecorder::Notify(message, event, data);
        if (action)
            action(event);
        return result;
    }

    std::function<void(int event)> action;
};

/// A job listener that leaves its job on the first event it gets.
class LeavingListener final : public IListener
{
public:
    explicit LeavingListener(IBaseJob* job) : m_job(job) {}

    void OnEvent(IBaseJob*, const void*) override
    {
        ++events;
        m_job->Detach(this);
    }

    std::atomic<int> events = 0;

private:
    IBaseJob* m_job;
};
} // namespace

TEST_F(TranscoderTest, QueueOfJobsReportsEachStepInOrder)
{
    for (int i = 1; i <= 3; ++i)
        AddJob(IID_IEmailMovieJob, "clip.avi", "out" + std::to_string(i) + ".avi");
    ASSERT_EQ(instance->GetJobCount(), 3);
    EventRecorder recorder(instance);
    instance->RegisterCallback(&recorder);
    instance->RegisterCallback(&recorder); // once is enough; events come once
    RunToEnd(recorder);

    EXPECT_EQ(recorder.Sequence(), "SPDSPDSPDQ");
    const auto events = recorder.Events();
    int started = 0;
    float lastTime = -1;
    for (const auto& e : events)
    {
        EXPECT_EQ(e.message, WM_TRANSCODER_EVENT);
        if (e.event == TE_JOB_STARTED)
        {
            ++started;
            EXPECT_EQ(e.source, Path("clip.avi").string());
            EXPECT_EQ(e.target, Path("out" + std::to_string(started) + ".avi").string());
            // The observer asked for the count while being notified: the running job is not counted.
            EXPECT_EQ(e.jobCountAtEvent, 3 - started);
            lastTime = -1;
        }
        else if (e.event == TE_JOB_PROGRESS)
        {
            EXPECT_NEAR(e.progress.inputLength, 2.0f, 0.2f);
            EXPECT_GE(e.progress.time, lastTime);
            EXPECT_GT(e.progress.frame, 0);
            lastTime = e.progress.time;
        }
        else if (e.event == TE_JOB_DONE)
        {
            EXPECT_EQ(e.code, 0);
        }
    }
    EXPECT_EQ(CodeOf(events, TE_QUEUE_DONE), 0);
    EXPECT_EQ(instance->GetJobCount(), 0);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(Probe(Path("out" + std::to_string(i) + ".avi")).videoCodec, "mpeg1video");
}

TEST_F(TranscoderTest, EmptyQueueEndsAtOnceWithSuccess)
{
    EventRecorder recorder(instance);
    RunToEnd(recorder);
    EXPECT_EQ(recorder.Sequence(), "Q");
    EXPECT_EQ(CodeOf(recorder.Events(), TE_QUEUE_DONE), 0);
}

TEST_F(TranscoderTest, ObserversMayRegisterAndUnregisterFromInsideANotification)
{
    IBaseJob* job = AddJob(IID_IEmailMovieJob, "clip.avi", "out1.avi");
    LeavingListener listener(job);
    job->Attach(&listener);

    EventRecorder steady(instance);
    ActingRecorder leaver(instance), other(instance), joiner(instance);
    std::size_t otherEventsWhenLeft = 0;
    leaver.action = [&](int event)
    {
        if (event != TE_JOB_STARTED)
            return;
        instance->UnregisterCallback(&leaver);
        instance->UnregisterCallback(&other);
        otherEventsWhenLeft = other.Events().size();
        instance->RegisterCallback(&joiner);
    };
    instance->RegisterCallback(&leaver);
    instance->RegisterCallback(&other);
    RunToEnd(steady);

    EXPECT_EQ(steady.Sequence(), "SPDQ");
    EXPECT_EQ(leaver.Sequence(), "S");
    // Once unregistered, an observer is not called again, not even later in the same round.
    EXPECT_EQ(other.Events().size(), otherEventsWhenLeft);
    // One registered during a notification gets the events after it.
    EXPECT_EQ(joiner.Sequence(), "PDQ");
    EXPECT_EQ(listener.events, 1);
}

TEST_F(TranscoderTest, QueueIsKeptInOrderAndPoppedJobsBelongToTheCaller)
{
    const GUID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(instance->CreateJob(unknown), nullptr);
    EXPECT_EQ(instance->PopJob(), nullptr);
    AddJob(IID_IEmailMovieJob, "a.avi", "a-out.avi");
    AddJob(IID_IiPodMovieJob, "b.avi", "b-out.mp4");
    AddJob(IID_IBlogGIFJob, "c.avi", "c-out");
    EXPECT_EQ(instance->GetJobCount(), 3);
    EXPECT_EQ(instance->GetSourceList(),
              (std::list<std::string>{Path("a.avi"), Path("b.avi"), Path("c.avi")}));
    EXPECT_EQ(instance->GetTargetList(),
              (std::list<std::string>{Path("a-out.avi"), Path("b-out.mp4"), Path("c-out.gif")}));

    IBaseJob* first = instance->PopJob();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::string(first->GetSource()), Path("a.avi").string());
    EXPECT_EQ(instance->GetJobCount(), 2);
    delete first;

    instance->ClearJobs();
    EXPECT_EQ(instance->GetJobCount(), 0);
    EXPECT_TRUE(instance->GetSourceList().empty());
}

TEST_F(TranscoderTest, NullPathsAreRefusedWithTheFamilysException)
{
    IBaseJob* job = instance->CreateJob(IID_IEmailMovieJob);
    ASSERT_NE(job, nullptr);
    try
    {
        job->SetSource(nullptr);
        FAIL() << "no exception";
    }
    catch (const CNullPointerException& e)
    {
        EXPECT_STREQ(e.what(),
                     ".\\mpgwrapper[transcoder::CBaseJob::SetSource]: No transcoding source defined");
    }
    try
    {
        job->SetTarget(nullptr);
        FAIL() << "no exception";
    }
    catch (const CNullPointerException& e)
    {
        EXPECT_STREQ(e.what(),
                     ".\\mpgwrapper[transcoder::CBaseJob::SetTarget]: No transcoding target defined");
    }
}

TEST_F(TranscoderTest, FailedJobIsReportedAndTheQueueGoesOn)
{
    AddJob(IID_IEmailMovieJob, "clip.avi", "out1.avi");
    AddJob(IID_IEmailMovieJob, "missing.avi", "out2.avi");
    AddJob(IID_IEmailMovieJob, "clip.avi", "out3.avi");
    EventRecorder recorder(instance);
    RunToEnd(recorder);
    EXPECT_EQ(recorder.Sequence(), "SPDSESPDQ");
    EXPECT_EQ(CodeOf(recorder.Events(), TE_JOB_ERROR), kJobErrorConverterFailed);
    EXPECT_EQ(CodeOf(recorder.Events(), TE_QUEUE_DONE), 0);
    EXPECT_FALSE(std::filesystem::exists(Path("out2.avi")));
    EXPECT_TRUE(std::filesystem::exists(Path("out3.avi")));
}

TEST_F(TranscoderTest, TargetThatIsTheSourceFailsWithoutTouchingTheSource)
{
    const std::string before = testing_support::ReadFile(Path("clip.avi"));
    AddJob(IID_IEmailMovieJob, "clip.avi", "./clip.avi");
    EventRecorder recorder(instance);
    RunToEnd(recorder);
    EXPECT_EQ(recorder.Sequence(), "SEQ");
    EXPECT_EQ(testing_support::ReadFile(Path("clip.avi")), before);
}

TEST_F(TranscoderTest, EmptySourceEndsTheQueueAsFailed)
{
    IBaseJob* job = instance->CreateJob(IID_IEmailMovieJob);
    job->SetTarget(Path("out.avi").c_str());
    AddJob(IID_IEmailMovieJob, "clip.avi", "later.avi");
    EventRecorder recorder(instance);
    RunToEnd(recorder);
    EXPECT_EQ(recorder.Sequence(), "SQ");
    EXPECT_EQ(CodeOf(recorder.Events(), TE_QUEUE_DONE), -1);
    EXPECT_EQ(instance->GetJobCount(), 0);
}

TEST_F(TranscoderTest, WithoutObserverAFailedJobDoesNotWait)
{
    AddJob(IID_IEmailMovieJob, "missing.avi", "out1.avi");
    AddJob(IID_IEmailMovieJob, "clip.avi", "out2.avi");
    const HANDLE worker = instance->RunJobQueue();
    ASSERT_EQ(WaitForSingleObject(worker, 60000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    ASSERT_TRUE(GetExitCodeThread(worker, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(std::filesystem::exists(Path("out2.avi")));
}

TEST_F(TranscoderTest, AcknowledgementGivenEarlyLetsTheNextErrorPass)
{
    AddJob(IID_IEmailMovieJob, "missing.avi", "out1.avi");
    EventRecorder recorder(instance, /*acknowledgeErrors=*/false);
    instance->SignalErrorHandled();
    RunToEnd(recorder);
    EXPECT_EQ(recorder.Sequence(), "SEQ");
}

TEST_F(TranscoderTest, HaltWhileAnErrorAwaitsItsAcknowledgementDoesNotHang)
{
    AddJob(IID_IEmailMovieJob, "missing.avi", "out1.avi");
    AddJob(IID_IEmailMovieJob, "clip.avi", "out2.avi");
    EventRecorder recorder(instance, /*acknowledgeErrors=*/false);
    instance->RegisterCallback(&recorder);
    instance->RunJobQueue();
    ASSERT_TRUE(recorder.WaitFor(TE_JOB_ERROR));
    instance->Halt();
    EXPECT_EQ(recorder.Sequence(), "SEA");
    EXPECT_EQ(instance->GetJobCount(), 1);
}

TEST_F(TranscoderTest, HaltDuringAJobKillsTheConverterAndRemovesTheTarget)
{
    // Long enough that the conversion is surely still running when it is found and stopped.
    MakeStandardClip(Path("long.avi"), 320, 240, 30);
    AddJob(IID_IEmailMovieJob, "long.avi", "out1.avi");
    AddJob(IID_IEmailMovieJob, "long.avi", "out2.avi");
    // An older copy is overwritten by the conversion and goes with the halt.
    std::ofstream(Path("out1.avi")) << "older copy";
    EventRecorder recorder(instance);
    instance->RegisterCallback(&recorder);
    instance->RunJobQueue();
    const pid_t converter = FreezeConverterOf("out1.avi");
    instance->Halt();

    EXPECT_EQ(recorder.Sequence(), "SA");
    EXPECT_EQ(CodeOf(recorder.Events(), TE_JOB_ABORTED), 995);
    EXPECT_EQ(instance->GetJobCount(), 1);
    EXPECT_FALSE(std::filesystem::exists(Path("out1.avi")));
    EXPECT_FALSE(ProcessAlive(converter));
}

TEST_F(TranscoderTest, HaltedInstanceAbortsTheNextRunAtOnce)
{
    AddJob(IID_IEmailMovieJob, "clip.avi", "out1.avi");
    instance->Halt();
    EventRecorder recorder(instance);
    RunToEnd(recorder);
    EXPECT_EQ(recorder.Sequence(), "SA");
    EXPECT_FALSE(std::filesystem::exists(Path("out1.avi")));
}

TEST_F(TranscoderTest, InterJobSyncHoldsTheWorkerAndASecondRunIsRefused)
{
    AddJob(IID_IEmailMovieJob, "clip.avi", "out1.avi");
    AddJob(IID_IEmailMovieJob, "clip.avi", "out2.avi");
    const HANDLE sync = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    EXPECT_FALSE(instance->IsInterJobSyncSet());
    instance->SetInterJobSync(sync);
    EXPECT_TRUE(instance->IsInterJobSyncSet());
    EventRecorder recorder(instance);
    instance->RegisterCallback(&recorder);
    instance->RunJobQueue();
    ASSERT_TRUE(recorder.WaitFor(TE_JOB_DONE));
    // Held after the first job: the worker still runs, so another worker is refused.
    EXPECT_THROW(instance->RunJobQueue(), CInvalidStateException);
    EXPECT_EQ(recorder.Sequence(), "SPD");
    SetEvent(sync);
    ASSERT_TRUE(recorder.WaitFor(TE_JOB_STARTED));
    // Held again after the last job; a halt there reports the last job as aborted.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (recorder.Sequence() != "SPDSPD" && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    instance->Halt();
    EXPECT_EQ(recorder.Sequence(), "SPDSPDA");
    EXPECT_EQ(instance->GetJobCount(), 0);
    CloseHandle(sync);
}

TEST_F(TranscoderTest, DeletingARunningInstanceHaltsAndJoinsItsWorker)
{
    MakeStandardClip(Path("long.avi"), 320, 240, 30);
    AddJob(IID_IEmailMovieJob, "long.avi", "out1.avi");
    EventRecorder recorder(instance);
    instance->RegisterCallback(&recorder);
    instance->RunJobQueue();
    const pid_t converter = FreezeConverterOf("out1.avi");
    lib.DeleteVideoTranscoderInstance(instance);
    instance = nullptr;
    EXPECT_EQ(recorder.Sequence(), "SA");
    EXPECT_FALSE(ProcessAlive(converter));
    EXPECT_EQ(lib.DeleteVideoTranscoderInstance(nullptr), 0);
}

TEST_F(TranscoderTest, FullDiskIsReportedAsSuchAndTheQueueGoesOn)
{
    if (!testing_support::MountSmallTmpfs(Path("full"), 64))
        GTEST_SKIP() << "no mount namespace available for a small tmpfs";
    AddJob(IID_IEmailMovieJob, "clip.avi", "out1.avi");
    AddJob(IID_IEmailMovieJob, "clip.avi", "full/out2.avi");
    AddJob(IID_IEmailMovieJob, "clip.avi", "out3.avi");
    EventRecorder recorder(instance);
    RunToEnd(recorder);
    EXPECT_EQ(recorder.Sequence().substr(0, 4), "SPDS");
    EXPECT_EQ(CodeOf(recorder.Events(), TE_JOB_ERROR), kJobErrorDiskFull);
    EXPECT_FALSE(std::filesystem::exists(Path("full/out2.avi")));
    EXPECT_TRUE(std::filesystem::exists(Path("out3.avi")));
    EXPECT_EQ(CodeOf(recorder.Events(), TE_QUEUE_DONE), 0);
    umount2(Path("full").c_str(), MNT_DETACH);
}
