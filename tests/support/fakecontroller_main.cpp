// Serves a generated configuration for manual checks of the program:
//   fakecontroller [address] [port] [--unit N] [--rtu DEVICE] [--events N]
//                  [--sensors N] [--io N] [--scp N] [--varied-states]
//                  [--busy-status-after S]
// address defaults to 127.0.0.1, port to 502. With --rtu the same controller
// also answers Modbus RTU on DEVICE (e.g. one end of a socat pty pair).
// Sensors sit at line addresses 1.., I/O modules at 201.., line-protection
// modules at 301..; --varied-states puts the modules in a spread of live
// states instead of "no link". --busy-status-after makes the controller
// answer every read of its status block "busy" from S seconds after start.

#include "fakecontroller.h"
#include "faketcpserver.h"
#include "fakemodulestates.h"
#include "fakertuserver.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString address = QStringLiteral("127.0.0.1");
    int port = 502;
    int unit = 3;
    int events = 0;
    int sensors = 24;
    int ioModules = 4;
    int scpModules = 2;
    bool variedStates = false;
    int busyStatusAfter = -1;
    QString rtu;
    QStringList positional;
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args.at(i);
        if (a == QLatin1String("--unit") && i + 1 < args.size())
            unit = args.at(++i).toInt();
        else if (a == QLatin1String("--rtu") && i + 1 < args.size())
            rtu = args.at(++i);
        else if (a == QLatin1String("--events") && i + 1 < args.size())
            events = args.at(++i).toInt();
        else if (a == QLatin1String("--sensors") && i + 1 < args.size())
            sensors = args.at(++i).toInt();
        else if (a == QLatin1String("--io") && i + 1 < args.size())
            ioModules = args.at(++i).toInt();
        else if (a == QLatin1String("--scp") && i + 1 < args.size())
            scpModules = args.at(++i).toInt();
        else if (a == QLatin1String("--varied-states"))
            variedStates = true;
        else if (a == QLatin1String("--busy-status-after") && i + 1 < args.size())
            busyStatusAfter = args.at(++i).toInt();
        else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            QTextStream(stdout) << "usage: fakecontroller [address] [port] [--unit N] [--rtu DEVICE] [--events N]\n"
                                   "                      [--sensors N] [--io N] [--scp N] [--varied-states]\n"
                                   "                      [--busy-status-after S]\n";
            return 0;
        } else
            positional << a;
    }
    if (positional.size() > 0)
        address = positional.at(0);
    if (positional.size() > 1)
        port = positional.at(1).toInt();

    QTextStream out(stdout);
    const QHostAddress host(address);
    if (host.isNull() || port <= 0 || port > 65535 || unit < 1 || unit > 247) {
        QTextStream(stderr) << "bad address, port or unit\n";
        return 2;
    }
    // The kinds keep to their own address ranges.
    if (sensors < 0 || sensors > 200 || ioModules < 0 || ioModules > 100 || scpModules < 0 || scpModules > 32) {
        QTextStream(stderr) << "at most 200 sensors, 100 I/O and 32 line-protection modules\n";
        return 2;
    }
    FakeController controller;
    controller.loadGeneratedConfiguration(unit, host, sensors, ioModules, scpModules);
    if (variedStates)
        FakeModuleStates::applyVariedStates(controller);
    controller.emulateFirmwareUpdate();
    controller.addEvents(events);
    if (busyStatusAfter >= 0) {
        QTimer::singleShot(busyStatusAfter * 1000, &controller, [&controller]() {
            FakeInjection busy = FakeInjection::exception(6, 3, -1);
            busy.address = 22;
            controller.addInjection(busy);
        });
    }
    FakeTcpServer tcp(&controller);
    if (!tcp.listen(host, quint16(port))) {
        QTextStream(stderr) << "cannot listen on " << address << ":" << port << "\n";
        return 1;
    }
    FakeRtuServer serial(&controller);
    if (!rtu.isEmpty() && !serial.open(rtu)) {
        QTextStream(stderr) << "cannot open " << rtu << "\n";
        return 1;
    }
    QObject::connect(&controller, &FakeController::requestReceived, [&out](const FakeRequest &r) {
        out << QString::number(r.timeMs).rightJustified(8) << " unit " << r.unitId
            << " fn " << r.function << (r.forUs ? "" : " (not ours)")
            << " " << r.data.toHex().toUpper() << "\n";
        out.flush();
    });
    out << "fake line controller, line address " << unit << ", Modbus TCP " << address << ":"
        << tcp.port() << (rtu.isEmpty() ? QString() : QStringLiteral(", RTU ") + rtu) << "\n";
    out.flush();
    return app.exec();
}
