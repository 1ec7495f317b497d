#include "CameraButton.h"
#include "Devices.h"
#include "Gst.h"
#include "VirtualCamera.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <set>

namespace platform::dshow
{
namespace
{
constexpr const char* kVideoCategoryGuid = "{65e8773d-8f56-11d0-a3b9-00a0c9223196}";

std::string ReadLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

bool ParseHex(const std::string& text, unsigned* value)
{
    if (text.empty() || text.size() > 8)
        return false;
    char* end = nullptr;
    unsigned long v = std::strtoul(text.c_str(), &end, 16);
    if (!end || *end)
        return false;
    *value = static_cast<unsigned>(v);
    return true;
}

void AddRate(std::vector<Fraction>& rates, Fraction rate)
{
    if (rate.num <= 0 || rate.den <= 0)
        return;
    if (std::find(rates.begin(), rates.end(), rate) == rates.end())
        rates.push_back(rate);
}

void CollectRates(const GValue* value, std::vector<Fraction>& rates)
{
    if (!value)
    {
        // A source that does not say delivers what it is given; the usual rate is offered.
        AddRate(rates, {30, 1});
        return;
    }
    if (GST_VALUE_HOLDS_FRACTION(value))
        AddRate(rates, {gst_value_get_fraction_numerator(value), gst_value_get_fraction_denominator(value)});
    else if (GST_VALUE_HOLDS_LIST(value))
    {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i)
            CollectRates(gst_value_list_get_value(value, i), rates);
    }
    else if (GST_VALUE_HOLDS_FRACTION_RANGE(value))
    {
        const GValue* min = gst_value_get_fraction_range_min(value);
        const GValue* max = gst_value_get_fraction_range_max(value);
        Fraction lo{gst_value_get_fraction_numerator(min), gst_value_get_fraction_denominator(min)};
        Fraction hi{gst_value_get_fraction_numerator(max), gst_value_get_fraction_denominator(max)};
        for (int fps : {60, 30, 25, 20, 15, 10, 5})
        {
            double v = fps;
            if (v >= lo.Value() && v <= hi.Value())
                AddRate(rates, {fps, 1});
        }
        if (hi.Value() <= 120.0)
            AddRate(rates, hi);
        else if (rates.empty())
            AddRate(rates, {30, 1});
    }
}

void CollectInts(const GValue* value, std::vector<int>& out, bool width)
{
    if (!value)
        return;
    if (G_VALUE_HOLDS_INT(value))
        out.push_back(g_value_get_int(value));
    else if (GST_VALUE_HOLDS_LIST(value))
    {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i)
            CollectInts(gst_value_list_get_value(value, i), out, width);
    }
    else if (GST_VALUE_HOLDS_INT_RANGE(value))
    {
        int lo = gst_value_get_int_range_min(value);
        int hi = gst_value_get_int_range_max(value);
        // Sources with free sizes (loopback devices) get the common sizes they can take.
        static const int widths[] = {320, 640, 800, 1024, 1280, 1920};
        static const int heights[] = {240, 480, 600, 768, 720, 1080};
        for (int v : width ? widths : heights)
            if (v >= lo && v <= hi)
                out.push_back(v);
    }
}

void CollectFormats(const GValue* value, std::vector<std::string>& out)
{
    if (!value)
        return;
    if (G_VALUE_HOLDS_STRING(value))
        out.emplace_back(g_value_get_string(value));
    else if (GST_VALUE_HOLDS_LIST(value))
        for (guint i = 0; i < gst_value_list_get_size(value); ++i)
            CollectFormats(gst_value_list_get_value(value, i), out);
}

std::string PropertyString(const GstStructure* props, const char* name)
{
    const gchar* value = props ? gst_structure_get_string(props, name) : nullptr;
    return value ? value : "";
}

bool UsbIdsFromProperties(const GstStructure* props, UsbIds* ids)
{
    if (!props)
        return false;
    std::string bus = PropertyString(props, "device.bus");
    if (!bus.empty() && bus != "usb")
        return false;
    unsigned vid = 0;
    unsigned pid = 0;
    if (!ParseHex(PropertyString(props, "device.vendor.id"), &vid) ||
        !ParseHex(PropertyString(props, "device.product.id"), &pid))
        return false;
    ids->vendorId = vid;
    ids->productId = pid;
    ids->interfaceNumber = 0;
    std::string sysfs = PropertyString(props, "sysfs.path");
    // sysfs.path ends in .../<usbdev>/<usbdev>:<config>.<interface>/video4linux/videoN.
    auto cut = sysfs.rfind("/video4linux/");
    if (cut != std::string::npos)
    {
        std::string iface = sysfs.substr(0, cut);
        unsigned n = 0;
        if (ParseHex(ReadLine(iface + "/bInterfaceNumber"), &n))
            ids->interfaceNumber = n;
        auto slash = iface.rfind('/');
        std::string name = slash == std::string::npos ? iface : iface.substr(slash + 1);
        ids->instance = name.substr(0, name.find(':'));
    }
    if (ids->instance.empty())
        ids->instance = PropertyString(props, "device.bus_path");
    return true;
}

