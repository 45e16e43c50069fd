#include "controllerconfigmodel.h"

#include "ipv4text.h"

ControllerConfigModel::ControllerConfigModel(QObject *parent)
    : QObject(parent)
{
}

void ControllerConfigModel::setControllerInfo(const ControllerInfo &newInfo)
{
    info = newInfo;
    emit dataChanged({IdentityReplaced});
}

void ControllerConfigModel::setConfig(const QString &newBlockId,
                                      const LantrelProtocol::Konfig_Device_t &device,
                                      const LantrelProtocol::ETH_konf_t &network,
                                      const LantrelProtocol::Konfig_Line_t &line,
                                      const QByteArray &newHeldBlockId)
{
    blockId = newBlockId;
    heldBlockId = newHeldBlockId;
    deviceConfig = device;
    networkConfig = network;
    lineConfig = line;
    emit dataChanged({SettingsReplaced});
}

void ControllerConfigModel::setNetworkConfig(const LantrelProtocol::ETH_konf_t &network)
{
    networkConfig = network;
    emit dataChanged({SettingsReplaced});
}

void ControllerConfigModel::setLineConfig(const LantrelProtocol::Konfig_Line_t &line)
{
    lineConfig = line;
    emit dataChanged({SettingsReplaced});
}

void ControllerConfigModel::setRelayModuleCount(quint8 count)
{
    lineConfig.RelayCount = count;
}

void ControllerConfigModel::setData(int id, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !m_editable)
        return;

    auto &d = deviceConfig;
    switch (id) {
    case BlockIdParam:
        blockId = value.toString();
        heldBlockId.clear();
        break;
    case LineAddrParam:
        d.LineAddr = static_cast<quint16>(value.toUInt());
        break;
    case TSignParam:
        d.TSign = static_cast<quint8>(value.toUInt());
        break;
    case MRefParam:
        d.MRef = static_cast<quint16>(value.toUInt());
        break;
    case TWorkParam:
        d.TWork = static_cast<quint8>(value.toUInt());
        break;
    case NExcParam:
        d.NExc = static_cast<quint8>(value.toUInt());
        break;
    case RatioParam:
        d.Ratio = static_cast<quint8>(value.toUInt());
        break;
    case DistParam:
        d.Dist = static_cast<quint8>(value.toUInt());
        break;
    case RangeParam:
        d.Range = static_cast<quint8>(value.toUInt());
        break;
    case LpfParam:
        d.LPF = static_cast<quint8>(value.toUInt());
        break;
    case HpfParam:
        d.HPF = static_cast<quint8>(value.toUInt());
        break;
    case DafParam:
        d.DAF = static_cast<quint8>(value.toUInt());
        break;
    case RuleJpParam:
        d.RuleJP = static_cast<quint8>(value.toUInt());
        break;
    case Loop1ModeParam:
        // A mode is two bits; a larger value must not spill into loop 2.
        d.CfgLoop = static_cast<quint8>((d.CfgLoop & 0xC0) | ((value.toUInt() & 0x03) << 4));
        break;
    case Loop2ModeParam:
        d.CfgLoop = static_cast<quint8>((d.CfgLoop & 0x30) | ((value.toUInt() & 0x03) << 6));
        break;
    case IpAddrParam:
        networkConfig.IPAddr = ipv4FromText(value.toString());
        break;
    case NetMaskParam:
        networkConfig.NetMask = ipv4FromText(value.toString());
        break;
    case GatewayParam:
        networkConfig.Gateway = ipv4FromText(value.toString());
        break;
    case LineModeParam:
        lineConfig.LineMode = static_cast<quint8>(value.toUInt());
        break;
    default:
        return;
    }
    emit dataChanged({ParameterEdited});
}
