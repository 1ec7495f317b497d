#include "FileSink_gst.h"

#include "FileWriteHook.h"

#include <gst/base/gstbasesink.h>
#include <gst/gst.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace
{
std::mutex g_hookLock;
platform::dshow::FileWriteFunction g_hook;

ssize_t HookedWrite(int fd, const void* data, std::size_t size)
{
    platform::dshow::FileWriteFunction hook;
    {
        std::lock_guard lock(g_hookLock);
        hook = g_hook;
    }
    return hook ? hook(fd, data, size) : ::write(fd, data, size);
}
} // namespace

namespace platform::dshow
{
void SetFileWriteHook(FileWriteFunction hook)
{
    std::lock_guard lock(g_hookLock);
    g_hook = std::move(hook);
}
} // namespace platform::dshow

extern "C"
{
    struct BrevicamFileSink
    {
        GstBaseSink parent;
        gchar* location;
        int fd;
        guint64 position;
        // Size of the file when the first write failed; later writes must stay below it.
        guint64 keptSize;
        gboolean failed;
    };

    struct BrevicamFileSinkClass
    {
        GstBaseSinkClass parentClass;
    };
}

namespace
{
enum
{
    PROP_0,
    PROP_LOCATION
};

GType brevicam_file_sink_get_type();
#define BREVICAM_FILE_SINK(obj) (reinterpret_cast<BrevicamFileSink*>(obj))

gpointer g_parentClass = nullptr;

bool WriteAll(BrevicamFileSink* sink, const guint8* data, gsize size, int* err)
{
    while (size > 0)
    {
        ssize_t written = HookedWrite(sink->fd, data, size);
        if (written < 0)
        {
            if (errno == EINTR)
                continue;
            *err = errno;
            return false;
        }
        if (written == 0)
        {
            *err = ENOSPC;
            return false;
        }
        data += written;
        size -= static_cast<gsize>(written);
        sink->position += static_cast<guint64>(written);
    }
    return true;
}

void OnWriteFailed(BrevicamFileSink* sink, guint64 bufferStart, int err)
{
    // Whatever part of the failing buffer reached the disk is cut off, so the file ends on a whole
    // buffer of the muxer.
    if (ftruncate(sink->fd, static_cast<off_t>(bufferStart)) != 0)
        bufferStart = sink->position;
    sink->keptSize = bufferStart;
    sink->position = bufferStart;
    lseek(sink->fd, static_cast<off_t>(bufferStart), SEEK_SET);
    sink->failed = TRUE;
    if (err == ENOSPC || err == EDQUOT || err == EFBIG)
        GST_ELEMENT_ERROR(sink, RESOURCE, NO_SPACE_LEFT,
                          ("No space left on the disk of \"%s\".", sink->location), ("%s", g_strerror(err)));
    else
        GST_ELEMENT_ERROR(sink, RESOURCE, WRITE, ("Could not write to \"%s\".", sink->location),
                          ("%s", g_strerror(err)));
}

GstFlowReturn Render(GstBaseSink* base, GstBuffer* buffer)
{
    auto* sink = BREVICAM_FILE_SINK(base);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ))
        return GST_FLOW_ERROR;
    guint64 start = sink->position;
    if (sink->failed)
    {
        // Only rewrites of what is already on the disk are tried once the disk refused data.
        if (start + map.size <= sink->keptSize)
        {
            int err = 0;
            if (!WriteAll(sink, map.data, map.size, &err))
                sink->position = start + map.size;
        }
        else
            sink->position = start + map.size;
        gst_buffer_unmap(buffer, &map);
        return GST_FLOW_OK;
    }
    int err = 0;
    if (!WriteAll(sink, map.data, map.size, &err))
        OnWriteFailed(sink, start, err);
    gst_buffer_unmap(buffer, &map);
    return GST_FLOW_OK;
}

gboolean Event(GstBaseSink* base, GstEvent* event)
{
    auto* sink = BREVICAM_FILE_SINK(base);
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEGMENT && sink->fd >= 0)
    {
        const GstSegment* segment = nullptr;
        gst_event_parse_segment(event, &segment);
        if (segment->format == GST_FORMAT_BYTES)
        {
            guint64 target = segment->start;
            if (!sink->failed || target <= sink->keptSize)
                lseek(sink->fd, static_cast<off_t>(target), SEEK_SET);
            sink->position = target;
        }
    }
    return GST_BASE_SINK_CLASS(g_parentClass)->event(base, event);
}

