#pragma once

#include <string>

// The Qt platform to ask for, or "" to leave Qt's own choice. Placing
// windows at the mouse cursor needs X11, so a Wayland session prefers
// XWayland and falls back to Wayland where there is none.
std::string PreferredPlatform(const char *qpaPlatform, const char *waylandDisplay,
                              const char *sessionType);
