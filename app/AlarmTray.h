#pragma once

#include "MediaCommands.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class QIcon;
class QMenu;
class QSystemTrayIcon;

namespace belvane {

class TrayPresence;

// The program's presence in the notification area: the icon, its tooltip and its command menu, and
// whether a tray host shows the icon.
class AlarmTray final : public QObject
{
    Q_OBJECT

public:
    // Shows the icon at once.
    AlarmTray(const QIcon &image, QObject *parent);
    ~AlarmTray() override;

    bool hostPresent() const;
    // The tooltip says that the program receives nothing on `port`.
    void reportNotReceiving(std::int32_t port);
    // The tooltip says that sounds cannot be heard while `result` (a sound's) is a
    // missing output device or soundfont.
    void reportSound(MediaResult result);
    // Takes the icon out of the notification area for good.
    void remove();

signals:
    // A command of the menu was chosen; sent after the menu (and the host's call) returned.
    void commandChosen(int id);
    // A tray host came or went; the icon is already shown in a new one.
    void hostChanged(bool present);

private:
    void followHost(bool present);
    void showStates();

    QSystemTrayIcon *icon = nullptr;
    std::unique_ptr<QMenu> menu; // the command menu as the tray host shows it
    TrayPresence *presence = nullptr;
    QString receiving; // why alarms cannot be received, or empty
    QString sound; // why sounds cannot be heard, or empty
};

} // namespace belvane
