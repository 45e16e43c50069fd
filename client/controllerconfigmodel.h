#ifndef CONTROLLERCONFIGMODEL_H
#define CONTROLLERCONFIGMODEL_H

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVector>

#include "controllerinfo.h"
#include "lantrelprotocol.h"

// Holder of the controller's identity and its controller, network and line
// settings. Not an item model: the controller page edits it parameter by
// parameter through setData(), everyone else reads the fields directly.
class ControllerConfigModel : public QObject
{
    Q_OBJECT
public:
    // Codes carried by dataChanged().
    enum ChangeCode {
        SettingsReplaced = 0,   // setConfig(), setNetworkConfig(), setLineConfig()
        ParameterEdited = 2,    // setData()
        IdentityReplaced = 256  // setControllerInfo()
    };

    // Parameter ids of setData().
    enum ParameterId {
        BlockIdParam = 4,
        LineAddrParam = 5,
        TSignParam = 6,
        MRefParam = 7,
        TWorkParam = 8,
        NExcParam = 9,
        RatioParam = 10,
        DistParam = 11,
        RangeParam = 12,
        LpfParam = 13,
        HpfParam = 14,
        DafParam = 15,
        RuleJpParam = 16,
        Loop1ModeParam = 17,
        Loop2ModeParam = 18,
        IpAddrParam = 19,
        NetMaskParam = 20,
        GatewayParam = 21,
        LineModeParam = 23
    };

    explicit ControllerConfigModel(QObject *parent = nullptr);

    void setControllerInfo(const ControllerInfo &info);
    void setConfig(const QString &blockId, const LantrelProtocol::Konfig_Device_t &device,
                   const LantrelProtocol::ETH_konf_t &network,
                   const LantrelProtocol::Konfig_Line_t &line,
                   const QByteArray &heldBlockId = QByteArray());
    void setRelayModuleCount(quint8 count);
    void setData(int id, const QVariant &value, int role);
    // While false setData() changes nothing: a task sends or replaces the configuration.
    void setEditable(bool editable) { m_editable = editable; }
    bool isEditable() const { return m_editable; }

    ControllerInfo info;
    QString blockId;
    // The identifier's bytes as the controller holds them, while blockId
    // does not give them back (see undecodedBlockId()); null otherwise and
    // once the identifier is edited. The controller gets them back unchanged.
    QByteArray heldBlockId;
    LantrelProtocol::Konfig_Device_t deviceConfig;
    LantrelProtocol::ETH_konf_t networkConfig;
    LantrelProtocol::Konfig_Line_t lineConfig;

public slots:
    void setNetworkConfig(const LantrelProtocol::ETH_konf_t &network);
    void setLineConfig(const LantrelProtocol::Konfig_Line_t &line);

signals:
    void dataChanged(const QVector<int> &roles);

private:
    bool m_editable = true;
};

#endif // CONTROLLERCONFIGMODEL_H
