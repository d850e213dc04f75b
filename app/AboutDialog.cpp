#include "AboutDialog.h"

#include "ApplicationIcon.h"
#include "DialogUnits.h"

#include <QLabel>
#include <QPushButton>

namespace belvane {

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Belvaneのﾊﾞｰｼﾞｮﾝ情報"));
    setFont(dialogFont());
    const DialogBaseUnits base = baseUnitsOf(font());
    const QIcon icon = applicationIcon();
    setWindowIcon(icon);
    const QSize size = dialogUnitsToPixels({0, 0, 255, 55}, base).size();

    iconLabel = new QLabel(this);
    iconLabel->setPixmap(icon.pixmap(32, 32));
    // An icon control takes the size of its icon, whatever its rectangle says.
    iconLabel->setGeometry(QRect(dialogUnitsToPixels({11, 17, 20, 20}, base).topLeft(), QSize(32, 32)));

    versionLabel = placeStaticText(
        this, QStringLiteral("Belvane バージョン %1  アラーム受信設備").arg(QStringLiteral(BELVANE_VERSION)),
        {40, 22, 152, 8}, base, size.width());

    okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setGeometry(dialogUnitsToPixels({198, 7, 50, 14}, base));
    okButton->setDefault(true);
    okButton->setFocus();
    connect(okButton, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(size);
}

} // namespace belvane
