#include "TransportBenchTest.h"

#include "USBDevice.h"
#include "USBDriver.h"
#include "USBIProtocol.h"
#include "USBISocket.h"

namespace {

// Records what the driver asks of a protocol.
class FakeProtocol : public USBIProtocol
{
public:
    explicit FakeProtocol(QStringList* journal, const QString& name) : m_journal(journal), m_name(name) {}

    void setPollInterval(uint32_t) override {}
    bool isRunning() const override { return false; }
    void addStreamReceiver(int, QObject*) override {}
    void removeStreamReceiver(int) override {}
    void setErrorReceiver(QObject*) override {}
    void setObserver(USBIProtocolObserver*) override {}
    void setPoller(USBISocketPoller*) override {}
    void startWorker() override {}
    void stopWorker() override {}
    std::shared_ptr<USBISocket> socket() override { return m_socket; }
    USBResult sendRequest(std::shared_ptr<USBICommRequest>) override
    {
        m_journal->append(m_name + QStringLiteral(".sendRequest"));
        return USBResult::failure(QStringLiteral("reply from ") + m_name);
    }
    void postRequest(std::shared_ptr<USBICommRequest>, QObject*) override {}
    void clearRequests() override { m_journal->append(m_name + QStringLiteral(".clearRequests")); }
    bool isIdle() override { return true; }
    void waitForIdle() override {}
    void setSocket(std::shared_ptr<USBISocket> socket) override
    {
        m_journal->append(m_name + (socket ? QStringLiteral(".setSocket(%1)").arg(socket->deviceIndex())
                                           : QStringLiteral(".setSocket(none)")));
        m_socket = socket;
    }

private:
    QStringList* m_journal;
    QString m_name;
    std::shared_ptr<USBISocket> m_socket;
};

const char* const kCedar = "QZAH017010002";
const char* const kAlder = "QZAH015010001";

class USBDriverTest : public TransportBenchTest
{
protected:
    void SetUp() override
    {
        loadBench(R"({"units": [
          {"chip": "FT232R",  "serial": "QZAH015010001", "location": 256},
          {"chip": "FT2232H", "serial": "QZAH017010002", "location": 512}
        ]})");
        m_primary = std::make_shared<FakeProtocol>(&m_journal, QStringLiteral("p0"));
        m_driver = std::make_unique<USBDriver>(m_primary);
        const auto devices = m_driver->enumerateDevices(true);
        ASSERT_EQ(devices.size(), 2);
        m_alder = devices.at(0);
        m_cedar = devices.at(1);
        m_channelB = QString::number(listPosition(QStringLiteral("QZAH017010002B")));
        m_channelA = QString::number(listPosition(QStringLiteral("QZAH017010002A")));
    }

    void TearDown() override
    {
        m_driver.reset();
        TransportBenchTest::TearDown();
    }

    QStringList m_journal;
    std::shared_ptr<FakeProtocol> m_primary;
    std::unique_ptr<USBDriver> m_driver;
    std::shared_ptr<USBDevice> m_alder;
    std::shared_ptr<USBDevice> m_cedar;
    QString m_channelA;
    QString m_channelB;
};

