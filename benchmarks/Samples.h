#pragma once

#include <vector>

// Durations in seconds, and their median and percentiles.
class Samples
{
public:
    void reserve(int count) { m_values.reserve(static_cast<std::size_t>(count)); }
    void add(double seconds) { m_values.push_back(seconds); }
    int count() const { return static_cast<int>(m_values.size()); }
    double median() const;
    // Nearest rank: the smallest value that at least the fraction p of the samples do not exceed.
    double percentile(double p) const;

private:
    std::vector<double> sorted() const;

    std::vector<double> m_values;
};
