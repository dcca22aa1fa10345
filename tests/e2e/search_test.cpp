// Find printers: one search from the panel's Start button finds the USB
// printers of the device fixture, and the SNMP and DNS-SD printers of the
// simulated LAN, each once, shown with its maker and model; Stop ends a
// search.

#include "e2efixture.h"

#include "../discovery/network_lanbed.h"
#include "devicetree/umockdevbed.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

namespace e2e {
namespace {

struct Shown {
    const char* key;       // the row's data-key
    const char* printer;   // the bold name
    const char* maker;     // shown after it unless the name has it, or ""
    const char* where;     // the connection column
};

// What a user reads for the fixture's devices and the bed's agents. The
// RICOH id lacks its final ";" and the other two are unreadable ids: those
// printers are shown by what can be read, down to their address.
const Shown kExpected[] = {
    {"usb:03F0:1853", "LaserJet Pro M404-M405", "HP", "USB (03F0:1853)"},
    {"usb:04B8:1181", "ET-2810 Series", "EPSON", "USB (04B8:1181)"},
    {"usb:03F0:C511", "OfficeJet Pro 9010 series", "HP", "USB (03F0:C511)"},
    {"usb:04F9:0042", "HL-2030 series", "Brother", "USB (04F9:0042)"},
    {"usb:04A9:2771", "LBP6030/6040/6018L", "Canon", "USB (04A9:2771)"},
    {"net:10.203.7.20", "Hewlett-Packard HP Color LaserJet CP2025dn", "", "Network, 10.203.7.20"},
    {"net:10.203.7.21", "Brother HL-L2350DW series", "", "Network, 10.203.7.21"},
    {"net:10.203.7.22", "EPSON ET-2750 Series", "", "Network, 10.203.7.22"},
    {"net:10.203.7.23", "Canon MF240 Series", "", "Network, 10.203.7.23"},
    {"net:10.203.7.24", "Lexmark International Lexmark MS410dn", "", "Network, 10.203.7.24"},
    {"net:10.203.7.25", "RICOH", "", "Network, 10.203.7.25"},
    {"net:10.203.7.26", "10.203.7.26", "", "Network, 10.203.7.26"},
    {"net:10.203.7.27", "10.203.7.27", "", "Network, 10.203.7.27"},
    // DNS-SD printers; one on another port than 631 is keyed by it too.
    {"net:10.203.7.40:8631", "Brother MFC-L3770CDW series", "", "Network, 10.203.7.40"},
    {"net:10.203.7.40:8633", "Brother HL-L8360CDW", "", "Network, 10.203.7.40"},
    {"net:10.203.7.41:8632", "Canon G7000 series", "", "Network, 10.203.7.41"},
    {"net:10.203.7.46", "Xerox VersaLink C400", "", "Network, 10.203.7.46"},
};

// The DNS-SD printers beside the bed's SNMP agents (10.203.7.20 answers both
// and is one row; 10.203.7.40 holds two printers, two rows).
constexpr int kDnssdOnlyPrinters = 5;

class FindPrinters : public EndToEnd {
protected:
    FindPrinters()
    {
        EXPECT_TRUE(devices.addFixture(QStringLiteral("usb-printers.umockdev"))) << devices.error().toStdString();
        sysfsRoot = devices.sysfsRoot();
    }
    UmockdevBed devices;

