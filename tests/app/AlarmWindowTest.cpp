#include "AboutDialog.h"
#include "AlarmLog.h"
#include "AlarmLook.h"
#include "ApplicationIcon.h"
#include "BelvaneApp.h"
#include "CommandMenu.h"
#include "ProgramRun.h"
#include "StorageTestSupport.h"
#include "SystemPrompts.h"
#include "Wait.h"
#include "WindowFixture.h"

#include <QAbstractTextDocumentLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTextBlock>
#include <QTreeView>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <ctime>
#include <filesystem>

namespace belvane {
namespace {

using namespace testing;
using Fixture = WindowFixture;

// A first start makes the default list and says so. (A connection still open at the end is dispatched
// then: the fault test ends the real program so.)
TEST(AlarmWindowTest, FirstStartTellsOfTheNewListAlarmsConfirmShowAgainAndEveryEndingAsksToQuit)
{
    TempDir dir;
    writeFile(dir.file("Belvane.cfg"), settingsImage(freePort()));
    Fixture f(dir);
    EXPECT_TRUE(f.window.listening() && f.prompts.texts.isEmpty()) << "a usable port: nothing to report";
    EXPECT_TRUE(f.sender().startsWith(QStringLiteral("コンピュータ名: [")));
    const QString notice = f.message(), confirmed = QStringLiteral("すでに確認済みメッセージです");
    EXPECT_FALSE(notice.isEmpty()) << "the notice that the list was made anew";
    f.window.trayHostChanged(true);
    // An alarm, or none (confirm, then show), and the sender and plain text shown then.
    const std::tuple<const char *, QString, QString> steps[] = {
        {nullptr, confirmed, notice}, // the first start's notice counts as a message
        {"#Sender=\x82\xa0PC\n#Message=<b>Tea</b>\n#Level=99\n", QStringLiteral("あPC"), "<b>Tea</b>"},
        {nullptr, confirmed, QStringLiteral("<b>Tea</b>")},
        {"#Sender=PC2\n#Message=\n#Level=1\n", QStringLiteral("PC2"), QString()},
        {nullptr, QStringLiteral("新しいメッセージは届いていません"), QString()},
    };
    for (const auto &[alarm, sender, message] : steps) {
        SCOPED_TRACE(sender.toStdString());
        if (alarm) {
            f.window.station().deliver(alarm);
        } else {
            f.window.Confirm();
            EXPECT_FALSE(f.window.isVisible());
            f.window.runCommand(CommandShow);
        }
        EXPECT_TRUE(f.window.isVisible());
        EXPECT_EQ(std::pair(f.sender(), f.message()), std::pair(sender, message));
    }
    // Without a tray host the confirmed window waits in the taskbar; restored from there, it shows
    // what "表示" would.
    f.window.trayHostChanged(false);
    f.alarm(99);
    f.window.Confirm();
    EXPECT_TRUE(f.window.isVisible() && f.window.isMinimized()) << "kept in the taskbar";
    f.window.showNormal();
    EXPECT_EQ(f.sender(), confirmed);
    f.window.trayHostChanged(true);
    QSignalSpy quit(&f.window, &AlarmWindow::quitRequested);
    QTest::keyClick(&f.window, Qt::Key_Escape);
    f.window.close();
    EXPECT_TRUE(f.window.isVisible()) << "closing only asks; the run ends the window";
    QTest::keyClick(f.window.findChild<QLineEdit *>(), Qt::Key_Return);
    f.window.runCommand(CommandQuit);
    EXPECT_EQ(quit.count(), 4);
    f.confirmButton()->setFocus();
    QTest::keyClick(f.confirmButton(), Qt::Key_Return);
    EXPECT_EQ(quit.count(), 4) << "Enter on the button confirms";
    EXPECT_FALSE(f.window.isVisible());
}

// What the history dialog lists, row by row ("|" between the columns), and its message pane for the
// newest alarm; `during` runs while it is open.
std::pair<QStringList, QString> historyShown(Fixture &f, const std::function<void()> &during = {})
{
    std::pair<QStringList, QString> shown;
    const auto read = [&](QWidget *dialog) {
        ASSERT_EQ(dialog->windowTitle(), QStringLiteral("受信履歴"));
        during ? during() : void();
        const QAbstractItemModel *model = dialog->findChild<QTreeView *>()->model();
        const int columns = model->columnCount();
        for (int i = 0; i < model->rowCount() * columns; ++i) {
            const QString cell = model->index(i / columns, i % columns).data().toString();
            i % columns == 0 ? void(shown.first << cell) : void(shown.first.last() += u'|' + cell);
        }
        shown.second = dialog->findChild<QPlainTextEdit *>()->toPlainText();
    };
    EXPECT_TRUE(whileOpen([&] { f.window.runCommand(CommandHistory); }, read));
    return shown;
}

// Where the files folder is the user's own, the first start there brings a per-user installation's list
// and settings along and says so; what the files folder already holds stays, and a list that cannot be
// read leaves the folder without one, so the next start tries again.
TEST(AlarmWindowTest, AFirstStartInTheUsersFolderCopiesAnEarlierListAndSettingsAndSaysSo)
{
    // Whether there is an earlier list and settings, the files folder's own list and settings, whether
    // the earlier list is a readable file (not: a folder), and whether it is copied.
    const std::tuple<const char *, bool, bool, bool, bool, bool, bool> rows[] = {
        {"the user's own settings stay", true, true, false, true, true, true},
        {"the list alone", true, false, false, false, true, true},
        {"the user's own list: nothing comes", true, true, true, false, true, false},
        {"no earlier list: nothing comes", false, true, false, false, true, false},
        {"a list that is no file", true, true, false, false, false, false},
    };
    for (const auto &[name, earlierList, earlierSettings, ownList, ownSettings, readable, copied] : rows) {
        SCOPED_TRACE(name);
        TempDir program, files, earlier;
        if (earlierList && readable) {
            ActionListFile().CreateDefault(earlier.file("Belvane.acd"), "/earlier/");
        } else if (earlierList) {
            std::filesystem::create_directory(earlier.file("Belvane.acd"));
        }
        for (const auto &[dir, file, present, bytes] :
             {std::tuple {&earlier, "Belvane.cfg", earlierSettings, settingsImage(freePort())},
              {&files, "Belvane.acd", ownList, std::string("own list")},
              {&files, "Belvane.cfg", ownSettings, settingsImage(freePort(), 7)}}) {
            present ? writeFile(dir->file(file), bytes) : void();
        }
        const std::string before = readFile(files.file("Belvane.cfg"));
        Folders folders {ProgramFolder::fromNative(program.path().string()),
                         ProgramFolder::fromNative(files.path().string()),
                         {}};
        EXPECT_EQ(copyPerUserFiles(folders, earlier.path().string() + "/"), readable);
        EXPECT_EQ(folders.copiedFrom.empty(), !copied);
        EXPECT_EQ(std::filesystem::exists(files.file("Belvane.acd")), ownList || copied);
        if (copied) {
            EXPECT_EQ(readFile(files.file("Belvane.acd")), readFile(earlier.file("Belvane.acd")));
            EXPECT_EQ(readFile(files.file("Belvane.cfg")),
                      ownSettings ? before : readFile(earlier.file("Belvane.cfg")));
            Fixture f(folders);
            EXPECT_TRUE(f.message().contains(QStringLiteral("コピーしました"))
                        && f.message().contains(earlier.path().c_str()))
                << f.message().toStdString();
        }
    }
}

// Each alarm is listed newest first with its sender's address, sender, level, what became of it and
// whether the user saw it, and logged in one line with the same words; 200 are kept.
TEST(AlarmWindowTest, TheHistoryAndTheLogSayWhatBecameOfEachAlarm)
{
    // The line's stamp is local time, the zone's offset looked up once a minute: each moment is in a
    // minute of its own, in a zone ahead of UTC and one behind it.
    const QByteArray zone = qgetenv("TZ");
    for (const auto &[tz, ms] :
         {std::pair {"JST-9", 978307199999}, {"EST5", 978307200000}, {"EST5", 978307259999}}) {
        qputenv("TZ", tz);
        ::tzset();
        const QDateTime moment = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
        EXPECT_EQ(localStamp(moment), moment.toLocalTime().toString(Qt::ISODateWithMs)) << tz;
    }
    zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
    ::tzset();
    TempDir dir;
    const std::string program = dir.file("prog"), document = dir.file("notes.txt"),
                      bell = dir.file("bell.wav"), tune = dir.file("tune.mid"), gone = dir.file("gone");
    for (const std::string &file : {program, document, bell, tune}) {
        writeFile(file, "");
    }
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    const auto q = &QString::fromStdString;
    // Each level's action (enabled, file; none where the file is empty) and what becomes of it.
    const std::tuple<int, int, std::string, QString> rows[] = {
        {0, 1, bell, "サウンドを再生しました: " + q(bell)},
        {1, 1, program, "プログラムを起動しました: " + q(program)},
        {2, 1, document, "ファイルを開きました: " + q(document)},
        {3, 0, "", "何もしません: このレベルに動作が登録されていません"},
        {4, 0, program, "何もしません: このレベルの動作は無効です"},
        {5, 1, gone, "何もしません: ファイルが見つかりません: " + q(gone)},
        {6, 1, program + "\x81",
         "何もしません: 登録されたファイル名が cp932 の文字列ではありません: " + q(program)},
        {7, 1, program, "起動できません（アクセスが拒否されました）: " + q(program)},
        {8, 1, tune, "サウンドを再生できません（MIDI のサウンドフォントがありません）: " + q(tune)},
        {9, 0, "", "何もしません: レベルが動作ファイルリストの範囲（00～08）の外です"},
    };
    std::map<int, std::pair<int, std::string>> actions;
    for (const auto &[level, enabled, file, outcome] : rows) {
        file.empty() ? void() : void(actions[level] = {enabled, file});
    }
    writeActions(dir.file("Belvane.acd"), 9, actions);
    Fixture f(dir);
    for (const auto &[level, enabled, file, outcome] : rows) {
        SCOPED_TRACE(level);
        f.launcher.result = level == 7 ? LaunchResult::AccessDenied : LaunchResult::Started;
        f.mediaCommands.openResult = level == 8 ? MediaResult::NoSoundFont : MediaResult::Success;
        const QStringList logged =
            loggedLines([&, level = level] { f.alarm(level, std::to_string(level), "PC\x82\xa0"); });
        ASSERT_EQ(logged.size(), 1);
        EXPECT_TRUE(logged[0].endsWith(
            QStringLiteral(" 192.0.2.7 から 送信者 \"PCあ\" レベル %1: ").arg(level) + outcome))
            << logged[0].toStdString();
        const auto [listed, message] = historyShown(f);
        ASSERT_FALSE(listed.isEmpty());
        EXPECT_EQ(listed[0].section(u'|', 1),
                  QStringLiteral("192.0.2.7|PCあ|%1|").arg(level) + outcome + "|表示中");
        EXPECT_EQ(message, QString::number(level));
        // The tray says so until a sound plays again.
        EXPECT_EQ(f.tray()->toolTip().contains(QStringLiteral("サウンドフォント")), level >= 8);
        EXPECT_TRUE(listed.size() < 2 || listed[1].endsWith(QStringLiteral("|確認前に上書き"))) << "replaced";
    }
    // An alarm that arrives while the history is open joins it (the bound is the history's own test).
    f.window.Confirm();
    const QStringList listed = historyShown(f, [&] { f.alarm(99, "while open"); }).first;
    EXPECT_TRUE(listed[0].contains(QStringLiteral("|PC1|99|"))) << listed[0].toStdString();
    EXPECT_TRUE(listed[1].endsWith(QStringLiteral("|確認済み"))) << listed[1].toStdString();

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
QString entriesOf(const QWidget &menu)
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
// and opens its menu on its surface only (the Menu key and Shift+F10 open it too: the accessibility test
// on the real program), with the same entries, in the same order, as the tray icon's.
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
    for (const QPushButton *button : f.window.findChildren<QPushButton *>()) {
        EXPECT_EQ(button->isVisible(), button == f.confirmButton());
    }
    // Where a right click (or else F10) goes, and whether the menu opens.
    const std::tuple<QWidget *, bool, bool> rows[] = {
        {&f.window, true, true},
        {f.confirmButton(), true, false},
        {f.window.findChild<QLineEdit *>(), true, false},
        {f.confirmButton(), false, false},
    };
    for (const auto &[target, click, opens] : rows) {
        SCOPED_TRACE(target->metaObject()->className());
        QString entries;
        const bool opened = whileOpen(
            [&, w = target, c = click] {
                c ? QTest::mouseRelease(w, Qt::RightButton, {}, QPoint(10, 10))
                  : QTest::keyClick(w, Qt::Key_F10);
            },
            [&](QWidget *menu) { entries = entriesOf(*menu); });
        EXPECT_EQ(opened, opens);
        EXPECT_EQ(entries.toStdString(), opens ? menuEntries : "");
    }
    EXPECT_EQ(entriesOf(*f.tray()->contextMenu()).toStdString(), menuEntries);
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
            for (int i = 0; i < box.width() * box.height(); ++i) {
                const int lightness =
                    image.pixelColor(box.x() + i % box.width(), box.y() + i / box.width()).lightness();
                darkest = std::min(darkest, lightness);
                lightest = std::max(lightest, lightness);
            }
            EXPECT_LT(darkest, enabled ? 60 : 140) << box.y() << " enabled " << enabled;
            EXPECT_GT(lightest, 200) << "a light box";
        }
    }
    QApplication::setPalette(before);
}

