// Feeds arbitrary bytes to ConfigurationManager::readDocument. Besides not
// crashing or hanging, every accepted file must survive a write and a second
// read with the same records, and the writers fed with those records must
// leave a document that reads back.
#include <QBuffer>
#include <QByteArray>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "configurationmanager.h"

using namespace LantrelProtocol;

namespace {

struct Records
{
    QByteArray blockId;
    Konfig_Device_t device;
    ETH_konf_t network;
    Konfig_Line_t line;
    Info_Device_t info;
    ushort lineAddr = 0;
    QDate fwDate;
    QVector<Konfig_Section_t> sensors;
    QVector<Konfig_MVV_t> ioModules;
    QVector<Konfig_MKZ_t> scpModules;
    QVector<Konfig_Modul_t> relayModules;
    QVector<Konfig_Proc_t> rules;
    QVector<Control_Relay_t> interactions;
    int readsOk = 0;
};

template <typename T>
bool same(const T &a, const T &b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

template <typename T>
bool same(const QVector<T> &a, const QVector<T> &b)
{
    return a.size() == b.size()
           && (a.isEmpty() || std::memcmp(a.constData(), b.constData(), sizeof(T) * size_t(a.size())) == 0);
}

void check(bool condition, const char *what, const ConfigurationManager &m)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz_readdocument: %s (%s)\n", what, qPrintable(m.lastError()));
    std::abort();
}

Records collect(ConfigurationManager &m)
{
    Records r;
    QObject guard;
    QObject::connect(&m, &ConfigurationManager::readCompleted, &guard, [&](bool ok) { r.readsOk += ok; });
    QObject::connect(&m, &ConfigurationManager::controllerInfo, &guard,
                     [&](Info_Device_t i, ushort a, QDate d) {
                         r.info = i;
                         r.lineAddr = a;
                         r.fwDate = d;
                     });
    QObject::connect(&m, &ConfigurationManager::controllerConfig, &guard,
                     [&](QByteArray id, Konfig_Device_t d, ETH_konf_t n, Konfig_Line_t l) {
                         r.blockId = id;
                         r.device = d;
                         r.network = n;
                         r.line = l;
                     });
    QObject::connect(&m, &ConfigurationManager::sensorConfig, &guard,
                     [&](ushort, QVector<Konfig_Section_t> v) { r.sensors = v; });
    QObject::connect(&m, &ConfigurationManager::ioModuleConfig, &guard,
                     [&](ushort, QVector<Konfig_MVV_t> v) { r.ioModules = v; });
    QObject::connect(&m, &ConfigurationManager::scpModuleConfig, &guard,
                     [&](ushort, QVector<Konfig_MKZ_t> v) { r.scpModules = v; });
    QObject::connect(&m, &ConfigurationManager::relayModuleConfig, &guard,
                     [&](ushort, QVector<Konfig_Modul_t> v) { r.relayModules = v; });
    QObject::connect(&m, &ConfigurationManager::processingConfig, &guard,
                     [&](ushort, QVector<Konfig_Proc_t> v) { r.rules = v; });
    QObject::connect(&m, &ConfigurationManager::interactionsConfig, &guard,
                     [&](ushort, QVector<Control_Relay_t> v) { r.interactions = v; });
    m.getControllerInfo();
    m.getControllerConfig();
    m.getSensorsConfig();
    m.getIoModulesConfig();
    m.getScpModulesConfig();
    m.getRelayModulesConfig();
    m.getProcessingConfig();
    m.getInteractionsConfig();
    return r;
}

template <typename T>
QMap<quint16, T> toMap(const QVector<T> &v)
{
    QMap<quint16, T> map;
    for (int i = 0; i < v.size(); ++i)
        map.insert(quint16(i), v[i]);
    return map;
}

QByteArray written(ConfigurationManager &m)
{
    QBuffer out;
    out.open(QIODevice::ReadWrite);
    check(m.writeDocument(&out), "an accepted document could not be written", m);
    return out.data();
}

bool read(ConfigurationManager &m, const QByteArray &bytes)
{
    QBuffer in;
    in.setData(bytes);
    in.open(QIODevice::ReadOnly);
    return m.readDocument(&in);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    ConfigurationManager m;
    if (!read(m, input)) {
        check(!m.lastError().isEmpty() && !m.hasDocument(), "a refusal without a reason", m);
        return 0;
    }
    const Records first = collect(m);
    check(first.readsOk == 7, "a reader failed on an accepted document", m);

    // file -> document -> file -> the same records
    ConfigurationManager again;
    check(read(again, written(m)), "a written document was refused", again);
    const Records second = collect(again);
    check(first.blockId == second.blockId && same(first.device, second.device)
              && same(first.network, second.network) && same(first.line, second.line)
              && same(first.info, second.info) && first.lineAddr == second.lineAddr
              && first.fwDate == second.fwDate,
          "controller records changed on a second read", again);
    check(same(first.sensors, second.sensors) && same(first.ioModules, second.ioModules)
              && same(first.scpModules, second.scpModules) && same(first.relayModules, second.relayModules)
              && same(first.rules, second.rules) && same(first.interactions, second.interactions),
          "table records changed on a second read", again);

    // The writers update the loaded document in place; the result must read.
    m.setControllerConfig(first.blockId, first.device, first.network, first.line);
    m.setSensorsConfig(toMap(first.sensors));
    m.setIoModulesConfig(toMap(first.ioModules));
    m.setScpModulesConfig(toMap(first.scpModules));
    m.setRelayModulesConfig(toMap(first.relayModules));
    m.setProcessingConfig(toMap(first.rules));
    m.setInteractionsConfig(toMap(first.interactions));
    ConfigurationManager third;
    check(read(third, written(m)), "a document updated by the writers was refused", third);
    const Records updated = collect(third);
    check(same(first.sensors, updated.sensors) && same(first.ioModules, updated.ioModules)
              && same(first.scpModules, updated.scpModules) && same(first.device, updated.device)
              && same(first.network, updated.network) && first.blockId == updated.blockId,
          "records changed after a pass through the writers", third);
    return 0;
}
