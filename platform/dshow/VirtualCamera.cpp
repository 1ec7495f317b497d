#include "VirtualCamera.h"

#include "Devices.h"
#include "Gst.h"

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>

namespace platform
{
struct VirtualCamera::State
{
    std::atomic<bool> busy{false};
    std::atomic<bool> plugged{true};
    std::atomic<int> errorGeneration{0};
    std::mutex lock;
    std::map<int, std::function<void()>> stillListeners;
    std::map<long, long> controls;
    int nextListener = 1;
};

namespace
{
using platform::dshow::DeviceKind;
using platform::dshow::DeviceWatch;
namespace gst = platform::dshow::gst;

std::mutex g_registryLock;
std::vector<std::weak_ptr<VirtualCamera>> g_cameras;
std::vector<std::weak_ptr<VirtualMicrophone>> g_microphones;
int g_serial = 0;

// Per running source: what the camera looked like when the stream started.
struct SourceProbe
{
    std::shared_ptr<VirtualCamera::State> state;
    std::shared_ptr<std::atomic<bool>> plugged;
    GstElement* poster = nullptr;
    int errorGeneration = 0;
    bool started = false;
    bool failed = false;
};

void PostError(GstElement* element, GQuark domain, int code, const char* text)
{
    GError* error = g_error_new_literal(domain, code, text);
    gst_element_post_message(element, gst_message_new_error(GST_OBJECT(element), error, text));
    g_error_free(error);
}

/// A camera stamps each frame with the moment it was taken. The test pattern generator stamps frames with
/// its own schedule instead, which falls ever further behind on a starved processor; recorded frames would
/// then carry times from before the recording began.
void StampWithCaptureTime(GstElement* source, GstPadProbeInfo* info)
{
    gst::ObjectPtr<GstClock> clock{gst_element_get_clock(source)};
    if (!clock)
        return;
    const GstClockTime now = gst_clock_get_time(clock.get());
    const GstClockTime base = gst_element_get_base_time(source);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    if (now <= base || !GST_BUFFER_PTS_IS_VALID(buffer) || GST_BUFFER_PTS(buffer) >= now - base)
        return;
    buffer = gst_buffer_make_writable(buffer);
    GST_BUFFER_PTS(buffer) = now - base;
    GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
}

GstPadProbeReturn OnCameraBuffer(GstPad*, GstPadProbeInfo* info, gpointer data)
{
    auto* probe = static_cast<SourceProbe*>(data);
    if (probe->failed)
        return GST_PAD_PROBE_DROP;
    const auto& state = *probe->state;
    if (!probe->started)
    {
        probe->started = true;
        if (state.busy)
        {
            probe->failed = true;
            PostError(probe->poster, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_BUSY,
                      "Device is busy: another program uses the camera.");
            return GST_PAD_PROBE_DROP;
        }
    }
    if (!state.plugged)
    {
        probe->failed = true;
        PostError(probe->poster, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_FOUND,
                  "The camera was unplugged.");
        return GST_PAD_PROBE_DROP;
    }
    if (state.errorGeneration != probe->errorGeneration)
    {
        probe->failed = true;
        PostError(probe->poster, GST_STREAM_ERROR, GST_STREAM_ERROR_FAILED, "The camera stopped streaming.");
        return GST_PAD_PROBE_DROP;
    }
    StampWithCaptureTime(probe->poster, info);
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn OnMicrophoneBuffer(GstPad*, GstPadProbeInfo*, gpointer data)
{
    auto* probe = static_cast<SourceProbe*>(data);
    if (probe->failed)
        return GST_PAD_PROBE_DROP;
    if (!*probe->plugged)
    {
        probe->failed = true;
        PostError(probe->poster, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NOT_FOUND,
                  "The microphone was unplugged.");
        return GST_PAD_PROBE_DROP;
    }
    return GST_PAD_PROBE_OK;
}

GstElement* MakeBin(std::initializer_list<GstElement*> chain)
{
    GstElement* bin = gst_bin_new(nullptr);
    GstElement* previous = nullptr;
    for (GstElement* element : chain)
    {
        gst_bin_add(GST_BIN(bin), element);
        if (previous)
            gst_element_link(previous, element);
        previous = element;
    }
    gst::PadPtr pad(gst_element_get_static_pad(previous, "src"));
    gst_element_add_pad(bin, gst_ghost_pad_new("src", pad.get()));
    return bin;
}

GstElement* CapsFilter(GstCaps* caps)
{
    GstElement* filter = gst::MakeElement("capsfilter");
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    return filter;
}
} // namespace

VirtualCamera::VirtualCamera(VirtualCameraConfig config, int serial)
    : m_config(std::move(config)), m_state(std::make_shared<State>())
{
    m_devicePath = dshow::UsbVideoDevicePath(m_config.vendorId, m_config.productId, 0,
                                             "virtual&" + std::to_string(serial));
}

VirtualCamera::~VirtualCamera() = default;

std::shared_ptr<VirtualCamera> VirtualCamera::Create(VirtualCameraConfig config)
{
    std::lock_guard lock(g_registryLock);
    std::shared_ptr<VirtualCamera> camera(new VirtualCamera(std::move(config), ++g_serial));
    g_cameras.push_back(camera);
    return camera;
}

void VirtualCamera::EnableFromEnvironment()
{
    static std::once_flag once;
    static std::shared_ptr<VirtualCamera> camera;
    std::call_once(once,
                   []
                   {
                       const char* value = std::getenv("BREVICAM_VIRTUAL_CAMERA");
                       if (!value || !*value || std::string(value) == "0")
                           return;
                       // "raw" offers uncompressed frames only, as a camera without Motion JPEG does.
                       VirtualCameraConfig config;
                       config.offerMjpeg = std::string(value) != "raw";
                       camera = Create(config);
                   });
}

void VirtualCamera::SetBusy(bool busy)
{
    m_state->busy = busy;
}

bool VirtualCamera::IsBusy() const
{
    return m_state->busy;
}

void VirtualCamera::Unplug()
{
    if (m_state->plugged.exchange(false))
        DeviceWatch::Announce(DeviceKind::Video, m_devicePath, false);
}

void VirtualCamera::Plug()
{
    if (!m_state->plugged.exchange(true))
        DeviceWatch::Announce(DeviceKind::Video, m_devicePath, true);
}

bool VirtualCamera::IsPlugged() const
{
    return m_state->plugged;
}

void VirtualCamera::InjectStreamError()
{
    ++m_state->errorGeneration;
}

void VirtualCamera::PressStillButton()
{
    std::vector<std::function<void()>> listeners;
    {
        std::lock_guard lock(m_state->lock);
        for (auto& [id, listener] : m_state->stillListeners)
            listeners.push_back(listener);
    }
    for (auto& listener : listeners)
        listener();
}

long VirtualCamera::ControlValue(long property, long fallback) const
{
    std::lock_guard lock(m_state->lock);
    auto it = m_state->controls.find(property);
    return it == m_state->controls.end() ? fallback : it->second;
}

void VirtualCamera::SetControlValue(long property, long value)
{
    std::lock_guard lock(m_state->lock);
    m_state->controls[property] = value;
}

int VirtualCamera::AddStillListener(std::function<void()> listener)
{
    std::lock_guard lock(m_state->lock);
    int id = m_state->nextListener++;
    m_state->stillListeners.emplace(id, std::move(listener));
    return id;
}

void VirtualCamera::RemoveStillListener(int id)
{
    std::lock_guard lock(m_state->lock);
    m_state->stillListeners.erase(id);
}

GstElement* VirtualCamera::CreateSource(const std::string& format, int width, int height, int rateNum,
                                        int rateDen)
{
    gst::EnsureInit();
    bool mjpeg = format == "MJPG";
    if (!gst::FirstMissingFactory({"videotestsrc", "capsfilter"}).empty() ||
        (m_config.clockOverlay && !gst::FirstMissingFactory({"clockoverlay"}).empty()) ||
        (mjpeg && !gst::FirstMissingFactory({"jpegenc"}).empty()))
        return nullptr;
    GstElement* source = gst::MakeElement("videotestsrc");
    g_object_set(source, "is-live", TRUE, nullptr);
    gst_util_set_object_arg(G_OBJECT(source), "pattern", m_config.pattern.c_str());
    // The pattern is drawn in the format delivered (I420 for the JPEG encoder), so that no conversion
    // follows; the clock is drawn in any of them.
    GstElement* raw = CapsFilter(gst_caps_new_simple(
        "video/x-raw", "format", G_TYPE_STRING, mjpeg ? "I420" : format.c_str(), "width", G_TYPE_INT, width,
        "height", G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION, rateNum, rateDen, nullptr));
    GstElement* overlay = nullptr;
    if (m_config.clockOverlay)
    {
        overlay = gst::MakeElement("clockoverlay");
        g_object_set(overlay, "time-format", "%H:%M:%S", "font-desc", "Sans 10", nullptr);
        gst_util_set_object_arg(G_OBJECT(overlay), "halignment", "right");
        gst_util_set_object_arg(G_OBJECT(overlay), "valignment", "bottom");
    }
    GstElement* bin = nullptr;
    if (mjpeg)
    {
        GstElement* encoder = gst::MakeElement("jpegenc");
        GstElement* out = CapsFilter(gst_caps_new_simple("image/jpeg", "width", G_TYPE_INT, width, "height",
                                                         G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION,
                                                         rateNum, rateDen, nullptr));
        bin = overlay ? MakeBin({source, raw, overlay, encoder, out}) : MakeBin({source, raw, encoder, out});
    }
    else
        bin = overlay ? MakeBin({source, raw, overlay}) : MakeBin({source, raw});
    auto* probe = new SourceProbe;
    probe->state = m_state;
    probe->poster = source;
    probe->errorGeneration = m_state->errorGeneration;
    gst::PadPtr pad(gst_element_get_static_pad(source, "src"));
    gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, OnCameraBuffer, probe,
                      [](gpointer p) { delete static_cast<SourceProbe*>(p); });
    return bin;
}

VirtualMicrophone::VirtualMicrophone(std::string name, int sampleRate, int channels, int serial)
    : m_name(std::move(name)), m_sampleRate(sampleRate), m_channels(channels),
      m_plugged(std::make_shared<std::atomic<bool>>(true))
{
    m_devicePath = "virtual:microphone&" + std::to_string(serial);
}

VirtualMicrophone::~VirtualMicrophone() = default;

std::shared_ptr<VirtualMicrophone> VirtualMicrophone::Create(std::string name, int sampleRate, int channels)
{
    std::lock_guard lock(g_registryLock);
    std::shared_ptr<VirtualMicrophone> microphone(
        new VirtualMicrophone(std::move(name), sampleRate, channels, ++g_serial));
    g_microphones.push_back(microphone);
    return microphone;
}

void VirtualMicrophone::Unplug()
{
    if (m_plugged->exchange(false))
        DeviceWatch::Announce(DeviceKind::Audio, m_devicePath, false);
}

void VirtualMicrophone::Plug()
{
    if (!m_plugged->exchange(true))
        DeviceWatch::Announce(DeviceKind::Audio, m_devicePath, true);
}

bool VirtualMicrophone::IsPlugged() const
{
    return *m_plugged;
}

GstElement* VirtualMicrophone::CreateSource()
{
    gst::EnsureInit();
    if (!gst::FirstMissingFactory({"audiotestsrc", "capsfilter"}).empty())
        return nullptr;
    GstElement* source = gst::MakeElement("audiotestsrc");
    g_object_set(source, "is-live", TRUE, "freq", 440.0, "volume", 0.3, nullptr);
    GstElement* caps = CapsFilter(gst_caps_new_simple(
        "audio/x-raw", "format", G_TYPE_STRING, "S16LE", "rate", G_TYPE_INT, m_sampleRate, "channels",
        G_TYPE_INT, m_channels, "layout", G_TYPE_STRING, "interleaved", nullptr));
    GstElement* bin = MakeBin({source, caps});
    auto* probe = new SourceProbe;
    probe->plugged = m_plugged;
    probe->poster = source;
    gst::PadPtr pad(gst_element_get_static_pad(source, "src"));
    gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, OnMicrophoneBuffer, probe,
                      [](gpointer p) { delete static_cast<SourceProbe*>(p); });
    return bin;
}
} // namespace platform

namespace platform::dshow
{
std::vector<std::shared_ptr<VirtualCamera>> PluggedVirtualCameras()
{
    std::lock_guard lock(g_registryLock);
    std::vector<std::shared_ptr<VirtualCamera>> result;
    std::erase_if(g_cameras, [](const auto& weak) { return weak.expired(); });
    for (auto& weak : g_cameras)
        if (auto camera = weak.lock(); camera && camera->IsPlugged())
            result.push_back(camera);
    return result;
}

std::vector<std::shared_ptr<VirtualMicrophone>> PluggedVirtualMicrophones()
{
    std::lock_guard lock(g_registryLock);
    std::vector<std::shared_ptr<VirtualMicrophone>> result;
    std::erase_if(g_microphones, [](const auto& weak) { return weak.expired(); });
    for (auto& weak : g_microphones)
        if (auto microphone = weak.lock(); microphone && microphone->IsPlugged())
            result.push_back(microphone);
    return result;
}
} // namespace platform::dshow
