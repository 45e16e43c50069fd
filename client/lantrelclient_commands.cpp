// Controller and module commands run as client tasks.

#include "lantrelclient.h"

#include <QMetaEnum>

#include "devicetables.h"
#include "iomodulesconfigmodel.h"
#include "lantreldriver.h"
#include "linemodulesmodel.h"
#include "texthelpers.h"

using namespace LantrelProtocol;

namespace {
QString commandKeyName(ushort code)
{
    const QMetaEnum e = QMetaEnum::fromType<Cmd_Code_t>();
    const char *key = e.valueToKey(int(code));
    return key ? QString::fromLatin1(key) : QString();
}

QString moduleNameOr(quint8 devType, const QString &fallback)
{
    const QString name = deviceTypeNames.value(devType);
    return name.isEmpty() ? fallback : name;
}
}

void LantrelClient::readControllerInfo()
{
    invokeDriver("getControllerInfo");
}

void LantrelClient::setVoltageMeasurementMode(bool yes)
{
    invokeDriver("setVoltageMeasurementMode", Q_ARG(bool, yes));
}

void LantrelClient::checkModulesFwVersion()
{
    if (!m_driver)
        return;
    startCommandTask(QStringLiteral("Запрос версий прошивок модулей..."));
    invokeCommand(RD_SECT_VER);
}

void LantrelClient::readModulesFwVersion()
{
    if (!m_driver)
        return;
    m_skipDataset = true;
    beginRead(QStringLiteral("Чтение версий прошивок модулей..."), 5);
    invokeDriver("getModulesFwVersion");
}

void LantrelClient::restoreConfigFromFlash()
{
    if (!m_driver)
        return;
    startCommandTask(QStringLiteral("Восстановление конфигурации ИОП..."));
    invokeDriver("restoreConfigFromFlash");
}

bool LantrelClient::mayRestartController(const QString &lead)
{
    if (m_configSaved || m_restartAccepted)
        return true;
    if (!m_restartQuestion) {
        emit writeToLog(QStringLiteral("Перезапуск ЦУ-Л отменён: конфигурация, переданная в ЦУ-Л, не сохранена "
                                       "в его энергонезависимой памяти"));
        return false;
    }
    // The question waits in an event loop: the link may go meanwhile.
    const bool agreed = m_restartQuestion(lead);
    m_restartAccepted = agreed && !m_configSaved;
    return agreed;
}

bool LantrelClient::restartMayGo()
{
    // The question waits in an event loop: the link may go meanwhile.
    return m_driver && mayRestartController() && m_driver;
}

void LantrelClient::rebootController()
{
    if (!restartMayGo())
        return;
    sendRestart();
}

void LantrelClient::sendRestart()
{
    if (!m_driver)
        return;
    // The agreement was for this restart.
    m_restartAccepted = false;
    startCommandTask(QStringLiteral("Перезапуск ЦУ-Л..."));
    invokeDriver("rebootController");
}

void LantrelClient::findLineModules()
{
    if (!m_driver)
        return;
    startCommandTask(QStringLiteral("Поиск линейных модулей..."));
    invokeCommand(RD_SETT_SECT);
}

void LantrelClient::eraseFlash()
{
    if (!m_driver)
        return;
    startCommandTask(QStringLiteral("Очистка установок во флеш-памяти ЦУ-Л..."));
    invokeDriver("eraseFlash");
}

void LantrelClient::setControllerDefaults()
{
    if (!restartMayGo())
        return;
    startCommandTask(QStringLiteral("Восстановление параметров ЦУ-Л по умолчанию..."));
    invokeDriver("setDefaults");
}

void LantrelClient::setModulesDefaults(ushort first_addr, ushort mod_count)
{
    if (!restartMayGo())
        return;
    startCommandTask(QStringLiteral("Восстановление параметров модулей по умолчанию..."));
    invokeCommand(SET_MOD_DEF, first_addr, mod_count);
}

