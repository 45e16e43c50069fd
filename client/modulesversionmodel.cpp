#include "modulesversionmodel.h"

namespace {
constexpr int rowTotal = LineModulesModel::RowCount;
constexpr int versionColumn = 3;
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
        if (index.column() == versionColumn)
            return r.firmwareVersionText;
        return lineModuleCell(r, index.column(), role);
    case Qt::TextAlignmentRole:
        return int(Qt::AlignHCenter | Qt::AlignVCenter);
    case Qt::UserRole:
        if (index.column() == versionColumn)
            return uint(r.firmwareVersion);
        return lineModuleCell(r, index.column(), role);
    default:
        return QVariant();
    }
}

QVariant ModulesVersionModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        if (section == versionColumn)
            return QStringLiteral("Версия");
        return lineModuleCaption(section);
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}
