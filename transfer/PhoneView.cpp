#include "transfer/PhoneView.h"

#include "transfer/PhonebookMessages.h"

namespace quorix::transfer {

PhoneContent contentOf(const Name& decoded) {
    return {decoded.text, decoded.subs};
}

PhoneContent phoneView(const Name& name) {
    // The answer to a read carries the same header and blocks as the request.
    QByteArray answer = writeRequest(name, 1);
    answer[0] = 0x01;
    answer[1] = 0x1B;
    answer[3] = char(OpReadAnswer);
    const std::optional<Entry> entry = decodeEntry(answer);
    return entry ? contentOf(entry->name) : PhoneContent{};
}

Name nameOf(const PhoneContent& content) {
    Name n(content.name);
    n.subs = content.subs;
    return n;
}

} // namespace quorix::transfer