void LantrelClient::setModulesDefaults(ushort first_addr)
{
    setModulesDefaults(first_addr, 0);
}

void LantrelClient::setModulesDefaults()
{
    setModulesDefaults(0, 0);
}

void LantrelClient::setAddressingMode(bool send_cmd, bool use_magnet)
{
    if (!m_driver)
        return;
    invokeDriver("enableUseMagneticSensor", Q_ARG(bool, use_magnet));
    if (!send_cmd)
        return;
    startCommandTask(QStringLiteral("Установка режима конфигурирования линии..."));
    invokeCommand(SET_KONF_SECT);
}

void LantrelClient::setControllerSerial(ushort prod_year, ushort serial_no, ushort pcb_ver)
{
    if (!m_driver)
        return;
    if (!restartMayGo()) {
        // Whoever waits for the answer stops waiting.
        emit controllerSerialChanged(false);
        return;
    }
    startCommandTask(QStringLiteral("Изменение серийного номера ЦУ-Л..."));
    invokeDriver("setControllerSerial", Q_ARG(quint16, prod_year), Q_ARG(quint16, serial_no),
                 Q_ARG(quint16, pcb_ver));
}

void LantrelClient::setModuleAddressSerial(uchar mod_type, uint serial_no, ushort line_addr, bool set_serial)
{
    if (!m_driver)
        return;
    m_addressJob.devType = mod_type;
    m_addressJob.serialNo = serial_no;
    m_addressJob.lineAddr = line_addr;
    m_moduleSearch = false;
    startCommandTask(set_serial ? QStringLiteral("Установка серийного номера модуля...")
                                : QStringLiteral("Установка линейного адреса модуля..."));
    invokeDriver("setModuleAddressSerial", Q_ARG(quint8, mod_type), Q_ARG(quint32, serial_no),
                 Q_ARG(quint16, line_addr), Q_ARG(bool, set_serial));
}

void LantrelClient::switchLineState()
{
    if (!m_driver)
        return;
    startCommandTask(QStringLiteral("Включение/отключение линии связи с модулями..."));
    invokeCommand(CMD_ONOF_LIN);
}

void LantrelClient::uploadFirmware(uchar fw_type, QByteArray fw_body)
{
    if (!m_driver)
        return;
    m_firmwareType = fw_type;
    m_firmwareBody = fw_body;
    const quint32 length = quint32(fw_body.size());
    startCommandTask(QStringLiteral("Подготовка ЦУ-Л к приему прошивки..."));
    invokeCommand(LOAD_PROG, quint16((quint16(fw_type) << 8) | ((length >> 16) & 0xFF)),
                  quint16(length & 0xFFFF));
}

void LantrelClient::updateFirmware()
{
    if (!m_driver)
        return;
    // The update ends in a restart.
    if (!restartMayGo()) {
        emit firmwareUpdated(false);
        return;
    }
    if (m_firmwareType < 3) {
        m_commandTotal = 0;
        startCommandTask(QStringLiteral("Распаковка прошивки..."));
    } else {
        const int n = qMax(0, m_firmwareBody.size() - 34);
        const int blocks = (n >> 8) + ((n & 0xFF) ? 1 : 0);
        m_commandTotal = quint16(blocks);
        m_stepsDone = 0;
        emit taskStarted(QStringLiteral("Передача прошивки в модули..."), m_commandTotal);
    }
    invokeCommand(MOVE_PROG, m_firmwareType);
}

void LantrelClient::startRemoteControl()
{
    if (!m_driver)
        return;
    startCommandTask(QStringLiteral("Дистанционный контроль..."));
    invokeCommand(SET_CMD_DC);
}

