#ifndef INTERACTIONTEXT_H
#define INTERACTIONTEXT_H

#include <QString>

// Hold time of an executor's relay as the interactions table shows it: an
// I/O module keeps whole seconds; a relay module keeps a count of 0.5 s
// intervals, shown with one decimal in the default locale when it is odd.
QString relayTimeText(quint8 executorType, quint8 time);

// The function column: relayModeShortNames of the function's mode, followed
// by the formula number (1 to 254) or by the hold time and " с." (255).
QString interactionFunctionText(quint8 function, quint8 executorType, quint8 relayTime);

#endif // INTERACTIONTEXT_H
