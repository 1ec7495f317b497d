#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <gst/gst.h>

#include <initializer_list>
#include <memory>
#include <string>

/// Small RAII holders and shared helpers for the GStreamer side of the DirectShow layer. Internal to
/// platform_dshow.
namespace platform::dshow::gst
{
struct ObjectUnref
{
    void operator()(gpointer object) const noexcept
    {
        if (object)
            gst_object_unref(object);
    }
};
struct CapsUnref
{
    void operator()(GstCaps* caps) const noexcept
    {
        if (caps)
            gst_caps_unref(caps);
    }
};
struct SampleUnref
{
    void operator()(GstSample* sample) const noexcept
    {
        if (sample)
            gst_sample_unref(sample);
    }
};
struct MessageUnref
{
    void operator()(GstMessage* message) const noexcept
    {
        if (message)
            gst_message_unref(message);
    }
};
struct ErrorFree
{
    void operator()(GError* error) const noexcept
    {
        if (error)
            g_error_free(error);
    }
};
struct GFree
{
    void operator()(gpointer p) const noexcept { g_free(p); }
};

template <typename T> using ObjectPtr = std::unique_ptr<T, ObjectUnref>;
using ElementPtr = ObjectPtr<GstElement>;
using PadPtr = ObjectPtr<GstPad>;
using BusPtr = ObjectPtr<GstBus>;
using CapsPtr = std::unique_ptr<GstCaps, CapsUnref>;
using SamplePtr = std::unique_ptr<GstSample, SampleUnref>;
using MessagePtr = std::unique_ptr<GstMessage, MessageUnref>;
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;
using CharPtr = std::unique_ptr<gchar, GFree>;

/// Initialises GStreamer once per process and registers our own elements; safe from any thread.
PLATFORM_API void EnsureInit();

/// The first of `factories` that is not installed, or "" when all are there.
std::string FirstMissingFactory(std::initializer_list<const char*> factories);

/// Makes an element of `factory`, named `name` when given; null when the factory is missing.
GstElement* MakeElement(const char* factory, const char* name = nullptr);

/// The HRESULT with the meaning of a GStreamer error: a full disk, a busy device, a missing device, a
/// failed write; E_FAIL for everything else.
HRESULT HresultFromError(const GError* error);
} // namespace platform::dshow::gst
