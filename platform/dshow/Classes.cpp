#include "Gst.h"
#include "StandardFilters_gst.h"

#include "platform/com/Com.h"
#include "platform/dshow/DShow.h"

namespace platform::dshow
{
namespace
{
/// The classes of the capture layer, registered with the object model when the library is loaded.
struct Registration
{
    Registration()
    {
        using platform::com::RegisterBuiltinClass;
        RegisterBuiltinClass(CLSID_FilterGraph, &CreateFilterGraph);
        RegisterBuiltinClass(CLSID_CaptureGraphBuilder2, &CreateCaptureGraphBuilder);
        RegisterBuiltinClass(CLSID_SystemDeviceEnum, &CreateSystemDeviceEnum);
        RegisterBuiltinClass(CLSID_SmartTee, &CreateSmartTee);
        RegisterBuiltinClass(CLSID_Colour, &CreateColourConverter);
        RegisterBuiltinClass(CLSID_NullRenderer, &CreateNullRenderer);
        RegisterBuiltinClass(CLSID_SampleGrabber, &CreateSampleGrabber);
        RegisterBuiltinClass(CLSID_VideoMixingRenderer, &CreateVideoRenderer7);
        RegisterBuiltinClass(CLSID_VideoMixingRenderer9, &CreateVideoRenderer9);
        RegisterBuiltinClass(CLSID_WMAsfWriter, &CreateAsfWriter);
        RegisterBuiltinClass(CLSID_DMOWrapperFilter, &CreateDmoWrapper);
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
