#include "CommandLine.h"
#include "QSettingsStore.h"
#include "ShutdownSignals.h"
#include "frmGAbackup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <QTimer>

namespace {
void nameTheProgram()
{
    QCoreApplication::setOrganizationName(QStringLiteral("ZO Vovere"));
    QCoreApplication::setApplicationName(QStringLiteral("ZO Vovere"));
    QCoreApplication::setApplicationVersion(CommandLine::version());
}
} // namespace

int main(int argc, char *argv[])
{
    {
        // --help and --version are answered without a window, so they work
        // where there is no display (a terminal, a package build).
        QCoreApplication plain(argc, argv);
        nameTheProgram();
        if (CommandLine::asksForHelpOrVersion(QCoreApplication::arguments())) {
            QCommandLineParser parser;
            CommandLine::describe(parser);
            parser.process(plain); // prints and exits
        }
    }

    QApplication app(argc, argv);
    nameTheProgram();
    // No display name: the platform would append it to every window's title,
    // and the dialogs' titles are "Filename to send", "Filename to save the
    // data" exactly.
    QApplication::setDesktopFileName(QStringLiteral("zo-vovere"));
    QCommandLineParser parser;
    CommandLine::describe(parser);
    parser.process(app); // the toolkit's own options have been taken out by now
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        parser.showHelp(2);

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
    if (const QScreen *screen = window.screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    if (!files.isEmpty())
        QTimer::singleShot(0, &window,
                           [&window, file = files.first()] { window.offerToSend(file); });
    return app.exec();
}
