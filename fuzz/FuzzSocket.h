#pragma once

#include "USBISocket.h"

#include <QByteArray>
#include <QList>

#include <memory>

// A link whose unit sends scripted chunks of bytes: the first chunk is waiting before anything is
// written, and each write by the host brings the next one. Clones share the queue, as clones of a
// real socket share the handle. One thread at a time, like every socket.
class FuzzSocket : public USBISocket
{
public:
    explicit FuzzSocket(const QList<QByteArray>& chunks);
    ~FuzzSocket() override;

    std::shared_ptr<USBISocket> clone() const override;
    USBResult open(int baudRate) override;
    USBResult close() override;
    void cyclePortAndClose() override;
    void setThreadPriority(int priority) override;
    int threadPriority() const override;
    uint32_t deviceIndex() const override;
    bool isOpen() const override;
    USBResult status() override;
    uint32_t purge() override;
    void writeByte(uint8_t byte) override;
    int write(QByteArray data) override;
    QByteArray read(int count) override;
    void readInto(char* buffer, int count) override;
    int readAvailable(QByteArray& array, int wanted) override;
    int bytesAvailable() override;
    uint32_t applyTimeouts() override;
    uint32_t applyTimeoutsAgain() override;
    void setBlockSize(uint32_t size) override;

private:
    struct Link
    {
        QList<QByteArray> chunksToCome;
        QByteArray received;
    };

    explicit FuzzSocket(std::shared_ptr<Link> link);

    std::shared_ptr<Link> m_link;
};
