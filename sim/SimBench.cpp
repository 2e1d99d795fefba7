#include "SimBench.h"

#include "TimerSlackScope.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>

namespace {

// The count the calling thread was last told, so that a list grown meanwhile by another thread
// never overruns the array this thread allocated.
thread_local DWORD t_listedCount = 0;

// A reply's header: type, request id, status and the 16-bit length field at bytes 6 and 7.
constexpr int kReplyHeaderSize = 8;

// The D2XX calls the bench counts: those that list or open chips.
const char* const kCountedCalls[] = {"FT_CreateDeviceInfoList", "FT_GetDeviceInfoList",
    "FT_GetDeviceInfoDetail", "FT_ListDevices", "FT_Open", "FT_OpenEx"};

const char* const kCallCountsEnv = "KAVRA_SIM_CALL_COUNTS";
const char* const kWireLogEnv = "KAVRA_SIM_WIRE_LOG";

void copyText(char* buffer, const QString& text, std::size_t size)
{
    if (!buffer)
        return;
    const QByteArray bytes = text.toLatin1().left(int(size - 1));
    std::memcpy(buffer, bytes.constData(), std::size_t(bytes.size()));
    buffer[bytes.size()] = '\0';
}

bool parseBench(const QByteArray& json, std::vector<std::shared_ptr<SimChip>>* chips,
    bool* realistic, QString* error)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        *error = parseError.error != QJsonParseError::NoError
            ? parseError.errorString()
            : QStringLiteral("the bench must be a JSON object");
        return false;
    }
    const QJsonObject root = document.object();
    const QString timing = root.value(QStringLiteral("timing")).toString(QStringLiteral("instant"));
    if (timing != QLatin1String("instant") && timing != QLatin1String("realistic")) {
        *error = QStringLiteral("timing must be \"instant\" or \"realistic\"");
        return false;
    }
    *realistic = timing == QLatin1String("realistic");
    const QJsonValue units = root.value(QStringLiteral("units"));
    if (!units.isUndefined() && !units.isArray()) {
        *error = QStringLiteral("units must be an array");
        return false;
    }
    const QJsonArray entries = units.toArray();
    for (int i = 0; i < entries.size(); ++i) {
        if (!entries.at(i).isObject()) {
            *error = QStringLiteral("unit %1 is not an object").arg(i);
            return false;
        }
        QString reason;
        std::unique_ptr<SimChip> chip
            = SimChip::create(entries.at(i).toObject(), uint32_t(0x100 + 0x10 * (i + 1)), &reason);
        if (!chip) {
            *error = QStringLiteral("unit %1: %2").arg(i).arg(reason);
            return false;
        }
        chips->push_back(std::move(chip));
    }
    return true;
}

} // namespace

QByteArray SimBench::defaultBenchJson()
{
    return QByteArrayLiteral(R"({
  "timing": "instant",
  "units": [
    { "chip": "FT232R",  "serial": "QZAH015010001", "description": "Kavra Alder",   "location": 272 },
    { "chip": "FT2232H", "serial": "QZAH017010002", "description": "Kavra Cedar",   "location": 288 },
    { "chip": "FT232H",  "serial": "QZAH019010003", "description": "Kavra Generic", "location": 304 },
    { "chip": "FT-X",    "serial": "QZAH025010004", "description": "Kavra Generic", "location": 320 },
    { "chip": "FT-X",    "serial": "QZAH040010005", "description": "Kavra Birch",   "location": 336 },
    { "chip": "FT232R",  "serial": "QZAH041010006", "description": "Kavra Rowan",   "location": 352 }
  ]
})");
}

SimBench& SimBench::instance()
{
    // Constructed on first use and deliberately never destroyed (see the class comment).
    alignas(SimBench) static unsigned char storage[sizeof(SimBench)];
    static SimBench* const bench = new (storage) SimBench();
    return *bench;
}

