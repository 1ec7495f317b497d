#pragma once

#include "brevicam/media/FException.h"
#include "platform/win/CString.h"
#include "platform/win/WinTypes.h"

#include <atomic>
#include <cstdint>

class CWnd;

/// The user's answer at the overwrite prompt.
enum EOverwriteAnswer
{
    OVERWRITE_YES = 0,
    OVERWRITE_YES_ALL = 1,
    OVERWRITE_NO = 2,
    OVERWRITE_NO_ALL = 3,
    OVERWRITE_CANCEL = 4
};

/// Progress of one file copy, called on the copying thread after every chunk with the file's size and
/// the bytes written so far; `data` is the CWaitDialog that shows the progress. Posts the percentage to
/// the wait window while it is below 100. Returns true: the copy goes on.
bool CopyProgressRoutine(std::uint64_t totalBytes, std::uint64_t transferredBytes, void* data);

/// Copies files and folders and deletes them as a file manager does: a copy onto an existing name gets a
/// "Copy of" name or goes through the overwrite prompt, read-only files are confirmed before deletion,
/// and a file of more than 15,000,000 bytes may be copied behind the wait window with a progress bar.
///
/// Paths are POSIX paths. Symbolic links are never followed into folders: inside a folder copy a link is
/// copied as a link, and deletion removes a link, never what it leads to. One object serves one batch:
/// the overwrite answers "Yes to all", "No to all" and "Cancel" hold for the rest of it. Runs on the
/// caller's thread and blocks it; its prompts are shown on the user-interface thread.
class CFileOperation
{
public:
    /// Files above this size are worth the progress window.
    static constexpr std::uint64_t kProgressThresholdBytes = 15'000'000;

    CFileOperation();
    CFileOperation(const CFileOperation&) = delete;
    CFileOperation& operator=(const CFileOperation&) = delete;

    /// Copies a file or a folder into a folder, or a file onto an existing file. False on failure, with
    /// the error text and code kept in the object; what was copied before the failure stays. A skipped
    /// file is no failure. The prompts are owned by `parent` (may be null).
    bool Copy(CString source, CString destination, bool showProgress, CWnd* parent);
    /// Deletes a file, a link, or a folder with everything in it. A missing path is no failure; a
    /// read-only file the user declined is kept without failure, and so is the folder holding it.
    bool Delete(CString path);

    /// The name a copy gets next to `path` when `path` is taken: "a.jpg" → "Copy of a.jpg" →
    /// "Copy (1) of a.jpg" → "Copy (2) of a.jpg"... Only a leading "Copy of " or "Copy (n) of " counts.
    static CString MakeCopyName(const CString& path);

    const CString& GetErrorString() const noexcept { return m_strError; }
    int GetErrorCode() const noexcept { return m_nErrorCode; }

    /// A copy stops, leaving no partial file, as soon as this flag (owned by the caller, who keeps it
    /// alive while the object copies) is set; the operation then fails with ERROR_OPERATION_ABORTED.
    void SetCancelFlag(const std::atomic<bool>* cancel) noexcept { m_pCancel = cancel; }

    // Set by the caller before Copy, read after it.
    /// Set when a file was copied (or already lay in place); cleared when it was skipped at the prompt.
    bool m_bCopied = false;
    /// The last overwrite answer.
    int m_nLastAnswer = OVERWRITE_YES;
    /// Confirm the deletion of read-only files.
    bool m_bAskIfReadOnly = true;
    /// Off: a copy onto an existing name goes to a "Copy of" name; on: the existing file is replaced.
    bool m_bOverwriteMode = false;
    /// With overwriting on, ask before each existing file is replaced.
    bool m_bAskIfOverwrite = false;
    /// The overwrite prompt shows no Cancel button.
    int m_bNoCancel = 0;

private:
    /// Kinds of a path: an existing file, an existing folder, missing, or not readable.
    enum PathKind
    {
        kPathError = -1,
        kPathMissing = 0,
        kPathFile = 1,
        kPathFolder = 2
    };
    static int CheckPath(const CString& path);

    void DoCopy(CString source, CString destination, CWnd* parent);
    void DoFolderCopy(const CString& sourceFolder, const CString& destinationFolder);
    void DoFileCopy(const CString& source, CString target, CWnd* parent);
    /// Recreates the link `source` as `target`, with the same naming and overwrite rules as a file.
    void DoLinkCopy(const CString& source, CString target, CWnd* parent);
    /// The naming and prompt steps shared by files and links; false when the entry is to be skipped.
    bool ResolveTarget(CString& target, bool& failIfExists, CWnd* parent);
    void CopyContents(const CString& source, const CString& target, bool failIfExists);
    void DoDelete(const CString& path);
    bool AskDeleteReadOnly(const CString& path);
    bool Cancelled() const noexcept;

    CString m_strError = "No error";
    int m_nErrorCode = 0;
    bool m_bAnswerForAll = false;
    int m_bSkipped = 0;
    /// How many more subfolders a copy of a folder into itself may enter; -1 unlimited.
    int m_nSubfolderBudget = -1;
    bool m_bShowProgress = false;
    const std::atomic<bool>* m_pCancel = nullptr;
};
