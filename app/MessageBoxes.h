#pragma once

#include <QList>
#include <QMessageBox>
#include <QPair>
#include <QString>
#include <functional>

namespace quorix {

// One question or notice as the program puts it to the user.
struct Question {
    QString caption;
    QString text; // as given: a line break is a single "\r"
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    // Buttons that say what they do instead of their standard text.
    QList<QPair<QMessageBox::StandardButton, QString>> labels = {};
    // The button Enter presses; without one, the first of Yes, OK, Save, No, Cancel.
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Every message box of the program goes through here, so that tests can answer
// them and see what was asked without a modal window blocking the run.
class MessageBoxes {
public:
    using Hook = std::function<QMessageBox::StandardButton(const Question&)>;

    // Shows a modal message box and gives the button that closed it. The text is
    // shown as plain text (names like "<no name yet>" are not markup).
    // Labels name buttons whose standard text would not say what they do.
    using Labels = QList<QPair<QMessageBox::StandardButton, QString>>;
    static QMessageBox::StandardButton ask(QWidget* parent, const QString& caption,
                                           const QString& text, QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons,
                                           const Labels& labels = {});
    static QMessageBox::StandardButton ask(QWidget* parent, const Question& question);
    // A choice between two ways on and Cancel: Yes and No carry the labels,
    // Yes is the default. Gives Yes, No, or anything else for Cancel.
    static QMessageBox::StandardButton choose(QWidget* parent, const QString& caption,
                                              const QString& text, const QString& yesLabel,
                                              const QString& noLabel);
    // A refusal or failure: caption "Error", error icon, OK.
    static void error(QWidget* parent, const QString& text);

    // While a hook is installed it answers instead of a message box.
    static void setHook(Hook hook);
    static void clearHook() { setHook({}); }

    // The text as a message box shows it: "\r" (and "\r\n") become line breaks.
    static QString displayText(const QString& text);
};

} // namespace quorix
