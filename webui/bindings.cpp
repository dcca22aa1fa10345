#include "webui/bindings.h"

#include <QDebug>

namespace webui {

BindingRegistry& BindingRegistry::instance()
{
    static BindingRegistry* registry = new BindingRegistry;  // lives until exit, like the bindings
    return *registry;
}

void BindingRegistry::bind(const QString& name, int declaredCount, NativeFunction function)
{
    if (name.isEmpty() || !function)
        return;
    const bool isNew = m_entries.find(name) == m_entries.end();
    m_entries[name] = Entry{declaredCount, std::move(function)};
    if (isNew)
        emit nameAdded(name);
}

bool BindingRegistry::contains(const QString& name) const
{
    return m_entries.find(name) != m_entries.end();
}

int BindingRegistry::declaredCount(const QString& name) const
{
    const auto it = m_entries.find(name);
    return it == m_entries.end() ? -1 : it->second.declaredCount;
}

QStringList BindingRegistry::names() const
{
    QStringList list;
    for (const auto& entry : m_entries)
        list << entry.first;
    return list;
}

QJsonValue BindingRegistry::invoke(const QString& name, const QJsonArray& args) const
{
    const auto it = m_entries.find(name);
    if (it == m_entries.end()) {
        qDebug().noquote() << "bridge: call of unbound function" << name.left(80);
        return QJsonValue(QJsonValue::Undefined);
    }
    // Copy: the function may bind names again (createWindow does) while it runs.
    const NativeFunction function = it->second.function;
    return function(args);
}

}  // namespace webui
