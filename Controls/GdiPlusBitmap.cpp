#include "Controls/GdiPlusBitmap.h"

#include "Controls/KitResources.h"
#include "platform/resources/Resources.h"
#include "shared/exceptions/Exceptions.h"

#include <cstring>
#include <new>

GlobalBuffer::GlobalBuffer(std::size_t size)
    : m_data(new (std::nothrow) BYTE[size == 0 ? 1 : size]), m_size(size)
{
    if (!m_data)
        throw COutOfMemoryException(THROW_SITE_MESSAGE("Cannot allocate memory"));
}

CGdiPlusBitmap::~CGdiPlusBitmap()
{
    Empty();
}

void CGdiPlusBitmap::Empty()
{
    delete m_pBitmap;
    m_pBitmap = nullptr;
    m_buffer.reset();
}

UINT CGdiPlusBitmap::GetWidth() const
{
    return m_pBitmap ? m_pBitmap->GetWidth() : 0;
}

UINT CGdiPlusBitmap::GetHeight() const
{
    return m_pBitmap ? m_pBitmap->GetHeight() : 0;
}

HRGN CGdiPlusBitmap::CreateRegion(BOOL mirrored) const
{
    if (!m_pBitmap)
        return nullptr;
    const int width = static_cast<int>(GetWidth());
    const int height = static_cast<int>(GetHeight());
    HRGN region = CreateRectRgn(0, 0, width, height);
    auto cut = [&](int start, int end, int y)
    {
        HRGN run = CreateRectRgn(start, y, end, y + 1);
        CombineRgn(region, region, run, RGN_DIFF);
        DeleteObject(run);
    };
    for (int y = 0; y < height; ++y)
    {
        int start = -1;
        for (int x = 0; x < width; ++x)
        {
            Gdiplus::Color pixel;
            const int readX = mirrored ? width - x - 1 : x;
            // A pixel that cannot be read counts as opaque.
            const bool cutAway = m_pBitmap->GetPixel(readX, y, &pixel) == Gdiplus::Ok && pixel.GetA() < 255;
            if (cutAway && start < 0)
                start = x;
            else if (!cutAway && start >= 0)
            {
                cut(start, x, y);
                start = -1;
            }
        }
        if (start >= 0)
            cut(start, width, y);
    }
    return region;
}

CPNGResource::CPNGResource(UINT id)
{
    Load(id);
}

BOOL CPNGResource::Load(UINT id)
{
    Empty();
    const LPCSTR name = MAKEINTRESOURCE(id);
    HINSTANCE module = FindKitResourceModule(name, "PNG");
    HRSRC resource = FindResource(module, name, "PNG");
    if (!resource)
        return FALSE;
    const DWORD size = SizeofResource(module, resource);
    HGLOBAL data = LoadResource(module, resource);
    const void* bytes = data ? LockResource(data) : nullptr;
    if (!bytes || size == 0)
        return FALSE;

    auto buffer = std::make_unique<GlobalBuffer>(size);
    std::memcpy(buffer->Data(), bytes, size);
    auto* bitmap = new Gdiplus::Bitmap(buffer->Data(), buffer->Size());
    if (bitmap->GetLastStatus() != Gdiplus::Ok)
    {
        delete bitmap;
        return FALSE;
    }
    m_pBitmap = bitmap;
    m_buffer = std::move(buffer);
    return TRUE;
}
