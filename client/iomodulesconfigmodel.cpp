#include "iomodulesconfigmodel.h"

#include "lantrelprotocol.h"

IoModulesConfigModel::IoModulesConfigModel(QObject *parent)
    : FixedModuleTableModel(RowCount,
                      {QStringLiteral("Адрес\nмодуля"), QStringLiteral("Тип"),
                       QStringLiteral("Серийный\nномер"), QStringLiteral("Шлейф 1"),
                       QStringLiteral("Шлейф 2"), QStringLiteral("Выходное\nреле"),
                       QStringLiteral("Время\nудержания"), QStringLiteral("шлейф 1"),
                       QStringLiteral("шлейф 2")},
                      {Qt::DisplayRole, Qt::EditRole, Qt::UserRole}, parent)
{
}

QVariant IoModulesConfigModel::data(const QModelIndex &index, int role) const
{
    if (!isCellValid(index))
        return QVariant();
    const IoModuleRecord &rec = m_rows.at(index.row());
    const int column = index.column();

    if (role == Qt::UserRole)
        return identityUserData(rec, column);
    if (rec.deviceType == LantrelProtocol::DEV_NOT)
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();

    // Only the editable columns have edit data.
    const bool display = role == Qt::DisplayRole;
    switch (column) {
    case AddressColumn:
    case TypeColumn:
    case SerialColumn:
        return display ? identityText(rec, column) : QVariant();
    case Loop1ModeColumn: return uint(rec.loop1Mode);
    case Loop2ModeColumn: return uint(rec.loop2Mode);
    case RelayContactColumn: return uint(rec.relayContact);
    case RelayTimeColumn: return uint(rec.relayTime);
    case Loop1RefColumn: return display ? QVariant(uint(rec.loop1RefCount)) : QVariant();
    case Loop2RefColumn: return display ? QVariant(uint(rec.loop2RefCount)) : QVariant();
    default: return QVariant();
    }
}

Qt::ItemFlags IoModulesConfigModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = FixedTableModel::flags(index);
    if (isEditable() && isCellValid(index) && m_rows.at(index.row()).deviceType != LantrelProtocol::DEV_NOT
        && index.column() >= Loop1ModeColumn && index.column() <= RelayTimeColumn)
        f |= Qt::ItemIsEditable;
    return f;
}

bool IoModulesConfigModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !isEditable() || !isCellValid(index))
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

bool IoModulesConfigModel::addReference(ushort index, uchar loop)
{
    if (loop == 1)
        return stepCount(index, &IoModuleRecord::loop1RefCount, 1, Loop1RefColumn);
    return stepCount(index, &IoModuleRecord::loop2RefCount, 1, Loop2RefColumn);
}

bool IoModulesConfigModel::removeReference(ushort index, uchar loop)
{
    if (loop == 1)
        return stepCount(index, &IoModuleRecord::loop1RefCount, -1, Loop1RefColumn);
    return stepCount(index, &IoModuleRecord::loop2RefCount, -1, Loop2RefColumn);
}

void IoModulesConfigModel::readdressRow(int row, quint16 lineAddress)
{
    m_rows[row].lineAddress = lineAddress;
    m_rows[row].loop1RefCount = 0;
    m_rows[row].loop2RefCount = 0;
}
