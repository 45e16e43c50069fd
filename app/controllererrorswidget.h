#ifndef CONTROLLERERRORSWIDGET_H
#define CONTROLLERERRORSWIDGET_H

#include <QWidget>

#include "lantrelprotocol.h"

class QLabel;

// Status-bar picture shown while the line controller reports a fault; the
// tooltip lists the faults.
class ControllerErrorsWidget : public QWidget
{
    Q_OBJECT

public:
    explicit ControllerErrorsWidget(QWidget *parent = nullptr, Qt::WindowFlags f = Qt::WindowFlags());

public slots:
    void updateControllerStatus(LantrelProtocol::Status_Device_t stat);

private:
    QLabel *pictureLabel = nullptr;
};

// A resource picture through the application's pixmap cache, keyed by its path.
QPixmap cachedPixmap(const QString &path);

#endif // CONTROLLERERRORSWIDGET_H
