#pragma once

// The fixture of the transport tests: a bench of their own, steered through the bench's control
// interface (the same file the library's D2XX loader opened, so both see one bench).

#include "D2xxLibrary.h"
#include "BenchControl.h"
#include "USBResult.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>

// Each test starts from a bench of its own and must leave no D2XX handle open.
class TransportBenchTest : public ::testing::Test
{
protected:
    static BenchControl& bench() { return BenchControl::instance(); }

    void loadBench(const QByteArray& json)
    {
        ASSERT_TRUE(bench().isLoaded()) << "cannot load the bench from " KAVRA_SIM_PATH;
        ASSERT_TRUE(D2xxLibrary::instance().isLoaded())
            << qPrintable(D2xxLibrary::instance().errorText());
        ASSERT_EQ(bench().loadBench(json), 0) << json.constData();
    }

    void TearDown() override
    {
        if (bench().isLoaded()) {
            EXPECT_EQ(bench().openHandleCount(), 0) << "a test left a D2XX handle open";
            bench().reset();
        }
    }

    // The call must throw a failure with this text.
    static void expectFailure(const std::function<void()>& call, const char* text)
    {
        try {
            call();
            ADD_FAILURE() << "no failure thrown";
        } catch (const USBResult& result) {
            EXPECT_EQ(result.message(), QString::fromLatin1(text));
        }
    }

    // The D2XX list position of the entry with this listed serial number, or -1.
    static int listPosition(const QString& listedSerial)
    {
        const D2xxLibrary& d2xx = D2xxLibrary::instance();
        DWORD count = 0;
        if (d2xx.createDeviceInfoList(&count) != FT_OK || count == 0)
            return -1;
        std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
        DWORD filled = count;
        if (d2xx.getDeviceInfoList(nodes.data(), &filled) != FT_OK)
            return -1;
        for (DWORD i = 0; i < filled && i < count; ++i) {
            if (QString::fromLatin1(nodes[i].SerialNumber, int(qstrnlen(nodes[i].SerialNumber, 16)))
                == listedSerial)
                return int(i);
        }
        return -1;
    }
};
