#include "x11session.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Starts a program whose output goes nowhere and which dies with this one,
// so that nothing it holds keeps a test runner waiting. `keepFd` stays open.
pid_t Spawn(const std::vector<const char *> &argv, int keepFd = -1)
{
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(1);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    for (int fd = 3; fd < 1024; ++fd)
        if (fd != keepFd)
            close(fd);
    std::vector<char *> args;
    for (const char *a : argv)
        args.push_back(const_cast<char *>(a));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

void Stop(pid_t &pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

// How many windows the window manager manages, or -1 before it has come up.
int WindowsManaged()
{
    const std::string list = RunCommand("xprop -root _NET_CLIENT_LIST 2>/dev/null");
    if (list.find("window id") == std::string::npos)
        return -1;
    int n = 0;
    for (std::size_t at = list.find("0x"); at != std::string::npos; at = list.find("0x", at + 1))
        ++n;
    return n;
}

template <typename F> bool Within20s(F done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace

std::string RunCommand(const std::string &command)
{
    std::string out;
    if (FILE *p = popen(command.c_str(), "r")) {
        std::array<char, 4096> buf;
        while (std::size_t n = std::fread(buf.data(), 1, buf.size(), p))
            out.append(buf.data(), n);
        pclose(p);
    }
    return out;
}

bool X11Session::Start(int width, int height, std::string &reason)
{
    int fds[2];
    if (pipe(fds) != 0) {
        reason = "no pipe";
        return false;
    }
    // Xvfb writes its display number into the pipe once it takes clients.
    const std::string fd = std::to_string(fds[1]);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    // No key repeats: a key held by a busy machine must not press twice.
    xvfb_ = Spawn({"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten",
                   "tcp", "-noreset", "-r"},
                  fds[1]);
    close(fds[1]);
    if (xvfb_ < 0) {
        close(fds[0]);
        reason = "Xvfb could not be started";
        return false;
    }
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 20000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty()) {
        reason = "Xvfb gave no display";
        return false;
    }
    display_ = ":" + number;
    setenv("DISPLAY", display_.c_str(), 1);

    wm_ = Spawn({"openbox", "--sm-disable"});
    if (wm_ < 0) {
        reason = "openbox could not be started";
        return false;
    }
    // Announced on the root window, it may not frame windows yet: ready once
    // it has framed a window of its own, which is gone again before a test.
    if (!Within20s([] { return WindowsManaged() == 0; })) {
        reason = "openbox did not come up";
        return false;
    }
    pid_t probe = Spawn({"xmessage", "-name", "quorvin-probe", "probe"});
    const bool framed = Within20s([] { return WindowsManaged() == 1; });
    Stop(probe);
    if (!framed || !Within20s([] { return WindowsManaged() == 0; })) {
        reason = "openbox manages no window";
        return false;
    }
    return true;
}

void X11Session::KillServer()
{
    if (xvfb_ <= 0)
        return;
    kill(xvfb_, SIGKILL);
    waitpid(xvfb_, nullptr, 0);
    xvfb_ = -1;
}

X11Session::~X11Session()
{
    Stop(wm_);
    Stop(xvfb_);
}
