#pragma once

#include "Controls/Label.h"
#include "Controls/TransparentDialogBase.h"
#include "brevicam/core/StartupObjects.h"
#include "platform/win/Kernel.h"
#include "platform/window/Afx.h"
#include "resources/brevicam/resource.h"
#include "shared/exceptions/Exceptions.h"

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

/// Posted to a wait window when its task's work has ended; wParam is the work's result.
constexpr UINT WM_TASK_COMPLETE = WM_USER + 1;
static_assert(WM_MODAL_TASK_STATE == 0xBFF0);

/// Task results shared by every waitable task.
constexpr int kTaskSucceeded = 0;
constexpr int kTaskException = -1;
constexpr int kTaskNothingToDo = -2;
constexpr int kTaskFolderRefused = -3;
constexpr int kTaskSaveFailed = -4;

/// A piece of work that runs on a worker thread of its own while its wait window runs modally.
class IWaitableTask
{
public:
    virtual ~IWaitableTask() = default;
    /// TRUE while the worker thread runs.
    virtual BOOL IsRunning() = 0;
    /// Called by the wait window when it initialises: the window is subclassed for the task, and when
    /// the work has already ended its result is posted at once.
    virtual int Attach(HWND waitWindow) = 0;
};

/// The plain wait window of a task: a skinned dialog showing one centred text. Enter and Escape do
/// not close it; it ends only when its task's work has ended.
class CDefWaitDialog : public CTransparentDialogBase
{
public:
    /// Throws CNullPointerException without a task.
    CDefWaitDialog(IWaitableTask* task, CWnd* parent, UINT textId, UINT templateId);
    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}

protected:
    void DoDataExchange(CDataExchange* dx) override;
    /// The size of the text in the dialog's font.
    CSize MeasureText();

    IWaitableTask* m_pTask;
    CString m_strText;
    CLabel m_label;
};

/// The wait window of the animated-GIF task; reports a failed conversion (-3) in a message box.
class CGIFWaitDialog : public CDefWaitDialog
{
public:
    CGIFWaitDialog(IWaitableTask* task, CWnd* parent);
    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    afx_msg LRESULT OnTaskComplete(WPARAM wParam, LPARAM lParam);

    CWnd m_animation;
    DECLARE_MESSAGE_MAP()
};

/// The wait window of the photo-save task; hands the work's result to its task.
class CPhotoResizeDialog : public CDefWaitDialog
{
public:
    CPhotoResizeDialog(IWaitableTask* task, CWnd* parent);
    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    afx_msg LRESULT OnTaskComplete(WPARAM wParam, LPARAM lParam);

    CWnd m_animation;
    DECLARE_MESSAGE_MAP()
};

template <class TDialog> class CWaitableTask;
/// The registries of the two task types, built at start-up and kept until the program ends.
extern WndSubclassRegistry<CWaitableTask<CGIFWaitDialog>> g_GIFTaskRegistry;
extern WndSubclassRegistry<CWaitableTask<CPhotoResizeDialog>> g_PhotoResizeTaskRegistry;

