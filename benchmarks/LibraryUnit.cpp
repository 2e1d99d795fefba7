#include "LibraryUnit.h"

#include "BenchControl.h"

LibraryUnit::LibraryUnit(const QString& serial)
    : m_serial(serial)
    , m_name(serial.toLatin1())
    , m_index(SteadyCall::indexOf(serial))
    , m_channels(TwinUnit::channels(serial))
{ }

int LibraryUnit::open()
{
    // Index 0 is out of range: the library answers 1, as for any unit it cannot name.
    const int status = SteadyCall::supplyStatus().call(m_index < 0 ? 0 : m_index);
    for (const int link : m_channels.keys())
        m_configuration.insert(
            link, BenchControl::instance().takeConfigCalls(m_name.constData(), link));
    BenchControl::instance().takeWireLog(m_name.constData());
    return status;
}

WireScript LibraryUnit::capture(const SteadyCall& call, int* status)
{
    BenchControl& bench = BenchControl::instance();
    bench.takeWireLog(m_name.constData());
    *status = call.call(m_index);
    const WireScript script = WireScript::fromWireLog(bench.takeWireLog(m_name.constData()));
    return *status == 0 ? script : WireScript();
}

bool LibraryUnit::prepareTwin(TwinUnit& twin, const WireScript& script) const
{
    for (const int link : script.links()) {
        if (!twin.openLink(link, m_configuration.value(link)))
            return false;
    }
    return true;
}

void LibraryUnit::clearRecords()
{
    BenchControl& bench = BenchControl::instance();
    bench.takeWireLog(m_name.constData());
    for (const int link : m_channels.keys())
        bench.takeConfigCalls(m_name.constData(), link);
}
