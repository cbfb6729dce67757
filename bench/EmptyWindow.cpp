// The floors for start-up time and memory of any Qt Widgets program on this
// machine, started and measured as ZO Vovere is: an empty window, or with
// --label a window showing one word, which adds what every program with
// text pays (fonts, and the accessibility bridge on the session bus).
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstring>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Empty"));
    if (argc > 1 && std::strcmp(argv[1], "--label") == 0)
        new QLabel(QStringLiteral("Send File"), &window);
    window.show();
    return app.exec();
}
