// The window classes the layer provides itself.

#include "platform/window/WindowInternal.h"

namespace platform::window::detail
{
void RegisterSystemClasses() {}
} // namespace platform::window::detail
