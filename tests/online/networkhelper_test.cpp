// The back-end client: tagged requests reaching their handler, the headers the
// back end sees, and the error report the user is shown.

#include "i18n/international.h"
#include "loopbackhttpserver.h"
#include "online/httphandler.h"
#include "online/messagebox.h"
#include "online/networkhelper.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPointer>
#include <QWidget>
#include <gtest/gtest.h>

using online::NetworkHelper;
using online::RequestName;
using onlinetest::LoopbackHttpServer;

namespace {

struct Box {
    QWidget* owner;
    QString title;
    QString text;
};

// Collects the boxes shown while it lives.
class BoxRecorder {
public:
    BoxRecorder()
    {
        m_previous = online::setMessageBoxFunction(
            [this](QWidget* owner, const QString& title, const QString& text) { boxes.push_back({owner, title, text}); });
    }
    ~BoxRecorder() { online::setMessageBoxFunction(m_previous); }
    std::vector<Box> boxes;

private:
    online::MessageBoxFunction m_previous;
};

class RecordingHandler : public QObject, public online::HttpHandler {
    Q_OBJECT
    Q_INTERFACES(online::HttpHandler)
public:
    struct Response {
        RequestName::Name name;
        QByteArray data;
    };
    struct Error {
        RequestName::Name name;
        QNetworkReply::NetworkError error;
        QString message;
    };
    void handleHttpResponse(RequestName::Name name, const QByteArray& data) override
    {
        responses.push_back({name, data});
    }
    int handleHttpError(RequestName::Name name, QNetworkReply::NetworkError error, const QString& errorMsg,
                        QWidget* parent) override
    {
        errors.push_back({name, error, errorMsg});
        return online::HttpHandler::handleHttpError(name, error, errorMsg, parent);
    }
    std::vector<Response> responses;
    std::vector<Error> errors;
};

class OnlineBackend : public ::testing::Test {
protected:
    void SetUp() override
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        ASSERT_TRUE(server.isListening());
        m_previousBase = NetworkHelper::instance().backendBase();
        NetworkHelper::instance().setBackendBase(QUrl(server.url(QString())));
    }
    void TearDown() override
    {
        NetworkHelper::instance().setBackendBase(m_previousBase);
        NetworkHelper::instance().setTransferTimeoutMs(NetworkHelper::kDefaultTransferTimeoutMs);
    }

    LoopbackHttpServer server;
    BoxRecorder recorder;
    RecordingHandler handler;

private:
    QUrl m_previousBase;
};

const QByteArray kLoginPath = "/api/driver/user/randomlogin";

TEST(OnlineErrorReport, NamesTheRequestKindCodeAndReason)
{
    struct Case {
        qint32 name;
        QString kind;
    };
    const Case cases[] = {
        {0, QStringLiteral("获取配置错误。")},  {3, QStringLiteral("获取登录二维码。")},
        {4, QStringLiteral("获取登录状态。")},  {5, QStringLiteral("获取头像错误。")},
        {6, QStringLiteral("获取用户信息错误。")}, {8, QStringLiteral("未知请求出错。")},
        {1, QStringLiteral("未知请求出错。")},  {7, QStringLiteral("未知请求出错。")},
        {42, QStringLiteral("未知请求出错。")}, {-1, QStringLiteral("未知请求出错。")},
    };
    for (const Case& c : cases) {
        BoxRecorder recorder;
        RecordingHandler handler;
        const auto name = static_cast<RequestName::Name>(c.name);
        EXPECT_EQ(handler.online::HttpHandler::handleHttpError(name, QNetworkReply::ContentNotFoundError,
                                                               QStringLiteral("Not Found")),
                  0);
        ASSERT_EQ(recorder.boxes.size(), 1u) << c.name;
        EXPECT_EQ(recorder.boxes[0].title, QStringLiteral("提示"));
        EXPECT_EQ(recorder.boxes[0].owner, nullptr);
        EXPECT_EQ(recorder.boxes[0].text,
                  QStringLiteral("请求:") + c.kind + QStringLiteral("错误码:203, 释义: Not Found, 是否联系客服处理？: "));
    }
}

