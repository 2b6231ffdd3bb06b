#include "commandline.h"

#include "passwordgen.h"
#include "randomsource.h"
#include "strength.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kUsageError = 2;
constexpr int kRefused = 1;

// Every line on standard error reads as GNU tools write them.
void Say(const QString &message)
{
    std::fprintf(stderr, "quorvin: %s\n", qPrintable(message));
}

int Fail(const QString &message)
{
    Say(message);
    return kUsageError;
}

// An option that can't be read, answered as GNU tools do.
int Unreadable(const QString &message)
{
    Say(message);
    std::fputs("Try 'quorvin --help' for more information.\n", stderr);
    return kUsageError;
}

void Warn(const QString &message)
{
    Say("warning: " + message);
}

// Qt's and the window's sentences in that form: lower case, no full stop.
QString Lowered(QString sentence)
{
    if (sentence.endsWith('.'))
        sentence.chop(1);
    if (!sentence.isEmpty())
        sentence[0] = sentence[0].toLower();
    return sentence;
}

// Standard output with every write checked, up to its close: a full disk
// must not pass for success. The first failure's reason is kept.
class Output {
  public:
    bool Put(std::string_view text)
    {
        if (error_ == 0 && std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
            Keep();
        return error_ == 0;
    }

    // The status to end with once everything is written.
    int Close()
    {
        if (std::fflush(stdout) != 0)
            Keep();
        if (std::fclose(stdout) != 0)
            Keep();
        if (error_ == 0)
            return 0;
        // The reader has gone: as quiet as SIGPIPE, when that is ignored.
        if (error_ != EPIPE)
            Say(QString("write error: %1").arg(QString::fromLocal8Bit(std::strerror(error_))));
        return kRefused;
    }

  private:
    void Keep()
    {
        if (error_ == 0)
            error_ = errno != 0 ? errno : EIO;
    }
    int error_ = 0;
};

// A whole number in `text` from `low` to `high`, else false.
bool WholeNumber(const QString &text, qlonglong low, qlonglong high, qlonglong &value)
{
    bool ok = false;
    value = text.toLongLong(&ok);
    return ok && value >= low && value <= high;
}

// Passwords one per line, through one large buffer: a script may ask for
// hundreds of thousands.
int PrintPasswords(const CharChoices &choices, int length, qlonglong count)
{
    SystemRandom random;
    const PasswordMaker maker(choices, length);
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    Output out;
    for (qlonglong i = 0; i < count; ++i) {
        GenerateResult r;
        try {
            r = maker.Make(random);
        } catch (const RandomSourceError &e) {
            Say(QString("the system's random generator failed (%1)").arg(e.what()));
            return kRefused;
        }
        r.password += '\n';
        if (!out.Put({r.password.data(), r.password.size()}))
            break;
    }
    return out.Close();
}

// A closed standard output is held by a read-only stand-in, so that writes
// fail as they should instead of reaching the next file opened, which would
// take its number. A closed standard input gets one on the way.
void KeepOutputClosed()
{
    int fd = 0;
    while (fd != -1 && fcntl(STDOUT_FILENO, F_GETFD) == -1)
        fd = open("/dev/null", O_RDONLY);
}

int Print(const QString &text)
{
    Output out;
    out.Put(text.toStdString());
    return out.Close();
}

} // namespace

namespace {

struct Options {
    QCommandLineOption help, version, length, count, noUpper, noLower, noDigits, noSpecial, space,
        only, except, strength;
};

// The command line the program reads: its usage and its options.
Options Describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        "Strong passwords from the kernel's random generator.\n"
        "Without arguments, or with only Qt's own options for it\n"
        "(-style, -platform, -reverse...), the window opens. The command\n"
        "  generate   prints passwords, one per line, with the choices below");
    parser.addPositionalArgument("generate", "Print passwords.", "[generate]");
    Options o{
        // Not Qt's help option: its --help-all is for the window's options.
        {{"h", "help"}, "Displays help on commandline options."},
        parser.addVersionOption(),
        {{"l", "length"}, "Characters in each password, 8-255 (15).", "N", "15"},
        {{"n", "count"}, "How many passwords (1).", "N", "1"},
        {"no-upper", "No upper-case letters A-Z."},
        {"no-lower", "No lower-case letters a-z."},
        {"no-digits", "No digits 0-9."},
        {"no-special", "No special characters."},
        {"space", "Spaces too."},
        {"only",
         "Only the special characters in CHARS. A password may hold none of them: a special "
         "character kept out still counts, once drawn, as the special class.",
         "CHARS"},
        {"except",
         "Any special characters but those in CHARS; as with --only, a password may hold "
         "none.",
         "CHARS"},
        {"strength", "Print the strength of the choices (the entropy of the passwords) instead."},
    };
    parser.addOptions({o.help, o.length, o.count, o.noUpper, o.noLower, o.noDigits, o.noSpecial,
                       o.space, o.only, o.except, o.strength});
    return o;
}

// The usage names the program as it is installed, not as it was called.
QString HelpText(const QCommandLineParser &parser)
{
    QString text = parser.helpText();
    const QString called = "Usage: " + QCoreApplication::arguments().constFirst();
    if (text.startsWith(called))
        text.replace(0, called.size(), "Usage: quorvin");
    return text;
}

