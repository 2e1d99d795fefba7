// kavrad's SCPI parser: lines of commands against an instrument whose table uses every kind of
// header (optional nodes, numbered nodes) and parameter reader (numbers with unit suffixes and
// MIN/MAX/DEF, integers, booleans, choices), as the supply commands do.
//
// Input: Latin-1 text, one line per '\n', each carried out in turn for one client.
#include "ClientState.h"
#include "QuietMessages.h"
#include "ScpiInstrument.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using Unit = ScpiParameters::Unit;

constexpr int kChannels = 3;

void requireChannel(int channel)
{
    if (channel < 1 || channel > kChannels)
        throw ScpiError(ScpiError::HeaderSuffixOutOfRange);
}

// What a setting stored must be: a finite number within the range its command checks.
void checkStored(double value, double lowest, double highest)
{
    if (!std::isfinite(value) || value < lowest || value > highest)
        std::abort();
}

// A setting command that reads `count` parameters through `read` and keeps the reply of its
// query form under the header.
class Instrument
{
public:
    Instrument()
        : m_scpi(
            QStringLiteral("Kavra,Fuzz,0,0"), [this] { m_settings.clear(); }, [] {}, commands())
    { }

    QString execute(const QString& line, ClientState& state) { return m_scpi.execute(line, state); }

private:
    QVector<ScpiCommand> commands()
    {
        const ScpiParameters::Bounds volts{0.0, 100.0, 0.0};
        QVector<ScpiCommand> table;
        const auto setting = [&](const QString& header,
                                 std::function<QString(int, const ScpiParameters&)> read) {
            table.append(ScpiCommand(
                header, false, [this, header, read](int channel, const ScpiParameters& p) {
                    requireChannel(channel);
                    m_settings.insert(header + QString::number(channel), read(channel, p));
                    return QString();
                }));
            table.append(
                ScpiCommand(header, true, [this, header](int channel, const ScpiParameters& p) {
                    requireChannel(channel);
                    p.expect(0);
                    return m_settings.value(
                        header + QString::number(channel), QStringLiteral("9.91E+37"));
                }));
        };
        setting(QStringLiteral("[SOURce#]:VOLTage[:LEVel][:IMMediate][:AMPLitude]"),
            [volts](int, const ScpiParameters& p) {
                p.expect(1);
                const double value = p.number(0, Unit::Volt, volts);
                if (!(value >= 0 && value <= 100))
                    throw ScpiError(ScpiError::DataOutOfRange);
                checkStored(value, 0, 100);
                return QString::number(value);
            });
        setting(QStringLiteral("[SOURce#]:CURRent"), [](int, const ScpiParameters& p) {
            p.expect(1);
            const double value = p.number(0, Unit::Ampere);
            checkStored(value, -HUGE_VAL, HUGE_VAL);
            return QString::number(value);
        });
        setting(QStringLiteral("OUTPut#[:STATe]"), [](int, const ScpiParameters& p) {
            p.expect(1);
            return QString::number(p.boolean(0));
        });
        setting(QStringLiteral("OUTPut#:POLarity"), [](int, const ScpiParameters& p) {
            p.expect(1);
            const int choice
                = p.choice(0, {QStringLiteral("POSitive"), QStringLiteral("NEGative")});
            checkStored(choice, 0, 1);
            return QString::number(choice);
        });
        setting(QStringLiteral("PWM#:DUTY"), [](int, const ScpiParameters& p) {
            p.expect(1);
            return QString::number(p.integer(0, Unit::Percent));
        });
        setting(QStringLiteral("PWM:FREQuency"), [](int, const ScpiParameters& p) {
            p.expect(1);
            return QString::number(p.integer(0, Unit::Hertz));
        });
        setting(
            QStringLiteral("[SOURce#]:VOLTage:WAVeform"), [volts](int, const ScpiParameters& p) {
                p.expect(4);
                const double period = p.number(3, Unit::Second);
                checkStored(period, -HUGE_VAL, HUGE_VAL);
                return QStringList{QString::number(p.integer(0)),
                    QString::number(p.number(1, Unit::Volt, volts)),
                    QString::number(p.number(2, Unit::Volt, volts)), QString::number(period)}
                    .join(QLatin1Char(','));
            });
        table.append(ScpiCommand(
            QStringLiteral("MEASure#:VOLTage[:DC]"), true, [volts](int, const ScpiParameters& p) {
                if (p.count() == 1)
                    return QString::number(p.bound(0, volts));
                p.expect(0);
                return QStringLiteral("0");
            }));
        return table;
    }

    QHash<QString, QString> m_settings;
    ScpiInstrument m_scpi;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    silenceQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Instrument instrument;
    ClientState state;
    const QString input = QString::fromLatin1(reinterpret_cast<const char*>(data), int(size));
    for (const QString& line : input.split(QLatin1Char('\n'))) {
        const QString reply = instrument.execute(line, state);
        // A reply is one line of printable ASCII, whatever the input.
        for (const QChar c : reply) {
            if (c.unicode() < 0x20 || c.unicode() > 0x7E)
                std::abort();
        }
        if (state.errorCount() > ClientState::QueueLength)
            std::abort();
    }
    // Every queued error reads back as code,"text" in printable ASCII.
    while (state.errorCount() > 0) {
        const QString entry = state.next().toReply();
        for (const QChar c : entry) {
            if (c.unicode() < 0x20 || c.unicode() > 0x7E)
                std::abort();
        }
    }
    return 0;
}
