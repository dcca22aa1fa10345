// Downloads: an address typed into the Downloads panel is fetched from a
// loopback server into the user's download folder, and a slow one is
// cancelled from its Cancel button, leaving nothing behind.

#include "e2efixture.h"

#include "../online/loopbackhttpserver.h"

#include <QFile>

namespace e2e {
namespace {

using onlinetest::LoopbackHttpServer;

class Downloads : public EndToEnd {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.isListening());
        EndToEnd::SetUp();
        if (HasFatalFailure())
            return;
        showPanel(QStringLiteral("downloads"));
    }

    // Types an address into the box and presses Download.
    void download(const QString& url)
    {
        page(QStringLiteral("(function () { var u = document.getElementById('download-url'); u.focus();"
                            " u.value = %1; u.dispatchEvent(new Event('input')); return true; })()")
                 .arg(jsString(url)));
        ASSERT_TRUE(click(QStringLiteral("download-start")));
    }
    QString state(int id)
    {
        return page(QStringLiteral("(document.querySelector('#download-list li[data-download=\"%1\"]') || {"
                                   " getAttribute: function () { return 'absent'; } }).getAttribute('data-state')")
                        .arg(id))
            .toString();
    }
    QString itemText(int id)
    {
        return page(QStringLiteral("(document.querySelector('#download-list li[data-download=\"%1\"]') || {}).textContent").arg(id))
            .toString();
    }
    // The download folder as the panel shows it.
    QString folder() { return page(QStringLiteral("document.getElementById('download-folder-path').textContent")).toString(); }

    LoopbackHttpServer server;
};

TEST_F(Downloads, aDownloadCompletesAndAnotherIsCancelled)
{
    // The folder the user will find the package in: in their documents.
    EXPECT_TRUE(folder().endsWith(QStringLiteral("/Documents/驱动"))) << folder().toStdString();

    constexpr int kSize = 300000;
    download(server.url(QStringLiteral("/file/printer-driver.deb?size=%1").arg(kSize)));
    ASSERT_TRUE(testsupport::waitFor([&] { return state(1) == QLatin1String("done"); }, kPageWait)) << itemText(1).toStdString();
    const QString saved = folder() + QStringLiteral("/printer-driver.deb");
    EXPECT_TRUE(itemText(1).contains(QStringLiteral("Saved as “printer-driver.deb”"))) << itemText(1).toStdString();
    EXPECT_EQ(testsupport::readFile(saved), LoopbackHttpServer::content(kSize));
    // A finished package can be run or shown in its folder.
    EXPECT_EQ(page(QStringLiteral("Array.prototype.map.call(document.querySelectorAll("
                                  "'#download-list li[data-download=\"1\"] .actions button'),"
                                  " function (b) { return b.getAttribute('data-action'); }).join(',')")),
              QJsonValue(QStringLiteral("install,open-folder")));
    screenshot(QStringLiteral("download-done"));

    // Slow: 4 KiB every 50 ms would take a minute.
    download(server.url(QStringLiteral("/file/slow-driver.deb?size=5000000&chunk=4096&delay=50")));
    ASSERT_TRUE(testsupport::waitFor([&] { return itemText(2).contains(QStringLiteral(" of ")); }, kPageWait))
        << itemText(2).toStdString();
    ASSERT_TRUE(clickSelector(QStringLiteral("#download-list li[data-download=\"2\"] button[data-action=\"cancel\"]")));
    ASSERT_TRUE(testsupport::waitFor([&] { return state(2) == QLatin1String("cancelled"); }, kPageWait)) << itemText(2).toStdString();
    EXPECT_TRUE(itemText(2).contains(QStringLiteral("Download cancelled; the partial file was removed.")));
    EXPECT_FALSE(QFile::exists(folder() + QStringLiteral("/slow-driver.deb")));
    EXPECT_TRUE(QFile::exists(saved));
    // The first one is still there and finished.
    EXPECT_EQ(state(1), QStringLiteral("done"));
    screenshot(QStringLiteral("download-cancelled"));
}

}  // namespace
}  // namespace e2e
