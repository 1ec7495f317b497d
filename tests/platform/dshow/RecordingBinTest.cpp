#include "MediaProbe.h"

#include "platform/dshow/Devices.h"
#include "platform/dshow/FileWriteHook.h"
#include "platform/dshow/Gst.h"
#include "platform/dshow/RecordingBin_gst.h"
#include "platform/dshow/VirtualCamera.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace platform::dshow;
using namespace std::chrono_literals;

namespace
{
/// A live pipeline like the preview: camera and microphone into tees that may stay unlinked.
class LivePipeline
{
public:
    LivePipeline(const DeviceRecord& camera, const DeviceRecord* microphone)
    {
        gst::EnsureInit();
        m_pipeline = gst_pipeline_new(nullptr);
        VideoMode mode = camera.modes.front();
        GstElement* source = CreateVideoSource(camera, mode, mode.rates.front(), nullptr);
        m_videoTee = gst_element_factory_make("tee", nullptr);
        g_object_set(m_videoTee, "allow-not-linked", TRUE, nullptr);
        GstElement* queue = gst_element_factory_make("queue", nullptr);
        GstElement* preview = gst_element_factory_make("fakesink", nullptr);
        gst_bin_add_many(GST_BIN(m_pipeline), source, m_videoTee, queue, preview, nullptr);
        gst_element_link_many(source, m_videoTee, queue, preview, nullptr);
        GstPad* pad = gst_element_request_pad_simple(m_videoTee, "src_%u");
        GstPad* sink = gst_element_get_static_pad(queue, "sink");
        gst_object_unref(sink);
        gst_object_unref(pad);
        if (microphone)
        {
            GstElement* audio = CreateAudioSource(*microphone, nullptr);
            m_audioTee = gst_element_factory_make("tee", nullptr);
            g_object_set(m_audioTee, "allow-not-linked", TRUE, nullptr);
            gst_bin_add_many(GST_BIN(m_pipeline), audio, m_audioTee, nullptr);
            gst_element_link(audio, m_audioTee);
        }
        GstPad* arrivals = gst_element_get_static_pad(m_videoTee, "sink");
        gst_pad_add_probe(arrivals, GST_PAD_PROBE_TYPE_BUFFER, &LivePipeline::OnFrame, this, nullptr);
        gst_object_unref(arrivals);
        gst_element_set_state(m_pipeline, GST_STATE_PLAYING);
        gst_element_get_state(m_pipeline, nullptr, nullptr, 5 * GST_SECOND);
    }
    ~LivePipeline()
    {
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        gst_object_unref(m_pipeline);
    }
    /// How many frames the camera delivered to the tee between two moments.
    int FramesArrived(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to)
    {
        std::lock_guard lock(m_arrivalsLock);
        int count = 0;
        for (const auto& at : m_arrivals)
            count += at >= from && at <= to ? 1 : 0;
        return count;
    }
    GstElement* Pipeline() const { return m_pipeline; }
    GstElement* VideoTee() const { return m_videoTee; }
    GstElement* AudioTee() const { return m_audioTee; }

private:
    static GstPadProbeReturn OnFrame(GstPad*, GstPadProbeInfo*, gpointer self)
    {
        auto* live = static_cast<LivePipeline*>(self);
        std::lock_guard lock(live->m_arrivalsLock);
        live->m_arrivals.push_back(std::chrono::steady_clock::now());
        return GST_PAD_PROBE_OK;
    }

    GstElement* m_pipeline = nullptr;
    GstElement* m_videoTee = nullptr;
    GstElement* m_audioTee = nullptr;
    std::mutex m_arrivalsLock;
    std::vector<std::chrono::steady_clock::time_point> m_arrivals;
};

DeviceRecord Find(DeviceKind kind, const std::string& path)
{
    for (auto& device : EnumerateDevices(kind))
        if (device.devicePath == path)
            return device;
    return {};
}

class RecordingBinTest : public testing::Test
{
protected:
    void SetUp() override
    {
        platform::VirtualCameraConfig config;
        config.sizes = {{320, 240}};
        config.offerMjpeg = false;
        m_camera = platform::VirtualCamera::Create(config);
        m_microphone = platform::VirtualMicrophone::Create();
    }
    void TearDown() override { SetFileWriteHook({}); }

