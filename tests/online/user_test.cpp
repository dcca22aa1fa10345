// The user session: its data file, the login state the page asks for, the
// back end's replies and the page's messages.

#include "online/messagebox.h"
#include "online/user.h"
#include "online/userdatafile.h"
#include "support/testsupport.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

using online::RequestName;
using online::User;

namespace {

struct Box {
    QWidget* owner;
    QString title;
    QString text;
};

class OnlineUser : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        dataFile = m_dir.filePath(QStringLiteral("config/qzpr.x"));
        QDir().mkpath(m_dir.filePath(QStringLiteral("config")));
        documents = m_dir.filePath(QStringLiteral("Documents"));
        m_documentsEnv = std::make_unique<testsupport::ScopedEnv>("KORVANE_DOCUMENTS_DIR", documents.toUtf8());
        m_previousBox = online::setMessageBoxFunction(
            [this](QWidget* owner, const QString& title, const QString& text) { boxes.push_back({owner, title, text}); });
    }
    void TearDown() override { online::setMessageBoxFunction(m_previousBox); }

    std::unique_ptr<User> makeUser()
    {
        auto user = std::make_unique<User>(dataFile);
        user->setUrlOpener([this](const QUrl& url) {
            opened.push_back(url);
            return openResult;
        });
        return user;
    }

    QString defaultFolder() const { return documents + QStringLiteral("/驱动"); }

    static QByteArray streamBytes(const QString& text)
    {
        QByteArray bytes;
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        stream << text;
        return bytes;
    }

    static QByteArray userJson(const QString& token, qint64 expiretime)
    {
        QJsonObject object{{"username", "alice"}, {"nickname", "Ali"},         {"mobile", "123"},
                           {"token", token},      {"expiretime", expiretime}, {"user_id", 77}};
        return QJsonDocument(object).toJson(QJsonDocument::Compact);
    }

    QTemporaryDir m_dir;
    QString dataFile;
    QString documents;
    std::vector<Box> boxes;
    std::vector<QUrl> opened;
    bool openResult = true;

private:
    std::unique_ptr<testsupport::ScopedEnv> m_documentsEnv;
    online::MessageBoxFunction m_previousBox;
};

TEST_F(OnlineUser, TheDownloadFolderSurvivesARestart)
{
    {
        auto user = makeUser();
        EXPECT_EQ(user->downDir(QJsonArray{QStringLiteral("/srv/驱动 包")}), QJsonValue(true));
        EXPECT_TRUE(user->save());
    }
    // One QString in a default QDataStream: a big-endian byte count, then UTF-16BE.
    EXPECT_EQ(testsupport::readFile(dataFile), streamBytes(QStringLiteral("/srv/驱动 包")));
    auto user = makeUser();
    EXPECT_EQ(user->record().saveFolder, QStringLiteral("/srv/驱动 包"));
}

