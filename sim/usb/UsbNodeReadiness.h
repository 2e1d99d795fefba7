#pragma once

#include <QString>

// What poll() says about an emulated device node. A USB library waits in poll() for a usbfs file
// to become writable, which the kernel reports while URBs wait to be reaped. The emulated node is
// a FIFO that the bench keeps full (not writable) while nothing is to be reaped and opens a gap in
// when something is, so that the library sleeps in poll() instead of asking again and again.
class UsbNodeReadiness
{
public:
    // Creates the FIFO at path (replacing any file there).
    explicit UsbNodeReadiness(const QString& path);
    // Makes the FIFO anew, after umockdev removed the node with its device.
    void recreate();
    ~UsbNodeReadiness();
    UsbNodeReadiness(const UsbNodeReadiness&) = delete;
    UsbNodeReadiness& operator=(const UsbNodeReadiness&) = delete;

    bool isValid() const { return m_fd >= 0; }
    void setReady(bool ready);

private:
    QString m_path;
    int m_fd = -1;
    bool m_ready = true;
};
