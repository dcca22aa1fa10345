// Diagnose & repair: the checks find the documents waiting on the queues, and
// nothing that cancels documents runs before the user has said yes to a
// question that counts them. One printer's repair empties that printer's
// queue only; "Repair everything" (the salvane tool, as root) empties every
// queue. This scenario cancels jobs, so it has a scheduler of its own.

#include "e2efixture.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

namespace e2e {
namespace {

class DiagnoseAndRepair : public EndToEnd {
protected:
    DiagnoseAndRepair() { bed = Bed::Repair; }

    void SetUp() override
    {
        // The combined repair also opens the firewall: with no system bus and
        // no firewall tools it finds nothing to change on this machine.
        const QString nowhere = m_scratch.filePath(QStringLiteral("none"));
        m_env.push_back(std::make_unique<testsupport::ScopedEnv>(
            "DBUS_SYSTEM_BUS_ADDRESS", QByteArray("unix:path=") + nowhere.toUtf8()));
        for (const char* tool : {"KORVANE_UFW", "KORVANE_NFT", "KORVANE_IPTABLES"})
            m_env.push_back(std::make_unique<testsupport::ScopedEnv>(tool, nowhere.toUtf8()));

        // Exactly three documents on two printers: two on the disabled
        // "stopped", one held on "laser".
        int code = -1;
        const QString output = cupsClient(bed, QStringLiteral("cancel"), {QStringLiteral("-a")}, &code);
        ASSERT_EQ(code, 0) << output.toStdString();
        ASSERT_TRUE(testsupport::waitFor([this] { return waitingOn(QString()) == 0; }, std::chrono::seconds(30)));
        submit(QStringLiteral("stopped"), false);
        submit(QStringLiteral("stopped"), true);
        submit(QStringLiteral("laser"), true);
        ASSERT_EQ(waitingOn(QStringLiteral("stopped")), 2);
        ASSERT_EQ(waitingOn(QStringLiteral("laser")), 1);
        EndToEnd::SetUp();
        if (HasFatalFailure())
            return;
        // The checks cover the queues the Printers panel knows.
        ASSERT_TRUE(waitForPage(QStringLiteral("Korvane.printers.loaded() && Korvane.printers.list().length > 0")));
        showPanel(QStringLiteral("repair"));
    }

    void submit(const QString& queue, bool hold)
    {
        const QString document = QDir::temp().filePath(QStringLiteral("korvane-e2e-document.txt"));
        ASSERT_TRUE(testsupport::writeFile(document, "a document that waits\n"));
        QStringList args{QStringLiteral("-d"), queue, QStringLiteral("-t"), QStringLiteral("waiting-document")};
        if (hold)
            args << QStringLiteral("-H") << QStringLiteral("hold");
        int code = -1;
        const QString output = cupsClient(bed, QStringLiteral("lp"), args << document, &code);
        QFile::remove(document);
        ASSERT_EQ(code, 0) << output.toStdString();
    }

