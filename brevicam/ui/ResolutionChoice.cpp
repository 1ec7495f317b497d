#include "brevicam/ui/ResolutionChoice.h"

#include "brevicam/capture/CaptureController.h"
#include "brevicam/capture/DeviceGraph.h"
#include "brevicam/core/Params.h"
#include "brevicam/ui/ResolutionLabels.h"

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

bool UpdateResolutionListState(CComboBox& list, CCaptureController& controller)
{
    // Sizes the model has no label for are not listed: a list left empty stays off.
    list.EnableWindow(list.GetCount() > 0 ? TRUE : FALSE);
    const int graphMode = controller.m_graph.GetGraphMode();
    const bool recording = graphMode == 1 || graphMode == 2;
    if (recording)
        list.EnableWindow(FALSE);
    return recording;
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
    for (const tagResolutionLabel& entry : ResolutionLabelRow(model, video))
    {
        if (LabelText(entry.label, texts).Str() != label.Str())
            continue;
        CString text;
        text.Format("%d x %d", entry.width, entry.height);
        CResolution size(entry.width, entry.height, false);
        // A size the device does not deliver itself (or one that cannot be compared) is scaled up.
        size.m_interpolated = controller.m_graph.IsInterpolated(size) != 0 ? 1 : 0;
        const HWND window = list.GetSafeHwnd();
        controller.ChangeResolution(size);
        if (!window || !::IsWindow(window))
            return false;
        {
            // The recording graph reads the stored video size: a recording has the size chosen here.
            CSingleLock lock(&g_params.m_cs, TRUE);
            (video ? g_params.m_VideoResolution : g_params.m_PhotoResolution) = text;
        }
        CString number;
        number.Format("%d", model);
        g_params.SaveCameraSettings(number);
        return true;
    }
    return false;
}
