#include "CommandLine.h"

#include "FileNames.h"
#include "Version.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace CommandLine {

QString version()
{
    return QStringLiteral("%1.%2").arg(Version::kMajor).arg(Version::kMinor);
}

namespace {
const QString kSend = QStringLiteral("send");
const QString kReceive = QStringLiteral("receive");
const QString kReceiveInto = QStringLiteral("receive-into");
const QString kListPorts = QStringLiteral("list-ports");
const QString kPort = QStringLiteral("port");
const QString kQuiet = QStringLiteral("quiet");
const QString kKeep = QStringLiteral("keep");
} // namespace

void describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QObject::tr("Sends files and fixture profiles to a Glow Arranger lighting controller "
                    "and backs up its show, over an RS-232 line at 19200 baud.\n\n"
                    "Without options the window opens. With --send, --receive, --receive-into "
                    "or --list-ports the program works in the terminal, without a display.\n\n"
                    "Exit status: 0 done, 1 the transfer failed, 2 wrong command line, 3 the "
                    "port is missing, busy or not allowed, 128+N ended by signal N (Ctrl+C: "
                    "130)."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({{QStringLiteral("s"), kSend},
                      QObject::tr("Send FILE to the desk (a fixture profile, *.gaf, with its "
                                  "profile header), then end."),
                      QStringLiteral("FILE")});
    parser.addOption({{QStringLiteral("r"), kReceive},
                      QObject::tr("Wait for the desk's backup and save it as FILE, then end. An "
                                  "earlier FILE is replaced only by a whole backup."),
                      QStringLiteral("FILE")});
    parser.addOption({kReceiveInto,
                      QObject::tr("Wait for backups until interrupted, saving each in FOLDER as "
                                  "backup-YYYY-MM-DDTHH-MM-SS.txt, named when it is saved."),
                      QStringLiteral("FOLDER")});
    parser.addOption({{QStringLiteral("p"), kPort},
                      QObject::tr("The line: COM1 or COM2 (their devices as set in the window's "
                                  "Port Settings), a device path, a name --list-ports shows, or "
                                  "a serial server on the network as rfc2217://HOST:PORT or "
                                  "tcp://HOST:PORT. Default: the port chosen in the window."),
                      QStringLiteral("PORT")});
    parser.addOption(
        {{QStringLiteral("q"), kQuiet}, QObject::tr("No progress; only the outcome and errors.")});
    parser.addOption({kKeep,
                      QObject::tr("With --receive-into: keep only the newest N backups in FOLDER; "
                                  "older ones are removed once a new one is saved. 0, the "
                                  "default, keeps all."),
                      QStringLiteral("N")});
    parser.addOption({{QStringLiteral("l"), kListPorts},
                      QObject::tr("List the serial ports: device, stable name, status.")});
    parser.addPositionalArgument(
        QStringLiteral("FILE"),
        QObject::tr("A file to send from the window: the send dialog opens with it chosen."),
        QStringLiteral("[FILE]"));
}

bool put(bool toError, const QString &text)
{
    std::FILE *stream = toError ? stderr : stdout;
    const QByteArray bytes = text.toLocal8Bit();
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) ==
               size_t(bytes.size()) &&
           std::fflush(stream) == 0 && !std::ferror(stream);
}

QStringList arguments(int argc, char **argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << FileNames::fromNative(QByteArray(argv[i]));
    return args;
}

namespace {
int usageError(const QString &what)
{
    put(true, QStringLiteral("zo-vovere: %1\nTry 'zo-vovere --help'.\n").arg(what));
    return kUsage;
}

int answer(const QString &text)
{
    if (put(false, text))
        return 0;
    const int error = errno;
    put(true, QStringLiteral("zo-vovere: write error: %1\n")
                  .arg(QString::fromLocal8Bit(std::strerror(error ? error : EIO))));
    return kFailed;
}
} // namespace

int answerWithoutWindow(const QStringList &args, Request *request)
{
    QCommandLineParser parser;
    describe(parser);
    // The toolkit's options, as QApplication takes them out of the arguments.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const char *name : {"platform", "platformpluginpath", "platformtheme", "plugin",
                             "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "display",
                             "name", "style", "stylesheet", "geometry", "title"}) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    if (!parser.parse(args))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))
        return answer(parser.helpText());
    if (parser.isSet(QStringLiteral("version")))
        return answer(QStringLiteral("ZO Vovere %1\n").arg(version()));
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return usageError(QObject::tr("only one FILE can be given"));

    Request asked;
    const std::pair<QString, Request::Mode> modes[] = {{kSend, Request::Mode::Send},
                                                       {kReceive, Request::Mode::Receive},
                                                       {kReceiveInto, Request::Mode::ReceiveInto},
                                                       {kListPorts, Request::Mode::ListPorts}};
    int given = 0;
    for (const auto &[name, mode] : modes) {
        if (!parser.isSet(name))
            continue;
        if (parser.values(name).size() > 1 || ++given > 1)
            return usageError(QObject::tr("only one of --send, --receive, --receive-into and "
                                          "--list-ports can be given, once"));
        asked.mode = mode;
        if (mode != Request::Mode::ListPorts)
            asked.file = parser.value(name);
    }
    const bool transfer =
        asked.mode != Request::Mode::Window && asked.mode != Request::Mode::ListPorts;
    if (asked.mode != Request::Mode::Window && !files.isEmpty())
        return usageError(QObject::tr("FILE goes without --send, --receive, --receive-into "
                                      "and --list-ports (it opens the window)"));
    if (!transfer && (parser.isSet(kPort) || parser.isSet(kQuiet)))
        return usageError(QObject::tr("--port and --quiet go with --send, --receive or "
                                      "--receive-into"));
    if (transfer && asked.file.isEmpty())
        return usageError(QObject::tr("--%1 needs a name that is not empty")
                              .arg(modes[int(asked.mode) - 1].first));
    if (asked.mode == Request::Mode::Window && !files.isEmpty())
        asked.file = files.first();
    if (parser.isSet(kKeep)) {
        bool number = false;
        asked.keep = parser.value(kKeep).toInt(&number);
        if (asked.mode != Request::Mode::ReceiveInto)
            return usageError(QObject::tr("--keep goes with --receive-into"));
        if (!number || asked.keep < 0)
            return usageError(QObject::tr("--keep needs a number of backups (0 keeps all)"));
    }
    asked.port = parser.value(kPort);
    asked.quiet = parser.isSet(kQuiet);
    if (request)
        *request = asked;
    return -1;
}

} // namespace CommandLine
