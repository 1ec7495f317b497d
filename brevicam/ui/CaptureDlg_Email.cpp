// The capture panel's Copy to e-mail: e-mail-friendly copies of the selected files in the Emails folder
// (photos shrunk and saved as JPEG, videos converted by the transcoder library), handed to the default mail
// client as the attachments of a new message.

#include "CaptureDlg.h"

#include "brevicam/core/Params.h"
#include "brevicam/core/SkinMessageBox.h"
#include "brevicam/explorer/ShellList.h"
#include "brevicam/media/AskOverWriteDlg.h"
#include "brevicam/media/AviConversionProgressDlg.h"
#include "brevicam/media/DllAccessor.h"
#include "brevicam/media/SendMail.h"
#include "brevicam/media/VideoFileProbe.h"
#include "brevicam/media/WmvFileInfo.h"
#include "kestavo/Transcoder.h"
#include "platform/image/CxImage.h"
#include "platform/mapi/Mapi.h"
#include "platform/win/Kernel.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace
{
/// The ratio above which a picture is limited by its width.
constexpr double kEmailAspect = 640.0 / 480.0;

std::string FileNameOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

/// `path` with "-Copy" before the extension of its file name (appended when it has none).
CString WithCopySuffix(const CString& path)
{
    std::string text = path.Str();
    const auto slash = text.rfind('/');
    const auto dot = text.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return CString(text + "-Copy");
    return CString(text.insert(dot, "-Copy"));
}

bool IsFile(const CString& path)
{
    std::error_code error;
    return fs::is_regular_file(path.Str(), error);
}

/// Whether writing `target` would write over `source` itself.
bool IsSameFile(const CString& target, const CString& source)
{
    if (target == source)
        return true;
    std::error_code error;
    return fs::equivalent(target.Str(), source.Str(), error);
}

/// The size a picture is shrunk to so that it fits 640 x 480 with its aspect ratio; each side at least 1.
SIZE EmailPictureSize(long width, long height)
{
    const double ratio = static_cast<double>(width) / static_cast<double>(height);
    SIZE size;
    if (ratio > kEmailAspect)
    {
        size.cx = 640;
        size.cy = static_cast<long>(640.0 / ratio);
    }
    else
    {
        size.cx = static_cast<long>(480.0 * ratio);
        size.cy = 480;
    }
    size.cx = std::max<LONG>(size.cx, 1);
    size.cy = std::max<LONG>(size.cy, 1);
    return size;
}

/// The transcoder library and one instance of it for one e-mail action; the instance is deleted and the
/// library freed when it goes.
class TranscoderSession
{
public:
    TranscoderSession()
    {
        m_library = std::make_unique<CDllAccessor>(GetTranscoderLibraryPath().GetString());
        m_transcoder = m_library->GetGenericFn<transcoder::CreateVideoTranscoderInstanceFn>(
            "CreateVideoTranscoderInstance");
        if (!m_transcoder)
            throw CDynamicLinkException(THROW_SITE_MESSAGE("No transcoder instance"), ERROR_OUTOFMEMORY);
    }
    ~TranscoderSession()
    {
        try
        {
            m_library->GetGenericFn<transcoder::DeleteVideoTranscoderInstanceFn>(
                "DeleteVideoTranscoderInstance", m_transcoder);
        }
        catch (const CDynamicLinkException&)
        {
            // Without the export the instance is left to the library.
        }
    }
    TranscoderSession(const TranscoderSession&) = delete;
    TranscoderSession& operator=(const TranscoderSession&) = delete;

    transcoder::IVideoTranscoder* Get() const { return m_transcoder; }
    CDllAccessor& Library() const { return *m_library; }

private:
    std::unique_ptr<CDllAccessor> m_library;
    transcoder::IVideoTranscoder* m_transcoder = nullptr;
};
} // namespace

CString CCaptureDlg::MakeEmailCopyPath(const CString& source, const char* extension)
{
    const CString folder = CParams::GetEmailsFolder();
    if (folder.IsEmpty())
        return CString();
    std::string name = FileNameOf(source.Str());
    if (extension)
    {
        // Only the file name's own extension goes: a dot in a folder name is not one.
        const auto dot = name.rfind('.');
        if (dot != std::string::npos)
            name.erase(dot);
        name += extension;
    }
    return folder + CString(name);
}

