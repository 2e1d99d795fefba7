#include <Properties>

#include <QBuffer>
#include <QDate>
#include <QDataStream>
#include <QStringList>
#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

namespace {

class SampleTraits
{ };

// Records the hook calls so that reasons and order can be checked.
class SampleRecord : public Properties<SampleTraits>
{
public:
    SampleRecord() = default;
    SampleRecord(const SampleRecord& other) : Properties<SampleTraits>(other) { }
    // Only the values are assigned; the record of hook calls stays the target's own.
    SampleRecord& operator=(const SampleRecord& other)
    {
        Properties<SampleTraits>::operator=(other);
        return *this;
    }
    void valueChanged(int index, int reason) override { changes.emplace_back(index, reason); }
    std::vector<std::pair<int, int>> changes;
};

class RecordingListener : public PropertiesListener
{
public:
    void propertyChanged(int index, const QVariant& value) override
    {
        seen.emplace_back(index, value);
    }
    void propertiesDestroyed(const void* record) override { destroyed = record; }
    std::vector<std::pair<int, QVariant>> seen;
    const void* destroyed = nullptr;
};

QByteArray streamed(const SampleRecord& record)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_15);
    record.writeToStream(out);
    return bytes;
}

} // namespace

TEST(Properties, StreamRoundTripNotifiesInAscendingOrder)
{
    SampleRecord source;
    source.setValue(7, 2.5);
    source.setValue(0, QStringLiteral("text"));
    source.setValue(3, 42);
    const QByteArray bytes = streamed(source);

    // Version 1, the entry count, then the entries from the highest key down.
    QDataStream check(bytes);
    check.setVersion(QDataStream::Qt_5_15);
    qint32 version = 0;
    quint32 count = 0;
    qint32 firstKey = 0;
    check >> version >> count >> firstKey;
    EXPECT_EQ(version, 1);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(firstKey, 7);

    RecordingListener listener;
    SampleRecord target;
    target.addListener(&listener);
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_5_15);
    target.readFromStream(in);
    EXPECT_EQ(target.values(), source.values());
    ASSERT_EQ(listener.seen.size(), 3u);
    EXPECT_EQ(listener.seen[0].first, 0);
    EXPECT_EQ(listener.seen[1].first, 3);
    EXPECT_EQ(listener.seen[2].first, 7);
    const std::vector<std::pair<int, int>> expected = {{0, 2}, {3, 2}, {7, 2}};
    EXPECT_EQ(target.changes, expected);
    target.removeListener(&listener);
}

TEST(Properties, RejectsOtherStreamVersionsAndKeepsValues)
{
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << qint32(2) << quint32(0);
    }
    SampleRecord record;
    record.setValue(1, 5);
    QDataStream in(bytes);
    try {
        record.readFromStream(in);
        FAIL() << "version 2 was accepted";
    } catch (const StreamableVersionException& e) {
        EXPECT_EQ(e.version, 2);
    }
    EXPECT_EQ(record.value(1).toInt(), 5);
}

TEST(Properties, CopyAssignmentAndNotification)
{
    RecordingListener listener;
    RecordingListener bListener;
    SampleRecord a;
    a.addListener(&listener);
    a.setValue(1, 10);
    a.setValue(1, 10); // the same value still notifies
    const std::vector<std::pair<int, int>> twice = {{1, 0}, {1, 0}};
    EXPECT_EQ(a.changes, twice);
    EXPECT_EQ(listener.seen.size(), 2u);
    EXPECT_FALSE(a.value(5).isValid());

    // A copy has the values but no listeners: changing it tells nobody.
    SampleRecord copy(a);
    copy.setValue(2, 1);
    EXPECT_EQ(listener.seen.size(), 2u);

    // Assignment announces keys removed (as invalid) and added, and keeps the target's listeners.
    SampleRecord b;
    b.setValue(4, 40);
    b.addListener(&bListener);
    b.changes.clear();
    b = a;
    EXPECT_EQ(b.values(), a.values());
    ASSERT_EQ(bListener.seen.size(), 2u);
    for (const auto& seen : bListener.seen) {
        if (seen.first == 4)
            EXPECT_FALSE(seen.second.isValid());
        else
            EXPECT_EQ(seen.second.toInt(), 10);
    }
    for (const auto& change : b.changes)
        EXPECT_EQ(change.second, 1);
    b.setValue(9, 1);
    EXPECT_EQ(bListener.seen.size(), 3u);
    EXPECT_EQ(listener.seen.size(), 2u);

    const void* address = nullptr;
    {
        SampleRecord doomed;
        address = &doomed;
        doomed.addListener(&listener);
    }
    EXPECT_EQ(listener.destroyed, address);
}

