#ifndef FAKEMODULESTATES_H
#define FAKEMODULESTATES_H

// Line-module states for the fake line controller, named by what the module
// does instead of by status bits. The bytes are laid out as the controller
// reports them in its module status files:
//  - State0: 0x01 no link; sensors 0x04 vibration alarm, 0x08 infrared
//    alarm, 0x20 fault; I/O modules 0x02 relay on, 0x04 fault, bits 4-5 and
//    6-7 the state of input loop 1 and 2 (normal, open circuit, short
//    circuit, active); line-protection modules 0x04 fault, 0x40 manual mode,
//    0x80 relay closed.
//  - State1: 0x01 switched off, 0x02 armed (I/O: loop 1 armed), 0x04
//    excluded, 0x10 I/O loop 2 armed, 0x20 added, 0x40 changed, 0x80 replaced.
//  - State2: the module's fault details.

#include "fakecontroller.h"
#include "lantrelprotocol.h"

namespace FakeModuleStates {

enum class Sensor {
    Armed,
    Disarmed,
    Alarm,          // vibration channel
    AlarmBoth,      // vibration and infrared channel
    Fault,          // vibration channel and supply
    NoLink,
    SwitchedOff,
    Excluded,
    Replaced
};
LantrelProtocol::Status_Section_t sensor(Sensor state);

enum class Loop { Normal, OpenCircuit, ShortCircuit, Active };

struct IoModule
{
    Loop loop1 = Loop::Normal;
    Loop loop2 = Loop::Normal;
    bool loop1Armed = true;
    bool loop2Armed = true;
    bool relayOn = false;
    bool fault = false;         // supply fault
    bool noLink = false;
};
LantrelProtocol::Status_MVV_t ioModule(const IoModule &state);

struct ScpModule
{
    bool manual = false;
    bool relayClosed = true;
    bool fault = false;         // output fault
    quint16 inputMv = 23500;
    quint16 outputMv = 23100;
};
LantrelProtocol::Status_MKZ_t scpModule(const ScpModule &state);

// Every module of the fake's line configuration in one of a spread of
// states: mostly armed and normal, some disarmed, in alarm, faulty, without
// link, switched off or replaced; I/O loops in every state; line-protection
// modules in automatic and manual mode.
void applyVariedStates(FakeController &fake);

} // namespace FakeModuleStates

#endif // FAKEMODULESTATES_H
