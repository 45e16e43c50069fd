#include "linestatuswidget.h"

#include "controllererrorswidget.h"
#include "texthelpers.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>

LineStatusWidget::LineStatusWidget(QWidget *parent, Qt::WindowFlags f)
    : QWidget(parent, f)
{
    const QPixmap standby = cachedPixmap(QStringLiteral(":/images/line_standby.png"));
    const QSize size = standby.isNull() ? QSize(16, 16) : standby.size();

    auto *textLabel = new QLabel(QStringLiteral("Линия связи:"), this);
    textLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    textLabel->setFixedHeight(size.height() + 2);

    stateLabel = new QLabel(this);
    stateLabel->setFixedSize(size + QSize(2, 2));
    stateLabel->setPixmap(standby);
    stateLabel->setAlignment(Qt::AlignCenter);

    faultLabel = new QLabel(this);
    faultLabel->setFixedSize(size + QSize(2, 2));
    faultLabel->setAlignment(Qt::AlignCenter);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(4);
    layout->addWidget(faultLabel);
    layout->addWidget(textLabel);
    layout->addWidget(stateLabel);

    setToolTip(QStringLiteral("Неизвестное состояние"));
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &LineStatusWidget::showCustomContextMenu);
}

void LineStatusWidget::updateLineStatus(LantrelProtocol::Status_Line_t status)
{
    faultsPresent = status.Faults != 0;
    lineState = status.State;

    QString picture;
    QString tip;
    switch (lineState) {
    case LantrelProtocol::LN_NON:
        picture = QStringLiteral(":/images/line_standby.png");
        tip = QStringLiteral("<p>Линия не активна</p>");
        break;
    case LantrelProtocol::LN_POW:
        picture = QStringLiteral(":/images/line_pause.png");
        tip = QStringLiteral("<p>Напряжение подано</p>");
        break;
    case LantrelProtocol::LN_ONN:
        if (status.Flags & 0x01) {
            picture = QStringLiteral(":/images/line_normal.png");
            tip = QStringLiteral("<p>Линия включена, опрос модулей</p>");
        } else {
            picture = QStringLiteral(":/images/line_not_ready.png");
            tip = QStringLiteral("<p>Линия включена, проверка модулей</p>");
        }
        break;
    case LantrelProtocol::LN_OFF:
        picture = QStringLiteral(":/images/line_stop.png");
        tip = QStringLiteral("<p>Линия отключена</p>");
        break;
    default:
        break;
    }

    if (picture.isEmpty())
        stateLabel->clear();
    else
        stateLabel->setPixmap(cachedPixmap(picture));

    if (faultsPresent)
        tip += QStringLiteral("<p>Ошибки работы линии:<br/>") + lineFaultsToHtml(status) + QStringLiteral("</p>");
    setToolTip(tip);

    if (faultsPresent) {
        faultLabel->setPixmap(cachedPixmap(QStringLiteral(":/images/warning.png")));
        if (faultLabel->isHidden())
            faultLabel->show();
    } else {
        faultLabel->clear();
        faultLabel->hide();
    }
}

void LineStatusWidget::disableActions(bool yes)
{
    actionsEnabled = !yes;
}

void LineStatusWidget::showCustomContextMenu(QPoint pos)
{
    if (!actionsEnabled || lineState == LantrelProtocol::LN_POW
        || (lineState == LantrelProtocol::LN_OFF && faultsPresent))
        return;

    QMenu menu;
    QAction *action = menu.addAction(lineState == LantrelProtocol::LN_ONN ? QStringLiteral("Отключение линии")
                                                                          : QStringLiteral("Включение линии"));
    connect(action, &QAction::triggered, this, &LineStatusWidget::switchLineState);
    menu.exec(mapToGlobal(pos));
}
