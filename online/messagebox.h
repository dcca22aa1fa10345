#pragma once
// The few message boxes of the online services go through one replaceable
// function, so tests can see what the user would have been shown without a
// modal dialog waiting for a click.

#include <QString>
#include <functional>

class QWidget;

namespace online {

// owner may be null: the box then has no owner window.
using MessageBoxFunction = std::function<void(QWidget* owner, const QString& title, const QString& text)>;

// Shows an information box with a single OK button and no default button.
void showMessageBox(QWidget* owner, const QString& title, const QString& text);

// Replaces the box; an empty function restores the real one. Returns the
// previous function (empty when it was the real one).
MessageBoxFunction setMessageBoxFunction(MessageBoxFunction function);

}  // namespace online
