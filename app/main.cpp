#include "BusLink.h"
#include "CommandLine.h"
#include "QSettingsStore.h"
#include "ShutdownSignals.h"
#include "frmGAbackup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <QTimer>

#include <cstdio>

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
        // What needs no window is answered before one is made, so that it
        // works where there is no display (a terminal, a package build).
        QCoreApplication plain(argc, argv);
        nameTheProgram();
        const int answered = CommandLine::answerWithoutWindow(QCoreApplication::arguments());
        if (answered >= 0)
            return answered;
    }

    BusLink::neverLaunchASessionBus();
    QApplication app(argc, argv);
    nameTheProgram();
    QApplication::setDesktopFileName(QStringLiteral("zo-vovere"));
    // No display name: the platform would append it to every window's title,
    // and the dialogs' titles are "Filename to send", "Filename to save the
    // data" exactly.
    QCommandLineParser parser;
    CommandLine::describe(parser);
    parser.parse(QCoreApplication::arguments()); // checked above; the toolkit's taken out
    const QStringList files = parser.positionalArguments();
    const QString unusable = files.isEmpty() ? QString() : CommandLine::unusableFile(files.first());
    if (!unusable.isEmpty())
        std::fprintf(stderr, "zo-vovere: %s: %s\n", qPrintable(files.first()),
                     qPrintable(unusable));

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
        QTimer::singleShot(0, &window, [&window, file = files.first()] { window.startWith(file); });
    return app.exec();
}