SimBench::SimBench()
{
    m_clock.start();
    for (const char* call : kCountedCalls)
        m_callCounts[QString::fromLatin1(call)] = 0;
    // At exit, when the host's own exit handling has made its last D2XX calls.
    if (qEnvironmentVariableIsSet(kCallCountsEnv))
        std::atexit([] { instance().writeCallCounts(); });
    if (qEnvironmentVariableIsSet(kWireLogEnv))
        std::atexit([] { instance().writeWireLogs(); });
    std::vector<std::shared_ptr<SimChip>> chips;
    bool realistic = false;
    QString error;
    const QByteArray path = qgetenv("KAVRA_SIM_BENCH");
    if (!path.isEmpty()) {
        QFile file(QString::fromLocal8Bit(path));
        if (file.open(QIODevice::ReadOnly)
            && parseBench(file.readAll(), &chips, &realistic, &error)) {
            replaceChips(std::move(chips), realistic);
            return;
        }
        qWarning("kavra_sim: cannot use the bench %s (%s); using the default bench",
            path.constData(), qPrintable(error.isEmpty() ? file.errorString() : error));
        chips.clear();
    }
    parseBench(defaultBenchJson(), &chips, &realistic, &error);
    replaceChips(std::move(chips), realistic);
}

void SimBench::replaceChips(std::vector<std::shared_ptr<SimChip>> chips, bool realistic)
{
    // The chips of the old bench vanish like unplugged ones: their handles answer FT_IO_ERROR.
    for (const std::shared_ptr<SimChip>& chip : m_chips)
        chip->unplug();
    m_chips = std::move(chips);
    m_realistic = realistic;
    wakeAllReaders();
}

void SimBench::wakeAllReaders()
{
    for (const auto& item : m_handles)
        item.second->wakeReaders();
}

std::vector<SimBench::ListEntry> SimBench::listEntries() const
{
    std::vector<ListEntry> entries;
    for (const std::shared_ptr<SimChip>& chip : m_chips) {
        if (!chip->isPlugged())
            continue;
        for (int i = 0; i < chip->channels().size(); ++i)
            entries.push_back(ListEntry{chip, i});
    }
    return entries;
}

std::shared_ptr<SimHandle> SimBench::openHandleOn(const SimChip* chip, int channelIndex) const
{
    for (const auto& item : m_handles) {
        const std::shared_ptr<SimHandle>& handle = item.second;
        if (handle->chipPointer().get() == chip && handle->channelIndex() == channelIndex
            && handle->isAlive())
            return handle;
    }
    return nullptr;
}

FT_STATUS SimBench::liveHandle(FT_HANDLE value, std::shared_ptr<SimHandle>* handle) const
{
    const auto found = m_handles.find(reinterpret_cast<quintptr>(value));
    if (found == m_handles.end())
        return FT_INVALID_HANDLE;
    if (!found->second->isAlive())
        return FT_IO_ERROR;
    *handle = found->second;
    return FT_OK;
}

SimChip* SimBench::chipBySerial(const QString& serial) const
{
    if (serial.isEmpty())
        return nullptr;
    for (const std::shared_ptr<SimChip>& chip : m_chips) {
        if (chip->benchSerial() == serial)
            return chip.get();
    }
    for (const std::shared_ptr<SimChip>& chip : m_chips) {
        if (chip->eeprom().serialNumber() == serial || chip->unit().serialNumber() == serial)
            return chip.get();
    }
    return nullptr;
}

void SimBench::recordCall(SimHandle& handle, const char* call, const QJsonArray& args)
{
    handle.chip().recordCall(handle.channelIndex(), QString::fromLatin1(call), args);
}

FT_STATUS SimBench::createDeviceInfoList(DWORD* count)
{
    if (!count)
        return FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> locker(m_mutex);
    bool left = false;
    for (const std::shared_ptr<SimChip>& chip : m_chips) {
        if (chip->isPlugged() && chip->takeListing()) {
            chip->unplug();
            left = true;
        }
    }
    if (left)
        wakeAllReaders();
    t_listedCount = DWORD(listEntries().size());
    *count = t_listedCount;
    return FT_OK;
}

