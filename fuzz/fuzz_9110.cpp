// Communicator 9110 exports: any file imports or is refused with a reason, and
// no name holds more numbers or texts than a name of the phone can.
#include "FuzzSupport.h"

#include "files/Import9110.h"
#include "model/Kinds.h"

using namespace quorix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Memory input(fuzz::bytes(data, size));
    const files::BookResult r = files::import9110(input);
    if (!r.ok) {
        FUZZ_CHECK(!r.error.isEmpty());
        FUZZ_CHECK(r.book.isEmpty());
        return 0;
    }
    for (const auto& name : r.book) {
        FUZZ_CHECK(Book::subentryCount(*name, sortClassOf(KindGeneral)) <= MaxNumbers);
        FUZZ_CHECK(Book::subentryCount(*name, sortClassOf(KindNote)) <= MaxTexts);
    }
    return 0;
}
