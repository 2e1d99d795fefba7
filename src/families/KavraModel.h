#pragma once

#include "ModelId.h"

#include <QVector>

#include <memory>

class KavraDriver_AbstractDevice;

// One row of the table of the models the library serves (KavraSupportedModels). The factory hands
// each new family object its row, so that the device base and the families read their model's
// hardware versions and limits here instead of looking back up into the table.
struct KavraModel
{
    using Factory = std::shared_ptr<KavraDriver_AbstractDevice> (*)(const KavraModel&);

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
    // A new, unopened family object given this row; null for a model without a family.
    Factory create = nullptr;
};
