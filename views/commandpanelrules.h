#ifndef COMMANDPANELRULES_H
#define COMMANDPANELRULES_H

#include <QSet>

// What the state window's module command panel may offer, as a function of
// the window's state. The client refuses sensor groups above 250 modules and
// I/O relay groups above 25; the rules keep the panel inside those limits and
// inside the modules of the selected kind left in its table.

enum CommandPage { SensorPage = 0, IoModulePage = 1, ScpModulePage = 2 };
enum CommandTargetMode { SelectedModule = 0, ModuleGroup = 1, AllModules = 2 };

struct CommandPanelState
{
    bool modulePresent = false;
    bool online = false;            // link up and the controller identified
    bool lineOn = false;            // line state LN_ONN
    bool actionsEnabled = true;     // no client task runs
    bool commandsAllowed = false;   // the selected module's state takes commands
    int page = SensorPage;
    int targetMode = SelectedModule;
    int groupSize = 1;              // the spin box
    int modulesLeft = 0;            // of the selected kind, from the selected one on
    QSet<int> alarmLoops;           // I/O loops (1, 2) in alarm mode
};

struct CommandPanelEnables
{
    bool panelVisible = false;
    bool panelEnabled = false;
    bool groupSizeEnabled = false;
    bool targetChoicesEnabled = false;  // "Группа из" and "Все"
    bool sensorCommands = false;        // arm, disarm, disable
    bool loopChoiceEnabled = false;
    int forcedLoop = -1;                // loop the choice must show (0 both), -1 keep the user's
    bool ioArming = false;              // arm, disarm
    bool ioRelay = false;               // relay on, off
    bool ioDisable = false;
};

CommandPanelEnables commandPanelEnables(const CommandPanelState &state);

#endif // COMMANDPANELRULES_H
