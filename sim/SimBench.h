#pragma once

#include "FtdiD2xx.h"
#include "SimChip.h"
#include "SimHandle.h"

#include <QElapsedTimer>
#include <QJsonDocument>

#include <map>
#include <memory>
#include <mutex>
#include <vector>

// The process-wide virtual bench: the chips attached, the open handles, and every D2XX and
// control operation on them. One mutex guards everything and is held only for short steps;
// a blocked read waits with it released, on its handle's own condition, which the arrival of
// bytes for that handle or the loss of the handle wakes.
//
// The instance is never destroyed: hosts call D2XX functions from their own exit handling, which
// may run after this library's static destructors. It lives in static storage, so leak checkers
// see everything it holds as reachable.
class SimBench
{
public:
    static SimBench& instance();

    // D2XX operations, named after the functions they serve.
    FT_STATUS createDeviceInfoList(DWORD* count);
    FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* count);
    FT_STATUS open(int index, FT_HANDLE* handle);
    FT_STATUS close(FT_HANDLE handle);
    FT_STATUS cyclePort(FT_HANDLE handle);
    FT_STATUS getDeviceInfo(
        FT_HANDLE handle, FT_DEVICE* type, DWORD* id, char* serial, char* description);
    FT_STATUS eeRead(FT_HANDLE handle, FT_PROGRAM_DATA* data);
    FT_STATUS eeProgram(FT_HANDLE handle, FT_PROGRAM_DATA* data);
    FT_STATUS eepromRead(FT_HANDLE handle, void* data, DWORD size, char* manufacturer,
        char* manufacturerId, char* description, char* serial);
    FT_STATUS eepromProgram(FT_HANDLE handle, void* data, DWORD size, char* manufacturer,
        char* manufacturerId, char* description, char* serial);
    FT_STATUS setBitMode(FT_HANDLE handle, UCHAR mask, UCHAR mode);
    FT_STATUS setBaudRate(FT_HANDLE handle, ULONG baudRate);
    FT_STATUS setDataCharacteristics(
        FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity);
    FT_STATUS setFlowControl(FT_HANDLE handle, USHORT flow, UCHAR xon, UCHAR xoff);
    FT_STATUS setLatencyTimer(FT_HANDLE handle, UCHAR latency);
    FT_STATUS setUsbParameters(FT_HANDLE handle, ULONG inSize, ULONG outSize);
    FT_STATUS setTimeouts(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout);
    FT_STATUS read(FT_HANDLE handle, void* buffer, DWORD count, DWORD* returned);
    FT_STATUS write(FT_HANDLE handle, const void* buffer, DWORD count, DWORD* written);
    FT_STATUS purge(FT_HANDLE handle, ULONG mask);
    FT_STATUS getQueueStatus(FT_HANDLE handle, DWORD* rxBytes);
    FT_STATUS getStatus(FT_HANDLE handle, DWORD* rxBytes, DWORD* txBytes, DWORD* events);

    // Runs an operation on the live handle behind a D2XX handle value, holding the bench's lock
    // (the operation may wait on the handle with it). The other D2XX functions build on it.
    template <typename Operation> FT_STATUS withHandle(FT_HANDLE value, Operation operation)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        std::shared_ptr<SimHandle> handle;
        const FT_STATUS status = liveHandle(value, &handle);
        return status != FT_OK ? status : operation(*handle, lock);
    }
    // Runs an operation on the chips of the bench, in bench order, holding the bench's lock: the
    // USB-level bench reads their presence and EEPROMs through it.
    template <typename Operation> auto withChips(Operation operation)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return operation(static_cast<const std::vector<std::shared_ptr<SimChip>>&>(m_chips));
    }
    // Bench time in nanoseconds: the clock of the arrival times in the handles' queues.
    int64_t benchTimeNs() const { return nowNs(); }

    // Control operations; results as the control header documents them.
    int loadBench(const QByteArray& json, QString* error);
    int resetBench();
    int setPlugged(const QString& serial, bool plugged);
    int replugAt(const QString& serial, int position, uint32_t location);
    enum class Fault {
        DropReplies,
        DelayNextReply,
        CorruptNextReply,
        FailEepromReads,
        FailOpens,
        FailWrites
    };
    int injectFault(const QString& serial, Fault fault, int value);
    int misframeNextReply(const QString& serial, int lengthField, int tailDelayMs);
    int setStatusOverride(const QString& serial, int instruction, int status);
    int sendUnsolicited(const QString& serial, int link, const QByteArray& bytes);
    // Serialised JSON for the caller's buffer; clear says whether to clear what was read once it fits.
    int unitState(const QString& serial, QByteArray* json);
    int takeWireLog(const QString& serial, int capacity, QByteArray* json);
    int takeConfigCalls(const QString& serial, int link, int capacity, QByteArray* json);
    int openHandleCount();
    // The D2XX calls whose number the control interface gives (kavrasim_call_count).
    void countCall(const char* function);
    int callCount(const QString& function);

    static QByteArray defaultBenchJson();

    // Control results.
    static constexpr int kOk = 0;
    static constexpr int kUnknownSerial = -1;
    static constexpr int kBadArgument = -2;
    static constexpr int kBadBench = -3;
    static constexpr int kNotOpen = -4;

    // Read time-out used when none was set: a read never waits forever.
    static constexpr uint32_t kDefaultReadTimeoutMs = 5000;

private:
    SimBench();
    ~SimBench() = delete;

    struct ListEntry
    {
        std::shared_ptr<SimChip> chip;
        int channelIndex;
    };

    int64_t nowNs() const { return m_clock.nsecsElapsed(); }
    std::vector<ListEntry> listEntries() const;
    std::shared_ptr<SimHandle> openHandleOn(const SimChip* chip, int channelIndex) const;
    // The handle behind a D2XX handle value: FT_OK, FT_INVALID_HANDLE or FT_IO_ERROR (dead).
    FT_STATUS liveHandle(FT_HANDLE value, std::shared_ptr<SimHandle>* handle) const;
    SimChip* chipBySerial(const QString& serial) const;
    void recordCall(SimHandle& handle, const char* call, const QJsonArray& args);
    // Queues one reply of the unit for the host, with its faults and its timing applied.
    void deliver(SimHandle& handle, QByteArray reply, int64_t unitSendsNs, bool applyFaults);
    // Puts bytes the unit starts sending at startNs on the link, behind what it sends already.
    void transmit(SimHandle& handle, const QByteArray& bytes, int64_t startNs);
    void replaceChips(std::vector<std::shared_ptr<SimChip>> chips, bool realistic);
    // Wakes every blocked reader, after a change that may kill handles.
    void wakeAllReaders();
    // Writes the call counts to the file KAVRA_SIM_CALL_COUNTS names, for a test of another process.
    void writeCallCounts();
    // Writes every chip's wire log ({"SERIAL": [entries]}) to the file KAVRA_SIM_WIRE_LOG names.
    void writeWireLogs();

    // std::mutex rather than QMutex: it keeps no process-wide state of its own that could be
    // gone when a host calls in during exit.
    mutable std::mutex m_mutex;
    QElapsedTimer m_clock;
    std::vector<std::shared_ptr<SimChip>> m_chips;
    std::map<quintptr, std::shared_ptr<SimHandle>> m_handles;
    quintptr m_nextHandle = 0x4B560010;
    bool m_realistic = false;
    std::map<QString, int> m_callCounts;
};
