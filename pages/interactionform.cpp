#include "interactionform.h"
#include "ui_interactionform.h"

#include <QCloseEvent>
#include <QSignalBlocker>

#include "appcontext.h"
#include "controllerconfigmodel.h"
#include "devicetables.h"
#include "interactiontext.h"
#include "iomodulesconfigmodel.h"
#include "lantrelclient.h"
#include "linemodulesmodel.h"
#include "moduletablepage.h"
#include "outofrange.h"
#include "relaymodulesconfigmodel.h"
#include "sensorsconfigmodel.h"
#include "uiseams.h"

using LantrelProtocol::EXT_RELY;
using LantrelProtocol::SECT_ACC;
using LantrelProtocol::SECT_ACCI;
using LantrelProtocol::SECT_MVV;

namespace {

const QString GeometryKey = QStringLiteral("InteractionForm/Geometry");
constexpr quint8 TimedFunction = 255;
constexpr int FormulaMode = 1;

const QString sensorKindText = QStringLiteral("ВТ-Л/ВС-Л");

bool sameInteraction(const InteractionRecord &a, const InteractionRecord &b)
{
    return a.sourceKind == b.sourceKind && a.sourceAddress == b.sourceAddress
           && a.sourceLoop == b.sourceLoop && a.executorType == b.executorType
           && a.executorNumber == b.executorNumber && a.executorAddressText == b.executorAddressText
           && a.relay == b.relay;
}

int relayCount(const RelayModuleRecord &module)
{
    return module.config.ExpMod != 0 ? 32 : 16;
}

bool isSourceType(int sourceKind, quint8 deviceType)
{
    if (sourceKind == SensorModuleSource)
        return deviceType == SECT_ACC || deviceType == SECT_ACCI;
    return deviceType == SECT_MVV;
}

} // namespace

bool InteractionForm::Choice::isComplete() const
{
    const bool sources = !sourceAddresses.isEmpty()
                         && (sourceKind == SensorModuleSource || (sourceKind == IoLoopSource && loop != 0));
    const bool executor = executorType != 0 && executorNumber != 0 && (executorType != EXT_RELY || relay != 0);
    return sources && executor;
}

InteractionForm::InteractionForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , ui(new Ui::InteractionForm)
    , client(appClient())
{
    ui->setupUi(this);
    connect(ui->btnSave, &QPushButton::clicked, this, &InteractionForm::saveData);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QWidget::close);

    const auto indexChanged = QOverload<int>::of(&QComboBox::currentIndexChanged);
    ui->cbSrcType->addItem(sensorKindText, int(SensorModuleSource));
    ui->cbSrcType->addItem(deviceTypeNames.value(SECT_MVV), int(IoLoopSource));
    connect(ui->cbSrcType, indexChanged, this, &InteractionForm::onSrcTypeChanged);
    connect(ui->cbSrcAddrFrom, indexChanged, this, &InteractionForm::onSrcAddrFromChanged);
    connect(ui->cbSrcAddrTo, indexChanged, this, &InteractionForm::validateData);
    connect(ui->cbSrcChild, indexChanged, this, &InteractionForm::validateData);

    ui->cbDestType->addItem(deviceTypeNames.value(SECT_MVV), int(SECT_MVV));
    ui->cbDestType->addItem(deviceTypeNames.value(EXT_RELY), int(EXT_RELY));
    connect(ui->cbDestType, indexChanged, this, &InteractionForm::onDestTypeChanged);
    connect(ui->cbDestAddr, indexChanged, this, &InteractionForm::onDestAddrChanged);
    connect(ui->cbDestChild, indexChanged, this, &InteractionForm::validateData);
    connect(ui->cbDestFunc, indexChanged, this, &InteractionForm::onDestFuncChanged);

    {
        const QSignalBlocker blockSource(ui->cbSrcType);
        const QSignalBlocker blockExecutor(ui->cbDestType);
        ui->cbSrcType->setCurrentIndex(0);
        ui->cbDestType->setCurrentIndex(0);
    }
    onSrcTypeChanged();
    onDestTypeChanged();

    const QByteArray geometry = readHexSetting(GeometryKey);
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
}

