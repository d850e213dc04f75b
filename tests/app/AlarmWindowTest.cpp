#include "BelvaneApp.h"
#include "CommandMenu.h"
#include "LoopbackClient.h"
#include "ProgramRun.h"
#include "StorageTestSupport.h"
#include "SystemPrompts.h"
#include "WindowFixture.h"

#include <QAbstractTextDocumentLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTextBlock>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <map>

namespace belvane {
namespace {

using testing::readFile;
using testing::SettingsImage;
using testing::TempDir;
using testing::writeFile;
using Fixture = testing::WindowFixture;

// A first start makes the default list and says so. A connection still open when the window is
// destroyed is dispatched then.
TEST(AlarmWindowTest,
     FirstStartTellsOfTheNewListAlarmsConfirmShowAgainEveryEndingAsksToQuitAndALateAlarmCounts)
{
    TempDir dir;
    const quint16 port = testing::FreePort();
    writeFile(dir.file("Belvane.cfg"), SettingsImage(port));
    Fixture f(dir);
    EXPECT_TRUE(f.window.listening() && f.prompts.messages.empty()) << "a usable port: nothing to report";
    EXPECT_TRUE(f.sender().startsWith(QStringLiteral("コンピュータ名: [")));
    EXPECT_FALSE(f.message().isEmpty()) << "the notice that the list was made anew";
    EXPECT_EQ(fieldText(testing::readRecord(dir.file("Belvane.acd"), 0).actionFile),
              dir.path().string() + "/Malarm.wav");
    f.window.trayHostChanged(true);
    const QString confirmed = QStringLiteral("すでに確認済みメッセージです");
    f.window.Confirm();
    f.window.runCommand(commandShow);
    EXPECT_EQ(f.sender(), confirmed) << "the first start's notice counts as a message";
    const struct
    {
        const char *alarm; // nullptr: confirm, then show
        QString sender, message;
    } steps[] = {
        {"#Sender=\x82\xa0PC\n#Message=<b>Tea</b>\n#Level=99\n", QStringLiteral("あPC"), "<b>Tea</b>"},
        {nullptr, confirmed, QStringLiteral("<b>Tea</b>")},
        {"#Sender=PC2\n#Message=\n#Level=1\n", QStringLiteral("PC2"), QString()},
        {nullptr, QStringLiteral("新しいメッセージは届いていません"), QString()},
    };
    for (const auto &step : steps) {
        if (step.alarm) {
            f.window.deliver(step.alarm);
        } else {
            f.window.Confirm();
            EXPECT_FALSE(f.window.isVisible());
            f.window.runCommand(commandShow);
        }
        EXPECT_TRUE(f.window.isVisible());
        EXPECT_EQ(f.sender(), step.sender);
        EXPECT_EQ(f.message(), step.message) << "shown as plain text";
    }
    // Without a tray host the confirmed window waits in the taskbar; restored from there, it shows
    // what "表示" would.
    f.window.trayHostChanged(false);
    f.alarm(99);
    f.window.Confirm();
    f.window.showNormal();
    EXPECT_EQ(f.sender(), confirmed);
    f.window.trayHostChanged(true);
    QSignalSpy quit(&f.window, &AlarmWindow::quitRequested);
    QTest::keyClick(&f.window, Qt::Key_Escape);
    f.window.close();
    EXPECT_TRUE(f.window.isVisible()) << "closing only asks; the run ends the window";
    QTest::keyClick(f.window.findChild<QLineEdit *>(), Qt::Key_Return);
    f.window.runCommand(commandQuit);
    EXPECT_EQ(quit.count(), 4);
    f.confirmButton()->setFocus();
    QTest::keyClick(f.confirmButton(), Qt::Key_Return);
    EXPECT_EQ(quit.count(), 4) << "Enter on the button confirms";
    EXPECT_FALSE(f.window.isVisible());

    writeFile(dir.file("Malarm.wav"), ""); // level 0 of the new list
    const testing::LoopbackClient sender(port);
    ASSERT_TRUE(sender.send("#Sender=late\n#Message=still open\n#Level=0\n"));
    QTest::qWait(1000); // received, the connection still open
    EXPECT_TRUE(f.journal.empty());
    f.window.DestroyWindow();
    EXPECT_EQ(f.sender(), QStringLiteral("late"));
    EXPECT_EQ(f.journal, std::vector<std::string> {"wave play " + dir.file("Malarm.wav")});
}

// The lines of the alarm log written while `run` runs.
QStringList LoggedLines(const std::function<void()> &run)
{
    static QStringList *lines = nullptr;
    QStringList captured;
    lines = &captured;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &context, const QString &text) {
            if (QByteArray(context.category) == "belvane.alarm") {
                lines->append(text);
            }
        });
    run();
    qInstallMessageHandler(previous);
    return captured;
}

