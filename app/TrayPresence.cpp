#include "TrayPresence.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdint>

namespace belvane {

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");

// The X events that can mean an XEmbed tray came or went: the MANAGER message a new tray sends to the
// root window, and the destruction of the tray's window (the toolkit watches it for the icon's sake).
constexpr std::uint8_t destroyNotify = 17;
constexpr std::uint8_t clientMessage = 33;

} // namespace

bool statusNotifierHostPresent()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcherService)) {
        return false;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(watcherService, watcherPath,
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    // A watcher that hangs must not freeze the window for the bus's default 25 seconds.
    const QDBusMessage reply = bus.call(get, QDBus::Block, 2000);
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
        && reply.arguments().front().value<QDBusVariant>().variant().toBool();
}

TrayPresence::TrayPresence(QObject *parent)
    : QObject(parent)
    , onBus(statusNotifierHostPresent())
{
    hostPresent = look();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        auto *watcher =
            new QDBusServiceWatcher(watcherService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &TrayPresence::queueRecheck);
        for (const char *signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"}) {
            bus.connect(watcherService, watcherPath, watcherService, QString::fromLatin1(signal), this,
                        SLOT(queueRecheck()));
        }
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
}

TrayPresence::~TrayPresence()
{
    QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool TrayPresence::look() const
{
    return onBus ? statusNotifierHostPresent() : QSystemTrayIcon::isSystemTrayAvailable();
}

bool TrayPresence::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (!onBus && eventType == "xcb_generic_event_t") {
        const std::uint8_t type = *static_cast<const std::uint8_t *>(message) & 0x7f;
        if (type == destroyNotify || type == clientMessage) {
            queueRecheck();
        }
    }
    return false; // the toolkit handles the event as usual
}

void TrayPresence::queueRecheck()
{
    // After the toolkit has seen the event, and once for a burst of them.
    if (!recheckQueued) {
        recheckQueued = true;
        QTimer::singleShot(0, this, &TrayPresence::recheck);
    }
}

void TrayPresence::recheck()
{
    recheckQueued = false;
    const bool now = look();
    if (now != hostPresent) {
        hostPresent = now;
        emit changed(now);
    }
}

} // namespace belvane
