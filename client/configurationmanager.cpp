#include "configurationmanager.h"

#include <QBuffer>
#include <QFileDevice>
#include <QHostAddress>
#include <QIODevice>
#include <QThread>

#include <utility>
#include <cstring>

#include "configurationformat.h"
#include "configurationparser.h"
#include "configurationserialiser.h"
#include "configurationvalues.h"
#include "systemerrortext.h"
#include "texthelpers.h"

using namespace LantrelProtocol;
using namespace ConfigFile;

namespace {

void setNumber(QDomElement &e, const QString &name, qint64 value)
{
    e.setAttribute(name, QString::number(value));
}

// Every check of a file, in the order the user is told of them; empty when
// `parsed` holds a configuration the readers can use. The bytes of a
// document about to be saved have their values named by table rows.
QString parseConfiguration(const QByteArray &bytes, QDomDocument &parsed, bool beingSaved = false)
{
    QString error = checkAttributeCounts(bytes);
    if (error.isEmpty())
        error = parseChecked(bytes, parsed);
    if (!error.isEmpty())
        return error;

    const QDomElement root = parsed.documentElement();
    if (root.isNull() || root.tagName().compare(QLatin1String(RootName), Qt::CaseInsensitive) != 0)
        return QStringLiteral("Данный документ не является конфигурацией ИОП «Лантрел-А»");
    for (int i = 0; i < SectionCount; ++i) {
        if (root.firstChildElement(sectionName(i)).isNull())
            return missingSectionText(i);
    }
    return checkValues(parsed, bytes, beingSaved);
}

} // namespace

ConfigurationManager::ConfigurationManager(QObject *parent)
    : QObject(parent)
{
    registerMetaTypes();
}

ConfigurationManager::~ConfigurationManager()
{
    if (teardown) {
        teardown->wait();
        delete teardown;
    }
}

void ConfigurationManager::retireDocument(QDomDocument old)
{
    if (old.isNull())
        return;
    if (teardown) {
        teardown->wait();
        delete teardown;
    }
    // The thread holds the last reference: the tree goes there, while the
    // new document is read into the tables.
    teardown = QThread::create([old = std::move(old)]() mutable { old = QDomDocument(); });
    teardown->start(QThread::LowPriority);
}

void ConfigurationManager::newDocument()
{
    if (hasDocument())
        clear();
    document.appendChild(document.createProcessingInstruction(
        QStringLiteral("xml"), QStringLiteral("version='1.0' encoding='UTF-8' standalone='yes'")));
    QDomElement root = document.createElement(QLatin1String(RootName));
    root.setAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    for (int i = 0; i < SectionCount; ++i)
        root.appendChild(document.createElement(sectionName(i)));
    document.appendChild(root);
}

bool ConfigurationManager::readDocument(QIODevice *device)
{
    if (!device || !device->isReadable()) {
        errorText = QStringLiteral("Ошибка чтения конфигурации: %1")
                        .arg(device ? device->errorString() : QString());
        return false;
    }
    QByteArray bytes;
    bool tooLarge = false;
    if (!device->isSequential()) {
        device->seek(0);
        tooLarge = device->size() > MaxFileSize;
        if (!tooLarge)
            bytes = device->readAll();
    } else {
        while (!tooLarge) {
            const QByteArray chunk = device->read(1 << 16);
            if (chunk.isEmpty())
                break;
            bytes += chunk;
            tooLarge = bytes.size() > MaxFileSize;
        }
    }
    if (bytes.isEmpty() && !tooLarge) {
        errorText = QStringLiteral("Ошибка конфигурации: пустой файл данных");
        return false;
    }
    if (tooLarge) {
        errorText = QStringLiteral("Ошибка конфигурации: размер файла данных больше %1 байт")
                        .arg(MaxFileSize);
        return false;
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);

    QDomDocument parsed;
    const QString error = parseConfiguration(bytes, parsed);
    if (!error.isEmpty()) {
        errorText = error;
        return false;
    }

    // Nothing else refers to the parsed tree: it becomes the document as is.
    // Freeing the old tree's thousands of nodes is no part of reading the
    // new one: it goes to a thread of its own.
    errorText.clear();
    retireDocument(std::exchange(document, parsed));
    return true;
}

