#ifndef REGULARFILE_H
#define REGULARFILE_H

#include <QString>

// Why the file at `path` is not to be opened for reading: empty for a
// regular file (after symbolic links) and for a path that does not exist,
// whose opening reports the error itself. Anything else (a named pipe, a
// device, a socket, a folder) could block the read for good, so it is
// refused by name; the text follows the usual "cannot open" message.
QString notRegularFileReason(const QString &path);

class QFile;
// Opens the file for reading after the check above: empty when it is open,
// else why not, in words for the user.
QString openRegularFile(QFile &file);

#endif // REGULARFILE_H