TEST(OnlineErrorReport, KindsNineAndTenStaySilent)
{
    for (qint32 name : {9, 10}) {
        BoxRecorder recorder;
        RecordingHandler handler;
        EXPECT_EQ(handler.online::HttpHandler::handleHttpError(static_cast<RequestName::Name>(name),
                                                               QNetworkReply::HostNotFoundError, QStringLiteral("x")),
                  0);
        EXPECT_TRUE(recorder.boxes.empty()) << name;
    }
}

TEST(OnlineErrorReport, IsOwnedByTheParentsWindow)
{
    BoxRecorder recorder;
    QWidget window;
    QWidget* child = new QWidget(&window);
    RecordingHandler handler;
    handler.online::HttpHandler::handleHttpError(RequestName::Avatar, QNetworkReply::TimeoutError, QString(), child);
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].owner, &window);
    EXPECT_EQ(recorder.boxes[0].text, QStringLiteral("请求:获取头像错误。错误码:4, 释义: , 是否联系客服处理？: "));
}

TEST(OnlineErrorReport, TheInterfaceIsFoundByItsId)
{
    RecordingHandler handler;
    QObject* object = &handler;
    EXPECT_EQ(qobject_cast<online::HttpHandler*>(object), static_cast<online::HttpHandler*>(&handler));
    EXPECT_EQ(object->qt_metacast("HttpHandler"), static_cast<void*>(static_cast<online::HttpHandler*>(&handler)));
}

TEST_F(OnlineBackend, RandomLoginSendsLanguageAndTokenAndDeliversTheBody)
{
    const QByteArray body = R"({"code":1,"data":{"nickname":"n"}})";
    server.setFixedResponse(kLoginPath, 200, body);
    NetworkHelper::instance().randomLogin(QStringLiteral("tok-ä"), &handler);

    ASSERT_EQ(handler.responses.size(), 1u);
    EXPECT_EQ(handler.responses[0].name, RequestName::RandomLogin);
    EXPECT_EQ(handler.responses[0].data, body);
    EXPECT_TRUE(handler.errors.empty());
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, kLoginPath);
    EXPECT_EQ(requests[0].headers.value("accept-language"),
              i18n::International::instance().languageCode().toUtf8());
    EXPECT_EQ(requests[0].headers.value("token"), QStringLiteral("tok-ä").toUtf8());
}

TEST_F(OnlineBackend, AnEmptyTokenSendsNoTokenHeader)
{
    server.setFixedResponse(kLoginPath, 200, "{}");
    NetworkHelper::instance().randomLogin(QString(), &handler);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_FALSE(requests[0].headers.contains("token"));
    EXPECT_EQ(handler.responses.size(), 1u);
}

TEST_F(OnlineBackend, AFailedRequestReachesTheHandlersErrorReport)
{
    server.setFixedResponse(kLoginPath, 500, "boom");
    NetworkHelper::instance().randomLogin(QStringLiteral("t"), &handler);
    ASSERT_EQ(handler.errors.size(), 1u);
    EXPECT_EQ(handler.errors[0].name, RequestName::RandomLogin);
    EXPECT_EQ(handler.errors[0].error, QNetworkReply::InternalServerError);
    EXPECT_TRUE(handler.responses.empty());
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_TRUE(recorder.boxes[0].text.startsWith(QStringLiteral("请求:未知请求出错。错误码:401, 释义: ")))
        << recorder.boxes[0].text.toStdString();
}

TEST_F(OnlineBackend, ASilentBackEndDoesNotHoldTheLoginForEver)
{
    NetworkHelper::instance().setTransferTimeoutMs(1000);
    server.setFixedResponse(kLoginPath, 0, QByteArray());  // never answers
    NetworkHelper::instance().randomLogin(QStringLiteral("t"), &handler);
    ASSERT_EQ(handler.errors.size(), 1u);
    EXPECT_EQ(handler.errors[0].name, RequestName::RandomLogin);
    EXPECT_NE(handler.errors[0].error, QNetworkReply::NoError);
}

