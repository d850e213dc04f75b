#include "ActionEditDialog.h"
#include "ActionListFile.h"
#include "ActionPerformer.h"
#include "AlarmHistory.h"
#include "Cp932.h"
#include "FakeServices.h"
#include "HistoryDialog.h"
#include "ScriptedPrompts.h"
#include "SettingsDialog.h"
#include "TempDir.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>

#include <cstdio>

// Renders the settings dialog, the action edit dialog and the history with sample entries into PNG files, for
// the documentation. Run under an X server (xvfb-run -a build/tools/screenshots/dialog_screenshots docs).
namespace {

using namespace belvane;

std::string sjis(const char *text)
{
    return cp932::fromUnicode(QString::fromUtf8(text)).value();
}

bool capture(QWidget &widget, const QString &path)
{
    widget.move(40, 40);
    widget.show();
    if (!QTest::qWaitForWindowExposed(&widget)) {
        return false;
    }
    QTest::qWait(200); // let the first paint reach the screen
    const QRect area = widget.frameGeometry();
    const QPixmap shot =
        QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    return shot.save(path, "PNG");
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    testing::TempDir dir;
    testing::RecordingServices services;
    ActionPerformer performer(services.wavePlayer, services.mediaCommands, services.launcher);
    testing::ScriptedPrompts prompts;

    const std::string listPath = dir.file(ActionListFile::fileName);
    ActionListFile list;
    list.CreateDefault(listPath, "/opt/belvane/");
    list.OpenOrCreate(0, listPath);
    list.BeginWrite();
    ActionRecord record;
    record.enabled = 1;
    record.windowSize = 1;
    setFieldText(record.name, sjis("夜間警報"));
    setFieldText(record.actionFile, "/usr/bin/xmessage");
    setFieldText(record.parameters, sjis("-center 夜間の警報です"));
    list.WriteRecord(2, record);
    record.enabled = 0;
    record.windowSize = 2;
    setFieldText(record.name, sjis("定時連絡"));
    setFieldText(record.actionFile, "/home/share/teiji.mid");
    record.parameters.fill('\0');
    list.WriteRecord(3, record);
    list.Close();

    SettingsDialog settings(listPath, 9912, performer, prompts, nullptr);
    settings.show();
    auto *rows = settings.findChild<QTreeWidget *>(QStringLiteral("actionList"));
    rows->setCurrentItem(rows->topLevelItem(2));
    const bool settingsDone = capture(settings, folder + QStringLiteral("/settings-dialog.png"));
    settings.hide();

    ActionEditDialog edit(performer, prompts, nullptr);
    edit.levelNo = 2;
    edit.enabledMark = sjis("●");
    edit.windowSizeText = sjis("最小化");
    edit.name = sjis("夜間警報");
    edit.actionFile = "/usr/bin/xmessage";
    edit.parameters = sjis("-center 夜間の警報です");
    const bool editDone = capture(edit, folder + QStringLiteral("/action-edit-dialog.png"));
    edit.hide();

    AlarmHistory history;
    const QDateTime noon(QDate(2026, 12, 8), QTime(12, 0));
    const auto add = [&](int minutes, const char *peer, const char *sender, const char *message, int level,
                         AlarmOutcome outcome) {
        HistoryEntry entry;
        entry.arrived = noon.addSecs(minutes * 60);
        entry.peer = QString::fromUtf8(peer);
        entry.sender = QString::fromUtf8(sender);
        entry.message = QString::fromUtf8(message);
        entry.level = level;
        entry.outcome = describeOutcome(outcome);
        history.add(entry);
    };
    using Kind = AlarmOutcome::Kind;
    add(0, "192.168.10.21", "経理部PC", "お昼です", 0,
        {Kind::Played, "/opt/belvane/Malarm.wav", MediaResult::Success, 50});
    history.confirmed();
    add(30, "192.168.10.34", "総務PC01", "会議室Aの予約時間です\n資料をお持ちください", 2,
        {Kind::Started, "/usr/bin/xmessage", LaunchResult::Started, 50});
    add(31, "192.168.10.34", "総務PC01", "定時連絡", 3, {Kind::Disabled, "/home/share/teiji.mid", {}, 50});
    add(45, "192.168.10.52", "開発サーバ", "バックアップが終わりました", 7,
        {Kind::Missing, "/home/share/done.wav", {}, 50});
    add(58, "192.168.10.21", "経理部PC", "振込の締め切り 15 分前です", 62, {Kind::OutsideList, "", {}, 50});
    HistoryDialog historyDialog(history, nullptr);
    const bool historyDone = capture(historyDialog, folder + QStringLiteral("/history-dialog.png"));
    if (!settingsDone || !editDone || !historyDone) {
        std::fprintf(stderr, "could not capture the dialogs (is an X server running?)\n");
        return 1;
    }
    return 0;
}
