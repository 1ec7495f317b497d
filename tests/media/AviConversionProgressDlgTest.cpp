#include "brevicam/media/AviConversionProgressDlg.h"

#include "platform/commctrl/Progress.h"
#include "platform/zorneth/Zorneth.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"
#include "tests/kestavo/KestavoTestSupport.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace transcoder;
namespace fs = std::filesystem;

namespace
{
/// What the dialog showed once it had handled an event.
struct Shown
{
    int event;
    int barPos;
    std::string text;
};

/// The dialog with a look at what it shows after each event, and a hook to act at an event as a user
/// would.
class ObservedDialog : public CAviConversionProgressDlg
{
public:
    using CAviConversionProgressDlg::CAviConversionProgressDlg;

    void OnJobStarted(const TranscoderEventRecord& r) override
    {
        Handled(TE_JOB_STARTED, r, [&] { CAviConversionProgressDlg::OnJobStarted(r); });
    }
    void OnJobProgress(const TranscoderEventRecord& r) override
    {
        Handled(TE_JOB_PROGRESS, r, [&] { CAviConversionProgressDlg::OnJobProgress(r); });
    }
    void OnJobError(const TranscoderEventRecord& r) override
    {
        Handled(TE_JOB_ERROR, r, [&] { CAviConversionProgressDlg::OnJobError(r); });
    }
    void OnJobDone(const TranscoderEventRecord& r) override
    {
        Handled(TE_JOB_DONE, r, [&] { CAviConversionProgressDlg::OnJobDone(r); });
    }
    void OnJobAborted(const TranscoderEventRecord& r) override
    {
        Handled(TE_JOB_ABORTED, r, [&] { CAviConversionProgressDlg::OnJobAborted(r); });
    }
    void OnQueueDone(const TranscoderEventRecord& r) override
    {
        Handled(TE_QUEUE_DONE, r, [&] { CAviConversionProgressDlg::OnQueueDone(r); });
    }

    /// Presses the Cancel button, as a click does.
    void ClickCancel()
    {
        PostMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(m_cancel.m_hWnd));
    }
    int BarPos() { return static_cast<int>(m_progress.SendMessage(PBM_GETPOS)); }
    std::size_t PendingRecords()
    {
        std::lock_guard lock(m_pendingLock);
        return m_pending.size();
    }

    std::vector<Shown> shown;
    /// Called after the dialog handled an event.
    std::function<void(ObservedDialog&, int event, const TranscoderEventRecord&)> after;

private:
    template <class Base> void Handled(int event, const TranscoderEventRecord& r, Base base)
    {
        base();
        CString text;
        m_label.GetWindowText(text);
        shown.push_back({event, BarPos(), text.Str()});
        if (after)
            after(*this, event, r);
    }
};

std::vector<int> BarAfter(const std::vector<Shown>& shown, int event)
{
    std::vector<int> positions;
    for (const auto& s : shown)
        if (s.event == event)
            positions.push_back(s.barPos);
    return positions;
}

/// A transcoder whose events the test sends, as the worker would, from a thread of the test's: for
/// showing exact progress values and errors that a real conversion gives only by chance.
class ScriptedTranscoder final : public IVideoTranscoder
{
public:
    void RegisterCallback(IUIObserver* observer) override
    {
        std::lock_guard lock(m_lock);
        m_observer = observer;
        m_changed.notify_all();
    }
    void UnregisterCallback(IUIObserver* observer) override
    {
        std::lock_guard lock(m_lock);
        if (m_observer == observer)
            m_observer = nullptr;
    }
    IBaseJob* CreateJob(REFGUID) override { return nullptr; }
    IBaseJob* PopJob() override { return nullptr; }
    void ClearJobs() override {}
    HANDLE RunJobQueue() override
    {
        if (failToStart)
            throw COSResourceException("cannot start", 8);
        return nullptr;
    }
    void Halt() override { ++halts; }
    int GetJobCount() override { return jobsQueued; }
    BOOL IsInterJobSyncSet() override { return FALSE; }
    void SetInterJobSync(HANDLE) override {}
    void SignalErrorHandled() override
    {
        std::lock_guard lock(m_lock);
        ++acknowledged;
        m_changed.notify_all();
    }
    std::list<std::string> GetSourceList() override { return {}; }
    std::list<std::string> GetTargetList() override { return {}; }

