#include "app/Placement.h"

#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace quorix {

namespace {
constexpr int Margin = 30;
}

QRect placeMainWindow(const QRect& screen, int width, int minHeight) {
    const int height = std::max(screen.height() - 2 * Margin, minHeight);
    int left = Margin;
    if (screen.width() < left + width + Margin)
        left = screen.width() - width - Margin;
    const int top = screen.height() - height - Margin;
    // A screen too small for the window still shows its caption and left edge.
    return {screen.left() + std::max(left, 0), screen.top() + std::max(top, 0), width, height};
}

QPoint centreOn(const QRect& owner, const QSize& size, const QRect& screen) {
    // Halves are truncated toward zero, also when the dialog is the larger one.
    int left = owner.left() + (owner.width() - size.width()) / 2;
    int top = owner.top() + (owner.height() - size.height()) / 2;
    if (left + size.width() > screen.right() + 1 - Margin)
        left = screen.right() + 1 - Margin - size.width();
    if (top + size.height() > screen.bottom() + 1 - Margin)
        top = screen.bottom() + 1 - Margin - size.height();
    return {std::max(left, screen.left()), std::max(top, screen.top())};
}

void placeOnOwner(QWidget* window, PlaceFunction where) {
    QWidget* owner = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    QScreen* screen = owner ? owner->screen() : nullptr;
    if (!owner || !screen)
        return;
    QSize frame = window->size();
    if (window->windowHandle())
        frame = frame.grownBy(window->windowHandle()->frameMargins());
    window->move(where(owner->frameGeometry(), frame, screen->geometry()));
}

} // namespace quorix
