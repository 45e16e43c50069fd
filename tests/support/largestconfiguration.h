#ifndef LARGESTCONFIGURATION_H
#define LARGESTCONFIGURATION_H

// The largest configuration the client's tables hold, put straight into the
// models: for the window tests and the benchmarks. Header-only, like
// windowtestsupport.h.

#include <QHostAddress>

#include "interactionsconfigmodel.h"
#include "iomodulesconfigmodel.h"
#include "lantrelclient.h"
#include "processingconfigmodel.h"
#include "relaymodulesconfigmodel.h"
#include "scpmodulesconfigmodel.h"
#include "sensorsconfigmodel.h"
#include "texthelpers.h"

namespace LargestConfiguration {

// 500 sensors, 100 I/O modules, 32 line-protection modules, 4 relay modules
// and 4000 interactions: 6 per sensor, 5 per input loop.
inline void fill(LantrelClient &client)
{
    for (int k = 0; k < 500; ++k) {
        SensorModuleRecord s;
        s.lineAddress = quint16(k + 1);
        s.serialNumber = quint32(((2024 - 20) << 18) | (k + 1));
        s.serialNumberText = serialNumberToString(s.serialNumber);
        s.deviceType = k % 2 ? LantrelProtocol::SECT_ACC : LantrelProtocol::SECT_ACCI;
        s.range = 2;
        s.irThreshold = s.deviceType == LantrelProtocol::SECT_ACCI ? 40 : 0;
        s.refCount = 6;
        client.sensorsConfigModel()->setModule(quint16(k), s);
        ProcessingRuleRecord rule;
        rule.lineAddress = s.lineAddress;
        rule.config.MRef = 100;
        rule.config.NExc = 3;
        rule.config.SensLeft = -3;
        rule.config.SensRight = 3;
        client.processingConfigModel()->setRule(quint16(k), rule);
    }
    for (int k = 0; k < 100; ++k) {
        IoModuleRecord io;
        io.lineAddress = quint16(k + 1);
        io.serialNumber = quint32(((2024 - 20) << 18) | (1000 + k));
        io.deviceType = LantrelProtocol::SECT_MVV;
        io.config = 0xF0;
        io.loop1Mode = 3;
        io.loop2Mode = 3;
        io.loop1RefCount = 5;
        io.loop2RefCount = 5;
        client.ioModulesConfigModel()->setModule(quint16(k), io);
    }
    for (int k = 0; k < 32; ++k) {
        ScpModuleRecord scp;
        scp.lineAddress = quint16(k + 1);
        scp.serialNumber = quint32(((2024 - 20) << 18) | (2000 + k));
        scp.deviceType = LantrelProtocol::SECT_MKZ;
        scp.thrMin = 16490;
        scp.thrOff = 15990;
        scp.thrOn = 4070;
        client.scpModulesConfigModel()->setModule(quint16(k), scp);
    }
    for (int k = 0; k < 4; ++k) {
        RelayModuleRecord r;
        r.configIndex = quint16(k);
        r.ipAddress = QStringLiteral("10.0.0.%1").arg(10 + k);
        r.config.IPAddr = QHostAddress(r.ipAddress).toIPv4Address();
        r.config.LineAddr = quint8(k + 1);
        r.config.ExpMod = 1;
        for (int relay = 0; relay < 32; ++relay) {
            r.config.Relays[relay].RelayNum = quint8(relay + 1);
            r.config.Relays[relay].TSign = quint8(relay);
        }
        client.relayModulesConfigModel()->setModule(r);
    }
    int row = 0;
    auto add = [&](int kind, quint16 addr, quint8 loop) {
        InteractionRecord rec;
        rec.sourceKind = kind;
        rec.sourceAddress = addr;
        rec.sourceLoop = loop;
        rec.executorType = row % 2 ? LantrelProtocol::EXT_RELY : LantrelProtocol::SECT_MVV;
        rec.executorNumber =
            rec.executorType == LantrelProtocol::EXT_RELY ? quint16(row % 4 + 1) : quint16(row % 100 + 1);
        rec.relay = rec.executorType == LantrelProtocol::EXT_RELY ? quint8(row % 32 + 1) : 0;
        rec.function = 255;
        client.interactionsConfigModel()->updateInteraction(quint16(row++), rec);
    };
    for (int k = 0; k < 500; ++k)
        for (int n = 0; n < 6; ++n)
            add(SensorModuleSource, quint16(k + 1), 0);
    for (int k = 0; k < 100; ++k) {
        for (int n = 0; n < 5; ++n)
            add(IoLoopSource, quint16(k + 1), 1);
        for (int n = 0; n < 5; ++n)
            add(IoLoopSource, quint16(k + 1), 2);
    }
}

} // namespace LargestConfiguration

#endif // LARGESTCONFIGURATION_H