FT_STATUS SimBench::getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* nodes, DWORD* count)
{
    if (!nodes || !count)
        return FT_INVALID_PARAMETER;
    std::lock_guard<std::mutex> locker(m_mutex);
    const std::vector<ListEntry> entries = listEntries();
    const DWORD filled = std::min<DWORD>(t_listedCount, DWORD(entries.size()));
    for (DWORD i = 0; i < filled; ++i) {
        const ListEntry& entry = entries.at(i);
        const SimChip::Channel& channel = entry.chip->channels().at(entry.channelIndex);
        FT_DEVICE_LIST_INFO_NODE node{};
        const std::shared_ptr<SimHandle> open = openHandleOn(entry.chip.get(), entry.channelIndex);
        node.Flags
            = (open ? FT_FLAGS_OPENED : 0) | (entry.chip->isHighSpeed() ? FT_FLAGS_HISPEED : 0);
        node.Type = entry.chip->type();
        node.ID = channel.listedId;
        node.LocId = channel.location;
        copyText(node.SerialNumber, entry.chip->listedSerial(entry.channelIndex),
            sizeof node.SerialNumber);
        copyText(node.Description, entry.chip->listedDescription(entry.channelIndex),
            sizeof node.Description);
        if (open) {
            for (const auto& item : m_handles) {
                if (item.second == open)
                    node.ftHandle = reinterpret_cast<FT_HANDLE>(item.first);
            }
        }
        nodes[i] = node;
    }
    *count = filled;
    return FT_OK;
}

FT_STATUS SimBench::open(int index, FT_HANDLE* handle)
{
    if (!handle)
        return FT_INVALID_PARAMETER;
    *handle = nullptr;
    std::lock_guard<std::mutex> locker(m_mutex);
    const std::vector<ListEntry> entries = listEntries();
    if (index < 0 || std::size_t(index) >= entries.size())
        return FT_DEVICE_NOT_FOUND;
    const ListEntry& entry = entries.at(std::size_t(index));
    SimChip::Faults& faults = entry.chip->faults();
    if (faults.failOpens > 0) {
        --faults.failOpens;
        return FT_DEVICE_NOT_OPENED;
    }
    if (openHandleOn(entry.chip.get(), entry.channelIndex))
        return FT_DEVICE_NOT_OPENED;
    const quintptr value = m_nextHandle;
    m_nextHandle += 0x10;
    m_handles.emplace(value, std::make_shared<SimHandle>(entry.chip, entry.channelIndex));
    *handle = reinterpret_cast<FT_HANDLE>(value);
    return FT_OK;
}

FT_STATUS SimBench::close(FT_HANDLE value)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    const auto found = m_handles.find(reinterpret_cast<quintptr>(value));
    if (found == m_handles.end())
        return FT_INVALID_HANDLE;
    const std::shared_ptr<SimHandle> handle = found->second;
    m_handles.erase(found);
    handle->markClosed();
    handle->wakeReaders();
    // A handle whose chip re-enumerated closes cleanly; one whose chip is gone reports the loss.
    return handle->chip().isPlugged() ? FT_OK : FT_IO_ERROR;
}

FT_STATUS SimBench::cyclePort(FT_HANDLE value)
{
    return withHandle(value, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
        handle.chip().reenumerate();
        wakeAllReaders();
        return FT_OK;
    });
}

FT_STATUS SimBench::getDeviceInfo(
    FT_HANDLE value, FT_DEVICE* type, DWORD* id, char* serial, char* description)
{
    return withHandle(value, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
        SimChip& chip = handle.chip();
        if (type)
            *type = chip.type();
        if (id)
            *id = chip.channels().at(handle.channelIndex()).listedId;
        copyText(serial, chip.listedSerial(handle.channelIndex()), FT_SERIAL_BUFFER_SIZE);
        copyText(
            description, chip.listedDescription(handle.channelIndex()), FT_DESCRIPTION_BUFFER_SIZE);
        return FT_OK;
    });
}

FT_STATUS SimBench::eeRead(FT_HANDLE value, FT_PROGRAM_DATA* data)
{
    return withHandle(value, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
        if (!data)
            return FT_INVALID_PARAMETER;
        SimChip& chip = handle.chip();
        // FT-X chips keep their configuration in the other record kind.
        if (chip.type() == FT_DEVICE_X_SERIES)
            return FT_NOT_SUPPORTED;
        if (chip.faults().failEepromReads > 0) {
            --chip.faults().failEepromReads;
            return FT_EEPROM_READ_FAILED;
        }
        return chip.eeprom().read(data);
    });
}

