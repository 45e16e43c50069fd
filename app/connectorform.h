#ifndef CONNECTORFORM_H
#define CONNECTORFORM_H

#include <QMap>
#include <QString>
#include <QWidget>

namespace Ui {
class ConnectorForm;
}

class QProgressDialog;
class QTableWidgetItem;
class LantrelClient;

// Chooses how to reach the line controller (Ethernet or RS-485 with its
// line address), searches for controllers, remembers the ones found or
// reached, and at start-up offers a configuration file instead.
class ConnectorForm : public QWidget
{
    Q_OBJECT

public:
    explicit ConnectorForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~ConnectorForm() override;

    void setOfflineControlsVisible(bool visible);

    // "Connection/List": lower-case hex of a big-endian data stream (entry
    // count, then IPv4 address and line address per entry).
    static QString encodeHostList(const QMap<quint32, quint8> &hosts);
    static QMap<quint32, quint8> decodeHostList(const QString &text);

    // How long a connection attempt may take before the dialog ends it
    // (a host that never takes the connection); tests shorten it.
    static int connectWaitLimitMs;

signals:
    void writeToLog(QString);
    void showWaitCursor(bool);
    void showMainForm();
    void closeApp();
    void stopProgress();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void onIpAddrTextChanged();
    void onTableItemClicked(QTableWidgetItem *item);
    void onTableItemDoubleClicked(QTableWidgetItem *item);
    void updateWidgetsState();
    void refreshPortsList();
    void loadConfig();
    void connectDevice();
    void searchDevices();

private:
    void showProgress(const QString &text, bool cancelable);
    void hideProgress();
    void checkConnectionParams();
    void fillHostsTable();
    void storeHostList();
    QString connectionTargetText(int connType, const QString &target) const;
    void reportConnectionFailure(const QString &text);

    Ui::ConnectorForm *ui = nullptr;
    LantrelClient *client = nullptr;
    QProgressDialog *progressDialog = nullptr;
    bool paramsValid = false;
    QMap<quint32, quint8> hosts;
    bool connecting = false;
    bool connectCancelled = false;
    // Set once the dialog led to the main window, or is already closing:
    // any other close ends the program (or the new connection).
    bool done = false;
};

#endif // CONNECTORFORM_H
