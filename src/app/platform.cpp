#include "platform.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <sys/prctl.h>
#include <sys/resource.h>

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

// The options QCoreApplication, QGuiApplication, QApplication and Qt's X11
// platform take from a command line, with one dash or two: those that take
// the next argument as their value, those that stand alone, and those whose
// value may follow "=" instead.
constexpr std::string_view kQtValueOptions[] = {
    "platform",        "platformpluginpath", "platformtheme", "plugin",
    "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "session",
    "style",           "stylesheet",         "qmljsdebugger"};
constexpr std::string_view kX11ValueOptions[] = {"display", "geometry", "title",
                                                 "icon",    "name",     "visual"};
constexpr std::string_view kQtFlags[] = {"reverse", "widgetcount", "testability", "qdevel",
                                         "qdebug",  "nograb",      "dograb"};
constexpr std::string_view kQtEqualOptions[] = {"style", "stylesheet", "qmljsdebugger"};

template <std::size_t N> bool In(const std::string_view (&names)[N], std::string_view name)
{
    return std::find(names, names + N, name) != names + N;
}

} // namespace

WindowCommandLine ReadWindowCommandLine(int argc, const char *const *argv)
{
    WindowCommandLine line;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg.size() < 2 || arg[0] != '-')
            return {};
        arg.remove_prefix(arg[1] == '-' ? 2 : 1);
        const auto equal = arg.find('=');
        if (In(kQtFlags, arg) || (equal != arg.npos && In(kQtEqualOptions, arg.substr(0, equal))))
            continue;
        if ((!In(kQtValueOptions, arg) && !In(kX11ValueOptions, arg)) || i + 1 == argc)
            return {};
        if (arg == "platform")
            line.platform = argv[i + 1];
        else if (arg == "display")
            line.display = argv[i + 1];
        ++i;
    }
    line.window = true;
    return line;
}

void KeepMemoryPrivate(const char *keepDumps)
{
    if (keepDumps && std::strcmp(keepDumps, "1") == 0)
        return;
    // The hard limit too, so that nothing in the process raises it again.
    const rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}
