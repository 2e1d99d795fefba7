#pragma once

#include "SimUnit.h"

#include <QJsonObject>

#include <memory>

// Builds the firmware of the unit behind a chip: the one place that knows every family's unit
// class, so that the chip side and the unit interface know none of them.
class FirmwareFactory
{
public:
    // The unit described by one "units" entry of a bench file. Never returns null: a unit whose
    // model has no firmware answers only the bootloader.
    static std::unique_ptr<SimUnit> create(const QJsonObject& config);
};
