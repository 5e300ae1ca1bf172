// Phonebook files: any bytes load or are refused with a reason; a book that
// loads saves, and the saved file loads back as the book the save left.
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
    files::BookResult r = files::loadBookFile(fuzz::scratchFile(fuzz::bytes(data, size)));
    if (!r.ok) {
        FUZZ_CHECK(!r.error.isEmpty());
        FUZZ_CHECK(r.book.isEmpty());
        return 0;
    }
    Book& book = r.book;
    const QString copy = fuzz::scratchFile({}, "copy");
    const files::SaveResult saved = files::saveBookFile(book, copy, files::PathRule::Exact);
    FUZZ_CHECK(saved.ok);
    const files::BookResult again = files::loadBookFile(copy);
    FUZZ_CHECK(again.ok);
    FUZZ_CHECK(sameBook(again.book, book));
    return 0;
}
