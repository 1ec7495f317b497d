#include "brevicam/ui/ResolutionChoice.h"

#include "brevicam/capture/CaptureController.h"
#include "brevicam/capture/DeviceGraph.h"
#include "brevicam/core/Params.h"
#include "resources/brevicam/resource.h"

#include <cstdio>

namespace
{
struct LabelRow
{
    int width;
    int height;
    UINT label;
};

// A label names one size for every model; the models' size tables never offer two of these sizes under
// another name. 1280 x 1024 is told apart below: a sensor of that size against stills scaled up to it.
constexpr LabelRow kLabels[] = {
    {640, 480, IDS_RES_SD_480P},      {800, 600, IDS_RES_SD_800X600}, {1280, 720, IDS_RES_HD_720P},
    {1280, 960, IDS_RES_HD_1280X960}, {1280, 1024, IDS_RES_HD_1_3MP}, {1600, 1280, IDS_RES_HD_2MP},
    {1920, 1536, IDS_RES_HD_3MP},     {2304, 1296, IDS_RES_HD_3MP},   {2560, 2048, IDS_RES_HD_5MP},
    {2816, 1760, IDS_RES_HD_5MP},     {3072, 1728, IDS_RES_HD_5MP},   {3200, 2400, IDS_RES_HD_7_6MP},
    {3584, 2240, IDS_RES_HD_8MP},
};

/// The models whose own sensor is 1280 x 1024.
bool HasNativeSxga(int model)
{
    return model == 18 || model == 20;
}

CString LabelText(UINT id, HINSTANCE texts)
{
    CString text;
    text.LoadString(texts, id);
    return text;
}

bool VideoMode()
{
    return g_params.GetCamMode() == 3;
}
} // namespace

UINT ResolutionLabelId(int model, bool, const CResolution& size)
{
    for (const LabelRow& row : kLabels)
        if (row.width == size.m_width && row.height == size.m_height)
            return row.label == IDS_RES_HD_1_3MP && HasNativeSxga(model) ? IDS_RES_HD_1280X1024 : row.label;
    return 0;
}

int FillResolutionList(CComboBox& list, CCaptureController& controller, HINSTANCE texts)
{
    list.ResetContent();
    const int model = GetWebcamModel();
    const bool video = VideoMode();
    const CResolution current = controller.m_graph.GetResolution();
    int selected = -1;
    for (const CResolution& size : controller.m_graph.GetResolutions())
    {
        const UINT label = ResolutionLabelId(model, video, size);
        if (!label)
            continue;
        const int index = list.AddString(LabelText(label, texts));
        if (size == current)
            selected = index;
    }
    const int count = list.GetCount();
    list.SetCurSel(selected >= 0 ? selected : (count > 0 ? 0 : -1));
    return count;
}

bool ApplyChosenResolution(CComboBox& list, CCaptureController& controller, HINSTANCE texts)
{
    const int chosen = list.GetCurSel();
    if (chosen < 0)
        return false;
    CString label;
    list.GetLBText(chosen, label);
    const int model = GetWebcamModel();
    const bool video = VideoMode();
    for (CResolution size : controller.m_graph.GetResolutions())
    {
        const UINT id = ResolutionLabelId(model, video, size);
        if (!id || LabelText(id, texts).Str() != label.Str())
            continue;
        // A size the device does not deliver itself (or one that cannot be compared) is scaled up.
        size.m_interpolated = controller.m_graph.IsInterpolated(size) != 0 ? 1 : 0;
        controller.ChangeResolution(size);
        char text[32];
        std::snprintf(text, sizeof text, "%d x %d", size.m_width, size.m_height);
        char number[16];
        std::snprintf(number, sizeof number, "%d", model);
        {
            CSingleLock lock(&g_params.m_cs, TRUE);
            (video ? g_params.m_VideoResolution : g_params.m_PhotoResolution) = text;
        }
        g_params.SaveCameraSettings(number);
        return true;
    }
    return false;
}
