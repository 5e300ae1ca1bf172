#pragma once

#include <QIcon>
#include <QRectF>

class QPainter;

namespace quorix::icons {

// The icon of a node kind (0..11); any other value shows as the unknown kind.
QIcon kind(int kind);

// The pictures of the main window's buttons.
enum class Glyph { Save, Load, Sort, Clear, Read, Write, Stop, Exit };
QIcon glyph(Glyph g);

// The phone picture, stretched to the rectangle; drawn as vectors, so it is
// sharp at any screen resolution.
void paintPhone(QPainter& painter, const QRectF& target);

// The program's window icon.
QIcon appIcon();

} // namespace quorix::icons
