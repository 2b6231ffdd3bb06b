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

namespace {

struct Outcome {
    int status = -1;
    QString out, err;
};

Outcome Quorvin(const QString &program, const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY"); // nothing of the window may be needed
    env.remove("WAYLAND_DISPLAY");
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
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
    const struct {
        QStringList args;
        int status;
        QString out; // a regular expression for the whole of it
        QString err;
    } cases[] = {
        {{"--version"}, 0, "quorvin 2\\.00\n", ""},
        {{"-v"}, 0, "quorvin 2\\.00\n", ""},
        {{"--help"}, 0, "(?s)Usage: .*generate.*--length.*--strength.*", ""},
        {{"generate"}, 0, "[!-~]{15}\n", ""},
        {{"generate", "-n", "3", "-l", "8"}, 0, "([!-~]{8}\n){3}", ""},
        {{"generate", "--length=255", "--space"}, 0, "[ -~]{255}\n", ""},
        {{"generate", "-l", "20", "--no-upper", "--no-lower", "--no-special"},
         0,
         "[0-9]{20}\n",
         ""},
        {{"generate", "--only", "!#", "--no-upper", "--no-lower", "--no-digits"},
         0,
         "[!#]{15}\n",
         ""},
        {{"generate", "--strength"},
         0,
         QRegularExpression::escape(Strength(CharChoices{}, 15)),
         ""},
        {{"generate", "--only", "!#", "--strength", "-n", "5"},
         0,
         QRegularExpression::escape(Strength(onlyTwo, 15)),
         ""},
        {{"generate", "-l", "7"}, 2, "", lengthError},
        {{"generate", "-l", "256"}, 2, "", lengthError},
        {{"generate", "-l", "ten"}, 2, "", lengthError},
        {{"generate", "-n", "0"}, 2, "", countError},
        {{"generate", "-n", "-3"}, 2, "", countError},
        {{"generate", "--only", "!", "--except", "#"},
         2,
         "",
         "quorvin: --only and --except exclude each other\n"},
        {{"generate", "again"}, 2, "", "quorvin: unexpected argument 'again'\n"},
        {{"make"}, 2, "", "quorvin: unknown command 'make'\n"},
        {{"--frob"}, 2, "", "quorvin: Unknown option 'frob'.\n"},
        {{"-l", "20"}, 2, "", "quorvin: no command given; try 'quorvin --help'\n"},
        {{"generate", "--no-upper", "--no-lower", "--no-digits", "--no-special"},
         1,
         "",
         "The current choices allow no character.\n"},
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
