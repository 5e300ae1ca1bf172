#pragma once

#include <QIcon>
#include <QRectF>

class QPainter;
class QPalette;

namespace quorix::icons {

// The icon of a node kind (0..11); any other value shows as the unknown kind.
// On a dark palette (dark Base colour) the picture's dark parts (outlines,
// the telephones, the mobile) are drawn light, so they stay visible without a
// plate behind them.
QIcon kind(int kind, const QPalette& palette);
// The same for the application's palette.
QIcon kind(int kind);
// Whether a palette shows text light on dark.
bool isDark(const QPalette& palette);

// The pictures of the main window's buttons.
enum class Glyph { Save, Load, Sort, Clear, Read, Write, Stop, Exit };
QIcon glyph(Glyph g);

// The phone picture, stretched to the rectangle; drawn as vectors, so it is
// sharp at any screen resolution.
void paintPhone(QPainter& painter, const QRectF& target);

// The program's window icon.
QIcon appIcon();

} // namespace quorix::icons