    /// Sends one event to the registered observer under the instance's lock, as the worker does.
    void Send(int event, const void* data)
    {
        std::lock_guard lock(m_lock);
        if (m_observer)
            m_observer->Notify(WM_TRANSCODER_EVENT, event, data);
    }
    void Start(const char* source, const char* target)
    {
        --jobsQueued;
        const TranscoderJobInfo info{source, target};
        Send(TE_JOB_STARTED, &info);
    }
    void Progress(float time, float inputLength)
    {
        TranscodeProgress progress{};
        progress.time = time;
        progress.inputLength = inputLength;
        Send(TE_JOB_PROGRESS, &progress);
    }
    void Status(int event, const char* source, int code)
    {
        const TranscoderJobStatus status{source, code};
        Send(event, &status);
    }
    void QueueDone(int code) { Send(TE_QUEUE_DONE, &code); }

    bool WaitForObserver()
    {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return m_observer != nullptr; });
    }
    /// Waits, as the worker does after an error, until the error was acknowledged.
    bool WaitForAcknowledgements(int count)
    {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return acknowledged >= count; });
    }

    std::atomic<int> jobsQueued = 0;
    std::atomic<int> halts = 0;
    int acknowledged = 0;
    bool failToStart = false;

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    IUIObserver* m_observer = nullptr;
};

class ConversionDialogTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_parent.CreateEx(0, AfxRegisterWndClass(0), "parent", WS_POPUP | WS_VISIBLE, 10, 10, 600, 400,
                          nullptr, nullptr);
    }
    void TearDown() override
    {
        platform::zorneth::ClearScriptedAnswers();
        m_parent.DestroyWindow();
        if (m_script.joinable())
            m_script.join();
    }

    /// Plays the script on a thread of its own once the dialog has registered.
    void Play(std::function<void()> script)
    {
        m_script = std::thread(
            [this, script = std::move(script)]
            {
                if (m_scripted.WaitForObserver())
                    script();
            });
    }

    CWnd m_parent;
    ScriptedTranscoder m_scripted;
    std::thread m_script;
};

TEST_F(ConversionDialogTest, BarShowsEachJobsShareOfTheQueue)
{
    m_scripted.jobsQueued = 3;
    Play(
        [&]
        {
            auto& t = m_scripted;
            t.Start("/v/a.avi", "/e/a.avi");
            t.Progress(1, 2);
            t.Status(TE_JOB_DONE, "/v/a.avi", 0);
            t.Start("/v/b.avi", "/e/b.avi");
            t.Progress(0.5f, 0); // the input's length is not known yet
            t.Progress(1, 2);
            t.Progress(3, 2); // past the end
            t.Status(TE_JOB_DONE, "/v/b.avi", 0);
            t.Start("/v/c.avi", "/e/c.avi");
            t.Status(TE_JOB_DONE, "/v/c.avi", 0);
            t.QueueDone(0);
        });
    ObservedDialog dialog(&m_scripted, &m_parent);
    EXPECT_EQ(dialog.RunConversion().result, 1);

    EXPECT_EQ(BarAfter(dialog.shown, TE_JOB_STARTED), (std::vector<int>{1, 333, 666}))
        << "0 shows as the lower end";
    EXPECT_EQ(BarAfter(dialog.shown, TE_JOB_PROGRESS), (std::vector<int>{166, 333, 499, 666}));
    EXPECT_EQ(BarAfter(dialog.shown, TE_JOB_DONE), (std::vector<int>{333, 666, 999}));
    EXPECT_EQ(dialog.shown.back().event, TE_QUEUE_DONE);
    EXPECT_EQ(m_scripted.halts, 0);
}

TEST_F(ConversionDialogTest, TextNamesBothFilesAndTheUploadFolderHasItsOwn)
{
    m_scripted.jobsQueued = 2;
    Play(
        [&]
        {
            m_scripted.Start("/home/u/Videos/Video-20240101-001.avi",
                             "/home/u/Emails/a_very_long_video_file_name.avi");
            m_scripted.Start("/home/u/Videos/short.avi", "/home/u/Youtube/short.flv");
            m_scripted.QueueDone(0);
        });
    ObservedDialog dialog(&m_scripted, &m_parent);
    dialog.RunConversion();

    ASSERT_GE(dialog.shown.size(), 2u);
    EXPECT_EQ(
        dialog.shown[0].text,
        "Converting Video...01-001.avi to a_ver...e_name.avi… \nPlease wait and don't unplug the device.");
    EXPECT_EQ(dialog.shown[1].text, "Converting short.avi to short.flv… Please wait.");
}

