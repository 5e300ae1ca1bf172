#include "transfer/TransferReport.h"

#include "transfer/PhonebookMessages.h"

#include <algorithm>

namespace quorix::transfer {

QString countOf(int n, const QString& singular, const QString& plural) {
    return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? singular : plural);
}

QString NameResult::note() const {
    if (!location)
        return {};
    const int at = *location;
    switch (fate) {
    case NameFate::Read:
        return QStringLiteral("Read from location %1").arg(at);
    case NameFate::Sent:
        return QStringLiteral("Tried to write to loc. %1").arg(at);
    case NameFate::Written:
        return joinNoteParts(QStringLiteral("Written to location %1").arg(at), remarks);
    case NameFate::Refused:
        return QStringLiteral("Error while writing to loc. %1").arg(at);
    case NameFate::NotReached:
    case NameFate::OutsideRange:
    case NameFate::Deleted:
        break;
    }
    return {};
}

int TransferReport::count(NameFate fate) const {
    return int(std::count_if(names.begin(), names.end(),
                             [fate](const NameResult& r) { return r.fate == fate; }));
}

QByteArray TransferReport::closingText() const {
    switch (ending) {
    case TransferEnding::Completed:
        return refusals() ? "Ready, but errors occured." : "Ready.";
    case TransferEnding::StoppedByUser:
        return "Transfer aborted by user.";
    case TransferEnding::GivenUp:
        return reason.isEmpty() ? QByteArray("Transfer aborted by user.") : reason;
    case TransferEnding::PortLost: {
        const int done =
            kind == TransferKind::Read ? count(NameFate::Read) : count(NameFate::Written);
        return (kind == TransferKind::Read ? "Read" : "Write") + QByteArray(" interrupted after ") +
               countOf(done, QStringLiteral("name"), QStringLiteral("names")).toLatin1() + ": " +
               device + " disappeared (" + systemReason + ")";
    }
    case TransferEnding::LinkNotStarted:
        break;
    }
    return {};
}

QByteArray TransferReport::leftoverText() const {
    if (!leftAfter || *leftAfter < 1 || !lastLocation)
        return {};
    const int written = count(NameFate::Written);
    const int left = *leftAfter;
    return "The phone still holds " + QByteArray::number(left) +
           (left == 1 ? " entry" : " entries") + " after location " +
           QByteArray::number(*firstLocation + written - 1) + ".";
}

} // namespace quorix::transfer
