#include "CedarUnit.h"

#include "WireBytes.h"

#include <QJsonArray>

#include <cmath>

namespace {

const int kUserDataSize = 150;

// The host's voltage code: volts / 40 × 65535 / 4.096.
double voltsFromCode(int code)
{
    return code * 40.0 * 4.096 / 65535.0;
}

// Function 0 to 2 of a PWM output sits in bits 4 and 5 of a mode with bit 2 set; -1 is plain PWM.
int pwmFunction(int mode)
{
    return (mode & 0x04) ? (mode >> 4) & 0x03 : -1;
}

QJsonObject pwmJson(int mode, int duty)
{
    return QJsonObject{{QStringLiteral("mode"), mode}, {QStringLiteral("duty"), duty},
        {QStringLiteral("function"), pwmFunction(mode)}};
}

} // namespace

CedarUnit::CedarUnit(const QJsonObject& config)
    : FirmwareUnit(config, QStringLiteral("Cedar"), {2, 1, 0, 0, 0})
{
    m_busLevel = qBound(0, config.value(QStringLiteral("busLevel")).toInt(0), 2);
    m_busOn = config.value(QStringLiteral("busOn")).toBool(true);
    m_ready = config.value(QStringLiteral("ready")).toBool(true);
    m_outputs23Ready = config.value(QStringLiteral("outputs23Ready")).toBool(true);
    m_shortCircuit = config.value(QStringLiteral("shortCircuit")).toBool(false);
    m_errorWord = config.value(QStringLiteral("errorWord")).toInt(0) & 0xFFFF;
}

int CedarUnit::settingSize() const
{
    const QList<int> versions = versionWords();
    return !versions.isEmpty() && versions.first() == 1 ? 2 : 7;
}

FirmwareUnit::Reply CedarUnit::handleInstruction(quint8 instruction, const QByteArray& data)
{
    if (instruction >= SetVoltage1 && instruction < SetVoltage1 + Outputs)
        return setVoltage(instruction - SetVoltage1, data);
    switch (instruction) {
    case SetBusLevel: {
        const int level = WireBytes::byteAt(data, 0);
        if (data.size() != 1 || level > 2)
            return rejected();
        m_busLevel = level;
        m_busOn = true;
        return ok();
    }
    case Auxiliary24:
    case Auxiliary28:
    case Auxiliary29:
    case Auxiliary33:
        return ok(); // accepted and kept only in the request log
    case SetPwmFrequency:
        if (data.size() != 4)
            return rejected();
        m_pendingFrequency = WireBytes::dword(data, 0);
        return ok();
    case SetPwm1:
    case SetPwm1 + 1:
        if (data.size() != 2 || WireBytes::byteAt(data, 1) > 100)
            return rejected();
        m_pendingPwm[instruction - SetPwm1]
            = Pwm{WireBytes::byteAt(data, 0), WireBytes::byteAt(data, 1)};
        return ok();
    default:
        break;
    }
    if (!data.isEmpty())
        return rejected();
    switch (instruction) {
    case OutputOn1:
    case OutputOn1 + 1:
    case OutputOn1 + 2:
        return switchOn(instruction - OutputOn1);
    case OutputOff1:
    case OutputOff1 + 1:
    case OutputOff1 + 2:
        m_outputs[instruction - OutputOff1].on = false;
        return ok();
    case ApplyPwm:
        m_pwm[0] = m_pendingPwm[0];
        m_pwm[1] = m_pendingPwm[1];
        m_pwmFrequency = m_pendingFrequency;
        return ok();
    case ClearError:
        m_errorWord = 0;
        return ok();
    case BusOff:
        m_busOn = false;
        return ok();
    case ReadBusLevel:
        return ok(QByteArray(1, static_cast<char>(m_busLevel)));
    case ReadVoltageCode1:
    case ReadVoltageCode1 + 1:
    case ReadVoltageCode1 + 2: {
        QByteArray code;
        WireBytes::appendWord(code, m_outputs[instruction - ReadVoltageCode1].code);
        return ok(code);
    }
    case ReadSummary: {
        QByteArray summary;
        summary.append(static_cast<char>(statusBits()));
        summary.append(static_cast<char>(outputBits()));
        summary.append(static_cast<char>(m_busOn ? 1 : 0));
        return ok(summary);
    }
    case ReadPwmFrequency: {
        QByteArray frequency;
        WireBytes::appendDword(frequency, m_pwmFrequency);
        return ok(frequency);
    }
    case ReadPwm1:
    case ReadPwm1 + 1: {
        const Pwm& pwm = m_pwm[instruction - ReadPwm1];
        QByteArray bytes;
        bytes.append(static_cast<char>(pwm.mode));
        bytes.append(static_cast<char>(pwm.duty));
        return ok(bytes);
    }
    case ReadUserData:
        return ok(QByteArray(kUserDataSize, '\xFF'));
    case ReadSupplyState:
        return ok(supplyState());
    case ReadBusState: {
        QByteArray bus;
        bus.append(static_cast<char>(m_busLevel));
        bus.append(static_cast<char>(m_busOn ? 1 : 0));
        bus.append(static_cast<char>(statusBits()));
        WireBytes::appendWord(bus, m_errorWord);
        return ok(bus);
    }
    default:
        return rejected();
    }
}