void LantrelClient::changeArmedState(uchar mod_type, ushort first_idx, ushort mod_count, bool set_on)
{
    if (!m_driver)
        return;
    quint16 code = 0;
    QString text;
    if (mod_type == SECT_MVV) {
        QString which;
        if (first_idx == 0)
            which = QStringLiteral("всех");
        else if (mod_count == 1)
            which = QStringLiteral("шлейф 1");
        else if (mod_count == 2)
            which = QStringLiteral("шлейф 2");
        else
            which = QStringLiteral("все шлейфы");
        code = set_on ? SEQRE_REM_MVV : SEQRE_SET_MVV;
        text = (set_on ? QStringLiteral("Постановка на охрану %1 ПС-Л...")
                       : QStringLiteral("Снятие с охраны %1 ПС-Л...")).arg(which);
    } else if (mod_type == SECT_ACCI || mod_type == SECT_ACC) {
        if (mod_count > 250 || (first_idx != 0 && mod_count == 0))
            return;
        const QString which = mod_count == 0 ? QStringLiteral("всех")
                              : mod_count == 1 ? QStringLiteral("одного")
                                               : QStringLiteral("группы");
        code = set_on ? SEQRE_REM_SECT : SEQRE_SET_SECT;
        text = (set_on ? QStringLiteral("Постановка на охрану %1 ВТ-Л...")
                       : QStringLiteral("Снятие с охраны %1 ВТ-Л...")).arg(which);
    } else {
        return;
    }
    startCommandTask(text);
    invokeCommand(code, first_idx, mod_count);
}

void LantrelClient::changeRelayState(uchar mod_type, ushort first_idx, ushort mod_count, bool set_on)
{
    if (!m_driver || mod_count == 0)
        return;
    quint16 code = 0;
    QString text;
    if (mod_type == SECT_MVV) {
        if (mod_count > 25)
            return;
        const QString which = mod_count == 1 ? QString() : QStringLiteral("группы");
        code = set_on ? SET_COIL_MOVV : CLR_COIL_MOVV;
        text = (set_on ? QStringLiteral("Включение выхода %1 ПС-Л...")
                       : QStringLiteral("Выключение выхода %1 ПС-Л...")).arg(which);
    } else if (mod_type == SECT_MKZ) {
        if (mod_count > 1)
            return;
        code = set_on ? ON_OUT_MKZ : OFF_OUT_MKZ;
        text = set_on ? QStringLiteral("Переключение ТЗ-Л в режим «Авто»...")
                      : QStringLiteral("Отключение реле питания выходной линии ТЗ-Л...");
    } else {
        return;
    }
    startCommandTask(text);
    invokeCommand(code, first_idx, mod_count);
}

void LantrelClient::disableModule(ushort line_addr, ushort mod_count)
{
    if (!m_driver)
        return;
    startCommandTask(QStringLiteral("Отключение модуля..."));
    invokeCommand(CMD_MOD_OFF, line_addr, mod_count);
}

void LantrelClient::checkModulesSupplyVoltage()
{
    if (!m_driver)
        return;
    startCommandTask(QStringLiteral("Контроль напряжения питания на входе модулей..."));
    invokeCommand(RD_VOLT_SECT);
}

void LantrelClient::clearEvents()
{
    if (!m_driver)
        return;
    startCommandTask(QStringLiteral("Очистка памяти событий..."));
    invokeCommand(CMD_CLR_EVENTS);
}

void LantrelClient::getModuleAddress(uint serial_no)
{
    if (!m_driver)
        return;
    // The failure text of a search names the module searched for.
    m_addressJob.devType = 0;
    m_addressJob.lineAddr = 0;
    m_addressJob.serialNo = serial_no;
    m_moduleSearch = true;
    startCommandTask(QStringLiteral("Поиск модуля по серийному номеру..."));
    invokeDriver("getModuleAddress", Q_ARG(quint32, serial_no));
}

void LantrelClient::stopLinePolling()
{
    if (!m_driver)
        return;
    // Only a restart gives the line its polling back.
    if (!restartMayGo()) {
        emit linePollStopped(false);
        return;
    }
    m_linePollStopPending = true;
    m_linePollStopCancelled = false;
    startCommandTask(QStringLiteral("Остановка чтения линии..."));
    invokeDriver("stopLinePolling");
}