void CCaptureDlg::OnBnClickedButtonCopyToEmail()
{
    if (m_bFileActionBusy || !m_pList->GetSafeHwnd() || m_pList->GetSelectedCount() == 0)
        return;
    m_bFileActionBusy = true;
    m_nEmailCopiesMade = 0;
    m_emailCopies.clear();
    const HWND window = m_hWnd;
    const CString title = CParams::GetAppTitle();

    std::unique_ptr<TranscoderSession> session;
    try
    {
        session = std::make_unique<TranscoderSession>();
    }
    catch (const CDynamicLinkException&)
    {
        // Without the transcoder only the videos cannot go; the pictures are still prepared and sent.
    }

    std::vector<CString> attachments;
    bool skippedVideos = false;
    bool sendable = true;
    try
    {
        PrepareEmailCopies(session ? &session->Library() : nullptr, session ? session->Get() : nullptr,
                           attachments, skippedVideos);
    }
    catch (const CMediaException&)
    {
        sendable = false;
        if (::IsWindow(window))
            SkinMessageBoxId(window, IDS_EMAIL_ATTACH_FAILED, title.GetString(), MB_ICONERROR);
    }
    catch (const CUserAbortException&)
    {
        sendable = false;
    }
    catch (const COutOfMemoryException&)
    {
        sendable = false;
    }
    catch (const CDynamicLinkException&)
    {
        sendable = false;
    }
    catch (const std::exception&)
    {
        // Anything else ends the action as a file that could not be attached; the panel stays usable.
        sendable = false;
        if (::IsWindow(window))
            SkinMessageBoxId(window, IDS_EMAIL_ATTACH_FAILED, title.GetString(), MB_ICONERROR);
    }
    session.reset();

    if (sendable && skippedVideos && ::IsWindow(window))
    {
        // Videos needed the transcoder library, which is missing: the user hears of them, the rest goes.
        SkinMessageBoxId(window, IDS_EMAIL_ATTACH_FAILED, title.GetString(), MB_ICONERROR);
    }
    if (sendable && ::IsWindow(window))
        SendByEmail(attachments, static_cast<int>(attachments.size()));
    if (!::IsWindow(window))
    {
        m_bFileActionBusy = false;
        return;
    }
    EndFileAction();
}

void CCaptureDlg::PrepareEmailCopies(CDllAccessor* library, transcoder::IVideoTranscoder* transcoder,
                                     std::vector<CString>& attachments, bool& skippedVideos)
{
    int lastAnswer = OVERWRITE_NO;
    // Asks before an existing copy is replaced, until an answer holds for the rest of the action.
    auto mayOverwrite = [&](const CString& target)
    {
        if (lastAnswer == OVERWRITE_YES || lastAnswer == OVERWRITE_NO)
        {
            CAskOverWriteDlg dialog(TRUE, this);
            m_pModalChild = &dialog;
            lastAnswer = dialog.Ask(CString(FileNameOf(target.Str())), IDS_FILE_EXISTS_OVERWRITE);
            if (m_pModalChild == &dialog)
                m_pModalChild = nullptr;
            if (!WindowAlive())
                throw CUserAbortException(THROW_SITE_MESSAGE("The panel closed"));
        }
        return lastAnswer == OVERWRITE_YES || lastAnswer == OVERWRITE_YES_ALL;
    };

    std::vector<CString> paths = m_pList->GetSelectedPaths();
    if (paths.size() > static_cast<std::size_t>(kMaxEmailAttachments))
        paths.resize(kMaxEmailAttachments);
    std::vector<CString> converted;
    for (const CString& path : paths)
    {
        const int imageType = g_params.GetImageType(path);
        if (imageType == 0 || imageType == CXIMAGE_FORMAT_GIF || imageType == CXIMAGE_FORMAT_ICO)
        {
            if (g_params.GetMediaType(path) == 4)
            {
                attachments.push_back(path);
                continue;
            }
            if (!transcoder || !library)
            {
                skippedVideos = true;
                continue;
            }
            transcoder::VideoFileInfo info;
            SetUnknownVideoInfo(info);
            info = library->GetGenericFn<transcoder::GetInfoFn>("get_info", path.GetString());
            if (!info.valid)
            {
                SetUnknownVideoInfo(info);
                GetWmvFileInfo(info, path);
            }
            if (!info.valid)
            {
                if (!IsFile(path))
                    throw CMediaException(THROW_SITE_MESSAGE("Invalid picture type"));
                attachments.push_back(path);
                continue;
            }
            CString target = MakeEmailCopyPath(path, ".avi");
            if (target.IsEmpty())
                throw CMediaException(THROW_SITE_MESSAGE("No folder for the e-mail copies"));
            if (IsSameFile(target, path))
                target = WithCopySuffix(target);
            if (IsFile(target) && !mayOverwrite(target))
            {
                attachments.push_back(path);
                continue;
            }
            transcoder::IBaseJob* job = transcoder->CreateJob(transcoder::IID_IEmailMovieJob);
            if (!job)
                throw COutOfMemoryException(
                    THROW_SITE_MESSAGE("Cannot queue a new transcoding [IEmailMovieJob] job"));
            job->SetSource(path.GetString());
            job->SetTarget(target.GetString());
            if (auto* rescaler =
                    static_cast<transcoder::IRescaler*>(job->QueryInterface(transcoder::IID_IRescaler)))
            {
                rescaler->SetSize(SIZE{320, 240});
                rescaler->SetPad(TRUE);
            }
            attachments.push_back(target);
            converted.push_back(target);
            continue;
        }

        CxImage image(path.GetString(), static_cast<DWORD>(imageType));
        if (!image.IsValid())
            throw CMediaException(THROW_SITE_MESSAGE("Invalid picture type"));
        CString target = MakeEmailCopyPath(path, ".jpg");
        if (target.IsEmpty())
            throw CMediaException(THROW_SITE_MESSAGE("No folder for the e-mail copies"));
        // A picture that already lies in the Emails folder as a JPEG is never written over by its own copy.
        if (IsSameFile(target, path))
            target = WithCopySuffix(target);
        attachments.push_back(target);
        if (IsFile(target) && !mayOverwrite(target))
        {
            m_nEmailCopiesMade = 1;
            continue;
        }
        // Shrunk only once it is known to be written.
        const long width = static_cast<long>(image.GetWidth());
        const long height = static_cast<long>(image.GetHeight());
        if (width > 640 || height > 480)
        {
            const SIZE size = EmailPictureSize(width, height);
            image.QIShrink(size.cx, size.cy);
        }
        if (!image.Save(target.GetString(), CXIMAGE_FORMAT_JPG))
            throw CMediaException(THROW_SITE_MESSAGE("Cannot save picture in JPG format"));
        m_emailCopies.push_back(target);
        m_nEmailCopiesMade = 1;
    }

    if (transcoder && transcoder->GetJobCount() != 0)
    {
        CAviConversionProgressDlg dialog(transcoder, this);
        m_pModalChild = &dialog;
        const ConversionOutcome outcome = dialog.RunConversion();
        if (m_pModalChild == &dialog)
            m_pModalChild = nullptr;
        // A run ended from outside (the panel closing, the camera lost) counts as cancelled: what it wrote
        // is gone and nothing is sent.
        if (outcome.result == 2 || outcome.result <= 0 || !WindowAlive())
            throw CUserAbortException(THROW_SITE_MESSAGE("User aborted the operations"));
        if (!outcome.converted)
            throw CMediaException(THROW_SITE_MESSAGE("Video conversion process failed"));
        m_emailCopies.insert(m_emailCopies.end(), converted.begin(), converted.end());
        m_nEmailCopiesMade = 1;
    }
}

