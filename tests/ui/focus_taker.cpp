// A window that takes the keyboard focus on the X server and keeps it until it is ended: the
// window under test is then not the active one.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("elsewhere"));
    window.resize(200, 100);
    window.show();
    window.activateWindow();
    return app.exec();
}
