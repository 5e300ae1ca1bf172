#include "app/FindBar.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace quorix {

FindBar::FindBar(QWidget* parent)
    : QWidget(parent), field_(new QLineEdit(this)), matches_(new QLabel(this)),
      closeButton_(new QToolButton(this)) {
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    field_->setPlaceholderText(QStringLiteral("Find name or number"));
    field_->setClearButtonEnabled(true);
    closeButton_->setText(QStringLiteral("\u00d7"));
    closeButton_->setToolTip(QStringLiteral("Close (Esc)"));
    closeButton_->setAutoRaise(true);
    layout->addWidget(field_, 1);
    layout->addWidget(matches_);
    layout->addWidget(closeButton_);
    field_->installEventFilter(this);
    connect(field_, &QLineEdit::textChanged, this, &FindBar::textChanged);
    connect(closeButton_, &QToolButton::clicked, this, &FindBar::close);
    hide();
}

QString FindBar::text() const {
    return field_->text();
}

void FindBar::open() {
    show();
    raise();
    field_->setFocus(Qt::ShortcutFocusReason);
    field_->selectAll();
}

void FindBar::close() {
    hide();
    Q_EMIT closed();
}

void FindBar::showMatches(int current, int count) {
    if (field_->text().isEmpty())
        matches_->clear();
    else if (count == 0)
        matches_->setText(QStringLiteral("No matches"));
    else if (current > 0)
        matches_->setText(
            QStringLiteral("%1 of %2 %3")
                .arg(current)
                .arg(count)
                .arg(count == 1 ? QStringLiteral("match") : QStringLiteral("matches")));
    else
        matches_->setText(QStringLiteral("%1 %2").arg(count).arg(
            count == 1 ? QStringLiteral("match") : QStringLiteral("matches")));
}

bool FindBar::eventFilter(QObject* watched, QEvent* event) {
    if (watched == field_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (key->modifiers() & Qt::ShiftModifier)
                Q_EMIT previous();
            else
                Q_EMIT next();
            return true;
        case Qt::Key_Escape:
            close();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace quorix
