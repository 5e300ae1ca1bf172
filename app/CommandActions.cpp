#include "app/CommandActions.h"

#include <QAbstractButton>
#include <QAction>

namespace quorix {

QAction* CommandActions::add(const QString& id, QAction* action, During transfer) {
    Q_ASSERT(!ids_.contains(id));
    ids_.append(id);
    actions_.append(action);
    action->setObjectName(id);
    if (transfer == During::Refused) {
        refused_.append(action);
        action->setEnabled(!transferActive_);
    }
    return action;
}

QAction* CommandActions::action(const QString& id) const {
    const qsizetype i = ids_.indexOf(id);
    return i < 0 ? nullptr : actions_[i];
}

QStringList CommandActions::ids() const {
    return ids_;
}

void CommandActions::bind(QAbstractButton* button, QAction* action) {
    QObject::connect(button, &QAbstractButton::clicked, action, &QAction::trigger);
    QObject::connect(action, &QAction::enabledChanged, button, &QWidget::setEnabled);
    button->setEnabled(action->isEnabled());
}

void CommandActions::setTransferActive(bool active) {
    transferActive_ = active;
    for (QAction* a : refused_)
        a->setEnabled(!active);
}

} // namespace quorix
