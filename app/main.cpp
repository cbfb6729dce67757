#include "BusLink.h"
#include "CommandLine.h"
#include "FileKinds.h"
#include "FileNames.h"
#include "FileThread.h"
#include "PortChoice.h"
#include "PortList.h"
#include "QSettingsStore.h"
#include "ShutdownSignals.h"
#include "TerminalTransfer.h"
#include "Translations.h"
#include "frmGAbackup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace {
void nameTheProgram()
{
    QCoreApplication::setOrganizationName(QStringLiteral("ZO Vovere"));
    QCoreApplication::setApplicationName(QStringLiteral("ZO Vovere"));
    QCoreApplication::setApplicationVersion(CommandLine::version());
}

// Said as the program ends, when file work it began has still not returned
// (a share or stick that stopped answering): the system ends those threads
// with the program, and what they were doing is left undone.
struct SayWhatStillHangs
{
    SayWhatStillHangs() = default;
    SayWhatStillHangs(const SayWhatStillHangs &) = delete;
    SayWhatStillHangs &operator=(const SayWhatStillHangs &) = delete;
    ~SayWhatStillHangs()
    {
        const QString undone = FileThread::leftHanging(kLastLook);
        if (!undone.isEmpty())
            std::fprintf(stderr, "zo-vovere: %s\n", qPrintable(undone));
    }
    static constexpr std::chrono::milliseconds kLastLook{200};
};

// A transfer or the port list in the terminal, without a display.
int runInTerminal(const CommandLine::Request &request)
{
    QSettingsStore store; // read only: the ports and the window's choice
    if (request.mode == CommandLine::Request::Mode::ListPorts) {
        SystemPortList ports(nullptr, true);
        return CommandLine::put(false, portTable(ports, store)) ? CommandLine::kSuccess
                                                                : CommandLine::kFailed;
    }
    const PortChoice port = PortChoice::from(request.port, store);
    if (!port.refusal.isEmpty()) {
        CommandLine::put(true, QStringLiteral("zo-vovere: %1\n").arg(port.refusal));
        return CommandLine::kPortUnavailable;
    }
    TerminalTransfer::Output output;
    output.status = [](const QString &text) { CommandLine::put(true, text); };
    output.terminal = ::isatty(STDERR_FILENO) == 1;
    output.quiet = request.quiet;
    const SayWhatStillHangs atExit;
    TerminalTransfer transfer(port, output);
    // Ctrl+C, a kill or a closed terminal ends the transfer as Cancel does.
    ShutdownSignals shutdown;
    QObject::connect(&shutdown, &ShutdownSignals::received, &transfer, &TerminalTransfer::stop);
    QObject::connect(&transfer, &TerminalTransfer::finished, QCoreApplication::instance(),
                     &QCoreApplication::exit);
    switch (request.mode) {
    case CommandLine::Request::Mode::Send:
        transfer.send(request.file);
        break;
    case CommandLine::Request::Mode::Receive:
        transfer.receive(request.file);
        break;
    default:
        transfer.receiveInto(request.file, request.keep);
        break;
    }
    return QCoreApplication::exec();
}
} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1) {
        // What needs no window is answered before one is made, so that it
        // works where there is no display (a terminal, a package build).
        // Without arguments there is nothing to answer: the window starts
        // without a first application object made and taken down for it.
        QCoreApplication plain(argc, argv);
        nameTheProgram();
        CommandLine::Request request;
        const int answered =
            CommandLine::answerWithoutWindow(CommandLine::arguments(argc, argv), &request);
        if (answered >= 0)
            return answered;
        if (request.mode != CommandLine::Request::Mode::Window)
            return runInTerminal(request);
    }

    // Qt would abort where no platform can show the window.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "zo-vovere: no display to show the window on (DISPLAY is not set); "
                             "in a terminal, use --send FILE or --receive FILE "
                             "(see zo-vovere --help)\n");
        return 1;
    }
    BusLink::neverLaunchASessionBus();
    BusLink::leaveASilentSessionBusAlone();
    QApplication app(argc, argv);
    nameTheProgram();
    QApplication::setDesktopFileName(QStringLiteral("zo-vovere"));
    const Translations translations;
    // No display name: the platform would append it to every window's title,
    // and the dialogs' titles are "Filename to send", "Filename to save the
    // data" exactly.
    QCommandLineParser parser;
    CommandLine::describe(parser);
    parser.parse(CommandLine::arguments(argc, argv)); // checked above; the toolkit's taken out
    const QStringList files = parser.positionalArguments();
    const QString unusable = files.isEmpty() ? QString() : FileKinds::cannotOffer(files.first());
    if (!unusable.isEmpty())
        std::fprintf(stderr, "zo-vovere: %s: %s\n", qPrintable(FileNames::printable(files.first())),
                     qPrintable(unusable));

    const SayWhatStillHangs atExit;
    QSettingsStore store;
    frmGAbackup window(store);
    // A logout, a closed terminal or a kill ends a transfer as Cancel does,
    // then the program, with the status a shell gives a signal's death;
    // open dialogs and message boxes close with it.
    ShutdownSignals shutdown;
    QObject::connect(&shutdown, &ShutdownSignals::received, &window, [&window](int number) {
        window.endOnSignal();
        QCoreApplication::exit(128 + number);
    });
    window.show();
    // Without a window manager nothing else gives a new window the keyboard.
    window.activateWindow();
    // Centred on the screen's free area, and never beyond it: the menu and
    // the status line stay on the screen, whatever the font and panels.
    if (const QScreen *screen = window.screen()) {
        const QRect free = screen->availableGeometry();
        const QSize outer = window.frameGeometry().size();
        QPoint at = free.center() - QPoint(outer.width() / 2, outer.height() / 2);
        at.setX(std::max(free.left(), std::min(at.x(), free.right() + 1 - outer.width())));
        at.setY(std::max(free.top(), std::min(at.y(), free.bottom() + 1 - outer.height())));
        window.move(at);
    }
    if (!files.isEmpty())
        QTimer::singleShot(0, &window, [&window, file = files.first()] { window.startWith(file); });
    return app.exec();
}
