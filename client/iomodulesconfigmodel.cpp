#include "iomodulesconfigmodel.h"

#include "lantrelprotocol.h"

IoModulesConfigModel::IoModulesConfigModel(QObject *parent)
    : FixedTableModel(RowCount,
                      {QStringLiteral("Адрес\nмодуля"), QStringLiteral("Тип"),
                       QStringLiteral("Серийный\nномер"), QStringLiteral("Шлейф 1"),
                       QStringLiteral("Шлейф 2"), QStringLiteral("Выходное\nреле"),
                       QStringLiteral("Время\nудержания"), QStringLiteral("шлейф 1"),
                       QStringLiteral("шлейф 2")},
                      {Qt::DisplayRole, Qt::EditRole, Qt::UserRole}, parent)
    , m_rows(RowCount)
{
}

QVariant IoModulesConfigModel::data(const QModelIndex &index, int role) const
{
    if (!isCellValid(index))
        return QVariant();
    const IoModuleRecord &rec = m_rows.at(index.row());
    const int column = index.column();

    if (role == Qt::UserRole) {
        if (column == TypeColumn)
            return uint(rec.deviceType);
        if (column == SerialColumn)
            return uint(rec.serialNumber);
        return QVariant();
    }
    if (rec.deviceType == LantrelProtocol::DEV_NOT)
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    if (role == Qt::EditRole) {
        switch (column) {
        case Loop1ModeColumn: return uint(rec.loop1Mode);
        case Loop2ModeColumn: return uint(rec.loop2Mode);
        case RelayContactColumn: return uint(rec.relayContact);
        case RelayTimeColumn: return uint(rec.relayTime);
        default: return QVariant();
        }
    }
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (column) {
    case AddressColumn: return uint(rec.lineAddress);
    case TypeColumn: return rec.deviceTypeName;
    case SerialColumn: return rec.serialNumberText;
    case Loop1ModeColumn: return uint(rec.loop1Mode);
    case Loop2ModeColumn: return uint(rec.loop2Mode);
    case RelayContactColumn: return uint(rec.relayContact);
    case RelayTimeColumn: return uint(rec.relayTime);
    case Loop1RefColumn: return uint(rec.loop1RefCount);
    case Loop2RefColumn: return uint(rec.loop2RefCount);
    default: return QVariant();
    }
}

Qt::ItemFlags IoModulesConfigModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = FixedTableModel::flags(index);
    if (isCellValid(index) && m_rows.at(index.row()).deviceType != LantrelProtocol::DEV_NOT
        && index.column() >= Loop1ModeColumn && index.column() <= RelayTimeColumn)
        f |= Qt::ItemIsEditable;
    return f;
}

bool IoModulesConfigModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !isCellValid(index))
        return false;
    const int column = index.column();
    if (column < Loop1ModeColumn || column > RelayTimeColumn)
        return false;
    bool ok = false;
    const uint number = value.toUInt(&ok);
    if (!ok)
        return false;
    // A loop mode has two bits and the contact one: a wider value would spill
    // into the neighbouring field of the configuration byte.
    if ((column == Loop1ModeColumn || column == Loop2ModeColumn) && number > 3)
        return false;
    if (column == RelayContactColumn && number > 1)
        return false;
    const quint8 v = quint8(number);
    IoModuleRecord &rec = m_rows[index.row()];
    switch (column) {
    case Loop1ModeColumn:
        rec.loop1Mode = v;
        rec.config = quint8((rec.config & 0xC2) | (v << 4));
        break;
    case Loop2ModeColumn:
        rec.loop2Mode = v;
        rec.config = quint8((rec.config & 0x32) | (v << 6));
        break;
    case RelayContactColumn:
        rec.relayContact = v;
        rec.config = quint8((rec.config & 0xF0) | (v << 1));
        break;
    case RelayTimeColumn:
        rec.relayTime = v;
        emit relayTimeChanged(LantrelProtocol::SECT_MVV, ushort(index.row()), 0, v);
        break;
    }
    reportCell(index.row(), column, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

void IoModulesConfigModel::clear()
{
    for (IoModuleRecord &rec : m_rows)
        rec = IoModuleRecord();
    reportTable();
}

IoModuleRecord IoModulesConfigModel::moduleAt(ushort index) const
{
    return index < m_rows.size() ? m_rows.at(index) : IoModuleRecord();
}

bool IoModulesConfigModel::setModule(ushort index, const IoModuleRecord &record)
{
    if (!isRowValid(index))
        return false;
    m_rows[index] = record;
    reportRow(index);
    return true;
}

bool IoModulesConfigModel::insertModule(const IoModuleRecord &record, quint16 *index)
{
    if (record.deviceType == LantrelProtocol::DEV_NOT)
        return false;
    const int pos = prepareInsertion(record.lineAddress);
    if (pos < 0)
        return false;
    if (index)
        *index = quint16(pos);
    return setModule(ushort(pos), record);
}

bool IoModulesConfigModel::moveModule(ushort index, ushort lineAddress, quint16 *newIndex)
{
    const int dest = moveToAddress(index, lineAddress);
    if (dest < 0)
        return false;
    if (newIndex)
        *newIndex = quint16(dest);
    return true;
}

bool IoModulesConfigModel::removeModule(ushort index)
{
    return removeRowAt(index);
}

bool IoModulesConfigModel::addReference(ushort index, uchar loop)
{
    if (!isRowValid(index))
        return false;
    IoModuleRecord &rec = m_rows[index];
    quint8 &count = loop == 1 ? rec.loop1RefCount : rec.loop2RefCount;
    if (count == 0xFF)
        return false;
    ++count;
    reportCell(index, loop == 1 ? Loop1RefColumn : Loop2RefColumn, {Qt::DisplayRole});
    return true;
}

bool IoModulesConfigModel::removeReference(ushort index, uchar loop)
{
    if (!isRowValid(index))
        return false;
    IoModuleRecord &rec = m_rows[index];
    quint8 &count = loop == 1 ? rec.loop1RefCount : rec.loop2RefCount;
    if (count == 0)
        return false;
    --count;
    reportCell(index, loop == 1 ? Loop1RefColumn : Loop2RefColumn, {Qt::DisplayRole});
    return true;
}

bool IoModulesConfigModel::isEmptyRow(int row) const
{
    return m_rows.at(row).deviceType == LantrelProtocol::DEV_NOT;
}

quint16 IoModulesConfigModel::rowLineAddress(int row) const
{
    return m_rows.at(row).lineAddress;
}

void IoModulesConfigModel::emptyRow(int row)
{
    m_rows[row] = IoModuleRecord();
}

void IoModulesConfigModel::rotateRow(int from, int to)
{
    rotateVector(m_rows, from, to);
}

void IoModulesConfigModel::readdressRow(int row, quint16 lineAddress)
{
    m_rows[row].lineAddress = lineAddress;
    m_rows[row].loop1RefCount = 0;
    m_rows[row].loop2RefCount = 0;
}
