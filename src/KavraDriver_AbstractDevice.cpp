#include "KavraDriver_AbstractDevice.h"

KavraDriver_AbstractDevice::KavraDriver_AbstractDevice() = default;

KavraDriver_AbstractDevice::~KavraDriver_AbstractDevice() = default;

int KavraDriver_AbstractDevice::setPWMFunction(uint32_t, int) { return NotSupported; }
int KavraDriver_AbstractDevice::setPWM(int, int) { return NotSupported; }
int KavraDriver_AbstractDevice::setPWMFrequency(int) { return NotSupported; }
int KavraDriver_AbstractDevice::setVoltage(int, double, double) { return NotSupported; }
int KavraDriver_AbstractDevice::setAccurateVoltage(int, double, double) { return NotSupported; }
int KavraDriver_AbstractDevice::setVoltageWaveform(int, uint32_t, double, double, double)
{
    return NotSupported;
}
int KavraDriver_AbstractDevice::setPolarity(int, int) { return NotSupported; }
int KavraDriver_AbstractDevice::turnVoltageOn(int) { return NotSupported; }
int KavraDriver_AbstractDevice::turnVoltageOff(int) { return NotSupported; }
int KavraDriver_AbstractDevice::enableInternalVoltageBus(int) { return NotSupported; }
int KavraDriver_AbstractDevice::disableInternalVoltageBus() { return NotSupported; }
int KavraDriver_AbstractDevice::getSupplyStatus(bool*, char*) { return NotSupported; }
int KavraDriver_AbstractDevice::getChannelStatus(int, bool*, bool*) { return NotSupported; }
int KavraDriver_AbstractDevice::getChannelCurrent(int, double*) { return NotSupported; }
int KavraDriver_AbstractDevice::clearError() { return NotSupported; }
int KavraDriver_AbstractDevice::getADCValue(double*) { return NotSupported; }
int KavraDriver_AbstractDevice::initialiseDevice() { return NotSupported; }

int KavraDriver_AbstractDevice::close()
{
    return 0;
}