TEST_F(OnlineBackend, RepliesPastOneMebibyteAreStoppedAndReportedAsFailures)
{
    constexpr qint64 limit = NetworkHelper::kMaxBackendReplyBytes;
    const QByteArray big(static_cast<int>(limit) + 1, 'a');
    const QByteArray huge(100 * 1024 * 1024, 'b');
    struct Case {
        const char* name;
        QByteArray response;
        bool accepted;
    };
    const auto raw = [](const QByteArray& headers, const QByteArray& body) -> QByteArray {
        return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n" + headers + "Connection: close\r\n\r\n" +
               body;
    };
    const auto length = [](const QByteArray& body) -> QByteArray {
        return "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    };
    const QByteArray exact(static_cast<int>(limit), 'c');
    const Case cases[] = {
        {"exactly the limit", raw(length(exact), exact), true},
        {"one byte more, announced", raw(length(big), big), false},
        {"one byte more, until close", raw(QByteArray(), big), false},
        {"100 MB, announced", raw(length(huge), huge), false},
        {"100 MB, until close", raw(QByteArray(), huge), false},
    };
    // No transfer timeout to fall back on: a reply that stalls at its buffer
    // instead of being stopped hangs the test (and the ctest time-out fails it).
    NetworkHelper::instance().setTransferTimeoutMs(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingHandler caseHandler;
        BoxRecorder caseBoxes;
        server.setRawResponse(kLoginPath, c.response);
        NetworkHelper::instance().randomLogin(QStringLiteral("t"), &caseHandler);
        if (c.accepted) {
            ASSERT_EQ(caseHandler.responses.size(), 1u);
            EXPECT_EQ(caseHandler.responses[0].data.size(), limit);
            EXPECT_TRUE(caseHandler.errors.empty());
            continue;
        }
        EXPECT_TRUE(caseHandler.responses.empty());
        ASSERT_EQ(caseHandler.errors.size(), 1u);
        EXPECT_EQ(caseHandler.errors[0].name, RequestName::RandomLogin);
        EXPECT_EQ(caseHandler.errors[0].error, QNetworkReply::UnknownContentError);
        ASSERT_EQ(caseBoxes.boxes.size(), 1u);
        EXPECT_TRUE(caseBoxes.boxes[0].text.startsWith(QStringLiteral("请求:未知请求出错。错误码:299, 释义: ")))
            << caseBoxes.boxes[0].text.toStdString();
    }
}

// Stands in for a downloader: the slots startGet connects to.
class Receiver : public QObject {
    Q_OBJECT
public:
    bool finished = false;
    QByteArray data;
public slots:
    void handleHttpFinished() { finished = true; }
    void handleHttpReadyRead() { data += qobject_cast<QNetworkReply*>(sender())->readAll(); }
    void handleProgress(qlonglong, qlonglong) {}
};

TEST_F(OnlineBackend, ADownloadReplyIsLeftToItsReceiver)
{
    Receiver receiver;
    QPointer<QNetworkReply> reply =
        NetworkHelper::instance().startGet(server.url(QStringLiteral("/file/x.bin?size=5000")), {}, &receiver);
    ASSERT_TRUE(testsupport::waitFor([&] { return receiver.finished; }, std::chrono::seconds(30)));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    EXPECT_FALSE(reply.isNull()) << "handleResponse released a reply it does not own";
    EXPECT_TRUE(receiver.data == LoopbackHttpServer::content(5000));
    EXPECT_TRUE(handler.responses.empty());
    delete reply.data();
}

TEST_F(OnlineBackend, ExtraHeadersOfADownloadAreSent)
{
    Receiver receiver;
    QNetworkReply* reply = NetworkHelper::instance().startGet(server.url(QStringLiteral("/file/y.bin?size=10")),
                                                              {{QStringLiteral("X-Test"), QStringLiteral("ü")}},
                                                              &receiver);
    ASSERT_TRUE(testsupport::waitFor([&] { return receiver.finished; }, std::chrono::seconds(30)));
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].headers.value("x-test"), QStringLiteral("ü").toUtf8());
    delete reply;
}

TEST(OnlineBackendHost, ConfiguredHostsBecomeRequestBases)
{
    EXPECT_EQ(NetworkHelper::parseHost(QStringLiteral("https://api.example")).toString(),
              QStringLiteral("https://api.example"));
    EXPECT_EQ(NetworkHelper::parseHost(QStringLiteral("api.example")).toString(),
              QStringLiteral("https://api.example"));
    EXPECT_EQ(NetworkHelper::parseHost(QStringLiteral("http://127.0.0.1:8080/x?y")).toString(),
              QStringLiteral("http://127.0.0.1:8080"));
}

}  // namespace

#include "networkhelper_test.moc"
