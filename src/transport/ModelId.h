#pragma once

#include <QHashFunctions>

#include <cstddef>
#include <functional>

// A unit's model: the product and revision numbers carried by its serial number.
struct ModelId
{
    int product = 0;
    int revision = 0;

    ModelId() = default;
    ModelId(int p, int r) : product(p), revision(r) { }

    bool operator==(const ModelId& other) const
    {
        return product == other.product && revision == other.revision;
    }
    bool operator!=(const ModelId& other) const { return !(*this == other); }
};

inline uint qHash(const ModelId& id, uint seed = 0)
{
    return QT_PREPEND_NAMESPACE(qHash)(static_cast<int>(id.product * 100 + id.revision), seed);
}

namespace std {
template <> struct hash<ModelId>
{
    size_t operator()(const ModelId& id) const noexcept
    {
        return std::hash<int>()(id.product * 100 + id.revision);
    }
};
} // namespace std