// The usage error in the arguments besides the options, or "" when there
// is none. --help and --version take `generate` only.
QString CommandError(const QStringList &commands)
{
    if (!commands.isEmpty() && commands.first() != "generate")
        return QString("unknown command '%1'").arg(commands.first());
    if (commands.size() > 1)
        return QString("unexpected argument '%1'").arg(commands.at(1));
    return {};
}

// The window's choices as the options give them.
CharChoices ChoicesFrom(const QCommandLineParser &parser, const Options &o)
{
    CharChoices choices;
    choices.upper = !parser.isSet(o.noUpper);
    choices.lower = !parser.isSet(o.noLower);
    choices.digits = !parser.isSet(o.noDigits);
    choices.special = !parser.isSet(o.noSpecial);
    choices.space = parser.isSet(o.space);
    if (parser.isSet(o.only)) {
        choices.mode = SpecialMode::OnlyThose;
        choices.list = parser.value(o.only).toStdString();
    } else if (parser.isSet(o.except)) {
        choices.mode = SpecialMode::AnyExcept;
        choices.list = parser.value(o.except).toStdString();
    }
    return choices;
}

// Of the options where the last one counts, those given more than once:
// the earlier ones are likely a slip.
void WarnRepeated(const QCommandLineParser &parser, const QList<QCommandLineOption> &options)
{
    const QStringList given = parser.optionNames();
    for (const QCommandLineOption &option : options) {
        qsizetype times = 0;
        for (const QString &name : option.names())
            times += given.count(name);
        if (times > 1)
            Warn(QString("--%1 is given %2; the last one counts")
                     .arg(option.names().constLast(),
                          times == 2 ? QString("twice") : QString("%1 times").arg(times)));
    }
}

// The characters of a list that the generator ignores, as the window does:
// all but the special ones, each named once.
void WarnIgnored(const QString &list)
{
    QList<char32_t> ignored;
    for (const char32_t c : list.toUcs4())
        if ((c > char32_t(kLastCode) || !IsSpecialCode(int(c))) && !ignored.contains(c))
            ignored.append(c);
    if (ignored.isEmpty())
        return;
    QStringList names;
    for (const char32_t c : ignored)
        names.append("'" + QString::fromUcs4(&c, 1) + "'");
    const QString last = names.takeLast();
    if (names.isEmpty())
        Warn(last + " is not a special character and is ignored");
    else
        Warn(names.join(", ") + " and " + last + " are not special characters and are ignored");
}

// `generate` with its options, once the parser has read them.
int Generate(const QCommandLineParser &parser, const Options &o)
{
    const QStringList commands = parser.positionalArguments();
    if (commands.isEmpty())
        return Fail("no command given; try 'quorvin --help'");
    if (const QString error = CommandError(commands); !error.isEmpty())
        return Fail(error);

    qlonglong length = 0, count = 0;
    if (!WholeNumber(parser.value(o.length), 8, 255, length))
        return Fail("the length must be a whole number from 8 to 255");
    if (!WholeNumber(parser.value(o.count), 1, LLONG_MAX, count)) {
        static const QRegularExpression positive("^\\s*\\+?0*[1-9][0-9]*\\s*$");
        return Fail(positive.match(parser.value(o.count)).hasMatch()
                        ? "the count is too large"
                        : "the count must be a positive whole number");
    }
    if (parser.isSet(o.only) && parser.isSet(o.except))
        return Fail("--only and --except exclude each other");

    WarnRepeated(parser, {o.length, o.count, o.only, o.except});
    WarnIgnored(parser.value(parser.isSet(o.only) ? o.only : o.except));
    const CharChoices choices = ChoicesFrom(parser, o);
    // The window's refusals, in its words written as the lines above.
    const GenerateStatus status = CheckChoices(choices, int(length));
    if (status != GenerateStatus::Ok) {
        Say(Lowered(RefusalText(status)));
        return kRefused;
    }
    const std::string strength = StrengthText(PasswordStrengthBits(choices, int(length)));
    // Judged by the figure as shown, which a warning must not contradict.
    if (std::strtod(strength.c_str(), nullptr) < 64)
        Warn(QString("these choices give only %1").arg(QString::fromStdString(strength)));
    if (parser.isSet(o.strength))
        return Print(QString::fromStdString(strength) + "\n");
    return PrintPasswords(choices, int(length), count);
}

} // namespace

int RunCommandLine(int argc, char **argv)
{
    KeepOutputClosed();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("quorvin");
    QCoreApplication::setApplicationVersion(QUORVIN_VERSION);

    QCommandLineParser parser;
    const Options options = Describe(parser);
    if (!parser.parse(QCoreApplication::arguments()))
        return Unreadable(Lowered(parser.errorText()));
    if (parser.isSet(options.help) || parser.isSet(options.version)) {
        if (const QString error = CommandError(parser.positionalArguments()); !error.isEmpty())
            return Fail(error);
        return Print(parser.isSet(options.help) ? HelpText(parser)
                                                : QString("quorvin %1\n").arg(QUORVIN_VERSION));
    }
    return Generate(parser, options);
}

const char *NoWindowReason(const char *qpaPlatform, const char *display, const char *waylandDisplay)
{
    const auto set = [](const char *value) { return value && *value; };
    if (set(qpaPlatform) || set(display) || set(waylandDisplay))
        return nullptr;
    return "cannot open a window: no display (DISPLAY and WAYLAND_DISPLAY are not set); "
           "'quorvin generate' works without one";
}
