#pragma once

#include "USBResult.h"

#include <QList>
#include <QObject>

#include <memory>

class USBDevice;
class USBICommRequest;
class USBISocketBinding;

// Everything above the transport talks to one unit through a driver: it lists the attached
// chips, holds at most one open device, binds the device's sockets to packet protocols by
// position and forwards requests to them. It never moves bytes itself.
//
// Socket index 0 is the device's primary socket, k >= 1 its (k - 1)-th secondary socket.
class USBDriver : public QObject
{
    Q_OBJECT

public:
    // One empty protocol entry; install a protocol for socket 0 before open().
    USBDriver();
    explicit USBDriver(std::shared_ptr<USBISocketBinding> protocol);
    ~USBDriver() override;

    // Grows the protocol list with empty entries as needed; replaces an earlier protocol.
    void setProtocol(std::shared_ptr<USBISocketBinding> protocol, int socketIndex);
    // The attached FTDI chips as devices with closed sockets, in ascending USB location order;
    // with ownOnly, only units of ours. Failures give a shorter list.
    QList<std::shared_ptr<USBDevice>> enumerateDevices(bool ownOnly);
    // Opens every socket of the device and binds them to the protocols. On failure every socket
    // is closed again and the driver stays without a device.
    USBResult open(std::shared_ptr<USBDevice> device, int baudRate);
    // Unbinds the protocols and closes every socket; nothing happens without a device.
    void close();
    // Purges both queues of every socket of the open device.
    void purge();
    std::shared_ptr<USBDevice> device() const;
    // Runs the request's exchange on the protocol of the socket, on the calling thread.
    USBResult send(std::shared_ptr<USBICommRequest> request, int socketIndex);

private:
    struct Private;
    std::unique_ptr<Private> m_pPrivate;
};
