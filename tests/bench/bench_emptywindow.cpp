// The yardstick of the wizard's start-up: an empty Qt Widgets window of page 1's size, shown as
// main() shows page 1 and left open until it is ended. bench-startup-x11.sh --vs times it in
// turns with the wizard.
#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("服务器设置（MS SQL）"));
    window.resize(465, 269);
    window.show();
    return QApplication::exec();
}