FT_STATUS SimBench::eeProgram(FT_HANDLE value, FT_PROGRAM_DATA* data)
{
    return withHandle(value, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
        SimChip& chip = handle.chip();
        if (chip.type() == FT_DEVICE_X_SERIES)
            return FT_NOT_SUPPORTED;
        return chip.eeprom().program(data, chip.isMultiChannel());
    });
}

FT_STATUS SimBench::eepromRead(FT_HANDLE value, void* data, DWORD size, char* manufacturer,
    char* manufacturerId, char* description, char* serial)
{
    return withHandle(value, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
        SimChip& chip = handle.chip();
        if (chip.type() != FT_DEVICE_X_SERIES)
            return FT_NOT_SUPPORTED;
        if (!data || size != sizeof(FT_EEPROM_X_SERIES))
            return FT_INVALID_PARAMETER;
        if (chip.faults().failEepromReads > 0) {
            --chip.faults().failEepromReads;
            return FT_EEPROM_READ_FAILED;
        }
        return chip.eeprom().readX(static_cast<FT_EEPROM_X_SERIES*>(data), manufacturer,
            manufacturerId, description, serial);
    });
}

FT_STATUS SimBench::eepromProgram(FT_HANDLE value, void* data, DWORD size, char* manufacturer,
    char* manufacturerId, char* description, char* serial)
{
    return withHandle(value, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
        SimChip& chip = handle.chip();
        if (chip.type() != FT_DEVICE_X_SERIES)
            return FT_NOT_SUPPORTED;
        if (!data || size != sizeof(FT_EEPROM_X_SERIES))
            return FT_INVALID_PARAMETER;
        return chip.eeprom().programX(static_cast<const FT_EEPROM_X_SERIES*>(data), manufacturer,
            manufacturerId, description, serial);
    });
}

FT_STATUS SimBench::setBitMode(FT_HANDLE value, UCHAR mask, UCHAR mode)
{
    return withHandle(value, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
        recordCall(handle, "FT_SetBitMode", QJsonArray{mask, mode});
        return FT_OK;
    });
}

FT_STATUS SimBench::setBaudRate(FT_HANDLE value, ULONG baudRate)
{
    return withHandle(value, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
        recordCall(handle, "FT_SetBaudRate", QJsonArray{double(baudRate)});
        // The chips' dividers reach from 183 baud to 3 MBd (12 MBd on the high-speed chips).
        const ULONG highest = handle.chip().isHighSpeed() ? 12000000u : 3000000u;
        if (baudRate < 183 || baudRate > highest)
            return FT_INVALID_BAUD_RATE;
        handle.baudRate = baudRate;
        return FT_OK;
    });
}

FT_STATUS SimBench::setDataCharacteristics(
    FT_HANDLE value, UCHAR wordLength, UCHAR stopBits, UCHAR parity)
{
    return withHandle(value, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
        recordCall(handle, "FT_SetDataCharacteristics", QJsonArray{wordLength, stopBits, parity});
        if ((wordLength != FT_BITS_7 && wordLength != FT_BITS_8)
            || (stopBits != FT_STOP_BITS_1 && stopBits != FT_STOP_BITS_2)
            || parity > FT_PARITY_SPACE)
            return FT_INVALID_PARAMETER;
        return FT_OK;
    });
}

FT_STATUS SimBench::setFlowControl(FT_HANDLE value, USHORT flow, UCHAR xon, UCHAR xoff)
{
    return withHandle(value, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
        recordCall(handle, "FT_SetFlowControl", QJsonArray{flow, xon, xoff});
        return FT_OK;
    });
}

FT_STATUS SimBench::setLatencyTimer(FT_HANDLE value, UCHAR latency)
{
    return withHandle(value, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
        recordCall(handle, "FT_SetLatencyTimer", QJsonArray{latency});
        if (latency == 0)
            return FT_INVALID_PARAMETER;
        handle.latencyMs = latency;
        return FT_OK;
    });
}

