#include "samplesviewerform.h"
#include "ui_samplesviewerform.h"

#include <QCloseEvent>
#include <QSettings>

#include "appcontext.h"
#include "appglobals.h"
#include "windowfit.h"

namespace {
enum Tab { AmplitudeTab, SupplyTab, InfraredTab, HistoryTab };
const QString GeometryKey = QStringLiteral("SamplesViewer/Geometry");
} // namespace

SamplesViewerForm::SamplesViewerForm(QWidget *parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , ui(new Ui::SamplesViewerForm)
{
    ui->setupUi(this);
    ui->tabWidget->setCurrentWidget(ui->tabAccelerationViewer);
    connect(ui->tabWidget, &QTabWidget::currentChanged, this, &SamplesViewerForm::onCurrentTabIndexChanged);
    connect(this, &SamplesViewerForm::disableFormActions, ui->tabSupplyVoltageViewer,
            &SupplyVoltageViewer::disableFormActions);

    appSettings->sync();
    const QByteArray geometry = readHexSetting(GeometryKey);
    // The designed size is taller than a small laptop screen.
    if (geometry.isEmpty() || !restoreGeometry(geometry))
        resize(WindowFit::boundedToScreen(this, size()));

    onCurrentTabIndexChanged(0);
}

SamplesViewerForm::~SamplesViewerForm()
{
    delete ui;
}

void SamplesViewerForm::onCurrentTabIndexChanged(int idx)
{
    if (m_previousTab == InfraredTab)
        ui->tabIrOutVoltageViewer->stopTask();
    m_previousTab = ui->tabWidget->currentIndex();
    switch (idx) {
    case AmplitudeTab:
        ui->tabAccelerationViewer->startTask();
        break;
    case SupplyTab:
        ui->tabSupplyVoltageViewer->startTask();
        break;
    case InfraredTab:
        ui->tabIrOutVoltageViewer->startTask();
        break;
    case HistoryTab:
        ui->tabSamplesHistory->resumeTask();
        break;
    default:
        break;
    }
}

void SamplesViewerForm::closeEvent(QCloseEvent *event)
{
    if (ui->tabWidget->currentIndex() == InfraredTab)
        ui->tabIrOutVoltageViewer->stopTask();
    const QByteArray geometry = saveGeometry();
    if (!geometry.isEmpty())
        writeHexSetting(GeometryKey, geometry);
    event->accept();
}
