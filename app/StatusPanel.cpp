#include "app/StatusPanel.h"

#include <QEvent>
#include <QFontMetrics>

namespace quorix {

void StatusPanel::setFullText(const QString& text) {
    fullText_ = text;
    setToolTip(text);
    elide();
}

void StatusPanel::elide() {
    const int room = contentsRect().width() - 2 * margin() - 2 * indent();
    setText(fontMetrics().elidedText(fullText_, Qt::ElideRight, std::max(room, 0)));
}

void StatusPanel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void StatusPanel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        elide();
}

} // namespace quorix
