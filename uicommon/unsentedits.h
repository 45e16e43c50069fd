#ifndef UNSENTEDITS_H
#define UNSENTEDITS_H

#include <QString>

class QWidget;

// The warning before an action drops edits that were neither written to the
// controller nor saved to a file: what the action does with them, how to
// keep them, and the question.
QString unsentEditsQuestion(const QString &consequence, const QString &question);

// Editors still open hand their values over first; then, if unsent edits
// exist, the warning above with "Нет" as the default. True when there are
// none or the user agreed to lose them.
bool confirmDropUnsentEdits(QWidget *parent, const QString &title, const QString &consequence,
                            const QString &question);
// The warning above, asked whatever the edits, for an action that knows its
// own edits at stake; true when the user agreed to lose them.
bool askDropUnsentEdits(QWidget *parent, const QString &title, const QString &consequence, const QString &question);

#endif // UNSENTEDITS_H
