#include "SystemPrompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace belvane {

namespace {

QMessageBox::Icon boxIcon(UserPrompts::Icon icon)
{
    switch (icon) {
    case UserPrompts::Icon::Information:
        return QMessageBox::Information;
    case UserPrompts::Icon::Stop:
        return QMessageBox::Critical;
    case UserPrompts::Icon::Warning:
        break;
    }
    return QMessageBox::Warning;
}

// Texts carry CR LF line ends as the files do; the box shows plain line breaks.
QString displayed(const QString &text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

std::unique_ptr<QMessageBox> makeBox(QWidget *parent, const QString &text, QMessageBox::Icon icon,
                                     QMessageBox::StandardButtons buttons)
{
    auto box = std::make_unique<QMessageBox>(icon, programTitle, displayed(text), buttons, parent);
    box->setTextFormat(Qt::PlainText);
    box->setDefaultButton(QMessageBox::Ok);
    return box;
}

} // namespace

std::unique_ptr<QMessageBox> makeMessageBox(QWidget *parent, const QString &text, UserPrompts::Icon icon)
{
    return makeBox(parent, text, boxIcon(icon), QMessageBox::Ok);
}

std::unique_ptr<QMessageBox> makeQuestionBox(QWidget *parent, const QString &text)
{
    return makeBox(parent, text, QMessageBox::Warning, QMessageBox::Ok | QMessageBox::Cancel);
}

QStringList fileDialogFilters(const QString &pairs)
{
    const QStringList parts = pairs.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) {
            break; // the empty pair that ends the list
        }
        QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString &pattern : patterns) {
            pattern = pattern.trimmed();
        }
        patterns.removeAll(QString());
        filters.push_back(parts[i] + QStringLiteral(" (") + patterns.join(u' ') + u')');
    }
    return filters;
}

std::unique_ptr<QFileDialog> makeFileDialog(QWidget *parent, const UserPrompts::FileRequest &request)
{
    auto dialog = std::make_unique<QFileDialog>(parent);
    dialog->setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!request.folder.isEmpty()) {
        dialog->setDirectory(request.folder);
    }
    const QStringList filters = fileDialogFilters(request.filter);
    dialog->setNameFilters(filters);
    if (!filters.isEmpty()) {
        dialog->selectNameFilter(filters.front());
    }
    if (request.defaultSuffix != QStringLiteral("*")) {
        dialog->setDefaultSuffix(request.defaultSuffix);
    }
    dialog->setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    return dialog;
}

void SystemPrompts::message(QWidget *parent, const QString &text, Icon icon)
{
    makeMessageBox(parent, text, icon)->exec();
}

bool SystemPrompts::question(QWidget *parent, const QString &text)
{
    return makeQuestionBox(parent, text)->exec() == QMessageBox::Ok;
}

QString SystemPrompts::chooseFile(QWidget *parent, const FileRequest &request)
{
    const std::unique_ptr<QFileDialog> dialog = makeFileDialog(parent, request);
    if (dialog->exec() != QDialog::Accepted) {
        return {};
    }
    return dialog->selectedFiles().value(0);
}

} // namespace belvane
