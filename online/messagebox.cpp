#include "online/messagebox.h"

#include <QMessageBox>
#include <QWidget>

namespace online {

namespace {

MessageBoxFunction& replacement()
{
    static MessageBoxFunction function;  // UI thread only
    return function;
}

}  // namespace

void showMessageBox(QWidget* owner, const QString& title, const QString& text)
{
    if (replacement()) {
        replacement()(owner, title, text);
        return;
    }
    QMessageBox::information(owner, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}

MessageBoxFunction setMessageBoxFunction(MessageBoxFunction function)
{
    MessageBoxFunction previous = std::move(replacement());
    replacement() = std::move(function);
    return previous;
}

}  // namespace online
