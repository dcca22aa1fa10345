#include "online/httphandler.h"

#include "online/messagebox.h"

#include <QWidget>

namespace online {

namespace {

// Kinds the back end uses for requests whose failure the user need not see.
constexpr qint32 kSilentKinds[] = {9, 10};

}  // namespace

bool isReportedKind(RequestName::Name name)
{
    for (qint32 silent : kSilentKinds) {
        if (name == silent)
            return false;
    }
    return true;
}

QString requestKindText(RequestName::Name name)
{
    switch (name) {
    case RequestName::Config: return QObject::tr("获取配置错误。");
    case RequestName::LoginQrCode: return QObject::tr("获取登录二维码。");
    case RequestName::LoginStatus: return QObject::tr("获取登录状态。");
    case RequestName::Avatar: return QObject::tr("获取头像错误。");
    case RequestName::UserInfo: return QObject::tr("获取用户信息错误。");
    case RequestName::RandomLogin: break;
    }
    if (!isReportedKind(name))
        return QString();
    return QObject::tr("未知请求出错。");
}

QString httpErrorReportText(RequestName::Name name, int error, const QString& errorMsg)
{
    return QObject::tr("请求:") + requestKindText(name) + QObject::tr("错误码:") + QString::number(error) +
           QObject::tr(", 释义: ") + errorMsg + QObject::tr(", 是否联系客服处理？: ");
}

int showHttpErrorReport(RequestName::Name name, int error, const QString& errorMsg, QWidget* parent)
{
    if (!isReportedKind(name))
        return 0;
    QWidget* owner = parent ? parent->window() : nullptr;
    showMessageBox(owner, QObject::tr("提示"), httpErrorReportText(name, error, errorMsg));
    return 0;
}

int HttpHandler::handleHttpError(RequestName::Name name, QNetworkReply::NetworkError error, const QString& errorMsg,
                                 QWidget* parent)
{
    return showHttpErrorReport(name, static_cast<int>(error), errorMsg, parent);
}

}  // namespace online
