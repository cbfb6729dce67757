// Heap growth of opening and cancelling the program's file dialogs: prints
// the bytes in use after every 50 cycles and the growth per cycle after the
// first 50, which settle the caches every program pays for once. With
// --clear-pixmap-cache Qt's pixmap cache (bounded by QPixmapCache's limit) is
// emptied after each cycle, to tell its share from the rest.
//   zo-bench-dialog [--clear-pixmap-cache] [CYCLES]
#include "QtFileDialog.h"

#include <QApplication>
#include <QDir>
#include <QPixmapCache>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <malloc.h>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    const bool clearPixmapCache = args.contains(QStringLiteral("--clear-pixmap-cache"));
    const int cycles =
        args.isEmpty() || args.last().startsWith(QLatin1Char('-')) ? 300 : args.last().toInt();
    QWidget window;
    QtFileDialog dialog(&window);
    dialog.Filter = QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*");
    dialog.FileName = QDir::home().filePath(QStringLiteral("show.txt"));
    size_t settled = 0;
    for (int i = 1; i <= cycles; ++i) {
        // Cancelled as soon as it is up, as a user's Escape would.
        QTimer::singleShot(10, [] {
            if (QWidget *open = QApplication::activeModalWidget())
                open->close();
        });
        dialog.DialogTitle = i % 2 ? QStringLiteral("Filename to send")
                                   : QStringLiteral("Filename to save the data");
        i % 2 ? dialog.ShowOpen() : dialog.ShowSave();
        if (clearPixmapCache)
            QPixmapCache::clear();
        const size_t inUse = mallinfo2().uordblks;
        if (i == 50)
            settled = inUse;
        if (i % 50 == 0)
            std::printf("%4d cycles: %zu KiB in use\n", i, inUse / 1024);
        if (i == cycles && cycles > 50)
            std::printf("growth per cycle after the first 50: %.0f bytes\n",
                        (double(inUse) - double(settled)) / (cycles - 50));
    }
    return 0;
}