void CCaptureDlg::SendByEmail(const std::vector<CString>& paths, int count)
{
    if (count <= 0 || count > kMaxEmailAttachments || count > static_cast<int>(paths.size()))
        return;
    // A Simple MAPI library: the mail client's own, else the system's stub.
    HMODULE library = ::LoadLibraryA(GetMailClientDllPath());
    if (!library)
        library = ::LoadLibraryA(platform::mapi::kSystemMapiLibrary);
    const bool usable = library && ::GetProcAddress(library, "MAPISendMail");
    if (library)
        ::FreeLibrary(library);
    if (!usable)
    {
        ShowEmailFolderNotice();
        return;
    }
    std::string client = platform::mapi::GetDefaultMailClientName();
    if (client.empty())
    {
        ShowEmailFolderNotice();
        return;
    }
    if (client.size() > 79)
        client.resize(79);

    const HWND window = m_hWnd;
    const int answer = SkinMessageBox(window, LoadStringWithText(IDS_MAIL_CLIENT_QUESTION, client.c_str()),
                                      CParams::GetAppTitle().GetString(), MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDYES)
    {
        std::vector<const char*> files;
        for (int i = 0; i < count; ++i)
            files.push_back(paths[static_cast<std::size_t>(i)].GetString());
        if (!SendMailMapi(count, files.data()))
            ShowEmailFolderNotice();
    }
    else if (answer == IDNO)
        ShowEmailFolderNotice();
    else if (m_nEmailCopiesMade)
    {
        // Only what this action wrote goes; a file of the user's, even one inside the Emails folder, stays.
        for (const CString& copy : m_emailCopies)
            if (std::find(paths.begin(), paths.begin() + count, copy) != paths.begin() + count)
            {
                std::error_code error;
                fs::remove(copy.Str(), error);
            }
        m_emailCopies.clear();
    }
}

void CCaptureDlg::ShowEmailFolderNotice()
{
    if (!m_nEmailCopiesMade || !WindowAlive())
        return;
    const CString folder = CParams::CompactPath(CParams::GetEmailsFolder(), 90);
    SkinMessageBox(m_hWnd, LoadStringWithText(IDS_EMAIL_FOLDER_NOTICE, folder.GetString()),
                   CParams::GetAppTitle().GetString(), MB_ICONINFORMATION);
}