InteractionForm::~InteractionForm()
{
    delete ui;
}

void InteractionForm::loadInteraction(ushort row, const InteractionRecord &record)
{
    editRow = row;
    isNew = false;
    edited = record;

    ModuleTable::selectData(ui->cbSrcType, record.sourceKind);
    const LineModuleRecord source = client->lineModulesModel()->moduleAt(record.sourceAddress);
    ModuleTable::selectData(ui->cbSrcAddrFrom, uint(source.tableIndex));
    if (record.sourceKind == IoLoopSource)
        ModuleTable::selectData(ui->cbSrcChild, uint(record.sourceLoop));

    // An executor the tables have no place for is shown as held, marked.
    OutOfRange::showInComboBox(ui->cbDestType, int(record.executorType));
    OutOfRange::showInComboBox(ui->cbDestAddr, int(record.executorNumber));
    if (record.executorType == EXT_RELY)
        OutOfRange::showInComboBox(ui->cbDestChild, int(record.relay));

    const bool formula = record.function != 0 && record.function != TimedFunction;
    if (formula && ui->cbDestFunc->findData(FormulaMode) >= 0) {
        ModuleTable::selectData(ui->cbDestFunc, FormulaMode);
        ui->edtDestFormula->setValue(record.function);
    } else {
        OutOfRange::showInComboBox(ui->cbDestFunc, int(record.function));
    }

    // The source of an interaction cannot be changed.
    ui->cbSrcType->setEnabled(false);
    ui->cbSrcAddrFrom->setEnabled(false);
    ui->cbSrcAddrTo->setEnabled(false);
    ui->cbSrcChild->setEnabled(false);
    ui->btnSave->setText(QStringLiteral("Сохранить"));
    validateData();
}

void InteractionForm::closeEvent(QCloseEvent *event)
{
    const QByteArray geometry = saveGeometry();
    if (!geometry.isEmpty())
        writeHexSetting(GeometryKey, geometry);
    event->accept();
}

void InteractionForm::onSrcTypeChanged()
{
    const int kind = ui->cbSrcType->currentData().toInt();
    setUpdatesEnabled(false);
    {
        const QSignalBlocker blockFrom(ui->cbSrcAddrFrom);
        const QSignalBlocker blockTo(ui->cbSrcAddrTo);
        const QSignalBlocker blockLoop(ui->cbSrcChild);
        ui->cbSrcAddrFrom->clear();
        ui->cbSrcAddrTo->clear();
        ui->cbSrcChild->clear();
        // The module tables are packed from their first row.
        if (kind == SensorModuleSource) {
            const SensorsConfigModel *sensors = client->sensorsConfigModel();
            for (int row = 0; row < SensorsConfigModel::RowCount; ++row) {
                const SensorModuleRecord module = sensors->moduleAt(ushort(row));
                if (module.deviceType == 0)
                    break;
                ui->cbSrcAddrFrom->addItem(QString::number(module.lineAddress), row);
                ui->cbSrcAddrTo->addItem(QString::number(module.lineAddress), row);
            }
        } else if (kind == IoLoopSource) {
            const IoModulesConfigModel *modules = client->ioModulesConfigModel();
            for (int row = 0; row < IoModulesConfigModel::RowCount; ++row) {
                const IoModuleRecord module = modules->moduleAt(ushort(row));
                if (module.deviceType == 0)
                    break;
                ui->cbSrcAddrFrom->addItem(QString::number(module.lineAddress), row);
            }
            ui->cbSrcChild->addItem(QStringLiteral("1"), 1);
            ui->cbSrcChild->addItem(QStringLiteral("2"), 2);
        }
    }
    ui->lblAddrFrom->setText(kind == SensorModuleSource ? QStringLiteral("Адрес с:") : QStringLiteral("Адрес:"));
    ui->lblAddrTo->setVisible(kind == SensorModuleSource);
    ui->cbSrcAddrTo->setVisible(kind == SensorModuleSource);
    ui->lblScrChild->setVisible(kind == IoLoopSource);
    ui->cbSrcChild->setVisible(kind == IoLoopSource);
    setUpdatesEnabled(true);
    if (isNew)
        validateData();
}

