#include "AlarmWindow.h"
#include "ActionListFile.h"
#include "ActionPerformer.h"
#include "AlarmReceiver.h"
#include "BelvaneApp.h"
#include "CommandMenu.h"
#include "Cp932.h"
#include "FakeServices.h"
#include "ProgramRun.h"
#include "ScriptedPrompts.h"
#include "SettingsFile.h"
#include "SystemPrompts.h"
#include "TempDir.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace belvane {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

const QString notice = QStringLiteral("【継続使用されているユーザの方へのお知らせ】\n\n"
                                      "バージョンアップに伴い登録動作ファイルを初期状態に戻しました。\n"
                                      "環境設定画面より動作ファイルの確認/再登録願います。");

// One alarm window on a temporary program folder, over recording services and scripted prompts.
struct Fixture
{
    explicit Fixture(const TempDir &dir)
        : window(ProgramFolder::FromNative(dir.path().string()), performer, prompts)
    { }
    testing::RecordingServices services;
    ActionPerformer performer {services.wavePlayer, services.mediaCommands, services.launcher};
    testing::ScriptedPrompts prompts;
    AlarmWindow window;
};

void SendMouse(QWidget &widget, QEvent::Type type, QPoint local, Qt::MouseButton button,
               Qt::MouseButtons held)
{
    QMouseEvent event(type, QPointF(local), QPointF(widget.mapToGlobal(local)), button, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

TEST(AlarmWindowTest, FirstStartCreatesTheDefaultListAndTellsSoOnlyOnce)
{
    TempDir dir;
    writeFile(dir.file("Belvane.cfg"), testing::SettingsImage(0).substr(1)); // 1035 bytes: ignored
    {
        Fixture f(dir);
        f.window.Initialise();
        EXPECT_EQ(f.window.messageBox->toPlainText(), notice);
        EXPECT_TRUE(f.window.senderLine->text().startsWith(QStringLiteral("コンピュータ名: [")));
        EXPECT_EQ(f.window.settings.windowX, 52);
        EXPECT_EQ(f.window.settings.port, 9912);
        EXPECT_EQ(readFile(dir.file("Belvane.acd")).size(), 44824u);
        EXPECT_EQ(readFile(dir.file("Belvane.cfg")).size(), 1035u) << "a start never writes the settings";
        f.window.DestroyWindow();
    }
    Fixture again(dir);
    again.window.Initialise();
    EXPECT_EQ(again.window.messageBox->toPlainText(), QString());
    ActionListFile list;
    ActionRecord level0;
    ASSERT_EQ(list.OpenOrCreate(0, dir.file("Belvane.acd")), 50);
    ASSERT_EQ(list.FetchRecord(0, level0), 896);
    EXPECT_EQ(fieldText(level0.actionFile), dir.path().string() + "/Malarm.wav");
    again.window.DestroyWindow();
}

TEST(AlarmWindowTest, ShapeGeometryAndColours)
{
    TempDir dir;
    writeFile(dir.file("Belvane.cfg"), testing::SettingsImage(0, 300, 200));
    Fixture f(dir);
    f.window.Initialise();
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));

    EXPECT_EQ(f.window.geometry(), QRect(300, 200, 500, 155));
    EXPECT_EQ(f.window.mask(), AlarmWindow::WindowRegion());
    struct Point
    {
        int x, y;
        bool inside;
    };
    for (const Point &p :
         {Point {0, 0, false}, Point {499, 154, false}, Point {2, 2, false}, Point {10, 0, true},
          Point {0, 10, true}, Point {4, 4, true}, Point {250, 77, true}, Point {499, 77, true}}) {
        EXPECT_EQ(f.window.mask().contains(QPoint(p.x, p.y)), p.inside) << p.x << "," << p.y;
    }
    EXPECT_EQ(f.window.senderLine->geometry(), QRect(20, 20, 460, 20));
    EXPECT_EQ(f.window.messageBox->geometry(), QRect(20, 45, 460, 70));
    EXPECT_EQ(f.window.confirmButton->geometry(), QRect(200, 120, 100, 24));
    EXPECT_FALSE(f.window.dispatchButton->isVisible());
    EXPECT_TRUE(f.window.confirmButton->hasFocus());

    const QImage image = f.window.grab().toImage();
    EXPECT_EQ(image.pixelColor(1, 77), QColor(130, 130, 155)) << "inner half of the outline";
    EXPECT_EQ(image.pixelColor(8, 77), QColor(240, 240, 255)) << "frame fill";
    EXPECT_EQ(image.pixelColor(250, 148), QColor(240, 240, 255));
    EXPECT_EQ(image.pixelColor(476, 30), QColor(255, 255, 200)) << "sender line";
    EXPECT_EQ(image.pixelColor(30, 100), QColor(255, 255, 255)) << "message box";
    f.window.DestroyWindow();
}

