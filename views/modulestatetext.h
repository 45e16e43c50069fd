#ifndef MODULESTATETEXT_H
#define MODULESTATETEXT_H

#include <QString>

struct LineModuleRecord;

// The state window's description of one line module, as rich text.

// "Состояние модуля" with the lines for its state flags and status bytes;
// `commandsAllowed` tells whether that state lets the module take commands
// (it has a state, a link, is switched on and matches its configuration).
QString moduleStateHtml(const LineModuleRecord &module, bool *commandsAllowed);

// "Ошибки модуля" with a line per fault bit of status byte 2, or an empty
// text when the module reports no fault.
QString moduleFaultsHtml(const LineModuleRecord &module);

#endif // MODULESTATETEXT_H
