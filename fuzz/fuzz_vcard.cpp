// vCard files: any bytes read or are refused with a reason; a book that reads
// writes as vCard, and what is written reads back as the same book.
#include "FuzzSupport.h"

#include "files/VCard.h"

using namespace quorix;

namespace {

files::VCardResult readBytes(const QByteArray& bytes) {
    fuzz::Memory input(bytes);
    return files::readVCard(input);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const files::VCardResult r = readBytes(fuzz::bytes(data, size));
    if (!r.ok) {
        FUZZ_CHECK(!r.error.isEmpty());
        return 0;
    }
    FUZZ_CHECK(r.contacts > 0);
    const files::VCardResult back = readBytes(files::vCardText(r.book));
    FUZZ_CHECK(back.ok);
    FUZZ_CHECK(back.book.entryCount() == r.book.entryCount());
    for (int i = 0; i < r.book.entryCount(); ++i) {
        FUZZ_CHECK(back.book.name(i).text == r.book.name(i).text);
        FUZZ_CHECK(back.book.name(i).subs == r.book.name(i).subs);
        FUZZ_CHECK(back.book.name(i).organization == r.book.name(i).organization);
    }
    return 0;
}
