#ifndef SAMPLESCSV_H
#define SAMPLESCSV_H

#include <QString>
#include <QVector>

#include "sensorsampleshistorymodel.h"

// The sample history as CSV: a header "Адрес";"T_N";…;"T_1" with N the
// longest row, then one line per address with its values, newest first,
// separated by semicolons. Lines end in "\n".
QString samplesCsvText(const QVector<SensorHistory> &rows);

// Writes the CSV in Windows-1251 with the platform's line ends. The
// file is replaced only once it is written whole; on failure it is left as
// it was and `error` holds the system's reason.
bool saveSamplesCsv(const QString &fileName, const QVector<SensorHistory> &rows, QString *error);

#endif // SAMPLESCSV_H
