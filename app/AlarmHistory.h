#pragma once

#include "AlarmDispatch.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>

#include <deque>

namespace belvane {

// One received alarm as the user reviews it: what arrived, from where, and what became of it.
struct HistoryEntry
{
    // Whether the user saw it in the window: still shown there, confirmed, or replaced by the next
    // alarm before it was confirmed.
    enum class Seen { Showing, Confirmed, Replaced };

    QDateTime arrived;
    QString peer; // the sender's address
    QString sender; // plain text, as received
    QString message; // plain text, bounded as the window shows it
    int level = 0;
    QString outcome; // in the user's words
    Seen seen = Seen::Showing;
};

// What became of an alarm, in the words of the history and the log.
QString describeOutcome(const AlarmOutcome &outcome);

// The alarms of this run, newest first, at most `limit` of them, as a table for a view. Kept in
// memory only.
class AlarmHistory final : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int limit = 200;
    enum Column {
        ArrivedColumn,
        PeerColumn,
        SenderColumn,
        LevelColumn,
        OutcomeColumn,
        SeenColumn,
        ColumnCount
    };

    using QAbstractTableModel::QAbstractTableModel;

    // A new alarm, shown in the window from now on: one the window still showed unconfirmed is
    // marked replaced. Beyond the limit the oldest goes.
    void add(HistoryEntry entry);
    // The user confirmed the alarm the window shows.
    void confirmed();
    const HistoryEntry &entry(int row) const { return entries.at(static_cast<std::size_t>(row)); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void setSeen(HistoryEntry::Seen seen);

    std::deque<HistoryEntry> entries;
};

} // namespace belvane