struct NameCase
{
    const char* name;
    std::string text;
    int maxChars;
    std::string expected;
};

void PrintTo(const NameCase& c, std::ostream* os)
{
    *os << c.name;
}

class ShortenNameTest : public testing::TestWithParam<NameCase>
{
};

TEST_P(ShortenNameTest, KeepsTheStartAndTheEndOfALongName)
{
    EXPECT_EQ(CAviConversionProgressDlg::ShortenName(GetParam().text.c_str(), GetParam().maxChars).Str(),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ShortenNameTest,
    testing::Values(NameCase{"LongTarget", "a_very_long_video_file_name.avi", 15, "a_ver...e_name.avi"},
                    NameCase{"SourceOfTwentyIsWhole", "twenty_characters.av", 20, "twenty_characters.av"},
                    NameCase{"SourceOfTwentyOne", "twenty_one_chars_.avi", 20, "twent...chars_.avi"},
                    NameCase{"TargetOfFifteenIsWhole", "fifteen_chars.x", 15, "fifteen_chars.x"},
                    NameCase{"CutBetweenCharacters", "ééééééé_ünïcødé_ñame.avi", 15, "ééééé...é_ñame.avi"}),
    [](const testing::TestParamInfo<NameCase>& info) { return std::string(info.param.name); });

TEST_F(ConversionDialogTest, ErrorsAreAcknowledgedAndOnlyAccessProblemsAreShown)
{
    platform::zorneth::SetScriptedAnswers({IDOK});
    m_scripted.jobsQueued = 3;
    Play(
        [&]
        {
            auto& t = m_scripted;
            t.Start("/v/full.avi", "/e/full.avi");
            t.Status(TE_JOB_ERROR, "/v/full.avi", kJobErrorDiskFull);
            if (!t.WaitForAcknowledgements(1))
                return;
            t.Start("/v/broken.avi", "/e/broken.avi");
            t.Status(TE_JOB_ERROR, "/v/broken.avi", kJobErrorConverterFailed);
            if (!t.WaitForAcknowledgements(2))
                return;
            t.Start("/v/fine.avi", "/e/fine.avi");
            t.Status(TE_JOB_DONE, "/v/fine.avi", 0);
            t.QueueDone(0);
        });
    ObservedDialog dialog(&m_scripted, &m_parent);
    HWND dialogWindow = nullptr;
    dialog.after = [&](ObservedDialog& d, int, const TranscoderEventRecord&) { dialogWindow = d.m_hWnd; };
    const ConversionOutcome outcome = dialog.RunConversion();

    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(outcome.failedJobs, 2);
    EXPECT_FALSE(outcome.converted) << "a run with failed jobs has not converted everything";
    EXPECT_EQ(m_scripted.acknowledged, 2);
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 1u) << "a converter failure is not shown";
    EXPECT_EQ(boxes[0].Text,
              "There was a problem while accessing full.avi.\nPlease make sure that you have the "
              "necessary rights to access the file\nand that there is sufficient space available in "
              "the destination folder.");
    EXPECT_EQ(boxes[0].Caption, "Error");
    EXPECT_EQ(boxes[0].Style & MB_ICONERROR, MB_ICONERROR);
    EXPECT_EQ(boxes[0].Owner, dialogWindow);
}

struct QueueEndCase
{
    const char* name;
    int code;
    int expectedResult;
    std::size_t boxes;
};

void PrintTo(const QueueEndCase& c, std::ostream* os)
{
    *os << c.name;
}

class QueueEndTest : public ConversionDialogTest, public testing::WithParamInterface<QueueEndCase>
{
};

