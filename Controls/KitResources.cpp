#include "Controls/KitResources.h"

#include "platform/resources/Resources.h"

HINSTANCE FindKitResourceModule(LPCSTR name, LPCSTR type)
{
    // ThisModule() here is the module this copy of the kit was linked into.
    HINSTANCE own = platform::resources::ThisModule();
    if (own && own != GetModuleHandle(nullptr) && FindResource(own, name, type))
        return own;
    return AfxFindResourceHandle(name, type);
}

HBITMAP LoadKitBitmap(UINT id)
{
    const LPCSTR name = MAKEINTRESOURCE(id);
    return static_cast<HBITMAP>(
        LoadImage(FindKitResourceModule(name, RT_BITMAP), name, IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}
