#pragma once

#include <QLabel>

namespace quorix {

// A panel of the status bar. A text wider than the panel ends in "…" and is
// shown whole as the tool tip, so nothing is cut off unseen.
class StatusPanel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    void setFullText(const QString& text);
    const QString& fullText() const { return fullText_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void elide();

    QString fullText_;
};

} // namespace quorix
