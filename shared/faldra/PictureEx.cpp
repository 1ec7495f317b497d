#include "shared/faldra/PictureEx.h"

#include "platform/resources/Resources.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>

namespace
{
// Off-screen bitmaps larger than this are refused: a damaged or hostile header must not make us allocate
// gigabytes. 16384 on a side and 128 MB of pixels hold any photo the program takes.
constexpr int kMaxSide = 16384;
constexpr long long kMaxPixels = 1LL << 25;
// The frame shown when a frame's own delay is missing or too short to see.
constexpr DWORD kDefaultFrameMs = 100;
constexpr UINT kNoDelay = std::numeric_limits<UINT>::max();
const BYTE kTrailer = 0x3B;

// The animation thread asks for a repaint by posting this to the control, never by a call that waits for
// the user-interface thread: that thread may be waiting for the animation thread to end.
const UINT g_frameReady = RegisterWindowMessage("CPictureEx frame ready");

int Word(const BYTE* at)
{
    return at[0] | (at[1] << 8);
}

// The pixels decoding one image of a GIF takes: the decoder draws on the logical screen, and an image
// reaching beyond the screen can only make that larger. Beyond the side limit it counts as too many.
long long DecodedPixels(int screenWidth, int screenHeight, SIZE offset, SIZE size)
{
    const long long width = std::max<long long>(screenWidth, static_cast<long long>(offset.cx) + size.cx);
    const long long height = std::max<long long>(screenHeight, static_cast<long long>(offset.cy) + size.cy);
    if (width > kMaxSide || height > kMaxSide)
        return kMaxPixels + 1;
    return width * height;
}

RECT Intersect(const RECT& a, const RECT& b)
{
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.right < r.left)
        r.right = r.left;
    if (r.bottom < r.top)
        r.bottom = r.top;
    return r;
}

bool Empty(const RECT& r)
{
    return r.right <= r.left || r.bottom <= r.top;
}

/// Frees a memory DC and the bitmap drawn into it (the DC gets its first bitmap back before it goes), and
/// clears the three handles.
void FreeMemoryDC(HDC& dc, HBITMAP& bitmap, HGDIOBJ& oldBitmap)
{
    if (dc)
    {
        SelectObject(dc, oldBitmap);
        DeleteDC(dc);
    }
    if (bitmap)
        DeleteObject(bitmap);
    dc = nullptr;
    bitmap = nullptr;
    oldBitmap = nullptr;
}
} // namespace

BEGIN_MESSAGE_MAP(CPictureEx, CStatic)
ON_WM_DESTROY()
ON_WM_PAINT()
ON_REGISTERED_MESSAGE(g_frameReady, OnFrameReady)
END_MESSAGE_MAP()

CPictureEx::CPictureEx()
{
    m_hExitEvent = CreateEvent(nullptr, TRUE, FALSE, nullptr);
}

CPictureEx::~CPictureEx()
{
    UnLoad();
    if (m_hExitEvent)
        CloseHandle(m_hExitEvent);
}

BOOL CPictureEx::Load(HGLOBAL data, DWORD size)
{
    UnLoad();
    auto* bytes = static_cast<const BYTE*>(GlobalLock(data));
    if (!bytes)
        return FALSE;
    BOOL loaded = FALSE;
    // A size beyond the block would have the parser read past it.
    if (size > 0 && size <= GlobalSize(data))
    {
        m_nDataSize = size;
        m_pRawData = bytes;
        const bool gif = size >= 6 && std::memcmp(bytes, "GIF", 3) == 0 &&
                         (std::memcmp(bytes + 3, "87a", 3) == 0 || std::memcmp(bytes + 3, "89a", 3) == 0);
        if (!gif)
            loaded = LoadSinglePicture(data, 0, 0);
        else if (size >= 13)
        {
            m_bIsGIF = TRUE;
            m_pGIFHeader = bytes;
            m_pGIFLSDescriptor = bytes + 6;
            const int width = Word(bytes + 6);
            const int height = Word(bytes + 8);
            m_nGlobalCTSize = (bytes[10] & 0x80) ? 3u * (1u << ((bytes[10] & 7) + 1)) : 0u;
            loaded = LoadGif(data, width, height);
        }
    }
    GlobalUnlock(data);
    m_pRawData = m_pGIFHeader = m_pGIFLSDescriptor = nullptr;
    if (!loaded)
        UnLoad();
    return loaded;
}

