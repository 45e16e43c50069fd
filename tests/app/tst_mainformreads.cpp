// Main window: the reads of the configuration the user did not ask for
// (after a connection, a restart, a restore, a change of the module counts),
// counted in the fake line controller's requests.

#include "appglobals.h"
#include "connectorform.h"
#include "controllerconfigmodel.h"
#include "fakecontroller.h"
#include "faketcpserver.h"
#include "firmwareupdateform.h"
#include "interactionsconfigmodel.h"
#include "iomodulesconfigmodel.h"
#include "lantrelclient.h"
#include "lantrelprotocol.h"
#include "linemodulesform.h"
#include "linemodulesmodel.h"
#include "mainform.h"
#include "mainformrig.h"
#include "pagetestsupport.h"
#include "samplesviewerform.h"
#include "scpmodulesconfigmodel.h"
#include "sensorsconfigmodel.h"
#include "stateviewerform.h"
#include "taskmanager.h"
#include "uiseams.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QSizeGrip>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace LantrelProtocol;
using namespace MainFormTest;

class TestMainFormReads : public QObject, public MainFormRig
{
    Q_OBJECT

private slots:
    void initTestCase() { initApp(); }
    void init() { initRig(); }
    void cleanup() { cleanupRig(); }

    void loadDuringRead();
};

// A file opened while an automatic re-read runs is refused with a word; the
// models are the controller's whole set.
void TestMainFormReads::loadDuringRead()
{
    FakeLine line;
    MainForm *form = makeForm();
    form->show();
    LantrelClient *client = m_manager->client();
    QVERIFY(connectToFake(line));
    waitIdle();
    ControllerConfigModel *settings = client->controllerConfigModel();
    const quint8 held = settings->deviceConfig.TSign;
    const quint8 edit = held == 7 ? 8 : 7;
    const quint16 heldSensor = client->sensorsConfigModel()->moduleAt(0).lineAddress;

    // A file of the same controller with another hold time.
    QTemporaryDir dir;
    settings->setData(ControllerConfigModel::TSignParam, edit, Qt::EditRole);
    m_saveAnswer = dir.filePath(QStringLiteral("other.xml"));
    act(QStringLiteral("actSaveConfig"))->trigger();
    QVERIFY(QFile::exists(m_saveAnswer));
    waitIdle();

    // The controller's configuration changes while the file dialog is open.
    QSignalSpy dataset(client, &LantrelClient::datasetChanged);
    QSignalSpy tasks(client, &LantrelClient::taskStarted);
    line.fake.overrideRegister(22, 77);
    UiSeams::setOpenFileHandler([&](QWidget *, const QString &, const QString &, const QString &,
                                    QFileDialog::Options) {
        // The edit was saved to the file: the re-read asks nothing.
        if (!QTest::qWaitFor([&] { return !tasks.isEmpty(); }, 15000))
            return QString();
        return m_saveAnswer;
    });
    m_boxes.asked.clear();
    act(QStringLiteral("actLoadConfig"))->trigger();
    QVERIFY(!tasks.isEmpty());
    QCOMPARE(tasks.at(0).at(0).toString(), ReadTask);
    line.fake.clearRegisterOverride(22);
    QVERIFY(dataset.count() > 0 || dataset.wait(30000));
    waitIdle(30000);
    settle();

    QTRY_VERIFY(!m_boxes.asked.isEmpty());
    QCOMPARE(m_boxes.asked.first().icon, QMessageBox::Critical);
    QVERIFY2(m_boxes.asked.first().text.contains(QStringLiteral("невозможна: выполняется чтение конфигурации")),
             qPrintable(m_boxes.asked.first().text));
    // One source: the controller's.
    QCOMPARE(tasks.count(), 1);
    QVERIFY(client->datasetComplete());
    QCOMPARE(settings->deviceConfig.TSign, held);
    QCOMPARE(client->sensorsConfigModel()->moduleAt(0).lineAddress, heldSensor);
    QVERIFY(!form->statusBar()->currentMessage().contains(QStringLiteral("Загрузка")));
}

QTEST_MAIN(TestMainFormReads)
#include "tst_mainformreads.moc"
