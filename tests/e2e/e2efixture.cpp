#include "e2efixture.h"

#include "../discovery/network_lanbed.h"
#include "app/startup.h"
#include "mainwindow/mainblkwindow.h"
#include "webui/viewfactory.h"
#include "webui/webwindows.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <memory>
#include <optional>

namespace e2e {

namespace {

// Before the application object: the private page scheme, shared contexts.
const bool kPrepared = [] {
    app::setApplicationNames();
    webui::prepareWebEngine();
    return true;
}();

class ReleaseEngine : public ::testing::Environment {
public:
    void TearDown() override { app::stopServices(); }
};
[[maybe_unused]] ::testing::Environment* const kEngineEnvironment =
    ::testing::AddGlobalTestEnvironment(new ReleaseEngine);

}  // namespace

QString jsString(const QString& text)
{
    // A JSON string is a JavaScript string literal (U+2028 and U+2029
    // included since ES2019).
    const QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

QString bedDir(Bed bed)
{
    if (bed == Bed::Scan)
        return qEnvironmentVariable("KORVANE_E2E_SCAN_BED");
    if (bed == Bed::Usb)
        return qEnvironmentVariable("KORVANE_E2E_USB_BED");
    return qEnvironmentVariable(bed == Bed::Repair ? "KORVANE_E2E_REPAIR_BED" : "KORVANE_E2E_CUPS_BED");
}

QString cupsClient(Bed bed, const QString& program, const QStringList& args, int* exitCode)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CUPS_SERVER"), bedDir(bed) + QStringLiteral("/cups.sock"));
    environment.insert(QStringLiteral("CUPS_SERVERROOT"), bedDir(bed) + QStringLiteral("/client"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    const bool done = process.waitForFinished(30000);
    if (!done)
        process.kill();
    process.waitForFinished(5000);
    if (exitCode)
        *exitCode = done && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromLocal8Bit(process.readAll());
}

void EndToEnd::setEnv(const char* name, const QString& value)
{
    m_env.push_back(std::make_unique<testsupport::ScopedEnv>(name, value.toUtf8()));
}

void EndToEnd::SetUp()
{
    ASSERT_TRUE(kPrepared);
    ASSERT_TRUE(lanbed::inside()) << lanbed::whyNotInside().toStdString();
    // The user record is written once more as the process ends, after the
    // tests: the homes stay until then.
    static QTemporaryDir homes;
    ASSERT_TRUE(homes.isValid());
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    home = homes.filePath(QString::fromLatin1(test->test_suite_name()) + QLatin1Char('.') + QString::fromLatin1(test->name()));
    const QString bedFolder = bedDir(bed);
    ASSERT_FALSE(bedFolder.isEmpty()) << "run through ctest: the scheduler bed is not named";
    ASSERT_TRUE(QFile::exists(bedFolder + QStringLiteral("/cups.sock"))) << "no scheduler in " << bedFolder.toStdString();

    // A new user: nothing of the machine's user, the scheduler of the bed.
    setEnv("HOME", home);
    setEnv("XDG_CONFIG_HOME", home + QStringLiteral("/.config"));
    setEnv("XDG_DATA_HOME", home + QStringLiteral("/.local/share"));
    setEnv("XDG_CACHE_HOME", home + QStringLiteral("/.cache"));
    setEnv("KORVANE_DOCUMENTS_DIR", home + QStringLiteral("/Documents"));
    setEnv("CUPS_SERVER", bedFolder + QStringLiteral("/cups.sock"));
    setEnv("CUPS_SERVERROOT", bedFolder + QStringLiteral("/client"));
    // The repair tool restarts this scheduler, never the machine's, and the
    // scheduler keeps listening on its socket only.
    setEnv("KORVANE_CUPSD_PIDFILE", bedFolder + QStringLiteral("/cupsd.pid"));
    setEnv("KORVANE_CUPSD_COMMAND", QStringLiteral("cupsd -F -c %1/etc/cupsd.conf -s %1/etc/cups-files.conf").arg(bedFolder));
    setEnv("KORVANE_SYSTEMD_RUNTIME_DIR", bedFolder + QStringLiteral("/no-systemd"));
    setEnv("KORVANE_CUPS_KEEP_SERVER_SETTINGS", QStringLiteral("1"));
    if (!sysfsRoot.isEmpty())
        setEnv("KORVANE_SYSFS_ROOT", sysfsRoot);
    for (const char* folder : {"/.config", "/.local/share", "/.cache", "/Documents"})
        ASSERT_TRUE(QDir().mkpath(home + QLatin1String(folder)));

    const QString missing = app::startServices();
    ASSERT_TRUE(missing.isEmpty()) << "the web engine cannot start: " << missing.toStdString();
    window = app::openMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(testsupport::waitFor([this] { return window->pageReady(); }, kPageWait)) << "the page never said it loaded";
    // Texts in the checks below are the English ones; the switch is the
    // language box in Settings.
    ASSERT_TRUE(waitForPage(QStringLiteral("typeof Korvane.printers === 'object' && !!document.getElementById('language')")));
    page(QStringLiteral("(function () { var s = document.getElementById('language'); s.value = 'en';"
                        " s.dispatchEvent(new Event('change')); return s.value; })()"));
    ASSERT_EQ(page(QStringLiteral("Korvane.i18n.language()")), QJsonValue(QStringLiteral("en")));
}

void EndToEnd::TearDown()
{
    webui::WebWindows::instance().destroyAll();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    window = nullptr;
    // The printer monitor follows the next test's scheduler.
    app::stopServices();
    m_env.clear();
}

QJsonValue EndToEnd::page(const QString& expression)
{
    if (!window || !window->view())
        return QJsonValue(QJsonValue::Undefined);
    // Shared: an answer that comes after the wait gave up lands here, not on
    // a stack that has gone.
    auto result = std::make_shared<std::optional<QJsonValue>>();
    const QString script = QStringLiteral("(function () { try { return (%1); } catch (e) { return 'error: ' + e; } })()")
                               .arg(expression);
    window->view()->runScript(script, [result](const QJsonValue& value) { *result = value; });
    testsupport::waitFor([&] { return result->has_value(); }, kPageWait);
    return result->value_or(QJsonValue(QJsonValue::Undefined));
}

bool EndToEnd::waitForPage(const QString& expression, std::chrono::milliseconds timeout)
{
    return testsupport::waitFor(
        [&] {
            testsupport::waitFor([] { return false; }, 100ms);
            return page(expression) == QJsonValue(true);
        },
        timeout);
}

bool EndToEnd::clickSelector(const QString& selector)
{
    const QString script = QStringLiteral(
                               "(function () { var b = document.querySelector(%1);"
                               " if (!b || b.disabled) return false; b.focus(); b.click(); return true; })()")
                               .arg(jsString(selector));
    return page(script) == QJsonValue(true);
}

bool EndToEnd::click(const QString& id)
{
    return clickSelector(QLatin1Char('#') + id);
}

void EndToEnd::showPanel(const QString& panel)
{
    EXPECT_TRUE(click(QStringLiteral("tab-") + panel)) << panel.toStdString();
    EXPECT_TRUE(waitForPage(QStringLiteral("!document.getElementById(%1).hidden").arg(jsString(QStringLiteral("panel-") + panel))));
}

int EndToEnd::callbacksOf(const QString& function)
{
    const QString script = QStringLiteral(
                               "Array.prototype.filter.call(document.querySelectorAll('#log-list li.log-callback span'),"
                               " function (s) { return s.textContent.indexOf(' ' + %1 + ' ') === 0; }).length")
                               .arg(jsString(function));
    return page(script).toInt(-1);
}

QString EndToEnd::screenshot(const QString& name)
{
    // Let the engine paint what the last step changed.
    testsupport::waitFor([] { return false; }, 700ms);
    QWidget* host = window ? window->hostWindow() : nullptr;
    if (!host)
        return QString();
    const QImage shot = host->grab().toImage();
    const QString path = testsupport::outputDir() + QStringLiteral("/e2e-") + name + QStringLiteral(".png");
    QFile::remove(path);
    EXPECT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(path)) << path.toStdString();
    return path;
}

}  // namespace e2e
