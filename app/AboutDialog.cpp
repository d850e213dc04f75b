#include "AboutDialog.h"

#include "ApplicationIcon.h"
#include "DialogUnits.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace belvane {

namespace {

// The application icon drawn from its outline at the screen's pixel density, so that it is as sharp at
// 150 % or 200 % as at 100 %, where a pixmap of the icon's sizes would be scaled up.
class BellView final : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(width() / 48.0, height() / 48.0);
        paintBell(painter);
    }
};

} // namespace

AboutDialog::AboutDialog(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Belvaneのﾊﾞｰｼﾞｮﾝ情報"));
    setFont(dialogFont());
    const DialogBaseUnits base = baseUnitsOf(font());
    const QIcon icon = applicationIcon();
    setWindowIcon(icon);
    const QSize size = dialogUnitsToPixels({0, 0, 255, 55}, base).size();

    iconView = new BellView(this);
    iconView->setAccessibleName(QStringLiteral("Belvane のアイコン"));
    // An icon control takes the size of its icon, whatever its rectangle says.
    iconView->setGeometry(QRect(dialogUnitsToPixels({11, 17, 20, 20}, base).topLeft(), QSize(32, 32)));

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
