#include "commandline.h"

#include "passwordgen.h"
#include "randomsource.h"
#include "strength.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <climits>
#include <cstdio>

namespace {

constexpr int kUsageError = 2;
constexpr int kRefused = 1;

int Fail(const QString &message)
{
    std::fprintf(stderr, "quorvin: %s\n", qPrintable(message));
    return kUsageError;
}

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
    for (qlonglong i = 0; i < count; ++i) {
        GenerateResult r;
        try {
            r = maker.Make(random);
        } catch (const RandomSourceError &e) {
            std::fprintf(stderr, "quorvin: the system's random generator failed (%s)\n", e.what());
            return kRefused;
        }
        r.password += '\n';
        if (std::fwrite(r.password.data(), 1, r.password.size(), stdout) != r.password.size())
            return kRefused; // the reader has gone
    }
    return std::fflush(stdout) == 0 ? 0 : kRefused;
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
        "Without arguments the window opens. The command\n"
        "  generate   prints passwords, one per line, with the choices below");
    parser.addPositionalArgument("generate", "Print passwords.", "[generate]");
    Options o{
        parser.addHelpOption(),
        parser.addVersionOption(),
        {{"l", "length"}, "Characters in each password, 8-255 (15).", "N", "15"},
        {{"n", "count"}, "How many passwords (1).", "N", "1"},
        {"no-upper", "No upper-case letters A-Z."},
        {"no-lower", "No lower-case letters a-z."},
        {"no-digits", "No digits 0-9."},
        {"no-special", "No special characters."},
        {"space", "Spaces too."},
        {"only", "Only the special characters in CHARS.", "CHARS"},
        {"except", "Any special characters but those in CHARS.", "CHARS"},
        {"strength", "Print the strength of the choices (the entropy of the passwords) instead."},
    };
    parser.addOptions({o.length, o.count, o.noUpper, o.noLower, o.noDigits, o.noSpecial, o.space,
                       o.only, o.except, o.strength});
    return o;
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

// `generate` with its options, once the parser has read them.
int Generate(const QCommandLineParser &parser, const Options &o)
{
    const QStringList commands = parser.positionalArguments();
    if (commands.isEmpty())
        return Fail("no command given; try 'quorvin --help'");
    if (commands.first() != "generate")
        return Fail(QString("unknown command '%1'").arg(commands.first()));
    if (commands.size() > 1)
        return Fail(QString("unexpected argument '%1'").arg(commands.at(1)));

    qlonglong length = 0, count = 0;
    if (!WholeNumber(parser.value(o.length), 8, 255, length))
        return Fail("the length must be a whole number from 8 to 255");
    if (!WholeNumber(parser.value(o.count), 1, LLONG_MAX, count))
        return Fail("the count must be a positive whole number");
    if (parser.isSet(o.only) && parser.isSet(o.except))
        return Fail("--only and --except exclude each other");

    const CharChoices choices = ChoicesFrom(parser, o);
    // The window's refusals, in its words.
    const GenerateStatus status = CheckChoices(choices, int(length));
    if (status != GenerateStatus::Ok) {
        std::fprintf(stderr, "%s\n", RefusalText(status));
        return kRefused;
    }
    if (parser.isSet(o.strength)) {
        std::printf("%s\n", StrengthText(PasswordStrengthBits(choices, int(length))).c_str());
        return 0;
    }
    return PrintPasswords(choices, int(length), count);
}

} // namespace

int RunCommandLine(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("quorvin");
    QCoreApplication::setApplicationVersion(QUORVIN_VERSION);

    QCommandLineParser parser;
    const Options options = Describe(parser);
    if (!parser.parse(QCoreApplication::arguments()))
        return Fail(parser.errorText());
    if (parser.isSet(options.help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(options.version)) {
        std::printf("quorvin %s\n", QUORVIN_VERSION);
        return 0;
    }
    return Generate(parser, options);
}
