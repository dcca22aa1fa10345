// Printers panel: the bed's sample queues as a user sees them, a test page
// that reaches its queue, sharing and default marks changed from the panel,
// and the list following the scheduler's change reports, also for a change
// made by another program. Also the README's screenshot.

#include "e2efixture.h"

#include "mainwindow/mainblkwindow.h"

#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QWidget>

namespace e2e {
namespace {

const QStringList kSampleQueues = {QStringLiteral("alerts"), QStringLiteral("colorps"), QStringLiteral("inkjet"),
                                   QStringLiteral("laser"),  QStringLiteral("netipp"),  QStringLiteral("office"),
                                   QStringLiteral("raw"),    QStringLiteral("stopped")};

class PrintersPanel : public EndToEnd {
protected:
    void SetUp() override
    {
        EndToEnd::SetUp();
        if (HasFatalFailure())
            return;
        showPanel(QStringLiteral("printers"));
        ASSERT_TRUE(waitForPage(QStringLiteral("Korvane.printers.loaded() && document.querySelectorAll("
                                               "'#printers-list article.printer').length >= %1")
                                    .arg(kSampleQueues.size())));
    }

    // One printer card as a user reads it: its tags, status, jobs line and
    // the buttons it offers.
    QJsonObject card(const QString& printer)
    {
        return page(QStringLiteral(
                        "(function () { var c = document.querySelector('#printers-list article[data-printer=\"%1\"]');"
                        " if (!c) return {};"
                        " var texts = function (s) { return Array.prototype.map.call(c.querySelectorAll(s),"
                        " function (n) { return n.textContent; }); };"
                        " return { tags: texts('.tags .tag'), status: c.querySelector('.status').textContent,"
                        " jobs: c.querySelector('.jobs').textContent,"
                        " actions: Array.prototype.map.call(c.querySelectorAll('.actions button'),"
                        " function (b) { return b.getAttribute('data-action') + ':' + b.textContent; }) }; })()")
                        .arg(printer))
            .toObject();
    }
    QStringList tags(const QString& printer)
    {
        QStringList list;
        for (const QJsonValue& tag : card(printer).value(QStringLiteral("tags")).toArray())
            list << tag.toString();
        return list;
    }
    QString noticeText() { return page(QStringLiteral("document.getElementById('printers-notice').textContent")).toString(); }
    bool clickAction(const QString& action, const QString& printer)
    {
        return clickSelector(QStringLiteral("#printers-list button[data-action=\"%1\"][data-printer=\"%2\"]").arg(action, printer));
    }
    bool waitForTag(const QString& printer, const QString& tag, bool present)
    {
        return testsupport::waitFor([&] { return tags(printer).contains(tag) == present; }, kPageWait);
    }
    // Jobs the scheduler has for a queue, finished ones included.
    int jobsInScheduler(const QString& queue)
    {
        const QString listing = cupsClient(bed, QStringLiteral("lpstat"), {QStringLiteral("-W"), QStringLiteral("all"), QStringLiteral("-o"), queue});
        return int(listing.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size());
    }
};

int waitingJobs(const QString& jobsLine)
{
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("^(\\d+) document")).match(jobsLine);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

TEST_F(PrintersPanel, theListShowsTheSampleQueuesAndATestPageReachesItsQueue)
{
    const QJsonArray names = page(QStringLiteral("Array.prototype.map.call(document.querySelectorAll("
                                                 "'#printers-list article.printer'), function (c) { return c.getAttribute('data-printer'); })"))
                                 .toArray();
    QStringList shown;
    for (const QJsonValue& name : names)
        shown << name.toString();
    shown.sort();
    EXPECT_EQ(shown, kSampleQueues);
    EXPECT_EQ(page(QStringLiteral("document.getElementById('printers-count').textContent")),
              QJsonValue(QStringLiteral("(%1)").arg(kSampleQueues.size())));

    EXPECT_TRUE(tags(QStringLiteral("laser")).contains(QStringLiteral("Default")));
    EXPECT_TRUE(tags(QStringLiteral("laser")).contains(QStringLiteral("Shared")));
    EXPECT_FALSE(tags(QStringLiteral("inkjet")).contains(QStringLiteral("Default")));
    // The scheduler's class is marked as one; printers are not.
    EXPECT_TRUE(tags(QStringLiteral("office")).contains(QStringLiteral("Printer class")));
    EXPECT_FALSE(tags(QStringLiteral("laser")).contains(QStringLiteral("Printer class")));
    const QJsonObject stopped = card(QStringLiteral("stopped"));
    EXPECT_TRUE(stopped.value(QStringLiteral("status")).toString().contains(QStringLiteral("Paused")))
        << QJsonDocument(stopped).toJson().toStdString();
    const int waiting = waitingJobs(stopped.value(QStringLiteral("jobs")).toString());
    EXPECT_GE(waiting, 2) << "the bed holds a pending and a held job";
    const QString alerts = card(QStringLiteral("alerts")).value(QStringLiteral("status")).toString();
    EXPECT_TRUE(alerts.contains(QStringLiteral("Out of paper"))) << alerts.toStdString();
    EXPECT_EQ(card(QStringLiteral("raw")).value(QStringLiteral("jobs")), QJsonValue(QStringLiteral("No documents waiting.")));
    screenshot(QStringLiteral("printers-list"));

    // A test page on a working queue: the scheduler gets the job.
    const int before = jobsInScheduler(QStringLiteral("laser"));
    ASSERT_TRUE(clickAction(QStringLiteral("printTestPage"), QStringLiteral("laser")));
    ASSERT_TRUE(testsupport::waitFor([&] { return noticeText().contains(QStringLiteral("A test page was sent to “laser”.")); },
                                     kPageWait))
        << noticeText().toStdString();
    EXPECT_TRUE(testsupport::waitFor([&] { return jobsInScheduler(QStringLiteral("laser")) > before; }, kPageWait));

    // On the stopped queue the page stays there, and the card counts it as
    // soon as the scheduler reports the new job.
    ASSERT_TRUE(clickAction(QStringLiteral("printTestPage"), QStringLiteral("stopped")));
    EXPECT_TRUE(testsupport::waitFor(
        [&] { return waitingJobs(card(QStringLiteral("stopped")).value(QStringLiteral("jobs")).toString()) == waiting + 1; },
        kPageWait))
        << card(QStringLiteral("stopped")).value(QStringLiteral("jobs")).toString().toStdString();
    screenshot(QStringLiteral("printers-test-page"));
}

TEST_F(PrintersPanel, sharingAndDefaultMarksChangeFromThePanel)
{
    const QString inkjet = QStringLiteral("inkjet");
    const bool wasShared = tags(inkjet).contains(QStringLiteral("Shared"));
    const int reportsBefore = callbacksOf(QStringLiteral("notifyPrinterChangeByCpp"));

    ASSERT_TRUE(clickAction(QStringLiteral("sharePrinter"), inkjet));
    EXPECT_TRUE(testsupport::waitFor(
        [&] {
            return noticeText().contains(wasShared ? QStringLiteral("“inkjet” is no longer shared.")
                                                   : QStringLiteral("“inkjet” is now shared with the network."));
        },
        kPageWait))
        << noticeText().toStdString();
    EXPECT_TRUE(waitForTag(inkjet, QStringLiteral("Shared"), !wasShared));
    // The scheduler's change report reached the page.
    EXPECT_TRUE(testsupport::waitFor(
        [&] { return callbacksOf(QStringLiteral("notifyPrinterChangeByCpp")) > reportsBefore; }, kPageWait));
    EXPECT_EQ(cupsClient(bed, QStringLiteral("lpoptions"), {QStringLiteral("-p"), inkjet})
                  .contains(wasShared ? QStringLiteral("printer-is-shared=false") : QStringLiteral("printer-is-shared=true")),
              true);
    screenshot(QStringLiteral("printers-shared"));

    // The same button puts it back.
    ASSERT_TRUE(clickAction(QStringLiteral("sharePrinter"), inkjet));
    EXPECT_TRUE(waitForTag(inkjet, QStringLiteral("Shared"), wasShared));

    // Default: the user's own choice, kept where the CUPS commands read it.
    const QString colorps = QStringLiteral("colorps");
    ASSERT_TRUE(clickAction(QStringLiteral("setDefaultPrinter"), colorps));
    EXPECT_TRUE(testsupport::waitFor(
        [&] { return noticeText().contains(QStringLiteral("“colorps” is now the default printer.")); }, kPageWait))
        << noticeText().toStdString();
    EXPECT_TRUE(waitForTag(colorps, QStringLiteral("Default"), true));
    EXPECT_TRUE(waitForTag(QStringLiteral("laser"), QStringLiteral("Default"), false));
    // A default printer offers no "Make default"; the old one does again.
    EXPECT_FALSE(clickAction(QStringLiteral("setDefaultPrinter"), colorps));
    EXPECT_TRUE(page(QStringLiteral("!!document.querySelector('#printers-list button[data-action=\"setDefaultPrinter\"]"
                                    "[data-printer=\"laser\"]')"))
                    .toBool());
    EXPECT_TRUE(QString::fromUtf8(testsupport::readFile(home + QStringLiteral("/.cups/lpoptions")))
                    .contains(QStringLiteral("Default colorps")));
    screenshot(QStringLiteral("printers-default"));
}

TEST_F(PrintersPanel, aChangeByAnotherProgramReachesTheListFromTheMonitor)
{
    const QString raw = QStringLiteral("raw");
    const bool wasShared = tags(raw).contains(QStringLiteral("Shared"));
    const int reportsBefore = callbacksOf(QStringLiteral("notifyPrinterChangeByCpp"));
    const auto setShared = [this, &raw](bool on) {
        int code = -1;
        const QString output = cupsClient(bed, QStringLiteral("lpadmin"),
                                          {QStringLiteral("-p"), raw, QStringLiteral("-o"),
                                           on ? QStringLiteral("printer-is-shared=true") : QStringLiteral("printer-is-shared=false")},
                                          &code);
        EXPECT_EQ(code, 0) << output.toStdString();
    };

    // Nothing on the page asks: only the monitor can bring the change.
    setShared(!wasShared);
    EXPECT_TRUE(waitForTag(raw, QStringLiteral("Shared"), !wasShared));
    EXPECT_GT(callbacksOf(QStringLiteral("notifyPrinterChangeByCpp")), reportsBefore);
    screenshot(QStringLiteral("printers-monitor"));
    setShared(wasShared);
    EXPECT_TRUE(waitForTag(raw, QStringLiteral("Shared"), wasShared));
}

// The picture of the main window in the README.
// "Add" tells the truth: with no printer tool and no xdg-open on the PATH it
// says nothing could be opened; with a stand-in printer tool it opens that.
TEST_F(PrintersPanel, addPrinterSaysWhetherAnythingCouldBeOpened)
{
    QTemporaryDir tools;
    ASSERT_TRUE(tools.isValid());
    const QString notice = QStringLiteral("document.getElementById('printers-notice').textContent");
    {
        testsupport::ScopedEnv path("PATH", tools.path().toUtf8());
        ASSERT_TRUE(click(QStringLiteral("add-printer-go")));
        ASSERT_TRUE(waitForPage(QStringLiteral("!!document.querySelector('#printers-notice .notice.error')")))
            << page(notice).toString().toStdString();
        const QString said = page(notice).toString();
        EXPECT_TRUE(said.startsWith(QStringLiteral("Nothing could be opened"))) << said.toStdString();
        EXPECT_FALSE(said.contains(QStringLiteral("is opening"))) << said.toStdString();
        EXPECT_FALSE(said.contains(QStringLiteral("reinstall"))) << said.toStdString();
        screenshot(QStringLiteral("add-printer-no-tool"));
    }
    const QString marker = tools.filePath(QStringLiteral("ran"));
    const QString tool = tools.filePath(QStringLiteral("system-config-printer"));
    ASSERT_TRUE(testsupport::writeFile(tool, "#!/bin/sh\necho \"$#\" > '" + marker.toUtf8() + "'\n"));
    ASSERT_TRUE(QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    testsupport::ScopedEnv path("PATH", tools.path().toUtf8() + ":/usr/bin:/bin");
    ASSERT_TRUE(click(QStringLiteral("add-printer-go")));
    ASSERT_TRUE(waitForPage(QStringLiteral("!!document.querySelector('#printers-notice .notice.ok')")))
        << page(notice).toString().toStdString();
    EXPECT_TRUE(page(notice).toString().contains(QStringLiteral("add-printer window is opening")));
    ASSERT_TRUE(testsupport::waitFor([&] { return QFile::exists(marker); }, std::chrono::seconds(20)));
    EXPECT_EQ(testsupport::readFile(marker).trimmed(), QByteArray("0"));
}

TEST_F(PrintersPanel, readmeScreenshot)
{
    // As a user first sees it: scrolled to the top, nothing focused.
    page(QStringLiteral("(function () { document.activeElement.blur(); window.scrollTo(0, 0); return true; })()"));
    const QString path = screenshot(QStringLiteral("readme-printers"));
    const QImage shot(path);
    EXPECT_EQ(shot.size(), QSize(1000, 600) * window->hostWindow()->devicePixelRatioF());
}

}  // namespace
}  // namespace e2e
