#include "termsignals.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

// 'I'gnored, 'D'efault or 'C'aught.
char Disposition(int signal)
{
    struct sigaction now {};
    sigaction(signal, nullptr, &now);
    return now.sa_handler == SIG_IGN ? 'I' : now.sa_handler == SIG_DFL ? 'D' : 'C';
}

} // namespace

TEST(TerminationSignals, ASignalIgnoredWhenTheProgramStartsStaysIgnored)
{
    // As under nohup (SIGHUP) or for a shell's background job (SIGINT).
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        for (const bool ignored : {true, false}) {
            std::signal(signal, ignored ? SIG_IGN : SIG_DFL);
            {
                const TerminationSignals caught;
                EXPECT_EQ(Disposition(signal), ignored ? 'I' : 'C') << signal;
            }
            EXPECT_EQ(Disposition(signal), ignored ? 'I' : 'D') << signal << ", once it has gone";
        }
        std::signal(signal, SIG_DFL);
    }
}