TEST_P(QueueEndTest, QueueEndDecidesTheResult)
{
    platform::zorneth::SetScriptedAnswers({IDOK});
    Play([&] { m_scripted.QueueDone(GetParam().code); });
    ObservedDialog dialog(&m_scripted, &m_parent);
    EXPECT_EQ(dialog.RunConversion().result, GetParam().expectedResult);
    const auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), GetParam().boxes);
    if (!boxes.empty())
    {
        EXPECT_EQ(boxes[0].Text, "Could not initiate conversion process");
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, QueueEndTest,
                         testing::Values(QueueEndCase{"Done", 0, 1, 0},
                                         QueueEndCase{"RuntimeFailure", -1, 3, 0},
                                         QueueEndCase{"SystemError", 2, 3, 1}),
                         [](const testing::TestParamInfo<QueueEndCase>& info)
                         { return std::string(info.param.name); });

TEST_F(ConversionDialogTest, QueueThatCannotStartFailsWithItsMessage)
{
    platform::zorneth::SetScriptedAnswers({IDOK});
    m_scripted.failToStart = true;
    ObservedDialog dialog(&m_scripted, &m_parent);
    EXPECT_EQ(dialog.RunConversion().result, 3);
    ASSERT_EQ(platform::zorneth::ScriptedBoxes().size(), 1u);
    EXPECT_EQ(platform::zorneth::ScriptedBoxes()[0].Text, "Could not initiate conversion process");
}

TEST_F(ConversionDialogTest, RecordsNeverHandledAreFreedWithTheDialog)
{
    m_scripted.jobsQueued = 1;
    std::atomic<bool> ended = false;
    std::atomic<int> sent = 0;
    Play(
        [&]
        {
            m_scripted.Start("/v/a.avi", "/e/a.avi");
            for (int i = 0; i < 1000 && !ended; ++i, ++sent)
                m_scripted.Progress(static_cast<float>(i) / 1000, 2);
        });
    ObservedDialog dialog(&m_scripted, &m_parent);
    dialog.after = [&](ObservedDialog& d, int event, const TranscoderEventRecord&)
    {
        if (event != TE_JOB_STARTED)
            return;
        // Closed by other means than its events while events are still on their way: these are posted
        // and never handled.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (sent < 10 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        d.EndDialog(0);
    };
    const ConversionOutcome outcome = dialog.RunConversion();
    ended = true;
    m_script.join();

    EXPECT_EQ(outcome.result, 0);
    EXPECT_FALSE(outcome.converted);
    EXPECT_GE(m_scripted.halts, 1) << "a dialog closed during its run halts the transcoder";
    // The dialog's destructor frees them (the sanitizer build sees any that would be lost).
    EXPECT_GE(dialog.PendingRecords(), 10u);
}

// Real conversions ---------------------------------------------------------------------------------------

/// The real transcoder library with real conversions in a fresh folder; no converter may be left behind.
class RealConversionTest : public testing::Test
{
protected:
    void SetUp() override
    {
        instance = m_library.CreateVideoTranscoderInstance();
        ASSERT_NE(instance, nullptr);
        kestavo_test::MakeStandardClip(Path("clip.avi"));
        m_parent.CreateEx(0, AfxRegisterWndClass(0), "parent", WS_POPUP | WS_VISIBLE, 10, 10, 600, 400,
                          nullptr, nullptr);
    }
    void TearDown() override
    {
        m_parent.DestroyWindow();
        if (instance)
            m_library.DeleteVideoTranscoderInstance(instance);
        for (pid_t pid : kestavo_test::ChildProcesses())
            ADD_FAILURE() << "converter process " << pid << " left behind";
    }

    fs::path Path(const std::string& name) const { return m_dir / name; }
    void AddJob(const std::string& source, const std::string& target)
    {
        IBaseJob* job = instance->CreateJob(IID_IEmailMovieJob);
        ASSERT_NE(job, nullptr);
        job->SetSource(Path(source).c_str());
        job->SetTarget(Path(target).c_str());
        auto* rescaler = static_cast<IRescaler*>(job->QueryInterface(IID_IRescaler));
        ASSERT_NE(rescaler, nullptr);
        rescaler->SetSize(SIZE{320, 240});
        rescaler->SetPad(TRUE);
    }

    kestavo_test::KestavoLibrary m_library;
    testing_support::TempDir m_dir;
    IVideoTranscoder* instance = nullptr;
    CWnd m_parent;
};

