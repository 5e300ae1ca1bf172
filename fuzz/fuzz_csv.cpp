// CSV import with settings taken from the input: any file imports or is
// refused with a reason, and no name holds more numbers or texts than a name
// of the phone can.
#include "FuzzSupport.h"

#include "files/CsvImport.h"
#include "model/Kinds.h"

using namespace quorix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(fuzz::bytes(data, size));
    files::CsvSettings s;
    s.nameColumn = 1 + in.byte() % 12;
    s.firstColumn = 1 + in.byte() % 12;
    s.lastColumn = in.byte() % 14; // below firstColumn: names only
    s.firstLine = 1 + in.byte() % 4;
    s.separator = QChar(char16_t(in.byte()));
    s.quotes = in.byte() & 1;
    const QByteArray file = in.rest();

    fuzz::Memory forProbe(file);
    const files::LineResult probe = files::csvProbe(forProbe, s.firstLine);
    FUZZ_CHECK(probe.ok || !probe.error.isEmpty());

    fuzz::Memory forImport(file);
    const files::BookResult r = files::importCsv(forImport, s);
    if (!r.ok) {
        FUZZ_CHECK(!r.error.isEmpty());
        return 0;
    }
    for (const auto& name : r.book) {
        FUZZ_CHECK(Book::subentryCount(*name, sortClassOf(KindGeneral)) <= MaxNumbers);
        FUZZ_CHECK(Book::subentryCount(*name, sortClassOf(KindNote)) <= MaxTexts);
        if (s.lastColumn < s.firstColumn)
            FUZZ_CHECK(name->subs.empty());
    }
    return 0;
}