// What the history dialog lists, row by row ("|" between the columns), and its message pane for the
// newest alarm; `whileOpen` runs while it is open.
std::pair<QStringList, QString> HistoryShown(testing::WindowFixture &f,
                                             const std::function<void()> &whileOpen = {})
{
    std::pair<QStringList, QString> shown;
    QTimer::singleShot(0, [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        ASSERT_TRUE(dialog && dialog->windowTitle() == QStringLiteral("受信履歴"));
        if (whileOpen) {
            whileOpen();
        }
        const QAbstractItemModel *model = dialog->findChild<QTreeView *>()->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < model->columnCount(); ++column) {
                cells << model->index(row, column).data().toString();
            }
            shown.first << cells.join(u'|');
        }
        shown.second = dialog->findChild<QPlainTextEdit *>()->toPlainText();
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    f.window.runCommand(commandHistory);
    return shown;
}

// Each alarm is listed newest first with its sender's address, sender, level, what became of it and
// whether the user saw it, and logged in one line with the same words; 200 are kept.
TEST(AlarmWindowTest, TheHistoryAndTheLogSayWhatBecameOfEachAlarm)
{
    TempDir dir;
    const std::string program = dir.file("prog"), document = dir.file("notes.txt"),
                      bell = dir.file("bell.wav"), tune = dir.file("tune.mid");
    for (const std::string &file : {program, document, bell, tune}) {
        writeFile(file, "");
    }
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    testing::writeActions(dir.file("Belvane.acd"), 9,
                          {{0, {1, bell}},
                           {1, {1, program}},
                           {2, {1, document}},
                           {4, {0, program}},
                           {5, {1, dir.file("gone")}},
                           {6, {1, program + "\x81"}},
                           {7, {1, program}},
                           {8, {1, tune}}});
    const QString prog = QString::fromStdString(program);
    const std::pair<int, QString> rows[] = {
        {0, "サウンドを再生しました: " + QString::fromStdString(bell)},
        {1, "プログラムを起動しました: " + prog},
        {2, "ファイルを開きました: " + QString::fromStdString(document)},
        {3, "何もしません: このレベルに動作が登録されていません"},
        {4, "何もしません: このレベルの動作は無効です"},
        {5, "何もしません: ファイルが見つかりません: " + QString::fromStdString(dir.file("gone"))},
        {6, "何もしません: 登録されたファイル名が cp932 の文字列ではありません: " + prog},
        {7, "起動できません（アクセスが拒否されました）: " + prog},
        {8,
         "サウンドを再生できません（MIDI のサウンドフォントがありません）: " + QString::fromStdString(tune)},
        {9, "何もしません: レベルが動作ファイルリストの範囲（00～08）の外です"},
    };
    Fixture f(dir);
    for (const auto &[level, outcome] : rows) {
        SCOPED_TRACE(level);
        f.launcher.result = level == 7 ? Launcher::accessDenied : Launcher::started;
        f.mediaCommands.openResult = level == 8 ? MediaCommands::noSoundFont : 0;
        const QStringList logged = LoggedLines([&, level = level] {
            f.window.deliver("#Sender=PC\x82\xa0\n#Message=m" + std::to_string(level)
                                 + "\n#Level=" + std::to_string(level) + "\n",
                             "192.0.2.7");
        });
        ASSERT_EQ(logged.size(), 1);
        EXPECT_TRUE(logged[0].endsWith(
            QStringLiteral(" 192.0.2.7 から 送信者 \"PCあ\" レベル %1: ").arg(level) + outcome))
            << logged[0].toStdString();
        const auto [listed, message] = HistoryShown(f);
        ASSERT_FALSE(listed.isEmpty());
        EXPECT_EQ(listed[0].section(u'|', 1),
                  QStringLiteral("192.0.2.7|PCあ|%1|").arg(level) + outcome + "|表示中");
        EXPECT_EQ(message, QStringLiteral("m%1").arg(level));
        // The tray says so until a sound plays again.
        EXPECT_EQ(
            f.window.findChild<QSystemTrayIcon *>()->toolTip().contains(QStringLiteral("サウンドフォント")),
            level >= 8);
        if (listed.size() > 1) {
            EXPECT_TRUE(listed[1].endsWith(QStringLiteral("|確認前に上書き"))) << "replaced unconfirmed";
        }
    }
    // Confirmed; the log escapes what would break its line, and markup stays text.
    f.window.Confirm();
    const QStringList logged = LoggedLines([&] {
        f.window.deliver("#lOGIC=2$lOGIC#sENDER=<b>A\x1b[2J\nB\xe2\x80\xae$sENDER#mESSAGE=%s%n$mESSAGE");
    });
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged[0].contains(QStringLiteral("送信者 \"<b>A\\u001b[2J\\nB")));
    // An alarm that arrives while the history is open joins it; only 200 are kept, the newest first.
    const auto [listed, message] = HistoryShown(f, [&] { f.alarm(99, "while open"); });
    EXPECT_TRUE(listed[0].contains(QStringLiteral("|PC1|99|"))) << listed[0].toStdString();
    EXPECT_TRUE(listed[2].endsWith(QStringLiteral("|確認済み"))) << listed[2].toStdString();
    const auto listedCount = listed.size();
    for (auto i = listedCount; i <= 200; ++i) { // one more than the history keeps
        f.alarm(99, "bulk " + std::to_string(i));
    }
    const auto [bounded, newest] = HistoryShown(f);
    EXPECT_EQ(bounded.size(), 200);
    EXPECT_EQ(newest, QStringLiteral("bulk 200"));
    EXPECT_TRUE(bounded.back().contains(QStringLiteral("|PCあ|1|"))) << "the first alarm went";

    // Texts reach the dispatch whatever the window is doing: while it is disabled (a dialog is open), and
    // while another text is handled (starting a program can run a nested event loop), behind it in order.
    f.journal.clear();
    f.window.setEnabled(false);
    f.launcher.whileOpening = [&] {
        f.alarm(7, "second");
        EXPECT_EQ(f.message(), QStringLiteral("first")) << "the second waits its turn";
    };
    f.alarm(1, "first");
    EXPECT_EQ(f.journal,
              (std::vector<std::string> {"open " + program + " [1] 6", "open " + program + " [7] 6"}));
    EXPECT_EQ(f.message(), QStringLiteral("second"));
}