gboolean Start(GstBaseSink* base)
{
    auto* sink = BREVICAM_FILE_SINK(base);
    if (!sink->location || !*sink->location)
    {
        GST_ELEMENT_ERROR(sink, RESOURCE, NOT_FOUND, ("No file name given."), (nullptr));
        return FALSE;
    }
    sink->fd = open(sink->location, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (sink->fd < 0)
    {
        int err = errno;
        GST_ELEMENT_ERROR(sink, RESOURCE, OPEN_WRITE, ("Could not open \"%s\" for writing.", sink->location),
                          ("%s", g_strerror(err)));
        return FALSE;
    }
    sink->position = 0;
    sink->keptSize = 0;
    sink->failed = FALSE;
    return TRUE;
}

gboolean Stop(GstBaseSink* base)
{
    auto* sink = BREVICAM_FILE_SINK(base);
    if (sink->fd >= 0)
    {
        // A recording stopped before its first frame leaves the muxer nothing to write; an empty file
        // under the recording's name would look like a finished but broken video, so none is left.
        struct stat status = {};
        const bool empty = fstat(sink->fd, &status) == 0 && status.st_size == 0;
        close(sink->fd);
        sink->fd = -1;
        if (empty)
            unlink(sink->location);
    }
    return TRUE;
}

gboolean Query(GstBaseSink* base, GstQuery* query)
{
    auto* sink = BREVICAM_FILE_SINK(base);
    switch (GST_QUERY_TYPE(query))
    {
    case GST_QUERY_SEEKING:
    {
        GstFormat format;
        gst_query_parse_seeking(query, &format, nullptr, nullptr, nullptr);
        gst_query_set_seeking(query, format, format == GST_FORMAT_BYTES || format == GST_FORMAT_DEFAULT, 0,
                              -1);
        return TRUE;
    }
    case GST_QUERY_POSITION:
    {
        GstFormat format;
        gst_query_parse_position(query, &format, nullptr);
        if (format != GST_FORMAT_BYTES && format != GST_FORMAT_DEFAULT)
            break;
        gst_query_set_position(query, GST_FORMAT_BYTES, static_cast<gint64>(sink->position));
        return TRUE;
    }
    case GST_QUERY_FORMATS:
        gst_query_set_formats(query, 2, GST_FORMAT_DEFAULT, GST_FORMAT_BYTES);
        return TRUE;
    default:
        break;
    }
    return GST_BASE_SINK_CLASS(g_parentClass)->query(base, query);
}

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec)
{
    auto* sink = BREVICAM_FILE_SINK(object);
    if (id == PROP_LOCATION)
    {
        g_free(sink->location);
        sink->location = g_value_dup_string(value);
    }
    else
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec)
{
    auto* sink = BREVICAM_FILE_SINK(object);
    if (id == PROP_LOCATION)
        g_value_set_string(value, sink->location);
    else
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
}

void Finalize(GObject* object)
{
    auto* sink = BREVICAM_FILE_SINK(object);
    g_free(sink->location);
    if (sink->fd >= 0)
        close(sink->fd);
    G_OBJECT_CLASS(g_parentClass)->finalize(object);
}

void ClassInit(gpointer klass, gpointer)
{
    g_parentClass = g_type_class_peek_parent(klass);
    auto* objectClass = G_OBJECT_CLASS(klass);
    objectClass->set_property = SetProperty;
    objectClass->get_property = GetProperty;
    objectClass->finalize = Finalize;
    g_object_class_install_property(
        objectClass, PROP_LOCATION,
        g_param_spec_string("location", "File location", "The file to write", nullptr,
                            static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS)));

    auto* elementClass = GST_ELEMENT_CLASS(klass);
    static GstStaticPadTemplate sinkTemplate =
        GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);
    gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
    gst_element_class_set_static_metadata(elementClass, "Recording file sink", "Sink/File",
                                          "Writes the recording to a file", "Brevicam");

    auto* baseClass = GST_BASE_SINK_CLASS(klass);
    baseClass->render = Render;
    baseClass->event = Event;
    baseClass->start = Start;
    baseClass->stop = Stop;
    baseClass->query = Query;
}

void InstanceInit(GTypeInstance* instance, gpointer)
{
    auto* sink = BREVICAM_FILE_SINK(instance);
    sink->location = nullptr;
    sink->fd = -1;
    sink->position = 0;
    sink->keptSize = 0;
    sink->failed = FALSE;
    gst_base_sink_set_sync(GST_BASE_SINK(instance), FALSE);
}

GType brevicam_file_sink_get_type()
{
    static GType type = g_type_register_static_simple(
        GST_TYPE_BASE_SINK, "BrevicamFileSink", sizeof(BrevicamFileSinkClass), ClassInit,
        sizeof(BrevicamFileSink), InstanceInit, static_cast<GTypeFlags>(0));
    return type;
}
} // namespace

namespace platform::dshow::gst
{
void RegisterFileSink()
{
    gst_element_register(nullptr, kFileSinkFactory, GST_RANK_NONE, brevicam_file_sink_get_type());
}
} // namespace platform::dshow::gst