void InteractionForm::onSrcAddrFromChanged()
{
    // The range end follows the start; set below it by hand, it only
    // disables saving.
    if (ui->cbSrcType->currentData().toInt() == SensorModuleSource
        && ui->cbSrcAddrTo->currentIndex() < ui->cbSrcAddrFrom->currentIndex()) {
        const QSignalBlocker block(ui->cbSrcAddrTo);
        ui->cbSrcAddrTo->setCurrentIndex(ui->cbSrcAddrFrom->currentIndex());
    }
    if (isNew)
        validateData();
}

void InteractionForm::onDestTypeChanged()
{
    const int type = ui->cbDestType->currentData().toInt();
    setUpdatesEnabled(false);
    {
        const QSignalBlocker blockAddress(ui->cbDestAddr);
        const QSignalBlocker blockFunction(ui->cbDestFunc);
        ui->cbDestAddr->clear();
        ui->cbDestFunc->clear();
        ui->cbDestFunc->addItem(relayModeNames.value(0), 0);
        ui->cbDestFunc->addItem(relayModeNames.value(TimedFunction), TimedFunction);
        if (type == SECT_MVV) {
            const IoModulesConfigModel *modules = client->ioModulesConfigModel();
            for (int row = 0; row < modules->rowCount(); ++row) {
                const IoModuleRecord module = modules->moduleAt(ushort(row));
                if (module.deviceType == 0)
                    break;
                ui->cbDestAddr->addItem(QString::number(module.lineAddress), row + 1);
            }
        } else if (type == EXT_RELY) {
            const RelayModulesConfigModel *modules = client->relayModulesConfigModel();
            for (int row = 0; row < modules->rowCount(); ++row) {
                const RelayModuleRecord module = modules->moduleAt(row);
                ui->cbDestAddr->addItem(module.ipAddress, module.configIndex + 1);
            }
            ui->cbDestFunc->addItem(relayModeNames.value(FormulaMode), FormulaMode);
        }
    }
    ui->lblDestChild->setVisible(type == EXT_RELY);
    ui->cbDestChild->setVisible(type == EXT_RELY);
    fillRelays();
    onDestFuncChanged();
    setUpdatesEnabled(true);
    if (isNew)
        validateData();
}

void InteractionForm::onDestAddrChanged()
{
    fillRelays();
    validateData();
}

// The relays of the chosen relay module: 16, or 32 for an expansion module.
void InteractionForm::fillRelays()
{
    const QSignalBlocker block(ui->cbDestChild);
    const QVariant chosen = ui->cbDestChild->currentData();
    ui->cbDestChild->clear();
    if (ui->cbDestType->currentData().toInt() != EXT_RELY || ui->cbDestAddr->currentIndex() < 0)
        return;
    const int number = ui->cbDestAddr->currentData().toInt();
    const int count = relayCount(client->relayModulesConfigModel()->moduleByIndex(quint16(number - 1)));
    for (int relay = 1; relay <= count; ++relay)
        ui->cbDestChild->addItem(QString::number(relay), relay);
    ui->cbDestChild->setCurrentIndex(qMax(0, ui->cbDestChild->findData(chosen)));
}

void InteractionForm::onDestFuncChanged()
{
    const bool formula = ui->cbDestFunc->currentData().toInt() == FormulaMode;
    ui->lblDestFormula->setVisible(formula);
    ui->edtDestFormula->setVisible(formula);
}

QVector<quint16> InteractionForm::rangeAddresses() const
{
    const int first = ui->cbSrcAddrFrom->currentIndex();
    const int last = ui->cbSrcAddrTo->currentIndex();
    QVector<quint16> addresses;
    if (first < 0 || last < first)
        return addresses;
    for (int i = first; i <= last; ++i)
        addresses.append(ui->cbSrcAddrFrom->itemText(i).toUShort());
    return addresses;
}