// The command menu's entries, "id text" each, "-" for a separator.
QString MenuEntries(const QMenu &menu)
{
    QStringList entries;
    for (const QAction *action : menu.actions()) {
        entries << (action->isSeparator() ? QStringLiteral("-")
                                          : QString::number(action->data().toInt()) + u' ' + action->text());
    }
    return entries.join(u'|');
}

const std::string menuEntries =
    "32772 表示|32781 受信履歴|32773 設定|32779 動作ファイルリストのインポート|"
    "32778 動作ファイルリストのエクスポート|32780 動作ファイルリストのテキスト出力|-|"
    "32776 自己フォルダ開いて終了|32771 終了|-|32774 バージョン情報|32777 サポートページへ";

// The window shows only its confirm button (which has the focus, as the end-to-end test's Return shows)
// and opens its menu on its surface only: the same entries, in the same order, as the tray icon's.
// Under a dark theme (light text on dark grey), a message is cut at the box's bound, centred, and
// dark on the light boxes, also while a dialog that is open disables the window.
TEST(AlarmWindowTest,
     OneButtonAndTheMenuOnTheSurfaceAndTheMessageBoxCutsAndCentresAMessageAndStaysDarkUnderADarkTheme)
{
    const QPalette before = QApplication::palette();
    QPalette dark(QColor(45, 45, 48));
    dark.setColor(QPalette::Highlight, QColor(255, 160, 0));
    QApplication::setPalette(dark);
    TempDir dir;
    Fixture f(dir, true);
    ASSERT_TRUE(f.exposed);
    EXPECT_FALSE(f.window.mask().contains(QPoint(1, 1))) << "the corners are rounded off";
    EXPECT_TRUE(f.window.mask().contains(QPoint(4, 4)) && f.window.mask().contains(QPoint(250, 0)));
    const auto buttons = f.window.findChildren<QPushButton *>();
    ASSERT_EQ(buttons.size(), 2) << "the confirm button and the hidden dispatch button";
    for (const QPushButton *button : buttons) {
        EXPECT_EQ(button->isVisible(), button == f.confirmButton());
    }
    for (const auto &[target, opens] : {std::pair<QWidget *, bool> {&f.window, true},
                                        {f.confirmButton(), false},
                                        {f.window.findChild<QLineEdit *>(), false}}) {
        QString opened;
        QTimer::singleShot(200, [&] {
            if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                opened = MenuEntries(*menu);
                menu->close();
            }
        });
        QTest::mouseRelease(target, Qt::RightButton, {}, QPoint(10, 10));
        QTest::qWait(300);
        EXPECT_EQ(opened.toStdString(), opens ? menuEntries : "") << target->metaObject()->className();
    }
    EXPECT_EQ(MenuEntries(*f.window.findChild<QSystemTrayIcon *>()->contextMenu()).toStdString(),
              menuEntries);
    const std::string lines = QByteArray("a\n").repeated(3000).toStdString();
    const std::pair<std::string, QString> cases[] = {
        {lines, QString::fromStdString(lines.substr(0, 4000)) + QStringLiteral("…")},
        {lines.substr(0, 3999), QString::fromStdString(lines.substr(0, 3999))}, // 2,000 lines
        {std::string(70000, 'x'), QString(65536, u'x') + QStringLiteral("…")},
        {QByteArray("\x82\xa0").repeated(65536).toStdString(), QString(65536, u'あ')},
    };
    for (const auto &[message, shown] : cases) {
        f.alarm(99, message);
        EXPECT_EQ(f.message(), shown) << message.size();
    }
    f.alarm(99, "13:30\r\nTea");
    QTextDocument &document = *f.window.findChild<QTextEdit *>()->document();
    document.documentLayout()->documentSize(); // lays it out
    for (QTextBlock block = document.firstBlock(); block.isValid(); block = block.next()) {
        EXPECT_GT(block.layout()->lineAt(0).cursorToX(0), 150) << "centred: " << block.text().toStdString();
    }
    for (const bool enabled : {true, false}) {
        f.window.setEnabled(enabled);
        const QImage image = f.window.grab().toImage();
        for (const QRect &box : {QRect(40, 23, 420, 14), QRect(40, 48, 400, 20), QRect(210, 124, 80, 16)}) {
            int darkest = 255, lightest = 0;
            for (int y = box.top(); y <= box.bottom(); ++y) {
                for (int x = box.left(); x <= box.right(); ++x) {
                    darkest = std::min(darkest, image.pixelColor(x, y).lightness());
                    lightest = std::max(lightest, image.pixelColor(x, y).lightness());
                }
            }
            EXPECT_LT(darkest, enabled ? 60 : 140) << box.y() << " enabled " << enabled;
            EXPECT_GT(lightest, 200) << "a light box";
        }
    }
    QApplication::setPalette(before);
}

