#include "RecordingBin_gst.h"

#include "FileSink_gst.h"
#include "Gst.h"

namespace platform::dshow::gst
{
namespace
{
GstElement* Chain(GstElement* bin, std::initializer_list<GstElement*> elements)
{
    GstElement* previous = nullptr;
    for (GstElement* element : elements)
    {
        gst_bin_add(GST_BIN(bin), element);
        if (previous)
            gst_element_link(previous, element);
        previous = element;
    }
    return *elements.begin();
}

GstElement* Queue(bool leaky)
{
    GstElement* queue = MakeElement("queue");
    if (leaky)
    {
        // A slow disk or encoder drops recorded frames rather than freezing the preview behind the tee.
        g_object_set(queue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                     static_cast<guint64>(3 * GST_SECOND), nullptr);
        gst_util_set_object_arg(G_OBJECT(queue), "leaky", "downstream");
    }
    return queue;
}

GstElement* Filter(GstCaps* caps)
{
    GstElement* filter = MakeElement("capsfilter");
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    return filter;
}

GstPadProbeReturn KeepTimesRising(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    auto* last = static_cast<GstClockTime*>(data);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstClockTime time = GST_BUFFER_DTS_OR_PTS(buffer);
    // The ASF muxer aborts the whole program on a packet without a time or with one before the
    // previous packet's; an encoder draining after its source went away can hand out either.
    if (!GST_CLOCK_TIME_IS_VALID(time) || (GST_CLOCK_TIME_IS_VALID(*last) && time < *last))
        return GST_PAD_PROBE_DROP;
    *last = time;
    return GST_PAD_PROBE_OK;
}

void LinkToMuxer(GstElement* last, GstElement* muxer, const char* templateName)
{
    GstPad* muxPad = gst_element_request_pad_simple(muxer, templateName);
    PadPtr src(gst_element_get_static_pad(last, "src"));
    gst_pad_add_probe(src.get(), GST_PAD_PROBE_TYPE_BUFFER, KeepTimesRising,
                      new GstClockTime(GST_CLOCK_TIME_NONE),
                      [](gpointer data) { delete static_cast<GstClockTime*>(data); });
    gst_pad_link(src.get(), muxPad);
    gst_object_unref(muxPad);
}

GstPad* Ghost(GstElement* bin, GstElement* first, const char* name)
{
    PadPtr sink(gst_element_get_static_pad(first, "sink"));
    // A device that goes away may hand out a last buffer without a time; an encoder would make one up
    // and the ASF muxer aborts the program on timestamps that run backwards.
    gst_pad_add_probe(
        sink.get(), GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo* info, gpointer) {
            return GST_BUFFER_PTS_IS_VALID(GST_PAD_PROBE_INFO_BUFFER(info)) ? GST_PAD_PROBE_OK
                                                                            : GST_PAD_PROBE_DROP;
        },
        nullptr, nullptr);
    GstPad* ghost = gst_ghost_pad_new(name, sink.get());
    gst_element_add_pad(bin, ghost);
    return GST_PAD(gst_object_ref(ghost));
}
} // namespace

