#pragma once

#include <QWidget>

namespace belvane {

// The alarm as assistive technology hears it: an object of the notification role inside the alarm
// window, shown anew for each alarm, which a screen reader speaks (its name the sender, its description
// the message) without the focus moving and also while the window stays shown and active. It takes no
// space, no focus and draws nothing; with no assistive technology listening it costs nothing.
class AlarmAnnouncement final : public QWidget
{
    Q_OBJECT

public:
    explicit AlarmAnnouncement(QWidget *window);

    // Announces an alarm as the window shows it. The window must be shown first: a notification
    // inside a hidden window is shown to nobody.
    void announce(const QString &sender, const QString &message);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

} // namespace belvane
