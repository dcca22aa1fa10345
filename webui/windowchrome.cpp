#include "webui/windowchrome.h"

#include "webui/winconstants.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <array>

namespace webui {

namespace {

constexpr std::array<int, 14> kZoomLevels = {30, 50, 67, 80, 90, 100, 110, 120, 133, 150, 170, 200, 240, 300};

QRect workAreaOf(const QWidget* window)
{
    QScreen* screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

}  // namespace

bool inDragRect(const DragRect& rect, QPoint point)
{
    const bool xInside = rect.left == -1 || (rect.left < point.x() && point.x() < rect.right);
    const bool yInside = rect.top == -1 || (rect.top < point.y() && point.y() < rect.bottom);
    return xInside && yInside;
}

int borderlessHitTest(const QRect& window, QPoint point, bool borderlessResize, bool borderlessDrag, int border)
{
    const int inner = borderlessDrag ? hittest::kCaption : hittest::kClient;
    if (!borderlessResize)
        return inner;
    const bool left = point.x() < window.left() + border;
    const bool right = point.x() > window.right() - border;
    const bool top = point.y() < window.top() + border;
    const bool bottom = point.y() > window.bottom() - border;
    if (top && left)
        return hittest::kTopLeft;
    if (top && right)
        return hittest::kTopRight;
    if (bottom && left)
        return hittest::kBottomLeft;
    if (bottom && right)
        return hittest::kBottomRight;
    if (left)
        return hittest::kLeft;
    if (right)
        return hittest::kRight;
    if (top)
        return hittest::kTop;
    if (bottom)
        return hittest::kBottom;
    return inner;
}

Qt::Edges edgesForHitTest(int hit)
{
    switch (hit) {
    case hittest::kLeft:
        return Qt::LeftEdge;
    case hittest::kRight:
        return Qt::RightEdge;
    case hittest::kTop:
        return Qt::TopEdge;
    case hittest::kBottom:
        return Qt::BottomEdge;
    case hittest::kTopLeft:
        return Qt::TopEdge | Qt::LeftEdge;
    case hittest::kTopRight:
        return Qt::TopEdge | Qt::RightEdge;
    case hittest::kBottomLeft:
        return Qt::BottomEdge | Qt::LeftEdge;
    case hittest::kBottomRight:
        return Qt::BottomEdge | Qt::RightEdge;
    default:
        return {};
    }
}

int nextZoomLevel(int level)
{
    const auto it = std::upper_bound(kZoomLevels.begin(), kZoomLevels.end(), level);
    return it == kZoomLevels.end() ? kZoomLevels.back() : *it;
}

int previousZoomLevel(int level)
{
    const auto it = std::lower_bound(kZoomLevels.begin(), kZoomLevels.end(), level);
    return it == kZoomLevels.begin() ? kZoomLevels.front() : *(it - 1);
}

QPoint centredPosition(QSize size, const QRect& owner, const QRect& workArea)
{
    const QRect around = owner.isValid() ? owner : workArea;
    int x = around.left() + (around.width() - size.width()) / 2;
    int y = around.top() + (around.height() - size.height()) / 2;
    x = std::max(workArea.left(), std::min(x, workArea.left() + workArea.width() - size.width()));
    y = std::max(workArea.top(), std::min(y, workArea.top() + workArea.height() - size.height()));
    return {x, y};
}

bool applyShowCommand(QWidget* window, int showCommand, QRect& normalGeometry)
{
    // A minimised window is still a visible one.
    const bool wasVisible = window->isVisible();
    const bool wasMaximised = normalGeometry.isValid();
    auto restore = [&] {
        if (wasMaximised) {
            window->setGeometry(normalGeometry);
            normalGeometry = QRect();
        }
    };
    switch (showCommand) {
    case showcmd::kHide:
        window->hide();
        break;
    case showcmd::kShowNormal:
    case showcmd::kRestore:
    case showcmd::kShowDefault:
        restore();
        window->showNormal();
        window->raise();
        window->activateWindow();
        break;
    case showcmd::kShowMinimized:
    case showcmd::kMinimize:
    case showcmd::kShowMinNoActive:
    case showcmd::kForceMinimize:
        window->showMinimized();
        break;
    case showcmd::kMaximize:
        if (!wasMaximised)
            normalGeometry = window->geometry();
        window->setGeometry(workAreaOf(window));
        window->showNormal();
        window->raise();
        window->activateWindow();
        break;
    case showcmd::kShowNoActivate:
    case showcmd::kShowNA:
        window->setAttribute(Qt::WA_ShowWithoutActivating, true);
        window->show();
        window->setAttribute(Qt::WA_ShowWithoutActivating, false);
        break;
    case showcmd::kShow:
        window->show();
        window->raise();
        break;
    default:
        break;
    }
    return wasVisible;
}

}  // namespace webui
