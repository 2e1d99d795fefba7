#include "KavraDriver_Cedar_SupplyState.h"

#include <QStringList>
#include <QtGlobal>

#include <array>

namespace {
const std::array<const char*, 9> ErrorLines = {
    "Output 1 over-temperature",
    "Output 2 over-temperature",
    "Output 3 over-temperature",
    "Output 1 over-load",
    "Output 2 over-load",
    "Output 3 over-load",
    "Low-power USB under-voltage",
    "High-power USB under-voltage",
    "Low-voltage bus under-voltage",
};
} // namespace

KavraDriver_Cedar_SupplyState::Fields KavraDriver_Cedar_SupplyState::decode(const QByteArray& data)
{
    Q_ASSERT_X(
        data.count() == ReplyLength, "src/KavraDriver_Cedar_SupplyState", "data.count() == 10");
    Fields fields;
    // A release build leaves a short reply undecoded.
    if (data.count() != ReplyLength)
        return fields;
    fields.statusBits = static_cast<int>(static_cast<quint8>(data.at(0)));
    fields.errorBits = static_cast<int>(wordAt(data, 1));
    fields.firstReading = wordAt(data, 3) / 10.0;
    fields.secondReading = wordAt(data, 5) / 10.0;
    fields.thirdReading = wordAt(data, 7) / 10.0;
    fields.outputBits = static_cast<int>(static_cast<quint8>(data.at(9)));
    fields.decoded = true;
    return fields;
}

bool KavraDriver_Cedar_SupplyState::bitOf(int bits, int bit)
{
    return bit >= 0 && bit < 8 && ((bits >> bit) & 1) != 0;
}

QString KavraDriver_Cedar_SupplyState::errorTextOf(int errorBits)
{
    QStringList lines;
    for (size_t bit = 0; bit < ErrorLines.size(); ++bit) {
        if ((errorBits >> bit) & 1)
            lines.append(QString::fromLatin1(ErrorLines[bit]));
    }
    return lines.join(QLatin1Char('\n'));
}

KavraDriver_Cedar_SupplyState::KavraDriver_Cedar_SupplyState(const QByteArray& data)
{
    const Fields fields = decode(data);
    // Every index of an undecoded reply reads as absent.
    if (!fields.decoded)
        return;
    setValue(StatusBits, fields.statusBits);
    setValue(ErrorBits, fields.errorBits);
    setValue(FirstReading, fields.firstReading);
    setValue(SecondReading, fields.secondReading);
    setValue(ThirdReading, fields.thirdReading);
    setValue(OutputBits, fields.outputBits);
}

KavraDriver_Cedar_SupplyState::KavraDriver_Cedar_SupplyState(
    const KavraDriver_Cedar_SupplyState& other)
    : Properties<KavraDriver_Cedar_SupplyStateTraits>(other), KavraDriver_Cedar_SupplyStateTraits()
{ }

KavraDriver_Cedar_SupplyState& KavraDriver_Cedar_SupplyState::operator=(
    const KavraDriver_Cedar_SupplyState& other)
{
    Properties<KavraDriver_Cedar_SupplyStateTraits>::operator=(other);
    return *this;
}

KavraDriver_Cedar_SupplyState::~KavraDriver_Cedar_SupplyState()
{
    m_observers.notifyDestroyed(this);
}

bool KavraDriver_Cedar_SupplyState::statusBit(int bit) const
{
    return bitOf(variantToInt(value(StatusBits)), bit);
}

bool KavraDriver_Cedar_SupplyState::outputBit(int bit) const
{
    return bitOf(variantToInt(value(OutputBits)), bit);
}

QString KavraDriver_Cedar_SupplyState::errorText() const
{
    return errorTextOf(variantToInt(value(ErrorBits)));
}

void KavraDriver_Cedar_SupplyState::addObserver(KavraDriver_SupplyStateObserver* observer)
{
    m_observers.add(observer);
}

void KavraDriver_Cedar_SupplyState::removeObserver(KavraDriver_SupplyStateObserver* observer)
{
    m_observers.remove(observer);
}
