// Diagnose & repair: the checks find the documents stuck on the stopped
// queue, and its repair (the salvane tool, as root) empties it; the checks
// that run again afterwards are what the page reports. This scenario cancels
// jobs, so it has a scheduler of its own.

#include "e2efixture.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>

namespace e2e {
namespace {

class DiagnoseAndRepair : public EndToEnd {
protected:
    DiagnoseAndRepair() { bed = Bed::Repair; }

    void SetUp() override
    {
        // The bed starts with a pending and a held document on "stopped"; a
        // second run finds the queue emptied by the first and refills it.
        if (waitingOn(QStringLiteral("stopped")) == 0) {
            const QString document = QDir::temp().filePath(QStringLiteral("korvane-e2e-document.txt"));
            ASSERT_TRUE(testsupport::writeFile(document, "a document that waits\n"));
            int code = -1;
            const QString output = cupsClient(bed, QStringLiteral("lp"),
                                              {QStringLiteral("-d"), QStringLiteral("stopped"), QStringLiteral("-t"),
                                               QStringLiteral("waiting-document"), document},
                                              &code);
            QFile::remove(document);
            ASSERT_EQ(code, 0) << output.toStdString();
        }
        ASSERT_GT(waitingOn(QStringLiteral("stopped")), 0);
        EndToEnd::SetUp();
        if (HasFatalFailure())
            return;
        // The checks cover the queues the Printers panel knows.
        ASSERT_TRUE(waitForPage(QStringLiteral("Korvane.printers.loaded() && Korvane.printers.list().length > 0")));
        showPanel(QStringLiteral("repair"));
    }

    int waitingOn(const QString& queue)
    {
        const QString listing = cupsClient(bed, QStringLiteral("lpstat"), {QStringLiteral("-o"), queue});
        return int(listing.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size());
    }

    // One check's line: its level (the class) and sentence.
    QJsonObject check(const QString& id)
    {
        return page(QStringLiteral("(function () { var li = document.querySelector('#repair-results li[data-check=\"%1\"]');"
                                   " if (!li) return {}; var b = li.querySelector('button');"
                                   " return { level: li.className.replace('check ', ''), text: li.querySelector('p').textContent,"
                                   " repair: b ? b.getAttribute('data-repair') : '' }; })()")
                        .arg(id))
            .toObject();
    }
    QString notice() { return page(QStringLiteral("document.getElementById('repair-notice').textContent")).toString(); }
    bool idle()
    {
        return waitForPage(QStringLiteral("!document.getElementById('repair-run').disabled"
                                          " && !document.querySelector('#repair-notice .notice.busy')"
                                          " && !!document.querySelector('#repair-notice .notice')"),
                           std::chrono::seconds(120));
    }
};

TEST_F(DiagnoseAndRepair, theChecksFindTheStoppedQueuesDocumentsAndTheRepairEmptiesIt)
{
    ASSERT_TRUE(click(QStringLiteral("repair-run")));
    ASSERT_TRUE(idle()) << notice().toStdString();
    const QJsonObject stuck = check(QStringLiteral("queue:stopped"));
    EXPECT_TRUE(stuck.value(QStringLiteral("level")) == QJsonValue(QStringLiteral("warn")) ||
                stuck.value(QStringLiteral("level")) == QJsonValue(QStringLiteral("error")))
        << stuck.value(QStringLiteral("level")).toString().toStdString();
    EXPECT_TRUE(stuck.value(QStringLiteral("text")).toString().contains(QStringLiteral("stopped")))
        << stuck.value(QStringLiteral("text")).toString().toStdString();
    EXPECT_EQ(stuck.value(QStringLiteral("repair")), QJsonValue(QStringLiteral("cleanPrinterQueue")));
    // A queue without documents is fine.
    EXPECT_EQ(check(QStringLiteral("queue:laser")).value(QStringLiteral("level")), QJsonValue(QStringLiteral("ok")));
    page(QStringLiteral("document.querySelector('#repair-results li[data-check=\"queue:stopped\"]').scrollIntoView(false)"));
    screenshot(QStringLiteral("repair-found"));

    ASSERT_TRUE(clickSelector(QStringLiteral("#repair-results li[data-check=\"queue:stopped\"] button[data-repair=\"cleanPrinterQueue\"]")));
    ASSERT_TRUE(idle()) << notice().toStdString();
    EXPECT_EQ(page(QStringLiteral("document.querySelector('#repair-notice .notice span').getAttribute('data-i18n')")),
              QJsonValue(QStringLiteral("repair.doneVerified")))
        << notice().toStdString();
    EXPECT_EQ(check(QStringLiteral("queue:stopped")).value(QStringLiteral("level")), QJsonValue(QStringLiteral("ok")));
    EXPECT_EQ(waitingOn(QStringLiteral("stopped")), 0);
    screenshot(QStringLiteral("repair-done"));
}

}  // namespace
}  // namespace e2e
