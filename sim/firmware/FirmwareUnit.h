#pragma once

#include "IdentificationPage.h"
#include "SimUnit.h"

#include <QMap>

// What every unit's firmware shares: the packet framing on the command link, the bootloader's
// identification, status overrides, the stream link and the bookkeeping that state() reports.
// A family derives from it and answers its own instruction bytes (0x20 and above); the plain
// class answers only the bootloader, as units without family firmware do.
class FirmwareUnit : public SimUnit
{
public:
    FirmwareUnit(
        const QJsonObject& config, const QString& family, const QList<int>& defaultVersionWords);

    QList<QByteArray> receive(int channel, const QByteArray& bytes) override;
    void setStatusOverride(int instruction, int status) override;
    QJsonObject state() const override;
    QString serialNumber() const override { return m_serial; }

    int product() const { return m_product; }
    int revision() const { return m_revision; }
    QList<int> versionWords() const { return m_page.versionWords(); }

protected:
    // Instruction bytes below this one belong to the bootloader; the family answers the others.
    static constexpr quint8 FirstFamilyInstruction = 0x20;
    // The bootloader's instruction bytes that the unit answers.
    enum BootloaderInstruction : quint8 {
        ReadPage = 0x12,
        ReadPageSize = 0x14,
        PreparePage = 0x15,
    };

    // Status byte and data of one reply.
    struct Reply
    {
        quint8 status = 0;
        QByteArray data;
    };

    static Reply ok(const QByteArray& data = QByteArray()) { return Reply{0, data}; }
    // Unknown instruction, or data of the wrong length or out of range: nothing is changed.
    static Reply rejected() { return Reply{1, QByteArray()}; }

    // A family instruction (byte 0x20 or above) with its data.
    virtual Reply handleInstruction(quint8 instruction, const QByteArray& data);
    // Adds the family's own keys to state().
    virtual void addFamilyState(QJsonObject& state) const;

    const QJsonObject& config() const { return m_config; }

private:
    QList<QByteArray> receiveCommands(const QByteArray& bytes);
    QList<QByteArray> receiveStream(const QByteArray& bytes);
    QByteArray answerPacket(const QByteArray& packet);
    Reply handleBootloader(quint8 instruction, const QByteArray& data);
    QByteArray streamBlock();

    QJsonObject m_config;
    QString m_serial;
    QString m_family;
    int m_product = 0;
    int m_revision = 0;
    IdentificationPage m_page;
    int m_streamBlockSize = 512;
    quint8 m_streamCounter = 0;

    QByteArray m_commandBuffer;
    QMap<int, int> m_statusOverrides;
    QMap<int, int> m_instructionCounts;
    QMap<int, QByteArray> m_lastPayloads;
    QMap<int, int> m_lastStatus;
    int m_bootloaderEntries = 0;
    int m_ignoredBytes = 0;
    int m_streamBlocks = 0;
};