TEST_F(OnlineUser, DamagedOrMissingDataFilesGiveTheDefaultFolder)
{
    const QByteArray good = streamBytes(QStringLiteral("/somewhere"));
    struct Case {
        const char* name;
        std::optional<QByteArray> contents;
    };
    const Case cases[] = {
        {"missing", std::nullopt},
        {"empty", QByteArray()},
        {"short count", QByteArray("\0\0", 2)},
        {"truncated text", good.left(good.size() - 3)},
        {"odd byte count", QByteArray("\0\0\0\x03" "abc", 7)},
        {"null string", QByteArray("\xff\xff\xff\xff", 4)},
        {"empty string", QByteArray("\0\0\0\0", 4)},
        {"huge", QByteArray(1 << 20, '\x7f')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(dataFile);
        if (c.contents) {
            ASSERT_TRUE(testsupport::writeFile(dataFile, *c.contents));
        }
        QDir(defaultFolder()).removeRecursively();
        auto user = makeUser();
        EXPECT_TRUE(user->record().saveFolder.isEmpty());
        EXPECT_FALSE(user->record().avatar.isNull());
        EXPECT_EQ(user->downloadFolder(), defaultFolder());
        EXPECT_TRUE(QFileInfo(defaultFolder()).isDir());
    }
}

TEST_F(OnlineUser, ANullFolderRoundTripsAsTheDefault)
{
    ASSERT_TRUE(online::writeUserDataFile(dataFile, QString()));
    EXPECT_EQ(testsupport::readFile(dataFile), QByteArray("\xff\xff\xff\xff", 4));
    const auto stored = online::readUserDataFile(dataFile);
    ASSERT_TRUE(stored.has_value());
    EXPECT_TRUE(stored->isNull());
    auto user = makeUser();
    EXPECT_EQ(user->downDir(QJsonArray()), QJsonValue(defaultFolder()));
}

TEST_F(OnlineUser, ReadersNeverSeeAHalfWrittenFileAndACrashKeepsTheLastOne)
{
    // Two folders of different lengths, so a torn write cannot pass for one.
    const QString first = QStringLiteral("/srv/") + QString(3000, QLatin1Char('a'));
    const QString second = QStringLiteral("/home/user/驱动");
    const QByteArray firstBytes = streamBytes(first);
    const QByteArray secondBytes = streamBytes(second);
    ASSERT_TRUE(online::writeUserDataFile(dataFile, first));

    const auto startWriter = [&](QProcess& writer) {
        writer.setProcessChannelMode(QProcess::ForwardedChannels);
        writer.start(QStringLiteral(KORVANE_ONLINE_CHILD), {QStringLiteral("save-user-data"), dataFile, first, second});
        ASSERT_TRUE(writer.waitForStarted(30000));
        // Racing for real: the other process has replaced the file at least once.
        ASSERT_TRUE(testsupport::waitFor(
            [&] { return online::readUserDataFile(dataFile).value_or(first) != first; }, std::chrono::seconds(30)));
    };

    QProcess writer;
    startWriter(writer);
    int unreadable = 0;
    int foreign = 0;
    for (int read = 0; read < 5000; ++read) {
        const std::optional<QString> stored = online::readUserDataFile(dataFile);
        if (!stored)
            ++unreadable;
        else if (*stored != first && *stored != second)
            ++foreign;
    }
    EXPECT_EQ(unreadable, 0);
    EXPECT_EQ(foreign, 0);

    // Killed in the middle of its work, again and again: the file always holds
    // one complete save.
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        if (round > 0)
            startWriter(writer);
        ::usleep(static_cast<useconds_t>(1000 + round * 1700));
        ASSERT_EQ(::kill(static_cast<pid_t>(writer.processId()), SIGKILL), 0);
        ASSERT_TRUE(writer.waitForFinished(30000));
        const QByteArray bytes = testsupport::readFile(dataFile);
        EXPECT_TRUE(bytes == firstBytes || bytes == secondBytes) << bytes.size() << " bytes";
    }
}

TEST_F(OnlineUser, DownDirReadsSetsAndIgnoresOtherValues)
{
    auto user = makeUser();
    EXPECT_FALSE(QFileInfo::exists(defaultFolder()));
    EXPECT_EQ(user->downDir(QJsonArray()), QJsonValue(defaultFolder()));
    EXPECT_TRUE(QFileInfo(defaultFolder()).isDir());

    EXPECT_TRUE(user->downDir(QJsonArray{12}).isUndefined());
    EXPECT_TRUE(user->downDir(QJsonArray{QJsonValue::Null}).isUndefined());
    EXPECT_EQ(user->record().saveFolder, defaultFolder());

    const QString chosen = m_dir.filePath(QStringLiteral("chosen"));
    EXPECT_EQ(user->downDir(QJsonArray{chosen}), QJsonValue(true));
    EXPECT_FALSE(QFileInfo::exists(chosen)) << "setting the folder must not create it";
    EXPECT_EQ(user->downDir(QJsonArray()), QJsonValue(chosen));
    EXPECT_TRUE(QFileInfo(chosen).isDir());
    // Reaches the disk with the next write of the data file.
    user->logout();
    EXPECT_EQ(online::readUserDataFile(dataFile).value_or(QString()), chosen);
}

TEST_F(OnlineUser, TheLoginHoldsOnlyWithATokenBeforeItsExpiry)
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    struct Case {
        const char* name;
        QString token;
        qint64 expiretime;
        bool loggedIn;
    };
    const Case cases[] = {
        {"valid", QStringLiteral("t"), now + 3600, true},
        {"expired", QStringLiteral("t"), now - 10, false},
        {"no token", QString(), now + 3600, false},
        {"no expiry", QStringLiteral("t"), 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto user = makeUser();
        user->setUserData(QString::fromUtf8(userJson(c.token, c.expiretime)));
        EXPECT_EQ(user->isLogin(), c.loggedIn);
        EXPECT_EQ(user->record().username, QStringLiteral("alice"));
        EXPECT_EQ(user->record().nickname, QStringLiteral("Ali"));
        EXPECT_EQ(user->record().user_id, 77);
    }
}

