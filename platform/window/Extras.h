#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

/// The window layer's own additions to the Windows shape: cancellable cross-thread sends, the closing of
/// the program, and the seams the class library and the test fakes hook into.
namespace platform::window
{
/// Lets another thread give up a SendMessageCancellable that is still waiting. Cancel is sticky until
/// Reset; a send started on a cancelled canceller returns at once.
class PLATFORM_API SendCanceller
{
public:
    void Cancel();
    void Reset() noexcept { m_cancelled.store(false); }
    bool IsCancelled() const noexcept { return m_cancelled.load(); }

private:
    std::atomic<bool> m_cancelled{false};
};

/// SendMessage that also returns 0 (with ERROR_OPERATION_ABORTED) as soon as `canceller` is cancelled,
/// so that a thread blocked in a send can be released by the thread that wants to stop it.
PLATFORM_API LRESULT SendMessageCancellable(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam,
                                            const SendCanceller& canceller);

/// The program is closing: every cross-thread send and call waiting for the user-interface thread returns
/// 0 at once, and later ones do not wait. Called by the application object when it ends.
PLATFORM_API void BeginShutdown();
PLATFORM_API bool IsShuttingDown();

/// Whether the calling thread is the user-interface thread (the one that runs the windows).
PLATFORM_API bool IsUserInterfaceThread();
/// Runs `fn` on the user-interface thread and waits until it has run, so that a worker thread can have a
/// window shown (windows live on that thread only); called on that thread, it runs `fn` at once. False,
/// with `fn` not run, when there is no user-interface thread or the program is closing.
PLATFORM_API bool CallOnUiThread(const std::function<void()>& fn);
/// Runs `fn` on the user-interface thread the next time it handles its queue and returns at once; dropped
/// when there is no user-interface thread or it has closed. Any thread.
PLATFORM_API void PostToUiThread(std::function<void()> fn);

/// From now on the end of the session (SIGTERM, SIGHUP) reaches every top-level window as
/// WM_QUERYENDSESSION and WM_ENDSESSION (TRUE), and system sleep (logind, where present) as
/// WM_POWERBROADCAST PBT_APMSUSPEND / PBT_APMRESUMESUSPEND; a sleep delay lock is held until the
/// windows have handled the suspend. User-interface thread, once; later calls do nothing.
PLATFORM_API void WatchSessionAndPower();

/// Called once, on the calling thread, with the handle of the next window that thread creates, before
/// the window receives its first message (WM_NCCREATE). The class library attaches its objects here.
PLATFORM_API void SetCreateHook(std::function<void(HWND)> hook);

/// Called on the user-interface thread for every window after its WM_NCDESTROY, when the handle is no
/// longer valid.
PLATFORM_API void SetWindowDestroyedHook(std::function<void(HWND)> hook);

/// Called for every GDI object and DC handle that stops being valid (DeleteObject, DeleteDC, ReleaseDC,
/// EndPaint), on the thread that ended it.
PLATFORM_API void SetGdiHandleClosedHook(std::function<void(void*)> hook);

/// Replaces the system message box (MessageBox) while set: the hook gets the owner, text, caption and
/// style and returns the button id. Tests script answers with it; nullptr restores the real box.
PLATFORM_API void SetMessageBoxHook(std::function<int(HWND, const char*, const char*, UINT)> hook);

/// The caret functions, installed by the module that keeps the caret when it loads, so that the edit
/// control takes a caret of its own with the focus and gives it up with it. Members may be null.
struct CaretFunctions
{
    BOOL (*create)(HWND owner, HBITMAP bitmap, int width, int height) = nullptr;
    BOOL (*show)(HWND owner) = nullptr;
    /// Destroys the caret only when `owner` holds it.
    BOOL (*destroyOwnedBy)(HWND owner) = nullptr;
};
PLATFORM_API void SetCaretFunctions(const CaretFunctions& functions);

/// Told by the caret module whenever a window starts or stops showing the caret. An edit control draws
/// its text cursor only while it shows the caret, once caret functions are installed.
PLATFORM_API void CaretShownChanged(HWND hwnd, bool shown);

/// Builds an icon (`icon`) or a cursor from the bytes of an RT_GROUP_ICON / RT_GROUP_CURSOR resource
/// (`group`, `size` bytes) and of the RT_ICON / RT_CURSOR images it lists, which `image` hands out by id
/// (an empty span when there is none). This is what LoadIcon and LoadCursor do with a module's resources;
/// every byte is checked against the bounds given. The image closest to the system size is the icon's
/// picture; the others go with it to a window's icon. Null with ERROR_INVALID_DATA when the group or that
/// image is damaged or of a kind we do not read, ERROR_RESOURCE_NAME_NOT_FOUND when the image is missing.
/// The caller ends the handle with DestroyIcon / DestroyCursor. Any thread.
PLATFORM_API HICON CreateIconFromGroup(const BYTE* group, std::size_t size, BOOL icon,
                                       const std::function<std::span<const BYTE>(WORD id)>& image);

/// The picture of an icon or cursor at `cx` x `cy` (0: its own size), scaled smoothly from its nearest
/// picture, as premultiplied BGRA pixels (0xAARRGGBB), top row first. False for standard icons and handles
/// that name none. Any thread.
PLATFORM_API bool IconPixels(HICON icon, int cx, int cy, std::vector<std::uint32_t>& pixels, int& width,
                             int& height);

/// Handles every pending message of the calling thread's queue (sent, posted, input, paint and due timers)
/// without waiting, and returns how many were dispatched. For tests and for loops that poll. A stream of
/// messages that keeps the queue from running dry is followed only briefly once what was queued at the
/// call has been handled, so that the caller's loop goes on.
PLATFORM_API int PumpPendingMessages();

/// `hwnd` draws every pixel of its client area itself, as a video window does: on screen its picture
/// replaces what lies beneath it, which is then not drawn first. A child window otherwise lets its parent
/// show through wherever it has drawn nothing. User-interface thread; false for a handle that names no
/// window.
PLATFORM_API bool SetWindowOpaque(HWND hwnd);
} // namespace platform::window