bool ConfigurationManager::writeDocument(QIODevice *device)
{
    if (!hasDocument()) {
        errorText = QStringLiteral("Ошибка: пустая конфигурация");
        return false;
    }
    const auto fail = [this](const QString &reason) {
        errorText = QStringLiteral("Ошибка записи конфигурации: ") + reason;
        return false;
    };
    if (!device || !device->isWritable())
        return fail(device ? systemErrorText(device->errorString()) : QString());

    // The text is made in memory first, so that every byte that does not
    // reach the device is noticed: a text stream drops short writes silently.
    const QByteArray bytes = serialise(document);
    // A value the reader refuses (one a controller reported, say) would make
    // a file that does not open: it is named instead.
    QDomDocument reread;
    const QString refused = parseConfiguration(bytes.mid(3), reread, true);
    if (!refused.isEmpty())
        return fail(QStringLiteral("такой файл не будет открыт программой. ") + refused);

    // Replace the contents: truncate a file, clear a memory buffer.
    QFileDevice *file = qobject_cast<QFileDevice *>(device);
    QBuffer *buffer = qobject_cast<QBuffer *>(device);
    if (buffer) {
        buffer->seek(0);
        buffer->buffer().clear();
    } else if (!device->isSequential()) {
        if (!device->seek(0) || (file && !file->resize(0)))
            return fail(systemErrorText(device->errorString()));
    }

    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = device->write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            return fail(systemErrorText(device->errorString()));
        done += n;
    }
    // A file keeps written data in its own buffer: only its flush shows
    // whether the data reached the disk.
    if (file && !file->flush())
        return fail(systemErrorText(file->errorString()));
    return true;
}

void ConfigurationManager::clear()
{
    errorText.clear();
    document = QDomDocument();
}

bool ConfigurationManager::hasDocument() const
{
    return !document.isNull();
}

QString ConfigurationManager::lastError() const
{
    return errorText;
}

QDomElement ConfigurationManager::section(const QString &name) const
{
    return document.documentElement().firstChildElement(name);
}

// ---- Readers

void ConfigurationManager::getControllerInfo()
{
    if (!hasDocument())
        return;
    ValueReader r;
    ControllerData c;
    readController(section(sectionName(0)), r, c);
    emit controllerInfo(c.info, c.lineAddr, c.fwDate);
}

void ConfigurationManager::getControllerConfig()
{
    if (!hasDocument()) {
        emit readCompleted(false);
        return;
    }
    ValueReader r;
    ControllerData c;
    readController(section(sectionName(0)), r, c);
    readLineCounts(document.documentElement(), r, c.line);
    emit controllerConfig(c.blockId, c.device, c.network, c.line);
    emit readCompleted(true);
}

void ConfigurationManager::getSensorsConfig()
{
    if (!hasDocument()) {
        emit readCompleted(false);
        return;
    }
    ValueReader r;
    const QVector<Konfig_Section_t> records = readSensors(section(sectionName(1)), r, nullptr);
    if (!records.isEmpty())
        emit sensorConfig(0, records);
    emit readCompleted(true);
}

void ConfigurationManager::getIoModulesConfig()
{
    if (!hasDocument()) {
        emit readCompleted(false);
        return;
    }
    ValueReader r;
    const QVector<Konfig_MVV_t> records = readIoModules(section(sectionName(2)), r);
    if (!records.isEmpty())
        emit ioModuleConfig(0, records);
    emit readCompleted(true);
}

void ConfigurationManager::getScpModulesConfig()
{
    if (!hasDocument()) {
        emit readCompleted(false);
        return;
    }
    ValueReader r;
    const QVector<Konfig_MKZ_t> records = readScpModules(section(sectionName(3)), r);
    if (!records.isEmpty())
        emit scpModuleConfig(0, records);
    emit readCompleted(true);
}

void ConfigurationManager::getRelayModulesConfig()
{
    if (!hasDocument()) {
        emit readCompleted(false);
        return;
    }
    ValueReader r;
    int elements = 0;
    const QVector<Konfig_Modul_t> records = readRelayModules(section(sectionName(5)), r, &elements);
    if (elements > 0)
        emit relayModuleConfig(0, records);
    emit readCompleted(true);
}

void ConfigurationManager::getProcessingConfig()
{
    if (!hasDocument()) {
        emit readCompleted(false);
        return;
    }
    ValueReader r;
    QVector<int> skipped;
    readSensors(section(sectionName(1)), r, &skipped);
    const QVector<Konfig_Proc_t> records = readRules(section(sectionName(4)), r, skipped);
    if (!records.isEmpty())
        emit processingConfig(0, records);
    emit readCompleted(true);
}

