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

// Answers what needs no window, as GNU programs do: --help and --version on
// standard output (exit 0, or 1 when it cannot be written), an unknown
// option or more than one FILE on standard error with "Try 'zo-vovere
// --help'." (exit 2). Returns the exit status, or -1 when the window is to
// open. The toolkit's own options (-platform, -style, ...) are let through.
int answerWithoutWindow(const QStringList &args);

// Why FILE cannot be offered for sending ("No such file or directory", "it
// is a folder"); empty when it can.
QString unusableFile(const QString &file);

} // namespace CommandLine