BOOL CPictureEx::LoadGif(HGLOBAL data, int width, int height)
{
    // A few bytes of header can claim a screen and frames of any size, and every frame is decoded before
    // it is shown: the sizes are checked before anything is decoded, and all the frames of an animation
    // together may hold no more pixels than one still picture.
    if (DecodedPixels(width, height, SIZE{}, SIZE{}) > kMaxPixels)
        return FALSE;
    ResetDataPointer();
    int graphicBlocks = 0;
    while (SkipNextGraphicBlock())
        ++graphicBlocks;
    if (graphicBlocks == 0)
        return FALSE;
    if (graphicBlocks == 1)
    {
        // The picture of a GIF is its image's own rectangle, which need not cover the whole screen.
        ResetDataPointer();
        UINT length = 0;
        UINT delay = 0;
        UINT disposal = 0;
        HGLOBAL block = GetNextGraphicBlock(&length, &delay, &m_singleSize, &m_singleOffset, &disposal);
        if (!block)
            return FALSE;
        GlobalFree(block);
        if (DecodedPixels(width, height, m_singleOffset, m_singleSize) > kMaxPixels)
            return FALSE;
        return LoadSinglePicture(data, width, height);
    }

    ResetDataPointer();
    long long pixels = 0;
    for (;;)
    {
        TFrame frame;
        UINT length = 0;
        HGLOBAL block = GetNextGraphicBlock(&length, &frame.m_nDelay, &frame.m_frameSize,
                                            &frame.m_frameOffset, &frame.m_nDisposal);
        if (!block)
            break;
        GlobalFree(block);
        pixels += DecodedPixels(width, height, frame.m_frameOffset, frame.m_frameSize);
        if (pixels > kMaxPixels)
            return FALSE;
    }

    ResetDataPointer();
    for (;;)
    {
        TFrame frame;
        UINT length = 0;
        HGLOBAL block = GetNextGraphicBlock(&length, &frame.m_nDelay, &frame.m_frameSize,
                                            &frame.m_frameOffset, &frame.m_nDisposal);
        if (!block)
            break;
        IStream* stream = nullptr;
        if (CreateStreamOnHGlobal(block, TRUE, &stream) != S_OK)
        {
            GlobalFree(block);
            continue;
        }
        const HRESULT hr = OleLoadPicture(stream, static_cast<LONG>(length), FALSE, IID_IPicture,
                                          reinterpret_cast<void**>(&frame.m_pPicture));
        stream->Release();
        if (SUCCEEDED(hr) && frame.m_pPicture)
            m_arrFrames.push_back(frame);
    }
    if (m_arrFrames.empty())
        return FALSE;
    return PrepareDC(width, height);
}

BOOL CPictureEx::LoadSinglePicture(HGLOBAL data, int width, int height)
{
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(data, FALSE, &stream) != S_OK)
        return FALSE;
    const HRESULT hr = OleLoadPicture(stream, static_cast<LONG>(m_nDataSize), FALSE, IID_IPicture,
                                      reinterpret_cast<void**>(&m_pPicture));
    stream->Release();
    if (FAILED(hr) || !m_pPicture)
    {
        m_pPicture = nullptr;
        return FALSE;
    }
    if (!m_bIsGIF)
    {
        OLE_XSIZE_HIMETRIC hmWidth = 0;
        OLE_YSIZE_HIMETRIC hmHeight = 0;
        m_pPicture->get_Width(&hmWidth);
        m_pPicture->get_Height(&hmHeight);
        HDC dc = ::GetDC(m_hWnd);
        if (!dc)
            return FALSE;
        width = MulDiv(hmWidth, GetDeviceCaps(dc, LOGPIXELSX), 2540);
        height = MulDiv(hmHeight, GetDeviceCaps(dc, LOGPIXELSY), 2540);
        ::ReleaseDC(m_hWnd, dc);
    }
    return PrepareDC(width, height);
}

BOOL CPictureEx::Load(LPCSTR fileName)
{
    UnLoad();
    if (!fileName)
        return FALSE;
    std::ifstream file(fileName, std::ios::binary | std::ios::ate);
    if (!file)
        return FALSE;
    const std::streamoff size = file.tellg();
    if (size <= 0 || size > std::numeric_limits<LONG>::max())
        return FALSE;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, static_cast<std::size_t>(size));
    if (!block)
        return FALSE;
    file.seekg(0);
    const bool read = static_cast<bool>(file.read(static_cast<char*>(GlobalLock(block)), size));
    GlobalUnlock(block);
    const BOOL loaded = read && Load(block, static_cast<DWORD>(size));
    GlobalFree(block);
    return loaded;
}