/// Runs Run on a worker thread behind a modal TDialog. The worker only runs the work and posts its
/// result; the dialog, the registry and the subclassed window live on the thread that called Start.
template <class TDialog> class CWaitableTask : public IWaitableTask
{
public:
    explicit CWaitableTask(CWnd* parent) : m_pParent(parent) {}
    CWaitableTask(const CWaitableTask&) = delete;
    CWaitableTask& operator=(const CWaitableTask&) = delete;
    /// Waits for a worker that still runs; derived tasks call JoinWorker first, as Run uses their members.
    ~CWaitableTask() override { JoinWorker(); }

    BOOL IsRunning() override { return m_worker.joinable() && !m_bFinished.load() ? TRUE : FALSE; }

    int Attach(HWND waitWindow) override
    {
        if (::IsWindow(waitWindow))
        {
            Registry().Add(waitWindow, this);
            m_pPrevProc = reinterpret_cast<WNDPROC>(
                ::SetWindowLongPtr(waitWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
        }
        bool finished;
        {
            std::lock_guard<std::mutex> lock(m_completion);
            m_hWaitWnd = waitWindow;
            finished = m_bFinished.load();
        }
        // The work may end before the window exists and could not post then.
        if (finished)
            ::PostMessage(waitWindow, WM_TASK_COMPLETE, static_cast<WPARAM>(m_nExitCode.load()), 0);
        return 0;
    }

    /// Runs the work behind the modal wait dialog and returns once both have ended. Throws
    /// COutOfMemoryException when the dialog cannot be made and COSResourceException when the worker
    /// thread cannot be started; the work does not run then.
    void Start()
    {
        JoinWorker();
        m_bFinished = false;
        m_hWaitWnd = nullptr;
        m_pDialog = CreateWaitDialog(this, m_pParent);
        if (!m_pDialog)
            throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate wait window object"));
        try
        {
            m_worker = std::thread([this] { ThreadProc(); });
        }
        catch (const std::system_error& e)
        {
            DestroyWaitDialog(m_pDialog);
            m_pDialog = nullptr;
            throw COSResourceException(THROW_SITE_MESSAGE("Cannot create processing thread"),
                                       e.code().value());
        }
        const bool localParent = ParentIsLocal();
        if (localParent)
            m_pParent->SendMessage(WM_MODAL_TASK_STATE, 0, 0);
        m_pDialog->DoModal();
        // A dialog that could not run never received the result: the work still has to end here.
        JoinWorker();
        g_bCaptureDlgReenable = 1;
        g_bCaptureSmallDlgReenable = 1;
        DestroyWaitDialog(m_pDialog);
        m_pDialog = nullptr;
        if (localParent && ::IsWindow(m_pParent->GetSafeHwnd()))
            m_pParent->SendMessage(WM_MODAL_TASK_STATE, 1, 0);
    }

protected:
    virtual TDialog* CreateWaitDialog(IWaitableTask* task, CWnd* parent) { return new TDialog(task, parent); }
    virtual void DestroyWaitDialog(TDialog* dialog) { delete dialog; }
    /// The work; runs on the worker thread. An exception makes the result -1.
    virtual int Run() = 0;

    void JoinWorker()
    {
        if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id())
            m_worker.join();
    }

    CWnd* m_pParent;
    TDialog* m_pDialog = nullptr;
    std::thread m_worker;
    HWND m_hWaitWnd = nullptr;
    WNDPROC m_pPrevProc = nullptr;

private:
    static WndSubclassRegistry<CWaitableTask>& Registry()
    {
        if constexpr (std::is_same_v<TDialog, CGIFWaitDialog>)
            return g_GIFTaskRegistry;
        else
            return g_PhotoResizeTaskRegistry;
    }

    // Windows of this layer are always the process's own: a live handle is enough.
    bool ParentIsLocal() const { return m_pParent && ::IsWindow(m_pParent->GetSafeHwnd()); }

    void ThreadProc()
    {
        int result;
        try
        {
            result = Run();
        }
        catch (...)
        {
            result = kTaskException;
        }
        HWND window;
        {
            std::lock_guard<std::mutex> lock(m_completion);
            m_nExitCode = result;
            m_bFinished = true;
            window = m_hWaitWnd;
        }
        if (window)
            ::PostMessage(window, WM_TASK_COMPLETE, static_cast<WPARAM>(result), 0);
    }

    static LRESULT SubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        CWaitableTask* task = Registry().Find(hwnd);
        if (!task)
            return ::DefWindowProc(hwnd, msg, wParam, lParam);
        if (msg == WM_TASK_COMPLETE)
            return task->OnTaskComplete(hwnd, msg, wParam, lParam);
        if (msg == WM_NCDESTROY)
            return task->OnWaitWindowDestroyed(hwnd, msg, wParam, lParam);
        return ::CallWindowProc(task->m_pPrevProc, hwnd, msg, wParam, lParam);
    }

    LRESULT OnTaskComplete(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        JoinWorker();
        const LRESULT answer = ::CallWindowProc(m_pPrevProc, hwnd, msg, wParam, lParam);
        // The dialog object's own end, which leaves its modal loop.
        if (m_pDialog && ::IsWindow(hwnd))
            m_pDialog->EndDialog(8);
        return answer;
    }

    LRESULT OnWaitWindowDestroyed(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        // A worker cannot be stopped safely from outside; its work is bounded, so wait for it.
        JoinWorker();
        {
            std::lock_guard<std::mutex> lock(m_completion);
            m_hWaitWnd = nullptr;
        }
        CRect rect;
        ::GetWindowRect(hwnd, &rect);
        HWND parent = m_pParent ? m_pParent->GetSafeHwnd() : nullptr;
        if (parent)
            ::MapWindowPoints(nullptr, parent, reinterpret_cast<LPPOINT>(&rect), 2);
        const WNDPROC previous = m_pPrevProc;
        Registry().Remove(hwnd);
        const LRESULT answer = ::CallWindowProc(previous, hwnd, msg, wParam, lParam);
        if (::IsWindow(parent))
            ::RedrawWindow(parent, &rect, nullptr, RDW_UPDATENOW | RDW_ERASE | RDW_INVALIDATE);
        return answer;
    }

    std::mutex m_completion;
    std::atomic<bool> m_bFinished{false};
    std::atomic<int> m_nExitCode{0};
};
