#include "IdentificationPage.h"

#include "WireBytes.h"

#include <QJsonArray>

namespace {

const int kTextIdentity = 40;
const int kTextSerial = 16;
const int kTextEntryName = 16;

// A Latin-1 text padded with NUL bytes (or cut) to exactly its field width.
QByteArray field(const QString& text, int width)
{
    QByteArray bytes = text.toLatin1().left(width);
    bytes.append(QByteArray(width - bytes.size(), '\0'));
    return bytes;
}

QList<int> intList(const QJsonValue& value, const QList<int>& fallback, int count)
{
    QList<int> result = fallback;
    const QJsonArray array = value.toArray();
    for (int i = 0; i < array.size() && i < count; ++i) {
        if (i < result.size())
            result[i] = array.at(i).toInt();
        else
            result.append(array.at(i).toInt());
    }
    while (result.size() < count)
        result.append(0);
    return result;
}

} // namespace

IdentificationPage::IdentificationPage(
    const QJsonObject& config, const QString& serial, const QList<int>& defaultVersionWords)
    : m_serialText(config.value(QStringLiteral("pageSerial")).toString(serial))
    , m_fault(config.value(QStringLiteral("pageFault")).toString())
    , m_versionWords(intList(config.value(QStringLiteral("versionWords")), defaultVersionWords, 5))
{
    m_pageSize = qBound(0, config.value(QStringLiteral("pageSize")).toInt(128), 0xFFFF);
    m_sizeForm = config.value(QStringLiteral("pageSizeForm")).toInt(2) == 4 ? 4 : 2;
    m_pageFlag = config.value(QStringLiteral("pageFlag")).toBool(false);
    // Format 1 pages only identify serial numbers of the A flow variant; B units carry format 2.
    const int defaultFormat
        = serial.size() > 2 && serial.at(2).toLower() == QLatin1Char('b') ? 2 : 1;
    m_format = config.value(QStringLiteral("pageFormat")).toInt(defaultFormat);
    if (m_fault == QLatin1String("badSerial") && m_serialText.size() >= 4)
        m_serialText[3] = QLatin1Char('X');
    m_page = buildPage(config);
}

QByteArray IdentificationPage::buildPage(const QJsonObject& config) const
{
    QByteArray page;
    if (m_fault == QLatin1String("badMagic"))
        page.append("\x35\x72\xD2", 3);
    else
        page.append("\x35\x72\xD1", 3);
    page.append(static_cast<char>(m_format & 0xFF));
    page.append(field(
        config.value(QStringLiteral("identityText")).toString(QStringLiteral("Kavra supply unit")),
        kTextIdentity));
    page.append(field(m_serialText, kTextSerial));
    const QList<int> header = intList(config.value(QStringLiteral("headerWords")), {1, 0}, 2);
    for (int word : header)
        WireBytes::appendBigWord(page, word);
    for (int word : m_versionWords)
        WireBytes::appendBigWord(page, word);
    if (m_format == 2) {
        WireBytes::appendBigWord(page, config.value(QStringLiteral("extraWord")).toInt(0));
        for (const QJsonValue& entryValue : config.value(QStringLiteral("entries")).toArray()) {
            const QJsonObject entry = entryValue.toObject();
            page.append('\x01');
            page.append(field(entry.value(QStringLiteral("name")).toString(), kTextEntryName));
            for (int value : intList(entry.value(QStringLiteral("values")), {}, 4))
                WireBytes::appendBigWord(page, value);
        }
        page.append('\0');
    }
    // The page is cut or zero-padded to the size the unit announces; a short page is a fault a
    // bench asks for by announcing fewer bytes than the header needs.
    page = page.left(m_pageSize);
    page.append(QByteArray(m_pageSize - page.size(), '\0'));
    return page;
}

QByteArray IdentificationPage::pageSizeReply() const
{
    QByteArray reply;
    if (m_sizeForm == 4)
        reply.append('\xFF');
    WireBytes::appendBigWord(reply, m_pageSize);
    if (m_sizeForm == 4)
        reply.append(m_pageFlag ? '\x01' : '\x00');
    return reply;
}

QByteArray IdentificationPage::pageReply() const
{
    QByteArray reply = m_page;
    if (m_fault == QLatin1String("truncated"))
        reply.chop(1);
    reply.append('\xFF');
    reply.append(m_fault == QLatin1String("badTrailer") ? '\xFE' : '\xFF');
    return reply;
}