std::string SanitizeInstance(std::string text)
{
    for (char& c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '&';
    // Built afresh rather than assigned: GCC 12 warns falsely (-Wrestrict) on a short literal assigned
    // into a string here.
    if (text.empty())
        return std::string(1, '0');
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string NodeName(const std::string& path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool RecordFromVideoDevice(GstDevice* device, DeviceRecord* record)
{
    gst::CapsPtr caps(gst_device_get_caps(device));
    auto modes = ModesFromCaps(caps.get());
    // UVC metadata nodes and output-only nodes deliver no pictures.
    if (modes.empty())
        return false;
    GstStructure* props = gst_device_get_properties(device);
    std::string node = PropertyString(props, "device.path");
    if (node.empty())
        node = PropertyString(props, "api.v4l2.path");
    gst::CharPtr name(gst_device_get_display_name(device));
    UsbIds ids;
    bool usb =
        UsbIdsFromProperties(props, &ids) || (!node.empty() && UsbIdsFromSysfs("/sys", NodeName(node), &ids));
    if (props)
        gst_structure_free(props);

    record->kind = DeviceKind::Video;
    record->friendlyName = name ? name.get() : NodeName(node);
    record->node = node;
    record->modes = std::move(modes);
    if (!node.empty())
        record->buttonNode = CameraButtonNode("/sys", NodeName(node));
    record->stillButton = !record->buttonNode.empty();
    if (usb)
        record->devicePath = UsbVideoDevicePath(ids.vendorId, ids.productId, ids.interfaceNumber,
                                                SanitizeInstance(ids.instance));
    else
        record->devicePath = std::string("\\\\?\\v4l#") + SanitizeInstance(NodeName(node)) + "#" +
                             kVideoCategoryGuid + "\\global";
    gst_object_ref(device);
    record->device.reset(device, [](GstDevice* d) { gst_object_unref(d); });
    return true;
}

bool RecordFromAudioDevice(GstDevice* device, DeviceRecord* record)
{
    GstStructure* props = gst_device_get_properties(device);
    std::string deviceClass = PropertyString(props, "device.class");
    std::string api = PropertyString(props, "device.api");
    if (props)
        gst_structure_free(props);
    // Monitor sources only echo what is played; they are no microphones.
    if (deviceClass == "monitor")
        return false;
    std::string internal;
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(device), "internal-name"))
    {
        gchar* value = nullptr;
        g_object_get(device, "internal-name", &value, nullptr);
        if (value)
            internal = value;
        g_free(value);
    }
    gst::CharPtr name(gst_device_get_display_name(device));
    record->kind = DeviceKind::Audio;
    record->friendlyName = name ? name.get() : internal;
    record->node = internal;
    record->devicePath = (api.empty() ? std::string("audio") : api) + ":" +
                         (internal.empty() ? record->friendlyName : internal);
    gst_object_ref(device);
    record->device.reset(device, [](GstDevice* d) { gst_object_unref(d); });
    return true;
}

/// The devices of the running device watch, or null when none runs (WatchState below).
GList* WatchedDevices(bool* running);

std::vector<DeviceRecord> RealDevices(DeviceKind kind)
{
    std::vector<DeviceRecord> result;
    if (kind == DeviceKind::Video && !gst::FirstMissingFactory({"v4l2src"}).empty())
        return result;
    if (kind == DeviceKind::Audio && !gst::FirstMissingFactory({"pulsesrc"}).empty())
        return result;
    const char* deviceClass = kind == DeviceKind::Video ? "Video/Source" : "Audio/Source";
    // A second monitor would start the providers again; while the watch runs, its list is current.
    bool watched = false;
    GList* devices = WatchedDevices(&watched);
    gst::ObjectPtr<GstDeviceMonitor> monitor;
    if (!watched)
    {
        monitor.reset(gst_device_monitor_new());
        gst_device_monitor_add_filter(monitor.get(), deviceClass, nullptr);
        if (!gst_device_monitor_start(monitor.get()))
            return result;
        devices = gst_device_monitor_get_devices(monitor.get());
    }
    for (GList* it = devices; it; it = it->next)
    {
        auto* device = GST_DEVICE(it->data);
        if (!gst_device_has_classes(device, deviceClass))
            continue;
        DeviceRecord record;
        bool ok = kind == DeviceKind::Video ? RecordFromVideoDevice(device, &record)
                                            : RecordFromAudioDevice(device, &record);
        if (ok)
            result.push_back(std::move(record));
    }
    g_list_free_full(devices, gst_object_unref);
    if (monitor)
        gst_device_monitor_stop(monitor.get());
    return result;
}
} // namespace

