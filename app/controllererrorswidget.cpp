#include "controllererrorswidget.h"

#include "texthelpers.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmapCache>

namespace {
const QString ExclamationImage = QStringLiteral(":/images/exclamation.png");
}

QPixmap cachedPixmap(const QString &path)
{
    QPixmap pm;
    if (!QPixmapCache::find(path, &pm)) {
        pm.load(path);
        QPixmapCache::insert(path, pm);
    }
    return pm;
}

ControllerErrorsWidget::ControllerErrorsWidget(QWidget *parent, Qt::WindowFlags f)
    : QWidget(parent, f)
{
    const QPixmap pm = cachedPixmap(ExclamationImage);
    // A missing picture must not collapse the slot in the status bar.
    const QSize size = pm.isNull() ? QSize(16, 16) : pm.size();
    pictureLabel = new QLabel(this);
    pictureLabel->setFixedSize(size + QSize(2, 2));
    pictureLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->addWidget(pictureLabel);
}

void ControllerErrorsWidget::updateControllerStatus(LantrelProtocol::Status_Device_t stat)
{
    const bool faults = stat.Status2 != 0 || (stat.Status1 & 0x30) != 0;
    if (faults) {
        pictureLabel->setPixmap(cachedPixmap(ExclamationImage));
        setToolTip(QStringLiteral("<p>Ошибки ЦУ-Л:<br/>") + controllerFaultsToHtml(stat) + QStringLiteral("</p>"));
    } else {
        pictureLabel->clear();
        setToolTip(QString());
    }
}
