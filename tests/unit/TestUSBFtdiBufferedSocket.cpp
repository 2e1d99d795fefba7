#include "TransportBenchTest.h"

#include "USBFtdiBufferedSocket.h"

#include <QThread>

namespace {

const char* const kSerial = "QZAH017010002";
const QByteArray kBufferedBench = R"({"units": [
  {"chip": "FT2232H", "serial": "QZAH017010002", "location": 336, "streamBlockSize": 512}
]})";

class USBFtdiBufferedSocketTest : public TransportBenchTest
{
protected:
    void SetUp() override
    {
        loadBench(kBufferedBench);
        m_socket = std::make_unique<USBFtdiBufferedSocket>(
            uint32_t(listPosition(QStringLiteral("QZAH017010002A"))));
        const USBResult result = m_socket->open(500000);
        ASSERT_TRUE(result.isSuccess()) << qPrintable(result.text());
        EXPECT_EQ(m_socket->threadPriority(), QThread::TimeCriticalPriority);
        EXPECT_EQ(m_socket->applyTimeouts(), FT_OK);
        m_socket->setBlockSize(512);
        bench().takeWireLogLines(kSerial);
    }

    void TearDown() override
    {
        if (m_socket)
            m_socket->close();
        TransportBenchTest::TearDown();
    }

    // The block requests written on channel A since the last look.
    int blockRequests()
    {
        const QStringList out = bench().takeWireLogLines(kSerial).filter(QStringLiteral("out 1:"));
        for (const QString& line : out)
            EXPECT_EQ(line, QStringLiteral("out 1: 00")) << "a block request is a single zero byte";
        return out.size();
    }

    std::unique_ptr<USBFtdiBufferedSocket> m_socket;
};

TEST_F(USBFtdiBufferedSocketTest, ReadsRequestOneBlockAtATime)
{
    struct Step
    {
        int count;
        int requests;
        uint32_t remaining;
    };
    // Reads of 100, 412, 1300 and 236 bytes over blocks of 512.
    const Step steps[] = {{100, 1, 412}, {412, 0, 0}, {1300, 3, 236}, {236, 0, 0}, {1, 1, 511}};
    QByteArray stream;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.count);
        QByteArray buffer(step.count, '\0');
        m_socket->readInto(buffer.data(), step.count);
        stream += buffer;
        EXPECT_EQ(blockRequests(), step.requests);
        EXPECT_EQ(m_socket->blockRemaining(), step.remaining);
    }
    // Everything read is the unit's stream, blocks end to end: nothing lost between reads.
    const int blocks = bench()
                           .unitState(kSerial)
                           .value(QStringLiteral("unit"))
                           .toObject()
                           .value(QStringLiteral("streamBlocks"))
                           .toInt();
    EXPECT_EQ(blocks, 5);
    EXPECT_EQ(stream.size(), 100 + 412 + 1300 + 236 + 1);
    EXPECT_EQ(m_socket->bytesAvailable(), 511) << "the rest of the last block is still queued";
}

TEST_F(USBFtdiBufferedSocketTest, BytesAvailableRequestsABlockOnlyWhenNonePending)
{
    EXPECT_EQ(m_socket->bytesAvailable(), 512);
    EXPECT_EQ(blockRequests(), 1);
    EXPECT_EQ(m_socket->bytesAvailable(), 512);
    EXPECT_EQ(blockRequests(), 0);
    char buffer[512];
    m_socket->readInto(buffer, 512);
    EXPECT_EQ(blockRequests(), 0);
    EXPECT_EQ(m_socket->bytesAvailable(), 512);
    EXPECT_EQ(blockRequests(), 1);

    // open discards a pending block.
    m_socket->close();
    ASSERT_TRUE(m_socket->open(0).isSuccess());
    EXPECT_EQ(m_socket->blockRemaining(), 0u);

    // Closed, the socket throws instead of reading or requesting a block without a handle.
    m_socket->close();
    expectFailure([&] { m_socket->readInto(buffer, 4); }, "Device not open");
    expectFailure([&] { m_socket->bytesAvailable(); }, "Device not open");
}

TEST_F(USBFtdiBufferedSocketTest, ShortBlockFailsAndKeepsTheBlockState)
{
    // The unit answers 512 bytes to a request, the reader expects 1024.
    m_socket->setBlockSize(1024);
    QByteArray buffer(1024, '\0');
    expectFailure(
        [&] { m_socket->readInto(buffer.data(), 1024); }, "Reading data from device timed out");
    EXPECT_EQ(m_socket->blockRemaining(), 1024u);
    EXPECT_EQ(blockRequests(), 1);
}

} // namespace
