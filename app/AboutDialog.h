#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace belvane {

// The version dialog: the application icon, one line naming the program and its version, and OK.
class AboutDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget *parent = nullptr);

    QWidget *iconView = nullptr;
    QLabel *versionLabel = nullptr;
    QPushButton *okButton = nullptr;
};

} // namespace belvane
