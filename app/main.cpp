#include "QSettingsStore.h"
#include "frmGAbackup.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("ZO Vovere"));
    QApplication::setApplicationName(QStringLiteral("ZO Vovere"));
    QApplication::setApplicationDisplayName(QStringLiteral("ZO Vovere"));
    QApplication::setApplicationVersion(
        QStringLiteral("%1.%2").arg(frmGAbackup::kVersionMajor).arg(frmGAbackup::kVersionMinor));
    QApplication::setDesktopFileName(QStringLiteral("zo-vovere"));

    QSettingsStore store;
    frmGAbackup window(store);
    window.show();
    if (const QScreen *screen = window.screen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    return app.exec();
}
