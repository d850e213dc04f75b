#pragma once

#include <QAbstractSocket>
#include <QDateTime>
#include <QLoggingCategory>
#include <QString>

#include <cstdint>

namespace belvane {

struct HistoryEntry;

// The program's lines on standard error (the journal, under a desktop session): one at start-up, one
// per alarm, one at the end. Silenced with QT_LOGGING_RULES="belvane.alarm=false".
Q_DECLARE_LOGGING_CATEGORY(alarmLog)

// `text` on one line: control characters (line feeds included) as escapes, and a backslash or a double
// quote behind a backslash.
QString escapeControls(const QString &text);
// `moment` in local time to the millisecond, as the alarm's line begins.
QString localStamp(const QDateTime &moment);
// The alarm's line: when it arrived, from where, the sender, the level and what became of it.
QString alarmLine(const HistoryEntry &entry);
void logAlarm(const HistoryEntry &entry);
// Why the receiver cannot listen on `port`, as the user can act on it.
QString listenFailure(std::int32_t port, QAbstractSocket::SocketError error);
// `failure` is empty when the receiver listens.
void logStart(const QString &filesFolder, std::int32_t port, const QString &failure);
void logEnd();
// Out of descriptors, the receiver closed `refused` waiting senders unheard and kept the alarms of
// `kept` that had closed already.
void logStarved(int refused, int kept);

} // namespace belvane
