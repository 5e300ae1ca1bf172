#include "app/TraceWindow.h"

#include "app/Placement.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QTextCursor>
#include <QVBoxLayout>

#include <algorithm>

namespace quorix {

namespace {
// The widest line of a record ("time ... target/source ... (00 > 2A)") fits.
constexpr int LogColumns = 92;
constexpr int LogLines = 24;
} // namespace

TraceWindow::TraceWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint |
                          Qt::WindowStaysOnTopHint) {
    setWindowTitle(QStringLiteral("FBUS trace"));

    log = new QPlainTextEdit(this);
    log->setReadOnly(true);
    log->setUndoRedoEnabled(false);
    log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The records line up their fields in columns.
    log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const QFontMetrics fm(log->font());
    log->setFixedSize(fm.horizontalAdvance(QLatin1Char('0')) * LogColumns +
                          log->verticalScrollBar()->sizeHint().width() + 12,
                      fm.lineSpacing() * LogLines + 8);

    pauseButton = new QPushButton(QStringLiteral("Pause"), this);
    onTopBox = new QCheckBox(QStringLiteral("stay on top"), this);
    onTopBox->setChecked(true);
    clearButton = new QPushButton(QStringLiteral("Clear"), this);
    closeButton = new QPushButton(QStringLiteral("Close"), this);

    borders = new QGroupBox(QStringLiteral("Custom borders"), this);
    auto* startLabel = new QLabel(QStringLiteral("Start:"), borders);
    startBorderEdit = new QLineEdit(borders);
    startLabel->setBuddy(startBorderEdit);
    auto* stopLabel = new QLabel(QStringLiteral("Stop:"), borders);
    stopBorderEdit = new QLineEdit(borders);
    stopLabel->setBuddy(stopBorderEdit);
    for (QLineEdit* edit : {startBorderEdit, stopBorderEdit})
        edit->setFixedWidth(fm.horizontalAdvance(QLatin1Char('0')) * 8);
    note = new QLabel(QStringLiteral("You can specify the first/last location for "
                                     "reading/writing.\n"
                                     "Writing starts with the first entry in book "
                                     "(\"Write\") or with \n"
                                     "the selected entry (\"Rewrite [Ctrl-R]\")."),
                      borders);
    QFont small = note->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    note->setFont(small);
    note->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* fields = new QHBoxLayout;
    fields->addWidget(startLabel);
    fields->addWidget(startBorderEdit);
    fields->addSpacing(12);
    fields->addWidget(stopLabel);
    fields->addWidget(stopBorderEdit);
    fields->addStretch();
    auto* bordersLayout = new QVBoxLayout(borders);
    bordersLayout->addLayout(fields);
    bordersLayout->addWidget(note);

    auto* buttons = new QGridLayout;
    buttons->addWidget(pauseButton, 0, 0);
    buttons->addWidget(clearButton, 0, 1);
    buttons->addWidget(onTopBox, 1, 0);
    buttons->addWidget(closeButton, 1, 1);
    buttons->setRowStretch(2, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addLayout(buttons);
    bottom->addStretch();
    bottom->addWidget(borders);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(log);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    batch_.setSingleShot(true);
    batch_.setInterval(BatchMs);
    connect(&batch_, &QTimer::timeout, this, &TraceWindow::flush);

    connect(pauseButton, &QPushButton::clicked, this, &TraceWindow::pauseClicked);
    connect(clearButton, &QPushButton::clicked, this, &TraceWindow::clearLog);
    connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(onTopBox, &QCheckBox::toggled, this, &TraceWindow::setOnTop);
}

void TraceWindow::appendRecord(const QByteArray& entry) {
    pending_ += entry;
    if (!batch_.isActive())
        batch_.start();
}

void TraceWindow::flush() {
    batch_.stop();
    if (pending_.isEmpty())
        return;
    QString text = QString::fromLatin1(pending_);
    pending_.clear();
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));

    // Follow the end of the log, unless the user has scrolled up to read.
    QScrollBar* bar = log->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    QTextCursor end(log->document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
    if (atEnd)
        bar->setValue(bar->maximum());
}

QString TraceWindow::logText() {
    flush();
    return log->toPlainText();
}

void TraceWindow::clearLog() {
    batch_.stop();
    pending_.clear();
    log->clear();
}

void TraceWindow::setPaused(bool paused) {
    pauseButton->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
}

QString TraceWindow::startBorderText() const {
    return startBorderEdit->text();
}

void TraceWindow::setStartBorderText(const QString& text) {
    startBorderEdit->setText(text);
}

QString TraceWindow::stopBorderText() const {
    return stopBorderEdit->text();
}

void TraceWindow::setStopBorderText(const QString& text) {
    stopBorderEdit->setText(text);
}

QPoint TraceWindow::placement(const QRect& owner, const QSize& size, const QRect& screen) {
    constexpr int RightGap = 10;
    constexpr int BottomGap = 30;
    // Halves are truncated toward zero, also when the window is the taller one.
    int top = owner.top() + (owner.height() - size.height()) / 2;
    const int left = screen.right() + 1 - RightGap - size.width();
    if (top + size.height() > screen.bottom() + 1 - BottomGap)
        top = screen.bottom() + 1 - BottomGap - size.height();
    return {std::max(left, screen.left()), std::max(top, screen.top())};
}

void TraceWindow::setOnTop(bool on) {
    // Changing the flag hides the window; show it again where it stood.
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (visible) {
        keepPlace_ = true;
        show();
        keepPlace_ = false;
    }
}

void TraceWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    flush();
    if (!event->spontaneous() && !keepPlace_)
        placeOnOwner(this, placement);
}

void TraceWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    Q_EMIT closed();
}

} // namespace quorix
