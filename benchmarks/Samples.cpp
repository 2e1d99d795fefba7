#include "Samples.h"

#include <algorithm>
#include <cmath>

std::vector<double> Samples::sorted() const
{
    std::vector<double> values = m_values;
    std::sort(values.begin(), values.end());
    return values;
}

double Samples::median() const
{
    const std::vector<double> values = sorted();
    if (values.empty())
        return 0;
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Samples::percentile(double p) const
{
    const std::vector<double> values = sorted();
    if (values.empty())
        return 0;
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(values.size())));
    return values[std::min(values.size(), std::max<std::size_t>(rank, 1)) - 1];
}
