#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <cstdint>

// The identification record that a unit's bootloader returns as its identification page.
class BootloaderInfo
{
public:
    // One entry of a format-2 page's entry list.
    struct Entry
    {
        QString name;
        std::array<uint32_t, 4> values{};
    };

    // Smallest page that holds every fixed field.
    static constexpr int MinimumPageSize = 100;

    // Not valid, empty texts and entries, numbers 0.
    BootloaderInfo();

    // Decodes a page (without its trailer). A page that does not decode gives a record that is
    // not valid; a page whose serial number fails the format's rules gives a record that is not
    // valid but keeps every decoded field.
    static BootloaderInfo fromPage(const QByteArray& page);

    bool isValid() const { return m_valid; }
    uint32_t recordKind() const { return m_recordKind; }
    uint32_t headerWord1() const { return m_headerWord1; }
    uint32_t headerWord2() const { return m_headerWord2; }
    QString identityText() const { return m_identityText; }
    QString serialNumber() const { return m_serialNumber; }
    std::array<uint32_t, 5> versionWords() const { return m_versionWords; }
    // The first version word is the unit's hardware version.
    uint32_t hardwareVersion() const { return m_versionWords[0]; }
    // 0 for a format-1 page.
    uint32_t extraWord() const { return m_extraWord; }
    QList<Entry> entries() const { return m_entries; }

private:
    static bool serialNumberFits(const QString& serialNumber, int format);

    bool m_valid;
    uint32_t m_recordKind;
    uint32_t m_headerWord1;
    uint32_t m_headerWord2;
    QString m_identityText;
    QString m_serialNumber;
    std::array<uint32_t, 5> m_versionWords;
    uint32_t m_extraWord;
    QList<Entry> m_entries;
};
