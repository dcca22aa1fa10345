#include "webui/windowmessage.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <mutex>

namespace webui {

namespace {

// Lives on the UI thread and hands each posted message to its window.
class Mailbox : public QObject {
public:
    explicit Mailbox(WindowMessageTarget* target) : m_target(target) {}
    WindowMessageTarget* target() const { return m_target; }
    bool event(QEvent* event) override
    {
        if (event->type() != WindowMessageEvent::eventType())
            return QObject::event(event);
        if (m_target)
            m_target->windowProc(static_cast<WindowMessageEvent*>(event)->message());
        return true;
    }
    void detach() { m_target = nullptr; }

private:
    WindowMessageTarget* m_target;
};

struct Entry {
    WindowHandle handle;
    Mailbox* mailbox;
};

std::mutex& registryLock()
{
    static std::mutex lock;
    return lock;
}

std::vector<Entry>& entries()
{
    static std::vector<Entry> list;
    return list;
}

Mailbox* findMailbox(WindowHandle handle)
{
    for (const Entry& entry : entries())
        if (entry.handle == handle)
            return entry.mailbox;
    return nullptr;
}

}  // namespace

QEvent::Type WindowMessageEvent::eventType()
{
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
}

WindowMessageEvent::WindowMessageEvent(WindowMessage message)
    : QEvent(eventType()), m_message(std::move(message))
{
}

WindowRegistry& WindowRegistry::instance()
{
    static WindowRegistry registry;
    return registry;
}

void WindowRegistry::add(WindowHandle handle, WindowMessageTarget* target)
{
    auto* mailbox = new Mailbox(target);
    std::lock_guard<std::mutex> guard(registryLock());
    for (Entry& entry : entries()) {
        if (entry.handle == handle) {
            entry.mailbox->detach();
            entry.mailbox->deleteLater();
            entry.mailbox = mailbox;
            return;
        }
    }
    entries().push_back({handle, mailbox});
}

void WindowRegistry::remove(WindowHandle handle)
{
    std::lock_guard<std::mutex> guard(registryLock());
    auto& list = entries();
    const auto it = std::find_if(list.begin(), list.end(), [&](const Entry& e) { return e.handle == handle; });
    if (it == list.end())
        return;
    // The window may be removing itself from inside its own message: the
    // mailbox goes later, and messages still queued for it are dropped.
    it->mailbox->detach();
    it->mailbox->deleteLater();
    list.erase(it);
}

bool WindowRegistry::contains(WindowHandle handle) const
{
    std::lock_guard<std::mutex> guard(registryLock());
    return findMailbox(handle) != nullptr;
}

WindowMessageTarget* WindowRegistry::target(WindowHandle handle) const
{
    std::lock_guard<std::mutex> guard(registryLock());
    Mailbox* mailbox = findMailbox(handle);
    return mailbox ? mailbox->target() : nullptr;
}

QObject* WindowRegistry::mailbox(WindowHandle handle) const
{
    std::lock_guard<std::mutex> guard(registryLock());
    return findMailbox(handle);
}

std::vector<WindowHandle> WindowRegistry::handles() const
{
    std::lock_guard<std::mutex> guard(registryLock());
    std::vector<WindowHandle> list;
    for (const Entry& entry : entries())
        list.push_back(entry.handle);
    return list;
}

bool postWindowMessage(WindowHandle window, WindowMessage message)
{
    // Posting under the lock keeps the mailbox alive until the event is queued;
    // deleteLater runs on the UI thread, after this returns.
    std::lock_guard<std::mutex> guard(registryLock());
    Mailbox* mailbox = findMailbox(window);
    if (!mailbox)
        return false;
    QCoreApplication::postEvent(mailbox, new WindowMessageEvent(std::move(message)));
    return true;
}

std::intptr_t sendWindowMessage(WindowHandle window, WindowMessage message)
{
    QPointer<QObject> mailbox = WindowRegistry::instance().mailbox(window);
    if (!mailbox)
        return 0;
    auto run = [&]() -> std::intptr_t {
        WindowMessageTarget* target = mailbox ? static_cast<Mailbox*>(mailbox.data())->target() : nullptr;
        return target ? target->windowProc(message) : 0;
    };
    if (mailbox->thread() == QThread::currentThread())
        return run();
    std::intptr_t result = 0;
    QMetaObject::invokeMethod(
        mailbox.data(), [&] { result = run(); }, Qt::BlockingQueuedConnection);
    return result;
}

}  // namespace webui