TEST(AlarmWindowTest, BoxesThroughAlarmConfirmAndShowAgain)
{
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    f.window.TrayHostChanged(true);
    f.window.Confirm();
    f.window.RunCommand(commandShow);
    EXPECT_TRUE(f.window.isVisible());
    // The notice counts as a message.
    EXPECT_EQ(f.window.senderLine->text(), QStringLiteral("すでに確認済みメッセージです"));

    struct Step
    {
        const char *alarm; // nullptr: confirm, then show
        QString sender;
        QString message;
        bool visible;
    };
    const Step steps[] = {
        {"#Sender=\x82\xa0PC\n#Message=<b>Tea</b>\n#Level=99\n", QStringLiteral("あPC"),
         QStringLiteral("<b>Tea</b>"), true},
        {nullptr, QStringLiteral("すでに確認済みメッセージです"), QStringLiteral("<b>Tea</b>"), true},
        {"#Sender=PC2\n#Message=\n#Level=1\n", QStringLiteral("PC2"), QString(), true},
        {nullptr, QStringLiteral("新しいメッセージは届いていません"), QString(), true},
    };
    for (const Step &step : steps) {
        if (step.alarm) {
            f.window.receivedText = step.alarm;
            f.window.dispatchButton->click();
            EXPECT_TRUE(f.window.receivedText.empty());
        } else {
            f.window.Confirm();
            EXPECT_FALSE(f.window.isVisible());
            f.window.RunCommand(commandShow);
        }
        EXPECT_EQ(f.window.isVisible(), step.visible);
        EXPECT_EQ(f.window.senderLine->text(), step.sender);
        EXPECT_EQ(f.window.messageBox->toPlainText(), step.message) << "shown as plain text";
    }
    f.window.DestroyWindow();
}

TEST(AlarmWindowTest, APositionOffEveryScreenShowsTheWindowAtTheDefaultWithoutSaving)
{
    struct Row
    {
        int x, y;
        QPoint shownAt;
    };
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    for (const Row &row : {Row {300, 200, {300, 200}}, Row {-490, 0, {-490, 0}}, Row {-500, 0, {52, 52}},
                           Row {screen.right() + 1, 10, {52, 52}}, Row {5000, 5000, {52, 52}}}) {
        TempDir dir;
        const std::string saved = testing::SettingsImage(0, row.x, row.y);
        writeFile(dir.file("Belvane.cfg"), saved);
        Fixture f(dir);
        f.window.Initialise();
        EXPECT_EQ(f.window.pos(), row.shownAt) << row.x << "," << row.y;
        EXPECT_EQ(readFile(dir.file("Belvane.cfg")), saved);
        f.window.DestroyWindow();
    }
}

TEST(AlarmWindowTest, ConfirmHidesOnlyWhenATrayHostLeadsBackAndFollowsTheHost)
{
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    f.window.show();
    enum class State { shown, minimised, hidden };
    const auto state = [&] {
        return !f.window.isVisible() ? State::hidden
            : f.window.isMinimized() ? State::minimised
                                     : State::shown;
    };
    struct Step
    {
        std::function<void()> act;
        State expected;
        const char *what;
    };
    const Step steps[] = {
        {[&] { f.window.TrayHostChanged(false); }, State::shown,
         "no host: nothing changes on a shown window"},
        {[&] { f.window.Confirm(); }, State::minimised, "confirmed without a host"},
        {[&] { f.window.TrayHostChanged(true); }, State::hidden, "a host came: the icon leads back now"},
        {[&] { f.window.TrayHostChanged(false); }, State::minimised, "the host went: back to the taskbar"},
        {[&] { f.window.RunCommand(commandShow); }, State::shown, "restored"},
        {[&] { f.window.TrayHostChanged(true); }, State::shown, "a shown window stays shown"},
        {[&] { f.window.Confirm(); }, State::hidden, "confirmed with a host"},
    };
    for (const Step &step : steps) {
        step.act();
        EXPECT_EQ(state(), step.expected) << step.what;
    }
    f.window.DestroyWindow();
}

