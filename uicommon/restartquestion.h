#ifndef RESTARTQUESTION_H
#define RESTARTQUESTION_H

#include <QString>

// The warning before a controller restart while its configuration is not
// saved to its flash: the restart reloads the flash. One text wherever a
// restart is started.
QString restartUnsavedConfigQuestion();

#endif // RESTARTQUESTION_H
