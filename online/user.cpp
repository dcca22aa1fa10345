#include "online/user.h"

#include "i18n/international.h"
#include "online/backendhosts.h"
#include "online/networkhelper.h"
#include "online/userdatafile.h"
#include "sysutil/paths.h"
#include "sysutil/strictjson.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QVariant>
#include <cstdio>

// The resources of a static library have to be registered by hand.
static void initOnlineResources()
{
    Q_INIT_RESOURCE(online);
}

namespace online {

namespace {

void saveAtExit()
{
    User::instance().save();
}

bool openWithDesktop(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

}  // namespace

QString defaultDownloadFolder()
{
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        documents = QDir::homePath();
    return sysutil::envPath("KORVANE_DOCUMENTS_DIR", documents) + QStringLiteral("/驱动");
}

User& User::instance()
{
    // Never destroyed: its pixmap must not outlive the application object.
    // The last write of the data file happens as the application goes away.
    static User* const user = [] {
        auto* created = new User(defaultUserDataFilePath());
        qAddPostRoutine(saveAtExit);
        return created;
    }();
    return *user;
}

User::User(const QString& dataFilePath, QObject* parent)
    : QObject(parent), m_dataFilePath(dataFilePath), m_openUrl(openWithDesktop)
{
    initOnlineResources();
    if (const std::optional<QString> stored = readUserDataFile(m_dataFilePath))
        m_record.saveFolder = *stored;
    // Also with a good data file: nothing else would ever give a fresh
    // session its picture.
    loadDefaultAvatar();
}

User::~User()
{
    save();
}

void User::start()
{
    i18n::International& language = i18n::International::instance();
    if (language.isInternational())
        NetworkHelper::instance().randomLogin(m_record.token, this);
}

void User::loadDefaultAvatar()
{
    if (m_record.avatar.isNull())
        m_record.avatar.load(QString::fromLatin1(kDefaultAvatar));
}

bool User::setUserInfo(const QJsonValue& info)
{
    const QJsonObject object = info.toObject();
    m_record.username = object.value(QLatin1String("username")).toString();
    m_record.nickname = object.value(QLatin1String("nickname")).toString();
    m_record.mobile = object.value(QLatin1String("mobile")).toString();
    m_record.token = object.value(QLatin1String("token")).toString();
    m_record.expiretime = object.value(QLatin1String("expiretime")).toInt();
    m_record.user_id = object.value(QLatin1String("user_id")).toInt();
    return save();
}

void User::logout()
{
    m_record.username.clear();
    m_record.nickname.clear();
    m_record.mobile.clear();
    m_record.token.clear();
    m_record.user_id = 0;
    m_record.expiretime = 0;
    save();
}

bool User::isLogined() const
{
    return m_record.expiretime != 0 && !m_record.token.isEmpty() &&
           QDateTime::currentSecsSinceEpoch() < static_cast<qint64>(m_record.expiretime);
}

bool User::save()
{
    const bool ok = writeUserDataFile(m_dataFilePath, m_record.saveFolder);
    if (!ok)
        std::fprintf(stderr, "user: cannot write %s\n", qPrintable(m_dataFilePath));
    return ok;
}

QString User::downloadFolderPath() const
{
    return m_record.saveFolder.isEmpty() ? defaultDownloadFolder() : m_record.saveFolder;
}

QString User::downloadFolder()
{
    if (m_record.saveFolder.isEmpty())
        m_record.saveFolder = defaultDownloadFolder();
    QDir(m_record.saveFolder).mkpath(QStringLiteral("."));
    return m_record.saveFolder;
}

void User::setUserData(const QString& text)
{
    if (text.isEmpty()) {
        logout();
        return;
    }
    const QJsonDocument document = sysutil::parseJson(text.toUtf8());
    const QJsonValue value = QJsonValue::fromVariant(document.toVariant());
    if (value.isNull() || value.isUndefined())
        logout();
    else
        setUserInfo(value);
}

QJsonValue User::eMsg(const QJsonArray& args)
{
    if (!args.at(0).isString())
        return QJsonValue(QJsonValue::Undefined);
    const QString command = args.at(0).toString();
    if (command == QLatin1String("service")) {
        QString link;
        if (!m_config.isNull() && !m_config.isUndefined())
            link = m_config.toObject().value(QLatin1String("kefu")).toString();
        else if (!m_record.kefu.isEmpty())
            link = m_record.kefu;
        else
            link = QString::fromUtf8(kServiceChatUrl);
        openWebPage(link);
    } else if (command == QLatin1String("tutorial")) {
        openWebPage(m_record.learningPage);
    } else if (command == QLatin1String("scan")) {
        emit scanRequested();
    } else if (command == QLatin1String("saveFolder")) {
        return m_openUrl(QUrl::fromLocalFile(downloadFolder()));
    } else if (command == QLatin1String("loadedjs")) {
        emit pageLoaded();
    }
    return true;
}

bool User::openWebPage(const QString& link)
{
    // Links come from the back end; only web pages are handed to the desktop.
    const QUrl url(link);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        std::fprintf(stderr, "user: not opening \"%s\": not a web page\n", qPrintable(link.left(200)));
        return false;
    }
    return m_openUrl(url);
}

QJsonValue User::downDir(const QJsonArray& args)
{
    const QJsonValue first = args.at(0);
    if (first.isUndefined())
        return downloadFolder();
    if (!first.isString())
        return QJsonValue(QJsonValue::Undefined);
    m_record.saveFolder = first.toString();
    return true;
}

int User::handleHttpError(RequestName::Name name, QNetworkReply::NetworkError error, const QString& errorMsg,
                          QWidget* /*parent*/)
{
    return showHttpErrorReport(name, static_cast<int>(error), errorMsg, m_mainWindow.data());
}

void User::handleHttpResponse(RequestName::Name name, const QByteArray& data)
{
    switch (name) {
    case RequestName::Avatar:
        if (!m_record.avatar.loadFromData(data)) {
            m_record.avatar = QPixmap();
            loadDefaultAvatar();
        }
        break;
    case RequestName::RandomLogin: handleRandomLogin(data); break;
    case RequestName::Config: handleConfig(data); break;
    default: break;
    }
}

void User::handleRandomLogin(const QByteArray& data)
{
    const QJsonObject reply = sysutil::parseJson(data).object();
    const int code = reply.value(QLatin1String("code")).toInt();
    if (code == 1)
        setUserInfo(reply.value(QLatin1String("data")));
    else
        handleHttpError(RequestName::RandomLogin, static_cast<QNetworkReply::NetworkError>(code),
                        reply.value(QLatin1String("msg")).toString());
}

void User::handleConfig(const QByteArray& data)
{
    const QJsonObject reply = sysutil::parseJson(data).object();
    const int code = reply.value(QLatin1String("code")).toInt();
    if (code != 1) {
        handleHttpError(RequestName::Config, static_cast<QNetworkReply::NetworkError>(code),
                        reply.value(QLatin1String("msg")).toString());
        return;
    }
    m_config = reply.value(QLatin1String("data"));
    const QJsonObject config = m_config.toObject();
    m_record.kefu = config.value(QLatin1String("kefu")).toString();
    m_record.learningPage = config.value(QLatin1String("learningPage")).toString();
    m_international = config.value(QLatin1String("international"));
    emit configReceived(m_international);
}

}  // namespace online
