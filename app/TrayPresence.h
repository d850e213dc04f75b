#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

namespace belvane {

// Tells whether a tray host is there to show the program's icon, and when one comes or goes while the
// program runs. Two kinds of host exist on Linux desktops: a StatusNotifierItem host on the session
// bus (Plasma, GNOME's AppIndicator extension) and an XEmbed tray (most X11 panels). The icon goes to
// whichever the toolkit chose when it was first shown, so that is the kind watched from then on.
class TrayPresence final : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    explicit TrayPresence(QObject *parent = nullptr);
    ~TrayPresence() override;

    bool present() const { return hostPresent; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

signals:
    void changed(bool present);

private slots:
    void queueRecheck();

private:
    void recheck();
    bool look() const;

    bool onBus = false; // the icon is a StatusNotifierItem
    bool hostPresent = false;
    bool recheckQueued = false;
};

// Whether a StatusNotifierItem host is registered on the session bus.
bool statusNotifierHostPresent();

} // namespace belvane