BOOL CPictureEx::Load(LPCSTR name, LPCSTR type)
{
    UnLoad();
    HINSTANCE module = AfxGetResourceHandle();
    HRSRC resource = FindResource(module, name, type);
    if (!resource)
        return FALSE;
    const DWORD size = SizeofResource(module, resource);
    const void* bytes = LockResource(LoadResource(module, resource));
    if (!bytes || size == 0)
        return FALSE;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!block)
        return FALSE;
    std::memcpy(GlobalLock(block), bytes, size);
    GlobalUnlock(block);
    const BOOL loaded = Load(block, size);
    GlobalFree(block);
    return loaded;
}

void CPictureEx::ResetDataPointer()
{
    m_nCurrOffset = 13 + m_nGlobalCTSize;
}

CPictureEx::GIFBlockTypes CPictureEx::GetNextBlock() const
{
    if (!m_pRawData || m_nCurrOffset >= m_nDataSize)
        return BLOCK_UNKNOWN;
    switch (m_pRawData[m_nCurrOffset])
    {
    case 0x21:
        if (m_nCurrOffset + 1 >= m_nDataSize)
            return BLOCK_UNKNOWN;
        switch (m_pRawData[m_nCurrOffset + 1])
        {
        case 0xFF:
            return BLOCK_APPEXT;
        case 0xFE:
            return BLOCK_COMMEXT;
        case 0xF9:
            return BLOCK_CONTROLEXT;
        case 0x01:
            return BLOCK_PLAINTEXT;
        default:
            return BLOCK_UNKNOWN;
        }
    case 0x2C:
        return BLOCK_IMAGE;
    case 0x3B:
        return BLOCK_TRAILER;
    default:
        return BLOCK_UNKNOWN;
    }
}

int CPictureEx::GetSubBlocksLen(UINT offset) const
{
    long long length = 0;
    for (long long at = offset; at < m_nDataSize;)
    {
        const UINT blockLength = m_pRawData[at];
        length += blockLength + 1;
        at += blockLength + 1;
        if (blockLength == 0)
            return at <= m_nDataSize && length <= std::numeric_limits<int>::max() ? static_cast<int>(length)
                                                                                  : -1;
    }
    return -1;
}

int CPictureEx::GetNextBlockLen() const
{
    long long length = -1;
    auto withSubBlocks = [&](UINT head)
    {
        const long long start = static_cast<long long>(m_nCurrOffset) + head;
        if (start >= m_nDataSize)
            return -1LL;
        const int chain = GetSubBlocksLen(static_cast<UINT>(start));
        return chain < 0 ? -1LL : head + static_cast<long long>(chain);
    };
    switch (GetNextBlock())
    {
    case BLOCK_APPEXT:
        length = withSubBlocks(14);
        break;
    case BLOCK_COMMEXT:
        length = withSubBlocks(2);
        break;
    case BLOCK_CONTROLEXT:
        length = 8;
        break;
    case BLOCK_PLAINTEXT:
        length = withSubBlocks(15);
        break;
    case BLOCK_IMAGE:
        if (static_cast<long long>(m_nCurrOffset) + 10 <= m_nDataSize)
        {
            const BYTE packed = m_pRawData[m_nCurrOffset + 9];
            const UINT colourTable = (packed & 0x80) ? 3u * (1u << ((packed & 7) + 1)) : 0u;
            length = withSubBlocks(11 + colourTable);
        }
        break;
    case BLOCK_TRAILER:
        length = 1;
        break;
    case BLOCK_UNKNOWN:
        break;
    }
    // A block that does not end inside the data ends the parse.
    if (length <= 0 || static_cast<long long>(m_nCurrOffset) + length > m_nDataSize)
        return -1;
    return static_cast<int>(length);
}

BOOL CPictureEx::SkipNextBlock()
{
    const int length = GetNextBlockLen();
    if (length <= 0)
        return FALSE;
    m_nCurrOffset += static_cast<UINT>(length);
    return TRUE;
}

bool CPictureEx::SkipAppAndCommentExtensions()
{
    for (GIFBlockTypes type = GetNextBlock(); type == BLOCK_APPEXT || type == BLOCK_COMMEXT;
         type = GetNextBlock())
        if (!SkipNextBlock())
            return false;
    return true;
}