TEST(AlarmWindowTest, QtsOwnTextsAreJapaneseAndX11IsTriedFirstAndHeadlessLast)
{
    ASSERT_TRUE(BelvaneApp::LoadQtTranslation()) << "qt6-translations-l10n is needed";
    EXPECT_EQ(makeQuestionBox(nullptr, QStringLiteral("?"))->button(QMessageBox::Cancel)->text(),
              QStringLiteral("キャンセル"));

    const char *names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    const QByteArray saved[] = {qgetenv(names[0]), qgetenv(names[1]), qgetenv(names[2])};
    // Every list ends in the headless platform: a display that cannot be used is no reason to abort.
    const std::array<const char *, 4> rows[] = {{nullptr, ":0", "wayland-0", "xcb;wayland;offscreen"},
                                                {nullptr, ":0", nullptr, "xcb;offscreen"},
                                                {nullptr, "", "wayland-0", "wayland;offscreen"},
                                                {nullptr, nullptr, nullptr, "offscreen"},
                                                {"wayland", ":0", "wayland-0", "wayland;offscreen"},
                                                {"xcb;offscreen", nullptr, nullptr, "xcb;offscreen"}};
    for (const auto &row : rows) {
        for (int i = 0; i < 3; ++i) {
            row[i] ? qputenv(names[i], row[i]) : qunsetenv(names[i]);
        }
        EXPECT_EQ(BelvaneApp::ChoosePlatform(), row[3]) << (row[0] ? row[0] : "-") << (row[1] ? row[1] : "-");
    }
    for (int i = 0; i < 3; ++i) {
        qputenv(names[i], saved[i]);
    }
}

