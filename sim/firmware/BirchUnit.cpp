#include "BirchUnit.h"

#include "WireBytes.h"

namespace {

int voltage(const QByteArray& setting)
{
    return WireBytes::word(setting, 0);
}

// The second value travels in thousandths.
qint32 secondMilli(const QByteArray& setting)
{
    return static_cast<qint32>(WireBytes::dword(setting, 2));
}

} // namespace

BirchUnit::BirchUnit(const QJsonObject& config)
    : FirmwareUnit(config, QStringLiteral("Birch"), {1, 1, 0, 0, 0})
{ }

FirmwareUnit::Reply BirchUnit::handleInstruction(quint8 instruction, const QByteArray& data)
{
    switch (instruction) {
    case SetOutput:
        if (data.size() != 6)
            return rejected();
        m_setting = data;
        return ok();
    case ReadSetting:
        return data.isEmpty() ? ok(m_setting) : rejected();
    case ReadSecond: {
        if (!data.isEmpty())
            return rejected();
        QByteArray second;
        WireBytes::appendDword(second, secondMilli(m_setting));
        return ok(second);
    }
    default:
        return rejected();
    }
}

void BirchUnit::addFamilyState(QJsonObject& state) const
{
    const qint32 milli = secondMilli(m_setting);
    state.insert(QStringLiteral("voltage"), voltage(m_setting));
    state.insert(QStringLiteral("second"), milli / 1000.0);
    state.insert(QStringLiteral("secondMilli"), milli);
    state.insert(QStringLiteral("outputOn"), voltage(m_setting) != 0 || milli != 0);
    state.insert(QStringLiteral("setting"), QString::fromLatin1(m_setting.toHex()));
}