std::vector<VideoMode> ModesFromCaps(const GstCaps* caps)
{
    std::vector<VideoMode> modes;
    if (!caps || gst_caps_is_any(caps))
        return modes;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i)
    {
        const GstStructure* s = gst_caps_get_structure(caps, i);
        std::vector<std::string> formats;
        if (gst_structure_has_name(s, "image/jpeg"))
            formats.emplace_back("MJPG");
        else if (gst_structure_has_name(s, "video/x-raw"))
        {
            GstCapsFeatures* features = gst_caps_get_features(caps, i);
            if (features && !gst_caps_features_is_any(features) &&
                !gst_caps_features_contains(features, GST_CAPS_FEATURE_MEMORY_SYSTEM_MEMORY))
                continue;
            CollectFormats(gst_structure_get_value(s, "format"), formats);
        }
        else
            continue;
        std::vector<int> widths;
        std::vector<int> heights;
        CollectInts(gst_structure_get_value(s, "width"), widths, true);
        CollectInts(gst_structure_get_value(s, "height"), heights, false);
        if (widths.empty() || heights.empty())
            continue;
        bool ranged = GST_VALUE_HOLDS_INT_RANGE(gst_structure_get_value(s, "width"));
        std::vector<Fraction> rates;
        CollectRates(gst_structure_get_value(s, "framerate"), rates);
        std::sort(rates.begin(), rates.end(),
                  [](const Fraction& a, const Fraction& b) { return a.Value() > b.Value(); });
        if (rates.empty())
            continue;
        for (const auto& format : formats)
            for (size_t w = 0; w < widths.size(); ++w)
                for (size_t h = 0; h < heights.size(); ++h)
                {
                    // A range pairs each common width with its own height; fixed lists are crossed.
                    if (ranged && w != h)
                        continue;
                    auto same = std::find_if(modes.begin(), modes.end(),
                                             [&](const VideoMode& m) {
                                                 return m.format == format && m.width == widths[w] &&
                                                        m.height == heights[h];
                                             });
                    if (same == modes.end())
                        modes.push_back({format, widths[w], heights[h], rates});
                    else
                        for (const auto& r : rates)
                            AddRate(same->rates, r);
                }
    }
    return modes;
}

GstCaps* CapsForMode(const VideoMode& mode, Fraction rate)
{
    if (mode.format == "MJPG")
        return gst_caps_new_simple("image/jpeg", "width", G_TYPE_INT, mode.width, "height", G_TYPE_INT,
                                   mode.height, "framerate", GST_TYPE_FRACTION, rate.num, rate.den, nullptr);
    return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, mode.format.c_str(), "width",
                               G_TYPE_INT, mode.width, "height", G_TYPE_INT, mode.height, "framerate",
                               GST_TYPE_FRACTION, rate.num, rate.den, nullptr);
}

std::string UsbVideoDevicePath(unsigned vendorId, unsigned productId, unsigned interfaceNumber,
                               const std::string& instance)
{
    char head[64];
    std::snprintf(head, sizeof head, "\\\\?\\usb#vid_%04x&pid_%04x&mi_%02x#", vendorId & 0xFFFF,
                  productId & 0xFFFF, interfaceNumber & 0xFF);
    return std::string(head) + instance + "#" + kVideoCategoryGuid + "\\global";
}

bool UsbIdsFromSysfs(const std::string& sysfsRoot, const std::string& videoNodeName, UsbIds* ids)
{
    std::string iface = sysfsRoot + "/class/video4linux/" + videoNodeName + "/device";
    std::string usbDevice = iface + "/..";
    unsigned vid = 0;
    unsigned pid = 0;
    if (!ParseHex(ReadLine(usbDevice + "/idVendor"), &vid) ||
        !ParseHex(ReadLine(usbDevice + "/idProduct"), &pid))
        return false;
    ids->vendorId = vid;
    ids->productId = pid;
    unsigned n = 0;
    ids->interfaceNumber = ParseHex(ReadLine(iface + "/bInterfaceNumber"), &n) ? n : 0;
    std::string devpath = ReadLine(usbDevice + "/devpath");
    std::string busnum = ReadLine(usbDevice + "/busnum");
    ids->instance = busnum.empty() ? devpath : busnum + "-" + devpath;
    if (ids->instance.empty())
        ids->instance = videoNodeName;
    return true;
}

