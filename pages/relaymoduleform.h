#ifndef RELAYMODULEFORM_H
#define RELAYMODULEFORM_H

#include <QSet>
#include <QString>
#include <QVector>
#include <QWidget>

namespace Ui {
class RelayModuleForm;
}

class LantrelClient;

// Adds an external relay module or edits one: IP address, line address and
// the expansion flag, with a probe of the module over the network. The
// edited module is followed by its configuration index and the address it
// was loaded with, so a table replaced meanwhile is never written over.
class RelayModuleForm : public QWidget
{
    Q_OBJECT

public:
    explicit RelayModuleForm(QWidget *parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~RelayModuleForm() override;

    // Edit mode for the module with that configuration index.
    void loadRelayModule(ushort cfg_idx);

signals:
    // The module with that configuration index was stored.
    void dataChanged(ushort);
    // Ends a running connection check.
    void stopCheck();

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void onIpAddrTextChanged(QString txt);
    void saveData();
    void checkConfig();

private:
    void collectUsedAddresses(int skipIndex);
    void updateCheckStatus();
    void updateButtons();
    void showCheckStatus(const QString &image, const QString &toolTip);
    // Why the module can no longer be stored as the window shows it; empty
    // when it can.
    QString staleReason() const;
    // Rows of the interactions that use relays 17 to 32 of the module.
    QVector<int> upperRelayInteractions() const;
    bool confirmRelayLoss();
    void renameExecutor(const QString &ipAddress);

    Ui::RelayModuleForm *ui = nullptr;
    LantrelClient *client = nullptr;
    bool isNew = true;
    int cfgIndex = 0;                 // -1 when every index is taken
    bool ipAcceptable = false;
    bool checking = false;
    bool saveAllowed = false;
    QSet<quint32> usedAddresses;      // of the other configured modules
    QString loadedAddress;            // the edited module's address when loaded
};

#endif // RELAYMODULEFORM_H
