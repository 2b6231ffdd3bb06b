#include "platform.h"

#include <cstring>

std::string PreferredPlatform(const char *qpaPlatform, const char *waylandDisplay,
                              const char *sessionType)
{
    if (qpaPlatform && *qpaPlatform)
        return {}; // the user's choice stands
    const bool wayland = (waylandDisplay && *waylandDisplay)
                         || (sessionType && std::strcmp(sessionType, "wayland") == 0);
    return wayland ? "xcb;wayland" : "";
}
