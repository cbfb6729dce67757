// Assembling the window: the real parts for those a caller did not give.
#include "frmGAbackup.h"

#include "BackgroundTarget.h"
#include "DiskTarget.h"
#include "QtTimer.h"
#include "AnyPort.h"
#include "StartupSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

frmGAbackup::Parts frmGAbackup::completed(Parts parts, SettingsStore &store)
{
    if (!parts.port)
        parts.port = std::make_unique<AnyPort>(
            [&store](int port) { return StartupSettings::devicePath(store, port); });
    if (!parts.timer1)
        parts.timer1 = std::make_unique<QtTimer>(TransferEngine::kInactivity);
    if (!parts.timer2)
        parts.timer2 = std::make_unique<QtTimer>(TransferEngine::kSendCompletion);
    if (!parts.statusFrame)
        parts.statusFrame = std::make_unique<QtTimer>(kStatusFrame);
    if (!parts.source)
        parts.source = std::make_unique<BackgroundSource>();
    if (!parts.target)
        parts.target =
            std::make_unique<BackgroundTarget>([] { return std::make_unique<DiskTarget>(); });
    if (!parts.portList)
        parts.portList = std::make_unique<SystemPortList>();
    if (!parts.inhibitor)
        parts.inhibitor = std::make_unique<SleepInhibitor>();
    if (!parts.notifier)
        parts.notifier = std::make_unique<DesktopNotifier>();
    if (parts.dataDirs.isEmpty())
        parts.dataDirs = dataDirsFor(QCoreApplication::applicationDirPath());
    return parts;
}

QStringList frmGAbackup::dataDirsFor(const QString &programDir)
{
    // Beside the executable first (the build tree, a private install), then
    // the installed data folder next to bin/, then the system's data folders.
    QStringList dirs{programDir,
                     QDir(programDir).absoluteFilePath(QStringLiteral("../share/zo-vovere"))};
    for (const QString &dir :
         QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        dirs += QDir(dir).absoluteFilePath(QStringLiteral("zo-vovere"));
    for (QString &dir : dirs)
        dir = QDir::cleanPath(dir);
    dirs.removeDuplicates();
    return dirs;
}
