#pragma once

#include "KavraModel.h"
#include "ModelId.h"

#include <memory>

class KavraDriver_AbstractDevice;

// The table of the models the library serves: for each model its row (KavraModel), whose factory
// creates the family class that drives it. Built on first use, never changed, so it may be read
// from any thread. Only this table and the session know the family classes.
class KavraSupportedModels
{
public:
    using Model = KavraModel;

    // The model's row, or null when the library does not serve the model.
    static const Model* find(const ModelId& model);
    static bool isSupported(const ModelId& model);
    // A new, unopened family object for the model, given the model's row, or null when it has no
    // family.
    static std::shared_ptr<KavraDriver_AbstractDevice> createDevice(const ModelId& model);
};
