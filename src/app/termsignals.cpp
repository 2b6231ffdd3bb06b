#include "termsignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
int pipeFds[2] = {-1, -1};

void OnSignal(int signal)
{
    const int saved = errno;
    const char byte = char(signal);
    // Async-signal-safe; a full pipe already holds a byte to act on.
    [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent)
{
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::Read);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : kSignals) {
        // A signal ignored from the start (SIGHUP under nohup, SIGINT for a
        // shell's background job) stays ignored.
        struct sigaction before {};
        if (::sigaction(s, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        ::sigaction(s, &action, nullptr);
        caught_.push_back(s);
    }
}

TerminationSignals::~TerminationSignals()
{
    if (!notifier_)
        return;
    for (const int s : caught_)
        ::signal(s, SIG_DFL);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

int TerminationSignals::Descriptor() const
{
    return notifier_ ? pipeFds[0] : -1;
}

void TerminationSignals::Read()
{
    char bytes[16];
    ssize_t n;
    while ((n = ::read(pipeFds[0], bytes, sizeof bytes)) > 0) {
        received_ = true;
        emit received(static_cast<unsigned char>(bytes[n - 1]));
    }
}
