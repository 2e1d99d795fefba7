#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

// The identification page that a unit's bootloader hands out, and the page-size reply that
// announces it, built once from the unit's bench entry. Faults that a bench can ask for (bad
// magic, unreadable serial text, wrong trailer, a reply one byte short) are applied here so
// that the bootloader itself stays a plain dispatcher.
class IdentificationPage
{
public:
    IdentificationPage(
        const QJsonObject& config, const QString& serial, const QList<int>& defaultVersionWords);

    QByteArray pageSizeReply() const;
    // The page followed by its two trailer bytes, as instruction 0x12 returns it.
    QByteArray pageReply() const;

    int pageSize() const { return m_pageSize; }
    int format() const { return m_format; }
    const QList<int>& versionWords() const { return m_versionWords; }
    QString fault() const { return m_fault; }

private:
    QByteArray buildPage(const QJsonObject& config) const;

    int m_pageSize = 128;
    int m_sizeForm = 2;
    bool m_pageFlag = false;
    int m_format = 1;
    QString m_serialText;
    QString m_fault;
    QList<int> m_versionWords;
    QByteArray m_page;
};