InteractionForm::Choice InteractionForm::readChoice() const
{
    Choice c;
    if (isNew) {
        c.sourceKind = ui->cbSrcType->currentData().toInt();
        if (c.sourceKind == SensorModuleSource) {
            c.sourceAddresses = rangeAddresses();
        } else if (ui->cbSrcAddrFrom->currentIndex() >= 0) {
            c.sourceAddresses.append(ui->cbSrcAddrFrom->currentText().toUShort());
            c.loop = quint8(ui->cbSrcChild->currentData().toUInt());
        }
    } else {
        c.sourceKind = edited.sourceKind;
        c.sourceAddresses.append(edited.sourceAddress);
        c.loop = edited.sourceLoop;
    }
    c.executorType = quint8(ui->cbDestType->currentData().toUInt());
    c.executorNumber = quint16(ui->cbDestAddr->currentData().toUInt());
    c.executorText = ui->cbDestAddr->currentText();
    if (c.executorType == EXT_RELY)
        c.relay = quint8(ui->cbDestChild->currentData().toUInt());
    const int mode = ui->cbDestFunc->currentData().toInt();
    c.function = quint8(mode == FormulaMode ? ui->edtDestFormula->value() : mode);
    return c;
}

bool InteractionForm::isUnique(const Choice &choice, int skipRow) const
{
    const InteractionsConfigModel *model = client->interactionsConfigModel();
    for (const quint16 address : choice.sourceAddresses) {
        if (!model->isUnique(choice.sourceKind, address, choice.loop, choice.executorType,
                             choice.executorNumber, choice.relay, short(skipRow)))
            return false;
    }
    return true;
}

void InteractionForm::validateData()
{
    const Choice c = readChoice();
    ui->btnSave->setEnabled(c.isComplete() && isUnique(c, isNew ? -1 : editedRow()));
}

int InteractionForm::editedRow() const
{
    const InteractionsConfigModel *model = client->interactionsConfigModel();
    if (sameInteraction(model->interactionAt(editRow), edited))
        return editRow;
    for (int row = 0; row < model->rowCount(); ++row) {
        if (sameInteraction(model->interactionAt(row), edited))
            return row;
    }
    return -1;
}

QString InteractionForm::missingPart(const Choice &choice) const
{
    if (isNew) {
        const LineModulesModel *line = client->lineModulesModel();
        for (const quint16 address : choice.sourceAddresses) {
            if (!isSourceType(choice.sourceKind, line->moduleAt(address).deviceType)) {
                const QString kind = choice.sourceKind == SensorModuleSource ? sensorKindText
                                                                             : deviceTypeNames.value(SECT_MVV);
                return QStringLiteral("%1 с адресом %2").arg(kind).arg(address);
            }
        }
    }
    if (choice.executorType == SECT_MVV) {
        const IoModuleRecord module = client->ioModulesConfigModel()->moduleAt(ushort(choice.executorNumber - 1));
        if (module.deviceType != SECT_MVV || QString::number(module.lineAddress) != choice.executorText)
            return QStringLiteral("%1 с адресом %2").arg(deviceTypeNames.value(SECT_MVV), choice.executorText);
        return QString();
    }
    const RelayModulesConfigModel *modules = client->relayModulesConfigModel();
    const quint16 index = quint16(choice.executorNumber - 1);
    const RelayModuleRecord module = modules->moduleByIndex(index);
    const QString name = QStringLiteral("%1 %2").arg(deviceTypeNames.value(EXT_RELY), choice.executorText);
    if (!modules->indexOf(index).isValid() || module.ipAddress != choice.executorText)
        return name;
    if (choice.relay > relayCount(module))
        return QStringLiteral("Реле %1 %2").arg(choice.relay).arg(name);
    return QString();
}

