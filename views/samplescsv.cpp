#include "samplescsv.h"

#include "systemerrortext.h"
#include <QSaveFile>
#include <QTextCodec>

QString samplesCsvText(const QVector<SensorHistory> &rows)
{
    int columns = 0;
    for (const SensorHistory &h : rows)
        columns = qMax(columns, h.samples.size());

    QString text = QStringLiteral("\"Адрес\"");
    for (int k = columns; k >= 1; --k)
        text += QStringLiteral(";\"T_%1\"").arg(k);
    text += QLatin1Char('\n');
    for (const SensorHistory &h : rows) {
        text += QString::number(h.address);
        for (const SensorSample &s : h.samples)
            text += QLatin1Char(';') + QString::number(s.value);
        text += QLatin1Char('\n');
    }
    return text;
}

bool saveSamplesCsv(const QString &fileName, const QVector<SensorHistory> &rows, QString *error)
{
    QString text = samplesCsvText(rows);
#ifdef Q_OS_WIN
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
#endif
    const QByteArray bytes = QTextCodec::codecForName("Windows-1251")->fromUnicode(text);

    // Unbuffered, so that every write reports its own failure; a short
    // write (a full disk) is retried until the system names its reason.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *error = systemErrorText(file.errorString());
        return false;
    }
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            *error = systemErrorText(file.errorString());
            file.cancelWriting();
            return false;
        }
        done += written;
    }
    if (!file.commit()) {
        *error = systemErrorText(file.errorString());
        return false;
    }
    return true;
}
