#pragma once

#include <QString>
#include <QStringList>

class QCommandLineParser;

// The program's command line. Without options it opens the window, offering
// at most one FILE for sending (the send dialog opens with it chosen, so the
// user only confirms). --send, --receive, --receive-into and --list-ports
// work from a terminal, without a display.
namespace CommandLine {

// Exit statuses, for scripts. A signal that ends the program gives 128 plus
// its number, as a shell reports it.
enum Status
{
    kSuccess = 0,
    kFailed = 1,          // the transfer failed, or its file could not be used
    kUsage = 2,           // the command line is wrong
    kPortUnavailable = 3, // the port is missing, busy or not allowed
};

// What the command line asks for.
struct Request
{
    enum class Mode
    {
        Window,
        Send,
        Receive,
        ReceiveInto,
        ListPorts
    } mode = Mode::Window;
    QString file; // the window's FILE, the file to send or receive, or the folder
    QString port; // --port as given; empty for the port the window has chosen
    bool quiet = false;
    int keep = 0; // --keep: the newest backups --receive-into keeps; 0 keeps all
};

QString version(); // "1.1"
void describe(QCommandLineParser &parser);

// Answers what needs no port and no window, as GNU programs do: --help and
// --version on standard output (exit 0, or 1 when it cannot be written), an
// unknown option or options that do not go together on standard error with
// "Try 'zo-vovere --help'." (exit 2). Returns the exit status, or -1 when
// request says what to do. The toolkit's own options (-platform, -style, ...)
// are let through.
int answerWithoutWindow(const QStringList &args, Request *request = nullptr);

// Writes text to standard output or error; false when not all of it could be
// written.
bool put(bool toError, const QString &text);

// The arguments as given: a file name that is not UTF-8 keeps its bytes (see
// FileNames), where Qt's own list would have lost them.
QStringList arguments(int argc, char **argv);

} // namespace CommandLine