// The hold time a timed function shows. A relay without one gets the
// controller's relay time (a relay module counts half-seconds).
quint8 InteractionForm::ensureRelayTime(const Choice &choice)
{
    if (choice.function != TimedFunction)
        return 0;
    const quint8 controllerTime = client->controllerConfigModel()->deviceConfig.TSign;
    if (choice.executorType == EXT_RELY) {
        RelayModulesConfigModel *modules = client->relayModulesConfigModel();
        const quint16 index = quint16(choice.executorNumber - 1);
        const quint8 time = modules->moduleByIndex(index).config.Relays[choice.relay - 1].TSign;
        if (time != 0)
            return time;
        const quint8 halfSeconds = quint8(qMin(2 * int(controllerTime), 255));
        // Through setData, so that the texts of the relay's other interactions follow.
        modules->setData(modules->index(modules->indexOf(index).row(),
                                        RelayModulesConfigModel::FirstRelayColumn + choice.relay - 1),
                         uint(halfSeconds));
        return halfSeconds;
    }
    IoModulesConfigModel *modules = client->ioModulesConfigModel();
    const int row = choice.executorNumber - 1;
    const quint8 time = modules->moduleAt(ushort(row)).relayTime;
    if (time != 0)
        return time;
    modules->setData(modules->index(row, IoModulesConfigModel::RelayTimeColumn), uint(controllerTime));
    return controllerTime;
}

InteractionRecord InteractionForm::buildRecord(const Choice &choice, quint16 sourceAddress,
                                               quint8 relayTime) const
{
    InteractionRecord r;
    r.sourceKind = choice.sourceKind;
    r.sourceText = client->lineModulesModel()->moduleAt(sourceAddress).typeName;
    r.sourceAddress = sourceAddress;
    r.sourceLoop = choice.loop;
    r.executorType = choice.executorType;
    r.executorTypeText = deviceTypeNames.value(choice.executorType);
    r.executorNumber = choice.executorNumber;
    r.executorAddressText = choice.executorText;
    r.relay = choice.relay;
    r.function = choice.function;
    r.functionText = interactionFunctionText(choice.function, choice.executorType, relayTime);
    return r;
}

// One interaction per source, each raising its source's reference count;
// false when the table filled up on the way.
bool InteractionForm::addInteractions(const Choice &choice, quint8 relayTime)
{
    InteractionsConfigModel *model = client->interactionsConfigModel();
    bool added = false;
    for (const quint16 address : choice.sourceAddresses) {
        if (!model->addInteraction(buildRecord(choice, address, relayTime))) {
            warn(QStringLiteral("Ошибка добавления взаимодействия для источника с адресом %1").arg(address));
            if (added)
                emit dataChanged();
            return false;
        }
        added = true;
        const quint16 index = client->lineModulesModel()->moduleAt(address).tableIndex;
        if (choice.sourceKind == SensorModuleSource)
            client->sensorsConfigModel()->addReference(index);
        else
            client->ioModulesConfigModel()->addReference(index, choice.loop);
    }
    if (added)
        emit dataChanged();
    return true;
}

void InteractionForm::warn(const QString &text)
{
    UiSeams::messageBox(this, QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok);
}

void InteractionForm::saveData()
{
    const Choice c = readChoice();
    int row = -1;
    if (!isNew) {
        row = editedRow();
        if (row < 0) {
            warn(QStringLiteral("Взаимодействие отсутствует в конфигурации, изменения не сохранены"));
            close();
            return;
        }
    }
    // The tables may have been read again since the lists were filled.
    const QString missing = missingPart(c);
    if (!missing.isEmpty()) {
        warn(QStringLiteral("%1 отсутствует в конфигурации, взаимодействие не сохранено").arg(missing));
        close();
        return;
    }
    if (!isUnique(c, row)) {
        warn(QStringLiteral("Такое взаимодействие уже есть в конфигурации"));
        validateData();
        return;
    }
    const quint8 relayTime = ensureRelayTime(c);
    if (isNew) {
        if (addInteractions(c, relayTime))
            close();
        return;
    }
    client->interactionsConfigModel()->updateInteraction(ushort(row), buildRecord(c, edited.sourceAddress, relayTime));
    close();
}
