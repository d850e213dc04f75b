#include "AlarmStation.h"

#include "AlarmDispatch.h"
#include "AlarmLog.h"
#include "AlarmLook.h"
#include "Cp932.h"

namespace belvane {

AlarmStation::AlarmStation(ActionPerformer &thePerformer, std::string actionListPath,
                           std::function<WindowHandle()> parentWindow)
    : performer(thePerformer)
    , listPath(std::move(actionListPath))
    , parent(std::move(parentWindow))
    , receiver([this](std::string &text, const std::string &peer) {
        deliver(std::move(text), peer);
        text.clear();
    })
{
    connect(&receiver, &AlarmReceiver::starved, this, &logStarved);
}

AlarmStation::~AlarmStation() = default;

QString AlarmStation::startListening(std::int32_t port)
{
    started = true;
    const bool listening =
        port != 0 && receiver.startListening(port) == AlarmReceiver::ListenState::Listening;
    return listening ? QString() : listenFailure(port, receiver.listenError());
}

void AlarmStation::deliver(std::string text, std::string peer)
{
    pendingTexts.push_back(
        Delivery {std::move(text), QString::fromStdString(peer), QDateTime::currentDateTimeUtc()});
    // The hidden button's command, run synchronously as the connection ends. Called directly rather
    // than through a click, which a disabled button (a dialog is open) would swallow.
    DispatchAlarm();
}

void AlarmStation::DispatchAlarm()
{
    // Texts that arrive while one is handled (showing it, or starting its action, can run a nested
    // event loop) wait behind it and are handled after it, in order.
    if (dispatching) {
        return;
    }
    dispatching = true;
    while (!pendingTexts.empty()) {
        Delivery delivery = std::move(pendingTexts.front());
        pendingTexts.pop_front();
        receivedText = std::move(delivery.text);
        HistoryEntry entry;
        entry.arrived = delivery.arrived;
        entry.peer = delivery.peer;
        const AlarmOutcome outcome =
            belvane::DispatchAlarm(receivedText, listPath, performer, parent ? parent() : WindowHandle {},
                                   [this, &entry](const AlarmMessage &alarm) {
                                       entry.sender = shownSender(alarm.sender);
                                       entry.message = shownMessage(cp932::toUnicode(alarm.message));
                                       entry.level = alarm.level;
                                       emit alarmShown(entry.sender, entry.message);
                                   });
        // Recorded once the action has been started, so that it waits for none of this.
        if (outcome.kind != AlarmOutcome::Kind::NoAlarm) {
            entry.outcome = describeOutcome(outcome);
            logAlarm(entry);
            alarms.add(entry);
            emit alarmDispatched(entry);
        }
    }
    dispatching = false;
}

void AlarmStation::finish()
{
    if (started) {
        started = false;
        receiver.finish();
        logEnd();
    }
}

} // namespace belvane
