// The fake controller's side of a firmware update: taking the image,
// passing it on to the modules of one kind, and the versions they report.

#include "fakecontroller.h"
#include "firmwaretestsupport.h"

using namespace LantrelProtocol;

namespace {

constexpr int TrailerSize = 32;
constexpr int ImageCrcSize = 2;

bool isModuleFirmware(int firmwareType)
{
    return firmwareType >= 3 && firmwareType <= 5;
}

} // namespace

void FakeController::firmwareCommandStarted(int code, int p1, int p2)
{
    if (!m_emulateFirmware)
        return;
    if (code == LOAD_PROG) {
        m_firmware.clear();
        m_announcedType = (p1 >> 8) & 0xFF;
        m_announcedSize = ((p1 & 0xFF) << 16) | (p2 & 0xFFFF);
    } else if (code == SAVE_PROG && (p1 & 0xFF) == 2) {
        // The controller restarts into its new program without finishing the command.
        installFirmware(2);
    }
}

int FakeController::firmwareProgressEnd(int code, int p1) const
{
    const int type = p1 & 0xFF;
    if (!m_emulateFirmware || !isModuleFirmware(type))
        return m_progressEnd;
    if (code == SAVE_PROG)
        return firmwareModuleAddresses(type).size();
    // MOVE_PROG passes the image on in blocks of 256 bytes (without the trailer and the CRC).
    const int payload = qMax(0, m_firmware.size() - TrailerSize - ImageCrcSize);
    return (payload + 255) / 256;
}

quint16 FakeController::firmwareCommandResult(int code, int p1)
{
    if (!m_emulateFirmware)
        return 0;
    const int type = p1 & 0xFF;
    if (code == MOVE_PROG)
        return firmwareImageAccepted(type) ? 0 : 1;
    if (code == SAVE_PROG)
        installFirmware(type);
    return 0;
}

bool FakeController::firmwareImageAccepted(int firmwareType) const
{
    const int size = m_firmware.size();
    if (firmwareType != m_announcedType || size != m_announcedSize || size < TrailerSize + ImageCrcSize)
        return false;
    const quint16 crc = quint16((quint8(m_firmware.at(size - 2)) << 8) | quint8(m_firmware.at(size - 1)));
    return FirmwareTest::arc(m_firmware.left(size - ImageCrcSize)) == crc;
}

quint16 FakeController::imageVersion() const
{
    const int at = m_firmware.size() - ImageCrcSize - TrailerSize + 2;
    if (at < 2)
        return 0;
    return quint16(quint8(m_firmware.at(at)) | (quint8(m_firmware.at(at + 1)) << 8));
}

QVector<quint16> FakeController::firmwareModuleAddresses(int firmwareType) const
{
    QVector<quint16> addresses;
    auto take = [&addresses](quint16 lineAddr) {
        if (lineAddr >= 1 && lineAddr <= 500)
            addresses.append(lineAddr);
    };
    const Konfig_Line_t line = lineConfig();
    switch (firmwareType) {
    case 3:
        for (const Konfig_Section_t &s : sensors().mid(0, line.SensorCount))
            take(s.LineAddr);
        break;
    case 4:
        for (const Konfig_MVV_t &m : ioModules().mid(0, line.IoCount))
            take(m.LineAddr);
        break;
    case 5:
        for (const Konfig_MKZ_t &m : scpModules().mid(0, line.ScpCount))
            take(m.LineAddr);
        break;
    default:
        break;
    }
    return addresses;
}

void FakeController::installFirmware(int firmwareType)
{
    const quint16 version = imageVersion();
    if (firmwareType == 2) {
        m_identity[4] = version;
        return;
    }
    for (quint16 lineAddr : firmwareModuleAddresses(firmwareType))
        m_installedVersions.insert(lineAddr, version);
}

void FakeController::collectModuleVersions()
{
    for (auto it = m_installedVersions.cbegin(); it != m_installedVersions.cend(); ++it)
        setModuleValue(30, it.key() - 1, it.value());
}
