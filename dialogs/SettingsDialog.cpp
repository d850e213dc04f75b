#include "SettingsDialog.h"

#include "ActionEditDialog.h"
#include "ActionListFile.h"
#include "ActionPerformer.h"
#include "ControlText.h"
#include "Cp932.h"
#include "DialogUnits.h"
#include "EntryTexts.h"
#include "IntegerText.h"
#include "PosixFile.h"
#include "UserPrompts.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>

namespace belvane {

namespace {

enum Column {
    LevelColumn,
    EnabledColumn,
    NameColumn,
    FileColumn,
    ParametersColumn,
    SizeColumn,
    FolderColumn
};

constexpr std::array<int, 7> columnUnits = {5, 5, 15, 20, 20, 10, 20};
constexpr int bytesRole = Qt::UserRole;

std::string levelText(int row)
{
    std::array<char, 16> text {};
    std::snprintf(text.data(), text.size(), "%02d", row);
    return text.data();
}

// Cells keep the cp932 bytes they stand for beside their text, so a row goes back to the file as it came.
void setCell(QTreeWidgetItem *item, int column, const std::string &bytes)
{
    item->setText(column, cp932::toUnicode(bytes));
    item->setData(column, bytesRole, QByteArray::fromStdString(bytes));
}

void fillRow(QTreeWidgetItem *item, const std::array<std::string, 7> &cells)
{
    for (int column = 0; column < static_cast<int>(cells.size()); ++column) {
        setCell(item, column, cells[static_cast<std::size_t>(column)]);
    }
}

std::array<std::string, 7> cellsOf(int row, const ActionRecord &record)
{
    return {
        levelText(row),
        cp932Text(record.enabled == 1 ? enabledMarkText() : disabledMarkText()),
        fieldText(record.name),
        fieldText(record.actionFile),
        fieldText(record.parameters),
        cp932Text(windowSizeName(record.windowSize == 1 || record.windowSize == 2 ? record.windowSize : 0)),
        fieldText(record.workFolder)};
}

// A record from a row's texts: exact matches decide the two codes; texts too long for their field are
// cut without splitting a double-byte character.
ActionRecord recordOf(const std::array<std::string, 7> &cells)
{
    ActionRecord record;
    record.enabled = cells[EnabledColumn] == cp932Text(enabledMarkText()) ? 1 : 0;
    record.windowSize = windowSizeCode(cells[SizeColumn]);
    setFieldText(record.name, cells[NameColumn]);
    setFieldText(record.actionFile, cells[FileColumn]);
    setFieldText(record.parameters, cells[ParametersColumn]);
    setFieldText(record.workFolder, cells[FolderColumn]);
    return record;
}

const QString noRowText = QStringLiteral("項目が選択されていません");

} // namespace

std::array<int, 7> columnWidths(int clientWidth)
{
    const double unit = clientWidth * 0.014285714285714285;
    std::array<int, 7> widths {};
    for (std::size_t i = 0; i < widths.size(); ++i) {
        widths[i] = static_cast<int>(unit * columnUnits[i] + 0.5);
    }
    return widths;
}

SettingsDialog::SettingsDialog(std::string listFile, std::int32_t shownPort, ActionPerformer &actionPerformer,
                               UserPrompts &userPrompts, QWidget *parent)
    : QDialog(parent)
    , listPath(std::move(listFile))
    , port(shownPort)
    , performer(actionPerformer)
    , prompts(userPrompts)
{
    setWindowTitle(QStringLiteral("環境設定"));
    const DialogLayout layout(this, {227, 207});

    // In the template's order; the tab order follows the layout (below).
    QPushButton *ok = layout.button("ok", QStringLiteral("OK"), {172, 4, 50, 14});
    ok->setDefault(true);
    QPushButton *cancel = layout.button("cancel", QStringLiteral("ｷｬﾝｾﾙ"), {172, 21, 50, 14});
    portEdit = layout.edit("port", {40, 4, 30, 14});
    layout.label(QStringLiteral("ポート番号"), {6, 8, 32, 8}, portEdit);
    portEdit->setAlignment(Qt::AlignCenter);
    list = new QTreeWidget(this);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setSortingEnabled(false);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setAllColumnsShowFocus(true);
    list->header()->setStretchLastSection(false);
    list->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list->setHeaderLabels({QStringLiteral("No"), QStringLiteral("有"), QStringLiteral("登録名"),
                           QStringLiteral("動作ファイル"), QStringLiteral("パラメータ"),
                           QStringLiteral("大きさ"), QStringLiteral("作業フォルダ")});
    layout.place(list, "actionList", {4, 54, 220, 130});
    QPushButton *edit = layout.button("edit", QStringLiteral("編集"), {172, 188, 51, 14});
    QPushButton *test = layout.button("test", QStringLiteral("動作テスト"), {8, 189, 59, 14});
    QPushButton *stop = layout.button("stop", QStringLiteral("停止(wav/mid)"), {71, 189, 59, 14});
    layout.label(QStringLiteral("アクションファイル(動作ファイル) リスト"), {6, 40, 113, 8}, list);
    layout.label(QStringLiteral("※変更した場合は再起動要"), {74, 8, 81, 8});
    layout.label(QStringLiteral("※[参考]ポート番号候補 9912～9945 , 9954～9965"), {6, 24, 158, 8});
    // OK and Cancel first, as the template has them; then the fields and buttons as they are read, top
    // to bottom and left to right.
    chainTabOrder({ok, cancel, portEdit, list, test, stop, edit});

    connect(ok, &QPushButton::clicked, this, &SettingsDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &SettingsDialog::reject);
    connect(edit, &QPushButton::clicked, this, &SettingsDialog::Edit);
    connect(list, &QTreeWidget::itemDoubleClicked, this, &SettingsDialog::Edit);
    connect(test, &QPushButton::clicked, this, &SettingsDialog::Test);
    connect(stop, &QPushButton::clicked, this, &SettingsDialog::StopSound);
}

void SettingsDialog::setVisible(bool visible)
{
    if (visible && !initialised) {
        initialised = true;
        Initialise();
    }
    QDialog::setVisible(visible);
}

void SettingsDialog::Initialise()
{
    portEdit->setText(QString::number(port));
    modified = 0;
    ActionListFile file;
    file.OpenOrCreate(0, listPath);
    const std::array<int, 7> widths = columnWidths(list->contentsRect().width());
    for (int column = 0; column < static_cast<int>(widths.size()); ++column) {
        list->setColumnWidth(column, widths[static_cast<std::size_t>(column)]);
    }
    const std::int32_t n = file.BeginRead();
    list->clear();
    // The header's count is only a claim: rows stop where the file's records end, so a count far beyond
    // the file cannot make the dialog build (and OK write back) billions of rows.
    for (std::int32_t i = 0; i < n; ++i) {
        ActionRecord record;
        if (file.ReadRecord(-1, record) <= 0) {
            break;
        }
        auto *item = new QTreeWidgetItem(list);
        fillRow(item, cellsOf(i, record));
    }
    file.Close();
}

int SettingsDialog::selectionMark() const
{
    const QItemSelectionModel *selection = list->selectionModel();
    if (!selection->hasSelection()) {
        return -1;
    }
    const QModelIndex current = list->currentIndex();
    return current.isValid() ? current.row() : selection->selectedRows().value(0).row();
}

std::array<std::string, 7> SettingsDialog::rowCells(int row) const
{
    std::array<std::string, 7> cells;
    const QTreeWidgetItem *item = list->topLevelItem(row);
    for (int column = 0; column < static_cast<int>(cells.size()); ++column) {
        cells[static_cast<std::size_t>(column)] = item->data(column, bytesRole).toByteArray().toStdString();
    }
    return cells;
}

void SettingsDialog::Edit()
{
    const int row = selectionMark();
    if (row < 0) {
        prompts.message(this, noRowText, UserPrompts::Icon::Warning);
        return;
    }
    const std::array<std::string, 7> cells = rowCells(row);
    ActionEditDialog dialog(performer, prompts, this);
    dialog.levelNo = row;
    dialog.enabledMark = cells[EnabledColumn];
    dialog.name = cells[NameColumn];
    dialog.actionFile = cells[FileColumn];
    dialog.parameters = cells[ParametersColumn];
    dialog.windowSizeText = cells[SizeColumn];
    dialog.workFolder = cells[FolderColumn];
    if (runModal(dialog) != QDialog::Accepted) {
        return;
    }
    fillRow(list->topLevelItem(row),
            {levelText(row), dialog.enabledMark, dialog.name, dialog.actionFile, dialog.parameters,
             dialog.windowSizeText, dialog.workFolder});
    modified = 1;
}

void SettingsDialog::Test()
{
    const int row = selectionMark();
    if (row < 0) {
        prompts.message(this, noRowText, UserPrompts::Icon::Warning);
        return;
    }
    const std::array<std::string, 7> cells = rowCells(row);
    if (cells[EnabledColumn] != cp932Text(enabledMarkText())) {
        prompts.message(this, QStringLiteral("設定の有効(●)/無効(…)が「無効(…)」になっています"),
                        UserPrompts::Icon::Warning);
        return;
    }
    if (!posix::exists(cp932::toNativePath(cells[FileColumn]))) {
        prompts.message(this, QStringLiteral("ファイルが存在しません"), UserPrompts::Icon::Warning);
        return;
    }
    performer.PerformAction(static_cast<WindowHandle>(winId()), cells[FileColumn], cells[ParametersColumn],
                            windowSizeCode(cells[SizeColumn]));
}

void SettingsDialog::StopSound()
{
    performer.Stop();
}

bool SettingsDialog::writeRows()
{
    const int rows = list->topLevelItemCount();
    ActionListFile file;
    file.OpenOrCreate(0, listPath);
    const std::int32_t n = file.BeginWrite();
    bool written = rows == 0 || n >= 0;
    // Never more records than the dialog shows: the records beyond them stay as the file holds them.
    const std::int32_t count = std::min<std::int32_t>(n, rows);
    for (std::int32_t i = 0; written && i < count; ++i) {
        written =
            file.WriteRecord(-1, recordOf(rowCells(i))) == static_cast<std::int32_t>(ActionRecord::size);
    }
    file.Close();
    return written;
}

void SettingsDialog::Accept()
{
    // The rows were the only copy of the user's edits: a list that could not take them is reported
    // and the dialog stays open, rather than closing as if they were saved.
    if (!writeRows()) {
        prompts.message(this, QStringLiteral("動作ファイルリストを保存できませんでした。"),
                        UserPrompts::Icon::Warning);
        return;
    }
    const std::optional<std::int32_t> value = parseInteger(portEdit->text());
    // Port 0 would have the system pick some free port at each start, which no sender could know.
    if (!value || *value == 0) {
        prompts.message(this,
                        value ? QStringLiteral("ポート番号 0 では受信できません。")
                              : QStringLiteral("整数を入力してください。"),
                        UserPrompts::Icon::Warning);
        portEdit->setFocus();
        portEdit->selectAll();
        return;
    }
    port = *value;
    QDialog::accept();
}

void SettingsDialog::Cancel()
{
    if (modified == 1) {
        const QString question =
            QStringLiteral("登録内容の変更がなされてますが、[キャンセル]ボタンで戻ろうとしています。\n\n")
            + QStringLiteral(" \u3000\u3000\u3000\u3000[OK]・・・ "
                             "このままダイアログを閉じ、指示にしたがいます。(変更は反映されません)\n")
            + QStringLiteral("[キャンセル]・・・ もう一度設定ダイアログに戻ります。");
        if (!prompts.question(this, question)) {
            return;
        }
    }
    QDialog::reject();
}

void SettingsDialog::accept()
{
    Accept();
}

void SettingsDialog::reject()
{
    Cancel();
}

} // namespace belvane