void ConfigurationManager::getInteractionsConfig()
{
    if (!hasDocument()) {
        emit readCompleted(false);
        return;
    }
    ValueReader r;
    const QVector<Control_Relay_t> records = readInteractions(section(sectionName(6)), r);
    if (!records.isEmpty())
        emit interactionsConfig(0, records);
    emit readCompleted(true);
}

// ---- Writers

namespace {

void removeChildElements(QDomElement &parent, const QString &name)
{
    QDomElement e = parent.firstChildElement(name);
    while (!e.isNull()) {
        const QDomElement next = e.nextSiblingElement(name);
        parent.removeChild(e);
        e = next;
    }
}

} // namespace

void ConfigurationManager::setControllerInfo(ControllerInfo dev_info)
{
    QDomElement c = section(sectionName(0));
    if (!hasDocument() || c.isNull())
        return;
    setNumber(c, QStringLiteral("DeviceType"), quint32(dev_info.deviceType));
    c.setAttribute(QStringLiteral("SerialNo"), xmlSafe(dev_info.serialNumber));
    c.setAttribute(QStringLiteral("PCBVer"), xmlSafe(dev_info.boardVersion));
    c.setAttribute(QStringLiteral("FwVer"), xmlSafe(dev_info.firmwareVersion));
    c.setAttribute(QStringLiteral("FwDate"), xmlSafe(dev_info.firmwareDate));
}

void ConfigurationManager::setControllerConfig(QByteArray block_id, Konfig_Device_t dev_cfg,
                                               ETH_konf_t net_cfg, Konfig_Line_t line_cfg)
{
    QDomElement c = section(sectionName(0));
    if (!hasDocument() || c.isNull()) {
        emit writeCompleted(false);
        return;
    }
    c.setAttribute(QStringLiteral("BlockID"), xmlSafe(blockIdToString(block_id)));
    setNumber(c, QStringLiteral("LineAddr"), dev_cfg.LineAddr);
    setNumber(c, QStringLiteral("TSign"), dev_cfg.TSign);
    setNumber(c, QStringLiteral("MRef"), dev_cfg.MRef);
    setNumber(c, QStringLiteral("TWork"), dev_cfg.TWork);
    setNumber(c, QStringLiteral("NExc"), dev_cfg.NExc);
    setNumber(c, QStringLiteral("Ratio"), dev_cfg.Ratio);
    setNumber(c, QStringLiteral("Dist"), dev_cfg.Dist);
    setNumber(c, QStringLiteral("Range"), dev_cfg.Range);
    setNumber(c, QStringLiteral("LPF"), dev_cfg.LPF);
    setNumber(c, QStringLiteral("HPF"), dev_cfg.HPF);
    setNumber(c, QStringLiteral("DAF"), dev_cfg.DAF);
    setNumber(c, QStringLiteral("RuleJP"), dev_cfg.RuleJP);
    setNumber(c, QStringLiteral("CfgLoop"), dev_cfg.CfgLoop);
    c.setAttribute(QStringLiteral("IPAddr"), QHostAddress(net_cfg.IPAddr).toString());
    c.setAttribute(QStringLiteral("NetMask"), QHostAddress(net_cfg.NetMask).toString());
    c.setAttribute(QStringLiteral("Gateway"), QHostAddress(net_cfg.Gateway).toString());
    const QByteArray mac(reinterpret_cast<const char *>(net_cfg.MAC), sizeof net_cfg.MAC);
    c.setAttribute(QStringLiteral("MAC"), QString::fromLatin1(mac.toHex()));
    setNumber(c, QStringLiteral("LineMode"), line_cfg.LineMode);
    emit writeCompleted(true);
}

