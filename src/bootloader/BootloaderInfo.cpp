#include "BootloaderInfo.h"

namespace {

constexpr int FormatOffset = 3;
constexpr int IdentityOffset = 4;
constexpr int IdentitySize = 40;
constexpr int SerialOffset = 44;
constexpr int SerialSize = 16;
constexpr int HeaderWordsOffset = 60;
constexpr int VersionWordsOffset = 64;
constexpr int ExtraWordOffset = 74;
constexpr int EntryListOffset = 76;
constexpr int EntryNameSize = 16;
constexpr int EntrySize = EntryNameSize + 4 * 2;

// The page is big-endian, unlike the packets.
uint32_t bigEndianWord(const QByteArray& page, int offset)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(page[offset])) << 8
        | static_cast<uint32_t>(static_cast<uint8_t>(page[offset + 1]));
}

// Latin-1 text padded with NULs: it ends at the first NUL or at the end of its field.
QString fieldText(const QByteArray& page, int offset, int size)
{
    const QByteArray field = page.mid(offset, size);
    const int end = field.indexOf('\0');
    return QString::fromLatin1(end < 0 ? field : field.left(end));
}

} // namespace

BootloaderInfo::BootloaderInfo()
    : m_valid(false)
    , m_recordKind(0)
    , m_headerWord1(0)
    , m_headerWord2(0)
    , m_versionWords{}
    , m_extraWord(0)
{ }

BootloaderInfo BootloaderInfo::fromPage(const QByteArray& page)
{
    BootloaderInfo info;
    if (page.size() < MinimumPageSize)
        return info;
    if (static_cast<uint8_t>(page[0]) != 0x35 || static_cast<uint8_t>(page[1]) != 0x72
        || static_cast<uint8_t>(page[2]) != 0xD1)
        return info;
    const int format = static_cast<uint8_t>(page[FormatOffset]);
    if (format != 1 && format != 2)
        return info;

    info.m_valid = true;
    info.m_recordKind = 1;
    info.m_identityText = fieldText(page, IdentityOffset, IdentitySize);
    info.m_serialNumber = fieldText(page, SerialOffset, SerialSize);
    info.m_headerWord1 = bigEndianWord(page, HeaderWordsOffset);
    info.m_headerWord2 = bigEndianWord(page, HeaderWordsOffset + 2);
    for (int i = 0; i < 5; ++i)
        info.m_versionWords[static_cast<size_t>(i)]
            = bigEndianWord(page, VersionWordsOffset + 2 * i);

    if (format == 2) {
        info.m_extraWord = bigEndianWord(page, ExtraWordOffset);
        int marker = EntryListOffset;
        // Each entry follows a marker byte 1; an entry cut off by the page's end is not taken.
        while (marker < page.size() && page[marker] == 1 && marker + 1 + EntrySize <= page.size()) {
            const int offset = marker + 1;
            Entry entry;
            entry.name = fieldText(page, offset, EntryNameSize);
            for (int i = 0; i < 4; ++i)
                entry.values[static_cast<size_t>(i)]
                    = bigEndianWord(page, offset + EntryNameSize + 2 * i);
            info.m_entries.append(entry);
            marker = offset + EntrySize;
        }
    }

    if (!serialNumberFits(info.m_serialNumber, format))
        info.m_valid = false;
    return info;
}

bool BootloaderInfo::serialNumberFits(const QString& serialNumber, int format)
{
    const QString serial = serialNumber.toLower();
    if (serial.size() < 5)
        return false;
    if (!serial.startsWith(format == 1 ? QLatin1String("qza") : QLatin1String("qz")))
        return false;
    return serial[3] == QLatin1Char('h') || serial[3] == QLatin1Char('p');
}
