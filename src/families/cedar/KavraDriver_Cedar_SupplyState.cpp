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

KavraDriver_Cedar_SupplyState::KavraDriver_Cedar_SupplyState(const QByteArray& data)
{
    Q_ASSERT_X(
        data.count() == ReplyLength, "src/KavraDriver_Cedar_SupplyState", "data.count() == 10");
    // A release build leaves a short reply undecoded: every index then reads as absent.
    if (data.count() != ReplyLength)
        return;

    setValue(StatusBits, static_cast<int>(static_cast<quint8>(data.at(0))));
    setValue(ErrorBits, static_cast<int>(wordAt(data, 1)));
    setValue(FirstReading, wordAt(data, 3) / 10.0);
    setValue(SecondReading, wordAt(data, 5) / 10.0);
    setValue(ThirdReading, wordAt(data, 7) / 10.0);
    setValue(OutputBits, static_cast<int>(static_cast<quint8>(data.at(9))));
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
    return bit >= 0 && bit < 8 && ((variantToInt(value(StatusBits)) >> bit) & 1) != 0;
}

bool KavraDriver_Cedar_SupplyState::outputBit(int bit) const
{
    return bit >= 0 && bit < 8 && ((variantToInt(value(OutputBits)) >> bit) & 1) != 0;
}

QString KavraDriver_Cedar_SupplyState::errorText() const
{
    const int bits = variantToInt(value(ErrorBits));
    QStringList lines;
    for (size_t bit = 0; bit < ErrorLines.size(); ++bit) {
        if ((bits >> bit) & 1)
            lines.append(QString::fromLatin1(ErrorLines[bit]));
    }
    return lines.join(QLatin1Char('\n'));
}

void KavraDriver_Cedar_SupplyState::addObserver(KavraDriver_SupplyStateObserver* observer)
{
    m_observers.add(observer);
}

void KavraDriver_Cedar_SupplyState::removeObserver(KavraDriver_SupplyStateObserver* observer)
{
    m_observers.remove(observer);
}
