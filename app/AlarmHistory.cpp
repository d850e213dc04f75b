#include "AlarmHistory.h"

#include "Cp932.h"
#include "Launcher.h"
#include "MediaCommands.h"

#include <variant>

namespace belvane {

namespace {

// A file name from the list, as the user registered it; one that is no valid cp932 still shows.
QString fileName(const std::string &cp932Name)
{
    return cp932::toUnicode(cp932Name);
}

// A result that has no wording of its own, by its number.
template<typename Result>
QString numbered(Result result)
{
    return QStringLiteral("エラー %1").arg(static_cast<int>(result));
}

// Why the launcher could not start or open a file; empty when it did.
QString failure(LaunchResult result)
{
    switch (result) {
    case LaunchResult::Started:
        return QString();
    case LaunchResult::FileNotFound:
        return QStringLiteral("ファイルが見つかりません");
    case LaunchResult::PathNotFound:
        return QStringLiteral("パスが見つかりません");
    case LaunchResult::AccessDenied:
        return QStringLiteral("アクセスが拒否されました");
    case LaunchResult::BadFormat:
        return QStringLiteral("起動できる形式でないか、パラメータが正しくありません");
    case LaunchResult::InvalidText:
        return QStringLiteral("ファイル名かパラメータが cp932 の文字列ではありません");
    case LaunchResult::NoAssociation:
        return QStringLiteral("開くアプリケーションがありません");
    }
    return numbered(result);
}

// Why a sound could not be played; empty when it was.
QString failure(MediaResult result)
{
    switch (result) {
    case MediaResult::Success:
        return QString();
    case MediaResult::FileNotFound:
        return QStringLiteral("ファイルが見つかりません");
    case MediaResult::CannotPlay:
        return QStringLiteral("音声を出力できないか、再生できない形式です");
    case MediaResult::CommandTooLong:
        return QStringLiteral("ファイル名が長すぎます");
    case MediaResult::AliasInUse:
        return QStringLiteral("MIDI の再生装置が使用中です");
    case MediaResult::NoOutputDevice:
        return QStringLiteral("音声の出力装置がありません");
    case MediaResult::NoSoundFont:
        return QStringLiteral("MIDI のサウンドフォントがありません");
    // The performer's own commands are well formed: these keep their number.
    case MediaResult::UnknownCommand:
    case MediaResult::UnknownAlias:
    case MediaResult::MissingParameter:
        break;
    }
    return numbered(result);
}

QString seenText(HistoryEntry::Seen seen)
{
    switch (seen) {
    case HistoryEntry::Seen::Showing:
        return QStringLiteral("表示中");
    case HistoryEntry::Seen::Confirmed:
        return QStringLiteral("確認済み");
    case HistoryEntry::Seen::Replaced:
        return QStringLiteral("確認前に上書き");
    }
    return QString();
}

} // namespace

QString describeOutcome(const AlarmOutcome &outcome)
{
    using Kind = AlarmOutcome::Kind;
    const QString file = fileName(outcome.actionFile);
    const QString failed = std::visit([](auto result) { return failure(result); }, outcome.result);
    switch (outcome.kind) {
    case Kind::NoAlarm:
        return QStringLiteral("アラームではありません");
    case Kind::OutsideList:
        return QStringLiteral("何もしません: レベルが動作ファイルリストの範囲（00～%1）の外です")
            .arg(outcome.listCount - 1, 2, 10, QLatin1Char('0'));
    case Kind::Unreadable:
        return QStringLiteral("何もしません: 動作ファイルリストのこのレベルを読めません");
    case Kind::Blank:
        return QStringLiteral("何もしません: このレベルに動作が登録されていません");
    case Kind::Disabled:
        return QStringLiteral("何もしません: このレベルの動作は無効です");
    case Kind::NotCp932:
        return QStringLiteral("何もしません: 登録されたファイル名が cp932 の文字列ではありません: %1")
            .arg(file);
    case Kind::Missing:
        return QStringLiteral("何もしません: ファイルが見つかりません: %1").arg(file);
    case Kind::Played:
        return failed.isEmpty() ? QStringLiteral("サウンドを再生しました: %1").arg(file)
                                : QStringLiteral("サウンドを再生できません（%1）: %2").arg(failed, file);
    case Kind::Started:
    case Kind::Opened:
        if (!failed.isEmpty()) {
            return QStringLiteral("起動できません（%1）: %2").arg(failed, file);
        }
        return outcome.kind == Kind::Started ? QStringLiteral("プログラムを起動しました: %1").arg(file)
                                             : QStringLiteral("ファイルを開きました: %1").arg(file);
    }
    return QString();
}

void AlarmHistory::add(HistoryEntry entry)
{
    setSeen(HistoryEntry::Seen::Replaced);
    entry.seen = HistoryEntry::Seen::Showing;
    if (entries.size() >= static_cast<std::size_t>(limit)) {
        beginRemoveRows(QModelIndex(), limit - 1, static_cast<int>(entries.size()) - 1);
        entries.resize(limit - 1);
        endRemoveRows();
    }
    beginInsertRows(QModelIndex(), 0, 0);
    entries.push_front(std::move(entry));
    endInsertRows();
}

void AlarmHistory::confirmed()
{
    setSeen(HistoryEntry::Seen::Confirmed);
}

void AlarmHistory::setSeen(HistoryEntry::Seen seen)
{
    // Every alarm is shown as it arrives, so only the newest can still be waiting in the window.
    if (entries.empty() || entries.front().seen != HistoryEntry::Seen::Showing) {
        return;
    }
    entries.front().seen = seen;
    emit dataChanged(index(0, SeenColumn), index(0, SeenColumn));
}

int AlarmHistory::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(entries.size());
}

int AlarmHistory::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : Column::ColumnCount;
}

QVariant AlarmHistory::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) {
        return QVariant();
    }
    const HistoryEntry &e = entry(index.row());
    if (role == Qt::ToolTipRole && index.column() == OutcomeColumn) {
        return e.outcome;
    }
    if (role != Qt::DisplayRole) {
        return QVariant();
    }
    switch (index.column()) {
    case ArrivedColumn:
        return e.arrived.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    case PeerColumn:
        return e.peer;
    case SenderColumn:
        return e.sender;
    case LevelColumn:
        return e.level;
    case OutcomeColumn:
        return e.outcome;
    case SeenColumn:
        return seenText(e.seen);
    default:
        return QVariant();
    }
}

QVariant AlarmHistory::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QVariant();
    }
    static const char *const titles[] = {"受信時刻", "送信元", "送信者", "レベル", "結果", "表示"};
    return section >= 0 && section < Column::ColumnCount ? QString::fromUtf8(titles[section]) : QVariant();
}

} // namespace belvane