void LantrelClient::cancelLinePollStop()
{
    if (!m_linePollStopPending)
        return;
    m_linePollStopPending = false;
    m_linePollStopCancelled = true;
    invokeDriver("cancelLinePollStop");
    onTaskCompleted(false);
}

void LantrelClient::calibrateModules()
{
    if (!m_driver)
        return;
    startCommandTask(QStringLiteral("Калибровка значений питающего напряжения модулей..."));
    invokeCommand(SET_CORR);
}

// ---------------------------------------------------------------------------
// Results

void LantrelClient::onCommandCompleted(ushort cmd_code, bool success)
{
    onTaskCompleted(success);
    emit writeToLog((success ? QStringLiteral("Команда %1 успешно выполнена")
                             : QStringLiteral("Команда %1 не выполнена")).arg(commandKeyName(cmd_code)));

    switch (cmd_code) {
    case SET_KONF_SECT:
        if (!m_addressingMode)
            emit addressModeStarted(success);
        if (success)
            m_addressingMode = true;
        else
            emit clientError(QStringLiteral("Ошибка установки режима конфигурирования линии"));
        break;
    case MOV_SETT_SECT:
        if (success) {
            for (int row = 0; row < IoModulesConfigModel::RowCount; ++row) {
                const IoModuleRecord io = m_ioModulesModel->moduleAt(quint16(row));
                if (io.deviceType == 0)
                    break;
                m_lineModulesModel->setLoopModes(io.lineAddress, io.loop1Mode, io.loop2Mode);
            }
        } else {
            emit clientError(QStringLiteral("Ошибка передачи параметров конфигурации в линейные модули"));
        }
        break;
    case WR_KONF_REG:
        if (success) {
            emit writeToLog(QStringLiteral("Сохранение конфигурации ИОП завершено успешно"));
            setConfigSaved();
        } else {
            emit clientError(QStringLiteral("Ошибка сохранения конфигурации ИОП"));
        }
        break;
    case RD_KONF_REG:
        if (success) {
            emit writeToLog(QStringLiteral("Восстановление конфигурации завершено успешно"));
            setConfigSaved();
            rereadAfterControllerChange();
        } else {
            emit clientError(QStringLiteral("Ошибка восстановления конфигурации"));
        }
        break;
    case SEQRE_REM_MVV:
        if (!success)
            emit clientError(QStringLiteral("Отказ в постановке на охрану шлейфа ПС-Л. Проверьте состояние шлейфа"));
        break;
    case RD_SETT_SECT:
        if (success)
            readLineModulesConfig();
        else
            emit clientError(QStringLiteral("Ошибка выполнения команды поиска линейных модулей"));
        break;
    case RD_VOLT_SECT:
        if (success) {
            m_skipDataset = true;
            beginRead(QStringLiteral("Чтение напряжения питания на входе модулей..."), 5);
            invokeDriver("getModulesSupplyVoltage");
        } else {
            emit clientError(QStringLiteral("Ошибка выполнения команды контроля напряжения питания на входе модулей"));
        }
        break;
    case RESET_SECT:
        if (!success)
            emit clientError(QStringLiteral("Ошибка выполнения команды перезапуска модуля"));
        break;
    case SET_CMD_DC:
        if (!success)
            emit clientError(QStringLiteral("Ошибка выполнения команды дистанционного контроля"));
        break;
    case LOAD_PROG:
        if (success) {
            const int size = m_firmwareBody.size();
            m_commandTotal = quint16(size / 128 + ((size % 128) ? 1 : 0));
            m_stepsDone = 0;
            emit taskStarted(QStringLiteral("Передача файла прошивки в ЦУ-Л..."), m_commandTotal);
            invokeDriver("uploadFirmware", Q_ARG(QByteArray, m_firmwareBody));
        } else {
            // The window waits for the transfer's outcome, which ends here.
            emit firmwareUploaded(false);
            reportStepFailure(QStringLiteral("Ошибка подготовки ЦУ-Л к приему прошивки"));
        }
        break;
    case MOVE_PROG:
        if (success) {
            m_commandTotal = 0;
            startCommandTask(m_firmwareType <= 2 ? QStringLiteral("Обновление прошивки ЦУ-Л...")
                                                 : QStringLiteral("Обновление прошивки модулей..."));
            invokeCommand(SAVE_PROG, m_firmwareType);
        } else {
            emit taskCompleted(m_commandTotal, false);
            emit firmwareUpdated(false);
            reportStepFailure(m_firmwareType <= 2 ? QStringLiteral("Ошибка распаковки файла прошивки")
                                                      : QStringLiteral("Ошибка передачи прошивки из ЦУ-Л в модули"));
        }
        break;
    case SAVE_PROG:
        if (success) {
            emit firmwareUpdated(true);
            emit writeToLog(QStringLiteral("Обновление прошивки успешно завершено"));
            if (m_firmwareType == 2)
                startCommandTask(QStringLiteral("Перезапуск ЦУ-Л..."));   // restarts by itself
            else
                sendRestart();
        } else {
            emit firmwareUpdated(false);
            reportStepFailure(QStringLiteral("Ошибка обновления прошивки"));
        }
        break;
    case RD_SECT_VER:
        if (success)
            readModulesFwVersion();
        else
            emit clientError(QStringLiteral("Ошибка выполнения команды запроса версий линейных модулей"));
        break;
    case CMD_ONOF_LIN:
        if (!success)
            emit clientError(QStringLiteral("Ошибка выполнения процедуры переключения состояния линии связи"));
        break;
    case SET_MOD_DEF:
        if (success) {
            m_rereadAfterRestart = true;
            sendRestart();
        } else {
            m_restartAccepted = false;
            emit clientError(QStringLiteral("Ошибка выполнения процедуры восстановления параметров модулей к значениям по умолчанию"));
        }
        break;
    case SET_MOD_SERIAL:
        if (success) {
            startCommandTask(QStringLiteral("Перезапуск модуля..."));
            invokeCommand(RESET_SECT);
        } else {
            emit clientError(QStringLiteral("Ошибка выполнения команды установки серийного номера %1 для %2 с линейным адресом %3")
                                 .arg(serialNumberToString(m_addressJob.serialNo),
                                      moduleNameOr(m_addressJob.devType, QStringLiteral("модуля")))
                                 .arg(m_addressJob.lineAddr));
        }
        break;
    case SET_CTRL_SERIAL:
        if (success) {
            emit controllerSerialChanged(true);
            sendRestart();
            invokeDriver("getControllerInfo");
        } else {
            m_restartAccepted = false;
            emit controllerSerialChanged(false);
            emit clientError(QStringLiteral("Ошибка выполнения команды установки серийного номера ЦУ-Л"));
        }
        break;
    default:
        if (!success)
            emit clientError(QStringLiteral("Ошибка выполнения команды"));
        break;
    }
}

void LantrelClient::onSetDefaultsCompleted(bool success)
{
    onTaskCompleted(success);
    if (success) {
        m_rereadAfterRestart = true;
        sendRestart();
    } else {
        m_restartAccepted = false;
        emit clientError(QStringLiteral("Ошибка выполнения команды восстановления параметров ЦУ-Л по умолчанию"));
    }
}

void LantrelClient::onModuleAddressChanged(bool success)
{
    m_moduleSearch = false;
    onTaskCompleted(success);
    if (!success) {
        emit clientError(QStringLiteral("Ошибка выполнения процедуры установки линейного адреса %1 для %2 с серийным номером %3")
                             .arg(m_addressJob.lineAddr)
                             .arg(moduleNameOr(m_addressJob.devType, QStringLiteral("модуля")),
                                  serialNumberToString(m_addressJob.serialNo)));
    }
    emit moduleAddressChanged(success);
}

void LantrelClient::onControllerRebooted()
{
    if (!m_configSaved) {
        setConfigSaved();
        rereadAfterControllerChange();
    }
}
