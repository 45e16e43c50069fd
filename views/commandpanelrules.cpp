#include "commandpanelrules.h"

#include <QtGlobal>

namespace {

constexpr int MaxSensorGroup = 250;
constexpr int MaxRelayGroup = 25;

void applyIoRules(const CommandPanelState &s, CommandPanelEnables &e)
{
    switch (s.targetMode) {
    case ModuleGroup:
        e.ioRelay = s.groupSize <= MaxRelayGroup && s.groupSize <= s.modulesLeft;
        e.ioDisable = s.groupSize <= s.modulesLeft;
        break;
    case AllModules:
        // Arming all modules always means both loops; no relay command for all.
        e.forcedLoop = 0;
        e.ioArming = true;
        e.ioDisable = true;
        break;
    default:
        e.ioArming = !s.alarmLoops.isEmpty();
        e.loopChoiceEnabled = s.alarmLoops.size() == 2;
        if (s.alarmLoops.size() == 1)
            e.forcedLoop = *s.alarmLoops.cbegin();
        e.ioRelay = true;
        e.ioDisable = true;
        break;
    }
}

} // namespace

CommandPanelEnables commandPanelEnables(const CommandPanelState &s)
{
    CommandPanelEnables e;
    e.panelVisible = s.modulePresent;
    e.panelEnabled = s.online && s.lineOn && s.actionsEnabled && s.commandsAllowed;
    e.groupSizeEnabled = s.targetMode == ModuleGroup;
    e.targetChoicesEnabled = s.page != ScpModulePage;
    if (s.page == SensorPage) {
        e.sensorCommands = s.targetMode != ModuleGroup
                           || s.groupSize <= qMin(s.modulesLeft, MaxSensorGroup);
    } else if (s.page == IoModulePage) {
        applyIoRules(s, e);
    }
    return e;
}
