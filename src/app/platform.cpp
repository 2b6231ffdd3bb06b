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

namespace {

// The options QApplication, QGuiApplication, QCoreApplication and the X11
// platform take from a command line, with one dash or two.
constexpr struct {
    const char *name;
    bool value;     // the next argument is its value
    bool withEqual; // or its value follows "="
} kQtOptions[] = {
    {"platform", true, false},
    {"platformpluginpath", true, false},
    {"platformtheme", true, false},
    {"plugin", true, false},
    {"qwindowgeometry", true, false},
    {"qwindowicon", true, false},
    {"qwindowtitle", true, false},
    {"reverse", false, false},
    {"session", true, false},
    {"style", true, true},
    {"stylesheet", true, true},
    {"widgetcount", false, false},
    {"qmljsdebugger", true, true},
    {"testability", false, false},
    {"qdevel", false, false},
    {"qdebug", false, false},
    {"display", true, false},
    {"geometry", true, false},
    {"title", true, false},
    {"icon", true, false},
    {"name", true, false},
    {"visual", true, false},
    {"nograb", false, false},
    {"dograb", false, false},
};

} // namespace

WindowCommandLine ReadWindowCommandLine(int argc, const char *const *argv)
{
    WindowCommandLine line;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (arg[0] != '-' || arg[1] == 0)
            return {};
        arg += arg[1] == '-' ? 2 : 1;
        bool known = false;
        for (const auto &option : kQtOptions) {
            const std::size_t n = std::strlen(option.name);
            if (std::strncmp(arg, option.name, n) != 0)
                continue;
            if (arg[n] == '=' && option.withEqual) {
                known = true;
            } else if (arg[n] == 0 && (!option.value || i + 1 < argc)) {
                known = true;
                if (option.value && std::strcmp(option.name, "platform") == 0)
                    line.platform = argv[i + 1];
                if (option.value && std::strcmp(option.name, "display") == 0)
                    line.display = argv[i + 1];
                i += option.value ? 1 : 0;
            }
            if (known)
                break;
        }
        if (!known)
            return {};
    }
    line.window = true;
    return line;
}
