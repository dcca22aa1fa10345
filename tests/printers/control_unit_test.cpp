// Checks of what the page sends to the queue commands, and how supply values
// from the scheduler are read.

#include "printers/printercontrol.h"

#include <QFile>
#include <QJsonArray>
#include <gtest/gtest.h>

using namespace PrinterAPI;

TEST(JobIdFromPage, OnlyWholeNumbersFromOneTo2Pow31Minus1)
{
    EXPECT_EQ(jobIdFromPage(QJsonValue(1)), 1);
    EXPECT_EQ(jobIdFromPage(QJsonValue(42.0)), 42);
    EXPECT_EQ(jobIdFromPage(QJsonValue(2147483647.0)), 2147483647);
    for (const QJsonValue& v :
        { QJsonValue(0), QJsonValue(-3), QJsonValue(1.5), QJsonValue(2147483648.0), QJsonValue(1e300), QJsonValue("7"),
            QJsonValue(true), QJsonValue(QJsonArray { 7 }), QJsonValue(), QJsonValue(QJsonValue::Undefined) })
        EXPECT_FALSE(jobIdFromPage(v).has_value());
}

TEST(QueueText, BoundedAndWithoutControlCharacters)
{
    EXPECT_TRUE(isValidQueueText(""));
    EXPECT_TRUE(isValidQueueText(QString::fromUtf8("2nd floor, room 12 — 二楼")));
    EXPECT_TRUE(isValidQueueText(QString(127, QLatin1Char('a'))));
    EXPECT_FALSE(isValidQueueText(QString(128, QLatin1Char('a'))));
    EXPECT_TRUE(isValidQueueText(QString(42, QChar(0x4E8C)))); // 126 bytes
    EXPECT_FALSE(isValidQueueText(QString(43, QChar(0x4E8C)))); // 129 bytes
    EXPECT_TRUE(isValidQueueText(QString::fromUtf8("emoji \xF0\x9F\x96\xA8")));
    for (const QString& bad : { QString("a\nb"), QString("a\tb"), QString("a\rb"), QString(QChar(0)),
             QString(QChar(0x7F)), QString(QChar(0x85)), QString(QChar(0x2028)), QString(QChar(0xD800)),
             QString(QString(QChar(0xDC00)) + "x") })
        EXPECT_FALSE(isValidQueueText(bad)) << bad.toUtf8().toHex().constData();
}

TEST(SuppliesFromMarkers, ReadsEachMarker)
{
    const std::vector<Supply> s = suppliesFromMarkers({ "Black", "Cyan", "Waste" }, { "#000000", "#00ffff", "none" },
        { 80, 5, -3 }, { "toner", "ink-cartridge", "waste-toner" });
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0].name, "Black");
    EXPECT_EQ(s[0].color, "#000000");
    EXPECT_EQ(s[0].level, 80);
    EXPECT_EQ(s[0].type, "toner");
    EXPECT_EQ(s[1].color, "#00FFFF");
    EXPECT_EQ(s[1].level, 5);
    EXPECT_EQ(s[1].type, "ink-cartridge");
    EXPECT_EQ(s[2].color, "");
    EXPECT_EQ(s[2].level, -3);
}

TEST(SuppliesFromMarkers, OddValuesAreCutOrReadAsUnknown)
{
    std::vector<Supply> s = suppliesFromMarkers({ "A", "B", "C" }, { "#00FF00#FF00FF" }, { 101, -4 }, { "Bad Type" });
    ASSERT_EQ(s.size(), 2u); // as many as there are levels
    EXPECT_EQ(s[0].color, "#00FF00#FF00FF");
    EXPECT_EQ(s[0].level, -1);
    EXPECT_EQ(s[0].type, "");
    EXPECT_EQ(s[1].color, "");
    EXPECT_EQ(s[1].level, -1);
    s = suppliesFromMarkers({ "A" }, { "red", "#12345" }, { 10, 20 }, {});
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].color, "");
    EXPECT_EQ(s[0].type, "");
    EXPECT_TRUE(suppliesFromMarkers({}, {}, { 50 }, {}).empty());
    QStringList many;
    std::vector<int> levels;
    for (int i = 0; i < 100; ++i) {
        many << QString::number(i);
        levels.push_back(i);
    }
    EXPECT_EQ(suppliesFromMarkers(many, {}, levels, {}).size(), 32u);
    EXPECT_EQ(suppliesFromMarkers({ QString(1000, QLatin1Char('n')) }, {}, { 1 }, {})[0].name.size(), 255);
}