    // The unfinished jobs of a queue ("" for every queue), as lpstat lists them.
    int waitingOn(const QString& queue)
    {
        const QStringList args = queue.isEmpty() ? QStringList{QStringLiteral("-o")} : QStringList{QStringLiteral("-o"), queue};
        const QString listing = cupsClient(bed, QStringLiteral("lpstat"), args);
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
    QString noticeKey()
    {
        return page(QStringLiteral("document.querySelector('#repair-notice .notice span').getAttribute('data-i18n')")).toString();
    }
    QString dialogText() { return page(QStringLiteral("document.getElementById('dialog-text').textContent")).toString(); }
    bool dialogOpen() { return waitForPage(QStringLiteral("!!document.getElementById('dialog-ok')")); }
    bool dialogClosed() { return waitForPage(QStringLiteral("!document.getElementById('dialog-overlay')")); }
    bool idle()
    {
        return waitForPage(QStringLiteral("!document.getElementById('repair-run').disabled"
                                          " && !document.querySelector('#repair-notice .notice.busy')"
                                          " && !!document.querySelector('#repair-notice .notice')"),
                           std::chrono::seconds(150));
    }
    void runChecks()
    {
        ASSERT_TRUE(click(QStringLiteral("repair-run")));
        ASSERT_TRUE(idle()) << notice().toStdString();
    }

    QTemporaryDir m_scratch;
    std::vector<std::unique_ptr<testsupport::ScopedEnv>> m_env;
};

const QString kStoppedQueueButton =
    QStringLiteral("#repair-results li[data-check=\"queue:stopped\"] button[data-repair=\"cleanPrinterQueueOf\"]");

TEST_F(DiagnoseAndRepair, EmptyingOnePrintersQueueAsksFirstAndLeavesTheOtherPrinters)
{
    runChecks();
    const QJsonObject stuck = check(QStringLiteral("queue:stopped"));
    EXPECT_TRUE(stuck.value(QStringLiteral("level")) == QJsonValue(QStringLiteral("warn")) ||
                stuck.value(QStringLiteral("level")) == QJsonValue(QStringLiteral("error")))
        << stuck.value(QStringLiteral("level")).toString().toStdString();
    EXPECT_TRUE(stuck.value(QStringLiteral("text")).toString().contains(QStringLiteral("stopped")))
        << stuck.value(QStringLiteral("text")).toString().toStdString();
    EXPECT_EQ(stuck.value(QStringLiteral("repair")), QJsonValue(QStringLiteral("cleanPrinterQueueOf")));
    EXPECT_EQ(check(QStringLiteral("queue:laser")).value(QStringLiteral("repair")), QJsonValue(QStringLiteral("cleanPrinterQueueOf")));
    // A queue without documents is fine.
    EXPECT_EQ(check(QStringLiteral("queue:inkjet")).value(QStringLiteral("level")), QJsonValue(QStringLiteral("ok")));
    page(QStringLiteral("document.querySelector('#repair-results li[data-check=\"queue:stopped\"]').scrollIntoView(false)"));
    screenshot(QStringLiteral("repair-found"));

    // "No" keeps every document.
    ASSERT_TRUE(clickSelector(kStoppedQueueButton));
    ASSERT_TRUE(dialogOpen());
    EXPECT_EQ(dialogText(), QStringLiteral("2 documents on “stopped” will be cancelled and lost."));
    screenshot(QStringLiteral("repair-queue-confirm"));
    ASSERT_TRUE(click(QStringLiteral("dialog-cancel")));
    ASSERT_TRUE(dialogClosed());
    EXPECT_EQ(noticeKey(), QStringLiteral("repair.kept")) << notice().toStdString();
    EXPECT_EQ(waitingOn(QStringLiteral("stopped")), 2);
    EXPECT_EQ(waitingOn(QStringLiteral("laser")), 1);

    // "Yes" empties that printer's queue, and only that one.
    ASSERT_TRUE(clickSelector(kStoppedQueueButton));
    ASSERT_TRUE(dialogOpen());
    ASSERT_TRUE(click(QStringLiteral("dialog-ok")));
    ASSERT_TRUE(idle()) << notice().toStdString();
    EXPECT_EQ(noticeKey(), QStringLiteral("repair.queueDone")) << notice().toStdString();
    EXPECT_EQ(check(QStringLiteral("queue:stopped")).value(QStringLiteral("level")), QJsonValue(QStringLiteral("ok")));
    EXPECT_EQ(waitingOn(QStringLiteral("stopped")), 0);
    EXPECT_EQ(waitingOn(QStringLiteral("laser")), 1);
    screenshot(QStringLiteral("repair-done"));
}

TEST_F(DiagnoseAndRepair, RepairEverythingSaysWhatWouldBeLostAndRunsOnlyOnYes)
{
    runChecks();
    EXPECT_EQ(page(QStringLiteral("document.getElementById('repair-all').className")), QJsonValue(QStringLiteral("danger")));
    EXPECT_EQ(page(QStringLiteral("document.getElementById('repair-all').parentNode.id")),
              QJsonValue(QStringLiteral("repair-all-zone")));

    ASSERT_TRUE(click(QStringLiteral("repair-all")));
    ASSERT_TRUE(dialogOpen());
    EXPECT_EQ(dialogText(), QStringLiteral("3 documents on 2 printers will be cancelled and lost."));
    EXPECT_EQ(page(QStringLiteral("document.activeElement.id")), QJsonValue(QStringLiteral("dialog-cancel")));
    screenshot(QStringLiteral("repair-confirm"));
    ASSERT_TRUE(click(QStringLiteral("dialog-cancel")));
    ASSERT_TRUE(dialogClosed());
    EXPECT_EQ(noticeKey(), QStringLiteral("repair.kept")) << notice().toStdString();
    EXPECT_EQ(waitingOn(QStringLiteral("stopped")), 2);
    EXPECT_EQ(waitingOn(QStringLiteral("laser")), 1);
    EXPECT_EQ(callbacksOf(QStringLiteral("notifyFinishResetAllByCpp")), 0);

    ASSERT_TRUE(click(QStringLiteral("repair-all")));
    ASSERT_TRUE(dialogOpen());
    ASSERT_TRUE(click(QStringLiteral("dialog-ok")));
    ASSERT_TRUE(waitForPage(QStringLiteral("!!document.querySelector('#repair-notice .notice.busy')")));
    ASSERT_TRUE(idle()) << notice().toStdString();
    EXPECT_EQ(callbacksOf(QStringLiteral("notifyFinishResetAllByCpp")), 1);
    EXPECT_EQ(waitingOn(QString()), 0);
    const QString said = notice();
    EXPECT_TRUE(said.contains(QStringLiteral("Repair everything has finished"))) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("3 waiting documents were cancelled."))) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("restart the computer"))) << said.toStdString();
    EXPECT_EQ(check(QStringLiteral("queue:stopped")).value(QStringLiteral("level")), QJsonValue(QStringLiteral("ok")));
    EXPECT_EQ(check(QStringLiteral("queue:laser")).value(QStringLiteral("level")), QJsonValue(QStringLiteral("ok")));
    screenshot(QStringLiteral("repair-all-done"));
}