FirmwareUnit::Reply CedarUnit::setVoltage(int output, const QByteArray& data)
{
    if (data.size() != settingSize())
        return rejected();
    Output setting = m_outputs[output];
    setting.code = WireBytes::word(data, 0);
    if (data.size() == 7) {
        if (WireBytes::byteAt(data, 2) > 3)
            return rejected();
        setting.waveform = WireBytes::byteAt(data, 2);
        setting.periodMs = WireBytes::word(data, 3);
        setting.secondCode = WireBytes::word(data, 5);
    }
    m_outputs[output] = setting;
    return ok();
}

FirmwareUnit::Reply CedarUnit::switchOn(int output)
{
    // The unit refuses what its own ready bits forbid, as busy.
    if (!m_ready || (output > 0 && !m_outputs23Ready))
        return Reply{2, QByteArray()};
    m_outputs[output].on = true;
    if (m_shortCircuit)
        m_errorWord |= 1 << (3 + output); // over-load of this output
    return ok();
}

bool CedarUnit::isOverloaded(int output) const
{
    // A shorted output stays down even after its latched over-load bit was cleared.
    return (m_errorWord & (1 << (3 + output))) || (m_shortCircuit && m_outputs[output].on);
}

double CedarUnit::busLimit() const
{
    static const double kLimits[] = {75, 100, 125};
    return kLimits[m_busLevel];
}

double CedarUnit::outputVoltage(int output) const
{
    const Output& setting = m_outputs[output];
    if (!setting.on || !m_busOn || isOverloaded(output))
        return 0;
    return qMin(voltsFromCode(setting.code), busLimit());
}

int CedarUnit::statusBits() const
{
    int bits = (m_ready ? 0x01 : 0) | (m_outputs23Ready ? 0x02 : 0);
    for (int i = 0; i < Outputs; ++i) {
        if (m_outputs[i].on)
            bits |= 0x04 << i;
    }
    if (m_errorWord != 0)
        bits |= 0x20;
    return bits;
}

int CedarUnit::outputBits() const
{
    // An output bit says the output actually delivers: switched on, bus up, not over-loaded.
    int bits = 0;
    for (int i = 0; i < Outputs; ++i) {
        if (m_outputs[i].on && m_busOn && !isOverloaded(i))
            bits |= 1 << i;
    }
    return bits;
}

QByteArray CedarUnit::supplyState() const
{
    QByteArray reply;
    reply.append(static_cast<char>(statusBits()));
    WireBytes::appendWord(reply, m_errorWord);
    for (int i = 0; i < Outputs; ++i)
        WireBytes::appendWord(
            reply, WireBytes::clampUnsigned16(std::floor(outputVoltage(i) * 10 + 0.5)));
    reply.append(static_cast<char>(outputBits()));
    return reply;
}

void CedarUnit::addFamilyState(QJsonObject& state) const
{
    state.insert(QStringLiteral("bus"),
        QJsonObject{{QStringLiteral("level"), m_busLevel}, {QStringLiteral("on"), m_busOn},
            {QStringLiteral("limit"), busLimit()}});
    state.insert(QStringLiteral("settingSize"), settingSize());
    state.insert(QStringLiteral("ready"), m_ready);
    state.insert(QStringLiteral("outputs23Ready"), m_outputs23Ready);
    state.insert(QStringLiteral("errorWord"), m_errorWord);
    state.insert(QStringLiteral("statusBits"), statusBits());
    state.insert(QStringLiteral("outputBits"), outputBits());
    QJsonArray outputs;
    for (int i = 0; i < Outputs; ++i) {
        const Output& output = m_outputs[i];
        outputs.append(
            QJsonObject{{QStringLiteral("on"), output.on}, {QStringLiteral("code"), output.code},
                {QStringLiteral("setVoltage"), voltsFromCode(output.code)},
                {QStringLiteral("voltage"), outputVoltage(i)},
                {QStringLiteral("waveform"), output.waveform},
                {QStringLiteral("periodMs"), output.periodMs},
                {QStringLiteral("secondCode"), output.secondCode},
                {QStringLiteral("secondVoltage"), voltsFromCode(output.secondCode)}});
    }
    state.insert(QStringLiteral("outputs"), outputs);
    state.insert(QStringLiteral("pwm"),
        QJsonArray{pwmJson(m_pwm[0].mode, m_pwm[0].duty), pwmJson(m_pwm[1].mode, m_pwm[1].duty)});
    state.insert(QStringLiteral("pwmPending"),
        QJsonArray{pwmJson(m_pendingPwm[0].mode, m_pendingPwm[0].duty),
            pwmJson(m_pendingPwm[1].mode, m_pendingPwm[1].duty)});
    state.insert(QStringLiteral("pwmFrequency"), static_cast<qint64>(m_pwmFrequency));
    state.insert(QStringLiteral("pwmFrequencyPending"), static_cast<qint64>(m_pendingFrequency));
}
