#include "CommandLine.h"

#include "frmGAbackup.h"

#include <QCommandLineParser>

namespace CommandLine {

QString version()
{
    return QStringLiteral("%1.%2").arg(frmGAbackup::kVersionMajor).arg(frmGAbackup::kVersionMinor);
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

bool asksForHelpOrVersion(const QStringList &args)
{
    QCommandLineParser parser;
    describe(parser);
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    parser.parse(args); // unknown options are the toolkit's, or reported later
    return parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("version")) ||
           parser.isSet(QStringLiteral("help-all"));
}

} // namespace CommandLine
