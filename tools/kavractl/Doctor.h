#ifndef KAVRACTL_DOCTOR_H
#define KAVRACTL_DOCTOR_H

class Output;

// Says what stands between the tool and the units: the D2XX library (the file loaded and its
// version, or why none could be loaded), how many units are attached and how many away, then
// every numbered unit opened in turn with its state, and a hint for each kind of failure seen.
class Doctor
{
public:
    explicit Doctor(const Output& output);

    // Returns the exit code: 0 when every unit opens, ToolError::LibraryStatus when one does not,
    // ToolError::NoDriver without a D2XX library.
    int run();

private:
    const Output& m_output;
};

#endif
