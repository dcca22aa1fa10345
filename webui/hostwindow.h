#pragma once
// The top-level widget of a page window: it paints the grey background,
// lays out the address box and the view, turns a close request into the
// window's close command and watches the view's mouse for drag and resize.

#include <QWidget>

namespace webui {

class BaseBlkWinow;

class HostWindow : public QWidget {
public:
    explicit HostWindow(BaseBlkWinow* owner);
    // The window is going: no more events for it.
    void detach() { m_owner = nullptr; }
    // Watches the mouse over a widget and its children (the view).
    void watch(QWidget* widget);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    BaseBlkWinow* m_owner;
};

}  // namespace webui
