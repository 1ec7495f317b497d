#include "Gst.h"
#include "StandardFilters_gst.h"

#include "platform/com/Com.h"
#include "platform/dshow/DShow.h"

namespace platform::dshow
{
namespace
{
HRESULT Checked(std::initializer_list<const char*> factories, HRESULT (*create)(IUnknown*, REFIID, void**),
                IUnknown* outer, REFIID iid, void** object)
{
    if (object)
        *object = nullptr;
    std::string missing = gst::FirstMissingFactory(factories);
    if (!missing.empty())
    {
        // Without its element a filter would only give a black picture or an empty file later.
        g_warning("The GStreamer element \"%s\" is missing.", missing.c_str());
        return REGDB_E_CLASSNOTREG;
    }
    return create(outer, iid, object);
}

/// The classes of the capture layer, registered with the object model when the library is loaded. A
/// filter whose GStreamer elements are not installed cannot be made.
struct Registration
{
    Registration()
    {
        using platform::com::RegisterBuiltinClass;
        RegisterBuiltinClass(
            CLSID_FilterGraph,
            [](IUnknown* outer, REFIID iid, void** object) {
                return Checked({"queue", "tee", "fakesink"}, &CreateFilterGraph, outer, iid, object);
            });
        RegisterBuiltinClass(CLSID_CaptureGraphBuilder2, &CreateCaptureGraphBuilder);
        RegisterBuiltinClass(CLSID_SystemDeviceEnum, &CreateSystemDeviceEnum);
        RegisterBuiltinClass(CLSID_SmartTee, [](IUnknown* outer, REFIID iid, void** object)
                             { return Checked({"tee"}, &CreateSmartTee, outer, iid, object); });
        RegisterBuiltinClass(CLSID_Colour,
                             [](IUnknown* outer, REFIID iid, void** object) {
                                 return Checked({"videoconvert"}, &CreateColourConverter, outer, iid, object);
                             });
        RegisterBuiltinClass(CLSID_NullRenderer, [](IUnknown* outer, REFIID iid, void** object)
                             { return Checked({"fakesink"}, &CreateNullRenderer, outer, iid, object); });
        RegisterBuiltinClass(CLSID_SampleGrabber, [](IUnknown* outer, REFIID iid, void** object)
                             { return Checked({"identity"}, &CreateSampleGrabber, outer, iid, object); });
        RegisterBuiltinClass(CLSID_VideoMixingRenderer,
                             [](IUnknown* outer, REFIID iid, void** object) {
                                 return Checked({"videoconvert", "capsfilter", "appsink"},
                                                &CreateVideoRenderer7, outer, iid, object);
                             });
        RegisterBuiltinClass(CLSID_VideoMixingRenderer9,
                             [](IUnknown* outer, REFIID iid, void** object) {
                                 return Checked({"videoconvert", "capsfilter", "appsink"},
                                                &CreateVideoRenderer9, outer, iid, object);
                             });
        RegisterBuiltinClass(CLSID_WMAsfWriter,
                             [](IUnknown* outer, REFIID iid, void** object)
                             {
                                 return Checked({"queue", "videoconvert", "videoscale", "videorate",
                                                 "capsfilter", "identity", "avenc_wmv2", "avmux_asf",
                                                 "audioconvert", "audioresample", "avenc_wmav2"},
                                                &CreateAsfWriter, outer, iid, object);
                             });
        RegisterBuiltinClass(CLSID_DMOWrapperFilter, [](IUnknown* outer, REFIID iid, void** object)
                             { return Checked({"fakesink"}, &CreateDmoWrapper, outer, iid, object); });
    }
};
const Registration g_registration;
} // namespace

bool CheckElementFactories(std::string* missing)
{
    std::string absent = gst::FirstMissingFactory(
        {"v4l2src", "pulsesrc", "tee", "queue", "capsfilter", "jpegdec", "videoconvert", "videoscale",
         "videorate", "appsink", "appsrc", "identity", "fakesink", "audioconvert", "audioresample",
         "avenc_wmv2", "avenc_wmav2", "avmux_asf"});
    if (missing)
        *missing = absent;
    return absent.empty();
}
} // namespace platform::dshow
