#include "app/MessageBoxes.h"

#include <QAbstractButton>

namespace quorix {

namespace {
MessageBoxes::Hook& hook() {
    static MessageBoxes::Hook h;
    return h;
}
} // namespace

void MessageBoxes::setHook(Hook h) {
    hook() = std::move(h);
}

QString MessageBoxes::displayText(const QString& text) {
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

QMessageBox::StandardButton MessageBoxes::ask(QWidget* parent, const QString& caption,
                                              const QString& text, QMessageBox::Icon icon,
                                              QMessageBox::StandardButtons buttons,
                                              const Labels& labels) {
    return ask(parent, Question{caption, text, icon, buttons, labels});
}

QMessageBox::StandardButton MessageBoxes::ask(QWidget* parent, const Question& q) {
    if (hook())
        return hook()(q);

    const QMessageBox::StandardButtons buttons = q.buttons;
    QMessageBox box(q.icon, q.caption, displayText(q.text), buttons, parent);
    box.setTextFormat(Qt::PlainText);
    for (const auto& [button, label] : q.labels)
        if (QAbstractButton* b = box.button(button))
            b->setText(label);
    // As on the system the program comes from, the first button is the default.
    if (q.defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(q.defaultButton);
    else
        for (const auto b : {QMessageBox::Yes, QMessageBox::Ok, QMessageBox::Save, QMessageBox::No,
                             QMessageBox::Cancel}) {
            if (buttons.testFlag(b)) {
                box.setDefaultButton(b);
                break;
            }
        }
    box.exec();
    // Escape and the close box count as the escape button (Cancel, else No).
    return box.clickedButton() ? box.standardButton(box.clickedButton()) : QMessageBox::NoButton;
}

QMessageBox::StandardButton MessageBoxes::choose(QWidget* parent, const QString& caption,
                                                 const QString& text, const QString& yesLabel,
                                                 const QString& noLabel) {
    return ask(parent, Question{caption,
                                text,
                                QMessageBox::Question,
                                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                {{QMessageBox::Yes, yesLabel}, {QMessageBox::No, noLabel}},
                                QMessageBox::Yes});
}

void MessageBoxes::error(QWidget* parent, const QString& text) {
    ask(parent, QStringLiteral("Error"), text, QMessageBox::Critical, QMessageBox::Ok);
}

} // namespace quorix
