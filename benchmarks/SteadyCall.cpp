#include "SteadyCall.h"

#include <KavraLib.h>

namespace {
int readSupplyStatus(int index)
{
    bool flag = false;
    char text[256] = {}; // Cedar needs 222 bytes
    return getSupplyStatus(index, &flag, text);
}

int readChannelStatus(int index)
{
    bool first = false;
    bool second = false;
    return getChannelStatus(index, 1, &first, &second);
}

int readChannelCurrent(int index)
{
    double current = 0;
    return getChannelCurrent(index, 1, &current);
}

int writeVoltage(int index)
{
    // Within every family's limits (Cedar's lowest bus level allows 75 V).
    return setVoltage(index, 1, 10.0, 10.0);
}
} // namespace

const QVector<SteadyCall>& SteadyCall::all()
{
    static const QVector<SteadyCall> calls{
        {QStringLiteral("getSupplyStatus"), readSupplyStatus},
        {QStringLiteral("getChannelStatus"), readChannelStatus},
        {QStringLiteral("getChannelCurrent"), readChannelCurrent},
        {QStringLiteral("setVoltage"), writeVoltage},
    };
    return calls;
}

int SteadyCall::indexOf(const QString& serialNumber)
{
    int count = 0;
    if (getDeviceCount(&count) != 0)
        return -1;
    for (int index = 1; index <= count; ++index) {
        char serial[32] = {};
        if (getDeviceSerialNumber(index, serial, sizeof serial) == 0
            && QString::fromLatin1(serial).compare(serialNumber, Qt::CaseInsensitive) == 0)
            return index;
    }
    return -1;
}
