// The yardstick for the start-up benchmark: a Qt Widgets program that shows one window and then
// idles. It listens on the port given, as the receiver does, so both are timed to the same point.
#include <QApplication>
#include <QTcpServer>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    if (argc != 2) {
        return 2;
    }
    QWidget window;
    window.resize(500, 155);
    window.show();
    QTcpServer server;
    if (!server.listen(QHostAddress::AnyIPv4,
                       static_cast<quint16>(QString::fromLocal8Bit(argv[1]).toUInt()))) {
        return 1;
    }
    return application.exec();
}
