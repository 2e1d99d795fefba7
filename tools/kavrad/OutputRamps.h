#ifndef KAVRAD_OUTPUTRAMPS_H
#define KAVRAD_OUTPUTRAMPS_H

#include <QVector>

// The voltage ramps of one unit's outputs: for each output its rate, the voltage last sent and
// the target. A ramp moves by at most rate × Period per step, one step each Period; the caller
// sends the steps. Outputs are numbered from 1.
class OutputRamps
{
public:
    static constexpr int PeriodMs = 100;

    explicit OutputRamps(int outputs);

    // Volts per second; 0 sends a setting at once.
    void setRate(int channel, double voltsPerSecond) { m_outputs[channel].rate = voltsPerSecond; }
    double rate(int channel) const { return m_outputs.at(channel).rate; }
    // A new target: the ramp runs from the voltage last sent (0 when none is known) at the
    // output's rate. offAtEnd: the output is to be switched off when the ramp has arrived.
    void retarget(int channel, double target, bool offAtEnd = false);
    // The voltage of the ramp's next step.
    double nextStep(int channel) const;
    // A voltage that reached the unit; the ramp ends when it is the target.
    void sent(int channel, double volts);
    // Ends the ramp where it stands.
    void stop(int channel)
    {
        m_outputs[channel].running = false;
        m_outputs[channel].offAtEnd = false;
    }
    // The voltage sent is no longer known (a waveform, a failed exchange).
    void forget(int channel);
    bool running(int channel) const { return m_outputs.at(channel).running; }
    bool anyRunning() const;
    // Whether the ramp is to switch its output off when it arrives.
    bool switchesOff(int channel) const { return m_outputs.at(channel).offAtEnd; }

private:
    struct Output
    {
        double rate = 0.0;
        double sent = 0.0;
        double target = 0.0;
        bool running = false;
        bool offAtEnd = false;
    };

    QVector<Output> m_outputs;
};

#endif
