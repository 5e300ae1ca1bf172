#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace quorix {

// Where the main window goes at its first show (frame rectangle): as tall as
// the screen less 60 pixels (but not below minHeight), 30 pixels from the left
// and the bottom edge, moved left when the screen is too narrow for that.
QRect placeMainWindow(const QRect& screen, int width, int minHeight);

// Where a dialog of the given (frame) size goes: centred on its owner, then
// moved to keep at least 30 pixels from the screen's right and bottom edges
// (and not past its left and top edges).
QPoint centreOn(const QRect& owner, const QSize& size, const QRect& screen);

// Moves a window that is being shown to where `where` puts it, given its
// owner's frame, its own frame size and the owner's screen. A window without
// an owner stays where the window system puts it.
using PlaceFunction = QPoint (*)(const QRect& owner, const QSize& size, const QRect& screen);
void placeOnOwner(QWidget* window, PlaceFunction where);

} // namespace quorix
