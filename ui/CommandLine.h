#pragma once

#include <QString>
#include <QStringList>

class QCommandLineParser;

// The program's command line: --help, --version and at most one FILE, which
// the program offers to send at start (the send dialog opens with it chosen,
// so the user only confirms).
namespace CommandLine {

QString version(); // "1.1"
void describe(QCommandLineParser &parser);

// True when args ask for --help or --version: they are answered before any
// window or display is needed.
bool asksForHelpOrVersion(const QStringList &args);

} // namespace CommandLine
