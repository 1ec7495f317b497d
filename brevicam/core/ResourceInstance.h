#pragma once

#include "platform/win/WinTypes.h"

/// What the application object offers the core services: the module every text of the program is loaded
/// from. The program's application object implements it; core reaches it through the class library's
/// current application object, so core does not depend on the windows of the program.
class IResourceInstanceProvider
{
public:
    /// The language resource library when one was loaded, else the program's own module.
    virtual HINSTANCE GetResourceInstance() const = 0;

protected:
    ~IResourceInstanceProvider() = default;
};

/// The module to load the program's strings from: the application object's resource instance when the
/// application object provides one, else the program's own instance handle. Loaded anew by each caller.
HINSTANCE AppResourceInstance();