// The scheduler stops while the program runs: the Printers panel and the
// search results show one banner instead of every queue's "server unknown";
// its Start button restarts the scheduler (the repair tool with the bed's
// start command) and the list comes back.
TEST_F(DiagnoseAndRepair, StoppedPrintServiceShowsOneBannerAndStartBringsTheListBack)
{
    showPanel(QStringLiteral("printers"));
    ASSERT_TRUE(waitForPage(QStringLiteral("document.querySelectorAll('#printers-list article.printer').length > 0")));
    EXPECT_EQ(page(QStringLiteral("document.getElementById('printers-service').hidden")), QJsonValue(true));

    QProcess bedScript;
    bedScript.start(testsupport::sourceDir() + QStringLiteral("/tests/testbeds/cups/bed"),
                    {QStringLiteral("stop"), bedDir(bed)});
    ASSERT_TRUE(bedScript.waitForFinished(60000));
    ASSERT_EQ(bedScript.exitCode(), 0) << bedScript.readAllStandardError().toStdString();

    ASSERT_TRUE(waitForPage(QStringLiteral("!document.getElementById('printers-service').hidden")));
    EXPECT_EQ(page(QStringLiteral("document.querySelector('#printers-service strong').textContent")),
              QJsonValue(QStringLiteral("The print service is not running.")));
    EXPECT_EQ(page(QStringLiteral("document.querySelectorAll('#printers-list article.printer').length")), QJsonValue(0));
    const QString list = page(QStringLiteral("document.getElementById('printers-list').textContent")).toString();
    EXPECT_FALSE(list.contains(QStringLiteral("Print server unknown"))) << list.toStdString();
    EXPECT_FALSE(list.contains(QStringLiteral("No printers are installed"))) << list.toStdString();
    EXPECT_EQ(page(QStringLiteral("document.getElementById('search-service').hidden")), QJsonValue(false));
    screenshot(QStringLiteral("service-stopped"));

    ASSERT_TRUE(click(QStringLiteral("printers-service-start")));
    ASSERT_TRUE(waitForPage(QStringLiteral("document.getElementById('printers-service').hidden"
                                           " && document.querySelectorAll('#printers-list article.printer').length > 0"),
                            std::chrono::seconds(120)))
        << page(QStringLiteral("document.getElementById('printers-service').textContent")).toString().toStdString();
    EXPECT_EQ(page(QStringLiteral("document.getElementById('search-service').hidden")), QJsonValue(true));
    EXPECT_TRUE(QFile::exists(bedDir(bed) + QStringLiteral("/cups.sock")));
    screenshot(QStringLiteral("service-started"));
}

}  // namespace
}  // namespace e2e