FT_STATUS SimBench::setUsbParameters(FT_HANDLE value, ULONG inSize, ULONG outSize)
{
    return withHandle(value, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
        recordCall(handle, "FT_SetUSBParameters", QJsonArray{double(inSize), double(outSize)});
        return FT_OK;
    });
}

FT_STATUS SimBench::setTimeouts(FT_HANDLE value, ULONG readTimeout, ULONG writeTimeout)
{
    return withHandle(value, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
        recordCall(handle, "FT_SetTimeouts", QJsonArray{double(readTimeout), double(writeTimeout)});
        handle.readTimeoutMs = readTimeout;
        handle.writeTimeoutMs = writeTimeout;
        return FT_OK;
    });
}

FT_STATUS SimBench::read(FT_HANDLE value, void* buffer, DWORD count, DWORD* returned)
{
    if (returned)
        *returned = 0;
    // Declared before the lock is taken, so that the thread's timer slack is restored after unlocking.
    std::optional<TimerSlackScope> preciseWakes;
    return withHandle(value, [&](SimHandle& handle, std::unique_lock<std::mutex>& locker) {
        if (!returned || (!buffer && count > 0))
            return FT_INVALID_PARAMETER;
        const uint32_t timeoutMs
            = handle.readTimeoutMs > 0 ? handle.readTimeoutMs : kDefaultReadTimeoutMs;
        const int64_t deadline = nowNs() + int64_t(timeoutMs) * 1000000;
        const int wanted = int(std::min<DWORD>(count, 0x7FFFFFFF));
        for (;;) {
            if (handle.isClosed())
                return FT_INVALID_HANDLE;
            if (!handle.isAlive())
                return FT_IO_ERROR;
            const int64_t now = nowNs();
            if (handle.readyCount(now) >= wanted || now >= deadline)
                break;
            // Sleep until the next byte is due (realistic timing) or the time-out; writers, closes
            // and unplugs wake the handle earlier.
            const int64_t next = handle.nextArrivalNs(now);
            const int64_t wakeAt = next >= 0 ? std::min(next, deadline) : deadline;
            if (next >= 0 && !preciseWakes)
                preciseWakes.emplace();
            handle.waitForChange(
                locker, std::chrono::steady_clock::now() + std::chrono::nanoseconds(wakeAt - now));
        }
        const QByteArray bytes = handle.take(wanted, nowNs());
        if (!bytes.isEmpty())
            std::memcpy(buffer, bytes.constData(), std::size_t(bytes.size()));
        *returned = DWORD(bytes.size());
        return FT_OK;
    });
}

FT_STATUS SimBench::write(FT_HANDLE value, const void* buffer, DWORD count, DWORD* written)
{
    if (written)
        *written = 0;
    return withHandle(value, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
        if (!written || (!buffer && count > 0))
            return FT_INVALID_PARAMETER;
        if (count == 0)
            return FT_OK;
        SimChip& chip = handle.chip();
        if (chip.faults().failWrites > 0) {
            // Nothing reaches the unit, as when the USB transfer itself fails.
            --chip.faults().failWrites;
            return FT_FAILED_TO_WRITE_DEVICE;
        }
        const QByteArray bytes(
            static_cast<const char*>(buffer), int(std::min<DWORD>(count, 0x7FFFFFFF)));
        const int64_t now = nowNs();
        const int link = handle.link();
        chip.wireLog().append(now, link, true, bytes, false);
        int64_t unitHasRequest = now;
        if (m_realistic) {
            const LinkTiming timing = handle.timing();
            const int64_t start = std::max(now, handle.txLineFreeNs);
            unitHasRequest = timing.transferEndNs(start, bytes.size());
            handle.txLineFreeNs = unitHasRequest;
        }
        if (link >= 0) {
            const QList<QByteArray> replies = chip.unit().receive(link, bytes);
            for (const QByteArray& reply : replies)
                deliver(handle, reply, unitHasRequest, link == 0);
        }
        *written = DWORD(bytes.size());
        return FT_OK;
    });
}

