#include "OutputRamps.h"

#include <algorithm>
#include <cmath>

OutputRamps::OutputRamps(int outputs) : m_outputs(outputs + 1) { }

void OutputRamps::retarget(int channel, double target, bool offAtEnd)
{
    Output& output = m_outputs[channel];
    output.target = target;
    output.offAtEnd = offAtEnd;
    output.running = true;
}

double OutputRamps::nextStep(int channel) const
{
    const Output& output = m_outputs.at(channel);
    const double step = output.rate * PeriodMs / 1000.0;
    const double distance = output.target - output.sent;
    if (!(step > 0) || std::abs(distance) <= step)
        return output.target;
    return output.sent + std::copysign(step, distance);
}

void OutputRamps::sent(int channel, double volts)
{
    Output& output = m_outputs[channel];
    output.sent = volts;
    if (volts == output.target)
        output.running = false;
}

void OutputRamps::forget(int channel)
{
    // Unknown is taken as 0: a ramp then starts low rather than jumping high.
    m_outputs[channel] = Output{m_outputs.at(channel).rate};
}

bool OutputRamps::anyRunning() const
{
    return std::any_of(
        m_outputs.cbegin(), m_outputs.cend(), [](const Output& output) { return output.running; });
}
