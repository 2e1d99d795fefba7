// The USB-level bench as host software sees it, under kavra-usbbench with the vendor bench:
// libftdi1 gets a late reply on the chip's latency timer, not on the idle status-packet period,
// and lsusb finds whole strings, the root hub and every interface.
#include "UsbBenchClient.h"

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <ftdi.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

TEST(UsbBenchHost, LibftdiGetsADelayedReplyOnTheLatencyTimer)
{
    UsbBenchClient bench;
    ASSERT_TRUE(bench.isConnected()) << qPrintable(bench.errorString());
    std::unique_ptr<ftdi_context, void (*)(ftdi_context*)> ftdi(ftdi_new(), ftdi_free);
    ASSERT_EQ(ftdi_usb_open_desc(ftdi.get(), 0x0403, 0x6001, nullptr, "QZAH015010001"), 0)
        << ftdi_get_error_string(ftdi.get());
    ASSERT_EQ(ftdi_set_baudrate(ftdi.get(), 500000), 0);
    ASSERT_EQ(ftdi_set_latency_timer(ftdi.get(), 2), 0);
    // An echo instruction; its reply carries status 0 in place of the instruction's byte 5.
    unsigned char request[8] = {0x05, 0x01, 0, 0, 0, 0x15, 0, 0};
    const unsigned char expected[8] = {0x05, 0x01, 0, 0, 0, 0, 0, 0};
    std::vector<double> milliseconds;
    for (int round = 0; round < 5; ++round) {
        // The reply comes 10 ms late: the bulk IN read is already waiting on an idle chip, whose
        // next status packet alone is 50 ms away.
        ASSERT_EQ(
            bench.fault(QStringLiteral("delay_next_reply"), QStringLiteral("QZAH015010001"), 10),
            0);
        const Clock::time_point start = Clock::now();
        ASSERT_EQ(ftdi_write_data(ftdi.get(), request, sizeof request), int(sizeof request));
        unsigned char reply[8] = {};
        int got = 0;
        while (got < int(sizeof reply) && Clock::now() - start < std::chrono::seconds(2)) {
            const int read = ftdi_read_data(ftdi.get(), reply + got, int(sizeof reply) - got);
            ASSERT_GE(read, 0) << ftdi_get_error_string(ftdi.get());
            got += read;
        }
        ASSERT_TRUE(std::equal(reply, reply + 8, expected)) << "round " << round;
        milliseconds.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    // About 12 ms (10 ms late, then the 2 ms latency timer); the status period alone is 50 ms.
    EXPECT_LT(milliseconds[2], 40.0) << "median of 5 exchanges";
    ftdi_usb_close(ftdi.get());
}

TEST(UsbBenchHost, LsusbSeesWholeStringsAndATreeOfInterfaces)
{
    const QString lsusb = QStandardPaths::findExecutable(QStringLiteral("lsusb"));
    if (lsusb.isEmpty())
        GTEST_SKIP() << "lsusb not installed (usbutils)";
    const auto run = [&](const QStringList& arguments, QByteArray* errors) {
        QProcess process;
        process.start(lsusb, arguments);
        EXPECT_TRUE(process.waitForFinished(20000));
        EXPECT_EQ(process.exitCode(), 0);
        *errors = process.readAllStandardError();
        return QString::fromUtf8(process.readAllStandardOutput());
    };
    QByteArray errors;
    const QString list = run({}, &errors);
    EXPECT_TRUE(list.contains(QStringLiteral("ID 0403:6001 FTDI Kavra Alder\n")))
        << qPrintable(list);
    EXPECT_TRUE(list.contains(QStringLiteral("Device 001: ID 1d6b:0002"))) << "the root hub";
    const QString tree = run({QStringLiteral("-t")}, &errors);
    EXPECT_TRUE(errors.isEmpty()) << errors.constData();
    EXPECT_TRUE(tree.startsWith(QStringLiteral("/:  Bus 01.Port 1: Dev 1, Class=root_hub")))
        << qPrintable(tree);
    // FT232R, FT2232H (2), FT232H, FT-X, FT-X, FT232R and FT4232H (4): one line per interface.
    EXPECT_EQ(tree.count(QStringLiteral(", If ")), 11) << qPrintable(tree);
}

} // namespace
