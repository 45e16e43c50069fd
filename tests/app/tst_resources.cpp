// The compiled-in pictures and Qt's Russian catalogues.

#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QTranslator>
#include <QtTest>
#include <QMessageBox>
#include <QPushButton>

#include "qttranslations.h"

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void imageSizes_data();
    void imageSizes();
    void noOtherImages();
    void translations_data();
    void translations();
    void russianQtTextsUnderCLocale();
    void pathsUsedInSources();
};

void TestResources::imageSizes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");

    QTest::newRow("logo") << "lantrel-logo.png" << QSize(192, 46);
    QTest::newRow("mainform") << "mainform.png" << QSize(48, 48);
    const char *const actions[] = {"exit", "device_connect", "device_disconnect", "get_config", "set_config",
                                   "save_flash", "read_flash", "restart", "config_modules", "erase_flash",
                                   "save_config", "load_config", "firmware_update", "state_viewer",
                                   "samples_viewer", "controller_24", "line_module_24", "sensor_24",
                                   "io_module_24", "scp_module_24", "relay_module_24", "interactions_24",
                                   "sensor_ir_24", "find_modules", "addressing_modules", "delete_modules",
                                   "stop"};
    for (const char *name : actions)
        QTest::newRow(name) << QString::fromLatin1(name) + ".png" << QSize(24, 24);
    const char *const small[] = {"online", "offline", "exclamation", "warning", "delete", "line_standby",
                                 "line_pause", "line_not_ready", "line_normal", "line_stop", "hardware-search",
                                 "update_ports", "open_file", "question", "ok", "row_add", "row_change",
                                 "row_edit", "sensor", "sensor_ir", "io_module", "scp_module", "relay_module"};
    for (const char *name : small)
        QTest::newRow(name) << QString::fromLatin1(name) + ".png" << QSize(16, 16);
    QTest::newRow("arrow_right") << "arrow_right.png" << QSize(20, 20);
}

void TestResources::imageSizes()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    const QImage image(QStringLiteral(":/images/") + name);
    QVERIFY2(!image.isNull(), qPrintable(name));
    QCOMPARE(image.size(), size);
    // A picture that drew nothing would be fully transparent.
    bool painted = false;
    for (int y = 0; y < image.height() && !painted; ++y)
        for (int x = 0; x < image.width() && !painted; ++x)
            painted = qAlpha(image.pixel(x, y)) > 0;
    QVERIFY2(painted, qPrintable(name));
}

void TestResources::noOtherImages()
{
    QDirIterator it(QStringLiteral(":/images"));
    int count = 0;
    while (it.hasNext()) {
        it.next();
        ++count;
    }
    QCOMPARE(count, 53);
}

void TestResources::translations_data()
{
    QTest::addColumn<QString>("catalogue");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<bool>("loads");

    QTest::newRow("qtbase ru_RU") << "qtbase_" << "ru_RU" << true;
    QTest::newRow("qtserialport ru_RU") << "qtserialport_" << "ru_RU" << true;
    QTest::newRow("qtbase ru_UA") << "qtbase_" << "ru_UA" << true;
    QTest::newRow("qtbase en_US") << "qtbase_" << "en_US" << false;
    QTest::newRow("qtserialport C") << "qtserialport_" << "C" << false;
}

void TestResources::translations()
{
    QFETCH(QString, catalogue);
    QFETCH(QString, locale);
    QFETCH(bool, loads);
    QTranslator translator;
    QCOMPARE(translator.load(catalogue + locale, QStringLiteral(":/translations/")), loads);
    if (loads)
        QVERIFY(!translator.isEmpty());
}

void TestResources::russianQtTextsUnderCLocale()
{
    // The machine's locale is C; Qt's own buttons must still be Russian.
    QLocale::setDefault(QLocale::c());
    QVERIFY(installRussianQtTranslations(QCoreApplication::instance()));
    QMessageBox box(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("q"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Да"));
    QCOMPARE(box.button(QMessageBox::No)->text(), QStringLiteral("&Нет"));
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Отмена"));
}

void TestResources::pathsUsedInSources()
{
    const QString root = QStringLiteral(LANTREL_SOURCE_DIR);
    const QRegularExpression pathRe(QStringLiteral(":/images/[A-Za-z0-9_.\\-]+\\.png"));
    QSet<QString> missing;
    int seen = 0;
    for (const char *folder : {"app", "uicommon", "pages", "views", "client", "common"}) {
        QDirIterator it(root + QLatin1Char('/') + QLatin1String(folder),
                        {QStringLiteral("*.cpp"), QStringLiteral("*.h"), QStringLiteral("*.ui")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(file.readAll());
            auto matches = pathRe.globalMatch(text);
            while (matches.hasNext()) {
                const QString path = matches.next().captured(0);
                ++seen;
                if (!QFile::exists(path))
                    missing.insert(path + QStringLiteral(" (") + file.fileName() + QLatin1Char(')'));
            }
        }
    }
    QVERIFY(seen > 0);
    QVERIFY2(missing.isEmpty(), qPrintable(QStringList(missing.values()).join(QStringLiteral(", "))));
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