BOOL CPictureEx::SkipNextGraphicBlock()
{
    if (!m_pRawData)
        return FALSE;
    if (!SkipAppAndCommentExtensions())
        return FALSE;
    if (GetNextBlock() == BLOCK_CONTROLEXT && (!SkipNextBlock() || !SkipAppAndCommentExtensions()))
        return FALSE;
    const GIFBlockTypes type = GetNextBlock();
    if (type != BLOCK_IMAGE && type != BLOCK_PLAINTEXT)
        return FALSE;
    return SkipNextBlock();
}

HGLOBAL CPictureEx::GetNextGraphicBlock(UINT* blockLen, UINT* delay, SIZE* blockSize, SIZE* blockOffset,
                                        UINT* disposal)
{
    if (!m_pRawData)
        return nullptr;
    *delay = kNoDelay;
    *disposal = 0;
    *blockSize = SIZE{};
    *blockOffset = SIZE{};
    if (!SkipAppAndCommentExtensions())
        return nullptr;
    const UINT start = m_nCurrOffset;
    if (GetNextBlock() == BLOCK_CONTROLEXT)
    {
        if (GetNextBlockLen() <= 0)
            return nullptr;
        const BYTE* control = m_pRawData + m_nCurrOffset;
        *disposal = (control[3] >> 2) & 7;
        *delay = static_cast<UINT>(Word(control + 4));
        if (!SkipNextBlock() || !SkipAppAndCommentExtensions())
            return nullptr;
    }
    const GIFBlockTypes type = GetNextBlock();
    if (type != BLOCK_IMAGE && type != BLOCK_PLAINTEXT)
        return nullptr;
    if (GetNextBlockLen() <= 0)
        return nullptr;
    if (type == BLOCK_IMAGE)
    {
        const BYTE* image = m_pRawData + m_nCurrOffset;
        *blockOffset = SIZE{Word(image + 1), Word(image + 3)};
        *blockSize = SIZE{Word(image + 5), Word(image + 7)};
    }
    if (!SkipNextBlock())
        return nullptr;

    const UINT header = 13 + m_nGlobalCTSize;
    const UINT body = m_nCurrOffset - start;
    const UINT length = header + body + 1;
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, length);
    auto* out = static_cast<BYTE*>(GlobalLock(block));
    if (!out)
    {
        if (block)
            GlobalFree(block);
        return nullptr;
    }
    std::memcpy(out, m_pRawData, header);
    std::memcpy(out + header, m_pRawData + start, body);
    out[header + body] = kTrailer;
    GlobalUnlock(block);
    *blockLen = length;
    return block;
}

BOOL CPictureEx::PrepareDC(int width, int height)
{
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide ||
        static_cast<long long>(width) * height > kMaxPixels)
        return FALSE;
    if (m_hWnd)
        SetWindowPos(nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    HDC window = ::GetDC(m_hWnd);
    if (!window)
        return FALSE;
    m_hMemDC = CreateCompatibleDC(window);
    if (m_hMemDC)
        m_hBitmap = CreateCompatibleBitmap(window, width, height);
    ::ReleaseDC(m_hWnd, window);
    if (!m_hBitmap)
    {
        if (m_hMemDC)
            DeleteDC(m_hMemDC);
        m_hMemDC = nullptr;
        return FALSE;
    }
    m_hOldBitmap = SelectObject(m_hMemDC, m_hBitmap);
    m_nPictureWidth = width;
    m_nPictureHeight = height;
    m_clrBackground = GetSysColor(COLOR_BTNFACE);
    const RECT all{0, 0, width, height};
    FillRect(m_hMemDC, &all, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_MENU + 1)));
    m_bIsInitialized = TRUE;
    return TRUE;
}

BOOL CPictureEx::RenderPicture(IPicture* picture, const SIZE& offset, const SIZE& size)
{
    if (!picture || size.cx <= 0 || size.cy <= 0)
        return FALSE;
    const RECT full{offset.cx, offset.cy, offset.cx + size.cx, offset.cy + size.cy};
    // Only the part inside the picture is drawn, with the matching part of the frame as the source.
    const RECT shown = Intersect(full, RECT{0, 0, m_nPictureWidth, m_nPictureHeight});
    if (Empty(shown))
        return FALSE;
    OLE_XSIZE_HIMETRIC hmWidth = 0;
    OLE_YSIZE_HIMETRIC hmHeight = 0;
    picture->get_Width(&hmWidth);
    picture->get_Height(&hmHeight);
    auto sourceX = [&](LONG x)
    { return std::lround(static_cast<double>(hmWidth) * (x - full.left) / size.cx); };
    auto sourceY = [&](LONG y)
    { return hmHeight - std::lround(static_cast<double>(hmHeight) * (y - full.top) / size.cy); };
    const LONG left = sourceX(shown.left);
    const LONG top = sourceY(shown.top);
    return SUCCEEDED(picture->Render(m_hMemDC, shown.left, shown.top, shown.right - shown.left,
                                     shown.bottom - shown.top, left, top, sourceX(shown.right) - left,
                                     sourceY(shown.bottom) - top, nullptr));
}