std::unique_ptr<RecordingBin> RecordingBin::Create(const RecordingFormat& format, std::string* missing)
{
    std::string absent = FirstMissingFactory({"queue", "videoconvert", "videoscale", "videorate",
                                              "capsfilter", "avenc_wmv2", "identity", "avmux_asf"});
    if (absent.empty() && format.audio)
        absent = FirstMissingFactory({"audioconvert", "audioresample", "avenc_wmav2"});
    if (!absent.empty())
    {
        if (missing)
            *missing = absent;
        return nullptr;
    }
    std::unique_ptr<RecordingBin> recording(new RecordingBin);
    recording->m_bin = GST_ELEMENT(gst_object_ref_sink(gst_bin_new("recording")));
    GstElement* bin = recording->m_bin;

    GstElement* muxer = MakeElement("avmux_asf");
    recording->m_sink = MakeElement(kFileSinkFactory);
    g_object_set(recording->m_sink, "location", format.path.c_str(), nullptr);
    Chain(bin, {muxer, recording->m_sink});

    int rateNum = format.rate.num > 0 && format.rate.den > 0 ? format.rate.num : 30000;
    int rateDen = format.rate.num > 0 && format.rate.den > 0 ? format.rate.den : 1001;
    GstElement* scale = MakeElement("videoscale");
    // The file has the chosen size even when the camera delivers another one: frames are stretched.
    g_object_set(scale, "add-borders", FALSE, nullptr);
    GstElement* encoder = MakeElement("avenc_wmv2");
    int keyFrames = std::max(1, format.keyFrameSeconds) * rateNum / std::max(1, rateDen);
    g_object_set(encoder, "gop-size", keyFrames, nullptr);
    if (format.quality > 0)
    {
        gst_util_set_object_arg(G_OBJECT(encoder), "pass", "quant");
        // Quality 100 is the finest quantizer of the codec; every 5 points less coarsens it by one step.
        float quantizer = 2.0f + static_cast<float>(100 - std::min(format.quality, 100)) / 5.0f;
        g_object_set(encoder, "quantizer", quantizer, nullptr);
    }
    else
        g_object_set(encoder, "bitrate", std::max(format.videoBitrate, 10000), nullptr);
    GstElement* rate = MakeElement("videorate");
    // Without it, videorate would fill the time from the segment start to the first recorded frame.
    g_object_set(rate, "skip-to-first", TRUE, nullptr);
    GstElement* stamp = MakeElement("identity");
    g_object_set(stamp, "single-segment", TRUE, nullptr);
    GstElement* video = Queue(true);
    GstElement* videoLast = MakeElement("queue");
    Chain(bin, {video, MakeElement("videoconvert"), scale, rate,
                Filter(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", "width",
                                           G_TYPE_INT, format.width, "height", G_TYPE_INT, format.height,
                                           "framerate", GST_TYPE_FRACTION, rateNum, rateDen,
                                           "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr)),
                encoder, stamp, videoLast});
    LinkToMuxer(videoLast, muxer, "video_%u");
    recording->m_videoInput = Ghost(bin, video, "video");

    if (format.audio)
    {
        GstElement* audioEncoder = MakeElement("avenc_wmav2");
        g_object_set(audioEncoder, "bitrate", std::max(format.audioBitrate, 32000), nullptr);
        GstElement* audioStamp = MakeElement("identity");
        g_object_set(audioStamp, "single-segment", TRUE, nullptr);
        GstElement* audio = Queue(true);
        GstElement* audioLast = MakeElement("queue");
        Chain(bin, {audio, MakeElement("audioconvert"), MakeElement("audioresample"),
                    Filter(gst_caps_new_simple("audio/x-raw", "rate", G_TYPE_INT, format.sampleRate,
                                               "channels", G_TYPE_INT, format.channels, nullptr)),
                    audioEncoder, audioStamp, audioLast});
        LinkToMuxer(audioLast, muxer, "audio_%u");
        recording->m_audioInput = Ghost(bin, audio, "audio");
    }

    PadPtr sinkPad(gst_element_get_static_pad(recording->m_sink, "sink"));
    gst_pad_add_probe(
        sinkPad.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
        [](GstPad*, GstPadProbeInfo* info, gpointer self)
        {
            if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_EOS)
                static_cast<RecordingBin*>(self)->OnEos();
            return GST_PAD_PROBE_OK;
        },
        recording.get(), nullptr);
    return recording;
}

RecordingBin::~RecordingBin()
{
    Finish(std::chrono::milliseconds(0));
    if (m_videoInput)
        gst_object_unref(m_videoInput);
    if (m_audioInput)
        gst_object_unref(m_audioInput);
    if (m_bin)
    {
        gst_element_set_state(m_bin, GST_STATE_NULL);
        gst_object_unref(m_bin);
    }
}

void RecordingBin::OnEos()
{
    std::lock_guard lock(m_lock);
    m_eos = true;
    m_eosSeen.notify_all();
}

