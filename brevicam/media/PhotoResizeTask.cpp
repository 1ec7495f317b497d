#include "brevicam/media/PhotoResizeTask.h"

#include "brevicam/core/Params.h"

#include <ctime>
#include <filesystem>

namespace
{
bool Exists(const CString& path)
{
    std::error_code ec;
    return std::filesystem::exists(path.Str(), ec);
}
} // namespace

CPhotoResizeTask::CPhotoResizeTask(CWnd* parent) : CWaitableTask<CPhotoResizeDialog>(parent) {}

CPhotoResizeTask::~CPhotoResizeTask()
{
    JoinWorker();
}

void CPhotoResizeTask::Save(CxImage* image, CResolution target)
{
    m_pImage = image;
    m_target = target;
    if (m_bAsync)
    {
        // An exception on the worker gives -1 there; the dialog stores whatever the worker reported.
        m_nResult = kTaskException;
        Start();
    }
    else
        m_nResult = Run();
}

int CPhotoResizeTask::Run()
{
    if (!m_pImage || !m_pImage->IsValid())
        return kTaskNothingToDo;

    const CString folder = g_params.GetPhotoPath();
    CWnd* main = AfxGetMainWnd();
    const int check = CParams::CheckFolder(main ? main->GetSafeHwnd() : nullptr, folder);
    if (check == 2 || check == 3)
        return kTaskFolderRefused;

    if (m_target.m_interpolated && !m_pImage->Resample(m_target.m_width, m_target.m_height, 2))
        return kTaskSaveFailed;

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    CString base;
    for (int n = 1;; ++n)
    {
        base.Format("%sPic-%d%.2d%.2d-%.3d", folder.Str().c_str(), local.tm_year + 1900, local.tm_mon + 1,
                    local.tm_mday, n);
        if (!Exists(base + ".jpg") && !Exists(base + ".bmp"))
            break;
    }

    int format;
    {
        CSingleLock lock(&g_params.m_cs, TRUE);
        format = g_params.m_PhotoFormat;
    }
    const bool bitmap = format == 1;
    m_strFileName = base + (bitmap ? ".bmp" : ".jpg");

    if (bitmap)
    {
        if (!m_pImage->Save(m_strFileName.Str().c_str(), CXIMAGE_FORMAT_BMP))
            return kTaskSaveFailed;
    }
    else
    {
        if (!m_pImage->IsGrayScale() && !m_pImage->IncreaseBpp(24))
            return kTaskSaveFailed;
        m_pImage->SetJpegQuality(99);
        if (!m_pImage->Save(m_strFileName.Str().c_str(), CXIMAGE_FORMAT_JPG))
            return kTaskSaveFailed;
    }
    g_params.AddLastCapturedFile(m_strFileName);
    return kTaskSucceeded;
}