TEST(AlarmWindowTest, TheMessageBoxShowsAMessageCentredAndCutAtItsBound)
{
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    std::string lines;
    for (int i = 0; i < 3000; ++i) {
        lines += "a\n";
    }
    std::string japanese;
    for (int i = 0; i < 65536; ++i) {
        japanese += "\x82\xa0";
    }
    const struct
    {
        std::string message;
        QString shown;
    } cases[] = {
        {"Tea", QStringLiteral("Tea")},
        {lines, QString::fromStdString(lines.substr(0, 4000)) + QStringLiteral("…")},
        {lines.substr(0, 3999), QString::fromStdString(lines.substr(0, 3999))}, // 2,000 lines
        {std::string(70000, 'x'), QString(65536, u'x') + QStringLiteral("…")},
        {japanese, QString(65536, u'あ')},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message.size());
        f.window.receivedText = "#Sender=PC\n#Message=" + c.message + "\n#Level=99\n";
        f.window.dispatchButton->click();
        EXPECT_EQ(f.window.messageText, c.message) << "kept whole";
        EXPECT_EQ(f.window.messageBox->toPlainText(), c.shown);
    }
    f.window.receivedText = "#Sender=PC\n#Message=Tea\r\nTime\n#Level=99\n";
    f.window.dispatchButton->click();
    QTextDocument &document = *f.window.messageBox->document();
    document.documentLayout()->documentSize(); // lays it out
    for (QTextBlock block = document.firstBlock(); block.isValid(); block = block.next()) {
        EXPECT_GT(block.layout()->lineAt(0).cursorToX(0), 150) << "centred: " << block.text().toStdString();
    }
    f.window.DestroyWindow();
}

TEST(AlarmWindowTest, RightReleaseOpensTheMenuOnTheSurfaceOnly)
{
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    struct Row
    {
        QWidget *target;
        QPoint at;
        bool opens;
    };
    for (const Row &row : {Row {&f.window, {450, 140}, true}, Row {f.window.confirmButton, {50, 12}, false},
                           Row {f.window.senderLine, {100, 10}, false}}) {
        QStringList opened;
        QTimer::singleShot(200, [&] {
            if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                for (const QAction *action : menu->actions()) {
                    opened << action->text();
                }
                menu->close();
            }
        });
        QTest::mouseRelease(row.target, Qt::RightButton, {}, row.at);
        QTest::qWait(300);
        EXPECT_EQ(!opened.isEmpty(), row.opens) << row.target->metaObject()->className();
    }
    f.window.DestroyWindow();
}

TEST(AlarmWindowTest, ADarkThemeLeavesTheTextsDarkOnTheLightBoxes)
{
    const QPalette before = QApplication::palette();
    QPalette dark(QColor(45, 45, 48)); // light text on dark grey, as dark desktop themes have it
    dark.setColor(QPalette::Highlight, QColor(255, 160, 0));
    QApplication::setPalette(dark);
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    f.window.show();
    f.window.messageBox->setPlainText(QStringLiteral("会議は 13:30 から"));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    // The darkest pixel of a box's text, and the box's own colour beside it.
    const auto darkest = [](const QImage &image, const QRect &area) {
        int lightness = 255;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                lightness = std::min(lightness, image.pixelColor(x, y).lightness());
            }
        }
        return lightness;
    };
    for (const bool enabled : {true, false}) { // a dialog that is open disables the window
        f.window.setEnabled(enabled);
        const QImage image = f.window.grab().toImage();
        const int limit = enabled ? 60 : 140;
        EXPECT_LT(darkest(image, {40, 23, 420, 14}), limit) << "sender line, enabled " << enabled;
        EXPECT_LT(darkest(image, {40, 48, 400, 20}), limit) << "message box";
        EXPECT_LT(darkest(image, {210, 124, 80, 16}), limit) << "confirm button";
        EXPECT_EQ(image.pixelColor(476, 30), QColor(255, 255, 200));
        EXPECT_EQ(image.pixelColor(30, 100), QColor(255, 255, 255));
    }
    f.window.setEnabled(true);
    f.window.DestroyWindow();
    QApplication::setPalette(before);
}

