// About box: version line, logo, contact block and closing.

#include "aboutform.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class TestAboutForm : public QObject
{
    Q_OBJECT

private slots:
    void versionLine_data();
    void versionLine();
    void contents();
    void closing_data();
    void closing();
};

void TestAboutForm::versionLine_data()
{
    QTest::addColumn<QString>("version");
    QTest::newRow("program") << "1.0.1.776";
    QTest::newRow("other") << "2.3.4.5";
}

void TestAboutForm::versionLine()
{
    QFETCH(QString, version);
    QCoreApplication::setApplicationVersion(version);
    AboutForm form;
    QLabel *label = form.findChild<QLabel *>(QStringLiteral("lblAppVersion"));
    QVERIFY(label);
    QCOMPARE(label->text(),
             QStringLiteral("<html><head /><body><p align = \"center\"><span style = \"font-size:11pt;\">версия ")
                 + version + QStringLiteral("</span></p></body></html>"));
}

void TestAboutForm::contents()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestu"));
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    AboutForm form;
    QCOMPARE(form.windowTitle(), QStringLiteral("О программе"));
    QLabel *logo = form.findChild<QLabel *>(QStringLiteral("label"));
    QVERIFY(logo);
    QCOMPARE(logo->pixmap(Qt::ReturnByValue).size(), QSize(192, 46));
    QLabel *title = form.findChild<QLabel *>(QStringLiteral("label_2"));
    QVERIFY(title->text().contains(QStringLiteral("Программа настройки ИОП &quot;Лантрел-А&quot;")));
    QCOMPARE(title->font().pointSize(), 13);
    QLabel *contacts = form.findChild<QLabel *>(QStringLiteral("lblContacts"));
    QVERIFY(contacts->text().contains(QStringLiteral("align=\"right\"")));
    // The maker and the program, as the program names them; no placeholders.
    QVERIFY(contacts->text().contains(QStringLiteral("Разработчик: ") + QCoreApplication::organizationName()));
    QVERIFY(contacts->text().contains(QCoreApplication::applicationName()));
    QVERIFY(!contacts->text().contains(QLatin1Char('[')));
    auto *box = form.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QCOMPARE(box->standardButtons(), QDialogButtonBox::Close);
}

void TestAboutForm::closing_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("close button") << false;
    QTest::newRow("escape") << true;
}

void TestAboutForm::closing()
{
    QFETCH(bool, escape);
    QWidget parent;
    // As the main window opens it.
    AboutForm form(&parent, Qt::Dialog);
    form.setWindowFlags(form.windowFlags() & ~Qt::WindowContextHelpButtonHint);
    QVERIFY(!form.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
    QTimer::singleShot(0, &form, [&form, escape]() {
        if (escape) {
            QTest::keyClick(&form, Qt::Key_Escape);
        } else {
            auto *box = form.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
            QTest::mouseClick(box->button(QDialogButtonBox::Close), Qt::LeftButton);
        }
    });
    QTimer::singleShot(5000, &form, [&form]() { form.done(42); });
    QCOMPARE(form.exec(), int(QDialog::Rejected));
    QVERIFY(!form.isVisible());
}

QTEST_MAIN(TestAboutForm)
#include "tst_aboutform.moc"
