// From "Find printers" to a printed test page on a USB printer: the search
// finds the device fixture's HP laser (usblp bound, no queue), "Add this
// printer" makes a queue for the usb:// URI the scheduler's usb backend lists
// for its serial number, with the installed driver for its 1284 id, and the
// test page arrives where the stand-in usb backend keeps what it is sent.

#include "e2efixture.h"

#include "devicetree/umockdevbed.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>

namespace e2e {
namespace {

const char kRow[] = "#search-results tr[data-key=\"usb:03F0:1853\"]";

class AddUsbPrinter : public EndToEnd {
protected:
    AddUsbPrinter()
    {
        bed = Bed::Usb;
        EXPECT_TRUE(devices.addFixture(QStringLiteral("usb-printers.umockdev"))) << devices.error().toStdString();
        sysfsRoot = devices.sysfsRoot();
    }
    UmockdevBed devices;
    // No ipp-usb here: the scheduler's list decides.
    testsupport::ScopedEnv noIppUsb { "KORVANE_IPP_USB_URI", "none" };

    QString queueFor(const QString& uri)
    {
        return testsupport::queueDevices(cupsClient(Bed::Usb, QStringLiteral("lpstat"), {QStringLiteral("-v")})).key(uri);
    }

    QString rowCell(int cell)
    {
        return page(QStringLiteral("document.querySelector(%1).cells[%2].textContent")
                        .arg(jsString(QLatin1String(kRow)))
                        .arg(cell))
            .toString();
    }
};

TEST_F(AddUsbPrinter, aFoundUsbPrinterIsAddedAndPrintsItsTestPage)
{
    const QString uri = QStringLiteral("usb://HP/LaserJet%20Pro%20M404-M405?serial=PHB1234567");
    const QDir output(bedDir(Bed::Usb) + QStringLiteral("/usb-output"));
    ASSERT_TRUE(queueFor(uri).isEmpty());
    showPanel(QStringLiteral("search"));
    ASSERT_TRUE(click(QStringLiteral("search-start")));
    ASSERT_TRUE(waitForPage(
        QStringLiteral("Korvane.search.running() === false"
                       " && document.getElementById('search-phase').getAttribute('data-i18n') === 'phase.done'"),
        std::chrono::seconds(120)));
    EXPECT_EQ(rowCell(2), QStringLiteral("Connected, not set up"));
    ASSERT_TRUE(clickSelector(QLatin1String(kRow) + QStringLiteral(" button[data-action=\"add-printer\"]")));
    ASSERT_TRUE(
        waitForPage(QStringLiteral("!!document.querySelector('#search-notice button[data-action=\"test-page\"]')")))
        << page(QStringLiteral("document.getElementById('search-notice').textContent")).toString().toStdString();

    const QString name = queueFor(uri);
    ASSERT_EQ(name, QStringLiteral("HP_LaserJet_Pro_M404-M405"));
    EXPECT_EQ(page(QStringLiteral("document.getElementById('search-notice').textContent")),
        QJsonValue(QStringLiteral("The printer was added as %1. Print a test page").arg(name)));
    EXPECT_EQ(rowCell(2), QStringLiteral("Installed"));
    EXPECT_EQ(rowCell(3), QStringLiteral("Added as %1. Watch set-up").arg(name));
    const QString options = cupsClient(Bed::Usb, QStringLiteral("lpoptions"), { QStringLiteral("-p"), name });
    EXPECT_TRUE(options.contains(QStringLiteral("printer-make-and-model='HP LaserJet Pro M404-M405 (test bed)'")))
        << options.toStdString();
    EXPECT_TRUE(options.contains(QStringLiteral("printer-is-accepting-jobs=true"))) << options.toStdString();
    // A found name of one long word (the hostile DNS-SD row) breaks inside
    // its cell instead of pushing the other columns out of the window.
    EXPECT_EQ(
        page(QStringLiteral("(function (t, w) { return t.offsetWidth <= w ? 'fits' : t.offsetWidth + ' > ' + w; })"
                            "(document.getElementById('search-table'),"
                            " document.getElementById('search-table').parentElement.clientWidth)"))
            .toString(),
        QStringLiteral("fits"));
    page(QStringLiteral("document.querySelector(%1).scrollIntoView({ block: 'center', inline: 'start' })")
             .arg(jsString(QLatin1String(kRow))));
    screenshot(QStringLiteral("add-usb-printer-added"));

    const int before = int(output.entryList(QDir::Files).size());
    ASSERT_TRUE(clickSelector(QStringLiteral("#search-notice button[data-action=\"test-page\"]")));
    EXPECT_TRUE(
        testsupport::waitFor([&] { return int(output.entryList(QDir::Files).size()) == before + 1; }, kPageWait));
    EXPECT_EQ(page(QStringLiteral("document.getElementById('search-notice').textContent")),
        QJsonValue(QStringLiteral("A test page was sent to %1.").arg(name)));
    // The driver is a PostScript one: the backend got the page as PostScript.
    const QStringList jobs = output.entryList(QDir::Files, QDir::Time);
    ASSERT_FALSE(jobs.isEmpty());
    QFile job(output.filePath(jobs.first()));
    ASSERT_TRUE(job.open(QIODevice::ReadOnly));
    EXPECT_EQ(job.read(14), QByteArray("%!PS-Adobe-3.0"));

    // The printers panel learns of the queue from the change monitor.
    showPanel(QStringLiteral("printers"));
    EXPECT_TRUE(waitForPage(
        QStringLiteral("!!document.querySelector('article.printer[data-printer=%1]')").arg(jsString(name))));
    cupsClient(Bed::Usb, QStringLiteral("lpadmin"), { QStringLiteral("-x"), name });
}

} // namespace
} // namespace e2e