void SimBench::deliver(SimHandle& handle, QByteArray reply, int64_t unitSendsNs, bool applyFaults)
{
    if (reply.isEmpty())
        return;
    SimChip& chip = handle.chip();
    SimChip::Faults& faults = chip.faults();
    const int64_t now = nowNs();
    int64_t start = std::max(now, unitSendsNs);
    // A misframed reply: where the bytes after its announced packet begin, and their delay.
    int tailOffset = reply.size();
    int tailDelayMs = 0;
    if (applyFaults) {
        if (faults.dropReplies > 0) {
            --faults.dropReplies;
            chip.wireLog().append(now, handle.link(), false, reply, true);
            return;
        }
        if (faults.corruptNextReply >= 0) {
            reply[0] = char(faults.corruptNextReply);
            faults.corruptNextReply = -1;
        }
        if (faults.delayNextReplyMs > 0) {
            start += int64_t(faults.delayNextReplyMs) * 1000000;
            faults.delayNextReplyMs = 0;
        }
        if (faults.nextReplyLengthField >= 0 && reply.size() >= kReplyHeaderSize) {
            reply[6] = char(faults.nextReplyLengthField & 0xFF);
            reply[7] = char(faults.nextReplyLengthField >> 8);
            tailDelayMs = faults.nextReplyTailDelayMs;
            tailOffset = std::min(kReplyHeaderSize + faults.nextReplyLengthField, reply.size());
            faults.nextReplyLengthField = -1;
        }
    }
    chip.wireLog().append(now, handle.link(), false, reply, false);
    if (tailDelayMs > 0 && tailOffset < reply.size()) {
        transmit(handle, reply.left(tailOffset), start);
        transmit(
            handle, reply.mid(tailOffset), handle.rxLineFreeNs + int64_t(tailDelayMs) * 1000000);
    } else {
        transmit(handle, reply, start);
    }
    handle.wakeReaders();
}

void SimBench::transmit(SimHandle& handle, const QByteArray& bytes, int64_t startNs)
{
    if (!m_realistic) {
        handle.lastArrivalNs = std::max(startNs, handle.lastArrivalNs);
        handle.rxLineFreeNs = handle.lastArrivalNs;
        handle.enqueue(bytes, handle.lastArrivalNs, handle.lastArrivalNs, 0);
        return;
    }
    const LinkTiming timing = handle.timing();
    const int64_t start = std::max(startNs, handle.rxLineFreeNs);
    handle.rxLineFreeNs = timing.transferEndNs(start, bytes.size());
    int offset = 0;
    for (const LinkTiming::Packet& packet : timing.replyPackets(start, bytes.size())) {
        handle.lastArrivalNs = std::max(packet.arrivalNs, handle.lastArrivalNs);
        handle.enqueue(bytes.mid(offset, packet.bytes), handle.lastArrivalNs,
            timing.transferEndNs(start, offset + 1), timing.byteTimeNs());
        offset += packet.bytes;
    }
}

FT_STATUS SimBench::purge(FT_HANDLE value, ULONG mask)
{
    return withHandle(value, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
        recordCall(handle, "FT_Purge", QJsonArray{double(mask)});
        if (mask & FT_PURGE_RX)
            handle.purgeReceive(nowNs());
        // The transmit side hands bytes to the unit at once, so there is nothing to discard.
        return FT_OK;
    });
}

FT_STATUS SimBench::getQueueStatus(FT_HANDLE value, DWORD* rxBytes)
{
    return withHandle(value, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
        if (!rxBytes)
            return FT_INVALID_PARAMETER;
        *rxBytes = DWORD(handle.readyCount(nowNs()));
        return FT_OK;
    });
}

FT_STATUS SimBench::getStatus(FT_HANDLE value, DWORD* rxBytes, DWORD* txBytes, DWORD* events)
{
    return withHandle(value, [&](SimHandle& handle, std::unique_lock<std::mutex>&) {
        if (!rxBytes || !txBytes || !events)
            return FT_INVALID_PARAMETER;
        *rxBytes = DWORD(handle.readyCount(nowNs()));
        *txBytes = 0;
        *events = *rxBytes > 0 ? FT_EVENT_RXCHAR : 0;
        return FT_OK;
    });
}

