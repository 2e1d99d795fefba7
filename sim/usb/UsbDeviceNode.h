#pragma once

#include "UsbNodeReadiness.h"

#include <umockdev.h>

#include <deque>
#include <map>
#include <memory>
#include <set>

class UsbFtdiChip;

// The usbdevfs side of one emulated chip: answers the ioctls that a USB library (libusb inside
// FTDI's library, or libftdi) sends to the chip's device node under umockdev. URBs complete the
// way the kernel completes them: control and bulk OUT transfers at once, bulk IN transfers when
// the chip has data or its latency timer expires. Everything runs on the umockdev testbed's
// worker thread.
class UsbDeviceNode
{
public:
    // path: the device node's file in the testbed.
    UsbDeviceNode(UsbFtdiChip& chip, const QString& path);
    ~UsbDeviceNode();
    UsbDeviceNode(const UsbDeviceNode&) = delete;
    UsbDeviceNode& operator=(const UsbDeviceNode&) = delete;

    // Makes the node's file again once the device is back (umockdev removes it with the device).
    void restoreFile();
    // The umockdev handler to attach to the device node.
    UMockdevIoctlBase* handler() const { return m_handler; }

private:
    struct Urb
    {
        UMockdevIoctlData* data; // the usbdevfs_urb, a reference of ours
        UMockdevIoctlData* buffer; // its data buffer, owned by data
        int endpoint;
    };
    // The chip's timer on an IN endpoint: its latency timer with data waiting, else the wait for
    // the next status packet or for bytes the link model has on their way.
    struct Timer
    {
        GSource* source;
        bool data;
        gint64 dueUs;
    };
    struct Client
    {
        uint64_t generation = 0;
        std::set<int> claimed;
        std::deque<Urb> completed;
        std::map<int, std::deque<Urb>> pendingIn;
        std::map<int, Timer> timers;
        // When an idle IN endpoint sends its next packet of status bytes alone (monotonic µs).
        std::map<int, gint64> statusDue;
        // A blocking reap waits here for the next completion.
        UMockdevIoctlData* heldReap = nullptr;
    };

    static gboolean onIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);
    static void onConnected(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);
    static void onVanished(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer self);

    void handle(UMockdevIoctlClient* client);
    bool isDead(const Client& state) const;
    void submit(UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg);
    void discard(UMockdevIoctlClient* client, Client& state, unsigned long address);
    void reap(UMockdevIoctlClient* client, Client& state, UMockdevIoctlData* arg, bool wait);
    // Completes the first pending IN URB of each endpoint while the chip has data for it (or the
    // timer expired), and keeps a latency timer running for the next.
    void serviceIn(UMockdevIoctlClient* client, Client& state, int endpoint, bool latencyExpired);
    // Runs the endpoint's timer for what the chip holds: its latency timer when bytes wait, else
    // until the next status packet or the arrival of bytes on their way, whichever comes first.
    void schedule(UMockdevIoctlClient* client, Client& state, int endpoint);
    void onTimer(UMockdevIoctlClient* client, Client& state, int endpoint, bool data);
    static void stopTimers(Client& state);
    void complete(
        UMockdevIoctlClient* client, Client& state, const Urb& urb, int status, int actualLength);
    // Hands the first completed URB to a held reap.
    void deliver(UMockdevIoctlClient* client, Client& state);
    void failAll(UMockdevIoctlClient* client, Client& state);
    void forget(UMockdevIoctlClient* client, Client& state);
    // The node polls writable while some client has a URB to reap or the device is gone.
    void updateReadiness();

    UsbFtdiChip& m_chip;
    UsbNodeReadiness m_readiness;
    UMockdevIoctlBase* m_handler;
    std::map<UMockdevIoctlClient*, Client> m_clients;
};