TEST(AlarmWindowTest, QtsOwnTextsAreJapanese)
{
    ASSERT_TRUE(BelvaneApp::LoadQtTranslation()) << "qt6-translations-l10n is needed";
    const auto box = MakeQuestionBox(nullptr, QStringLiteral("?"));
    EXPECT_EQ(box->button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
    const auto dialog = MakeFileDialog(nullptr, {});
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->show();
    QStringList texts;
    for (const QLabel *label : dialog->findChildren<QLabel *>()) {
        texts << label->text();
    }
    for (const QAbstractButton *button : dialog->findChild<QDialogButtonBox *>()->buttons()) {
        texts << button->text();
    }
    for (const char *text : {"ファイル名(&N):", "開く(&O)", "キャンセル"}) {
        EXPECT_TRUE(texts.contains(QString::fromUtf8(text)))
            << text << " in " << texts.join(u'|').toStdString();
    }
}

TEST(AlarmWindowTest, X11IsChosenWhenBothDisplaysAreThere)
{
    struct Row
    {
        const char *platform, *display, *wayland;
        const char *chosen;
    };
    const Row rows[] = {
        {nullptr, ":0", "wayland-0", "xcb"},      {nullptr, ":0", nullptr, nullptr},
        {nullptr, nullptr, "wayland-0", nullptr}, {nullptr, nullptr, nullptr, "offscreen"},
        {"wayland", ":0", "wayland-0", nullptr},  {nullptr, "", "wayland-0", nullptr},
    };
    const QByteArray saved[] = {qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"), qgetenv("WAYLAND_DISPLAY")};
    const char *names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
    for (const Row &row : rows) {
        const char *values[] = {row.platform, row.display, row.wayland};
        for (int i = 0; i < 3; ++i) {
            values[i] ? qputenv(names[i], values[i]) : qunsetenv(names[i]);
        }
        const char *chosen = BelvaneApp::ChoosePlatform();
        EXPECT_STREQ(chosen, row.chosen)
            << (row.display ? row.display : "-") << " " << (row.wayland ? row.wayland : "-");
    }
    for (int i = 0; i < 3; ++i) {
        qputenv(names[i], saved[i]);
    }
}

TEST(AlarmWindowTest, DraggingSavesThePositionOnceAndOnlyWhenItChanged)
{
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    f.window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.window));
    const std::string cfg = dir.file("Belvane.cfg");

    SendMouse(f.window, QEvent::MouseButtonPress, {100, 140}, Qt::LeftButton, Qt::LeftButton);
    SendMouse(f.window, QEvent::MouseButtonRelease, {100, 140}, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(std::filesystem::exists(cfg)) << "a click without movement writes nothing";

    SendMouse(f.window, QEvent::MouseButtonPress, {100, 140}, Qt::LeftButton, Qt::LeftButton);
    SendMouse(f.window, QEvent::MouseMove, {130, 150}, Qt::NoButton, Qt::LeftButton);
    EXPECT_FALSE(std::filesystem::exists(cfg)) << "nothing is written before the release";
    // Slipping off the window: the move is not followed and the release there does not end the drag.
    SendMouse(f.window, QEvent::MouseMove, {900, 900}, Qt::NoButton, Qt::LeftButton);
    SendMouse(f.window, QEvent::MouseButtonRelease, {900, 900}, Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(f.window.dragging);
    EXPECT_EQ(f.window.pos(), QPoint(82, 62));
    SendMouse(f.window, QEvent::MouseMove, {110, 145}, Qt::NoButton, Qt::NoButton);
    SendMouse(f.window, QEvent::MouseButtonRelease, {110, 145}, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(f.window.dragging);
    ASSERT_EQ(f.window.pos(), QPoint(92, 67)) << "follows the pointer again once it is back";

    SettingsRecord saved;
    ASSERT_TRUE(LoadSettings(cfg, saved).ok);
    EXPECT_EQ(saved.windowX, 92);
    EXPECT_EQ(saved.windowY, 67);
    // The default port may be taken by another program: only the settings file's reports count.
    EXPECT_EQ(f.prompts.count(UserPrompts::Icon::Stop), 0u);
    f.window.DestroyWindow();
}

TEST(AlarmWindowTest, EveryWayOfEndingAsksToQuit)
{
    TempDir dir;
    Fixture f(dir);
    f.window.Initialise();
    f.window.TrayHostChanged(true);
    f.window.show();
    QSignalSpy quit(&f.window, &AlarmWindow::quitRequested);
    QTest::keyClick(&f.window, Qt::Key_Escape);
    EXPECT_EQ(quit.count(), 1);
    f.window.close();
    EXPECT_EQ(quit.count(), 2);
    EXPECT_TRUE(f.window.isVisible()) << "closing only asks; the run ends the window";
    QTest::keyClick(f.window.senderLine, Qt::Key_Return);
    EXPECT_EQ(quit.count(), 3);
    f.window.RunCommand(commandQuit);
    EXPECT_EQ(quit.count(), 4);
    f.window.confirmButton->setFocus();
    QTest::keyClick(f.window.confirmButton, Qt::Key_Return);
    EXPECT_EQ(quit.count(), 4) << "Enter on the button confirms";
    EXPECT_FALSE(f.window.isVisible());
    f.window.DestroyWindow();
}

TEST(AlarmWindowTest, AnOpenConnectionIsDispatchedAtTheEnd)
{
    TempDir dir;
    writeFile(dir.file("Belvane.cfg"), testing::SettingsImage(0));
    Fixture f(dir);
    f.window.Initialise();
    {
        ActionListFile list;
        ASSERT_EQ(list.OpenOrCreate(0, dir.file("Belvane.acd")), 50);
        ActionRecord record;
        record.enabled = 1;
        setFieldText(record.actionFile, dir.file("Belvane.acd"));
        ASSERT_EQ(list.BeginWrite(), 50);
        ASSERT_EQ(list.WriteRecord(4, record), 896);
        list.Close();
    }
    f.window.Confirm();
    QTcpSocket sender;
    sender.connectToHost(QHostAddress::LocalHost, f.window.receiver->boundPort());
    ASSERT_TRUE(sender.waitForConnected(5000));
    sender.write("#Sender=late\n#Message=still open\n#Level=4\n");
    ASSERT_TRUE(sender.waitForBytesWritten(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.window.receiver->connectionOpen(); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f.window.receiver->receivedText().empty(); }, 5000));
    f.window.DestroyWindow();
    EXPECT_EQ(f.window.senderLine->text(), QStringLiteral("late"));
    ASSERT_EQ(f.services.journal.calls.size(), 1u);
    EXPECT_EQ(f.services.journal.calls[0], "open " + dir.file("Belvane.acd") + " [] 5");
}

TEST(AlarmWindowTest, APortThatCannotBeListenedOnIsReportedAndTheTrayIconSaysSo)
{
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::AnyIPv4, 0));
    struct Case
    {
        std::int32_t port;
        const char *reason; // empty when the port is usable
    };
    for (const Case &c :
         {Case {0, ""}, Case {other.serverPort(), "ほかのプログラムがこのポートを使っています"},
          Case {70000, "TCP のポート番号（0～65535）ではありません"}}) {
        TempDir dir;
        writeFile(dir.file("Belvane.cfg"), testing::SettingsImage(c.port));
        Fixture f(dir);
        f.window.Initialise();
        const QString port = QString::number(c.port);
        if (*c.reason == '\0') {
            EXPECT_TRUE(f.prompts.messages.empty());
            EXPECT_EQ(f.window.trayIcon->toolTip(), QStringLiteral("Belvane"));
        } else {
            ASSERT_EQ(f.prompts.messages.size(), 1u) << c.port;
            const auto &shown = f.prompts.messages[0];
            EXPECT_EQ(shown.icon, UserPrompts::Icon::Warning);
            EXPECT_TRUE(shown.text.contains(QStringLiteral("ポート ") + port)) << shown.text.toStdString();
            EXPECT_TRUE(shown.text.contains(QString::fromUtf8(c.reason))) << shown.text.toStdString();
            EXPECT_TRUE(shown.text.contains(QStringLiteral("「設定」"))) << "says where to change it";
            EXPECT_EQ(f.window.trayIcon->toolTip(),
                      QStringLiteral("Belvane - 受信していません（ポート %1）").arg(port));
        }
        f.window.DestroyWindow();
    }
}

} // namespace
} // namespace belvane
