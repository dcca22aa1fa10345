// Managing a queue from its printer card in the real engine: pause and
// resume, the documents waiting with one of them cancelled and a held one
// released, refusing and taking documents, the description and location
// edited, and supply levels; each checked at the scheduler.

#include "e2efixture.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

namespace e2e {
namespace {

class QueueManagement : public EndToEnd {
protected:
    void SetUp() override
    {
        EndToEnd::SetUp();
        if (HasFatalFailure())
            return;
        showPanel(QStringLiteral("printers"));
        ASSERT_TRUE(
            waitForPage(QStringLiteral("Korvane.printers.loaded() && "
                                       "!!document.querySelector('#printers-list article[data-printer=\"raw\"]')")));
    }

    QString cardText(const QString& printer)
    {
        return page(QStringLiteral(
                        "(function () { var c = document.querySelector('#printers-list article[data-printer=\"%1\"]');"
                        " return c ? c.textContent : ''; })()")
                        .arg(printer))
            .toString();
    }
    bool clickIn(const QString& printer, const QString& selector)
    {
        return clickSelector(QStringLiteral("#printers-list article[data-printer=\"%1\"] %2").arg(printer, selector));
    }
    bool hasButton(const QString& printer, const QString& action)
    {
        return page(QStringLiteral("!!document.querySelector('#printers-list article[data-printer=\"%1\"] "
                                   "button[data-action=\"%2\"]')")
                        .arg(printer, action))
            .toBool();
    }
    QString noticeText()
    {
        return page(QStringLiteral("document.getElementById('printers-notice').textContent")).toString();
    }
    // The job ids of the rows in the card's document list.
    QStringList rows(const QString& printer)
    {
        QStringList ids;
        const QJsonArray list = page(QStringLiteral("Array.prototype.map.call(document.querySelectorAll("
                                                    "'#printers-list article[data-printer=\"%1\"] tr[data-job]'),"
                                                    " function (r) { return r.getAttribute('data-job'); })")
                                         .arg(printer))
                                    .toArray();
        for (const QJsonValue& id : list)
            ids << id.toString();
        return ids;
    }
    int submit(const QString& queue, const QString& title, const QStringList& extra = {})
    {
        int code = -1;
        const QString out = cupsClient(bed, QStringLiteral("lp"),
            QStringList { QStringLiteral("-d"), queue, QStringLiteral("-t"), title } + extra
                + QStringList { QStringLiteral("/etc/hostname") },
            &code);
        EXPECT_EQ(code, 0) << out.toStdString();
        const int at = out.indexOf(queue + QLatin1Char('-'));
        return at < 0 ? 0 : out.mid(at + queue.size() + 1).section(QLatin1Char(' '), 0, 0).toInt();
    }
    bool schedulerSays(const QString& program, const QStringList& args, const QString& text)
    {
        return testsupport::waitFor([&] { return cupsClient(bed, program, args).contains(text); }, kPageWait);
    }
};

TEST_F(QueueManagement, pauseResumeAndCancelOneDocument)
{
    const QString raw = QStringLiteral("raw");
    ASSERT_TRUE(hasButton(raw, QStringLiteral("pausePrinter")));
    ASSERT_TRUE(clickIn(raw, QStringLiteral("button[data-action=\"pausePrinter\"]")));
    EXPECT_TRUE(
        testsupport::waitFor([&] { return noticeText().contains(QStringLiteral("“raw” is paused")); }, kPageWait))
        << noticeText().toStdString();
    EXPECT_TRUE(schedulerSays(QStringLiteral("lpstat"), { QStringLiteral("-p"), raw }, QStringLiteral("disabled")));
    // The change report turns the card to "Paused" with a Resume button.
    ASSERT_TRUE(testsupport::waitFor([&] { return hasButton(raw, QStringLiteral("resumePrinter")); }, kPageWait));
    EXPECT_TRUE(cardText(raw).contains(QStringLiteral("Paused")));

    const int first = submit(raw, QStringLiteral("Quarterly report"));
    const int second = submit(raw, QStringLiteral("Holiday photos"));
    ASSERT_GT(first, 0);
    ASSERT_GT(second, first);
    ASSERT_TRUE(clickIn(raw, QStringLiteral("button[data-action=\"getPrinterJobs\"]")));
    const QStringList both = { QString::number(first), QString::number(second) };
    ASSERT_TRUE(testsupport::waitFor([&] { return rows(raw) == both; }, kPageWait))
        << rows(raw).join(',').toStdString();
    EXPECT_TRUE(cardText(raw).contains(QStringLiteral("Quarterly report")));
    screenshot(QStringLiteral("queue-paused-jobs"));

    ASSERT_TRUE(
        clickIn(raw, QStringLiteral("tr[data-job=\"%1\"] button[data-action=\"cancelPrinterJob\"]").arg(second)));
    EXPECT_TRUE(testsupport::waitFor([&] { return rows(raw) == QStringList { QString::number(first) }; }, kPageWait))
        << rows(raw).join(',').toStdString();
    EXPECT_TRUE(noticeText().contains(QStringLiteral("“Holiday photos” was cancelled on “raw”.")))
        << noticeText().toStdString();
    const QString left = cupsClient(bed, QStringLiteral("lpstat"), { QStringLiteral("-o"), raw });
    EXPECT_TRUE(left.contains(QStringLiteral("raw-%1 ").arg(first))) << left.toStdString();
    EXPECT_FALSE(left.contains(QStringLiteral("raw-%1 ").arg(second))) << left.toStdString();
    screenshot(QStringLiteral("queue-cancelled"));

    // A held document is released: it waits like the others.
    const int held = submit(raw, QStringLiteral("Signed form"), { QStringLiteral("-H"), QStringLiteral("hold") });
    ASSERT_GT(held, second);
    const QString heldRow
        = QStringLiteral("#printers-list article[data-printer=\"raw\"] tr[data-job=\"%1\"]").arg(held);
    const QString heldState = QStringLiteral("(function () { var r = document.querySelector('%1');"
                                             " return r ? r.children[4].textContent : ''; })()")
                                  .arg(heldRow);
    ASSERT_TRUE(clickIn(raw, QStringLiteral("button[data-action=\"getPrinterJobs\"]"))); // hide
    ASSERT_TRUE(clickIn(raw, QStringLiteral("button[data-action=\"getPrinterJobs\"]"))); // and show again, read anew
    ASSERT_TRUE(testsupport::waitFor([&] { return page(heldState).toString() == QStringLiteral("Held"); }, kPageWait))
        << page(heldState).toString().toStdString();
    ASSERT_TRUE(clickSelector(heldRow + QStringLiteral(" button[data-action=\"releasePrinterJob\"]")));
    EXPECT_TRUE(
        testsupport::waitFor([&] { return page(heldState).toString() == QStringLiteral("Waiting"); }, kPageWait))
        << page(heldState).toString().toStdString();
    EXPECT_TRUE(noticeText().contains(QStringLiteral("“Signed form” was released and prints on “raw”.")))
        << noticeText().toStdString();

    // Refusing new documents, and taking them again.
    ASSERT_TRUE(clickIn(raw, QStringLiteral("button[data-action=\"setPrinterAcceptJobs\"]")));
    EXPECT_TRUE(
        schedulerSays(QStringLiteral("lpstat"), { QStringLiteral("-a"), raw }, QStringLiteral("not accepting")));
    EXPECT_TRUE(testsupport::waitFor(
        [&] { return cardText(raw).contains(QStringLiteral("This printer refuses new documents.")); }, kPageWait));
    ASSERT_TRUE(clickIn(raw, QStringLiteral("button[data-action=\"setPrinterAcceptJobs\"]")));
    EXPECT_TRUE(
        schedulerSays(QStringLiteral("lpstat"), { QStringLiteral("-a"), raw }, QStringLiteral("raw accepting")));

    // The remaining documents go too, and the printer is resumed.
    for (const int job : { first, held })
        ASSERT_TRUE(
            clickIn(raw, QStringLiteral("tr[data-job=\"%1\"] button[data-action=\"cancelPrinterJob\"]").arg(job)));
    EXPECT_TRUE(testsupport::waitFor([&] { return rows(raw).isEmpty(); }, kPageWait));
    ASSERT_TRUE(clickIn(raw, QStringLiteral("button[data-action=\"resumePrinter\"]")));
    EXPECT_TRUE(schedulerSays(QStringLiteral("lpstat"), { QStringLiteral("-p"), raw }, QStringLiteral("enabled")));
    EXPECT_TRUE(testsupport::waitFor([&] { return hasButton(raw, QStringLiteral("pausePrinter")); }, kPageWait));
}

TEST_F(QueueManagement, descriptionAndLocationAreEditedOnTheCard)
{
    const QString raw = QStringLiteral("raw");
    ASSERT_TRUE(clickIn(raw, QStringLiteral("button[data-action=\"editDescription\"]")));
    ASSERT_TRUE(waitForPage(
        QStringLiteral("!!document.querySelector('#printers-list article[data-printer=\"raw\"] .edit-form')")));
    const auto type = [this](const QString& field, const QString& text) {
        return page(
            QStringLiteral("(function () { var i = document.querySelector('#printers-list article[data-printer=\"raw\"]"
                           " input[data-action=\"edit-%1\"]'); i.value = %2;"
                           " i.dispatchEvent(new Event('input', { bubbles: true })); return true; })()")
                .arg(field, jsString(text)))
            .toBool();
    };
    ASSERT_TRUE(type(QStringLiteral("description"), QStringLiteral("Label printer 标签")));
    ASSERT_TRUE(type(QStringLiteral("location"), QStringLiteral("Mail room")));
    screenshot(QStringLiteral("queue-editing"));
    ASSERT_TRUE(clickIn(raw, QStringLiteral("button[data-action=\"saveDescription\"]")));
    EXPECT_TRUE(testsupport::waitFor([&] { return noticeText().contains(QStringLiteral("were saved")); }, kPageWait))
        << noticeText().toStdString();
    const QStringList args = { QStringLiteral("-l"), QStringLiteral("-p"), raw };
    EXPECT_TRUE(schedulerSays(QStringLiteral("lpstat"), args, QStringLiteral("Description: Label printer 标签")));
    EXPECT_TRUE(schedulerSays(QStringLiteral("lpstat"), args, QStringLiteral("Location: Mail room")));
    EXPECT_TRUE(
        testsupport::waitFor([&] { return cardText(raw).contains(QStringLiteral("Location: Mail room")); }, kPageWait));
    // Back as the bed made it.
    int code = -1;
    cupsClient(bed, QStringLiteral("lpadmin"),
        { QStringLiteral("-p"), raw, QStringLiteral("-D"), QStringLiteral("Raw queue"), QStringLiteral("-L"),
            QString() },
        &code);
    EXPECT_EQ(code, 0);
}

// Supply levels as the scheduler keeps them for a queue (the values its
// backend last reported, in printers.conf), on the repair scenarios' bed:
// written while that scheduler is stopped, before the program starts.
class QueueSupplyBars : public QueueManagement {
protected:
    QueueSupplyBars() { bed = Bed::Repair; }
    void SetUp() override
    {
        ASSERT_TRUE(writeMarkers(QStringLiteral("alerts"),
            "Attribute marker-colors \\#000000,\\#00FFFF,\\#FF00FF\n"
            "Attribute marker-levels 6,55,-3\n"
            "Attribute marker-names Black Toner,Cyan Toner,Magenta Toner\n"
            "Attribute marker-types toner,toner,toner\n"));
        QueueManagement::SetUp();
    }
    bool runBed(const QString& command)
    {
        QProcess process;
        process.start(qEnvironmentVariable("KORVANE_SOURCE_DIR") + QStringLiteral("/tests/testbeds/cups/bed"),
            { command, bedDir(bed) });
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    }
    bool writeMarkers(const QString& queue, const QByteArray& lines)
    {
        if (!runBed(QStringLiteral("stop")))
            return false;
        QFile conf(bedDir(bed) + QStringLiteral("/etc/printers.conf"));
        if (!conf.open(QIODevice::ReadOnly))
            return false;
        QString text = QString::fromUtf8(conf.readAll());
        conf.close();
        const int start = text.indexOf(QStringLiteral("<Printer %1>").arg(queue));
        const int end = text.indexOf(QStringLiteral("</Printer>"), start);
        if (start < 0 || end < 0)
            return false;
        QString block = text.mid(start, end - start);
        block.remove(
            QRegularExpression(QStringLiteral("^Attribute marker-[^\n]*\n"), QRegularExpression::MultilineOption));
        text.replace(start, end - start, block + QString::fromUtf8(lines));
        if (!conf.open(QIODevice::WriteOnly | QIODevice::Truncate) || conf.write(text.toUtf8()) < 0)
            return false;
        conf.close();
        return runBed(QStringLiteral("start"));
    }
};

TEST_F(QueueSupplyBars, supplyLevelsShowAsBarsOnTheCard)
{
    const QString alerts = QStringLiteral("alerts");
    const QString bars
        = QStringLiteral("Array.prototype.map.call(document.querySelectorAll("
                         "'#printers-list article[data-printer=\"alerts\"] li.supply'),"
                         " function (s) { return s.textContent + '|' + s.querySelector('.fill').style.width; })"
                         ".join(';')");
    const QString expected = QStringLiteral("Black Toner6% — low|6%;Cyan Toner55%|55%;Magenta TonerOK|100%");
    ASSERT_TRUE(testsupport::waitFor([&] { return page(bars).toString() == expected; }, kPageWait))
        << page(bars).toString().toStdString();
    page(QStringLiteral("(function () { document.querySelector('#printers-list article[data-printer=\"alerts\"]')"
                        ".scrollIntoView(); document.activeElement.blur(); return true; })()"));
    EXPECT_TRUE(cardText(alerts).contains(QStringLiteral("Toner or ink low")));
    screenshot(QStringLiteral("queue-supplies"));
}

} // namespace
} // namespace e2e
