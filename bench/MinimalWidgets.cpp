// The yardstick for the start-up benchmark: the least a Qt program needs to look like the receiver
// after its start, and none of its work. A frameless rounded 500 x 155 window with a one-line box, a
// multi-line box showing Japanese text in the dialog font and a button, a tray icon, and a socket
// listening on the port given, so both programs are timed to the same point.
#include <QApplication>
#include <QHostInfo>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTextEdit>
#include <QWidget>

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    if (argc != 2) {
        return 2;
    }
    QFont font;
    font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Droid Sans Japanese")});
    font.setPointSize(9);

    QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
    window.setFont(font);
    window.setGeometry(52, 52, 500, 155);
    QRegion shape(10, 0, 480, 155);
    shape += QRegion(0, 10, 500, 135);
    window.setMask(shape);
    QLineEdit line(&window);
    line.setReadOnly(true);
    line.setAlignment(Qt::AlignCenter);
    line.setGeometry(20, 20, 460, 20);
    line.setText(QStringLiteral("コンピュータ名: [%1]").arg(QHostInfo::localHostName()));
    QTextEdit box(&window);
    box.setLineWrapMode(QTextEdit::NoWrap);
    box.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box.setGeometry(20, 45, 460, 70);
    box.setPlainText(QStringLiteral("【継続使用されているユーザの方へのお知らせ】\n\n"
                                    "バージョンアップに伴い登録動作ファイルを初期状態に戻しました。\n"
                                    "環境設定画面より動作ファイルの確認/再登録願います。"));
    QPushButton button(QStringLiteral("確認(最小化)"), &window);
    button.setFlat(true);
    button.setGeometry(200, 120, 100, 24);
    window.show();

    QPixmap image(32, 32);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(QColor(240, 190, 40));
        painter.drawEllipse(QRectF(2, 2, 28, 28));
    }
    QSystemTrayIcon tray {QIcon(image)};
    tray.setToolTip(QStringLiteral("yardstick"));
    tray.show();

    QTcpServer server;
    if (!server.listen(QHostAddress::AnyIPv4,
                       static_cast<quint16>(QString::fromLocal8Bit(argv[1]).toUInt()))) {
        return 1;
    }
    return application.exec();
}
