#pragma once

#include "DevicesSubj.h"
#include "FilterGraph.h"

#include "brevicam/core/Resolution.h"

#include <set>

/// The model number of the selected webcam: 0 when it is not recognised, 1 to 25 for a supported model.
/// Written only by CDeviceGraph::DetectWebcamModel.
extern int g_webcamModel;
int GetWebcamModel();
bool IsWebcamModel(int model);

/// The device layer of the capture graph: the supported cameras and the known microphones, each in a
/// list with a selection, the model of the selected camera and the capture sizes it offers in the
/// current capture mode. User-interface thread only.
class CDeviceGraph : public CFilterGraph
{
public:
    /// Kinds of EnumerateDevices, SelectDevice and GetSelectedIndex.
    static constexpr int kAudio = 0;
    static constexpr int kVideo = 1;

    CDeviceGraph();
    ~CDeviceGraph();

    /// Lists the devices of the kind again and selects the one the graph's capture filter was made from
    /// (none without such a filter). Raises `_com_error` when the device enumerator cannot be made.
    void EnumerateDevices(int kind);
    /// Kind 1: a different index empties the offered sizes and the current size before it is selected.
    void SelectDevice(int kind, int index);
    int GetSelectedIndex(int kind);
    /// Sets g_webcamModel from the selected camera's USB ids.
    void DetectWebcamModel();
    /// Whether the model is one of those whose capture panel treats files differently.
    static bool GetModelClass();
    static CResolution GetDefaultResolution() { return CResolution(640, 480, false); }
    void ClearResolutions() { m_resolutions.clear(); }
    /// Without an offered size of the same area, the offered sizes become `size` alone.
    void EnsureResolution(const CResolution& size);
    void FillPhotoResolutions();
    void FillVideoResolutions();
    /// Removes every offered size of a larger area than `size`.
    void RemoveResolutionsAbove(const CResolution& size);

    CDevicesSubj& GetVideoDevices() { return m_videoDevices; }
    CDevicesSubj& GetAudioDevices() { return m_audioDevices; }
    const std::set<CResolution>& GetResolutions() const { return m_resolutions; }
    /// The capture filters of the built mode; null when the graph has none.
    CDSDeviceFilter* GetVideoCaptureFilter() const { return m_pVideoCaptureFilter; }
    CDSDeviceFilter* GetAudioCaptureFilter() const { return m_pAudioCaptureFilter; }

protected:
    CDevicesSubj m_videoDevices;
    CDevicesSubj m_audioDevices;
    /// Ascending by area; of two sizes of equal area the first inserted stays.
    std::set<CResolution> m_resolutions;
    CDSDeviceFilter* m_pVideoCaptureFilter;
    CDSDeviceFilter* m_pAudioCaptureFilter;
    CDSFilter* m_pEncoderFilter;
    CResolution m_currentResolution;
};
