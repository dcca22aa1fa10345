#pragma once
// The rules that make a borderless page window act like a window: where it
// can be dragged and resized, the zoom steps, where it is centred, and what a
// show command does to it.

#include <QPoint>
#include <QRect>

class QWidget;

namespace webui {

// left/top/right/bottom as the pages give them; -1 in left means any x, -1
// in top means any y.
struct WindowRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};
using DragRect = WindowRect;  // the payload of msg::kDragRect

// Width of the band along the edges where a borderless window is resized
// (frame plus padded border of a default desktop).
constexpr int kResizeBorder = 8;

// A point in the view's coordinates: inside the drag rectangle (bounds
// excluded)?
bool inDragRect(const DragRect& rect, QPoint point);

// The hit-test answer for a global point over a borderless window whose frame
// is `window`: an edge or corner when resizing is on, else caption (drag) or
// client.
int borderlessHitTest(const QRect& window, QPoint point, bool borderlessResize, bool borderlessDrag,
                      int border = kResizeBorder);
// The Qt edges for an edge or corner answer; none for the others.
Qt::Edges edgesForHitTest(int hit);

// The fixed zoom steps in percent.
int nextZoomLevel(int level);
int previousZoomLevel(int level);
constexpr int kDefaultZoomLevel = 100;

// Where a window of `size` goes: centred on the owner's frame when it has
// one, else on the work area; then kept inside the work area, left and top
// edges first.
QPoint centredPosition(QSize size, const QRect& owner, const QRect& workArea);

// Applies a Win32 show command to a top-level window; true when the window
// was visible before. `normalGeometry` keeps the size to return to after a
// maximise (a maximised borderless window covers the work area only).
bool applyShowCommand(QWidget* window, int showCommand, QRect& normalGeometry);

}  // namespace webui
