#include "KavraSupportedModels.h"

#include "KavraDriver_Alder_Device.h"
#include "KavraDriver_Birch_Device.h"
#include "KavraDriver_Cedar_Device.h"
#include "KavraDriver_Generic_Device.h"
#include "KavraDriver_Rowan_Device.h"
#include "KavraLib.h"

#include <algorithm>
#include <type_traits>
#include <vector>

namespace {

using Model = KavraSupportedModels::Model;

// The bit when the family class overrides the operation: the base class answers every operation
// with 10, so only what a family writes itself is supported.
template <typename Override, typename Default>
unsigned bitWhenOverridden(Override, Default, unsigned bit)
{
    return std::is_same<Override, Default>::value ? 0u : bit;
}

template <typename Family> unsigned operationsOf()
{
    using Base = KavraDriver_AbstractDevice;
    return bitWhenOverridden(
               &Family::setPWMFunction, &Base::setPWMFunction, KAVRA_OPERATION_SET_PWM_FUNCTION)
        | bitWhenOverridden(&Family::setPWM, &Base::setPWM, KAVRA_OPERATION_SET_PWM)
        | bitWhenOverridden(
            &Family::setPWMFrequency, &Base::setPWMFrequency, KAVRA_OPERATION_SET_PWM_FREQUENCY)
        | bitWhenOverridden(&Family::setVoltage, &Base::setVoltage, KAVRA_OPERATION_SET_VOLTAGE)
        | bitWhenOverridden(&Family::setAccurateVoltage, &Base::setAccurateVoltage,
            KAVRA_OPERATION_SET_ACCURATE_VOLTAGE)
        | bitWhenOverridden(&Family::setVoltageWaveform, &Base::setVoltageWaveform,
            KAVRA_OPERATION_SET_VOLTAGE_WAVEFORM)
        | bitWhenOverridden(&Family::setPolarity, &Base::setPolarity, KAVRA_OPERATION_SET_POLARITY)
        | bitWhenOverridden(
            &Family::turnVoltageOn, &Base::turnVoltageOn, KAVRA_OPERATION_TURN_VOLTAGE_ON)
        | bitWhenOverridden(
            &Family::turnVoltageOff, &Base::turnVoltageOff, KAVRA_OPERATION_TURN_VOLTAGE_OFF)
        | bitWhenOverridden(&Family::enableInternalVoltageBus, &Base::enableInternalVoltageBus,
            KAVRA_OPERATION_ENABLE_INTERNAL_VOLTAGE_BUS)
        | bitWhenOverridden(&Family::disableInternalVoltageBus, &Base::disableInternalVoltageBus,
            KAVRA_OPERATION_DISABLE_INTERNAL_VOLTAGE_BUS)
        | bitWhenOverridden(
            &Family::getSupplyStatus, &Base::getSupplyStatus, KAVRA_OPERATION_GET_SUPPLY_STATUS)
        | bitWhenOverridden(
            &Family::getChannelStatus, &Base::getChannelStatus, KAVRA_OPERATION_GET_CHANNEL_STATUS)
        | bitWhenOverridden(&Family::getChannelCurrent, &Base::getChannelCurrent,
            KAVRA_OPERATION_GET_CHANNEL_CURRENT)
        | bitWhenOverridden(&Family::clearError, &Base::clearError, KAVRA_OPERATION_CLEAR_ERROR)
        | bitWhenOverridden(
            &Family::getADCValue, &Base::getADCValue, KAVRA_OPERATION_GET_ADC_VALUE);
}

// A model driven by the family class; `without` names operations of the class that the model
// lacks.
template <typename Family>
Model row(ModelId id, const char* family, QVector<int> hardwareVersions, double highestVoltage,
    double highestCurrent = 0.0, unsigned without = 0)
{
    return Model{id, family, std::move(hardwareVersions), Family::ChannelCount,
        Family::PwmChannelCount, highestCurrent, highestVoltage, operationsOf<Family>() & ~without,
        [](const Model& model) {
            return std::shared_ptr<KavraDriver_AbstractDevice>(std::make_shared<Family>(&model));
        }};
}

const std::vector<Model>& models()
{
    // Thread-safe initialisation on first use; lives until unload.
    static const std::vector<Model> table = {
        row<KavraDriver_Alder_Device>(ModelId(15, 1), "Alder", {1},
            KavraDriver_Alder_Device::HighestVoltage, KavraDriver_Alder_Device::HighestCurrent),
        // The bus level bounds Cedar's outputs: the row gives the largest level's limit.
        row<KavraDriver_Cedar_Device>(
            ModelId(17, 1), "Cedar", {1, 2}, KavraDriver_Cedar_HVBus::HighestVoltageOfAnyLevel),
        // The Generic class checks against its row. The single-polarity model first.
        row<KavraDriver_Generic_Device>(
            ModelId(19, 1), "Generic", {1}, 5000.0, 200.0, KAVRA_OPERATION_SET_POLARITY),
        row<KavraDriver_Generic_Device>(ModelId(25, 1), "Generic", {1}, 2000.0, 500.0),
        // Counted and numbered, but no family drives it: opening it answers 10.
        Model{ModelId(39, 1), "", {1}, 0, 0, 0.0, 0.0, 0, nullptr},
        row<KavraDriver_Birch_Device>(
            ModelId(40, 1), "Birch", {1}, KavraDriver_Birch_Device::HighestVoltage),
        row<KavraDriver_Rowan_Device>(ModelId(41, 1), "Rowan", {1}, 0.0),
    };
    return table;
}

} // namespace

const KavraSupportedModels::Model* KavraSupportedModels::find(const ModelId& model)
{
    const std::vector<Model>& table = models();
    const auto found = std::find_if(
        table.begin(), table.end(), [&model](const Model& entry) { return entry.id == model; });
    return found == table.end() ? nullptr : &*found;
}

bool KavraSupportedModels::isSupported(const ModelId& model)
{
    return find(model) != nullptr;
}

std::shared_ptr<KavraDriver_AbstractDevice> KavraSupportedModels::createDevice(const ModelId& model)
{
    const Model* entry = find(model);
    return entry && entry->create ? entry->create(*entry) : nullptr;
}
