#include "modulesversionmodel.h"

namespace {
constexpr int rowTotal = LineModulesModel::RowCount;
}

ModulesVersionModel::ModulesVersionModel(QObject *parent)
    : QAbstractTableModel(parent)
{
    m_rows.resize(rowTotal);
    for (int row = 0; row < rowTotal; ++row)
        m_rows[row].lineAddress = static_cast<quint16>(row + 1);
}

void ModulesVersionModel::setModule(const LineModuleRecord &record)
{
    if (record.lineAddress < 1 || record.lineAddress > rowTotal)
        return;
    const int row = record.lineAddress - 1;
    m_rows[row] = record;
    emit dataChanged(index(row, 0), index(row, m_columnCount - 1),
                     {Qt::DisplayRole, Qt::UserRole});
}

LineModuleRecord ModulesVersionModel::moduleAt(quint16 lineAddress) const
{
    if (lineAddress < 1 || lineAddress > rowTotal)
        return LineModuleRecord();
    return m_rows.at(lineAddress - 1);
}

int ModulesVersionModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rowTotal;
}

int ModulesVersionModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columnCount;
}

QVariant ModulesVersionModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= rowTotal || index.column() < 0
        || index.column() >= m_columnCount)
        return QVariant();
    const LineModuleRecord &r = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case 0:
            return int(r.lineAddress);
        case 1:
            return r.typeName;
        case 2:
            return r.serialNumberText;
        default:
            return r.firmwareVersionText;
        }
    case Qt::TextAlignmentRole:
        return int(Qt::AlignHCenter | Qt::AlignVCenter);
    case Qt::UserRole:
        switch (index.column()) {
        case 0:
            return uint(r.tableIndex);
        case 1:
            return uint(r.deviceType);
        case 2:
            return uint(r.serialNumber);
        default:
            return uint(r.firmwareVersion);
        }
    default:
        return QVariant();
    }
}

QVariant ModulesVersionModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        switch (section) {
        case 0:
            return QStringLiteral("Адрес модуля");
        case 1:
            return QStringLiteral("Тип модуля");
        case 2:
            return QStringLiteral("Серийный номер");
        case 3:
            return QStringLiteral("Версия");
        default:
            return QVariant();
        }
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}
