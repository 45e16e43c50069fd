// The addressing mode of the line modules page: the current module, the free
// addresses, and the address changes with what they do to the configuration.

#include "linemodulesform.h"
#include "ui_linemodulesform.h"

#include <QPointer>

#include "appcontext.h"
#include "clientanswerwait.h"
#include "devicetables.h"
#include "interactionsconfigmodel.h"
#include "lantrelclient.h"
#include "linemodulesfiltermodel.h"
#include "linemodulesmodel.h"
#include "linemodulesrules.h"
#include "restartquestion.h"
#include "texthelpers.h"
#include "uiseams.h"

using namespace LantrelProtocol;

namespace {
// The driver gives up on a silent controller within about a minute at worst
// (each of its waits ends after 500 reads); the page waits a little longer.
int addressingAnswerTimeoutMs = 90000;

const QString NoAddressText = QStringLiteral("нет");
const QString NoAskText = QStringLiteral("Не показывать больше в этом сеансе");

bool isSensor(quint8 type)
{
    return type == SECT_ACCI || type == SECT_ACC;
}

// Modules of one kind share a configuration table.
int moduleKind(quint8 type)
{
    return isSensor(type) ? int(SECT_ACC) : int(type);
}

QString typeName(quint8 type)
{
    return deviceTypeNames.value(type);
}

QMessageBox::StandardButton askWithNoAsk(QWidget *parent, const QString &text, bool *noAsk)
{
    return UiSeams::messageBoxWithCheckBox(parent, QMessageBox::Question, parent->windowTitle(), text, NoAskText,
                                           noAsk, QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
}
} // namespace

int LineModulesForm::answerTimeoutMs()
{
    return addressingAnswerTimeoutMs;
}

void LineModulesForm::setAnswerTimeoutMs(int ms)
{
    addressingAnswerTimeoutMs = ms;
}

void LineModulesForm::updateFreeAddressSet()
{
    freeAddresses.clear();
    for (quint16 address = 1; address <= LineModulesModel::RowCount; ++address) {
        if (lineModules()->moduleAt(address).deviceType == DEV_NOT)
            freeAddresses.insert(address);
    }
}

// ---------------------------------------------------------------------------
// Start and end

void LineModulesForm::beginAddressingMode()
{
    if (addressingMode || waiting)
        return;
    updateFreeAddressSet();
    const bool useMagnet = selectionMode == 0;
    bool started = false;
    if (client()->addressingMode()) {
        // The line is in the configuration mode already (its start was
        // answered after the page had given up): the client will not
        // announce it again.
        client()->setAddressingMode(false, useMagnet);
        started = true;
    } else {
        QPointer<LineModulesForm> self(this);
        ClientAnswerWait wait(client(), &LantrelClient::addressModeStarted, this, addressingAnswerTimeoutMs);
        waiting = true;
        updateActions();
        const ClientAnswerWait::Outcome outcome = wait.run([this, useMagnet]() {
            QMetaObject::invokeMethod(client(), "setAddressingMode", Qt::QueuedConnection, Q_ARG(bool, true),
                                      Q_ARG(bool, useMagnet));
        });
        if (!self)
            return;
        waiting = false;
        started = wait.answer();
        if (outcome == ClientAnswerWait::TimedOut)
            UiSeams::messageBox(this, QMessageBox::Warning, windowTitle(),
                                QStringLiteral("<p>ЦУ-Л не ответил на команду установки режима конфигурирования линии.</p>"));
    }

    if (started) {
        clearCurrentModule();
        ui->edtNewAddress->setValue(0);
        addressingMode = true;
        ui->frameAddressing->show();
        ui->ckAllowGroup->setEnabled(selectionMode == 1);
        ui->ckAllowGroup->setChecked(false);
    }
    updateActions();
}

void LineModulesForm::endAddressingMode()
{
    if (!addressingMode)
        return;
    // The mode ends with a restart; the client asks about memory not saved
    // to flash unless this one question already did.
    const bool unflashed = !client()->configSaved();
    if (client()->lineModulesChanged()) {
        const auto answer = UiSeams::messageBox(
            this, QMessageBox::Question, windowTitle(),
            QStringLiteral("<p><b>Внимание!</b> Конфигурация линейных модулей была изменена.</p>"
                           "<p>Завершение режима адресации перезапускает ЦУ-Л (команда «Перезапуск ЦУ-Л»). Перед "
                           "этим сохраните конфигурацию командой «Сохранить конфигурацию»: она передаст изменения "
                           "в ЦУ-Л и сохранит их в его энергонезависимой памяти.<br/>"
                           "Если этого не сделать и в ЦУ-Л есть предыдущая конфигурация модулей, то после "
                           "перезапуска возможен конфликт конфигураций.<br/>"
                           "При отсутствии в ЦУ-Л предыдущей конфигурации модулей можно завершить режим адресации "
                           "без сохранения изменений.</p>%1"
                           "<p>Продолжить завершение режима адресации модулей?</p>")
                .arg(unflashed ? unflashedConfigParagraph() : QString()),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer == QMessageBox::No)
            return;
    } else if (unflashed) {
        // Written but not saved to flash: the restart would give the
        // controller back the old addresses the modules no longer have.
        if (UiSeams::messageBox(this, QMessageBox::Warning, windowTitle(), restartUnsavedConfigQuestion(),
                                QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
            return;
    }
    if (unflashed)
        client()->acceptRestart();
    client()->rebootController();
}

void LineModulesForm::resetAddressingMode()
{
    if (addressingMode) {
        moveNoAsk = false;
        replaceNoAsk = false;
        addressingMode = false;
        ui->frameAddressing->hide();
        freeAddresses.clear();
    }
    // A lost link changes what may be offered, in the mode or not.
    updateActions();
}

// ---------------------------------------------------------------------------
// The current module

void LineModulesForm::onSelectionModeChanged()
{
    selectionMode = ui->cbSelectionMode->currentData().toInt();
    client()->setAddressingMode(false, selectionMode == 0);
    ui->ckAllowGroup->setEnabled(selectionMode == 1);
    ui->ckAllowGroup->setChecked(false);
    onFoundLineModule(0, 0, 0);
    updateActions();
}

void LineModulesForm::selectModuleType(quint8 type)
{
    // Shown, not typed: no second lookup through onModuleInfoChanged.
    const QSignalBlocker blocker(ui->cbModType);
    ui->cbModType->setCurrentIndex(ui->cbModType->findData(int(type)));
}

void LineModulesForm::showModuleAddress()
{
    ui->lblModAddr->setText(moduleAddress == 0 ? NoAddressText : QString::number(moduleAddress));
}

void LineModulesForm::clearCurrentModule()
{
    moduleType = 0;
    moduleSerial = 0;
    moduleAddress = 0;
    groupEnd = 0;
    moduleIndex = 0;
    storedAddress = 0;
    selectModuleType(DEV_NOT);
    const QSignalBlocker blocker(ui->edtSerialNo);
    ui->edtSerialNo->clear();
    showModuleAddress();
}

void LineModulesForm::onFoundLineModule(ushort line_addr, uint serial_no, uchar mod_type)
{
    bool identityChanged = false;
    if (mod_type != moduleType) {
        moduleType = mod_type;
        selectModuleType(mod_type);
        identityChanged = true;
    }
    if (serial_no != moduleSerial) {
        moduleSerial = serial_no;
        const QSignalBlocker blocker(ui->edtSerialNo);
        ui->edtSerialNo->setText(serialNumberToString(serial_no));
        identityChanged = true;
    }
    const bool addressChanged = line_addr != moduleAddress;
    if (addressChanged) {
        moduleAddress = line_addr;
        showModuleAddress();
    }
    if (!identityChanged) {
        if (addressChanged)
            updateActions();
        return;
    }

    const QModelIndex stored = lineModules()->indexOf(moduleType, moduleSerial);
    if (stored.isValid()) {
        storedAddress = quint16(stored.row() + 1);
        moduleIndex = quint16(stored.data(Qt::UserRole).toUInt());
        ui->edtNewAddress->setValue(storedAddress);
        const QModelIndex shown = filterModel->mapFromSource(stored);
        if (shown.isValid() && shown != ui->tableView->currentIndex())
            ui->tableView->setCurrentIndex(shown);
    } else {
        storedAddress = 0;
        moduleIndex = 0;
        if (moduleAddress != 0)
            ui->edtNewAddress->setValue(moduleAddress);
    }
    updateActions();
}

void LineModulesForm::onTableDoubleClicked(QModelIndex idx)
{
    if (!addressingMode || !idx.isValid())
        return;
    const LineModuleRecord row = lineModules()->moduleAt(quint16(filterModel->mapToSource(idx).row() + 1));
    if (idx.column() == 0)
        ui->edtNewAddress->setValue(row.lineAddress);
    else if (selectionMode == 1)
        onFoundLineModule(row.lineAddress, row.serialNumber, row.deviceType);
}

void LineModulesForm::onModuleInfoChanged()
{
    if (selectionMode != 2 || !ui->edtSerialNo->hasAcceptableInput())
        return;
    const quint32 serial = serialNumberFromString(ui->edtSerialNo->text());
    const quint8 type = quint8(ui->cbModType->currentData().toUInt());
    const QModelIndex stored = lineModules()->indexOf(type, serial);
    onFoundLineModule(stored.isValid() ? quint16(stored.row() + 1) : 0, serial, type);
}

// The stored address and table index of the current module, and the free
// addresses of a running mode, as the tables hold them now.
void LineModulesForm::rederiveCurrentModule()
{
    if (addressingMode)
        updateFreeAddressSet();
    const QModelIndex stored = lineModules()->indexOf(moduleType, moduleSerial);
    storedAddress = stored.isValid() ? quint16(stored.row() + 1) : 0;
    moduleIndex = stored.isValid() ? quint16(stored.data(Qt::UserRole).toUInt()) : 0;
}

// ---------------------------------------------------------------------------
// Address changes

void LineModulesForm::changeModuleAddress()
{
    if (waiting)
        return;
    if (ui->ckAllowGroup->isChecked() && ui->edtModCount->value() > 1)
        changeGroupModuleAddresses();
    else
        changeSingleModuleAddress();
}

// Sends the address to the module through the controller and waits for the
// outcome; true only when the controller confirmed it.
bool LineModulesForm::setAddressOnLine(quint8 type, quint32 serial, quint16 address)
{
    QPointer<LineModulesForm> self(this);
    ClientAnswerWait wait(client(), &LantrelClient::moduleAddressChanged, this, addressingAnswerTimeoutMs);
    waiting = true;
    updateActions();
    const ClientAnswerWait::Outcome outcome = wait.run([this, type, serial, address]() {
        QMetaObject::invokeMethod(client(), "setModuleAddressSerial", Qt::QueuedConnection, Q_ARG(quint8, type),
                                  Q_ARG(quint32, serial), Q_ARG(quint16, address), Q_ARG(bool, false));
    });
    if (!self)
        return false;
    waiting = false;
    if (outcome == ClientAnswerWait::TimedOut)
        UiSeams::messageBox(this, QMessageBox::Warning, windowTitle(),
                            QStringLiteral("<p>ЦУ-Л не ответил на команду установки линейного адреса %1 "
                                           "модулю с серийным номером %2.</p><p>Конфигурация не изменена.</p>")
                                .arg(address)
                                .arg(serialNumberToString(serial)));
    // Nothing changes in a mode the link or a restart has ended meanwhile.
    return wait.answer() && addressingMode;
}

bool LineModulesForm::chooseConfigAction(quint16 newAddress, ConfigAction *action)
{
    const quint16 a = storedAddress;
    const quint16 b = moduleAddress;
    const bool free = freeAddresses.contains(newAddress);
    if (a != 0) {
        *action = (newAddress == b || !free) ? ConfigAction::None : ConfigAction::Move;
        if (*action == ConfigAction::None || moveNoAsk)
            return true;
        const QString processing = isSensor(moduleType)
                                       ? QStringLiteral(" Также будут установлены значения по умолчанию для параметров обработки.")
                                       : QString();
        return askWithNoAsk(this,
                            QStringLiteral("<p><b>Внимание!</b> Модуль с серийным номером <b>%1</b> сохранен в "
                                           "конфигурации ИОП с адресом <b>%2</b>.<br/>При изменении адреса модуля "
                                           "будут удалены взаимодействия, связанные со  старым адресом.%3</p>"
                                           "<p>Продолжить установку адреса модуля?</p>")
                                .arg(serialNumberToString(moduleSerial))
                                .arg(a)
                                .arg(processing),
                            &moveNoAsk)
               != QMessageBox::No;
    }
    if (free) {
        *action = ConfigAction::Add;
        return true;
    }
    const LineModuleRecord occupant = lineModules()->moduleAt(newAddress);
    if (moduleKind(occupant.deviceType) != moduleKind(moduleType)) {
        // Another kind lives in another table: its entry cannot take this
        // module; the old module goes, with its parameters and interactions.
        *action = ConfigAction::DeleteAndAdd;
        return UiSeams::messageBox(
                   this, QMessageBox::Question, windowTitle(),
                   QStringLiteral("<p>Внимание! В конфигурации системы адрес <b>%1</b> занят модулем %2 с серийным "
                                  "номером <b>%3</b>.</p><p>Модуль %4 не может занять его место в конфигурации. "
                                  "Удалить модуль %2 из конфигурации ЦУ-Л вместе с его параметрами и "
                                  "взаимодействиями и добавить модуль %4 с серийным номером <b>%5</b>?</p>")
                           .arg(newAddress)
                           .arg(typeName(occupant.deviceType), occupant.serialNumberText, typeName(moduleType),
                                serialNumberToString(moduleSerial))
                       + sentWithDeletionText(occupant),
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
               != QMessageBox::No;
    }
    *action = ConfigAction::Replace;
    if (replaceNoAsk)
        return true;
    return askWithNoAsk(this,
                        QStringLiteral("<p>Внимание! В конфигурации системы адрес <b>%1</b> занят модулем с "
                                       "серийным номером <b>%2</b>.</p><p>Заменить его модулем с серийным номером "
                                       "<b>%3</b>?</p>")
                            .arg(newAddress)
                            .arg(occupant.serialNumberText, serialNumberToString(moduleSerial)),
                        &replaceNoAsk)
           != QMessageBox::No;
}

void LineModulesForm::changeSingleModuleAddress()
{
    const quint16 newAddress = quint16(ui->edtNewAddress->value());
    ConfigAction action = ConfigAction::None;
    if (!chooseConfigAction(newAddress, &action))
        return;

    // What the change is about, as it was when it was asked for.
    const quint8 type = moduleType;
    const quint32 serial = moduleSerial;
    const quint16 oldStored = storedAddress;
    const LineModuleRecord occupant = lineModules()->moduleAt(newAddress);
    if (!setAddressOnLine(type, serial, newAddress)) {
        updateActions();
        return;
    }

    quint16 newIndex = 0;
    switch (action) {
    case ConfigAction::None:
        break;
    case ConfigAction::Move:
        client()->moveModule(type, oldStored, lineModules()->moduleAt(oldStored).tableIndex, newAddress, newIndex);
        break;
    case ConfigAction::Add:
        client()->addModule(type, serial, newAddress, newIndex);
        break;
    case ConfigAction::Replace:
        client()->updateModuleInfo(type, newAddress, serial);
        break;
    case ConfigAction::DeleteAndAdd:
        client()->deleteModule(occupant.deviceType, occupant.tableIndex, newAddress);
        // The client may refuse the deletion (and says why); then nothing is added.
        if (lineModules()->moduleAt(newAddress).deviceType == DEV_NOT)
            client()->addModule(type, serial, newAddress, newIndex);
        break;
    }
    if (type == moduleType && serial == moduleSerial) {
        moduleAddress = newAddress;
        showModuleAddress();
    }
    rederiveCurrentModule();
    updateActions();
}

// Interactions a move of the module deletes (as the client's move does).
int LineModulesForm::interactionsOfModule(const LineModuleRecord &module) const
{
    if (module.deviceType == SECT_MKZ)
        return 0;
    const InteractionsConfigModel *interactions = client()->interactionsConfigModel();
    const int sourceKind = module.deviceType == SECT_MVV ? IoLoopSource : SensorModuleSource;
    int count = 0;
    for (int row = 0; row < interactions->rowCount(); ++row) {
        const InteractionRecord r = interactions->interactionAt(row);
        const bool asSource = r.sourceKind == sourceKind && r.sourceAddress == module.lineAddress;
        const bool asExecutor = module.deviceType == SECT_MVV && r.executorType == SECT_MVV
                                && r.executorNumber == module.tableIndex + 1;
        if (asSource || asExecutor)
            ++count;
    }
    return count;
}

// One question for the whole group, before anything is changed.
bool LineModulesForm::askGroupMove(const QVector<quint16> &members)
{
    QStringList withInteractions;
    for (quint16 address : members) {
        if (interactionsOfModule(lineModules()->moduleAt(address)) > 0)
            withInteractions << QString::number(address);
    }
    if (withInteractions.isEmpty() || moveNoAsk)
        return true;
    return askWithNoAsk(this,
                        QStringLiteral("<p><b>Внимание!</b> При изменении адресов группы модулей будут удалены "
                                       "взаимодействия, связанные со старыми адресами модулей: <b>%1</b>.</p>"
                                       "<p>Продолжить установку адресов модулей?</p>")
                            .arg(withInteractions.join(QStringLiteral(", "))),
                        &moveNoAsk)
           != QMessageBox::No;
}

void LineModulesForm::changeGroupModuleAddresses()
{
    const quint16 newAddress = quint16(ui->edtNewAddress->value());
    const quint16 first = moduleAddress;
    const int shift = int(newAddress) - int(first);
    // The selected module first, then the others away from the target, so
    // that each target has been vacated before it is taken.
    const QVector<quint16> members = groupMembers(first, groupEnd, first < newAddress, freeAddresses);
    if (shift != 0 && !askGroupMove(members))
        return;

    const quint8 type = moduleType;
    const quint32 serial = moduleSerial;
    for (quint16 oldAddress : members) {
        const LineModuleRecord member = lineModules()->moduleAt(oldAddress);
        if (member.deviceType == DEV_NOT)
            break;
        const quint16 target = quint16(oldAddress + shift);
        if (!setAddressOnLine(member.deviceType, member.serialNumber, target))
            break;
        quint16 newIndex = 0;
        if (shift != 0)
            client()->moveModule(member.deviceType, oldAddress, member.tableIndex, target, newIndex);
        else
            client()->updateModuleInfo(member.deviceType, target, member.serialNumber);
        if (member.deviceType == type && member.serialNumber == serial) {
            moduleAddress = target;
            showModuleAddress();
        }
    }
    // The current module stays the selected one; where the tables hold it now.
    rederiveCurrentModule();
    updateActions();
}