GstElement* CreateVideoSource(const DeviceRecord& device, const VideoMode& mode, Fraction rate,
                              std::string* missing)
{
    gst::EnsureInit();
    std::string absent = gst::FirstMissingFactory({"capsfilter", "queue"});
    if (absent.empty() && mode.format == "MJPG")
        absent = gst::FirstMissingFactory({"jpegdec"});
    if (absent.empty() && !device.virtualCamera)
        absent = gst::FirstMissingFactory({"v4l2src"});
    if (!absent.empty())
    {
        if (missing)
            *missing = absent;
        return nullptr;
    }
    GstElement* source = nullptr;
    if (device.virtualCamera)
        source = device.virtualCamera->CreateSource(mode.format, mode.width, mode.height, rate.num, rate.den);
    else if (device.device)
        source = gst_device_create_element(device.device.get(), "device");
    if (!source)
    {
        source = gst::MakeElement("v4l2src", "device");
        if (source)
            g_object_set(source, "device", device.node.c_str(), nullptr);
    }
    if (!source)
    {
        if (missing)
            *missing = device.virtualCamera ? "videotestsrc" : "v4l2src";
        return nullptr;
    }
    GstElement* bin = gst_bin_new(nullptr);
    GstElement* filter = gst::MakeElement("capsfilter");
    gst::CapsPtr caps(CapsForMode(mode, rate));
    g_object_set(filter, "caps", caps.get(), nullptr);
    gst_bin_add_many(GST_BIN(bin), source, filter, nullptr);
    gst_element_link(source, filter);
    GstElement* last = filter;
    if (mode.format == "MJPG")
    {
        GstElement* decoder = gst::MakeElement("jpegdec");
        gst_bin_add(GST_BIN(bin), decoder);
        gst_element_link(last, decoder);
        last = decoder;
    }
    gst::PadPtr pad(gst_element_get_static_pad(last, "src"));
    gst_element_add_pad(bin, gst_ghost_pad_new("src", pad.get()));
    return bin;
}

GstElement* CreateAudioSource(const DeviceRecord& device, std::string* missing)
{
    gst::EnsureInit();
    if (device.virtualMicrophone)
    {
        GstElement* source = device.virtualMicrophone->CreateSource();
        if (!source && missing)
            *missing = "audiotestsrc";
        return source;
    }
    std::string absent = gst::FirstMissingFactory({"pulsesrc"});
    if (!absent.empty())
    {
        if (missing)
            *missing = absent;
        return nullptr;
    }
    GstElement* source = device.device ? gst_device_create_element(device.device.get(), "device") : nullptr;
    if (!source)
    {
        source = gst::MakeElement("pulsesrc", "device");
        if (!device.node.empty())
            g_object_set(source, "device", device.node.c_str(), nullptr);
    }
    return source;
}
} // namespace platform::dshow