TEST_F(RealConversionTest, QueueRunsToTheEndAndKeepsItsCopies)
{
    for (int i = 1; i <= 3; ++i)
        AddJob("clip.avi", "out" + std::to_string(i) + ".avi");
    ObservedDialog dialog(instance, &m_parent);
    const ConversionOutcome outcome = dialog.RunConversion();

    EXPECT_EQ(outcome.result, 1);
    EXPECT_TRUE(outcome.converted);
    EXPECT_EQ(BarAfter(dialog.shown, TE_JOB_DONE), (std::vector<int>{333, 666, 999}));
    EXPECT_EQ(BarAfter(dialog.shown, TE_JOB_STARTED), (std::vector<int>{1, 333, 666}))
        << "0 shows as the lower end";
    for (const int pos : BarAfter(dialog.shown, TE_JOB_PROGRESS))
        EXPECT_TRUE(pos >= 0 && pos <= 999) << pos;
    for (int i = 1; i <= 3; ++i)
    {
        const auto probe = kestavo_test::Probe(Path("out" + std::to_string(i) + ".avi"));
        EXPECT_TRUE(probe.ok);
        EXPECT_EQ(probe.width, 320);
    }
    EXPECT_EQ(dialog.PendingRecords(), 0u);
}

TEST_F(RealConversionTest, CancelDuringAJobEndsWithTwoAndLeavesNoCopies)
{
    AddJob("clip.avi", "first.avi");
    AddJob("clip.avi", "second.avi");
    ObservedDialog dialog(instance, &m_parent);
    dialog.after = [&](ObservedDialog& d, int event, const TranscoderEventRecord& r)
    {
        if (event != TE_JOB_STARTED || r.jobIndex != 1)
            return;
        // The converter is held where it stands, so that the cancel surely finds it running.
        const auto converter = kestavo_test::WaitForConverterChild("second.avi");
        ASSERT_TRUE(converter.has_value());
        kill(*converter, SIGSTOP);
        d.ClickCancel();
    };
    const ConversionOutcome outcome = dialog.RunConversion();

    EXPECT_EQ(outcome.result, 2);
    EXPECT_FALSE(outcome.converted);
    EXPECT_TRUE(kestavo_test::ChildProcesses().empty()) << "the converter is ended and waited for";
    EXPECT_FALSE(fs::exists(Path("second.avi")));
    EXPECT_FALSE(fs::exists(Path("first.avi"))) << "nothing of a cancelled run is kept";
    EXPECT_TRUE(fs::exists(Path("clip.avi")));
}

TEST_F(RealConversionTest, FailedJobMakesTheRunFailAndRemovesItsCopies)
{
    std::ofstream(Path("broken.avi")) << "RIFF this is no video at all";
    AddJob("clip.avi", "good.avi");
    AddJob("broken.avi", "bad.avi");
    ObservedDialog dialog(instance, &m_parent);
    const ConversionOutcome outcome = dialog.RunConversion();

    EXPECT_EQ(outcome.result, 1);
    EXPECT_EQ(outcome.failedJobs, 1);
    EXPECT_FALSE(outcome.converted);
    EXPECT_FALSE(fs::exists(Path("good.avi")));
    EXPECT_FALSE(fs::exists(Path("bad.avi")));
    EXPECT_TRUE(fs::exists(Path("clip.avi")));
    EXPECT_TRUE(fs::exists(Path("broken.avi")));
}

TEST_F(RealConversionTest, DialogClosedDuringTheRunHaltsItBeforeItReturns)
{
    AddJob("clip.avi", "first.avi");
    AddJob("clip.avi", "second.avi");
    ObservedDialog dialog(instance, &m_parent);
    dialog.after = [&](ObservedDialog& d, int event, const TranscoderEventRecord&)
    {
        if (event == TE_JOB_STARTED)
            d.EndDialog(0);
    };
    const ConversionOutcome outcome = dialog.RunConversion();

    EXPECT_EQ(outcome.result, 0);
    EXPECT_FALSE(outcome.converted);
    EXPECT_TRUE(kestavo_test::ChildProcesses().empty()) << "the converter is ended and waited for";
    EXPECT_FALSE(fs::exists(Path("first.avi")));
    EXPECT_FALSE(fs::exists(Path("second.avi")));
}
} // namespace
