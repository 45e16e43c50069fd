#ifndef CONTROLLERCONFIGFIELDS_H
#define CONTROLLERCONFIGFIELDS_H

#include "controllerconfigmodel.h"

#include <QVariant>

namespace ControllerConfigTest {

// The model's stored field that a parameter id edits, as an unsigned number
// (the text for id 4; 17 and 18 share CfgLoop); invalid for other ids.
inline QVariant fieldOf(const ControllerConfigModel &m, int id)
{
    const LantrelProtocol::Konfig_Device_t &d = m.deviceConfig;
    switch (id) {
    case 4: return m.blockId;
    case 5: return uint(d.LineAddr);
    case 6: return uint(d.TSign);
    case 7: return uint(d.MRef);
    case 8: return uint(d.TWork);
    case 9: return uint(d.NExc);
    case 10: return uint(d.Ratio);
    case 11: return uint(d.Dist);
    case 12: return uint(d.Range);
    case 13: return uint(d.LPF);
    case 14: return uint(d.HPF);
    case 15: return uint(d.DAF);
    case 16: return uint(d.RuleJP);
    case 17:
    case 18: return uint(d.CfgLoop);
    case 19: return uint(m.networkConfig.IPAddr);
    case 20: return uint(m.networkConfig.NetMask);
    case 21: return uint(m.networkConfig.Gateway);
    case 23: return uint(m.lineConfig.LineMode);
    default: return QVariant();
    }
}

} // namespace ControllerConfigTest

#endif // CONTROLLERCONFIGFIELDS_H
