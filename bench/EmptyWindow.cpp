// The floor for start-up time and memory of any Qt Widgets program on this
// machine: an empty window, started and measured as ZO Vovere is.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Empty"));
    window.show();
    return app.exec();
}
