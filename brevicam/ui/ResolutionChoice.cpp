#include "brevicam/ui/ResolutionChoice.h"

#include "brevicam/capture/CaptureController.h"
#include "brevicam/capture/DeviceGraph.h"
#include "brevicam/core/Params.h"
#include "brevicam/ui/ResolutionLabels.h"

#include <cstdio>

namespace
{
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

UINT ResolutionLabelId(int model, bool video, const CResolution& size)
{
    return ResolutionLabelOf(model, video, size.m_width, size.m_height);
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