// On X11 at 100 %, 125 %, 150 % and 200 % (CTest runs this once per QT_SCALE_FACTOR, on a black root
// window), the window on the screen keeps its rounded corners within half a device pixel of their
// circle, its texts fit their boxes, and the About dialog's icon is drawn at the screen's density.
TEST(AlarmWindowTest, SharpAtEveryScale)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        GTEST_SKIP() << "run on X11 at each scale";
    }
    TempDir dir;
    Fixture f(dir, true);
    ASSERT_TRUE(f.exposed);
    f.alarm(99, "12:00\r\n13:30\r\n15:00", "\x8co\x97\x9d\x95\x94 PC-07");
    const qreal ratio = f.window.devicePixelRatioF();
    SCOPED_TRACE(ratio);
    const QPoint origin = (QPointF(f.window.pos()) * ratio).toPoint();
    const QSize size = f.window.size() * ratio;
    QImage screen;
    ASSERT_TRUE(waitUntil([&] {
        screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        return screen.pixelColor(origin + QPoint(size.width() / 2, 8 * ratio)) == frameFillColour; // painted
    }));
    const qreal r = 10 * ratio;
    int wrong = 0;
    for (int i = 0; i < size.width() * size.height(); ++i) {
        // How far each pixel within two of a corner's square is outside its circle (inside: negative).
        const QPoint p(i % size.width(), i / size.width());
        const int dx = std::min(p.x(), size.width() - 1 - p.x()),
                  dy = std::min(p.y(), size.height() - 1 - p.y());
        const qreal out = dx >= r + 2 || dy >= r + 2 ? 0
            : dx < r && dy < r                       ? std::hypot(r - dx - 0.5, r - dy - 0.5) - r
                                                     : -r;
        const bool window = screen.pixelColor(origin + p) != Qt::black;
        wrong += (window && out >= 0.5) || (!window && out <= -0.5);
    }
    EXPECT_EQ(wrong, 0) << "pixels of the corners off their circle by half a device pixel or more";
    const auto *sender = f.window.findChild<QLineEdit *>();
    EXPECT_LE(sender->fontMetrics().height(), sender->contentsRect().height());
    EXPECT_EQ(f.window.findChild<QTextEdit *>()->verticalScrollBar()->maximum(), 0) << "three lines fit";
    const QFontMetrics button = f.confirmButton()->fontMetrics();
    EXPECT_LT(button.horizontalAdvance(f.confirmButton()->text()), f.confirmButton()->width() - 8);
    EXPECT_LE(button.height(), f.confirmButton()->height());

    AboutDialog about(&f.window);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    const QImage icon = about.iconView->grab().toImage(), sharp = bellImage(qRound(32 * ratio));
    ASSERT_EQ(icon.size(), sharp.size());
    int blurred = 0;
    for (int i = 0; i < sharp.width() * sharp.height(); ++i) {
        const QPoint p(i % sharp.width(), i / sharp.width());
        blurred +=
            qAlpha(sharp.pixel(p)) == 255 && std::abs(qGray(sharp.pixel(p)) - qGray(icon.pixel(p))) > 24;
    }
    EXPECT_EQ(blurred, 0) << "pixels of the bell not as drawn at this density";
}

