// The program run from a script, as a child process: what it prints, where,
// and how it ends.
#include "passwordgen.h"
#include "strength.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <linux/capability.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

struct Outcome {
    int status = -1; // as a shell gives it: 128 + the signal that ended it
    QString out, err;
};

// `prepare` changes the process before it starts.
Outcome Quorvin(const QString &program, const QStringList &args,
                const std::function<void(QProcess &)> &prepare = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY"); // nothing of the window may be needed
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    p.setProcessEnvironment(env);
    if (prepare)
        prepare(p);
    p.start(program, args);
    if (!p.waitForFinished(20000))
        return {};
    return {p.exitCode() + (p.exitStatus() == QProcess::CrashExit ? 128 : 0),
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QString Strength(const CharChoices &c, int length)
{
    return QString::fromStdString(StrengthText(PasswordStrengthBits(c, length))) + "\n";
}

} // namespace

TEST(CommandLine, AnswersOnItsStreamsWithItsStatusAndTouchesNoFile)
{
    QTemporaryDir dir;
    const QString program = dir.filePath("quorvin");
    ASSERT_TRUE(QFile::copy(QUORVIN_EXE, program));
    CharChoices onlyTwo;
    onlyTwo.mode = SpecialMode::OnlyThose;
    onlyTwo.list = "!#";
    const QString lengthError = "quorvin: the length must be a whole number from 8 to 255\n";
    const QString countError = "quorvin: the count must be a positive whole number\n";
    const QString weak = "quorvin: warning: these choices give only ";
    const QString twice = " is given twice; the last one counts\n";
    const QString tryHelp = "Try 'quorvin --help' for more information.\n";
    const struct {
        QStringList args;
        int status;
        QString out; // a regular expression for the whole of it
        QString err;
    } cases[] = {
        {{"--version"}, 0, "quorvin 2\\.00\n", ""},
        {{"-v"}, 0, "quorvin 2\\.00\n", ""},
        {{"--help"}, 0, "(?s)Usage: quorvin \\[(?!.*help-all).*--length.*--strength.*", ""},
        {{"--help-all"}, 2, "", "quorvin: unknown option 'help-all'\n" + tryHelp},
        {{"--help", "extra"}, 2, "", "quorvin: unknown command 'extra'\n"},
        {{"--version", "generate", "extra"}, 2, "", "quorvin: unexpected argument 'extra'\n"},
        {{"generate"}, 0, "[!-~]{15}\n", ""},
        {{"generate", "-n", "3", "-l", "8"}, 0, "([!-~]{8}\n){3}", weak + Strength({}, 8)},
        {{"generate", "--length=255", "--space"}, 0, "[ -~]{255}\n", ""},
        {{"generate", "-l", "20", "--no-upper", "--no-lower", "--no-special"},
         0,
         "[0-9]{20}\n",
         ""},
        {{"generate", "--only", "!#", "--no-upper", "--no-lower", "--no-digits"},
         0,
         "[!#]{15}\n",
         weak + "15.0 bits\n"},
        {{"generate", "--strength"},
         0,
         QRegularExpression::escape(Strength(CharChoices{}, 15)),
         ""},
        {{"generate", "--only", "!#", "--strength", "-n", "5"},
         0,
         QRegularExpression::escape(Strength(onlyTwo, 15)),
         ""},
        {{"generate", "-l", "8", "--no-upper", "--no-lower", "--no-digits", "--only", "!",
          "--strength"},
         0,
         "0\\.0 bits\n",
         weak + "0.0 bits\n"},
        {{"generate", "--only", "a!#ba ", "--strength"},
         0,
         QRegularExpression::escape(Strength(onlyTwo, 15)),
         "quorvin: warning: 'a', 'b' and ' ' are not special characters and are ignored\n"},
        {{"generate", "--except", "x"},
         0,
         "[!-~]{15}\n",
         "quorvin: warning: 'x' is not a special character and is ignored\n"},
        {{"generate", "-l", "9", "--length", "20", "-l", "16", "-n", "5", "--count", "2"},
         0,
         "([!-~]{16}\n){2}",
         "quorvin: warning: --length is given 3 times; the last one counts\n"
         "quorvin: warning: --count"
             + twice},
        {{"generate", "--only", "#", "--only", "!", "-l", "8", "--no-upper", "--no-lower",
          "--no-digits"},
         0,
         "!{8}\n",
         "quorvin: warning: --only" + twice + weak + "0.0 bits\n"},
        {{"generate", "-l", "7"}, 2, "", lengthError},
        {{"generate", "-l", "256"}, 2, "", lengthError},
        {{"generate", "-l", "ten"}, 2, "", lengthError},
        {{"generate", "-n", "0"}, 2, "", countError},
        {{"generate", "-n", "-3"}, 2, "", countError},
        {{"generate", "-n", "9223372036854775808"}, 2, "", "quorvin: the count is too large\n"},
        {{"generate", "--only", "!", "--except", "#"},
         2,
         "",
         "quorvin: --only and --except exclude each other\n"},
        {{"generate", "again"}, 2, "", "quorvin: unexpected argument 'again'\n"},
        {{"make"}, 2, "", "quorvin: unknown command 'make'\n"},
        {{"--frob"}, 2, "", "quorvin: unknown option 'frob'\n" + tryHelp},
        {{"generate", "-style", "Fusion"}, 2, "", "quorvin: unknown options: s, t, y\n" + tryHelp},
        {{"-style", "Fusion", "generate"}, 2, "", "quorvin: unknown options: s, t, y\n" + tryHelp},
        {{"-style"}, 2, "", "quorvin: unknown options: s, t, y\n" + tryHelp}, // its value missing
        {{"-l", "20"}, 2, "", "quorvin: no command given; try 'quorvin --help'\n"},
        {{"generate", "--no-upper", "--no-lower", "--no-digits", "--no-special"},
         1,
         "",
         "quorvin: the current choices allow no character\n"},
    };
    for (const auto &c : cases) {
        const Outcome r = Quorvin(program, c.args);
        const std::string what = c.args.join(' ').toStdString();
        EXPECT_EQ(r.status, c.status) << what;
        EXPECT_TRUE(QRegularExpression("^" + c.out + "$").match(r.out).hasMatch())
            << what << ": " << r.out.toStdString();
        EXPECT_EQ(r.err, c.err) << what;
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{"quorvin"});
}

TEST(CommandLine, FailsAloudWhenItsOutputCannotBeWrittenButNotWhenItsReaderHasGone)
{
    enum Output { Full, Closed, ReaderGone, ReaderGoneSignalIgnored };
    const QString full = "quorvin: write error: No space left on device\n";
    const QString closed = "quorvin: write error: Bad file descriptor\n";
    const QStringList many = {"generate", "-n", "100000"};
    const struct {
        QStringList args;
        Output output;
        int status;
        QString err;
    } cases[] = {
        {{"generate"}, Full, 1, full},
        {many, Full, 1, full},
        {{"generate", "--strength"}, Full, 1, full},
        {{"--help"}, Full, 1, full},
        {{"--version"}, Full, 1, full},
        {{"--version"}, Closed, 1, closed},
        {many, ReaderGone, 128 + SIGPIPE, ""},
        {many, ReaderGoneSignalIgnored, 1, ""},
    };
    for (const auto &c : cases) {
        QProcess head;
        const Outcome r = Quorvin(QUORVIN_EXE, c.args, [&](QProcess &p) {
            if (c.output == Full)
                p.setStandardOutputFile("/dev/full");
            else if (c.output == Closed)
                p.setChildProcessModifier([] { close(STDOUT_FILENO); });
            else {
                p.setStandardOutputProcess(&head);
                head.start("head", {"-n", "1"});
            }
            if (c.output == ReaderGoneSignalIgnored)
                p.setChildProcessModifier([] { std::signal(SIGPIPE, SIG_IGN); });
        });
        head.waitForFinished();
        EXPECT_EQ(r.status, c.status) << c.args.join(' ').toStdString() << " " << c.output;
        EXPECT_EQ(r.err, c.err) << c.args.join(' ').toStdString() << " " << c.output;
    }
}

TEST(CommandLine, SaysSoWhenThereIsNoDisplayForTheWindow)
{
    QTemporaryDir dir; // for the cores of Qt's aborts
    // A display or a platform of the user's own is left to Qt, which finds
    // none working here.
    const QString leftToQt = "(?s)(?!quorvin).*";
    const QString noDisplay = "quorvin: cannot open a window: .*\n";
    // Qt's own options are the window's.
    const QStringList qtOptions = {
        "-style", "Fusion",       "--reverse", "-qwindowtitle", "Keys",
        "-name",  "quorvin-test", "-geometry", "+10+10",        "-stylesheet=none.qss"};
    const struct {
        QStringList env, args;
        int status;
        QString err; // a regular expression for the whole of it
    } cases[] = {
        {{},
         {},
         1,
         "quorvin: cannot open a window: no display \\(DISPLAY and WAYLAND_DISPLAY are not "
         "set\\); 'quorvin generate' works without one\n"},
        {{"DISPLAY=", "WAYLAND_DISPLAY="}, {}, 1, noDisplay},
        {{}, qtOptions, 1, noDisplay},
        {{"QT_QPA_PLATFORM=none"}, {}, 128 + SIGABRT, leftToQt},
        {{}, {"-platform", "none"}, 128 + SIGABRT, leftToQt},
        {{"DISPLAY=:none"}, {}, 128 + SIGABRT, leftToQt},
        {{}, {"--display", ":none"}, 128 + SIGABRT, leftToQt},
        {{"WAYLAND_DISPLAY=none"}, {}, 128 + SIGABRT, leftToQt},
    };
    for (const auto &c : cases) {
        const Outcome r = Quorvin(QUORVIN_EXE, c.args, [&](QProcess &p) {
            p.setEnvironment(p.processEnvironment().toStringList() + c.env);
            p.setWorkingDirectory(dir.path());
        });
        const std::string what = (c.env + c.args).join(' ').toStdString();
        EXPECT_EQ(r.status, c.status) << what;
        EXPECT_TRUE(QRegularExpression("^" + c.err + "$").match(r.err).hasMatch())
            << what << ": " << r.err.toStdString();
    }
}

namespace {

// Whether a program of the same user, without the right root has to trace
// any process, can attach to `pid` as a debugger does and read its memory.
bool Traceable(qint64 pid)
{
    bool traced = false;
    std::thread([&] { // capabilities are a thread's own: these go with it, and `pid` too
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct caps[_LINUX_CAPABILITY_U32S_3]{};
        syscall(SYS_capget, &header, caps);
        caps[CAP_TO_INDEX(CAP_SYS_PTRACE)].effective &= ~CAP_TO_MASK(CAP_SYS_PTRACE);
        syscall(SYS_capset, &header, caps);
        traced = ptrace(PTRACE_SEIZE, pid_t(pid), nullptr, nullptr) == 0;
    })
        .join();
    return traced;
}

struct DumpRow {
    const char *name, *dumpable; // QUORVIN_DUMPABLE, if set
    bool kept;
};

class DumpTest : public ::testing::TestWithParam<DumpRow> {};

} // namespace

TEST_P(DumpTest, WhatTheProgramHoldsGoesIntoNoCoreFileAndNoOtherProgram)
{
    const DumpRow &c = GetParam();
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QUORVIN_DUMPABLE");
    if (c.dumpable)
        env.insert("QUORVIN_DUMPABLE", c.dumpable);
    p.setProcessEnvironment(env);
    p.start(QUORVIN_EXE, {"generate", "-n", "1000000000"});
    ASSERT_TRUE(p.waitForReadyRead(20000)); // under way: passwords come
    rlimit given{}, its{};
    getrlimit(RLIMIT_CORE, &given);
    prlimit(pid_t(p.processId()), RLIMIT_CORE, nullptr, &its);
    EXPECT_EQ(its.rlim_max, c.kept ? given.rlim_max : 0) << "the hard limit on its core";
    EXPECT_EQ(Traceable(p.processId()), c.kept);
    p.kill();
    p.waitForFinished();
}

INSTANTIATE_TEST_SUITE_P(CommandLine, DumpTest,
                         ::testing::Values(DumpRow{"ByDefault", nullptr, false},
                                           DumpRow{"ForADebugger", "1", true},
                                           DumpRow{"OnlyForOne", "yes", false}),
                         [](const auto &row) { return std::string(row.param.name); });
