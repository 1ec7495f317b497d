#pragma once

#include "brevicam/core/Resolution.h"
#include "brevicam/media/WaitableTask.h"
#include "platform/image/CxImage.h"

/// Names a captured photo, converts it to the chosen format ("PhotoFormat": 1 BMP, 3 JPEG) and writes it
/// into the photo folder, resampled first when the target size is an interpolated one.
///
/// Results: 0 written, -1 the work threw on the worker thread, -2 the image is not valid, -3 the photo
/// folder is not usable, -4 the image could not be resampled or written (nothing is left under its name).
class CPhotoResizeTask : public CWaitableTask<CPhotoResizeDialog>
{
public:
    explicit CPhotoResizeTask(CWnd* parent);
    ~CPhotoResizeTask() override;

    /// Non-zero: Save runs the work on a worker thread behind the "Please wait…" dialog; 0 (the default):
    /// on the calling thread, where an exception of the work reaches the caller.
    void SetAsync(int async) { m_bAsync = async; }
    /// Saves the image, which the caller keeps alive until this returns; the image is changed on the way
    /// (resampled, raised to 24 bits). The result is in GetResult.
    void Save(CxImage* image, CResolution target);
    int GetResult() const { return m_nResult; }
    /// The full path of the photo file written or attempted; empty until a name was chosen.
    CString GetFileName() const { return m_strFileName; }

protected:
    int Run() override;

private:
    friend class CPhotoResizeDialog;

    CxImage* m_pImage = nullptr;
    CResolution m_target;
    int m_bAsync = 0;
    int m_nResult = 0;
    CString m_strFileName;
};
