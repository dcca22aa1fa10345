#include "fakewebview.h"

#include <QCoreApplication>
#include <QTimer>

namespace onlinetest {

std::vector<FakeWebView::Call> FakeWebView::callsTo(const QString& name) const
{
    std::vector<Call> matching;
    for (const Call& call : m_calls) {
        if (call.name == name)
            matching.push_back(call);
    }
    return matching;
}

int FakeWebView::callCount(const QString& name) const
{
    return static_cast<int>(callsTo(name).size());
}

void FakeWebView::callPageFunction(const QString& name, const QJsonArray& args, webui::PageResultCallback onResult)
{
    if (recordCalls)
        m_calls.push_back({name, args});
    QJsonValue result(QJsonValue::Undefined);
    auto it = functions.find(name);
    if (it != functions.end())
        result = it->second(args);
    answerLater(std::move(onResult), result);
}

void FakeWebView::runScript(const QString&, webui::PageResultCallback onResult)
{
    answerLater(std::move(onResult), QJsonValue(QJsonValue::Undefined));
}

void FakeWebView::answerLater(webui::PageResultCallback onResult, const QJsonValue& result)
{
    if (!onResult)
        return;
    QTimer::singleShot(answerDelayMs, QCoreApplication::instance(), [onResult = std::move(onResult), result] { onResult(result); });
}

}  // namespace onlinetest