int SimBench::loadBench(const QByteArray& json, QString* error)
{
    std::vector<std::shared_ptr<SimChip>> chips;
    bool realistic = false;
    if (!parseBench(json, &chips, &realistic, error))
        return kBadBench;
    std::lock_guard<std::mutex> locker(m_mutex);
    replaceChips(std::move(chips), realistic);
    return kOk;
}

int SimBench::resetBench()
{
    QString error;
    return loadBench(defaultBenchJson(), &error);
}

int SimBench::setPlugged(const QString& serial, bool plugged)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    SimChip* chip = chipBySerial(serial);
    if (!chip)
        return kUnknownSerial;
    if (plugged)
        chip->plug();
    else if (chip->isPlugged())
        chip->unplug();
    wakeAllReaders();
    return kOk;
}

int SimBench::replugAt(const QString& serial, int position, uint32_t location)
{
    if (position < 1 || location > 0xFFFFFFF0)
        return kBadArgument;
    std::lock_guard<std::mutex> locker(m_mutex);
    const SimChip* wanted = chipBySerial(serial);
    const auto found = std::find_if(m_chips.begin(), m_chips.end(),
        [wanted](const std::shared_ptr<SimChip>& chip) { return chip.get() == wanted; });
    if (found == m_chips.end())
        return kUnknownSerial;
    const std::shared_ptr<SimChip> chip = *found;
    if (chip->isPlugged())
        chip->unplug();
    m_chips.erase(found);
    // Before the attached chip that now holds the place, or last.
    auto at = m_chips.begin();
    for (int attached = 0; at != m_chips.end(); ++at) {
        if ((*at)->isPlugged() && ++attached == position)
            break;
    }
    m_chips.insert(at, chip);
    chip->setLocation(location);
    chip->plug();
    wakeAllReaders();
    return kOk;
}

int SimBench::injectFault(const QString& serial, Fault fault, int value)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    SimChip* chip = chipBySerial(serial);
    if (!chip)
        return kUnknownSerial;
    SimChip::Faults& faults = chip->faults();
    switch (fault) {
    case Fault::DropReplies:
        if (value < 0)
            return kBadArgument;
        faults.dropReplies = value;
        break;
    case Fault::DelayNextReply:
        if (value < 0)
            return kBadArgument;
        faults.delayNextReplyMs = value;
        break;
    case Fault::CorruptNextReply:
        if (value > 255)
            return kBadArgument;
        faults.corruptNextReply = value < 0 ? -1 : value;
        break;
    case Fault::FailEepromReads:
        if (value < 0)
            return kBadArgument;
        faults.failEepromReads = value;
        break;
    case Fault::FailOpens:
        if (value < 0)
            return kBadArgument;
        faults.failOpens = value;
        break;
    case Fault::FailWrites:
        if (value < 0)
            return kBadArgument;
        faults.failWrites = value;
        break;
    }
    return kOk;
}

int SimBench::misframeNextReply(const QString& serial, int lengthField, int tailDelayMs)
{
    if (lengthField > 0xFFFF || tailDelayMs < 0)
        return kBadArgument;
    std::lock_guard<std::mutex> locker(m_mutex);
    SimChip* chip = chipBySerial(serial);
    if (!chip)
        return kUnknownSerial;
    chip->faults().nextReplyLengthField = lengthField < 0 ? -1 : lengthField;
    chip->faults().nextReplyTailDelayMs = tailDelayMs;
    return kOk;
}

int SimBench::setStatusOverride(const QString& serial, int instruction, int status)
{
    if (instruction < 0 || instruction > 255 || status > 255)
        return kBadArgument;
    std::lock_guard<std::mutex> locker(m_mutex);
    SimChip* chip = chipBySerial(serial);
    if (!chip)
        return kUnknownSerial;
    chip->unit().setStatusOverride(instruction, status < 0 ? -1 : status);
    return kOk;
}

