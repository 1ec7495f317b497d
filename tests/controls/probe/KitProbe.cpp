#include "Controls/GdiPlusBitmap.h"

/// The width of PNG `id` as the kit compiled into this library loads it; 0 when it finds none.
extern "C" PLATFORM_API UINT ControlsProbePngWidth(UINT id)
{
    CPNGResource png(id);
    return png.GetWidth();
}
