// The program's start-up as a user meets it, beside two baselines measured
// the same way in the same run: a minimal Qt Widgets window, and the floor,
// a Qt program that builds the same main window and nothing else. Each is
// timed from exec to its window mapped and drawn (the first damage of the
// window after it is mapped, seen through the X server's Damage extension),
// and its resident memory taken after a second of idleness. Runs on a
// private Xvfb with openbox, each case in turn, round after round; prints
// medians and their ratios. Run it with a session bus (dbus-run-session),
// as a desktop has one.
#include "x11session.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

double NowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

struct Sample {
    double ms = -1;
    long rssKb = -1;
};

long RssKb(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key;
    long value;
    while (in >> key) {
        if (key == "Rss:" && in >> value)
            return value;
        in.ignore(1 << 16, '\n');
    }
    return -1;
}

long WindowPid(Display *d, Window w)
{
    static const Atom netWmPid = XInternAtom(d, "_NET_WM_PID", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(d, w, netWmPid, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data)
            == Success
        && data && count == 1)
        pid = long(*reinterpret_cast<unsigned long *>(data));
    if (data)
        XFree(data);
    return pid;
}

// Starts `argv` with `folder` as its data home and times its first window.
Sample Measure(Display *d, int damageEvent, const std::vector<std::string> &argv,
               const QString &dataHome)
{
    const Window root = DefaultRootWindow(d);
    XSelectInput(d, root, SubstructureNotifyMask);
    XSync(d, False);
    const double start = NowMs();
    const pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_DATA_HOME", dataHome.toLocal8Bit().constData(), 1);
        std::vector<char *> args;
        for (const std::string &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        freopen("/dev/null", "w", stderr);
        execv(args[0], args.data());
        _exit(127);
    }
    Sample s;
    Window target = None;
    while (s.ms < 0 && NowMs() - start < 20000) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == CreateNotify) {
                XSelectInput(d, e.xcreatewindow.window, StructureNotifyMask);
                XDamageCreate(d, e.xcreatewindow.window, XDamageReportNonEmpty);
            } else if (e.type == MapNotify && target == None
                       && WindowPid(d, e.xmap.window) == pid) {
                target = e.xmap.window;
            } else if (e.type == damageEvent + XDamageNotify) {
                const auto *de = reinterpret_cast<XDamageNotifyEvent *>(&e);
                if (de->drawable == target && s.ms < 0)
                    s.ms = NowMs() - start;
                XDamageSubtract(d, de->damage, None, None);
            }
        }
        pollfd p{ConnectionNumber(d), POLLIN, 0};
        poll(&p, 1, 20);
    }
    XSelectInput(d, root, NoEventMask);
    sleep(1);
    s.rssKb = RssKb(pid);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    XSync(d, True);
    return s;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Case {
    const char *name;
    std::vector<std::string> argv;
    std::vector<double> ms, mb;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: %s <quorvin> <minimal_window> <main_window_floor> [rounds "
                     "[program...]]\n",
                     argv[0]);
        return 2;
    }
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 7;
    X11Session session;
    std::string reason;
    if (!session.Start(1280, 1024, reason)) {
        std::fprintf(stderr, "no X11 session: %s\n", reason.c_str());
        return 1;
    }
    Display *d = XOpenDisplay(nullptr);
    int damageEvent, damageError;
    if (!d || !XDamageQueryExtension(d, &damageEvent, &damageError)) {
        std::fprintf(stderr, "no X display with the Damage extension\n");
        return 1;
    }

    // Copies of the program in folders of their own: one with no note, one
    // with a 10 MB note of 200-character lines.
    QTemporaryDir dir;
    const QString empty = dir.filePath("empty"), large = dir.filePath("large");
    for (const QString &folder : {empty, large}) {
        QDir().mkpath(folder);
        QFile::copy(argv[1], folder + "/quorvin");
    }
    {
        QFile note(large + "/npad.txt");
        if (!note.open(QIODevice::WriteOnly))
            return 1;
        const QByteArray line = QByteArray(198, 'x').append("\r\n");
        for (int i = 0; i < 50000; ++i)
            note.write(QByteArray::number(i).rightJustified(8, '0') + line.mid(8));
    }
    std::vector<Case> cases = {
        {"minimal Qt Widgets window", {argv[2]}, {}, {}},
        {"floor: the main window alone", {argv[3]}, {}, {}},
        {"start-up, empty note", {(empty + "/quorvin").toStdString()}, {}, {}},
        {"start-up, 10 MB note", {(large + "/quorvin").toStdString()}, {}, {}},
        {"Qt's editor with the 10 MB note", {argv[2], (large + "/npad.txt").toStdString()}, {}, {}},
    };
    // Other programs to weigh against the same baseline, by their path.
    for (int i = 5; i < argc; ++i)
        cases.push_back({argv[i], {argv[i]}, {}, {}});
    Measure(d, damageEvent, cases[0].argv, dir.filePath("data")); // warms the caches
    for (int r = 0; r < rounds; ++r)
        for (Case &c : cases) {
            const Sample s = Measure(d, damageEvent, c.argv, dir.filePath("data"));
            c.ms.push_back(s.ms);
            c.mb.push_back(double(s.rssKb) / 1024.0);
        }

    // Each case against the minimal window, then against the floor.
    const double baseMs = Median(cases[0].ms), baseMb = Median(cases[0].mb);
    const double floorMs = Median(cases[1].ms), floorMb = Median(cases[1].mb);
    std::printf("%-34s %10s %8s %8s %10s %8s %8s   (medians of %d rounds)\n", "case", "to drawn",
                "/minimal", "/floor", "resident", "/minimal", "/floor", rounds);
    for (const Case &c : cases)
        std::printf("%-34s %7.1f ms %7.2fx %7.2fx %7.1f MB %7.2fx %7.2fx\n", c.name, Median(c.ms),
                    Median(c.ms) / baseMs, Median(c.ms) / floorMs, Median(c.mb),
                    Median(c.mb) / baseMb, Median(c.mb) / floorMb);
    return 0;
}
