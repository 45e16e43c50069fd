#include "fakemodulestates.h"

#include <iterator>

using namespace LantrelProtocol;

namespace FakeModuleStates {

Status_Section_t sensor(Sensor state)
{
    constexpr quint8 armed = 0x02;
    Status_Section_t s;
    s.State1 = armed;
    switch (state) {
    case Sensor::Armed:
        break;
    case Sensor::Disarmed:
        s.State1 = 0;
        break;
    case Sensor::Alarm:
        s.State0 = 0x04;
        break;
    case Sensor::AlarmBoth:
        s.State0 = 0x04 | 0x08;
        break;
    case Sensor::Fault:
        s.State0 = 0x20;
        s.State2 = 0x08 | 0x10;
        break;
    case Sensor::NoLink:
        s.State0 = 0x01;
        break;
    case Sensor::SwitchedOff:
        s.State1 = 0x01;
        break;
    case Sensor::Excluded:
        s.State1 = armed | 0x04;
        break;
    case Sensor::Replaced:
        s.State1 = armed | 0x80;
        break;
    }
    return s;
}

Status_MVV_t ioModule(const IoModule &state)
{
    Status_MVV_t s;
    s.State0 = quint8((int(state.loop1) << 4) | (int(state.loop2) << 6));
    if (state.noLink)
        s.State0 |= 0x01;
    if (state.relayOn)
        s.State0 |= 0x02;
    if (state.fault) {
        s.State0 |= 0x04;
        s.State2 = 0x04;
    }
    s.State1 = quint8((state.loop1Armed ? 0x02 : 0) | (state.loop2Armed ? 0x10 : 0));
    return s;
}

Status_MKZ_t scpModule(const ScpModule &state)
{
    Status_MKZ_t s;
    s.State0 = quint8((state.manual ? 0x40 : 0) | (state.relayClosed ? 0x80 : 0));
    if (state.fault) {
        s.State0 |= 0x08;
        s.State2 = 0x08;
    }
    s.Value1 = state.inputMv;
    s.Value2 = state.outputMv;
    return s;
}

void applyVariedStates(FakeController &fake)
{
    static const Sensor sensorCycle[] = {
        Sensor::Armed, Sensor::Armed,    Sensor::Disarmed, Sensor::Armed,  Sensor::Alarm,
        Sensor::Armed, Sensor::Fault,    Sensor::Armed,    Sensor::NoLink, Sensor::Armed,
        Sensor::AlarmBoth, Sensor::Armed, Sensor::SwitchedOff, Sensor::Armed, Sensor::Replaced,
        Sensor::Armed, Sensor::Excluded};
    static const IoModule ioCycle[] = {
        {},
        {Loop::Active, Loop::Normal, true, true, true, false, false},
        {Loop::OpenCircuit, Loop::Normal, true, false, false, false, false},
        {Loop::Normal, Loop::ShortCircuit, true, true, false, true, false},
        {Loop::Normal, Loop::Active, false, true, true, false, false}};
    static const ScpModule scpCycle[] = {
        {},
        {true, false, false, 23800, 0},
        {false, true, true, 23400, 9800}};

    const Konfig_Line_t line = fake.lineConfig();
    for (int i = 0; i < line.SensorCount; ++i)
        fake.setSensorStatus(i, sensor(sensorCycle[i % std::size(sensorCycle)]));
    for (int i = 0; i < line.IoCount; ++i)
        fake.setIoModuleStatus(i, ioModule(ioCycle[i % std::size(ioCycle)]));
    for (int i = 0; i < line.ScpCount; ++i)
        fake.setScpModuleStatus(i, scpModule(scpCycle[i % std::size(scpCycle)]));
}

} // namespace FakeModuleStates
