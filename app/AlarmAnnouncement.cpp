#include "AlarmAnnouncement.h"

#include <QAccessibleWidget>
#include <QEvent>

namespace belvane {

namespace {

// Qt's AT-SPI bridge (6.4) forwards neither an alert event nor an announcement, but it does tell a
// notification being shown, and a screen reader speaks a notification when it is shown.
QAccessibleInterface *notificationInterface(const QString &key, QObject *object)
{
    if (key == QLatin1String(AlarmAnnouncement::staticMetaObject.className())) {
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Notification);
    }
    return nullptr;
}

} // namespace

AlarmAnnouncement::AlarmAnnouncement(QWidget *window)
    : QWidget(window)
{
    static const bool installed = [] {
        QAccessible::installFactory(notificationInterface);
        return true;
    }();
    Q_UNUSED(installed);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setGeometry(0, 0, 0, 0);
    hide();
    window->installEventFilter(this);
}

void AlarmAnnouncement::announce(const QString &sender, const QString &message)
{
    setAccessibleName(sender);
    setAccessibleDescription(message);
    // Hidden and shown again, so that an alarm that follows another one is told as well.
    hide();
    show();
}

bool AlarmAnnouncement::eventFilter(QObject *watched, QEvent *event)
{
    // Hidden with the window, so that showing the window again does not repeat the last alarm before
    // the next one is announced.
    if (watched == parent() && event->type() == QEvent::Hide) {
        hide();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace belvane
