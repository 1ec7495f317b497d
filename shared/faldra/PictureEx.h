#pragma once

#include "platform/olepicture/OlePicture.h"
#include "platform/window/Afx.h"
#include "shared/faldra/Export.h"

#include <atomic>
#include <mutex>
#include <vector>

/// A static control that shows a picture loaded from memory, a file or a resource. An animated GIF is
/// split into its frames, which a worker thread of the control plays with their delays and disposal into
/// an off-screen bitmap; any other picture (and a GIF of one frame) is drawn once. The window paints from
/// the off-screen bitmap.
///
/// Threads: every operation is called on the user-interface thread. The animation thread only draws into
/// the off-screen bitmap (under a lock shared with painting) and posts itself a repaint; it is stopped and
/// joined before anything it uses is released. Nothing throws.
class FALDRA_API CPictureEx : public CStatic
{
public:
    enum GIFBlockTypes
    {
        BLOCK_UNKNOWN,
        BLOCK_APPEXT,
        BLOCK_COMMEXT,
        BLOCK_CONTROLEXT,
        BLOCK_PLAINTEXT,
        BLOCK_IMAGE,
        BLOCK_TRAILER
    };

    /// One frame of an animated GIF; the control owns the picture.
    struct TFrame
    {
        IPicture* m_pPicture = nullptr;
        SIZE m_frameSize{};
        SIZE m_frameOffset{};
        UINT m_nDelay = 0; // hundredths of a second
        UINT m_nDisposal = 0;
    };

    CPictureEx();
    ~CPictureEx() override;
    CPictureEx(const CPictureEx&) = delete;
    CPictureEx& operator=(const CPictureEx&) = delete;

    /// Loads the picture held by the first `size` bytes of the global memory block, after unloading the
    /// current one; the caller keeps the block. The control window, when it exists, is sized to the
    /// picture. FALSE (and the control empty) for a size beyond the block, undecodable data or a GIF
    /// without a decodable frame.
    BOOL Load(HGLOBAL data, DWORD size);
    /// Loads a picture file, read whole; FALSE when it cannot be read or decoded.
    BOOL Load(LPCSTR fileName);
    /// Loads a resource of the current resource module; FALSE when it is missing or does not decode.
    BOOL Load(LPCSTR name, LPCSTR type);
    /// Starts the animation of an animated GIF (FALSE; a running one goes on) or draws any other picture
    /// into the off-screen bitmap (TRUE). FALSE with nothing loaded.
    BOOL Draw();
    /// Stops the animation and waits for its thread; a later Draw resumes at the current frame.
    void Stop();
    /// Stops and releases everything; the control is empty with a white background.
    void UnLoad();

    BOOL IsGIF() const { return m_bIsGIF; }
    BOOL IsPlaying() const { return m_bIsPlaying; }
    /// TRUE for a GIF with more than one frame.
    BOOL IsAnimatedGIF() const { return m_bIsGIF && m_arrFrames.size() > 1; }
    /// The frames of an animated GIF, else 0.
    int GetFrameCount() const { return IsAnimatedGIF() ? static_cast<int>(m_arrFrames.size()) : 0; }
    SIZE GetSize() const { return SIZE{m_nPictureWidth, m_nPictureHeight}; }
    COLORREF GetBkColor() const { return m_clrBackground; }
    /// Takes the colour and fills the whole picture area with it; nothing before a picture is loaded.
    void SetBkColor(COLORREF color);
    /// The part of the picture shown at the control's top-left corner; an empty rectangle (or null)
    /// shows the whole picture.
    void SetPaintRect(const RECT* rect);
    void GetPaintRect(RECT* rect) const;

protected:
    void ResetDataPointer();
    GIFBlockTypes GetNextBlock() const;
    /// The length of the block at the parse position; -1 for an unknown block or one that does not end
    /// inside the data.
    int GetNextBlockLen() const;
    /// The length of the data sub-block chain at `offset`, terminator included; -1 when it runs past the
    /// data.
    int GetSubBlocksLen(UINT offset) const;
    BOOL SkipNextBlock();
    BOOL SkipNextGraphicBlock();
    /// A new fixed global block holding the next graphic block as a one-image GIF, or NULL when there is
    /// none (or it does not end inside the data). The caller frees the block.
    HGLOBAL GetNextGraphicBlock(UINT* blockLen, UINT* delay, SIZE* blockSize, SIZE* blockOffset,
                                UINT* disposal);
    BOOL PrepareDC(int width, int height);
    static unsigned _ThreadAnimation(void* control);
    void ThreadAnimation();

    afx_msg void OnDestroy();
    afx_msg void OnPaint();
    afx_msg LRESULT OnFrameReady(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

    RECT m_PaintRect{};
    int m_nPictureWidth = 0;
    int m_nPictureHeight = 0;
    COLORREF m_clrBackground = 0xFFFFFF;
    UINT m_nCurrFrame = 0;
    UINT m_nDataSize = 0;
    UINT m_nCurrOffset = 0;
    UINT m_nGlobalCTSize = 0;
    BOOL m_bIsGIF = FALSE;
    std::atomic<BOOL> m_bIsPlaying{FALSE};
    std::atomic<BOOL> m_bExitThread{FALSE};
    BOOL m_bIsInitialized = FALSE;
    HDC m_hMemDC = nullptr;
    HDC m_hDispMemDC = nullptr;
    HBITMAP m_hDispMemBM = nullptr;
    HGDIOBJ m_hDispOldBM = nullptr;
    HBITMAP m_hBitmap = nullptr;
    HGDIOBJ m_hOldBitmap = nullptr;
    HANDLE m_hThread = nullptr;
    HANDLE m_hExitEvent = nullptr;
    IPicture* m_pPicture = nullptr;
    const BYTE* m_pGIFHeader = nullptr;
    const BYTE* m_pRawData = nullptr;
    const BYTE* m_pGIFLSDescriptor = nullptr;
    std::vector<TFrame> m_arrFrames;

private:
    /// The animated-GIF part of loading, from the screen size on; the data is locked.
    BOOL LoadGif(HGLOBAL data, int width, int height);
    /// Decodes the whole block as one picture; a size of 0 comes from the picture itself.
    BOOL LoadSinglePicture(HGLOBAL data, int width, int height);
    /// Moves the parse position past application and comment extensions; false when one does not end
    /// inside the data.
    bool SkipAppAndCommentExtensions();
    BOOL RenderPicture(IPicture* picture, const SIZE& offset, const SIZE& size);
    void FillWithBackground(const RECT& rect);
    RECT FrameRect(const TFrame& frame) const;
    void DisposeFrame(const TFrame& frame);
    void DeleteSavedArea();
    void RequestRepaint();

    // The off-screen bitmap is drawn by the animation thread and painted from by the window.
    std::mutex m_drawLock;
    std::atomic<bool> m_repaintPosted{false};
    // Where the image of a GIF of one frame lies on its screen.
    SIZE m_singleOffset{};
    SIZE m_singleSize{};
};