    std::shared_ptr<platform::VirtualCamera> m_camera;
    std::shared_ptr<platform::VirtualMicrophone> m_microphone;
    testing_support::TempDir m_dir;
};
} // namespace

TEST_F(RecordingBinTest, FileStartsAtLinkTimeAndHasTheRecordedDuration)
{
    DeviceRecord camera = Find(DeviceKind::Video, m_camera->DevicePath());
    DeviceRecord microphone = Find(DeviceKind::Audio, m_microphone->DevicePath());
    ASSERT_FALSE(camera.modes.empty());
    LivePipeline live(camera, &microphone);
    // The preview has run a while before the file stream starts.
    std::this_thread::sleep_for(1s);

    gst::RecordingFormat format;
    format.path = (m_dir / "clip.wmv").string();
    format.width = 640;
    format.height = 480;
    format.quality = 100;
    format.audio = true;
    auto recording = gst::RecordingBin::Create(format, nullptr);
    ASSERT_NE(recording, nullptr);
    bool attached = false;
    const auto start = testing_support::Timed(
        [&] { attached = recording->Attach(live.Pipeline(), live.VideoTee(), live.AudioTee()); });
    ASSERT_TRUE(attached);
    std::this_thread::sleep_for(3s);
    bool finished = false;
    const auto stop = testing_support::Timed([&] { finished = recording->Finish(5s); });
    EXPECT_TRUE(finished);

    auto info = testing_support::ProbeMedia(format.path);
    ASSERT_TRUE(info.readable);
    const auto* video = info.Stream("video");
    const auto* audio = info.Stream("audio");
    ASSERT_NE(video, nullptr);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(video->codec, "wmv2");
    EXPECT_EQ(audio->codec, "wmav2");
    // Frames of 320 x 240 are scaled to the file's size.
    EXPECT_EQ(video->width, 640);
    EXPECT_EQ(video->height, 480);
    EXPECT_NEAR(video->frameRate, 29.97, 0.01);
    EXPECT_TRUE(testing_support::DurationFits(info, start, stop));
    int frames = 0;
    std::string errors;
    EXPECT_TRUE(testing_support::DecodesCleanly(format.path, &frames, &errors)) << errors;
    // Every frame the camera delivered while the recording ran is in the file, give or take the one at
    // each end (a loaded machine makes the camera deliver fewer than its rate, never the file lose one).
    EXPECT_GE(frames, live.FramesArrived(start.returned, stop.began) - 2);
    EXPECT_LE(frames, live.FramesArrived(start.began, stop.returned) + 2);
}

TEST_F(RecordingBinTest, RecordingWithoutAFrameLeavesNoEmptyFile)
{
    // A camera that has not delivered its first frame when the recording stops, made certain by a
    // source that never delivers one.
    gst::EnsureInit();
    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* source = gst_element_factory_make("appsrc", nullptr);
    g_object_set(source, "is-live", TRUE, "format", GST_FORMAT_TIME, nullptr);
    GstElement* tee = gst_element_factory_make("tee", nullptr);
    g_object_set(tee, "allow-not-linked", TRUE, nullptr);
    gst_bin_add_many(GST_BIN(pipeline), source, tee, nullptr);
    ASSERT_TRUE(gst_element_link(source, tee));
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    gst_element_get_state(pipeline, nullptr, nullptr, 5 * GST_SECOND);

    gst::RecordingFormat format;
    format.path = (m_dir / "empty.wmv").string();
    auto recording = gst::RecordingBin::Create(format, nullptr);
    ASSERT_NE(recording, nullptr);
    ASSERT_TRUE(recording->Attach(pipeline, tee, nullptr));
    recording->Finish(5s);
    recording.reset();
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);

    std::error_code error;
    if (std::filesystem::exists(format.path, error))
    {
        EXPECT_GT(std::filesystem::file_size(format.path), 0u);
        EXPECT_TRUE(testing_support::ProbeMedia(format.path).readable);
    }
}

