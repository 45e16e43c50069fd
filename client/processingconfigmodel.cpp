#include "processingconfigmodel.h"

ProcessingConfigModel::ProcessingConfigModel(QObject *parent)
    : FixedRecordTableModel(RowCount,
                      {QStringLiteral("Адрес\nмодуля"), QStringLiteral("Порог\nобнаружения"),
                       QStringLiteral("Число\nпревышений"), QStringLiteral("слева"),
                       QStringLiteral("справа"), QStringLiteral("Отношение\nуровней\nсигналов")},
                      {Qt::DisplayRole, Qt::EditRole, Qt::UserRole}, parent)
{
}

QVariant ProcessingConfigModel::data(const QModelIndex &index, int role) const
{
    if (!isCellValid(index))
        return QVariant();
    const ProcessingRuleRecord &rec = m_rows.at(index.row());
    const bool empty = rec.lineAddress == 0;
    if (role == Qt::TextAlignmentRole)
        return empty ? QVariant() : QVariant(int(Qt::AlignCenter));
    if (role != Qt::UserRole && (empty || (role != Qt::DisplayRole && role != Qt::EditRole)))
        return QVariant();
    switch (index.column()) {
    case AddressColumn: return uint(rec.lineAddress);
    case ThresholdColumn: return uint(rec.config.MRef);
    case ExceedColumn: return uint(rec.config.NExc);
    case LeftColumn: return int(rec.config.SensLeft);
    case RightColumn: return int(rec.config.SensRight);
    case RatioColumn: return uint(rec.config.Ratio);
    default: return QVariant();
    }
}

Qt::ItemFlags ProcessingConfigModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = FixedTableModel::flags(index);
    if (isEditable() && isCellValid(index) && index.column() != AddressColumn
        && m_rows.at(index.row()).lineAddress != 0)
        f |= Qt::ItemIsEditable;
    return f;
}

bool ProcessingConfigModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !isEditable() || !isCellValid(index) || index.column() == AddressColumn)
        return false;
    bool ok = false;
    LantrelProtocol::Konfig_Proc_t &rule = m_rows[index.row()].config;
    switch (index.column()) {
    case ThresholdColumn: {
        const uint v = value.toUInt(&ok);
        if (ok)
            rule.MRef = quint16(v);
        break;
    }
    case ExceedColumn:
    case RatioColumn: {
        const uint v = value.toUInt(&ok);
        if (ok)
            (index.column() == ExceedColumn ? rule.NExc : rule.Ratio) = quint8(v);
        break;
    }
    case LeftColumn:
    case RightColumn: {
        const int v = value.toInt(&ok);
        if (ok)
            (index.column() == LeftColumn ? rule.SensLeft : rule.SensRight) = qint8(v);
        break;
    }
    }
    if (!ok)
        return false;
    reportCell(index.row(), index.column(), {Qt::DisplayRole, Qt::EditRole});
    return true;
}