TEST_F(USBDriverTest, OpenBindsSocketsByPositionAndCloseUnbindsThem)
{
    struct Case
    {
        const char* name;
        bool secondProtocol;
        QStringList expectedOpen;
    };
    const Case cases[] = {
        {"one protocol: channel A stays open but unbound", false, {QStringLiteral("p0.setSocket(%1)").arg(m_channelB)}},
        {"two protocols", true,
         {QStringLiteral("p0.setSocket(%1)").arg(m_channelB), QStringLiteral("p1.setSocket(%1)").arg(m_channelA)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.secondProtocol)
            m_driver->setProtocol(std::make_shared<FakeProtocol>(&m_journal, QStringLiteral("p1")), 1);
        m_journal.clear();

        const USBResult result = m_driver->open(m_cedar, 500000);
        ASSERT_TRUE(result.isSuccess()) << qPrintable(result.text());
        EXPECT_EQ(m_driver->device(), m_cedar);
        EXPECT_EQ(m_journal, c.expectedOpen);
        EXPECT_EQ(bench().openHandleCount(), 2);
        EXPECT_TRUE(m_cedar->primarySocket()->isOpen());
        EXPECT_TRUE(m_cedar->secondarySockets().first()->isOpen());
        // The UART link of channel B got the baud rate.
        EXPECT_TRUE(bench().takeConfigCallLines(kCedar, 0).contains(QStringLiteral("FT_SetBaudRate(500000)")));

        m_journal.clear();
        m_driver->close();
        QStringList expectedClose = {QStringLiteral("p0.clearRequests"), QStringLiteral("p0.setSocket(none)")};
        if (c.secondProtocol)
            expectedClose << QStringLiteral("p1.clearRequests") << QStringLiteral("p1.setSocket(none)");
        EXPECT_EQ(m_journal, expectedClose);
        EXPECT_EQ(m_driver->device(), nullptr);
        EXPECT_EQ(bench().openHandleCount(), 0);

        // A second close does nothing.
        m_journal.clear();
        m_driver->close();
        EXPECT_TRUE(m_journal.isEmpty());
    }
}

TEST_F(USBDriverTest, OpenSendAndCloseStates)
{
    // Without a device nothing reaches the protocol.
    USBResult result = m_driver->send(nullptr, 0);
    EXPECT_EQ(result.message(), QStringLiteral("No device is open"));
    EXPECT_EQ(result.type(), 2);
    EXPECT_EQ(result.category(), 3);
    EXPECT_TRUE(m_journal.isEmpty());

    ASSERT_TRUE(m_driver->open(m_alder, 500000).isSuccess());
    m_journal.clear();
    result = m_driver->send(nullptr, 0);
    EXPECT_EQ(result.message(), QStringLiteral("reply from p0")) << "the protocol's result comes back as it is";
    EXPECT_EQ(m_journal, QStringList{QStringLiteral("p0.sendRequest")});

    // One device at a time; the open one is untouched.
    result = m_driver->open(m_cedar, 500000);
    EXPECT_EQ(result.message(), QStringLiteral("Another device is already open"));
    EXPECT_EQ(result.category(), 3);
    EXPECT_EQ(m_driver->device(), m_alder);
    EXPECT_FALSE(m_cedar->primarySocket()->isOpen());
    EXPECT_EQ(bench().openHandleCount(), 1);

    // purge empties the receive queues of the open device.
    ASSERT_EQ(bench().sendUnsolicited(kAlder, 0, QByteArrayLiteral("abc")), 0);
    EXPECT_EQ(m_alder->primarySocket()->bytesAvailable(), 3);
    m_driver->purge();
    EXPECT_EQ(m_alder->primarySocket()->bytesAvailable(), 0);

    m_driver->close();
    m_journal.clear();
    EXPECT_EQ(m_driver->send(nullptr, 0).message(), QStringLiteral("No device is open"));
    EXPECT_TRUE(m_journal.isEmpty());
    m_driver->purge(); // nothing open: nothing happens

    // A larger index grows the protocol list with empty entries.
    m_driver->setProtocol(std::make_shared<FakeProtocol>(&m_journal, QStringLiteral("p3")), 3);
    EXPECT_EQ(m_driver->send(nullptr, 3).message(), QStringLiteral("No device is open"));
}

TEST_F(USBDriverTest, FailingSocketsLeaveNothingOpen)
{
    struct Case
    {
        const char* name;
        bool primaryFails;
        int expectedCode;
    };
    const Case cases[] = {
        {"primary socket fails", true, int(FT_DEVICE_NOT_OPENED)},
        {"secondary socket fails after the primary opened", false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FT_HANDLE blocker = nullptr;
        if (c.primaryFails) {
            ASSERT_EQ(bench().failOpens(kCedar, 1), 0);
        } else {
            // Somebody else holds channel A: its socket cannot open.
            ASSERT_EQ(D2xxLibrary::instance().open(m_channelA.toInt(), &blocker), FT_OK);
        }
        m_journal.clear();
        const USBResult result = m_driver->open(m_cedar, 500000);
        EXPECT_FALSE(result.isSuccess());
        EXPECT_EQ(result.category(), 0);
        if (c.expectedCode >= 0) {
            EXPECT_EQ(result.code(), c.expectedCode);
        }
        EXPECT_EQ(m_driver->device(), nullptr);
        EXPECT_TRUE(m_journal.isEmpty()) << "no protocol is bound to a device that did not open";
        for (const auto& socket : m_cedar->sockets())
            EXPECT_FALSE(socket->isOpen());
        EXPECT_EQ(bench().openHandleCount(), blocker ? 1 : 0);
        if (blocker)
            D2xxLibrary::instance().close(blocker);
    }
    // The driver is still usable afterwards.
    ASSERT_TRUE(m_driver->open(m_cedar, 500000).isSuccess());
    m_driver->close();
}

TEST_F(USBDriverTest, DestructorClosesTheDevice)
{
    ASSERT_TRUE(m_driver->open(m_cedar, 500000).isSuccess());
    m_journal.clear();
    m_driver.reset();
    EXPECT_EQ(m_journal, (QStringList{QStringLiteral("p0.clearRequests"), QStringLiteral("p0.setSocket(none)")}));
    EXPECT_EQ(bench().openHandleCount(), 0);
}

#ifndef QT_NO_DEBUG
TEST(USBDriverDeathTest, SocketIndexBeyondTheProtocolsAsserts)
{
    USBDriver driver;
    EXPECT_DEATH(driver.send(nullptr, 1), "socketIndex < m_pPrivate->m_protocols.count\\(\\)");
}
#endif

} // namespace
