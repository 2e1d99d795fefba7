#include "USBISocket.h"

#include <QElapsedTimer>
#include <QThread>

USBISocket::~USBISocket() = default;

bool USBISocket::waitForByte(char* byte, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (bytesAvailable() > 0) {
            readInto(byte, 1);
            return true;
        }
        if (timer.elapsed() >= timeoutMs)
            return false;
        QThread::msleep(1);
    }
}

void USBISocket::discardReceived()
{
    try {
        QByteArray dropped;
        const auto dropWaiting = [&] {
            for (int waiting = bytesAvailable(); waiting > 0; waiting = bytesAvailable()) {
                dropped.resize(waiting);
                readInto(dropped.data(), waiting);
            }
        };
        dropWaiting();
        QElapsedTimer timer;
        timer.start();
        char byte = 0;
        while (timer.elapsed() < DrainLimitMs && waitForByte(&byte, DrainQuietMs))
            dropWaiting();
    } catch (const USBResult&) { }
}
