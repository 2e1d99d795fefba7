#pragma once

#include "FifoLock.h"
#include "KavraModel.h"
#include "ModelId.h"
#include "USBDriver.h"
#include "USBResult.h"

#include <QPair>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class KavraDriver_CommRequest;
class USBDevice;
class USBICommRequest;

// The one type through which the exported functions drive a unit. Every operation defaults to
// status 10 (not supported by the family) with no effect; each family overrides what it supports.
// The device owns the unit's driver, with one packet protocol for socket 0 installed at
// construction. Operations take no lock themselves: callers run them one at a time by holding a
// place in callLock().
class KavraDriver_AbstractDevice
{
public:
    // Baud rate of the units' serial links.
    static constexpr int BaudRate = 500000;
    // Pause between the first bootloader instruction and the identification read.
    static constexpr unsigned long IdentificationDelayMs = 600;

    // The model's row comes from the factory; without one (a family object made on its own) no
    // hardware version is accepted and the family's table limits allow nothing.
    explicit KavraDriver_AbstractDevice(const KavraModel* model = nullptr);
    // Closes the unit's connection.
    virtual ~KavraDriver_AbstractDevice();

    KavraDriver_AbstractDevice(const KavraDriver_AbstractDevice&) = delete;
    KavraDriver_AbstractDevice& operator=(const KavraDriver_AbstractDevice&) = delete;

    virtual int setPWMFunction(uint32_t channel, int function);
    virtual int setPWM(int channel, int duty);
    virtual int setPWMFrequency(int frequency);
    virtual int setVoltage(int channel, double voltage, double current);
    virtual int setAccurateVoltage(int channel, double voltage, double current);
    virtual int setVoltageWaveform(
        int channel, uint32_t waveform, double level1, double level2, double period);
    virtual int setPolarity(int channel, int polarity);
    virtual int turnVoltageOn(int channel);
    virtual int turnVoltageOff(int channel);
    virtual int enableInternalVoltageBus(int value);
    virtual int disableInternalVoltageBus();
    virtual int getSupplyStatus(bool* flag, char* text);
    virtual int getChannelStatus(int channel, bool* first, bool* second);
    virtual int getChannelCurrent(int channel, double* current);
    virtual int clearError();
    virtual int getADCValue(double* value);
    // Loads the unit's calibration and state right after it was identified.
    virtual int initialiseDevice();

    // Connects the unit, makes it identify itself, checks its hardware version against the
    // model's row and initialises it. 0, 3 (connection), 4 (first bootloader instruction),
    // 7 (identification unreadable), 8 (record not valid), 9 (hardware version refused), or the
    // status of initialiseDevice. On any failure the connection is closed again.
    int open(std::shared_ptr<USBDevice> device);
    // Closes the unit's USB connection; does nothing when none is open. Always 0.
    int close();

    // The open USB device, or null.
    std::shared_ptr<USBDevice> usbDevice() const;
    // The serial number of the unit that open() identified; kept after the connection closes.
    const QString& serialNumber() const { return m_serialNumber; }
    // The unit's model, read from its serial number when it was opened and kept after the
    // connection closes, so that range and support checks never change while the unit is away.
    ModelId modelId() const { return m_modelId; }
    // Whether an operation found the unit's USB connection gone. The connection is closed then;
    // the object stays usable and fails every operation with that operation's own code.
    bool isConnectionLost() const { return m_connectionLost.load(); }
    // Serialises the operations of this unit in the order the calls arrive.
    FifoLock& callLock() { return m_callLock; }

    // Runs one operation, named as the exported function that asked for it, with a place in
    // callLock() held, and keeps its outcome for lastErrorText(): a failure as "<operation> on
    // <serial>: <cause in plain words> (<detail>)", a success as no text.
    template <typename Operation> int run(const char* name, Operation operation)
    {
        if (!m_exchangeFailure.isSuccess())
            m_exchangeFailure = USBResult();
        const int status = operation(*this);
        if (status != 0 || m_hasLastError)
            keepOutcome(name, status);
        return status;
    }
    // The text of the last failed operation, empty when the last one succeeded. Thread-safe:
    // guarded by a lock of its own, so that it never waits for a running operation.
    QString lastErrorText() const;

protected:
    // The row of the model this object was made for, or null.
    const KavraModel* modelRow() const { return m_model; }
    // The two version words the unit reported when it identified itself; kept like modelId().
    QPair<int, int> versionInfo() const { return m_versionInfo; }
    // The instruction exchange every family operation uses: socket 0, synchronous.
    USBResult send(const std::shared_ptr<USBICommRequest>& request);
    // Sends the request with the data bytes (if any); on success copies the reply bytes to reply
    // (when given). The failure's text is not needed by any caller.
    bool exchange(const std::shared_ptr<KavraDriver_CommRequest>& request,
        const QByteArray& payload, QByteArray* reply);

    USBDriver m_driver;

private:
    void keepOutcome(const char* name, int status);

    // The table's row, which lives until unload; never changes.
    const KavraModel* const m_model;
    FifoLock m_callLock;
    QString m_serialNumber;
    ModelId m_modelId;
    QPair<int, int> m_versionInfo{0, 0};
    std::atomic<bool> m_connectionLost{false};
    // The last failed exchange of the running operation; only under callLock().
    USBResult m_exchangeFailure;
    // Whether m_lastErrorText holds a text; only under callLock().
    bool m_hasLastError = false;
    mutable std::mutex m_lastErrorMutex;
    QString m_lastErrorText;
};
