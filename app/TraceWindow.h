#pragma once

#include <QByteArray>
#include <QString>
#include <QTimer>
#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace quorix {

// The trace window "FBUS trace": the log of traced frames, its Pause and Clear
// buttons, "stay on top", and the "Custom borders" that limit the memory
// locations a transfer reads or writes. The main window's Debug box shows it
// and switches tracing; this window only says when Pause or Close was used.
class TraceWindow : public QWidget {
    Q_OBJECT
public:
    explicit TraceWindow(QWidget* parent = nullptr);

    // Appends one trace entry (line breaks CR LF) at the end of the log. Entries
    // are shown in batches a few times a second, so that a stream of frames
    // costs the window one update, not one per frame.
    void appendRecord(const QByteArray& entry);
    // Shows the entries that still wait for the next batch.
    void flush();
    // The whole log, waiting entries included, with "\n" as the line break.
    QString logText();
    // Empties the log ("Clear").
    void clearLog();

    // "Pause" while tracing runs, "Resume" while it is paused.
    void setPaused(bool paused);

    // The "Custom borders": the first and last memory location of a transfer,
    // as the user typed them.
    QString startBorderText() const;
    void setStartBorderText(const QString& text);
    QString stopBorderText() const;
    void setStopBorderText(const QString& text);

    // Where the window goes when it is shown (frame rectangle's top-left):
    // level with the middle of the owner, 10 pixels from the screen's right
    // edge, and raised to keep 30 pixels above the screen's bottom edge.
    static QPoint placement(const QRect& owner, const QSize& size, const QRect& screen);

    // How long appended entries may wait before they are shown.
    static constexpr int BatchMs = 40;

    // Controls.
    QPlainTextEdit* log;
    QPushButton* pauseButton;
    QCheckBox* onTopBox;
    QPushButton* clearButton;
    QPushButton* closeButton;
    QGroupBox* borders;
    QLineEdit* startBorderEdit;
    QLineEdit* stopBorderEdit;
    QLabel* note;

Q_SIGNALS:
    // The Pause/Resume button was pressed.
    void pauseClicked();
    // The window was closed, by "Close" or by its close box.
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void setOnTop(bool on);

    QByteArray pending_;
    QTimer batch_;
    bool keepPlace_ = false;
};

} // namespace quorix
