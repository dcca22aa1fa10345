#pragma once
// The process-wide table of native functions that pages call by name. Binding
// a name again replaces the earlier function (each new window binds the
// framework functions with itself), and every web view, whenever its page was
// loaded, exposes every name in the table.

#include "webui/webview.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <map>

namespace webui {

class BindingRegistry : public QObject {
    Q_OBJECT
public:
    static BindingRegistry& instance();

    void bind(const QString& name, int declaredCount, NativeFunction function);
    bool contains(const QString& name) const;
    int declaredCount(const QString& name) const;  // -1 when unbound
    QStringList names() const;

    // Runs the function now (UI thread). An unbound name answers undefined.
    QJsonValue invoke(const QString& name, const QJsonArray& args) const;

signals:
    // A name that was not bound before; views add it to their current page.
    void nameAdded(const QString& name);

private:
    BindingRegistry() = default;
    struct Entry {
        int declaredCount = 0;
        NativeFunction function;
    };
    std::map<QString, Entry> m_entries;
};

}  // namespace webui
