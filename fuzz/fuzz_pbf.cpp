// Phonebook files: any bytes load or are refused with a reason; a book that
// loads holds only what the format can store, so it writes and reads back
// unchanged.
#include "FuzzSupport.h"

#include "files/BookFile.h"

using namespace quorix;

namespace {

bool sameBook(const Book& a, const Book& b) {
    if (a.entryCount() != b.entryCount())
        return false;
    for (int i = 0; i < a.entryCount(); ++i)
        if (a.name(i).text != b.name(i).text || a.name(i).subs != b.name(i).subs)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Memory input(fuzz::bytes(data, size));
    const files::BookResult r = files::readBookFile(input);
    if (!r.ok) {
        FUZZ_CHECK(!r.error.isEmpty());
        FUZZ_CHECK(r.book.isEmpty());
        return 0;
    }
    QBuffer copy;
    copy.open(QIODevice::WriteOnly);
    QString error;
    FUZZ_CHECK(files::writeBookFile(r.book, copy, error));
    fuzz::Memory written(copy.data());
    const files::BookResult again = files::readBookFile(written);
    FUZZ_CHECK(again.ok);
    FUZZ_CHECK(sameBook(again.book, r.book));
    return 0;
}
