// The history of this run as a table for views, and the log lines written beside it.
#include "AlarmHistory.h"
#include "AlarmLog.h"
#include "AlarmLook.h"
#include "WindowFixture.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTreeView>

#include <gtest/gtest.h>

namespace belvane {
namespace {

// A sender is cp932 bytes from the network and stands between quotes in its line, and the program folder
// is the file system's text: neither may end the line, forge the rest of it or turn a terminal's text
// around.
TEST(AlarmHistoryTest, TheLogEscapesWhatCouldBreakOrForgeItsLine)
{
    const std::pair<std::string, QString> senders[] = {
        {"\x81\x5c", "―"}, // a trail byte 0x5C is no backslash
        {"C:\x5c\x5c", "C:\\\\\\\\"},
        {"x\" \xda\xcd\xde\xd9 0: forged", "x\\\" ﾚﾍﾞﾙ 0: forged"},
        {"A\x1b[2J\r\n\t", "A\\u001b[2J\\r\\n\\t"},
        {"\x1c", "\\u007f"}, // cp932's 0x1C is DEL
    };
    for (const auto &[bytes, escaped] : senders) {
        SCOPED_TRACE(bytes);
        const QStringList lines = testing::loggedLines([&, &bytes = bytes] {
            logAlarm({{}, QStringLiteral("192.0.2.7"), shownSender(bytes), {}, 3, describeOutcome({})});
        });
        ASSERT_EQ(lines.size(), 1);
        EXPECT_EQ(lines[0].section(QStringLiteral(" 192.0.2.7 から "), 1),
                  "送信者 \"" + escaped + "\" レベル 3: アラームではありません");
    }
    EXPECT_EQ(
        testing::loggedLines([] { logStart(QStringLiteral("/opt/\u202Egnp.exe\u0085/"), 9912, {}); }),
        QStringList {"起動しました: 動作リストと設定のフォルダ /opt/\\u202egnp.exe\\u0085/、ポート 9912 "
                     "で受信しています"});
}

// A view open on the history stays in step while alarms arrive past the bound and the oldest go.
TEST(AlarmHistoryTest, AnOpenViewStaysInStepWhileTheOldestAlarmsGo)
{
    AlarmHistory history;
    const int last = AlarmHistory::limit + 2;
    QSignalSpy changed(&history, &QAbstractItemModel::dataChanged); // the view is told each mark
    const QStringList complaints = testing::loggedLines(
        [&] {
            const QAbstractItemModelTester tester(&history,
                                                  QAbstractItemModelTester::FailureReportingMode::Warning);
            QTreeView view;
            view.setModel(&history);
            view.show();
            for (int level = 0; level <= last; ++level) {
                HistoryEntry entry;
                entry.level = level;
                history.add(entry);
                view.scrollToBottom();
            }
            history.confirmed();
        },
        "qt.modeltest");
    EXPECT_EQ(std::pair(complaints, changed.size()), std::pair(QStringList(), qsizetype {last + 1}));
    ASSERT_EQ(history.rowCount(), AlarmHistory::limit);
    const std::tuple<int, int, QString> rows[] = {{0, last, "確認済み"},
                                                  {1, last - 1, "確認前に上書き"},
                                                  {AlarmHistory::limit - 1, 3, "確認前に上書き"}};
    for (const auto &[row, level, seen] : rows) {
        EXPECT_EQ(std::pair(history.index(row, AlarmHistory::LevelColumn).data().toInt(),
                            history.index(row, AlarmHistory::SeenColumn).data().toString()),
                  std::pair(level, seen))
            << row;
    }
}

} // namespace
} // namespace belvane
