// The phone link: connection set-up, trace window, transfers.
#include "app/TMain.h"

namespace quorix {

void TMain::setupClick() {
    // Shows the connection dialog.
}

void TMain::dodebugClick(bool on) {
    // Shows or hides the trace window and switches tracing.
    Q_UNUSED(on);
}

void TMain::readClick() {
    // Reads the book from the phone, after the close question.
}

void TMain::writeClick() {
    // Writes the book into the phone.
}

void TMain::stopClick() {
    // Asks a running transfer to stop.
}

void TMain::rewriteClick() {
    // Writes the selected name into the phone again.
}

void TMain::startDemo() {
    // Until the virtual phone exists, say so where transfer news goes.
    setPanel(0, QStringLiteral("Demo phone not available yet."));
}

void TMain::closeLink() {
    // Ends the transmit thread, once there is one.
}

} // namespace quorix
