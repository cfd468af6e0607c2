// The yardsticks of the wizard's start-up: an empty Qt Widgets window of page 1's size, shown as
// main() shows page 1 and left open until it is ended; with --label it holds one Chinese label,
// so that it loads a font and a CJK face as page 1 must. bench-startup-x11.sh --vs times either
// in turns with the wizard.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("服务器设置（MS SQL）"));
    window.resize(465, 269);
    if (QCoreApplication::arguments().contains(QStringLiteral("--label")))
        (new QLabel(QStringLiteral("服务器名称"), &window))->move(20, 20);
    window.show();
    return QApplication::exec();
}