TEST_F(RecordingBinTest, FullDiskPostsOneErrorAndLeavesAPlayableFile)
{
    DeviceRecord camera = Find(DeviceKind::Video, m_camera->DevicePath());
    LivePipeline live(camera, nullptr);
    std::atomic<long> budget{60000};
    SetFileWriteHook(
        [&](int fd, const void* data, size_t size) -> ssize_t
        {
            long left = budget.load();
            if (left <= 0)
            {
                errno = ENOSPC;
                return -1;
            }
            size_t n = std::min<size_t>(size, static_cast<size_t>(left));
            ssize_t written = ::write(fd, data, n);
            if (written > 0)
                budget -= written;
            return written;
        });
    std::atomic<int> noSpace{0};
    std::atomic<int> otherErrors{0};
    GstBus* bus = gst_element_get_bus(live.Pipeline());
    gst_bus_set_sync_handler(
        bus,
        [](GstBus*, GstMessage* message, gpointer data)
        {
            auto* counters = static_cast<std::pair<std::atomic<int>*, std::atomic<int>*>*>(data);
            if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR)
            {
                GError* error = nullptr;
                gst_message_parse_error(message, &error, nullptr);
                if (g_error_matches(error, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NO_SPACE_LEFT))
                    ++*counters->first;
                else
                    ++*counters->second;
                g_error_free(error);
            }
            return GST_BUS_PASS;
        },
        new std::pair<std::atomic<int>*, std::atomic<int>*>(&noSpace, &otherErrors),
        [](gpointer p) { delete static_cast<std::pair<std::atomic<int>*, std::atomic<int>*>*>(p); });
    gst_object_unref(bus);

    gst::RecordingFormat format;
    format.path = (m_dir / "full.wmv").string();
    format.width = 320;
    format.height = 240;
    format.quality = 100;
    auto recording = gst::RecordingBin::Create(format, nullptr);
    ASSERT_TRUE(recording->Attach(live.Pipeline(), live.VideoTee(), nullptr));
    std::this_thread::sleep_for(2500ms);
    EXPECT_TRUE(recording->Finish(5s));
    EXPECT_EQ(noSpace.load(), 1);
    EXPECT_EQ(otherErrors.load(), 0);

    EXPECT_LE(std::filesystem::file_size(format.path), 60000u);
    int frames = 0;
    std::string errors;
    testing_support::DecodesCleanly(format.path, &frames, &errors);
    EXPECT_GT(frames, 5) << errors;
}

// A camera that could not deliver for a while hands out its next frame stamped with the moment it was taken,
// not with a time from before the stall: a recording started meanwhile would otherwise drop it as too old.
TEST_F(RecordingBinTest, FramesAfterAStallCarryTheTimeTheyWereTaken)
{
    DeviceRecord camera = Find(DeviceKind::Video, m_camera->DevicePath());
    ASSERT_FALSE(camera.modes.empty());
    struct Watch
    {
        GstElement* pipeline = nullptr;
        int buffers = 0;
        std::atomic<gint64> lag{-1};
    };
    // Outlives the pipeline whose streaming thread writes it.
    Watch watch;
    LivePipeline live(camera, nullptr);
    watch.pipeline = live.Pipeline();
    gst::PadPtr input(gst_element_get_static_pad(live.VideoTee(), "sink"));
    gst_pad_add_probe(
        input.get(), GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo* info, gpointer data)
        {
            auto& watch = *static_cast<Watch*>(data);
            if (++watch.buffers == 1)
                std::this_thread::sleep_for(1s);
            else if (watch.buffers == 2)
            {
                gst::ObjectPtr<GstClock> clock{gst_element_get_clock(watch.pipeline)};
                const GstClockTime running =
                    gst_clock_get_time(clock.get()) - gst_element_get_base_time(watch.pipeline);
                watch.lag = static_cast<gint64>(running) -
                            static_cast<gint64>(GST_BUFFER_PTS(GST_PAD_PROBE_INFO_BUFFER(info)));
            }
            return GST_PAD_PROBE_OK;
        },
        &watch, nullptr);
    for (int i = 0; i < 1000 && watch.lag < 0; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_GE(watch.lag, 0);
    // The frame generated on schedule would be a whole second behind.
    EXPECT_LT(watch.lag, 500 * GST_MSECOND);
}
