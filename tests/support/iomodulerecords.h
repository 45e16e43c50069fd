#ifndef IOMODULERECORDS_H
#define IOMODULERECORDS_H

#include "iomodulesconfigmodel.h"

#include <QString>

namespace IoModuleTest {

// An input/output module as the client decodes it from the controller: the
// fields of the configuration byte follow from `config`.
inline IoModuleRecord record(quint16 address, quint32 serial, quint8 config, quint8 relayTime)
{
    IoModuleRecord rec;
    rec.lineAddress = address;
    rec.serialNumber = serial;
    rec.serialNumberText = QString::number(serial);
    rec.deviceType = 2;
    rec.deviceTypeName = QStringLiteral("ПС-Л");
    rec.config = config;
    rec.relayContact = (config >> 1) & 1;
    rec.loop1Mode = (config >> 4) & 3;
    rec.loop2Mode = (config >> 6) & 3;
    rec.relayTime = relayTime;
    return rec;
}

} // namespace IoModuleTest

#endif // IOMODULERECORDS_H
