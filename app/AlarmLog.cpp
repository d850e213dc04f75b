#include "AlarmLog.h"

#include "AlarmHistory.h"

namespace belvane {

Q_LOGGING_CATEGORY(alarmLog, "belvane.alarm", QtInfoMsg)

QString listenFailure(std::int32_t port, QAbstractSocket::SocketError error)
{
    if (port < 1 || port > 65535) {
        return QStringLiteral("TCP のポート番号（1～65535）ではありません");
    }
    switch (error) {
    case QAbstractSocket::AddressInUseError:
        return QStringLiteral("ほかのプログラムがこのポートを使っています");
    case QAbstractSocket::SocketAccessError:
        return QStringLiteral("このポートを使う権限がありません");
    default:
        return QStringLiteral("受信用のソケットを開けません");
    }
}

QString escapeControls(const QString &text)
{
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\' || u == u'"') {
            // The sender stands between quotes: a quote of its own must not end it early.
            line += u'\\';
            line += c;
        } else if (u == u'\n') {
            line += QStringLiteral("\\n");
        } else if (u == u'\r') {
            line += QStringLiteral("\\r");
        } else if (u == u'\t') {
            line += QStringLiteral("\\t");
        } else if (u < 0x20 || (u >= 0x7f && u < 0xa0) || c.category() == QChar::Other_Format) {
            // Also the C1 controls and the format characters (bidirectional overrides among them),
            // which could make a line read as something else in a terminal.
            line += QStringLiteral("\\u%1").arg(static_cast<unsigned>(u), 4, 16, QLatin1Char('0'));
        } else {
            line += c;
        }
    }
    return line;
}

QString localStamp(const QDateTime &moment)
{
    // Turning a moment into local time looks the zone up afresh (glibc reads its file each time),
    // which a burst of alarms pays per line: the offset is looked up once per minute, and zones change
    // theirs only at whole minutes.
    static qint64 minute = -1;
    static int offsetSeconds = 0;
    const qint64 ms = moment.toMSecsSinceEpoch();
    if (const qint64 now = ms / 60000; now != minute) {
        minute = now;
        offsetSeconds = moment.toLocalTime().offsetFromUtc();
    }
    return QDateTime::fromMSecsSinceEpoch(ms + qint64 {offsetSeconds} * 1000, Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
}

QString alarmLine(const HistoryEntry &entry)
{
    return QStringLiteral("%1 %2 から 送信者 \"%3\" レベル %4: %5")
        .arg(localStamp(entry.arrived), entry.peer.isEmpty() ? QStringLiteral("-") : entry.peer,
             escapeControls(entry.sender), QString::number(entry.level), escapeControls(entry.outcome));
}

void logAlarm(const HistoryEntry &entry)
{
    // Streamed, never used as a format: the text comes from the network.
    qCInfo(alarmLog).noquote() << alarmLine(entry);
}

void logStart(const QString &filesFolder, std::int32_t port, const QString &failure)
{
    qCInfo(alarmLog).noquote() << QStringLiteral(
                                      "起動しました: 動作リストと設定のフォルダ %1、ポート %2 で%3")
                                      .arg(escapeControls(filesFolder), QString::number(port),
                                           failure.isEmpty()
                                               ? QStringLiteral("受信しています")
                                               : QStringLiteral("受信できません（%1）").arg(failure));
}

void logStarved(int refused, int kept)
{
    qCWarning(alarmLog).noquote()
        << QStringLiteral("ファイル記述子が足りません: 待っていた送信元 %1 件の接続を受け付けずに閉じ、"
                          "送信を終えていた %2 件のアラームは記述子が戻りしだい処理します")
               .arg(refused)
               .arg(kept);
}

void logEnd()
{
    qCInfo(alarmLog).noquote() << QStringLiteral("終了します");
}

} // namespace belvane
