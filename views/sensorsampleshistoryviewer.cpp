#include "sensorsampleshistoryviewer.h"
#include "ui_sensorsampleshistoryviewer.h"

#include <QHeaderView>
#include <QSettings>

#include "appcontext.h"
#include "appglobals.h"
#include "clientlinestate.h"
#include "lantrelclient.h"
#include "linemodulesmodel.h"
#include "samplescsv.h"
#include "savefilename.h"
#include "sampleshistorydelegate.h"
#include "sensorrows.h"
#include "sensorsampleshistorymodel.h"
#include "uiseams.h"

namespace {
const int DefaultMaxAcc = 8200;
const QString MinAddrKey = QStringLiteral("SensorsHistoryViewer/MinAddr");
const QString MaxAddrKey = QStringLiteral("SensorsHistoryViewer/MaxAddr");
const QString MaxAccKey = QStringLiteral("SensorsHistoryViewer/MaxAcc");
} // namespace

HistoryButtons historyButtons(bool connected, bool lineOn, bool running, bool hasRows)
{
    HistoryButtons b;
    b.start = connected && lineOn && !running;
    // A recording is stopped and exported whatever the link.
    b.stop = running;
    b.exportHistory = !running && hasRows;
    return b;
}

SensorSamplesHistoryViewer::SensorSamplesHistoryViewer(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , ui(new Ui::SensorSamplesHistoryViewer)
{
    ui->setupUi(this);

    m_history = new SensorSamplesHistoryModel(this);
    auto *filter = new SensorHistoryFilterModel(this);
    filter->setSourceModel(m_history);
    ui->tableView->setModel(filter);
    auto *delegate = new SamplesHistoryDelegate(this);
    connect(this, &SensorSamplesHistoryViewer::valuesLimitChanged, delegate, &SamplesHistoryDelegate::setValueLimit);
    ui->tableView->setItemDelegateForColumn(1, delegate);
    QHeaderView *columns = ui->tableView->horizontalHeader();
    columns->setSectionHidden(0, true);
    columns->setSectionResizeMode(1, QHeaderView::Stretch);
    columns->hide();
    QHeaderView *rows = ui->tableView->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(100);
    connect(m_history, &QAbstractItemModel::rowsInserted, this, &SensorSamplesHistoryViewer::updateButtons);
    connect(m_history, &QAbstractItemModel::rowsRemoved, this, &SensorSamplesHistoryViewer::updateButtons);

    m_clientState = new ClientLineState(this);
    connect(m_clientState, &ClientLineState::connectionChanged, this, &SensorSamplesHistoryViewer::updateButtons);
    connect(m_clientState, &ClientLineState::lineStateChanged, this, [this] {
        if (m_running && !m_clientState->isLineOn())
            stopTask();
        updateButtons();
    });
    if (LantrelClient *client = appClient()) {
        connect(client, &LantrelClient::datasetChanged, this, &SensorSamplesHistoryViewer::onDatasetChanged);
        connect(client, &LantrelClient::sensorSamples, this, &SensorSamplesHistoryViewer::onSensorSamples);
    }

    appSettings->sync();
    ui->edtAddrMin->setValue(appSettings->value(MinAddrKey, 1).toInt());
    ui->edtAddrMax->setValue(appSettings->value(MaxAddrKey, 500).toInt());
    ui->edtValueMax->setValue(appSettings->value(MaxAccKey, DefaultMaxAcc).toInt());
    setSensorsLimit();
    setValuesLimit();
    updateButtons();

    connect(ui->btnSetSensorsLimit, &QPushButton::clicked, this, &SensorSamplesHistoryViewer::setSensorsLimit);
    connect(ui->edtAddrMin, &QSpinBox::editingFinished, this, &SensorSamplesHistoryViewer::setSensorsLimit);
    connect(ui->edtAddrMax, &QSpinBox::editingFinished, this, &SensorSamplesHistoryViewer::setSensorsLimit);
    connect(ui->btnResetSensorsLimit, &QPushButton::clicked, this, &SensorSamplesHistoryViewer::resetSensorsLimit);
    connect(ui->btnSetValuesLimit, &QPushButton::clicked, this, &SensorSamplesHistoryViewer::setValuesLimit);
    connect(ui->edtValueMax, &QSpinBox::editingFinished, this, &SensorSamplesHistoryViewer::setValuesLimit);
    connect(ui->btnResetValuesLimit, &QPushButton::clicked, this, &SensorSamplesHistoryViewer::resetValuesLimit);
    connect(ui->btnStartSampling, &QPushButton::clicked, this, &SensorSamplesHistoryViewer::startTask);
    connect(ui->btnStopSampling, &QPushButton::clicked, this, &SensorSamplesHistoryViewer::stopTask);
    connect(ui->btnExport, &QPushButton::clicked, this, &SensorSamplesHistoryViewer::exportSamples);
}

SensorSamplesHistoryViewer::~SensorSamplesHistoryViewer()
{
    delete ui;
}

void SensorSamplesHistoryViewer::updateButtons()
{
    const HistoryButtons b = historyButtons(m_clientState->isConnected(), m_clientState->isLineOn(), m_running,
                                            m_history->rowCount() > 0);
    ui->btnStartSampling->setEnabled(b.start);
    ui->btnStopSampling->setEnabled(b.stop);
    ui->btnExport->setEnabled(b.exportHistory);
}

// Recording starts whatever the link.
void SensorSamplesHistoryViewer::startTask()
{
    if (m_running)
        return;
    m_running = true;
    m_history->clearSamples();
    m_recordedSensors = sensorSet();
    updateButtons();
}

void SensorSamplesHistoryViewer::resumeTask()
{
    if (!hasSamples())
        startTask();
}

bool SensorSamplesHistoryViewer::hasSamples() const
{
    for (const SensorHistory &row : m_history->history()) {
        if (!row.samples.isEmpty())
            return true;
    }
    return false;
}

QVector<QPair<quint16, quint32>> SensorSamplesHistoryViewer::sensorSet() const
{
    QVector<QPair<quint16, quint32>> set;
    if (const LantrelClient *client = appClient()) {
        for (const SensorModuleRecord &rec : occupiedSensorRows(*client->sensorsConfigModel()))
            set.append({rec.lineAddress, rec.serialNumber});
    }
    return set;
}

// A read of the same configuration (after a lost link, say) keeps the
// history; other modules make it meaningless.
void SensorSamplesHistoryViewer::onDatasetChanged()
{
    // A read that left records out tells nothing about which sensors are there.
    if (LantrelClient *client = appClient(); client && !client->datasetComplete())
        return;
    const QVector<QPair<quint16, quint32>> current = sensorSet();
    if (current == m_recordedSensors)
        return;
    m_recordedSensors = current;
    m_history->clear();
}

void SensorSamplesHistoryViewer::stopTask()
{
    if (!m_running)
        return;
    m_running = false;
    updateButtons();
}

void SensorSamplesHistoryViewer::onSensorSamples(ushort first_idx, QVector<quint16> acc_array)
{
    const LantrelClient *client = appClient();
    if (!m_running || !client)
        return;
    const LineModulesModel *lines = client->lineModulesModel();
    // One repaint for the whole batch.
    setUpdatesEnabled(false);
    forEachSensorValue(*client->sensorsConfigModel(), first_idx, acc_array, [&](quint16 address, quint16 value) {
        m_history->addSample(address, SensorSample {lines->moduleAt(address).stateFlags, value});
    });
    setUpdatesEnabled(true);
}

void SensorSamplesHistoryViewer::setSensorsLimit()
{
    const int lo = qMin(ui->edtAddrMin->value(), ui->edtAddrMax->value());
    const int hi = qMax(ui->edtAddrMin->value(), ui->edtAddrMax->value());
    appSettings->setValue(MinAddrKey, lo);
    appSettings->setValue(MaxAddrKey, hi);
    if (auto *filter = qobject_cast<SensorHistoryFilterModel *>(ui->tableView->model()))
        filter->setRange(quint16(lo), quint16(hi));
}

void SensorSamplesHistoryViewer::resetSensorsLimit()
{
    ui->edtAddrMin->setValue(1);
    ui->edtAddrMax->setValue(500);
    setSensorsLimit();
}

void SensorSamplesHistoryViewer::setValuesLimit()
{
    const auto limit = ushort(ui->edtValueMax->value());
    appSettings->setValue(MaxAccKey, limit);
    emit valuesLimitChanged(limit);
    // The charts are drawn again at the new scale.
    ui->tableView->viewport()->update();
}

void SensorSamplesHistoryViewer::resetValuesLimit()
{
    ui->edtValueMax->setValue(DefaultMaxAcc);
    setValuesLimit();
}

void SensorSamplesHistoryViewer::exportSamples()
{
    const QString fileName = chooseSaveFileName(
        this, windowTitle(), QStringLiteral("Экспорт истории данных виброканала в файл"), configFileFolder(),
        QStringLiteral("CSV файлы (*.csv)"), QStringLiteral(".csv"),
        QFileDialog::DontResolveSymlinks | QFileDialog::DontUseCustomDirectoryIcons);
    if (fileName.isEmpty())
        return;
    QString error;
    if (!saveSamplesCsv(fileName, m_history->history(), &error)) {
        UiSeams::messageBox(this, QMessageBox::Critical, windowTitle(),
                            QStringLiteral("Ошибка создания файла данных. ") + error, QMessageBox::Ok);
        return;
    }
    rememberConfigFileFolder(fileName);
}