TEST_F(OnlineUser, EmptyOrBrokenUserDataLogsOutAndRewritesTheFile)
{
    const qint64 later = QDateTime::currentSecsSinceEpoch() + 3600;
    for (const QString& text : {QString(), QStringLiteral("not json"), QStringLiteral("null")}) {
        SCOPED_TRACE(text.toStdString());
        auto user = makeUser();
        user->downDir(QJsonArray{QStringLiteral("/kept")});
        user->setUserData(QString::fromUtf8(userJson(QStringLiteral("t"), later)));
        ASSERT_TRUE(user->isLogin());
        QFile::remove(dataFile);
        user->setUserData(text);
        EXPECT_FALSE(user->isLogin());
        EXPECT_TRUE(user->record().username.isEmpty());
        EXPECT_TRUE(user->record().token.isEmpty());
        EXPECT_EQ(user->record().expiretime, 0);
        EXPECT_EQ(user->record().user_id, 0);
        EXPECT_EQ(online::readUserDataFile(dataFile).value_or(QString()), QStringLiteral("/kept"));
    }
}

TEST_F(OnlineUser, AGoodConfigurationIsKeptAndAnnounced)
{
    auto user = makeUser();
    std::vector<QJsonValue> announced;
    QObject::connect(user.get(), &User::configReceived, [&](const QJsonValue& value) { announced.push_back(value); });
    const QByteArray reply =
        R"({"code":1,"data":{"kefu":"https://help.example/chat","learningPage":"https://learn.example/",)"
        R"("international":{"contact":{"show":true}},"other":5}})";
    user->handleHttpResponse(RequestName::Config, reply);
    ASSERT_EQ(announced.size(), 1u);
    const QJsonValue international = announced[0];
    EXPECT_EQ(international.toObject().value(QStringLiteral("contact")).toObject().value(QStringLiteral("show")),
              QJsonValue(true));
    EXPECT_EQ(user->record().kefu, QStringLiteral("https://help.example/chat"));
    EXPECT_EQ(user->record().learningPage, QStringLiteral("https://learn.example/"));
    EXPECT_EQ(user->config().toObject().value(QStringLiteral("other")), QJsonValue(5));
    EXPECT_TRUE(boxes.empty());

    EXPECT_EQ(user->eMsg(QJsonArray{QStringLiteral("service")}), QJsonValue(true));
    EXPECT_EQ(user->eMsg(QJsonArray{QStringLiteral("tutorial")}), QJsonValue(true));
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("https://help.example/chat")));
    EXPECT_EQ(opened[1], QUrl(QStringLiteral("https://learn.example/")));
}

TEST_F(OnlineUser, BadBackEndRepliesAreReportedOverTheMainWindow)
{
    QWidget mainWindow;
    struct Case {
        RequestName::Name name;
        QByteArray reply;
        QString text;
    };
    const Case cases[] = {
        {RequestName::Config, R"({"code":0,"msg":"bad sign"})",
         QStringLiteral("请求:获取配置错误。错误码:0, 释义: bad sign, 是否联系客服处理？: ")},
        {RequestName::RandomLogin, R"({"code":-3,"msg":"expired"})",
         QStringLiteral("请求:未知请求出错。错误码:-3, 释义: expired, 是否联系客服处理？: ")},
        {RequestName::Config, "not json", QStringLiteral("请求:获取配置错误。错误码:0, 释义: , 是否联系客服处理？: ")},
    };
    for (const Case& c : cases) {
        boxes.clear();
        auto user = makeUser();
        user->setMainWindow(&mainWindow);
        int announced = 0;
        QObject::connect(user.get(), &User::configReceived, [&] { ++announced; });
        user->handleHttpResponse(c.name, c.reply);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].owner, &mainWindow);
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(announced, 0);
        EXPECT_TRUE(user->config().isNull());
    }
    // Whatever parent a caller passes, the main window owns the report.
    auto user = makeUser();
    user->setMainWindow(&mainWindow);
    QWidget other;
    boxes.clear();
    user->handleHttpError(RequestName::Avatar, QNetworkReply::TimeoutError, QStringLiteral("t"), &other);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, &mainWindow);
}