namespace platform::dshow
{
std::vector<DeviceRecord> EnumerateDevices(DeviceKind kind)
{
    gst::EnsureInit();
    VirtualCamera::EnableFromEnvironment();
    std::vector<DeviceRecord> result = RealDevices(kind);
    if (kind == DeviceKind::Video)
    {
        for (auto& camera : PluggedVirtualCameras())
        {
            DeviceRecord record;
            record.kind = DeviceKind::Video;
            record.friendlyName = camera->Config().name;
            record.devicePath = camera->DevicePath();
            record.stillButton = camera->Config().stillButton;
            for (const auto& size : camera->Config().sizes)
            {
                std::vector<Fraction> rates{{camera->Config().framesPerSecond, 1}};
                if (camera->Config().framesPerSecond % 2 == 0)
                    rates.push_back({camera->Config().framesPerSecond / 2, 1});
                if (camera->Config().offerYuy2)
                    record.modes.push_back(
                        {"YUY2", static_cast<int>(size.cx), static_cast<int>(size.cy), rates});
                if (camera->Config().offerMjpeg)
                    record.modes.push_back(
                        {"MJPG", static_cast<int>(size.cx), static_cast<int>(size.cy), rates});
            }
            record.virtualCamera = camera;
            result.push_back(std::move(record));
        }
    }
    else
    {
        for (auto& microphone : PluggedVirtualMicrophones())
        {
            DeviceRecord record;
            record.kind = DeviceKind::Audio;
            record.friendlyName = microphone->Name();
            record.devicePath = microphone->DevicePath();
            record.virtualMicrophone = microphone;
            result.push_back(std::move(record));
        }
    }
    return result;
}

namespace
{
struct WatchState
{
    std::mutex lock;
    std::map<int, DeviceWatch::Listener> listeners;
    int nextId = 1;
    // Starting and stopping the monitor happen outside `lock`: providers announce the devices they
    // find while they start, on their own threads, and those announcements take `lock`.
    std::mutex monitorLock;
    gst::ObjectPtr<GstDeviceMonitor> monitor;
    std::atomic<bool> starting{false};
};

WatchState& Watch()
{
    static auto* state = new WatchState;
    return *state;
}

GstBusSyncReply OnMonitorMessage(GstBus*, GstMessage* message, gpointer)
{
    GstDevice* device = nullptr;
    bool arrived = false;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_DEVICE_ADDED)
    {
        gst_message_parse_device_added(message, &device);
        arrived = true;
    }
    else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_DEVICE_REMOVED)
        gst_message_parse_device_removed(message, &device);
    // The devices found while the monitor starts were there before: no arrivals.
    if (device && !(arrived && Watch().starting))
    {
        DeviceRecord record;
        bool ok = gst_device_has_classes(device, "Video/Source") ? RecordFromVideoDevice(device, &record)
                                                                 : RecordFromAudioDevice(device, &record);
        if (ok)
            DeviceWatch::Announce(record.kind, record.devicePath, arrived);
    }
    if (device)
        gst_object_unref(device);
    gst_message_unref(message);
    return GST_BUS_DROP;
}

GList* WatchedDevices(bool* running)
{
    auto& state = Watch();
    std::lock_guard lock(state.monitorLock);
    *running = state.monitor != nullptr;
    return state.monitor ? gst_device_monitor_get_devices(state.monitor.get()) : nullptr;
}

void StartMonitor(WatchState& state)
{
    std::lock_guard lock(state.monitorLock);
    if (state.monitor)
        return;
    gst::ObjectPtr<GstDeviceMonitor> monitor(gst_device_monitor_new());
    if (gst::FirstMissingFactory({"v4l2src"}).empty())
        gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
    if (gst::FirstMissingFactory({"pulsesrc"}).empty())
        gst_device_monitor_add_filter(monitor.get(), "Audio/Source", nullptr);
    gst::BusPtr bus(gst_device_monitor_get_bus(monitor.get()));
    gst_bus_set_sync_handler(bus.get(), OnMonitorMessage, nullptr, nullptr);
    state.starting = true;
    bool started = gst_device_monitor_start(monitor.get());
    state.starting = false;
    if (started)
        state.monitor = std::move(monitor);
}
} // namespace

int DeviceWatch::Subscribe(Listener listener)
{
    gst::EnsureInit();
    auto& state = Watch();
    int id;
    {
        std::lock_guard lock(state.lock);
        id = state.nextId++;
        state.listeners.emplace(id, std::move(listener));
    }
    StartMonitor(state);
    return id;
}

void DeviceWatch::Unsubscribe(int id)
{
    auto& state = Watch();
    {
        std::lock_guard lock(state.lock);
        state.listeners.erase(id);
        if (!state.listeners.empty())
            return;
    }
    std::lock_guard monitorLock(state.monitorLock);
    {
        std::lock_guard lock(state.lock);
        if (!state.listeners.empty())
            return;
    }
    if (state.monitor)
    {
        gst_device_monitor_stop(state.monitor.get());
        state.monitor.reset();
    }
}

void DeviceWatch::Announce(DeviceKind kind, const std::string& devicePath, bool arrived)
{
    auto& state = Watch();
    std::vector<Listener> listeners;
    {
        std::lock_guard lock(state.lock);
        for (auto& [id, listener] : state.listeners)
            listeners.push_back(listener);
    }
    for (auto& listener : listeners)
        listener(kind, devicePath, arrived);
}

bool DeviceWatch::IsPresent(const DeviceRecord& device)
{
    if (device.virtualCamera)
        return device.virtualCamera->IsPlugged();
    if (device.virtualMicrophone)
        return device.virtualMicrophone->IsPlugged();
    if (device.kind == DeviceKind::Video && !device.node.empty())
        return g_file_test(device.node.c_str(), G_FILE_TEST_EXISTS);
    return true;
}
} // namespace platform::dshow
