#include "scpmodulesconfigmodel.h"

#include "lantrelprotocol.h"

ScpModulesConfigModel::ScpModulesConfigModel(QObject *parent)
    : FixedModuleTableModel(RowCount,
                      {QStringLiteral("Адрес\nмодуля"), QStringLiteral("Тип"),
                       QStringLiteral("Серийный\nномер"), QStringLiteral("отключения"),
                       QStringLiteral("размыкания"), QStringLiteral("восстановления")},
                      {Qt::DisplayRole, Qt::UserRole}, parent)
{
}

QVariant ScpModulesConfigModel::data(const QModelIndex &index, int role) const
{
    if (!isCellValid(index))
        return QVariant();
    const ScpModuleRecord &rec = m_rows.at(index.row());
    const int column = index.column();

    if (role == Qt::UserRole) {
        switch (column) {
        case ThrMinColumn: return uint(rec.thrMin);
        case ThrOffColumn: return uint(rec.thrOff);
        case ThrOnColumn: return uint(rec.thrOn);
        default: return identityUserData(rec, column);
        }
    }
    if (rec.deviceType == LantrelProtocol::DEV_NOT)
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (column) {
    case AddressColumn:
    case TypeColumn:
    case SerialColumn:
        return identityText(rec, column);
    case ThrMinColumn: return rec.thrMinText;
    case ThrOffColumn: return rec.thrOffText;
    case ThrOnColumn: return rec.thrOnText;
    default: return QVariant();
    }
}
