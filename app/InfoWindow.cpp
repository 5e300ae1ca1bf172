#include "app/InfoWindow.h"

#include "app/Icons.h"
#include "app/Placement.h"

#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>

namespace quorix {

namespace {
constexpr int DesignWidth = 338;
constexpr int DesignHeight = 177;
const QRect phoneBox(200, 32, 70, 68);

QFont makeFont(const QString& family, qreal points, bool bold = false, bool italic = false) {
    QFont f = family.isEmpty() ? QFont() : QFont(family);
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}
} // namespace

InfoWindow::InfoWindow(QWidget* parent, int scale)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      scale_(scale) {
    setWindowTitle(QStringLiteral("Version " QUORIX_VERSION));

    title_ = new QLabel(QStringLiteral("Quorix"), this);
    title_->setFont(makeFont(QStringLiteral("Arial"), 20, true, true));

    notice_ = new QLabel(QStringLiteral("(c) The Quorix developers"), this);
    notice_->setFont(makeFont(QString(), 7));
    notice_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    web_ = new QLabel(QStringLiteral("https://quorix.example.org"), this);
    web_->setFont(makeFont(QString(), 7));
    web_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    forNokia_ = new QLabel(QStringLiteral("for Nokia 7110"), this);
    forNokia_->setFont(makeFont(QStringLiteral("Arial"), 10, true));

    trademarks_ = new QLabel(QStringLiteral("\"Nokia\" and\n\"Nokia 7110\" are\ntrademarks of\n"
                                            "Nokia corporation."),
                             this);
    trademarks_->setFont(makeFont(QString(), 6));
    trademarks_->setAlignment(Qt::AlignRight | Qt::AlignBottom);

    memo_ = new QPlainTextEdit(this);
    memo_->setPlainText(QStringLiteral("Read release-notes (see \"Help\")\n"
                                       "before connecting your phone!"));
    memo_->setReadOnly(true);
    memo_->setFrameShape(QFrame::NoFrame);
    memo_->setFont(makeFont(QString(), 8, true));
    memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo_->setFocusPolicy(Qt::NoFocus);
    memo_->setTextInteractionFlags(Qt::NoTextInteraction);
    memo_->viewport()->setAutoFillBackground(true);
    memo_->document()->setDocumentMargin(2);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    setReminderColour(palette().color(QPalette::Button));
    blink_.setInterval(BlinkMs);
    connect(&blink_, &QTimer::timeout, this, [this] {
        red_ = !red_;
        setReminderColour(red_ ? QColor(Qt::red) : palette().color(QPalette::Button));
    });
    blink_.start();

    layoutControls();
}

void InfoWindow::setScale(int scale) {
    scale_ = scale;
    layoutControls();
}

void InfoWindow::layoutControls() {
    const auto s = [this](int v) { return v * scale_ / 100; };
    const auto box = [&](int x, int y, int w, int h) { return QRect(s(x), s(y), s(w), s(h)); };
    setFixedSize(s(DesignWidth), s(DesignHeight));
    title_->setGeometry(box(16, 6, 150, 36));
    notice_->setGeometry(box(150, 3, 182, 12));
    web_->setGeometry(box(150, 15, 182, 12));
    forNokia_->setGeometry(box(26, 42, 150, 18));
    memo_->setGeometry(box(16, 82, 206, 36));
    trademarks_->setGeometry(box(226, 88, 106, 56));
    ok_->setGeometry(box(136, 148, 65, 25));
}

void InfoWindow::setReminderColour(const QColor& colour) {
    QPalette p = memo_->palette();
    p.setColor(QPalette::Base, colour);
    memo_->setPalette(p);
}

QColor InfoWindow::reminderColour() const {
    return memo_->palette().color(QPalette::Base);
}

void InfoWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    placeOnOwner(this, centreOn);
}

void InfoWindow::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter p(this);
    const auto s = [this](int v) { return v * scale_ / 100; };
    icons::paintPhone(
        p, QRect(s(phoneBox.x()), s(phoneBox.y()), s(phoneBox.width()), s(phoneBox.height())));
}

void InfoWindow::done(int result) {
    // The reminder flashes at start-up only: once closed, it stays still.
    blink_.stop();
    red_ = false;
    setReminderColour(palette().color(QPalette::Button));
    QDialog::done(result);
}

} // namespace quorix
