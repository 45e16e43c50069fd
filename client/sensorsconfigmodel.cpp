#include "sensorsconfigmodel.h"

#include "lantrelprotocol.h"

SensorsConfigModel::SensorsConfigModel(QObject *parent)
    : FixedModuleTableModel(RowCount,
                      {QStringLiteral("Адрес\nмодуля"), QStringLiteral("Тип"),
                       QStringLiteral("Серийный\nномер"), QStringLiteral("Диапазон\nускорения"),
                       QStringLiteral("Частота\nФНЧ"), QStringLiteral("Частота\nФВЧ"),
                       QStringLiteral("Адаптивный\nфильтр"), QStringLiteral("Порог ИК\nканала, мВ"),
                       QStringLiteral("Количество\nпревышений\nсигнала ИК"),
                       QStringLiteral("правило"), QStringLiteral("время\nожидания"),
                       QStringLiteral("Количество\nссылок")},
                      {Qt::DisplayRole, Qt::EditRole, Qt::UserRole}, parent)
{
}

QVariant SensorsConfigModel::data(const QModelIndex &index, int role) const
{
    if (!isCellValid(index))
        return QVariant();
    const SensorModuleRecord &rec = m_rows.at(index.row());
    const int column = index.column();

    if (role == Qt::UserRole)
        return identityUserData(rec, column);
    if (rec.deviceType == LantrelProtocol::DEV_NOT)
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();

    const bool display = role == Qt::DisplayRole;
    const bool withIr = rec.deviceType == LantrelProtocol::SECT_ACCI;
    switch (column) {
    case AddressColumn:
    case TypeColumn:
    case SerialColumn:
        return display ? identityText(rec, column) : QVariant();
    case RangeColumn:
        return uint(rec.range);
    case LowPassColumn:
        return uint(rec.lowPassFilter);
    case HighPassColumn:
        return uint(rec.highPassFilter);
    case AdaptiveColumn:
        return uint(rec.adaptiveFilter);
    case IrThresholdColumn:
        return withIr ? QVariant(uint(rec.irThreshold)) : QVariant();
    case IrExceedColumn:
        return withIr ? QVariant(uint(rec.irExceedCount)) : QVariant();
    case RuleColumn:
        return withIr ? QVariant(uint(rec.rule)) : QVariant();
    case WaitTimeColumn:
        // The wait time is shown only under rule "И", but an editor may start from it.
        if (!withIr || (display && rec.rule != 1))
            return QVariant();
        return uint(rec.waitTime);
    case RefCountColumn:
        return display ? QVariant(uint(rec.refCount)) : QVariant();
    default:
        return QVariant();
    }
}

Qt::ItemFlags SensorsConfigModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = FixedTableModel::flags(index);
    if (!isEditable() || !isCellValid(index))
        return f;
    const SensorModuleRecord &rec = m_rows.at(index.row());
    const int column = index.column();
    bool editable = false;
    if (rec.deviceType != LantrelProtocol::DEV_NOT && column >= RangeColumn
        && column <= AdaptiveColumn)
        editable = true;
    else if (rec.deviceType == LantrelProtocol::SECT_ACCI && column >= IrThresholdColumn
             && column <= RuleColumn)
        editable = true;
    else if (rec.deviceType == LantrelProtocol::SECT_ACCI && column == WaitTimeColumn)
        editable = rec.rule == 1;
    if (editable)
        f |= Qt::ItemIsEditable;
    return f;
}

bool SensorsConfigModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !isEditable() || !isCellValid(index))
        return false;
    const int column = index.column();
    if (column < RangeColumn || column > WaitTimeColumn)
        return false;
    bool ok = false;
    const uint number = value.toUInt(&ok);
    if (!ok)
        return false;
    const quint8 v = quint8(number);
    SensorModuleRecord &rec = m_rows[index.row()];
    if (column >= IrThresholdColumn && rec.deviceType == LantrelProtocol::SECT_ACC)
        return false;

    switch (column) {
    case RangeColumn: rec.range = v; break;
    case LowPassColumn: rec.lowPassFilter = v; break;
    case HighPassColumn: rec.highPassFilter = v; break;
    case AdaptiveColumn: rec.adaptiveFilter = v; break;
    case IrThresholdColumn: rec.irThreshold = v; break;
    case IrExceedColumn: rec.irExceedCount = v; break;
    case RuleColumn:
        // Only "ИЛИ" (0) and "И" (1) exist; anything else would show a rule
        // the controller byte does not hold.
        if (number > 1)
            return false;
        // "И" starts with a wait time of 1, "ИЛИ" is wait time 0.
        rec.rule = v;
        rec.waitTime = v;
        emit dataChanged(index, this->index(index.row(), WaitTimeColumn),
                         {Qt::DisplayRole, Qt::EditRole});
        return true;
    case WaitTimeColumn:
        // The byte is the rule too: under "И" a wait time of 0 (or one that
        // wraps to 0) would turn it into "ИЛИ".
        if (rec.rule == 1 && (number == 0 || number > 255))
            return false;
        rec.waitTime = v;
        break;
    }
    reportCell(index.row(), column, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

bool SensorsConfigModel::addReference(ushort index)
{
    return stepCount(index, &SensorModuleRecord::refCount, 1, RefCountColumn);
}

bool SensorsConfigModel::removeReference(ushort index)
{
    return stepCount(index, &SensorModuleRecord::refCount, -1, RefCountColumn);
}

void SensorsConfigModel::readdressRow(int row, quint16 lineAddress)
{
    m_rows[row].lineAddress = lineAddress;
    m_rows[row].refCount = 0;
}
