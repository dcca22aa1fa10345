// The rules behind the page windows that need no window: which URLs are ours
// and which file answers them, how page arguments read, drag and resize
// areas, zoom steps, centring and the bridge's wire format.

#include "webuitest.h"

#include "webui/bridgeprotocol.h"
#include "webui/engineswitches.h"
#include "webui/jsargs.h"
#include "webui/pagejson.h"
#include "webui/uilanguage.h"
#include "webui/winconstants.h"
#include "webui/windowchrome.h"

#include <QJsonObject>
#include <cmath>
#include <gtest/gtest.h>

using namespace webui;

namespace {

class WebuiLocalPages : public ::testing::Test {
protected:
    void SetUp() override { pages::setBaseUrl(QString::fromLatin1(webuitest::kBase)); }
    testsupport::ScopedEnv html{"KORVANE_HTML_DIR", webuitest::pagesDir().toUtf8()};
};

struct PathCase {
    const char* url;
    const char* expected;  // nullptr: refused
};

TEST_F(WebuiLocalPages, onlyUrlsThatStartWithTheBaseMapToNormalisedPaths)
{
    const PathCase cases[] = {
        {"https://pages.korvane.example/bridge.html", "bridge.html"},
        {"https://pages.korvane.example/js/helper.js?v=2#top", "js/helper.js"},
        {"https://PAGES.korvane.example/bridge.html", "bridge.html"},
        {"https://pages.korvane.example:443/bridge.html", "bridge.html"},
        {"https://pages.korvane.example/a/../bridge.html", "bridge.html"},
        {"https://pages.korvane.example/%E4%B8%AD.html", "中.html"},
        {"korvane://app/js/helper.js", "js/helper.js"},
        {"https://pages.korvane.example/", nullptr},
        {"https://pages.korvane.example/../secret.txt", nullptr},
        {"https://pages.korvane.example/%2e%2e/secret.txt", nullptr},
        {"https://pages.korvane.example/..%2fsecret.txt", nullptr},
        {"https://pages.korvane.example/js/..%2f..%2fsecret.txt", nullptr},
        {"https://pages.korvane.example//etc/passwd", nullptr},
        {"https://pages.korvane.example/%2fetc/passwd", nullptr},
        {"https://pages.korvane.example/a%5c..%5c..%5csecret.txt", nullptr},
        {"https://pages.korvane.example/a%00.html", nullptr},
        {"https://elsewhere.example/?u=https://pages.korvane.example/bridge.html", nullptr},
        {"https://elsewhere.example/pages.korvane.example/bridge.html", nullptr},
        {"https://pages.korvane.example.evil.example/bridge.html", nullptr},
        {"https://pages.korvane.example@evil.example/bridge.html", nullptr},
        {"http://pages.korvane.example:8080/bridge.html", nullptr},
        {"korvane://other/bridge.html", nullptr},
        {"korvane://app/../secret.txt", nullptr},
        {"file:///etc/passwd", nullptr},
    };
    for (const PathCase& c : cases) {
        const std::optional<QString> path = pages::relativePagePath(QUrl(QString::fromUtf8(c.url)));
        if (c.expected)
            EXPECT_EQ(path.value_or(QStringLiteral("<refused>")), QString::fromUtf8(c.expected)) << c.url;
        else
            EXPECT_FALSE(path.has_value()) << c.url << " gave " << path->toStdString();
    }
}

TEST_F(WebuiLocalPages, filesComeFromThePageFolderAndNeverFromOutsideIt)
{
    EXPECT_EQ(pages::localFileFor(QStringLiteral("bridge.html")),
              QFileInfo(webuitest::pagesDir() + QStringLiteral("/bridge.html")).canonicalFilePath());
    EXPECT_TRUE(pages::localFileFor(QStringLiteral("missing.html")).isEmpty());
    EXPECT_TRUE(pages::localFileFor(QStringLiteral("js")).isEmpty());  // a folder is no page

    // A link inside the page folder that leads out of it does not count.
    QTemporaryDir dir;
    ASSERT_TRUE(testsupport::writeFile(dir.path() + QStringLiteral("/html/real.html"), "<p>"));
    ASSERT_TRUE(testsupport::writeFile(dir.path() + QStringLiteral("/outside.txt"), "secret"));
    ASSERT_TRUE(QFile::link(dir.path() + QStringLiteral("/outside.txt"), dir.path() + QStringLiteral("/html/link.txt")));
    testsupport::ScopedEnv htmlHere("KORVANE_HTML_DIR", (dir.path() + QStringLiteral("/html")).toUtf8());
    testsupport::ScopedEnv program("KORVANE_PROGRAM_DIR", (dir.path() + QStringLiteral("/program")).toUtf8());
    EXPECT_FALSE(pages::localFileFor(QStringLiteral("real.html")).isEmpty());
    EXPECT_TRUE(pages::localFileFor(QStringLiteral("link.txt")).isEmpty());
}

TEST_F(WebuiLocalPages, theProgramFolderItselfServesNothing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(testsupport::writeFile(dir.path() + QStringLiteral("/program/html/a.html"), "a"));
    ASSERT_TRUE(testsupport::writeFile(dir.path() + QStringLiteral("/program/b.json"), "{}"));
    ASSERT_TRUE(testsupport::writeFile(dir.path() + QStringLiteral("/program/korvane"), "\x7f" "ELF", true));
    testsupport::ScopedEnv program("KORVANE_PROGRAM_DIR", (dir.path() + QStringLiteral("/program")).toUtf8());
    testsupport::ScopedEnv noHtml("KORVANE_HTML_DIR", QByteArray());
    EXPECT_TRUE(pages::localFileFor(QStringLiteral("a.html")).endsWith(QStringLiteral("/program/html/a.html")));
    EXPECT_TRUE(pages::localFileFor(QStringLiteral("b.json")).isEmpty());
    EXPECT_TRUE(pages::localFileFor(QStringLiteral("korvane")).isEmpty());
}

TEST_F(WebuiLocalPages, onlyOurOwnPagesAreTrusted)
{
    const QUrl local = QUrl::fromLocalFile(webuitest::pagesDir() + QStringLiteral("/bridge.html"));
    const QUrl foreignFile =
        QUrl::fromLocalFile(testsupport::sourceDir() + QStringLiteral("/tests/data/webui/foreign/foreign.html"));
    EXPECT_TRUE(pages::isTrustedUrl(QUrl(QStringLiteral("korvane://app/bridge.html"))));
    EXPECT_TRUE(pages::isTrustedUrl(QUrl(QStringLiteral("https://pages.korvane.example/remote-only.html"))));
    EXPECT_TRUE(pages::isTrustedUrl(local));
    EXPECT_FALSE(pages::isTrustedUrl(foreignFile));
    EXPECT_FALSE(pages::isTrustedUrl(QUrl(QStringLiteral("https://elsewhere.example/?u=https://pages.korvane.example/"))));
    EXPECT_FALSE(pages::isTrustedUrl(QUrl(QStringLiteral("data:text/html,hi"))));
    EXPECT_FALSE(pages::isTrustedUrl(QUrl(QStringLiteral("about:blank"))));

    EXPECT_TRUE(pages::isTrustedOrigin(QUrl(QStringLiteral("korvane://app")), QUrl()));
    EXPECT_TRUE(pages::isTrustedOrigin(QUrl(QStringLiteral("https://pages.korvane.example")), QUrl()));
    EXPECT_FALSE(pages::isTrustedOrigin(QUrl(QStringLiteral("https://elsewhere.example")),
                                        QUrl(QStringLiteral("korvane://app/bridge.html"))));
    EXPECT_TRUE(pages::isTrustedOrigin(QUrl(QStringLiteral("file:///")), local));
    EXPECT_FALSE(pages::isTrustedOrigin(QUrl(QStringLiteral("file:///")), foreignFile));
    EXPECT_FALSE(pages::isTrustedOrigin(QUrl(QStringLiteral("null")), local));

    // A frame: its origin and the top-level page it sits in.
    const QUrl ours(QStringLiteral("korvane://app/bridge.html"));
    const QUrl foreign(QStringLiteral("http://127.0.0.1:8080/host.html"));
    EXPECT_TRUE(pages::isTrustedFrame(QUrl(QStringLiteral("korvane://app")), ours));
    EXPECT_FALSE(pages::isTrustedFrame(QUrl(QStringLiteral("korvane://app")), foreign));
    EXPECT_FALSE(pages::isTrustedFrame(QUrl(QStringLiteral("https://pages.korvane.example")), foreign));
    EXPECT_FALSE(pages::isTrustedFrame(QUrl(QStringLiteral("http://127.0.0.1:8080")), ours));

    EXPECT_TRUE(pages::isTrustedInitiator(QUrl(QStringLiteral("korvane://app"))));
    EXPECT_TRUE(pages::isTrustedInitiator(QUrl(QStringLiteral("https://pages.korvane.example"))));
    EXPECT_FALSE(pages::isTrustedInitiator(QUrl(QStringLiteral("http://127.0.0.1:8080"))));
    EXPECT_FALSE(pages::isTrustedInitiator(QUrl(QStringLiteral("https://pages.korvane.example.attacker.example"))));
    EXPECT_FALSE(pages::isTrustedInitiator(QUrl(QStringLiteral("null"))));
    EXPECT_FALSE(pages::isTrustedInitiator(QUrl()));

    EXPECT_EQ(pages::originOf(ours), QStringLiteral("korvane://app"));
    EXPECT_EQ(pages::originOf(QUrl(QStringLiteral("https://pages.korvane.example/a/b.html?x#y"))),
              QStringLiteral("https://pages.korvane.example"));
    EXPECT_EQ(pages::originOf(foreign), QStringLiteral("http://127.0.0.1:8080"));
    EXPECT_EQ(pages::originOf(QUrl(QStringLiteral("https://pages.korvane.example:443/x"))),
              QStringLiteral("https://pages.korvane.example"));
}

TEST(WebuiEngineSwitches, switchesThatOpenOrWeakenTheEngineAreDropped)
{
    for (const char* unsafe : {"--remote-debugging-port=9222", "--remote-debugging-pipe", "-remote-debugging-port=1",
                               "--REMOTE-DEBUGGING-PORT=2", "--remote-debugging-address=0.0.0.0", "--no-sandbox",
                               "--disable-web-security", "--disable-site-isolation-trials",
                               "--renderer-cmd-prefix=sh -c", "--host-resolver-rules=MAP * 127.0.0.1",
                               "--user-data-dir=/tmp/x", "--single-process", "--proxy-server=127.0.0.1:1"})
        EXPECT_TRUE(isUnsafeEngineSwitch(QString::fromLatin1(unsafe))) << unsafe;
    for (const char* harmless : {"--disable-gpu", "-platform", "offscreen", "--lang=de", "remote-debugging-port",
                                 "--", "", "--remote-debugging-portx=1"})
        EXPECT_FALSE(isUnsafeEngineSwitch(QString::fromLatin1(harmless))) << harmless;

    QStringList dropped;
    EXPECT_EQ(safeEngineFlags(QStringLiteral("  --disable-gpu --remote-debugging-port=9 --no-sandbox\t--lang=de "), &dropped),
              QStringLiteral("--disable-gpu --lang=de"));
    EXPECT_EQ(dropped, (QStringList{QStringLiteral("--remote-debugging-port=9"), QStringLiteral("--no-sandbox")}));
}

TEST(WebuiEngineSwitches, theCommandLineAndTheEnvironmentLoseThemBeforeTheEngineStarts)
{
    testsupport::ScopedEnv debugging("QTWEBENGINE_REMOTE_DEBUGGING", "127.0.0.1:9222");
    testsupport::ScopedEnv flags("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --remote-debugging-pipe");
    QByteArray storage[] = {"korvane", "-platform", "offscreen", "--remote-debugging-port=9222", "--disable-gpu",
                            "--disable-web-security"};
    char* argv[] = {storage[0].data(), storage[1].data(), storage[2].data(), storage[3].data(),
                    storage[4].data(), storage[5].data(), nullptr};
    int argc = 6;
    const QStringList dropped = dropUnsafeEngineSwitches(argc, argv);
    ASSERT_EQ(argc, 4);
    EXPECT_STREQ(argv[1], "-platform");
    EXPECT_STREQ(argv[2], "offscreen");
    EXPECT_STREQ(argv[3], "--disable-gpu");
    EXPECT_EQ(argv[4], nullptr);
    EXPECT_FALSE(qEnvironmentVariableIsSet("QTWEBENGINE_REMOTE_DEBUGGING"));
    EXPECT_EQ(qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral("--disable-gpu"));
    EXPECT_EQ(dropped.size(), 4);
}

TEST_F(WebuiLocalPages, aDeeperBaseTrustsOnlyPagesBelowIt)
{
    pages::setBaseUrl(QStringLiteral("https://pages.korvane.example/app"));
    EXPECT_EQ(pages::baseUrl(), QStringLiteral("https://pages.korvane.example/app/"));
    EXPECT_TRUE(pages::isTrustedUrl(QUrl(QStringLiteral("https://pages.korvane.example/app/x.html"))));
    EXPECT_FALSE(pages::isTrustedUrl(QUrl(QStringLiteral("https://pages.korvane.example/other/x.html"))));
    EXPECT_FALSE(pages::isTrustedOrigin(QUrl(QStringLiteral("https://pages.korvane.example")),
                                        QUrl(QStringLiteral("https://pages.korvane.example/other/x.html"))));
    EXPECT_FALSE(pages::relativePagePath(QUrl(QStringLiteral("https://pages.korvane.example/app/../x.html"))));
    EXPECT_EQ(pages::remoteUrl(QStringLiteral("js/a.js")).toString(), QStringLiteral("https://pages.korvane.example/app/js/a.js"));
}

TEST_F(WebuiLocalPages, schemeAndRemoteUrlsKeepQueryAndFragment)
{
    const QUrl from(QStringLiteral("https://pages.korvane.example/index.html?lang=zh&x=%20#part"));
    EXPECT_EQ(pages::schemeUrl(QStringLiteral("index.html"), from).toString(QUrl::FullyEncoded),
              QStringLiteral("korvane://app/index.html?lang=zh&x=%20#part"));
    EXPECT_EQ(pages::remoteUrl(QStringLiteral("index.html"), from).toString(QUrl::FullyEncoded),
              QStringLiteral("https://pages.korvane.example/index.html?lang=zh&x=%20#part"));
    EXPECT_EQ(pages::mimeTypeFor(QStringLiteral("a/b.html")), QByteArray("text/html"));
    EXPECT_EQ(pages::mimeTypeFor(QStringLiteral("a/b.js")), QByteArray("text/javascript"));
    EXPECT_EQ(pages::mimeTypeFor(QStringLiteral("a/b.png")), QByteArray("image/png"));
}

struct IntCase {
    QJsonValue value;
    int expected;
};

TEST(WebuiPageArguments, integersReadAsJavaScriptWouldConvertThem)
{
    const IntCase cases[] = {
        {QJsonValue(7), 7},
        {QJsonValue(-7.9), -7},
        {QJsonValue(4294967297.0), 1},
        {QJsonValue(2147483648.0), -2147483648},
        {QJsonValue(1e300), 0},
        {QJsonValue(true), 1},
        {QJsonValue(QStringLiteral(" 42 ")), 42},
        {QJsonValue(QStringLiteral("0x1F")), 31},
        {QJsonValue(QStringLiteral("12px")), 0},
        {QJsonValue(QString()), 0},
        {QJsonValue(QJsonValue::Null), 0},
        {QJsonValue(QJsonValue::Undefined), 0},
        {QJsonValue(QJsonObject{{QStringLiteral("a"), 1}}), 0},
        {QJsonValue(QJsonArray{5}), 0},
    };
    for (const IntCase& c : cases)
        EXPECT_EQ(jsargs::toInt(c.value), c.expected) << webuitest::json(c.value).toStdString();
}

TEST(WebuiPageArguments, booleansTextAndHandles)
{
    EXPECT_TRUE(jsargs::toBool(QJsonValue(QStringLiteral("x"))));
    EXPECT_FALSE(jsargs::toBool(QJsonValue(QString())));
    EXPECT_FALSE(jsargs::toBool(QJsonValue(0)));
    EXPECT_TRUE(jsargs::toBool(QJsonValue(QJsonObject())));
    EXPECT_FALSE(jsargs::toBool(QJsonValue(QJsonValue::Undefined)));

    EXPECT_EQ(jsargs::toText(QJsonValue(3), 10).value(), QStringLiteral("3"));
    EXPECT_EQ(jsargs::toText(QJsonValue(2.5), 10).value(), QStringLiteral("2.5"));
    EXPECT_EQ(jsargs::toText(QJsonValue(false), 10).value(), QStringLiteral("false"));
    // Whole numbers up to 1e21 print all their digits, as JavaScript does.
    const std::pair<double, const char*> wholeNumbers[] = {
        {0.0, "0"},
        {-0.0, "0"},
        {-42.0, "-42"},
        {9007199254740993.0, "9007199254740992"},
        {1152921504606846976.0, "1152921504606847000"},
        {-9223372036854775808.0, "-9223372036854776000"},
        {9223372036854775808.0, "9223372036854776000"},
        {18446744073709551616.0, "18446744073709552000"},
        {1e20, "100000000000000000000"},
        {999999999999999868928.0, "999999999999999900000"},
    };
    for (const auto& [number, text] : wholeNumbers)
        EXPECT_EQ(jsargs::toText(QJsonValue(number), 64).value(), QString::fromLatin1(text)) << text;
    EXPECT_EQ(jsargs::toText(QJsonValue(1e21), 64).value(), QStringLiteral("1e+21"));
    EXPECT_EQ(jsargs::toText(QJsonValue(std::nan("")), 64).value(), QStringLiteral("NaN"));
    EXPECT_EQ(jsargs::toText(QJsonValue(-HUGE_VAL), 64).value(), QStringLiteral("-Infinity"));
    EXPECT_EQ(jsargs::toText(QJsonValue(QJsonValue::Null), 10).value(), QString());
    EXPECT_EQ(jsargs::toText(QJsonValue(QJsonArray{1}), 10).value(), QString());
    EXPECT_EQ(jsargs::toText(QJsonValue(QString(10, QChar(0x4E2D))), 30).value().size(), 10);
    EXPECT_FALSE(jsargs::toText(QJsonValue(QString(11, QChar(0x4E2D))), 30).has_value());

    EXPECT_EQ(jsargs::toHandle(QJsonValue(123456789012.0)), WindowHandle(123456789012ULL));
    EXPECT_EQ(jsargs::toHandle(QJsonValue(QStringLiteral("77"))), WindowHandle(77));
    EXPECT_EQ(jsargs::toHandle(QJsonValue(-1)), WindowHandle(0));
    EXPECT_EQ(jsargs::toHandle(QJsonValue(1.5)), WindowHandle(0));
    EXPECT_EQ(jsargs::toHandle(QJsonValue(1e300)), WindowHandle(0));
}

TEST(WebuiWindowChrome, theDragRectangleExcludesItsBounds)
{
    const DragRect titleBar{-1, 0, -1, 60};
    EXPECT_FALSE(inDragRect(titleBar, {500, 0}));
    EXPECT_TRUE(inDragRect(titleBar, {0, 1}));
    EXPECT_TRUE(inDragRect(titleBar, {9999, 59}));
    EXPECT_FALSE(inDragRect(titleBar, {10, 60}));
    const DragRect box{10, 10, 20, 20};
    EXPECT_TRUE(inDragRect(box, {15, 15}));
    EXPECT_FALSE(inDragRect(box, {10, 15}));
    EXPECT_FALSE(inDragRect(box, {15, 20}));
    const DragRect anyY{10, -1, 20, 0};
    EXPECT_TRUE(inDragRect(anyY, {11, 5000}));
}

TEST(WebuiWindowChrome, hitTestFindsEdgesAndCornersOnlyWhenResizing)
{
    const QRect window(100, 100, 400, 300);  // x 100..499, y 100..399
    struct Case {
        QPoint point;
        int resizing;
        int dragOnly;
    } cases[] = {
        {{101, 250}, hittest::kLeft, hittest::kCaption},
        {{498, 250}, hittest::kRight, hittest::kCaption},
        {{300, 101}, hittest::kTop, hittest::kCaption},
        {{300, 398}, hittest::kBottom, hittest::kCaption},
        {{101, 101}, hittest::kTopLeft, hittest::kCaption},
        {{498, 101}, hittest::kTopRight, hittest::kCaption},
        {{101, 398}, hittest::kBottomLeft, hittest::kCaption},
        {{498, 398}, hittest::kBottomRight, hittest::kCaption},
        {{300, 250}, hittest::kCaption, hittest::kCaption},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(borderlessHitTest(window, c.point, true, true), c.resizing);
        EXPECT_EQ(borderlessHitTest(window, c.point, false, true), c.dragOnly);
        EXPECT_EQ(borderlessHitTest(window, c.point, false, false), hittest::kClient);
    }
    EXPECT_EQ(edgesForHitTest(hittest::kBottomRight), Qt::BottomEdge | Qt::RightEdge);
    EXPECT_EQ(edgesForHitTest(hittest::kCaption), Qt::Edges());
}

TEST(WebuiWindowChrome, zoomStepsThroughTheFixedLevelsAndStopsAtTheEnds)
{
    EXPECT_EQ(nextZoomLevel(100), 110);
    EXPECT_EQ(previousZoomLevel(100), 90);
    EXPECT_EQ(nextZoomLevel(300), 300);
    EXPECT_EQ(previousZoomLevel(30), 30);
    EXPECT_EQ(nextZoomLevel(133), 150);
    EXPECT_EQ(previousZoomLevel(67), 50);
    int level = 100;
    for (int i = 0; i < 20; ++i)
        level = nextZoomLevel(level);
    EXPECT_EQ(level, 300);
}

TEST(WebuiWindowChrome, centringStaysInsideTheWorkArea)
{
    const QRect work(0, 0, 1920, 1040);
    EXPECT_EQ(centredPosition({1000, 600}, QRect(), work), QPoint(460, 220));
    EXPECT_EQ(centredPosition({200, 100}, QRect(0, 0, 400, 300), work), QPoint(100, 100));
    // An owner at the right edge: the window is pushed back inside.
    EXPECT_EQ(centredPosition({400, 300}, QRect(1800, 900, 100, 100), work), QPoint(1520, 740));
    // Larger than the work area: the left and top edges win.
    EXPECT_EQ(centredPosition({3000, 2000}, QRect(), work), QPoint(0, 0));
}

TEST(WebuiBridgeProtocol, requestsAndResultsKeepTheirTypes)
{
    const bridge::Request request =
        bridge::parseRequest(bridge::encodeRequest(QStringLiteral("f"), QJsonArray{1, QStringLiteral("x"), true}));
    ASSERT_TRUE(request.valid);
    EXPECT_EQ(request.function, QStringLiteral("f"));
    EXPECT_EQ(request.args, (QJsonArray{1, QStringLiteral("x"), true}));
    EXPECT_FALSE(bridge::parseRequest(QStringLiteral("not json")).valid);
    EXPECT_FALSE(bridge::parseRequest(QStringLiteral("{\"f\": 5}")).valid);
    EXPECT_FALSE(bridge::parseRequest(QStringLiteral("[1]")).valid);
    // Which of two names would be called is not for a page to leave open.
    EXPECT_FALSE(bridge::parseRequest(QStringLiteral("{\"f\":\"a\",\"a\":[],\"\\u0066\":\"b\"}")).valid);
    EXPECT_FALSE(bridge::parseRequest(QStringLiteral("{\"f\":\"a\",\"a\":[{\"k\":1,\"k\":[]}]}")).valid);
    EXPECT_TRUE(bridge::decodeResult(QStringLiteral("{\"v\":1,\"v\":2}")).isUndefined());

    const QJsonValue values[] = {QJsonValue(1), QJsonValue(true), QJsonValue(QStringLiteral("\u2028\"")),
                                 QJsonValue(QJsonValue::Null), QJsonValue(QJsonObject{{QStringLiteral("k"), 2}}),
                                 QJsonValue(QJsonArray{1, 2})};
    for (const QJsonValue& value : values)
        EXPECT_EQ(bridge::decodeResult(bridge::encodeResult(value)), value);
    EXPECT_TRUE(bridge::decodeResult(bridge::encodeResult(QJsonValue(QJsonValue::Undefined))).isUndefined());
    EXPECT_EQ(bridge::jsString(QStringLiteral("a\"b\n")), QStringLiteral("\"a\\\"b\\n\""));
}

TEST(WebuiPageJson, orderedMembersKeepTheirOrderAndOthersAreSorted)
{
    const QJsonObject inner = OrderedObject{{QStringLiteral("z"), 1}, {QStringLiteral("a"), QJsonArray{}}}.object();
    OrderedObject outer;
    outer.add(QStringLiteral("connected "), true).add(QStringLiteral("list"), QJsonArray{inner, QJsonObject{{"y", 1}, {"b", 2}}});
    outer.add(QStringLiteral("code"), QStringLiteral("\u2028\"")).add(QStringLiteral("connected "), false);
    EXPECT_EQ(pageJson(outer), QStringLiteral(R"({"connected ":false,"list":[{"z":1,"a":[]},{"b":2,"y":1}],"code":"\u2028\""})"));
    EXPECT_EQ(memberOrder(outer.object()), (QStringList{"connected ", "list", "code"}));
    EXPECT_EQ(withoutMemberOrder(outer.object()).keys(), (QStringList{"code", "connected ", "list"}));

    // A hidden order from elsewhere (a page) only orders what is there.
    QJsonObject odd{{"b", 1}, {"a", 2}, {"c", 3}};
    odd.insert(kMemberOrderKey, QJsonArray{"c", 5, "missing", "c", kMemberOrderKey});
    EXPECT_EQ(pageJson(odd), QStringLiteral(R"({"c":3,"a":2,"b":1})"));
    EXPECT_EQ(pageJson(QJsonValue(QJsonValue::Undefined)), QStringLiteral("null"));
    EXPECT_EQ(pageJson(QJsonArray{1.5, -3, QJsonValue::Null}), QStringLiteral("[1.5,-3,null]"));

    // The bridge writes results and page calls the same way.
    EXPECT_EQ(bridge::encodeResult(inner), QStringLiteral(R"({"v":{"z":1,"a":[]}})"));
    EXPECT_EQ(bridge::decodeResult(bridge::encodeResult(inner)).toObject(), withoutMemberOrder(inner));
    EXPECT_TRUE(bridge::pageCallScript(QStringLiteral("f"), QJsonArray{inner}).contains(R"([{"z":1,"a":[]}])"));
}

TEST(WebuiUiLanguage, localesMapToWindowsLanguageIds)
{
    EXPECT_EQ(languageIdFor(QLocale(QStringLiteral("zh_CN"))), 0x0804);
    EXPECT_EQ(languageIdFor(QLocale(QStringLiteral("zh_TW"))), 0x0404);
    EXPECT_EQ(languageIdFor(QLocale(QStringLiteral("en_US"))), 0x0409);
    EXPECT_EQ(languageIdFor(QLocale(QStringLiteral("en_GB"))), 0x0809);
    EXPECT_EQ(languageIdFor(QLocale(QStringLiteral("de_DE"))), 0x0407);
    EXPECT_EQ(languageIdFor(QLocale(QStringLiteral("ja_JP"))), 0x0411);
    EXPECT_EQ(languageIdFor(QLocale::c()), 0x0409);
}

}  // namespace
