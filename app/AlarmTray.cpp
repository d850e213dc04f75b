#include "AlarmTray.h"

#include "CommandMenu.h"
#include "TrayPresence.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace belvane {

AlarmTray::AlarmTray(const QIcon &image, QObject *parent)
    : QObject(parent)
    , icon(new QSystemTrayIcon(image, this))
    , menu(buildCommandMenu(nullptr))
{
    icon->setToolTip(QStringLiteral("Belvane"));
    // The command menu belongs to the icon: an XEmbed tray pops it up when the right button is pressed
    // on the icon, a StatusNotifierItem host reads it over D-Bus and shows it itself. Nothing else on
    // the icon does anything.
    for (QAction *action : menu->actions()) {
        connect(action, &QAction::triggered, this, [this, id = action->data().toInt()] {
            QMetaObject::invokeMethod(
                this, [this, id] { emit commandChosen(id); }, Qt::QueuedConnection);
        });
    }
    icon->setContextMenu(menu.get());
    icon->show();
    presence = new TrayPresence(this);
    connect(presence, &TrayPresence::changed, this, &AlarmTray::followHost);
}

AlarmTray::~AlarmTray() = default;

bool AlarmTray::hostPresent() const
{
    return presence != nullptr && presence->present();
}

void AlarmTray::reportNotReceiving(std::int32_t port)
{
    receiving = QStringLiteral("受信していません（ポート %1）").arg(port);
    showStates();
}

void AlarmTray::reportSound(MediaResult result)
{
    switch (result) {
    case MediaResult::NoOutputDevice:
        sound = QStringLiteral("音が出ません（音声の出力装置がありません）");
        break;
    case MediaResult::NoSoundFont:
        sound = QStringLiteral("MIDI が鳴りません（サウンドフォントがありません）");
        break;
    case MediaResult::Success:
        sound.clear();
        break;
    // The file's own fault: later sounds may be heard.
    case MediaResult::FileNotFound:
    case MediaResult::CannotPlay:
    case MediaResult::CommandTooLong:
    case MediaResult::AliasInUse:
    case MediaResult::UnknownCommand:
    case MediaResult::UnknownAlias:
    case MediaResult::MissingParameter:
        return;
    }
    showStates();
}

void AlarmTray::showStates()
{
    QString tip = QStringLiteral("Belvane");
    for (const QString &state : {receiving, sound}) {
        if (!state.isEmpty()) {
            tip += QStringLiteral(" - ") + state;
        }
    }
    icon->setToolTip(tip);
}

void AlarmTray::remove()
{
    delete presence;
    presence = nullptr;
    icon->hide();
}

void AlarmTray::followHost(bool present)
{
    if (present) {
        // A host that came after the start has no icon of ours yet.
        icon->hide();
        icon->show();
    }
    emit hostChanged(present);
}

} // namespace belvane
