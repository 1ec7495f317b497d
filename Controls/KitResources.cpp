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

const DLGTEMPLATE* FindKitDialogTemplate(UINT id, std::size_t& size)
{
    HINSTANCE own = platform::resources::ThisModule();
    const LPCSTR name = MAKEINTRESOURCE(id);
    HRSRC resource = own && own != GetModuleHandle(nullptr) ? FindResource(own, name, RT_DIALOG) : nullptr;
    if (!resource)
        return nullptr;
    size = SizeofResource(own, resource);
    return static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(own, resource)));
}

HBITMAP LoadKitBitmap(UINT id)
{
    const LPCSTR name = MAKEINTRESOURCE(id);
    return static_cast<HBITMAP>(
        LoadImage(FindKitResourceModule(name, RT_BITMAP), name, IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}