TEST(Properties, ConversionHelpers)
{
    struct IntCase
    {
        QVariant value;
        int expected;
    };
    const IntCase ints[] = {
        {QVariant(QStringLiteral("1 234")), 1234},
        {QVariant(2.9), 2},
        {QVariant(-2.9), -2},
        {QVariant(), 0},
        {QVariant(7), 7},
        {QVariant(true), 1},
        {QVariant(std::numeric_limits<double>::quiet_NaN()), 0},
        {QVariant(1e300), 0},
    };
    for (const IntCase& c : ints) {
        SCOPED_TRACE(c.value.toString().toStdString());
        EXPECT_EQ(variantToInt(c.value), c.expected);
    }
    bool ok = true;
    EXPECT_EQ(variantToInt(QVariant(QStringLiteral("x1")), &ok), 0);
    EXPECT_FALSE(ok);
    EXPECT_DOUBLE_EQ(variantToDouble(QVariant(QStringLiteral(" 1 2.5 "))), 12.5);
    EXPECT_DOUBLE_EQ(variantToDouble(QVariant()), 0.0);
    EXPECT_EQ(variantToString(QVariant(3.14159265)), QStringLiteral("3.14159"));
    EXPECT_EQ(variantToString(QVariant(1234567.0)), QStringLiteral("1.23457e+06"));
    EXPECT_EQ(variantToString(QVariant(12)), QStringLiteral("12"));
}

TEST(Properties, ByteHelpers)
{
    QByteArray data;
    appendWord(data, 0x1234);
    appendDword(data, 0xA1B2C3D4u);
    EXPECT_EQ(data, QByteArray("\x34\x12\xD4\xC3\xB2\xA1", 6));
    EXPECT_EQ(wordAt(QByteArray("\xFF\x80", 2), 0), 33023);
    EXPECT_EQ(dwordAt(data, 2), 0xA1B2C3D4u);
    EXPECT_EQ(static_cast<qint32>(dwordAt(QByteArray("\x38\xFF\xFF\xFF", 4), 0)), -200);
    // Reads past the end give 0 instead of touching memory that is not there.
    EXPECT_EQ(wordAt(data, 5), 0);
    EXPECT_EQ(dwordAt(data, 3), 0u);
    EXPECT_EQ(wordAt(data, -1), 0);
}

TEST(Properties, StreamReadsOnlyPlainValues)
{
    // The stream of one entry (key 1) whose value has the given QVariant type number and body.
    const auto entry = [](quint32 type, const std::function<void(QDataStream&)>& body) {
        QByteArray bytes;
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_5_15);
        out << qint32(1) << quint32(1) << qint32(1) << type << qint8(0);
        body(out);
        return bytes;
    };
    const auto written = [](const QVariant& value) {
        SampleRecord source;
        source.setValue(1, value);
        return streamed(source);
    };
    struct Case
    {
        const char* name;
        QByteArray bytes;
        bool readable;
    };
    // Damaged list values announce more entries than the stream holds; Qt would reserve room for
    // all of them before reading (an allocation failure, or gigabytes).
    const Case cases[] = {
        {"string list announcing 2^31-1 entries",
            entry(QMetaType::QStringList, [](QDataStream& out) { out << quint32(0x7FFFFFFF); }),
            false},
        {"variant list announcing 2^32-1 entries",
            entry(QMetaType::QVariantList, [](QDataStream& out) { out << quint32(0xFFFFFFFF); }),
            false},
        {"string list written by Qt", written(QStringList{QStringLiteral("a")}), false},
        {"date written by Qt", written(QDate(2024, 1, 2)), false},
        {"truncated", written(QStringLiteral("12.5")).chopped(3), false},
        {"bool", written(true), true},
        {"int", written(-7), true},
        {"unsigned", written(7u), true},
        {"long long", written(qlonglong(1) << 40), true},
        {"double", written(2.5), true},
        {"float", written(QVariant::fromValue(1.5f)), true},
        {"text", written(QStringLiteral("12.5")), true},
        {"bytes", written(QByteArray("\x01\x02", 2)), true},
        {"invalid", written(QVariant()), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SampleRecord target;
        target.setValue(9, 1);
        QDataStream in(c.bytes);
        in.setVersion(QDataStream::Qt_5_15);
        target.readFromStream(in);
        EXPECT_EQ(in.status() == QDataStream::Ok, c.readable);
        EXPECT_EQ(target.values().size(), c.readable ? 1 : 0);
    }
}