bool RecordingBin::Attach(GstElement* pipeline, GstElement* videoTee, GstElement* audioTee)
{
    if (m_pipeline || !pipeline || !videoTee)
        return false;
    gst_bin_add(GST_BIN(pipeline), m_bin);
    m_pipeline = pipeline;
    GstClockTime running = 0;
    if (ObjectPtr<GstClock> clock{gst_element_get_clock(pipeline)})
    {
        GstClockTime now = gst_clock_get_time(clock.get());
        GstClockTime base = gst_element_get_base_time(pipeline);
        if (now > base)
            running = now - base;
    }
    // Frames carry the pipeline's running time; the file's clock starts when the recording does.
    gst_pad_set_offset(m_videoInput, -static_cast<gint64>(running));
    if (m_audioInput)
        gst_pad_set_offset(m_audioInput, -static_cast<gint64>(running));
    if (!gst_element_sync_state_with_parent(m_bin))
        return false;
    m_videoTee = videoTee;
    m_videoTeePad = gst_element_request_pad_simple(videoTee, "src_%u");
    bool linked = m_videoTeePad && gst_pad_link(m_videoTeePad, m_videoInput) == GST_PAD_LINK_OK;
    if (m_audioInput && audioTee)
    {
        m_audioTee = audioTee;
        m_audioTeePad = gst_element_request_pad_simple(audioTee, "src_%u");
        linked = linked && m_audioTeePad && gst_pad_link(m_audioTeePad, m_audioInput) == GST_PAD_LINK_OK;
    }
    else if (m_audioInput)
        // A recording without a microphone gets a finished, empty audio stream rather than a muxer that
        // waits for it.
        gst_pad_send_event(m_audioInput, gst_event_new_eos());
    return linked;
}

bool RecordingBin::Finish(std::chrono::milliseconds timeout)
{
    if (!m_pipeline)
        return false;
    struct Unlink
    {
        GstPad* input;
        std::mutex lock;
        std::condition_variable signal;
        bool done = false;
    };
    for (auto [teePad, input] :
         {std::pair{m_videoTeePad, m_videoInput}, std::pair{m_audioTeePad, m_audioInput}})
    {
        if (!teePad)
            continue;
        // Unlinking while the tee pushes on that pad would race; the idle probe runs between buffers.
        auto unlink = std::make_shared<Unlink>();
        unlink->input = input;
        gst_pad_add_probe(
            teePad, GST_PAD_PROBE_TYPE_IDLE,
            [](GstPad* pad, GstPadProbeInfo*, gpointer data)
            {
                auto& state = **static_cast<std::shared_ptr<Unlink>*>(data);
                gst_pad_unlink(pad, state.input);
                std::lock_guard lock(state.lock);
                state.done = true;
                state.signal.notify_all();
                return GST_PAD_PROBE_REMOVE;
            },
            new std::shared_ptr<Unlink>(unlink),
            [](gpointer data) { delete static_cast<std::shared_ptr<Unlink>*>(data); });
        std::unique_lock lock(unlink->lock);
        if (!unlink->signal.wait_for(lock, std::chrono::seconds(2), [&] { return unlink->done; }))
            gst_pad_unlink(teePad, input);
    }
    gst_pad_send_event(m_videoInput, gst_event_new_eos());
    if (m_audioInput && m_audioTeePad)
        gst_pad_send_event(m_audioInput, gst_event_new_eos());
    bool finished;
    {
        std::unique_lock lock(m_lock);
        finished = m_eosSeen.wait_for(lock, timeout, [this] { return m_eos; });
    }
    gst_element_set_state(m_bin, GST_STATE_NULL);
    gst_bin_remove(GST_BIN(m_pipeline), m_bin);
    if (m_videoTeePad)
    {
        gst_element_release_request_pad(m_videoTee, m_videoTeePad);
        gst_object_unref(m_videoTeePad);
        m_videoTeePad = nullptr;
    }
    if (m_audioTeePad)
    {
        gst_element_release_request_pad(m_audioTee, m_audioTeePad);
        gst_object_unref(m_audioTeePad);
        m_audioTeePad = nullptr;
    }
    m_pipeline = nullptr;
    return finished;
}
} // namespace platform::dshow::gst
