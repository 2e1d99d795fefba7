#pragma once

#include "ModelId.h"

#include <QVector>

#include <memory>

class KavraDriver_AbstractDevice;

// The table of the models the library serves: for each model its family, the hardware versions
// accepted, the outputs, the PWM outputs, the highest voltage, the largest current limit, the
// operations and the family
// class that drives it. Built on first use,
// never changed, so it may be read from any thread.
class KavraSupportedModels
{
public:
    using Factory = std::shared_ptr<KavraDriver_AbstractDevice> (*)();

    struct Model
    {
        ModelId id;
        // Empty for a model that is counted but has no family.
        const char* family = "";
        QVector<int> hardwareVersions;
        // Outputs that the channel parameters accept, numbered from 1.
        int channelCount = 0;
        // PWM outputs that the PWM channel parameters accept, numbered from 1.
        int pwmChannelCount = 0;
        // The largest current limit of a voltage setting, in microamps; 0 where the setting takes
        // none.
        double highestCurrent = 0.0;
        // The highest voltage that the model's voltage setting (setVoltage, or setAccurateVoltage
        // where that is the only one) accepts, in volts; 0 where it has none. Cedar's limit
        // depends on its bus level: this is the largest level's.
        double highestVoltage = 0.0;
        // KAVRA_OPERATION_* bits of the unit functions that the family class implements.
        unsigned operations = 0;
        // Null for a model without a family.
        Factory create = nullptr;
    };

    // The model's row, or null when the library does not serve the model.
    static const Model* find(const ModelId& model);
    static bool isSupported(const ModelId& model);
    static bool acceptsHardwareVersion(const ModelId& model, int hardwareVersion);
    // Whether units of the model support the operation (one KAVRA_OPERATION_* bit).
    static bool supports(const ModelId& model, unsigned operation);
    // A new, unopened family object for the model, or null when it has no family.
    static std::shared_ptr<KavraDriver_AbstractDevice> createDevice(const ModelId& model);
};
