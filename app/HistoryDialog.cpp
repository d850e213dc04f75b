#include "HistoryDialog.h"

#include "AlarmHistory.h"
#include "DialogUnits.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace belvane {

HistoryDialog::HistoryDialog(AlarmHistory &alarms, QWidget *parent)
    : QDialog(parent)
    , history(alarms)
{
    setWindowTitle(QStringLiteral("受信履歴"));
    auto *layout = new QVBoxLayout(this);
    auto *listLabel = new QLabel(
        QStringLiteral("起動してから受信したアラーム（新しい順、最大 %1 件）").arg(AlarmHistory::limit),
        this);
    layout->addWidget(listLabel);

    list = new QTreeView(this);
    nameField(listLabel, list);
    list->setModel(&history);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setTextElideMode(Qt::ElideRight);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionResizeMode(AlarmHistory::OutcomeColumn, QHeaderView::Stretch);
    for (const auto &[column, width] : {std::pair {AlarmHistory::ArrivedColumn, 150},
                                        {AlarmHistory::PeerColumn, 110},
                                        {AlarmHistory::SenderColumn, 120},
                                        {AlarmHistory::LevelColumn, 50},
                                        {AlarmHistory::SeenColumn, 120}}) {
        list->setColumnWidth(column, width);
    }
    layout->addWidget(list, 3);

    outcome = new QLabel(this);
    outcome->setWordWrap(true);
    outcome->setTextFormat(Qt::PlainText);
    outcome->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(outcome);
    auto *messageLabel = new QLabel(QStringLiteral("メッセージ"), this);
    layout->addWidget(messageLabel);
    message = new QPlainTextEdit(this);
    nameField(messageLabel, message);
    message->setReadOnly(true);
    message->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(message, 2);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("閉じる"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &HistoryDialog::showMessage);
    if (history.rowCount() > 0) {
        list->setCurrentIndex(history.index(0, 0));
    }
    resize(900, 480);
}

void HistoryDialog::showMessage()
{
    const QModelIndex current = list->currentIndex();
    if (!current.isValid()) {
        outcome->clear();
        message->clear();
        return;
    }
    const HistoryEntry &entry = history.entry(current.row());
    outcome->setText(QStringLiteral("結果: ") + entry.outcome);
    message->setPlainText(entry.message);
}

} // namespace belvane
