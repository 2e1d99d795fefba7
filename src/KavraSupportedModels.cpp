#include "KavraSupportedModels.h"

#include <QHash>
#include <QSet>

namespace {

const QHash<ModelId, QSet<int>>& acceptedVersions()
{
    // Thread-safe initialisation on first use; lives until unload.
    static const QHash<ModelId, QSet<int>> table = {
        {ModelId(15, 1), {1}}, {ModelId(17, 1), {1, 2}}, {ModelId(19, 1), {1}},
        {ModelId(25, 1), {1}}, {ModelId(39, 1), {1}},    {ModelId(40, 1), {1}},
        {ModelId(41, 1), {1}},
    };
    return table;
}

} // namespace

bool KavraSupportedModels::isSupported(const ModelId& model)
{
    return acceptedVersions().contains(model);
}

bool KavraSupportedModels::acceptsHardwareVersion(const ModelId& model, int hardwareVersion)
{
    return acceptedVersions().value(model).contains(hardwareVersion);
}