    // The rows of the results table as the user reads them, by key.
    QMap<QString, QJsonObject> rows()
    {
        const QJsonArray list =
            page(QStringLiteral(
                     "Array.prototype.map.call(document.querySelectorAll('#search-results tr'), function (r) {"
                     " var maker = r.cells[0].querySelector('span.muted');"
                     " return { key: r.getAttribute('data-key'), printer: r.cells[0].querySelector('strong').textContent,"
                     " maker: maker ? maker.textContent.replace(/^ · /, '') : '', where: r.cells[1].textContent }; })"))
                .toArray();
        QMap<QString, QJsonObject> byKey;
        for (const QJsonValue& row : list) {
            const QString key = row.toObject().value(QStringLiteral("key")).toString();
            EXPECT_FALSE(byKey.contains(key)) << "shown twice: " << key.toStdString();
            byKey.insert(key, row.toObject());
        }
        return byKey;
    }
};

TEST_F(FindPrinters, aSearchFindsTheUsbAndNetworkPrintersWithMakersAndModels)
{
    showPanel(QStringLiteral("search"));
    ASSERT_TRUE(click(QStringLiteral("search-start")));
    ASSERT_TRUE(waitForPage(QStringLiteral("Korvane.search.running() === false"
                                           " && document.getElementById('search-phase').getAttribute('data-i18n') === 'phase.done'"),
                            std::chrono::seconds(120)))
        << page(QStringLiteral("document.getElementById('search-notice').textContent")).toString().toStdString();
    screenshot(QStringLiteral("search-results"));

    const QMap<QString, QJsonObject> shown = rows();
    for (const Shown& expected : kExpected) {
        SCOPED_TRACE(expected.key);
        const QJsonObject row = shown.value(QString::fromLatin1(expected.key));
        ASSERT_FALSE(row.isEmpty()) << QJsonDocument(QJsonArray::fromStringList(shown.keys())).toJson().toStdString();
        EXPECT_EQ(row.value(QStringLiteral("printer")).toString(), QString::fromUtf8(expected.printer));
        EXPECT_EQ(row.value(QStringLiteral("maker")).toString(), QString::fromUtf8(expected.maker));
        EXPECT_EQ(row.value(QStringLiteral("where")).toString(), QString::fromUtf8(expected.where));
    }
    // The bed's hosts answer ping but are no printers; nothing else is on this LAN.
    int network = 0;
    for (const QString& key : shown.keys())
        network += key.startsWith(QLatin1String("net:")) ? 1 : 0;
    const lanbed::Profile profile = lanbed::readProfile(testsupport::sourceDir() + QStringLiteral("/tests/testbeds/lan/profiles/test.lan"));
    int agents = 0;
    for (const lanbed::ProfileLine& line : profile.lines)
        agents += line.kind == lanbed::ProfileLine::Printer ? 1 : 0;
    EXPECT_EQ(network, agents + kDnssdOnlyPrinters);

    // The hostile TXT record is plain text in its row, cut to size.
    const QString evilModel = QString(60, QLatin1Char('A')) + QChar(0x2026) + QString(59, QLatin1Char('A'));
    EXPECT_EQ(shown.value(QStringLiteral("net:10.203.7.47")).value(QStringLiteral("printer")).toString(),
              QString::fromUtf8("<b>Evil</b>\uFFFD\uFFFD\"'\\ ") + evilModel);
    EXPECT_EQ(page(QStringLiteral("document.querySelectorAll('#search-results b, #search-results img').length")),
              QJsonValue(0));
    // A driverless printer needs no driver and can be added from its row.
    EXPECT_EQ(page(QStringLiteral("document.querySelector('#search-results tr[data-key=\"net:10.203.7.40:8631\"]')"
                                  ".cells[2].textContent")),
              QJsonValue(QStringLiteral("Not needed (driverless)")));
    EXPECT_EQ(page(QStringLiteral("document.querySelector('#search-results tr[data-key=\"net:10.203.7.40:8631\"]')"
                                  ".cells[3].textContent")),
              QJsonValue(QStringLiteral("Add this printer")));
    EXPECT_EQ(page(QStringLiteral("document.querySelector('#search-results tr[data-key=\"net:10.203.7.40:8631\"]"
                                  " button[data-action=\"add-printer\"]').disabled")),
              QJsonValue(false));

    EXPECT_EQ(page(QStringLiteral("document.getElementById('search-progress').value")), QJsonValue(100));
    page(QStringLiteral("document.querySelector('#search-results tr[data-key=\"net:10.203.7.20\"]').scrollIntoView()"));
    screenshot(QStringLiteral("search-network-results"));
    EXPECT_EQ(page(QStringLiteral("document.getElementById('search-count').textContent")),
              QJsonValue(QStringLiteral("Found printers (%1)").arg(shown.size())));
    EXPECT_EQ(page(QStringLiteral("document.getElementById('search-start').disabled")), QJsonValue(false));
}

TEST_F(FindPrinters, stopEndsASearchAndSaysSo)
{
    showPanel(QStringLiteral("search"));
    ASSERT_TRUE(click(QStringLiteral("search-start")));
    ASSERT_TRUE(click(QStringLiteral("search-stop")));
    ASSERT_TRUE(waitForPage(QStringLiteral("Korvane.search.running() === false"), std::chrono::seconds(120)));
    EXPECT_EQ(page(QStringLiteral("document.getElementById('search-phase').getAttribute('data-i18n')")),
              QJsonValue(QStringLiteral("phase.stopped")));
    EXPECT_EQ(page(QStringLiteral("document.getElementById('search-start').disabled")), QJsonValue(false));
    screenshot(QStringLiteral("search-stopped"));
}

}  // namespace
}  // namespace e2e