int SimBench::sendUnsolicited(const QString& serial, int link, const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return kBadArgument;
    std::lock_guard<std::mutex> locker(m_mutex);
    SimChip* chip = chipBySerial(serial);
    if (!chip)
        return kUnknownSerial;
    const int channelIndex = chip->channelIndexForLink(link);
    if (channelIndex < 0)
        return kBadArgument;
    const std::shared_ptr<SimHandle> handle = openHandleOn(chip, channelIndex);
    if (!handle)
        return kNotOpen;
    deliver(*handle, bytes, nowNs(), false);
    return kOk;
}

int SimBench::unitState(const QString& serial, QByteArray* json)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    SimChip* chip = chipBySerial(serial);
    if (!chip)
        return kUnknownSerial;
    QJsonArray channels;
    int openHandles = 0;
    for (int i = 0; i < chip->channels().size(); ++i) {
        const SimChip::Channel& channel = chip->channels().at(i);
        const bool open = bool(openHandleOn(chip, i));
        openHandles += open ? 1 : 0;
        channels.append(QJsonObject{
            {QStringLiteral("serial"), chip->listedSerial(i)},
            {QStringLiteral("description"), chip->listedDescription(i)},
            {QStringLiteral("location"), double(channel.location)},
            {QStringLiteral("id"), double(channel.listedId)},
            {QStringLiteral("link"), channel.link},
            {QStringLiteral("open"), open},
        });
    }
    const QJsonObject chipJson{
        {QStringLiteral("type"), double(chip->type())},
        {QStringLiteral("plugged"), chip->isPlugged()},
        {QStringLiteral("openHandles"), openHandles},
        {QStringLiteral("channels"), channels},
        {QStringLiteral("eeprom"), chip->eeprom().toJson()},
    };
    const QJsonObject state{
        {QStringLiteral("chip"), chipJson}, {QStringLiteral("unit"), chip->unit().state()}};
    *json = QJsonDocument(state).toJson(QJsonDocument::Compact);
    return kOk;
}

int SimBench::takeWireLog(const QString& serial, int capacity, QByteArray* json)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    SimChip* chip = chipBySerial(serial);
    if (!chip)
        return kUnknownSerial;
    *json = chip->wireLog().toJson();
    // Only a log the caller received in full is cleared.
    if (json->size() < capacity)
        chip->wireLog().clear();
    return kOk;
}

int SimBench::takeConfigCalls(const QString& serial, int link, int capacity, QByteArray* json)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    SimChip* chip = chipBySerial(serial);
    if (!chip)
        return kUnknownSerial;
    const int channelIndex = chip->channelIndexForLink(link);
    if (channelIndex < 0)
        return kBadArgument;
    *json = QJsonDocument(chip->calls(channelIndex)).toJson(QJsonDocument::Compact);
    if (json->size() < capacity)
        chip->clearCalls(channelIndex);
    return kOk;
}

int SimBench::openHandleCount()
{
    std::lock_guard<std::mutex> locker(m_mutex);
    // Dead handles count too: the client still has to close them.
    return int(m_handles.size());
}

void SimBench::countCall(const char* function)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    ++m_callCounts[QString::fromLatin1(function)];
}

int SimBench::callCount(const QString& function)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    const auto found = m_callCounts.find(function);
    return found == m_callCounts.end() ? kBadArgument : found->second;
}

void SimBench::writeWireLogs()
{
    QByteArray json("{");
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        for (const std::shared_ptr<SimChip>& chip : m_chips) {
            if (json.size() > 1)
                json.append(',');
            json.append('"').append(chip->benchSerial().toLatin1()).append("\":");
            json.append(chip->wireLog().toJson());
        }
    }
    json.append('}');
    QFile file(QFile::decodeName(qgetenv(kWireLogEnv)));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(json);
}

void SimBench::writeCallCounts()
{
    QJsonObject counts;
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        for (const auto& item : m_callCounts)
            counts.insert(item.first, item.second);
    }
    QFile file(QFile::decodeName(qgetenv(kCallCountsEnv)));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QJsonDocument(counts).toJson(QJsonDocument::Compact));
}
