#pragma once

#include "brevicam/media/WaitableTask.h"
#include "platform/image/CxImage.h"

#include <vector>

/// Writes the frames of a burst series as one looping animated GIF into the GIF folder ("Tavisk webcam/GIF"
/// under the documents folder), behind the "Generating animated GIF… Please wait." dialog, and opens it.
///
/// Results: 0 written and opened, -1 the work threw, -2 no frames (nothing is written, no folder made),
/// -3 the folder could not be made or the frames could not be converted or written (nothing is left under
/// the file's name), -4 no memory for the palette.
class CGIFConversionTask : public CWaitableTask<CGIFWaitDialog>
{
public:
    /// Opens a written GIF with the desktop's default program.
    using FileOpener = void (*)(const CString& path);

    explicit CGIFConversionTask(CWnd* parent);
    ~CGIFConversionTask() override;

    /// Copies the frames and converts them behind the wait dialog; returns once the work has ended.
    void Convert(const std::vector<CxImage>& frames);
    /// Replaces the way written GIFs are opened (for tests); null restores the default. Any thread.
    static void SetFileOpener(FileOpener opener);

protected:
    int Run() override;

private:
    std::vector<CxImage> m_frames;
};
