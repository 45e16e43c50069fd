#ifndef LINESTATUSWIDGET_H
#define LINESTATUSWIDGET_H

#include <QWidget>

#include "lantrelprotocol.h"

class QLabel;

// Status-bar indicator of the communication line: state picture, fault
// picture, a tooltip with both, and a context menu that switches the line.
class LineStatusWidget : public QWidget
{
    Q_OBJECT

public:
    explicit LineStatusWidget(QWidget *parent = nullptr, Qt::WindowFlags f = Qt::WindowFlags());

signals:
    void switchLineState();

public slots:
    void updateLineStatus(LantrelProtocol::Status_Line_t status);
    void disableActions(bool yes);

private slots:
    void showCustomContextMenu(QPoint pos);

private:
    QLabel *stateLabel = nullptr;
    QLabel *faultLabel = nullptr;
    quint8 lineState = LantrelProtocol::LN_NON;
    bool actionsEnabled = true;
    bool faultsPresent = false;
};

#endif // LINESTATUSWIDGET_H
