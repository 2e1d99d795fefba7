#pragma once

#include "ModelId.h"

// The models the library serves, and the hardware versions accepted for each. Built once, never changed.
class KavraSupportedModels
{
public:
    static bool isSupported(const ModelId& model);
    static bool acceptsHardwareVersion(const ModelId& model, int hardwareVersion);
};
