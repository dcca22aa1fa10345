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

// printer-supply as ippeveprinter and IPP Everywhere printers report it.
TEST(PrinterSupply, ReadsIppEveprinterValues)
{
    const std::vector<Supply> s = suppliesFromPrinterSupply(
        { "index=1;class=receptacleThatIsFilled;type=wasteToner;unit=percent;maxcapacity=100;level=25;"
          "colorantname=unknown;",
            "index=2;class=supplyThatIsConsumed;type=toner;unit=percent;maxcapacity=100;level=75;"
            "colorantname=black;" },
        { "Toner Waste Tank", "Black Toner" });
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0].name, "Toner Waste Tank");
    EXPECT_EQ(s[0].color, "");
    EXPECT_EQ(s[0].level, 25);
    EXPECT_EQ(s[0].type, "waste-toner");
    EXPECT_EQ(s[1].name, "Black Toner");
    EXPECT_EQ(s[1].color, "#000000");
    EXPECT_EQ(s[1].level, 75);
    EXPECT_EQ(s[1].type, "toner");
}

TEST(PrinterSupply, NamesAndColoursWithoutDescriptions)
{
    const std::vector<Supply> s = suppliesFromPrinterSupply(
        { "type=ink;maxcapacity=200;level=50;colorantname=lightCyan;", "type=ink;maxcapacity=10;level=3;colorantname=light-magenta;",
            "type=toner;level=5;colorantname=Grey;", "type=wasteInk;level=-2;colorantname=unknown;",
            "type=ink;colorantname=chartreuse;maxcapacity=3;level=1" },
        { "" });
    ASSERT_EQ(s.size(), 5u);
    EXPECT_EQ(s[0].name, "light-cyan");
    EXPECT_EQ(s[0].color, "#E0FFFF");
    EXPECT_EQ(s[0].level, 25);
    EXPECT_EQ(s[1].color, "#FF77FF");
    EXPECT_EQ(s[1].level, 30);
    EXPECT_EQ(s[2].name, "grey");
    EXPECT_EQ(s[2].color, "#808080");
    EXPECT_EQ(s[2].level, -1); // no capacity and no unit: unknown
    EXPECT_EQ(s[3].name, "waste-ink");
    EXPECT_EQ(s[3].level, -2);
    EXPECT_EQ(s[4].name, "chartreuse");
    EXPECT_EQ(s[4].color, "");
    EXPECT_EQ(s[4].level, 33);
}

TEST(PrinterSupply, CapacityZeroNegativeLevelsAndMalformedPairs)
{
    const std::vector<Supply> s = suppliesFromPrinterSupply(
        { "type=toner;maxcapacity=0;level=40;colorantname=cyan;", "type=toner;maxcapacity=100;level=-1;",
            "type=toner;maxcapacity=100;level=-3;", "type=toner;maxcapacity=100;level=-4;",
            "type=toner;unit=percent;level=250;", "type=toner;maxcapacity=-2;level=10;",
            "garbage;=x;level;;type=Bad Type!;level=12a;colorantname", "type=toner;maxcapacity=100;level=180;",
            "type=toner;maxcapacity=99999999999;level=99999999999;", "" },
        {});
    ASSERT_EQ(s.size(), 10u);
    EXPECT_EQ(s[0].level, -1);
    EXPECT_EQ(s[0].color, "#00FFFF");
    EXPECT_EQ(s[1].level, -1);
    EXPECT_EQ(s[2].level, -3);
    EXPECT_EQ(s[3].level, -1);
    EXPECT_EQ(s[4].level, 100);
    EXPECT_EQ(s[5].level, -1);
    EXPECT_EQ(s[6].level, -1);
    EXPECT_EQ(s[6].type, "");
    EXPECT_EQ(s[6].name, "");
    EXPECT_EQ(s[6].color, "");
    EXPECT_EQ(s[7].level, 100);
    EXPECT_EQ(s[8].level, -1); // numbers of more than ten characters are not read
    EXPECT_EQ(s[9].level, -1);
}

TEST(PrinterSupply, BoundedInCountAndSize)
{
    std::vector<QByteArray> many(40, QByteArray("type=toner;maxcapacity=100;level=10;"));
    EXPECT_EQ(suppliesFromPrinterSupply(many, {}).size(), 32u);
    const QByteArray longValue = "type=toner;level=10;unit=percent;" + QByteArray(1000, 'x');
    const std::vector<Supply> s = suppliesFromPrinterSupply({ longValue, "type=ink;" }, { QString(300, 'n'), "Ink" });
    ASSERT_EQ(s.size(), 1u); // the value over 1023 bytes is skipped
    EXPECT_EQ(s[0].name, "Ink");
    const std::vector<Supply> t = suppliesFromPrinterSupply({ "type=ink;" }, { QString(300, 'n') });
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0].name.size(), 255);
}

TEST(QueueAnswers, SuppliesOfARealPrinterAnswer)
{
    const QByteArray answer = seed("printer-supply");
    const auto supplies = printerSuppliesFromIppBytes(bytes(answer), std::size_t(answer.size()));
    ASSERT_TRUE(supplies.has_value());
    ASSERT_EQ(supplies->size(), 2u);
    EXPECT_EQ((*supplies)[0].name, "Toner Waste Tank");
    EXPECT_EQ((*supplies)[0].type, "waste-toner");
    EXPECT_EQ((*supplies)[0].level, 25);
    EXPECT_EQ((*supplies)[1].name, "Black Toner");
    EXPECT_EQ((*supplies)[1].color, "#000000");
    EXPECT_EQ((*supplies)[1].level, 75);
    // A scheduler's answer holds no printer-supply.
    const QByteArray markers = seed("markers");
    const auto none = printerSuppliesFromIppBytes(bytes(markers), std::size_t(markers.size()));
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->empty());
    const QByteArray odd = seed("printer-supply-odd");
    const auto oddSupplies = printerSuppliesFromIppBytes(bytes(odd), std::size_t(odd.size()));
    ASSERT_TRUE(oddSupplies.has_value());
    ASSERT_EQ(oddSupplies->size(), 5u);
    EXPECT_EQ((*oddSupplies)[0].name, "Light Cyan");
    EXPECT_EQ((*oddSupplies)[0].level, 25);
    EXPECT_EQ((*oddSupplies)[1].name, "magenta");
    EXPECT_EQ((*oddSupplies)[1].level, -1);
    EXPECT_EQ((*oddSupplies)[2].level, -3);
    EXPECT_EQ((*oddSupplies)[3].name, "photo-black");
    EXPECT_EQ((*oddSupplies)[3].color, "#000000");
    EXPECT_EQ((*oddSupplies)[4].level, 100);
}