BOOL CPictureEx::Draw()
{
    if (!m_bIsInitialized)
        return FALSE;
    if (!m_arrFrames.empty())
    {
        // The handle lives until Stop, so a second Draw while the thread starts finds it.
        if (!m_hThread)
        {
            m_bExitThread = FALSE;
            unsigned id = 0;
            m_hThread = reinterpret_cast<HANDLE>(
                _beginthreadex(nullptr, 0, _ThreadAnimation, this, CREATE_SUSPENDED, &id));
            if (m_hThread)
                ResumeThread(m_hThread);
        }
        return FALSE;
    }
    BOOL drawn = FALSE;
    {
        std::lock_guard lock(m_drawLock);
        drawn = m_bIsGIF ? RenderPicture(m_pPicture, m_singleOffset, m_singleSize)
                         : RenderPicture(m_pPicture, SIZE{0, 0}, SIZE{m_nPictureWidth, m_nPictureHeight});
    }
    if (!drawn)
        return FALSE;
    Invalidate(FALSE);
    return TRUE;
}

void CPictureEx::Stop()
{
    m_bIsPlaying = FALSE;
    m_bExitThread = TRUE;
    if (m_hExitEvent)
        SetEvent(m_hExitEvent);
    if (m_hThread)
    {
        // Waited for to the end, however long: the thread uses the frames and bitmaps that UnLoad and the
        // destructor release right after. It never waits for this thread, so it ends promptly.
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
    if (m_hExitEvent)
        ResetEvent(m_hExitEvent);
    m_bExitThread = FALSE;
}

void CPictureEx::UnLoad()
{
    Stop();
    if (m_pPicture)
        m_pPicture->Release();
    m_pPicture = nullptr;
    for (TFrame& frame : m_arrFrames)
        if (frame.m_pPicture)
            frame.m_pPicture->Release();
    m_arrFrames.clear();
    FreeMemoryDC(m_hMemDC, m_hBitmap, m_hOldBitmap);
    DeleteSavedArea();
    SetRectEmpty(&m_PaintRect);
    m_nPictureWidth = m_nPictureHeight = 0;
    m_singleOffset = m_singleSize = SIZE{};
    m_nCurrFrame = m_nDataSize = m_nCurrOffset = m_nGlobalCTSize = 0;
    m_bIsGIF = FALSE;
    m_bIsPlaying = FALSE;
    m_bExitThread = FALSE;
    m_bIsInitialized = FALSE;
    m_clrBackground = 0xFFFFFF;
}

void CPictureEx::SetBkColor(COLORREF color)
{
    if (!m_bIsInitialized)
        return;
    std::lock_guard lock(m_drawLock);
    m_clrBackground = color;
    FillWithBackground(RECT{0, 0, m_nPictureWidth, m_nPictureHeight});
}

void CPictureEx::SetPaintRect(const RECT* rect)
{
    if (rect)
        m_PaintRect = *rect;
    else
        SetRectEmpty(&m_PaintRect);
}

void CPictureEx::GetPaintRect(RECT* rect) const
{
    if (rect)
        *rect = m_PaintRect;
}

void CPictureEx::FillWithBackground(const RECT& rect)
{
    HBRUSH brush = CreateSolidBrush(m_clrBackground);
    FillRect(m_hMemDC, &rect, brush);
    DeleteObject(brush);
}

RECT CPictureEx::FrameRect(const TFrame& frame) const
{
    const RECT rect{frame.m_frameOffset.cx, frame.m_frameOffset.cy,
                    frame.m_frameOffset.cx + frame.m_frameSize.cx,
                    frame.m_frameOffset.cy + frame.m_frameSize.cy};
    return Intersect(rect, RECT{0, 0, m_nPictureWidth, m_nPictureHeight});
}

void CPictureEx::DeleteSavedArea()
{
    FreeMemoryDC(m_hDispMemDC, m_hDispMemBM, m_hDispOldBM);
}

void CPictureEx::DisposeFrame(const TFrame& frame)
{
    const RECT rect = FrameRect(frame);
    switch (frame.m_nDisposal)
    {
    case 2:
        FillWithBackground(rect);
        break;
    case 3:
        if (m_hDispMemDC && !Empty(rect))
            BitBlt(m_hMemDC, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                   m_hDispMemDC, 0, 0, SRCCOPY);
        DeleteSavedArea();
        break;
    default:
        break;
    }
}

unsigned CPictureEx::_ThreadAnimation(void* control)
{
    auto* self = static_cast<CPictureEx*>(control);
    self->m_bIsPlaying = TRUE;
    self->ThreadAnimation();
    self->m_bIsPlaying = FALSE;
    return 0;
}

void CPictureEx::ThreadAnimation()
{
    const UINT count = static_cast<UINT>(m_arrFrames.size());
    if (count == 0)
        return;
    if (m_nCurrFrame >= count)
        m_nCurrFrame = 0;
    {
        std::lock_guard lock(m_drawLock);
        DisposeFrame(m_arrFrames[m_nCurrFrame]);
    }
    while (!m_bExitThread)
    {
        const TFrame& frame = m_arrFrames[m_nCurrFrame];
        if (frame.m_pPicture)
        {
            BOOL drawn = FALSE;
            {
                std::lock_guard lock(m_drawLock);
                if (frame.m_nDisposal == 3)
                {
                    // A saved area left by a stop between drawing and disposing is replaced, not leaked.
                    DeleteSavedArea();
                    const RECT rect = FrameRect(frame);
                    if (!Empty(rect))
                    {
                        m_hDispMemDC = CreateCompatibleDC(m_hMemDC);
                        m_hDispMemBM =
                            CreateCompatibleBitmap(m_hMemDC, rect.right - rect.left, rect.bottom - rect.top);
                        if (m_hDispMemDC && m_hDispMemBM)
                        {
                            m_hDispOldBM = SelectObject(m_hDispMemDC, m_hDispMemBM);
                            BitBlt(m_hDispMemDC, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                                   m_hMemDC, rect.left, rect.top, SRCCOPY);
                        }
                        else
                            DeleteSavedArea();
                    }
                }
                drawn = RenderPicture(frame.m_pPicture, frame.m_frameOffset, frame.m_frameSize);
            }
            if (drawn)
                RequestRepaint();
        }
        if (m_bExitThread)
            break;
        // The delay of a frame without one is all ones; times ten it would overflow, so it gets the default.
        const DWORD waitMs = frame.m_nDelay != kNoDelay && frame.m_nDelay >= 5
                                 ? static_cast<DWORD>(frame.m_nDelay) * 10
                                 : kDefaultFrameMs;
        WaitForSingleObject(m_hExitEvent, waitMs);
        if (m_bExitThread)
            break;
        std::lock_guard lock(m_drawLock);
        DisposeFrame(frame);
        if (++m_nCurrFrame >= count)
        {
            m_nCurrFrame = 0;
            FillWithBackground(RECT{0, 0, m_nPictureWidth, m_nPictureHeight});
        }
    }
}

void CPictureEx::RequestRepaint()
{
    // One request at a time: a window that is not painted for a while gets one, not a queue full.
    HWND hwnd = m_hWnd;
    if (!hwnd)
        return;
    if (!m_repaintPosted.exchange(true) && !::PostMessage(hwnd, g_frameReady, 0, 0))
        m_repaintPosted = false;
}

LRESULT CPictureEx::OnFrameReady(WPARAM, LPARAM)
{
    m_repaintPosted = false;
    Invalidate(FALSE);
    return 0;
}

void CPictureEx::OnPaint()
{
    CPaintDC dc(this);
    if (!m_bIsInitialized)
        return;
    std::lock_guard lock(m_drawLock);
    if (IsRectEmpty(&m_PaintRect))
        BitBlt(dc.GetSafeHdc(), 0, 0, m_nPictureWidth, m_nPictureHeight, m_hMemDC, 0, 0, SRCCOPY);
    else
        BitBlt(dc.GetSafeHdc(), 0, 0, m_PaintRect.right - m_PaintRect.left,
               m_PaintRect.bottom - m_PaintRect.top, m_hMemDC, m_PaintRect.left, m_PaintRect.top, SRCCOPY);
}

void CPictureEx::OnDestroy()
{
    Stop();
    Default();
}
