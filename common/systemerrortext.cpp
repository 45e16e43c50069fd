#include "systemerrortext.h"

namespace {

struct KnownError
{
    const char *fragment;   // of the POSIX, Windows or Qt text, any case
    const char *text;
};

// Longer fragments before the shorter ones they contain.
const KnownError KnownErrors[] = {
    {"No space left on device", "Недостаточно места на диске"},
    {"not enough space on the disk", "Недостаточно места на диске"},
    {"Disk quota exceeded", "Превышена дисковая квота"},
    {"File too large", "Превышен допустимый размер файла"},
    {"Read-only file system", "Файловая система доступна только для чтения"},
    {"write protected", "Носитель защищён от записи"},
    {"Permission denied", "Нет прав доступа"},
    {"Access is denied", "Нет прав доступа"},
    {"Operation not permitted", "Операция не разрешена"},
    {"No such file or directory", "Файл или папка не существует"},
    {"cannot find the path specified", "Папка не существует"},
    {"cannot find the file specified", "Файл не существует"},
    {"Not a directory", "Часть пути не является папкой"},
    {"Is a directory", "Указанный путь является папкой"},
    {"Connection refused", "Соединение отклонено"},
    {"Connection reset by peer", "Соединение сброшено удалённой стороной"},
    {"remote host closed the connection", "Удалённая сторона закрыла соединение"},
    {"Broken pipe", "Соединение разорвано"},
    {"Network is unreachable", "Сеть недоступна"},
    {"Network unreachable", "Сеть недоступна"},
    {"No route to host", "Нет маршрута к узлу"},
    {"Connection timed out", "Время ожидания соединения истекло"},
    {"Socket operation timed out", "Время ожидания соединения истекло"},
    {"Host not found", "Узел не найден"},
};

} // namespace

QString systemErrorText(const QString &systemText)
{
    for (const KnownError &known : KnownErrors) {
        if (systemText.contains(QLatin1String(known.fragment), Qt::CaseInsensitive))
            return QString::fromUtf8(known.text);
    }
    return systemText;
}
