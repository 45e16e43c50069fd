// Qt's English Modbus and socket error texts in the program's words, with
// Qt's text kept for what is not known.

#include <QTest>

#include "modbuserrortext.h"

class TestModbusErrorText : public QObject
{
    Q_OBJECT

private slots:
    void errors_data();
    void errors();
    void exceptions_data();
    void exceptions();
};

void TestModbusErrorText::errors_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("qtText");
    QTest::addColumn<QString>("text");

    using D = QModbusDevice;
    // The texts Qt 5.15 gives.
    QTest::newRow("time-out") << int(D::TimeoutError) << "Request timeout."
                              << "Ответ не получен за отведённое время";
    QTest::newRow("exception") << int(D::ProtocolError) << "Modbus Exception Response."
                               << "Ответ-исключение Modbus";
    QTest::newRow("invalid response") << int(D::UnknownError) << "An invalid response has been received."
                                      << "Получен некорректный ответ";
    QTest::newRow("refused") << int(D::ConnectionError) << "TCP socket error (Connection refused)."
                             << "Соединение отклонено";
    QTest::newRow("closed by the peer") << int(D::ConnectionError)
                                        << "TCP socket error (The remote host closed the connection)."
                                        << "Удалённая сторона закрыла соединение";
    QTest::newRow("reset") << int(D::ConnectionError) << "TCP socket error (Connection reset by peer)."
                           << "Соединение сброшено удалённой стороной";
    QTest::newRow("aborted") << int(D::ReplyAbortedError) << "Reply aborted due to connection closure."
                             << "Запрос прерван";
    // Unknown reasons keep Qt's words, inside a Russian frame where there is one.
    QTest::newRow("other socket error") << int(D::ConnectionError) << "TCP socket error (Unknown error)."
                                        << "Ошибка сокета TCP (Unknown error)";
    QTest::newRow("other error") << int(D::WriteError) << "Could not write request to the port."
                                 << "Could not write request to the port.";
    QTest::newRow("no error") << int(D::NoError) << "" << "";
}

void TestModbusErrorText::errors()
{
    QFETCH(int, error);
    QFETCH(QString, qtText);
    QFETCH(QString, text);
    QCOMPARE(modbusErrorText(QModbusDevice::Error(error), qtText), text);
}

void TestModbusErrorText::exceptions_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");

    QTest::newRow("1") << 1 << "Ответ-исключение Modbus: функция не поддерживается";
    QTest::newRow("2") << 2 << "Ответ-исключение Modbus: недопустимый адрес данных";
    QTest::newRow("5") << 5 << "Ответ-исключение Modbus: запрос принят, выполнение не завершено";
    QTest::newRow("6") << 6 << "Ответ-исключение Modbus: устройство занято";
    QTest::newRow("unknown code") << 0x42 << "Ответ-исключение Modbus";
}

void TestModbusErrorText::exceptions()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(modbusExceptionText(code), text);
}

QTEST_GUILESS_MAIN(TestModbusErrorText)
#include "tst_modbuserrortext.moc"
