// Property records read from a data stream, then put to the uses the library makes of them.
//
// Input: byte 0 chooses the record; the rest is the stream (Qt 5.15 format). Settings encoded with
// a polarity read the polarity record first from the same stream.
#include "KavraDriver_Alder_PWM.h"
#include "KavraDriver_Alder_PWMFrequency.h"
#include "KavraDriver_Alder_Polarity.h"
#include "KavraDriver_Alder_SupplyState.h"
#include "KavraDriver_Alder_UserData.h"
#include "KavraDriver_Alder_Voltage.h"
#include "KavraDriver_Birch_Voltage.h"
#include "KavraDriver_Cedar_HVBus.h"
#include "KavraDriver_Cedar_PWM.h"
#include "KavraDriver_Cedar_PWMFrequency.h"
#include "KavraDriver_Cedar_SupplyState.h"
#include "KavraDriver_Cedar_Voltage.h"
#include "KavraDriver_Generic_Polarity.h"
#include "KavraDriver_Generic_SupplyState.h"
#include "KavraDriver_Generic_UserData.h"
#include "KavraDriver_Generic_Voltage.h"
#include "ModelId.h"
#include "QuietMessages.h"

#include <Properties>

#include <QByteArray>
#include <QDataStream>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// Reads the record; false when the stream's version is refused, which must leave the values alone.
template <typename Record> bool readRecord(QDataStream& in, Record& record)
{
    const auto before = record.values();
    try {
        record.readFromStream(in);
    } catch (const StreamableVersionException&) {
        if (record.values().keys() != before.keys())
            std::abort();
        return false;
    }
    return true;
}

// Whatever values a record holds, its encoding keeps the length that the unit expects.
void checkSameLength(const QByteArray& encoded, const QByteArray& defaultEncoded)
{
    if (encoded.size() != defaultEncoded.size())
        std::abort();
}

template <typename Record> void encodeAlone(QDataStream& in)
{
    Record record;
    if (readRecord(in, record))
        checkSameLength(record.encode(), Record().encode());
}

void useRecord(int kind, QDataStream& in)
{
    const QByteArray noReply;
    switch (kind) {
    case 0: {
        KavraDriver_Alder_Polarity polarity;
        KavraDriver_Alder_Voltage voltage;
        const KavraDriver_Alder_UserData calibration;
        if (readRecord(in, polarity) && readRecord(in, voltage))
            checkSameLength(voltage.encode(calibration, polarity),
                KavraDriver_Alder_Voltage().encode(calibration, polarity));
        break;
    }
    case 1:
        encodeAlone<KavraDriver_Alder_Polarity>(in);
        break;
    case 2:
        encodeAlone<KavraDriver_Alder_PWM>(in);
        break;
    case 3:
        encodeAlone<KavraDriver_Alder_PWMFrequency>(in);
        break;
    case 4:
        encodeAlone<KavraDriver_Birch_Voltage>(in);
        break;
    case 5: {
        KavraDriver_Cedar_Voltage voltage;
        if (readRecord(in, voltage)) {
            for (int firmware = 0; firmware < 4; ++firmware)
                checkSameLength(
                    voltage.encode(firmware), KavraDriver_Cedar_Voltage().encode(firmware));
        }
        break;
    }
    case 6:
        encodeAlone<KavraDriver_Cedar_PWM>(in);
        break;
    case 7:
        encodeAlone<KavraDriver_Cedar_PWMFrequency>(in);
        break;
    case 8: {
        KavraDriver_Cedar_HVBus bus;
        if (readRecord(in, bus)) {
            checkSameLength(bus.encode(), KavraDriver_Cedar_HVBus().encode());
            if (!(bus.highestVoltage() > 0.0))
                std::abort();
        }
        break;
    }
    case 9: {
        const KavraDriver_Generic_UserData calibration(ModelId(19, 1));
        KavraDriver_Generic_Voltage voltage;
        if (readRecord(in, voltage))
            checkSameLength(
                voltage.encode(calibration), KavraDriver_Generic_Voltage().encode(calibration));
        break;
    }
    case 10:
        encodeAlone<KavraDriver_Generic_Polarity>(in);
        break;
    case 11: {
        KavraDriver_Alder_SupplyState state(
            QByteArray(KavraDriver_Alder_SupplyState::ReplyLength, '\0'),
            KavraDriver_Alder_UserData());
        if (readRecord(in, state))
            state.statusText();
        break;
    }
    case 12: {
        KavraDriver_Cedar_SupplyState state(
            QByteArray(KavraDriver_Cedar_SupplyState::ReplyLength, '\0'));
        if (readRecord(in, state)) {
            for (int bit = -1; bit <= 8; ++bit) {
                state.statusBit(bit);
                state.outputBit(bit);
            }
            state.errorText();
        }
        break;
    }
    default: {
        const KavraDriver_Generic_UserData calibration(ModelId(19, 1));
        KavraDriver_Generic_SupplyState state(
            QByteArray(KavraDriver_Generic_SupplyState::ReplyLength, '\0'), calibration);
        if (readRecord(in, state))
            state.statusText();
        break;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1));
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_5_15);
    useRecord(data[0] % 14, in);
    return 0;
}
