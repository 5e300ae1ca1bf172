#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quorix {

// The info window: the program's title, version and a flashing reminder to
// read the release notes before connecting a phone. The reminder flashes only
// until the window is closed the first time.
class InfoWindow : public QDialog {
    Q_OBJECT
public:
    // scale is the size of the layout in percent of the design at 96 dpi.
    explicit InfoWindow(QWidget* parent = nullptr, int scale = 100);

    void setScale(int scale);
    int scale() const { return scale_; }

    // The reminder box and its blink, for those who check on it.
    QPlainTextEdit* reminder() const { return memo_; }
    QPushButton* okButton() const { return ok_; }
    bool blinking() const { return blink_.isActive(); }
    // The blink's background: the button-face colour or red.
    QColor reminderColour() const;

    static constexpr int BlinkMs = 500;

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void done(int result) override;

private:
    void layoutControls();
    void setReminderColour(const QColor& colour);

    int scale_;
    QTimer blink_;
    bool red_ = false;
    QLabel* title_;
    QLabel* notice_;
    QLabel* web_;
    QLabel* forNokia_;
    QLabel* trademarks_;
    QPlainTextEdit* memo_;
    QPushButton* ok_;
};

} // namespace quorix
