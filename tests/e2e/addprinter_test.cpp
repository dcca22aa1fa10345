// From "Find printers" to a printed test page: the search finds the LAN's
// IPP Everywhere printer (ippeveprinter announced over DNS-SD), "Add this
// printer" makes a driverless queue at a scheduler in the scanner namespace,
// the printer list shows it with the printer's supplies, and its test page
// lands in the printer's output folder. Then the same by address.

#include "e2efixture.h"

#include <QDir>

namespace e2e {
namespace {

// The output folder of one of the DNS-SD bed's printers.
QDir spoolOf(const char* printer)
{
    return QDir(qEnvironmentVariable("KORVANE_LAN_DIR") + QStringLiteral("/dnssd/printers/") +
                QString::fromLatin1(printer) + QStringLiteral("/spool"));
}

int filesIn(const QDir& dir)
{
    return int(dir.entryList(QDir::Files).size());
}

class AddPrinter : public EndToEnd {
protected:
    AddPrinter() { bed = Bed::Scan; }

    // The queue whose device is the URI, from lpstat -v; empty when none.
    QString queueFor(const QString& uri)
    {
        return testsupport::queueDevices(cupsClient(Bed::Scan, QStringLiteral("lpstat"), {QStringLiteral("-v")})).key(uri);
    }

    bool printTestPageFrom(const QString& area, const QDir& spool)
    {
        const int before = filesIn(spool);
        if (!clickSelector(QStringLiteral("#%1 button[data-action=\"test-page\"]").arg(area)))
            return false;
        return testsupport::waitFor([&] { return filesIn(spool) == before + 1; }, kPageWait);
    }
};

TEST_F(AddPrinter, aFoundDriverlessPrinterIsAddedAndPrintsItsTestPage)
{
    const QString uri = QStringLiteral("ipp://10.203.7.40:8631/ipp/print");
    ASSERT_TRUE(queueFor(uri).isEmpty());
    showPanel(QStringLiteral("search"));
    ASSERT_TRUE(click(QStringLiteral("search-start")));
    ASSERT_TRUE(waitForPage(QStringLiteral("Korvane.search.running() === false"
                                           " && document.getElementById('search-phase').getAttribute('data-i18n') === 'phase.done'"),
                            std::chrono::seconds(120)));
    ASSERT_TRUE(clickSelector(QStringLiteral(
        "#search-results tr[data-key=\"net:10.203.7.40:8631\"] button[data-action=\"add-printer\"]")));
    ASSERT_TRUE(waitForPage(QStringLiteral("!!document.querySelector('#search-notice button[data-action=\"test-page\"]')")))
        << page(QStringLiteral("document.getElementById('search-notice').textContent")).toString().toStdString();

    const QString name = queueFor(uri);
    ASSERT_FALSE(name.isEmpty());
    EXPECT_EQ(page(QStringLiteral("document.getElementById('search-notice').textContent.indexOf(%1) >= 0")
                       .arg(jsString(QStringLiteral("The printer was added as ") + name + QLatin1Char('.')))),
              QJsonValue(true));
    EXPECT_EQ(page(QStringLiteral("document.querySelector('#search-results tr[data-key=\"net:10.203.7.40:8631\"]')"
                                  ".cells[3].textContent")),
              QJsonValue(QStringLiteral("Added as %1.").arg(name)));
    const QString options = cupsClient(Bed::Scan, QStringLiteral("lpoptions"), {QStringLiteral("-p"), name});
    EXPECT_TRUE(options.contains(QStringLiteral("IPP Everywhere"))) << options.toStdString();
    EXPECT_TRUE(options.contains(QStringLiteral("printer-is-accepting-jobs=true"))) << options.toStdString();
    screenshot(QStringLiteral("add-printer-added"));

    EXPECT_TRUE(printTestPageFrom(QStringLiteral("search-notice"), spoolOf("brother")));
    EXPECT_EQ(page(QStringLiteral("document.getElementById('search-notice').textContent")),
              QJsonValue(QStringLiteral("A test page was sent to %1.").arg(name)));

    // The printers panel learns of the queue from the change monitor.
    showPanel(QStringLiteral("printers"));
    EXPECT_TRUE(waitForPage(QStringLiteral("!!document.querySelector('article.printer[data-printer=%1]')")
                                .arg(jsString(name))));
    // Its supply bars are the printer's own: the scheduler passes on no
    // marker values for a driverless queue, so they are asked of the printer.
    const QString bars = QStringLiteral(
        "Array.from(document.querySelectorAll('ul.supplies[data-printer=%1] li.supply')).map(function (li) {"
        " return li.getAttribute('data-supply') + ' ' + li.querySelector('.bar').getAttribute('aria-valuenow'); })"
        ".join('|')").arg(jsString(name));
    EXPECT_TRUE(waitForPage(bars + QStringLiteral(" === 'Toner Waste Tank 25|Black Toner 75'")))
        << page(bars).toString().toStdString();
    screenshot(QStringLiteral("add-printer-supplies"));
    cupsClient(Bed::Scan, QStringLiteral("lpadmin"), {QStringLiteral("-x"), name});
}

TEST_F(AddPrinter, byAddressThePrinterIsAskedShownAndAdded)
{
    // 10.203.7.20 is an SNMP printer with ippeveprinter on its port 631.
    const QString uri = QStringLiteral("ipp://10.203.7.20:631/ipp/print");
    showPanel(QStringLiteral("search"));
    page(QStringLiteral("document.getElementById('probe-host').value = '10.203.7.20'"));
    ASSERT_TRUE(click(QStringLiteral("probe-go")));
    ASSERT_TRUE(waitForPage(QStringLiteral("!!document.querySelector('#probe-notice button[data-action=\"add-printer\"]')")))
        << page(QStringLiteral("document.getElementById('probe-notice').textContent")).toString().toStdString();
    EXPECT_EQ(page(QStringLiteral("document.getElementById('probe-notice').textContent")).toString(),
              QStringLiteral("10.203.7.20 is Hewlett-Packard HP Color LaserJet CP2025dn; it prints without a driver of its own."
                             " Add this printer"));
    screenshot(QStringLiteral("add-printer-by-address"));
    ASSERT_TRUE(clickSelector(QStringLiteral("#probe-notice button[data-action=\"add-printer\"]")));
    ASSERT_TRUE(waitForPage(QStringLiteral("!!document.querySelector('#probe-notice button[data-action=\"test-page\"]')")))
        << page(QStringLiteral("document.getElementById('probe-notice').textContent")).toString().toStdString();
    const QString name = queueFor(uri);
    ASSERT_FALSE(name.isEmpty());
    EXPECT_TRUE(cupsClient(Bed::Scan, QStringLiteral("lpoptions"), {QStringLiteral("-p"), name})
                    .contains(QStringLiteral("IPP Everywhere")));
    EXPECT_TRUE(printTestPageFrom(QStringLiteral("probe-notice"), spoolOf("hp")));
    cupsClient(Bed::Scan, QStringLiteral("lpadmin"), {QStringLiteral("-x"), name});
}

}  // namespace
}  // namespace e2e
