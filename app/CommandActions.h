#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QAbstractButton;
class QAction;

namespace quorix {

// The window's commands, one QAction each, by name: the menus, the buttons and
// the popup show the same action, and other views (an Edit menu, a table) can
// be composed from them. Commands that would disturb a running transfer are
// disabled while it runs, so no handler has to look.
class CommandActions : public QObject {
    Q_OBJECT
public:
    enum class During { Allowed, Refused }; // ... a running transfer

    explicit CommandActions(QObject* parent = nullptr) : QObject(parent) {}

    // Registers an action under a name ("transfer.read"); returns it.
    QAction* add(const QString& id, QAction* action, During transfer);
    // The action registered under id, or null.
    QAction* action(const QString& id) const;
    const QList<QAction*>& all() const { return actions_; }
    QStringList ids() const;
    bool refusedDuringTransfer(const QAction* action) const {
        return refused_.contains(const_cast<QAction*>(action));
    }

    // A button that runs the action and is enabled exactly when it is; its
    // own caption, picture and hint stay.
    static void bind(QAbstractButton* button, QAction* action);

    // Disables or enables again the commands a transfer refuses.
    void setTransferActive(bool active);
    bool transferActive() const { return transferActive_; }

private:
    QList<QString> ids_;
    QList<QAction*> actions_;
    QList<QAction*> refused_;
    bool transferActive_ = false;
};

} // namespace quorix