void ConfigurationManager::setSensorsConfig(QMap<quint16, Konfig_Section_t> cfg)
{
    QDomElement s = section(sectionName(1));
    if (!hasDocument() || s.isNull()) {
        emit writeCompleted(false);
        return;
    }
    removeChildElements(s, QStringLiteral("Sensor"));
    for (auto it = cfg.cbegin(); it != cfg.cend() && it.key() < MaxSensors; ++it) {
        const Konfig_Section_t &rec = it.value();
        // An empty row is no module; the rows after it are.
        if (rec.DeviceType == DEV_NOT)
            continue;
        QDomElement e = document.createElement(QStringLiteral("Sensor"));
        setNumber(e, QStringLiteral("Addr"), it.key() + 1);
        e.setAttribute(QStringLiteral("SerialNo"), serialNumberToString(rec.SerialNo));
        setNumber(e, QStringLiteral("LineAddr"), rec.LineAddr);
        setNumber(e, QStringLiteral("DeviceType"), rec.DeviceType);
        setNumber(e, QStringLiteral("Range"), rec.Range);
        setNumber(e, QStringLiteral("LPF"), rec.LPF);
        setNumber(e, QStringLiteral("HPF"), rec.HPF);
        setNumber(e, QStringLiteral("DAF"), rec.DAF);
        if (rec.DeviceType == SECT_ACCI) {
            setNumber(e, QStringLiteral("ThrIR"), rec.ThrIR);
            setNumber(e, QStringLiteral("NExcIR"), rec.NExcIR);
            setNumber(e, QStringLiteral("RuleJP"), rec.RuleJP);
        }
        setNumber(e, QStringLiteral("RefCount"), rec.RefCount);
        s.appendChild(e);
    }
    emit writeCompleted(true);
}

void ConfigurationManager::setIoModulesConfig(QMap<quint16, Konfig_MVV_t> cfg)
{
    QDomElement s = section(sectionName(2));
    if (!hasDocument() || s.isNull()) {
        emit writeCompleted(false);
        return;
    }
    removeChildElements(s, QStringLiteral("IOModule"));
    for (auto it = cfg.cbegin(); it != cfg.cend() && it.key() < MaxIoModules; ++it) {
        const Konfig_MVV_t &rec = it.value();
        // An empty row is no module; the rows after it are.
        if (rec.DeviceType == DEV_NOT)
            continue;
        QDomElement e = document.createElement(QStringLiteral("IOModule"));
        setNumber(e, QStringLiteral("Addr"), it.key() + 1);
        e.setAttribute(QStringLiteral("SerialNo"), serialNumberToString(rec.SerialNo));
        setNumber(e, QStringLiteral("LineAddr"), rec.LineAddr);
        setNumber(e, QStringLiteral("DeviceType"), rec.DeviceType);
        setNumber(e, QStringLiteral("CfgIO"), rec.CfgIO);
        setNumber(e, QStringLiteral("TSign"), rec.TSign);
        setNumber(e, QStringLiteral("RefCountL1"), rec.RefCountL1);
        setNumber(e, QStringLiteral("RefCountL2"), rec.RefCountL2);
        s.appendChild(e);
    }
    emit writeCompleted(true);
}

void ConfigurationManager::setScpModulesConfig(QMap<quint16, Konfig_MKZ_t> cfg)
{
    QDomElement s = section(sectionName(3));
    if (!hasDocument() || s.isNull()) {
        emit writeCompleted(false);
        return;
    }
    removeChildElements(s, QStringLiteral("SCPModule"));
    for (auto it = cfg.cbegin(); it != cfg.cend() && it.key() < MaxScpModules; ++it) {
        const Konfig_MKZ_t &rec = it.value();
        // An empty row is no module; the rows after it are.
        if (rec.DeviceType == DEV_NOT)
            continue;
        QDomElement e = document.createElement(QStringLiteral("SCPModule"));
        setNumber(e, QStringLiteral("Addr"), it.key() + 1);
        e.setAttribute(QStringLiteral("SerialNo"), serialNumberToString(rec.SerialNo));
        setNumber(e, QStringLiteral("LineAddr"), rec.LineAddr);
        setNumber(e, QStringLiteral("DeviceType"), rec.DeviceType);
        setNumber(e, QStringLiteral("ThrMin"), rec.ThrMin);
        setNumber(e, QStringLiteral("ThrOff"), rec.ThrOff);
        setNumber(e, QStringLiteral("ThrOn"), rec.ThrOn);
        s.appendChild(e);
    }
    emit writeCompleted(true);
}

