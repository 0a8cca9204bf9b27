// lumra-bench-minimal-window: the smallest Qt widget program that shows a window of the main
// window's size; the yardstick for the client's start-up time.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("minimal"));
    window.resize(1000, 660);
    window.show();
    return app.exec();
}
