#pragma once

#include "AlarmHistory.h"
#include "AlarmReceiver.h"
#include "Launcher.h"

#include <QObject>

#include <deque>
#include <functional>
#include <string>

namespace belvane {

class ActionPerformer;

// The receiving station: the receiver on the settings' port, the queue of received texts, their
// dispatch (show, then perform the level's action) and the history of this run, apart from any
// window. Each alarm goes out through `alarmShown` before its action starts, so the window is up by
// then, and through `alarmDispatched` once it is recorded; an alarm's sender and message are
// bounded as the window shows them.
class AlarmStation final : public QObject
{
    Q_OBJECT

public:
    // `actionListPath` is native; `parentWindow` names the window an action's program may belong to.
    AlarmStation(ActionPerformer &thePerformer, std::string actionListPath,
                 std::function<WindowHandle()> parentWindow = {});
    ~AlarmStation() override;

    // Starts the receiver on `port`; empty when it listens, else why not, in the user's words.
    [[nodiscard]] QString startListening(std::int32_t port);
    // The text of a finished connection from `peer` (its address): queued, and handled at once unless
    // another is being handled (showing it, or starting its action, can run a nested event loop), in
    // which case it follows that one in order. No state of the program drops a text.
    void deliver(std::string text, std::string peer = {});
    // Handles the queued texts in order: the hidden button's command.
    void DispatchAlarm();
    // The program is ending: every open connection is finished and its alarm dispatched, and the
    // closing line is logged.
    void finish();

    AlarmHistory &history() { return alarms; }

signals:
    // An alarm to show now: its sender and message as the window shows them.
    void alarmShown(const QString &sender, const QString &message);
    // An alarm handled and recorded: what the history keeps of it.
    void alarmDispatched(const HistoryEntry &entry);

private:
    struct Delivery
    {
        std::string text;
        QString peer;
        QDateTime arrived;
    };

    ActionPerformer &performer;
    std::string listPath;
    std::function<WindowHandle()> parent;
    std::string receivedText; // the text being handled
    std::deque<Delivery> pendingTexts; // delivered and waiting to be handled
    bool dispatching = false;
    bool started = false; // listening was asked for, and the ending has not come yet
    AlarmHistory alarms;
    AlarmReceiver receiver;
};

} // namespace belvane
