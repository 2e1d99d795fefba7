#include "USBSerialNumber.h"

namespace {

// Only plain decimal digits count: a sign or blank in a number field is a malformed serial number.
bool parseDigits(const QString& text, int* value)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    *value = text.toInt();
    return true;
}

} // namespace

USBSerialNumber::USBSerialNumber()
    : m_valid(false)
    , m_unnumbered(false)
    , m_variantCode(0)
    , m_flowCode(0)
    , m_product(0)
    , m_revision(0)
    , m_unitNumber(0)
{ }

USBSerialNumber::USBSerialNumber(const QString& text) : USBSerialNumber()
{
    const QString lower = text.toLower();
    if (lower.size() != 9 && lower.size() != 13)
        return;
    if (!lower.startsWith(QLatin1String("qz")))
        return;
    const QChar flow = lower.at(2);
    if (flow == QLatin1Char('a'))
        m_flowCode = 0;
    else if (flow == QLatin1Char('b'))
        m_flowCode = 1;
    else
        return;
    const QChar variant = lower.at(3);
    if (variant == QLatin1Char('h'))
        m_variantCode = 0;
    else if (variant == QLatin1Char('p'))
        m_variantCode = 1;
    else
        return;
    if (!parseDigits(lower.mid(4, 3), &m_product))
        return;
    if (!parseDigits(lower.mid(7, 2), &m_revision))
        return;
    if (lower.size() == 13) {
        const QString unit = lower.mid(9, 4);
        if (unit == QLatin1String("xxxx"))
            m_unnumbered = true;
        else if (!parseDigits(unit, &m_unitNumber))
            return;
    }
    m_valid = true;
}

QString USBSerialNumber::shortText() const
{
    if (!m_valid)
        return QString();
    return QStringLiteral("QZ%1%2%3%4")
        .arg(m_flowCode == 0 ? QLatin1Char('A') : QLatin1Char('B'))
        .arg(m_variantCode == 0 ? QLatin1Char('H') : QLatin1Char('P'))
        .arg(m_product, 3, 10, QLatin1Char('0'))
        .arg(m_revision, 2, 10, QLatin1Char('0'));
}

QString USBSerialNumber::fullText() const
{
    if (!m_valid)
        return QString();
    if (m_unnumbered)
        return shortText() + QStringLiteral("XXXX");
    return shortText() + QStringLiteral("%1").arg(m_unitNumber, 4, 10, QLatin1Char('0'));
}