TEST(AlarmWindowTest, QtsOwnTextsAreJapaneseAndX11IsTriedFirstAndHeadlessLast)
{
    ASSERT_TRUE(BelvaneApp::loadQtTranslation()) << "qt6-translations-l10n is needed";
    EXPECT_EQ(makeQuestionBox(nullptr, QStringLiteral("?"))->button(QMessageBox::Cancel)->text(),
              QStringLiteral("キャンセル"));

    const char *names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    const QByteArray saved[] = {qgetenv(names[0]), qgetenv(names[1]), qgetenv(names[2])};
    // Every list ends in the headless platform: a display that cannot be used is no reason to abort (with
    // none at all the headless fault test runs on it).
    const std::array<const char *, 4> rows[] = {{nullptr, ":0", "wayland-0", "xcb;wayland;offscreen"},
                                                {nullptr, ":0", nullptr, "xcb;offscreen"},
                                                {nullptr, "", "wayland-0", "wayland;offscreen"},
                                                {"wayland", ":0", "wayland-0", "wayland;offscreen"},
                                                {"xcb;offscreen", nullptr, nullptr, "xcb;offscreen"}};
    for (const auto &row : rows) {
        for (int i = 0; i < 3; ++i) {
            row[i] ? qputenv(names[i], row[i]) : qunsetenv(names[i]);
        }
        EXPECT_EQ(BelvaneApp::choosePlatform(), row[3]) << (row[0] ? row[0] : "-") << (row[1] ? row[1] : "-");
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
        const std::string image = port == -1 ? settingsImage(0) + "x" : settingsImage(port, at.x(), at.y());
        const QPoint moved = shownAt + QPoint(40, 15);
        const std::string saved = settingsImage(port == -1 ? 9912 : port, moved.x(), moved.y());
        writeFile(cfg, image);
        Fixture f(dir, true);
        if (!reason.isEmpty()) {
            const QString told = f.prompts.texts.join(u'|');
            EXPECT_FALSE(f.window.listening());
            EXPECT_EQ(f.prompts.count(UserPrompts::Icon::Warning), 1u) << told.toStdString();
            EXPECT_TRUE(f.tray()->toolTip().contains(QString::number(port)));
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
