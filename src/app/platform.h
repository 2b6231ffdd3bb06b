#pragma once

#include <string>

// The Qt platform to ask for, or "" to leave Qt's own choice. Placing
// windows at the mouse cursor needs X11, so a Wayland session prefers
// XWayland and falls back to Wayland where there is none.
std::string PreferredPlatform(const char *qpaPlatform, const char *waylandDisplay,
                              const char *sessionType);

// The window's command line: nothing but options Qt takes for its windows
// (-style Fusion, -platform offscreen, -reverse...), each with its value.
// Any other argument makes it the command line for scripts (`window` false).
struct WindowCommandLine {
    bool window = false;
    const char *platform = nullptr; // the value of -platform, if given
    const char *display = nullptr;  // of -display
};
WindowCommandLine ReadWindowCommandLine(int argc, const char *const *argv);

// Keeps what the program holds (passwords, the note) out of crash dumps
// and from the user's other programs, which could read its memory through
// ptrace or /proc: no core file, and a process that is not dumpable.
// `keepDumps`, QUORVIN_DUMPABLE's value, leaves both as they were when it
// is "1", for a debugger or a crash's core.
void KeepMemoryPrivate(const char *keepDumps);
