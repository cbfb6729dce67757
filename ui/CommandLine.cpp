#include "CommandLine.h"

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

void describe(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QObject::tr("Sends files and fixture profiles to a Glow Arranger lighting controller "
                    "and backs up its show, over an RS-232 line at 19200 baud."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("FILE"),
        QObject::tr("A file to send: the send dialog opens with it chosen."),
        QStringLiteral("[FILE]"));
}

namespace {
// Writes text to stream, and says whether all of it reached its file.
bool put(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) ==
               size_t(bytes.size()) &&
           std::fflush(stream) == 0 && !std::ferror(stream);
}

int usageError(const QString &what)
{
    put(stderr, QStringLiteral("zo-vovere: %1\nTry 'zo-vovere --help'.\n").arg(what));
    return 2;
}

int answer(const QString &text)
{
    if (put(stdout, text))
        return 0;
    const int error = errno;
    put(stderr, QStringLiteral("zo-vovere: write error: %1\n")
                    .arg(QString::fromLocal8Bit(std::strerror(error ? error : EIO))));
    return 1;
}
} // namespace

int answerWithoutWindow(const QStringList &args)
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
    if (parser.positionalArguments().size() > 1)
        return usageError(QObject::tr("only one FILE can be given"));
    return -1;
}

QString unusableFile(const QString &file)
{
    const QFileInfo info(file);
    if (!info.exists())
        return QString::fromLocal8Bit(std::strerror(ENOENT));
    if (info.isDir())
        return QObject::tr("it is a folder");
    return {};
}

} // namespace CommandLine