void ConfigurationManager::setRelayModulesConfig(QMap<quint16, Konfig_Modul_t> cfg)
{
    QDomElement s = section(sectionName(5));
    if (!hasDocument() || s.isNull()) {
        emit writeCompleted(false);
        return;
    }
    removeChildElements(s, QStringLiteral("RelayModule"));
    for (auto it = cfg.cbegin(); it != cfg.cend() && it.key() < MaxRelayModules; ++it) {
        const Konfig_Modul_t &rec = it.value();
        if (rec.IPAddr == 0)
            continue;
        QDomElement e = document.createElement(QStringLiteral("RelayModule"));
        setNumber(e, QStringLiteral("Addr"), it.key() + 1);
        e.setAttribute(QStringLiteral("IPAddr"), QHostAddress(rec.IPAddr).toString());
        setNumber(e, QStringLiteral("LineAddr"), rec.LineAddr);
        setNumber(e, QStringLiteral("ExpMod"), rec.ExpMod);
        // Every relay the module has up to the last one in use: an entry
        // with relay number 0 may still carry an on-time set on the page.
        int relays = relaysOf(rec);
        while (relays > 0 && rec.Relays[relays - 1].RelayNum == 0 && rec.Relays[relays - 1].TSign == 0)
            --relays;
        for (int i = 0; i < relays; ++i) {
            QDomElement relay = document.createElement(QStringLiteral("Relay"));
            setNumber(relay, QStringLiteral("RelayNum"), rec.Relays[i].RelayNum);
            setNumber(relay, QStringLiteral("TSign"), rec.Relays[i].TSign);
            e.appendChild(relay);
        }
        s.appendChild(e);
    }
    emit writeCompleted(true);
}

// One rule per sensor entry of the document, the rule of that entry's row:
// a rule whose NExc is 0 is a rule like any other, not the end of the
// table, and the rule of an empty sensor row goes with it.
void ConfigurationManager::setProcessingConfig(QMap<quint16, Konfig_Proc_t> cfg)
{
    QDomElement s = section(sectionName(4));
    const QDomElement sensors = section(sectionName(1));
    if (!hasDocument() || s.isNull() || sensors.isNull()) {
        emit writeCompleted(false);
        return;
    }
    // The sensor writer gave each entry its row as Addr; an entry without a
    // row after the one before it takes the next row.
    QVector<int> keys;
    for (QDomElement e = sensors.firstChildElement(QStringLiteral("Sensor"));
         !e.isNull() && keys.size() < MaxRules; e = e.nextSiblingElement(QStringLiteral("Sensor"))) {
        bool ok = false;
        const int row = e.attribute(QStringLiteral("Addr")).toInt(&ok) - 1;
        const int next = keys.isEmpty() ? 0 : keys.last() + 1;
        keys.append(ok && row >= next && row < MaxRules ? row : next);
    }
    removeChildElements(s, QStringLiteral("Rule"));
    for (const int key : qAsConst(keys)) {
        const Konfig_Proc_t rec = cfg.value(quint16(key));
        QDomElement e = document.createElement(QStringLiteral("Rule"));
        setNumber(e, QStringLiteral("Addr"), key + 1);
        setNumber(e, QStringLiteral("MRef"), rec.MRef);
        setNumber(e, QStringLiteral("NExc"), rec.NExc);
        setNumber(e, QStringLiteral("SensLeft"), rec.SensLeft);
        setNumber(e, QStringLiteral("SensRight"), rec.SensRight);
        setNumber(e, QStringLiteral("Ratio"), rec.Ratio);
        s.appendChild(e);
    }
    emit writeCompleted(true);
}

void ConfigurationManager::setInteractionsConfig(QMap<quint16, Control_Relay_t> cfg)
{
    QDomElement s = section(sectionName(6));
    if (!hasDocument() || s.isNull()) {
        emit writeCompleted(false);
        return;
    }
    removeChildElements(s, QStringLiteral("Interaction"));
    // The map is the table's used part: an empty record in it is a record of
    // the table like any other.
    for (auto it = cfg.cbegin(); it != cfg.cend() && it.key() < MaxInteractions; ++it) {
        const Control_Relay_t &rec = it.value();
        QDomElement e = document.createElement(QStringLiteral("Interaction"));
        setNumber(e, QStringLiteral("Addr"), it.key() + 1);
        setNumber(e, QStringLiteral("DeviceType"), rec.DeviceType);
        setNumber(e, QStringLiteral("DestFunc"), rec.DestFunc);
        setNumber(e, QStringLiteral("DestRef"), rec.DestRef);
        s.appendChild(e);
    }
    emit writeCompleted(true);
}
