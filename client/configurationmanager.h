#ifndef CONFIGURATIONMANAGER_H
#define CONFIGURATIONMANAGER_H

#include <QByteArray>
#include <QDate>
#include <QDomDocument>
#include <QMap>
#include <QObject>
#include <QString>
#include <QVector>

#include "controllerinfo.h"
#include "lantrelprotocol.h"

class QIODevice;
class QThread;

// Holds one configuration of the installation as an XML document and stands
// in for the line controller when no live controller is used: its slots bear
// the driver's configuration slot names and answer with the same signals and
// records, so the client drives both back ends alike.
class ConfigurationManager : public QObject
{
    Q_OBJECT

public:
    explicit ConfigurationManager(QObject *parent = nullptr);
    ~ConfigurationManager() override;

    // Drops any held document and makes an empty one with all seven sections.
    void newDocument();
    // Reads and checks a configuration file; on success it becomes the held
    // document. On failure the held document stays and lastError() says why.
    bool readDocument(QIODevice *device);
    // Replaces the device's contents with the held document (UTF-8 with a
    // byte-order mark, indent 2). False, with lastError(), when nothing or
    // not everything could be written.
    bool writeDocument(QIODevice *device);
    // Forgets the document and the last error.
    void clear();
    bool hasDocument() const;
    QString lastError() const;

public slots:
    // Emits controllerInfo only; nothing at all without a document.
    void getControllerInfo();
    void getControllerConfig();
    void getSensorsConfig();
    void getIoModulesConfig();
    void getScpModulesConfig();
    void getRelayModulesConfig();
    void getProcessingConfig();
    void getInteractionsConfig();

    // Updates the identity attributes of the controller; emits nothing.
    void setControllerInfo(ControllerInfo dev_info);
    void setControllerConfig(QByteArray block_id, LantrelProtocol::Konfig_Device_t dev_cfg,
                             LantrelProtocol::ETH_konf_t net_cfg,
                             LantrelProtocol::Konfig_Line_t line_cfg);
    void setSensorsConfig(QMap<quint16, LantrelProtocol::Konfig_Section_t> cfg);
    void setIoModulesConfig(QMap<quint16, LantrelProtocol::Konfig_MVV_t> cfg);
    void setScpModulesConfig(QMap<quint16, LantrelProtocol::Konfig_MKZ_t> cfg);
    void setRelayModulesConfig(QMap<quint16, LantrelProtocol::Konfig_Modul_t> cfg);
    void setProcessingConfig(QMap<quint16, LantrelProtocol::Konfig_Proc_t> cfg);
    void setInteractionsConfig(QMap<quint16, LantrelProtocol::Control_Relay_t> cfg);

signals:
    void readCompleted(bool ok);
    void writeCompleted(bool ok);
    void controllerInfo(LantrelProtocol::Info_Device_t dev_info, ushort line_addr, QDate fw_date);
    void controllerConfig(QByteArray block_id, LantrelProtocol::Konfig_Device_t dev_cfg,
                          LantrelProtocol::ETH_konf_t net_cfg,
                          LantrelProtocol::Konfig_Line_t line_cfg);
    void sensorConfig(ushort first_idx, QVector<LantrelProtocol::Konfig_Section_t> cfg);
    void ioModuleConfig(ushort first_idx, QVector<LantrelProtocol::Konfig_MVV_t> cfg);
    void scpModuleConfig(ushort first_idx, QVector<LantrelProtocol::Konfig_MKZ_t> cfg);
    void relayModuleConfig(ushort first_idx, QVector<LantrelProtocol::Konfig_Modul_t> cfg);
    void processingConfig(ushort first_idx, QVector<LantrelProtocol::Konfig_Proc_t> cfg);
    void interactionsConfig(ushort first_idx, QVector<LantrelProtocol::Control_Relay_t> cfg);

private:
    QDomElement section(const QString &name) const;
    // Frees a document that nothing else refers to on a thread of its own.
    void retireDocument(QDomDocument old);

    QDomDocument document;
    QString errorText;
    QThread *teardown = nullptr;
};

#endif // CONFIGURATIONMANAGER_H
