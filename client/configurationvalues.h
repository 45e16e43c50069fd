#ifndef CONFIGURATIONVALUES_H
#define CONFIGURATIONVALUES_H

#include <QByteArray>
#include <QDate>
#include <QDomDocument>
#include <QString>
#include <QVector>

#include <initializer_list>

#include "lantrelprotocol.h"

// The value rules of a configuration file: how each attribute is read into
// the controller's records and which values a file may not hold.
namespace ConfigFile {

// Texts from the controller may hold characters that XML 1.0 cannot carry;
// a file holding them could not be read back.
QString xmlSafe(const QString &text);

// Reads attribute values. The first value that does not parse or does not
// fit its field is remembered as the error; the lenient value (0 for text
// that is not a number, low-order bits for wide values) is returned anyway,
// so a held document always yields records.
class ValueReader
{
public:
    explicit ValueReader(const QByteArray *source = nullptr)
        : source(source)
    {
    }
    // A document the program made from its tables names a value by its
    // table row: its text was never a file the user has seen.
    void nameTableRows() { namesRows = true; }

    QString error;

    bool failed() const { return !error.isEmpty(); }

    quint64 number(const QDomElement &e, const QString &name, quint64 max);
    qint64 signedNumber(const QDomElement &e, const QString &name, qint64 min, qint64 max);
    // Module serial numbers as serialNumberToString writes them.
    quint32 serial(const QDomElement &e, const QString &name);
    quint32 ipv4(const QDomElement &e, const QString &name);
    // Six bytes from hexadecimal digits; separators are skipped.
    void mac(const QDomElement &e, const QString &name, quint8 *out);
    // "major.minor" as versionToString writes it.
    quint16 version(const QDomElement &e, const QString &name);
    // The controller's serial text: serial number, point, production year.
    void controllerSerial(const QDomElement &e, const QString &name, LantrelProtocol::Info_Device_t &info);

    void badValue(const QDomElement &e, const QString &name);
    void tooMany(const QDomElement &parent, const QString &child, int max);

private:
    int lineOf(const QDomNode &node) const;
    // "строка 8" of the file, or "строка 3 таблицы модулей ВТ-Л и ВС-Л".
    QString placeOf(const QDomElement &e) const;

    const QByteArray *source;
    bool namesRows = false;
};

// Line addresses of the modules in use.
void checkLineAddress(ValueReader &r, const QDomElement &e, quint8 deviceType, quint16 lineAddr);

struct ControllerData
{
    LantrelProtocol::Info_Device_t info;
    ushort lineAddr = 0;
    QDate fwDate;
    QByteArray blockId;
    LantrelProtocol::Konfig_Device_t device;
    LantrelProtocol::ETH_konf_t network;
    LantrelProtocol::Konfig_Line_t line;
};

void readController(const QDomElement &c, ValueReader &r, ControllerData &out);
// Module entries of device type 0 are empty records: a packed table cannot
// hold them in its used part, so they are left out and their positions
// reported (the processing rule at the same position goes with them).
QVector<LantrelProtocol::Konfig_Section_t> readSensors(const QDomElement &s, ValueReader &r, QVector<int> *skipped);
QVector<LantrelProtocol::Konfig_MVV_t> readIoModules(const QDomElement &s, ValueReader &r);
QVector<LantrelProtocol::Konfig_MKZ_t> readScpModules(const QDomElement &s, ValueReader &r);
// Rule k belongs to sensor k: rules at the positions of skipped sensor
// entries are left out with them.
QVector<LantrelProtocol::Konfig_Proc_t> readRules(const QDomElement &s, ValueReader &r, const QVector<int> &skipped);
// The relays a relay module has: 17 to 32 only with its expansion module.
int relaysOf(const LantrelProtocol::Konfig_Modul_t &module);
// The four slots of the relay-module table; *elements counts the modules read.
QVector<LantrelProtocol::Konfig_Modul_t> readRelayModules(const QDomElement &s, ValueReader &r, int *elements);
QVector<LantrelProtocol::Control_Relay_t> readInteractions(const QDomElement &s, ValueReader &r);
// The counts of the line settings are those of the entries the readers pass on.
void readLineCounts(const QDomElement &root, ValueReader &r, LantrelProtocol::Konfig_Line_t &line);

// Checks every value of a parsed document; empty when it can be used. A
// document made from the tables has its values named by table rows.
QString checkValues(const QDomDocument &doc, const QByteArray &source, bool namesRows = false);

} // namespace ConfigFile

#endif // CONFIGURATIONVALUES_H
