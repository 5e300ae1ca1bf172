#include "transfer/TransferLink.h"

#include "link/Frame.h"
#include "link/SerialPort.h"

namespace quorix::transfer {

FbusTransferLink::FbusTransferLink(link::FbusLink& link, Settings settings)
    : link_(link), settings_(std::move(settings)) {
    link_.setFrameObserver([this](const QByteArray& frame) { frameSeen(frame); });
}

void FbusTransferLink::startLink(link::LinkListener* listener) {
    started_ = settings_ ? settings_() : link::LinkSettings{};
    awaitedSequence_.reset();
    acknowledged_ = nullptr;
    link_.startLink(started_, listener);
}

void FbusTransferLink::stopLink() {
    awaitedSequence_.reset();
    acknowledged_ = nullptr;
    link_.stopLink();
}

bool FbusTransferLink::sendFrame(quint8 type, const QByteArray& data, quint8 fragment,
                                 bool followOn) {
    if (!link_.sendFrame(type, data, fragment, followOn))
        return false;
    awaitedSequence_ = (link_.txSeq() + 7) & 7; // the number the frame just went with
    return true;
}

void FbusTransferLink::whenLastFrameAcknowledged(std::function<void()> acknowledged) {
    acknowledged_ = std::move(acknowledged);
}

void FbusTransferLink::frameSeen(const QByteArray& frame) {
    if (link::frameType(frame) != link::TypeAck || !awaitedSequence_ ||
        (link::frameByte(frame, 7) & 7) != *awaitedSequence_)
        return;
    awaitedSequence_.reset();
    if (const auto done = std::exchange(acknowledged_, nullptr))
        done();
}

QByteArray FbusTransferLink::device() const {
    return started_.portDevice();
}

QByteArray FbusTransferLink::systemError() const {
    return link_.serial().errorString();
}

} // namespace quorix::transfer
