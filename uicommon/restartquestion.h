#ifndef RESTARTQUESTION_H
#define RESTARTQUESTION_H

#include <QString>

// The warning before a controller restart while its configuration is not
// saved to its flash: the restart reloads the flash. One text wherever a
// restart is started.
QString restartUnsavedConfigQuestion();

// The same warning for an action that restarts the controller after a step
// of its own: `lead` says what the action does. Empty `lead`: the text above.
QString restartUnsavedConfigQuestion(const QString &lead);

// The warning as one paragraph, for an action whose own question goes on
// with it, so that the action asks once.
QString unflashedConfigParagraph();

#endif // RESTARTQUESTION_H
