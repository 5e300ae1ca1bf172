#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QToolButton;

namespace quorix {

// The find bar above the tree: a text field, the number of matches and a
// close button. Typing asks for the first match from the current node on,
// Enter for the next one, Shift+Enter for the one before, Escape closes.
class FindBar : public QWidget {
    Q_OBJECT
public:
    explicit FindBar(QWidget* parent = nullptr);

    QString text() const;
    // Opens the bar (or keeps it open) with the field's text selected.
    void open();
    // "2 of 5 matches", "1 match", "No matches"; nothing for an empty field.
    void showMatches(int current, int count);

    QLineEdit* field() const { return field_; }
    QLabel* matchLabel() const { return matches_; }

Q_SIGNALS:
    void textChanged(const QString& text);
    void next();
    void previous();
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void close();

    QLineEdit* field_;
    QLabel* matches_;
    QToolButton* closeButton_;
};

} // namespace quorix
