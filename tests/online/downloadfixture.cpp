#include "downloadfixture.h"

#include "online/networkhelper.h"
#include "support/testsupport.h"

#include <QDir>
#include <QJsonArray>
#include <QNetworkProxy>

namespace onlinetest {

DownloadFixture::DownloadFixture(const QString& folderName)
    : folder(m_dir.filePath(folderName))
    , manager([this] {
        QDir().mkpath(folder);
        return folder;
    })
{
}

void DownloadFixture::SetUp()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    ASSERT_TRUE(m_dir.isValid());
    ASSERT_TRUE(server.isListening());
    freshPage();
    m_previousBox = online::setMessageBoxFunction([this](QWidget* owner, const QString& title, const QString& text) {
        boxes.push_back({ owner, title, text });
    });
}

void DownloadFixture::TearDown()
{
    manager.removeWebstroage(&view, kWindowType);
    online::setMessageBoxFunction(m_previousBox);
    online::NetworkHelper::instance().setTransferTimeoutMs(online::NetworkHelper::kDefaultTransferTimeoutMs);
}

void DownloadFixture::freshPage()
{
    manager.removeWebstroage(&view, kWindowType);
    view = FakeWebView();
    view.functions[QStringLiteral("onProgress")] = [](const QJsonArray&) { return QJsonValue(true); };
    manager.addWebstroage(&view, kWindowType);
}

int DownloadFixture::down(const QString& url, const QString& fallback, int windowType)
{
    return manager.Down(
        QJsonArray { url, QStringLiteral("onProgress"), QStringLiteral("onFinish"), fallback, windowType });
}

std::vector<FakeWebView::Call> DownloadFixture::settle(FakeWebView& target, int finishes)
{
    EXPECT_TRUE(testsupport::waitFor(
        [&] { return target.callCount(QStringLiteral("onFinish")) >= finishes; }, std::chrono::seconds(60)));
    EXPECT_TRUE(testsupport::waitFor([&] { return manager.liveDownloaders() == 0; }, std::chrono::seconds(30)));
    return target.callsTo(QStringLiteral("onFinish"));
}

QStringList DownloadFixture::entries() const
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

void DownloadFixture::expectFinish(const FakeWebView::Call& call, int code, const QString& path, const QString& message)
{
    ASSERT_EQ(call.args.size(), 3);
    EXPECT_EQ(call.args.at(0).toInt(-99), code);
    EXPECT_EQ(call.args.at(1).toString(), path);
    EXPECT_EQ(call.args.at(2).toString(), message);
}

} // namespace onlinetest