// Settings of any other size than a record's are ignored, a position off every screen gives the
// default, and neither is written at the start. A drag saves the whole record once, at its release
// over the window; the window does not follow the pointer off itself, nor does a release there end
// the drag. A port that cannot be listened on is reported and the tray icon says so.
TEST(AlarmWindowTest, TheSavedPositionIsUsedWhereItIsOnAScreenADragSavesTheWholeRecordAndABadPortIsReported)
{
    const int right = QGuiApplication::primaryScreen()->geometry().right();
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::AnyIPv4, 0));
    const QString inUse = "ほかのプログラムがこのポートを使っています",
                  noPort = "TCP のポート番号（1～65535）ではありません";
    // The settings' port (-1: a file one byte too long), the position saved, where the window is shown,
    // and why the port cannot be listened on (0 is not some port the system picks; a negative port is not
    // folded into the TCP range).
    const std::tuple<std::int32_t, QPoint, QPoint, QString> rows[] = {
        {other.serverPort(), {300, 200}, {300, 200}, inUse},
        {70000, {-490, 0}, {-490, 0}, noPort},
        {0, {-500, 0}, {52, 52}, noPort},
        {-5, {right + 1, 10}, {52, 52}, noPort},
        {-1, {52, 52}, {52, 52}, {}},
    };
    for (const auto &[port, at, shownAt, reason] : rows) {
        SCOPED_TRACE(std::to_string(port) + ", shown at " + std::to_string(shownAt.x()));
        TempDir dir;
        const std::string cfg = dir.file("Belvane.cfg");
        const std::string image = port == -1 ? SettingsImage(0) + "x" : SettingsImage(port, at.x(), at.y());
        const QPoint moved = shownAt + QPoint(40, 15);
        const std::string saved = SettingsImage(port == -1 ? 9912 : port, moved.x(), moved.y());
        writeFile(cfg, image);
        Fixture f(dir, true);
        if (!reason.isEmpty()) {
            const QString told = f.prompts.texts().join(u'|');
            EXPECT_FALSE(f.window.listening());
            EXPECT_EQ(f.prompts.count(UserPrompts::Icon::Warning), 1u) << told.toStdString();
            EXPECT_TRUE(f.window.findChild<QSystemTrayIcon *>()->toolTip().contains(QString::number(port)));
            EXPECT_TRUE(told.contains(QString::number(port)) && told.contains(reason)) << told.toStdString();
        }
        EXPECT_EQ(f.window.pos(), shownAt);
        f.drag({0, 0});
        EXPECT_EQ(readFile(cfg), image) << "neither the start nor a click where it was shown writes";
        f.mouse(QEvent::MouseButtonPress, {100, 140}, Qt::LeftButton, Qt::LeftButton);
        f.mouse(QEvent::MouseMove, {130, 150}, Qt::NoButton, Qt::LeftButton);
        f.mouse(QEvent::MouseMove, {900, 900}, Qt::NoButton, Qt::LeftButton);
        f.mouse(QEvent::MouseButtonRelease, {900, 900}, Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(readFile(cfg), image) << "nothing is written before the release over the window";
        f.mouse(QEvent::MouseMove, {110, 145}, Qt::NoButton, Qt::NoButton);
        f.mouse(QEvent::MouseButtonRelease, {110, 145}, Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(readFile(cfg), saved);
        // The drag ended with the release, and a click without movement writes nothing.
        std::filesystem::remove(cfg);
        f.drag({0, 0});
        f.mouse(QEvent::MouseMove, {150, 150}, Qt::NoButton, Qt::NoButton);
        EXPECT_EQ(f.window.pos(), moved);
        EXPECT_FALSE(std::filesystem::exists(cfg));
        // A double click confirms, and leaves no drag behind for the window's next showing.
        f.mouse(QEvent::MouseButtonDblClick, {100, 140}, Qt::LeftButton, Qt::LeftButton);
        f.alarm(99);
        f.mouse(QEvent::MouseMove, {160, 150}, Qt::NoButton, Qt::NoButton);
        EXPECT_EQ(f.window.pos(), moved);
        // The default port may be taken by a test running beside this one: only the files' reports count.
        EXPECT_EQ(f.prompts.count(UserPrompts::Icon::Stop), 0u);
    }
}

} // namespace
} // namespace belvane
