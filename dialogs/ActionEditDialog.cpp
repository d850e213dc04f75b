#include "ActionEditDialog.h"

#include "ActionPerformer.h"
#include "Cp932.h"
#include "Cp932LengthValidator.h"
#include "DialogUnits.h"
#include "EntryTexts.h"
#include "IntegerText.h"
#include "PosixFile.h"
#include "UserPrompts.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace belvane {

namespace {

constexpr std::size_t pathLimit = 255;
constexpr std::size_t nameLimit = 63;

const QString fileFilter = QStringLiteral(
    "音源(*.wav/*.mid/*.mp3)|*.wav; *.mid; *.mp3|実行(*.exe/*.scr)|*.exe; *.scr|全て(*.*)|*.*||");
const QString parameterFilter = QStringLiteral(
    "全て(*.*)|*.*|音源(*.wav/*.mid/*.mp3)|*.wav; *.mid; *.mp3|実行(*.exe/*.scr)|*.exe; *.scr||");

} // namespace

ActionEditDialog::ActionEditDialog(ActionPerformer &actionPerformer, UserPrompts &userPrompts,
                                   QWidget *parent)
    : QDialog(parent)
    , performer(actionPerformer)
    , prompts(userPrompts)
{
    setWindowTitle(QStringLiteral("動作ファイル登録編集"));
    const DialogLayout layout(this, {254, 151});
    const auto combo = [&](const char *objectName, QRect units) {
        auto *box = new QComboBox(this);
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        layout.place(box, objectName, units);
        // The template's height includes the drop-down list; the closed box keeps its own height.
        box->resize(box->width(), qMin(box->sizeHint().height(), box->height()));
        return box;
    };

    // In the template's order; the tab order follows the layout (below).
    QPushButton *ok = layout.button("ok", QStringLiteral("OK"), {200, 4, 48, 14});
    ok->setDefault(true);
    QPushButton *cancel = layout.button("cancel", QStringLiteral("ｷｬﾝｾﾙ"), {200, 24, 48, 14});
    levelEdit = layout.edit("levelNo", {72, 8, 28, 12});
    levelEdit->setReadOnly(true);
    levelEdit->setAlignment(Qt::AlignCenter);
    levelEdit->setFrame(false);
    levelEdit->setFocusPolicy(Qt::NoFocus);
    fileEdit = layout.edit("actionFile", {8, 80, 184, 14});
    QPushButton *browseFile = layout.button("browseFile", QStringLiteral("ファイル参照"), {200, 80, 48, 14});
    browseFile->setAccessibleDescription(QStringLiteral("動作ファイルパス名"));
    layout.label(QStringLiteral("登録番号(Level No)"), {8, 9, 59, 8}, levelEdit);
    layout.label(QStringLiteral("動作ファイルパス名"), {8, 68, 58, 8}, fileEdit);
    QPushButton *test = layout.button("test", QStringLiteral("動作テスト"), {8, 132, 76, 14});
    QPushButton *stop = layout.button("stop", QStringLiteral("停止(wav/mid)"), {88, 132, 68, 14});
    enabledCombo = combo("enabledMark", {92, 28, 28, 52});
    layout.label(QStringLiteral("設定の有効(●)/無効(…)"), {8, 32, 75, 8}, enabledCombo);
    windowSizeCombo = combo("windowSize", {200, 48, 48, 72});
    layout.label(QStringLiteral("画面サイズ"), {160, 52, 34, 8}, windowSizeCombo);
    nameEdit = layout.edit("name", {36, 48, 116, 14});
    layout.label(QStringLiteral("登録名"), {8, 52, 22, 8}, nameEdit);
    parametersEdit = layout.edit("parameters", {8, 108, 184, 14});
    layout.label(QStringLiteral("パラメータ"), {8, 96, 31, 8}, parametersEdit);
    workFolderEdit = layout.edit("workFolder", {200, 128, 48, 14});
    workFolderEdit->setVisible(false);
    workFolderEdit->setFocusPolicy(Qt::NoFocus);
    workFolderEdit->setAccessibleName(QStringLiteral("作業フォルダ"));
    QPushButton *browseParameter =
        layout.button("browseParameter", QStringLiteral("ファイル参照"), {200, 108, 50, 14});
    browseParameter->setAccessibleDescription(QStringLiteral("パラメータ"));
    // OK and Cancel first, as the template has them; then the fields and buttons as they are read, top
    // to bottom and left to right.
    chainTabOrder({ok, cancel, enabledCombo, nameEdit, windowSizeCombo, fileEdit, browseFile, parametersEdit,
                   browseParameter, test, stop});

    fileField = {fileEdit, &ActionEditDialog::actionFile, pathLimit, {}};
    nameField = {nameEdit, &ActionEditDialog::name, nameLimit, {}};
    parametersField = {parametersEdit, &ActionEditDialog::parameters, pathLimit, {}};
    workFolderField = {workFolderEdit, &ActionEditDialog::workFolder, pathLimit, {}};
    for (const TextField *field : {&fileField, &nameField, &parametersField, &workFolderField}) {
        new Cp932LengthValidator(field->edit, field->limit);
    }

    connect(ok, &QPushButton::clicked, this, &ActionEditDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &ActionEditDialog::reject);
    connect(browseFile, &QPushButton::clicked, this, &ActionEditDialog::BrowseFile);
    connect(browseParameter, &QPushButton::clicked, this, &ActionEditDialog::BrowseParameter);
    connect(test, &QPushButton::clicked, this, &ActionEditDialog::Test);
    connect(stop, &QPushButton::clicked, this, &ActionEditDialog::StopSound);
}