namespace {
QByteArray seed(const char* name)
{
    QFile file(qEnvironmentVariable("KORVANE_SOURCE_DIR") + "/tests/fuzz/corpus/queueanswers/" + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
const unsigned char* bytes(const QByteArray& data)
{
    return reinterpret_cast<const unsigned char*>(data.constData());
}
} // namespace

// Answers the scheduler gave, kept as the fuzz target's seeds.
TEST(QueueAnswers, JobsOfARealGetJobsAnswer)
{
    const QByteArray answer = seed("get-jobs");
    ASSERT_FALSE(answer.isEmpty());
    const auto jobs = jobsFromIppBytes(bytes(answer), std::size_t(answer.size()));
    ASSERT_TRUE(jobs.has_value());
    ASSERT_EQ(jobs->size(), 2u);
    EXPECT_EQ((*jobs)[0].id, 3);
    EXPECT_EQ((*jobs)[0].name, "Quarterly report");
    EXPECT_EQ((*jobs)[0].owner, "root");
    EXPECT_EQ((*jobs)[0].state, "pending");
    EXPECT_EQ((*jobs)[0].size, 1024);
    EXPECT_EQ((*jobs)[1].id, 4);
    EXPECT_EQ((*jobs)[1].name, QString::fromUtf8("报告 held"));
    EXPECT_EQ((*jobs)[1].state, "held");
    EXPECT_GT((*jobs)[1].time, 0);
}

// Asked without a user name the scheduler keeps names and owners private.
TEST(QueueAnswers, PrivateJobsHaveNoNames)
{
    const QByteArray answer = seed("get-jobs-private");
    const auto jobs = jobsFromIppBytes(bytes(answer), std::size_t(answer.size()));
    ASSERT_TRUE(jobs.has_value());
    ASSERT_EQ(jobs->size(), 2u);
    EXPECT_EQ((*jobs)[0].id, 3);
    EXPECT_EQ((*jobs)[0].name, "");
    EXPECT_EQ((*jobs)[0].owner, "");
    EXPECT_EQ((*jobs)[1].state, "held");
}

TEST(QueueAnswers, SuppliesOfARealAttributesAnswer)
{
    const QByteArray answer = seed("markers");
    const auto supplies = suppliesFromIppBytes(bytes(answer), std::size_t(answer.size()));
    ASSERT_TRUE(supplies.has_value());
    ASSERT_EQ(supplies->size(), 2u);
    EXPECT_EQ((*supplies)[0].name, "Black");
    EXPECT_EQ((*supplies)[0].color, "#000000");
    EXPECT_EQ((*supplies)[0].level, 50);
    EXPECT_EQ((*supplies)[1].name, "Cyan");
    EXPECT_EQ((*supplies)[1].color, "#00FFFF");
    EXPECT_EQ((*supplies)[1].level, 20);
    EXPECT_EQ((*supplies)[1].type, "toner");
}

TEST(QueueAnswers, NotFoundHasNothingAndACutAnswerIsNoAnswer)
{
    const QByteArray notFound = seed("not-found");
    const auto jobs = jobsFromIppBytes(bytes(notFound), std::size_t(notFound.size()));
    ASSERT_TRUE(jobs.has_value());
    EXPECT_TRUE(jobs->empty());
    const QByteArray cut = seed("cut");
    ASSERT_FALSE(cut.isEmpty());
    EXPECT_FALSE(jobsFromIppBytes(bytes(cut), std::size_t(cut.size())).has_value());
    EXPECT_FALSE(suppliesFromIppBytes(nullptr, 0).has_value());
    EXPECT_FALSE(jobsFromIppBytes(bytes(QByteArray("x")), 1).has_value());
}
