#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[])
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestu"));
    QCoreApplication::setApplicationName(QStringLiteral("LantrelProg"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.1.776"));
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("LantrelProg"));
    label.show();
    return app.exec();
}