void ActionEditDialog::setVisible(bool visible)
{
    if (visible && !initialised) {
        initialised = true;
        Initialise();
    }
    QDialog::setVisible(visible);
}

void ActionEditDialog::Initialise()
{
    ShowFields();
    enabledCombo->clear();
    enabledCombo->addItems({disabledMarkText(), enabledMarkText()});
    windowSizeCombo->clear();
    windowSizeCombo->addItems({windowSizeName(0), windowSizeName(1), windowSizeName(2)});
    ShowFields();
}

void ActionEditDialog::ShowFields()
{
    const auto show = [this](TextField &field) {
        field.shown = ShownText::of(this->*field.member);
        field.edit->setText(field.shown.text);
    };
    show(fileField);
    levelEdit->setText(QString::number(levelNo));
    enabledShown = showInCombo(enabledCombo, enabledMark);
    windowSizeShown = showInCombo(windowSizeCombo, windowSizeText);
    show(nameField);
    show(parametersField);
    show(workFolderField);
}

bool ActionEditDialog::TakeFields()
{
    if (!takeText(fileField)) {
        return false;
    }
    const std::optional<std::int32_t> level = parseInteger(levelEdit->text());
    if (!level) {
        refuse(levelEdit, QStringLiteral("整数を入力してください。"));
        return false;
    }
    levelNo = *level;
    return takeCombo(enabledCombo, enabledMark, enabledShown)
        && takeCombo(windowSizeCombo, windowSizeText, windowSizeShown) && takeText(nameField)
        && takeText(parametersField) && takeText(workFolderField);
}

bool ActionEditDialog::takeText(TextField &field)
{
    const QString now = field.edit->text();
    const std::optional<std::string> bytes = field.shown.take(now);
    if (!bytes) {
        refuse(field.edit, unencodableTextMessage());
        return false;
    }
    if (bytes->size() > field.limit) {
        refuse(field.edit, QStringLiteral("%1 文字以内で入力してください。").arg(field.limit));
        return false;
    }
    this->*field.member = *bytes;
    field.shown = {now, *bytes};
    return true;
}

bool ActionEditDialog::takeCombo(QComboBox *combo, std::string &member, const ShownText &shown)
{
    const std::optional<std::string> bytes = shown.take(combo->currentText());
    if (!bytes) {
        refuse(combo, unencodableTextMessage());
        return false;
    }
    member = *bytes;
    return true;
}

void ActionEditDialog::refuse(QWidget *field, const QString &message)
{
    prompts.message(this, message, UserPrompts::Icon::Warning);
    field->setFocus();
    if (auto *edit = qobject_cast<QLineEdit *>(field)) {
        edit->selectAll();
    } else if (auto *box = qobject_cast<QComboBox *>(field); box && box->lineEdit()) {
        box->lineEdit()->selectAll();
    }
}

void ActionEditDialog::browse(TextField &field, const QString &filter)
{
    // What the user typed so far is taken first; a refused field is reported and the browse goes on.
    static_cast<void>(TakeFields());
    UserPrompts::FileRequest request;
    request.filter = filter;
    request.defaultSuffix = QStringLiteral("*");
    request.mustExist = true;
    const QString chosen = prompts.chooseFile(this, request);
    if (chosen.isEmpty()) {
        return;
    }
    const std::optional<std::string> bytes = cp932::fromNativePath(QFile::encodeName(chosen).toStdString());
    if (!bytes) {
        prompts.message(this, unencodableTextMessage(), UserPrompts::Icon::Warning);
        return;
    }
    // Only the browsed field is shown anew: a field left untaken after a refusal keeps what was typed.
    this->*field.member = *bytes;
    field.shown = ShownText::of(*bytes);
    field.edit->setText(field.shown.text);
}

void ActionEditDialog::BrowseFile()
{
    browse(fileField, fileFilter);
}

void ActionEditDialog::BrowseParameter()
{
    browse(parametersField, parameterFilter);
}

void ActionEditDialog::Test()
{
    static_cast<void>(TakeFields());
    if (enabledMark != cp932Text(enabledMarkText())) {
        prompts.message(this, QStringLiteral("設定の有効(●)/無効(…)が「無効(…)」になっています"),
                        UserPrompts::Icon::Warning);
        return;
    }
    if (!posix::exists(cp932::toNativePath(actionFile))) {
        prompts.message(this, QStringLiteral("ファイルが存在しません"), UserPrompts::Icon::Warning);
        return;
    }
    performer.PerformAction(static_cast<WindowHandle>(winId()), actionFile, parameters,
                            windowSizeCode(windowSizeText));
}

void ActionEditDialog::StopSound()
{
    performer.Stop();
}

void ActionEditDialog::accept()
{
    if (TakeFields()) {
        QDialog::accept();
    }
}

} // namespace belvane