TEST_F(OnlineUser, ARandomLoginReplyLogsIn)
{
    auto user = makeUser();
    const qint64 later = QDateTime::currentSecsSinceEpoch() + 3600;
    user->handleHttpResponse(RequestName::RandomLogin,
                             "{\"code\":1,\"data\":" + userJson(QStringLiteral("fresh"), later) + "}");
    EXPECT_TRUE(user->isLogin());
    EXPECT_EQ(user->record().token, QStringLiteral("fresh"));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(OnlineUser, AvatarRepliesThatDoNotDecodeKeepADefaultPicture)
{
    auto user = makeUser();
    QImage image(5, 3, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    user->handleHttpResponse(RequestName::Avatar, png);
    EXPECT_EQ(user->record().avatar.size(), QSize(5, 3));

    user->handleHttpResponse(RequestName::Avatar, "garbage");
    const QPixmap fallback(QString::fromLatin1(User::kDefaultAvatar));
    ASSERT_FALSE(fallback.isNull());
    EXPECT_EQ(user->record().avatar.size(), fallback.size());

    user->handleHttpResponse(RequestName::UserInfo, "ignored");
    EXPECT_TRUE(boxes.empty());
}

TEST_F(OnlineUser, PageMessagesDoWhatTheyName)
{
    auto user = makeUser();
    int scans = 0;
    int loads = 0;
    QObject::connect(user.get(), &User::scanRequested, [&] { ++scans; });
    QObject::connect(user.get(), &User::pageLoaded, [&] { ++loads; });

    EXPECT_TRUE(user->eMsg(QJsonArray()).isUndefined());
    EXPECT_TRUE(user->eMsg(QJsonArray{3}).isUndefined());

    // No configuration and no link yet: the fixed chat page.
    EXPECT_EQ(user->eMsg(QJsonArray{QStringLiteral("service")}), QJsonValue(true));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].host(), QStringLiteral("service.korvane.example"));

    EXPECT_EQ(user->eMsg(QJsonArray{QStringLiteral("scan")}), QJsonValue(true));
    EXPECT_EQ(user->eMsg(QJsonArray{QStringLiteral("loadedjs")}), QJsonValue(true));
    EXPECT_EQ(scans, 1);
    EXPECT_EQ(loads, 1);

    opened.clear();
    EXPECT_EQ(user->eMsg(QJsonArray{QStringLiteral("whatever")}), QJsonValue(true));
    EXPECT_EQ(user->eMsg(QJsonArray{QStringLiteral("Service")}), QJsonValue(true));
    EXPECT_TRUE(opened.empty());

    EXPECT_EQ(user->eMsg(QJsonArray{QStringLiteral("saveFolder")}), QJsonValue(true));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl::fromLocalFile(defaultFolder()));
    EXPECT_TRUE(QFileInfo(defaultFolder()).isDir());
    openResult = false;
    EXPECT_EQ(user->eMsg(QJsonArray{QStringLiteral("saveFolder")}), QJsonValue(false));
}

TEST_F(OnlineUser, LinksFromTheBackEndOpenOnlyAsWebPages)
{
    auto user = makeUser();
    user->handleHttpResponse(RequestName::Config,
                             R"({"code":1,"data":{"kefu":"file:///usr/bin/xterm","learningPage":""}})");
    EXPECT_EQ(user->eMsg(QJsonArray{QStringLiteral("service")}), QJsonValue(true));
    EXPECT_EQ(user->eMsg(QJsonArray{QStringLiteral("tutorial")}), QJsonValue(true));
    EXPECT_TRUE(opened.empty());
}

TEST_F(OnlineUser, TheDefaultAvatarShipsWithTheProgram)
{
    auto user = makeUser();
    EXPECT_TRUE(QFile::exists(QString::fromLatin1(User::kDefaultAvatar)));
    EXPECT_FALSE(user->record().avatar.isNull());
    EXPECT_EQ(qobject_cast<online::HttpHandler*>(user.get()), static_cast<online::HttpHandler*>(user.get()));
}

}  // namespace
