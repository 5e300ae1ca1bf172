// A name of any text written to the phone and read back: the name, numbers and
// texts come back cut to the lengths the blocks hold, a character the phone
// cannot hold (outside the Basic Multilingual Plane, a lone surrogate) as "?",
// each character it shows as a blank (1..30) a blank, 0x80-0x9F as the
// Windows-1252 characters earlier versions stored there, a zero the end of
// the text; kinds and the order of the subentries by class stay.
#include "FuzzSupport.h"

#include "model/Kinds.h"
#include "phonesim/PhoneMemory.h"
#include "transfer/PhonebookMessages.h"

#include <algorithm>

using namespace quorix;

namespace {

constexpr int Kinds[] = {KindGeneral, KindMobile, KindHome,          KindOffice,
                         KindFax,     KindEMail,  KindPostalAddress, KindNote};

// The text as it comes back from the phone.
QString expected(const QString& text, int maxChars) {
    QString out = transfer::phoneText(text).left(maxChars);
    if (const qsizetype end = out.indexOf(QChar(u'\0')); end >= 0)
        out.truncate(end);
    for (QChar& c : out)
        if (c.unicode() <= 30)
            c = QChar(u' ');
        else if (c.unicode() >= 0x80 && c.unicode() < 0xA0)
            c = QChar(windows1252Char(uchar(c.unicode())));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(fuzz::bytes(data, size));
    const int location = 1 + in.byte() % 200;
    Name name(in.text(in.byte() % 140));
    int numbers = 0, texts = 0;
    for (int n = in.byte() % 10; n > 0 && !in.empty(); --n) {
        const int kind = Kinds[in.byte() % 8];
        QString text = in.text(in.byte() % 70);
        int& count = isNumberKind(kind) ? numbers : texts;
        if (count >= (isNumberKind(kind) ? MaxNumbers : MaxTexts))
            continue;
        ++count;
        name.subs.push_back({std::move(text), kind});
    }

    const std::optional<phonesim::PhoneEntry> stored =
        phonesim::PhoneMemory::fromWriteRequest(transfer::writeRequest(name, location));
    FUZZ_CHECK(stored);
    phonesim::PhoneMemory memory(200);
    memory.store(location, *stored);
    const std::optional<transfer::Entry> back = transfer::decodeEntry(memory.readAnswer(location));
    FUZZ_CHECK(back);
    FUZZ_CHECK(back->location == location);

    const QString text = expected(name.text, transfer::MaxNameChars);
    FUZZ_CHECK(back->name.text == text ||
               (text.isEmpty() && back->name.text == QLatin1String("<No Name>")));

    std::vector<Subentry> want = name.subs;
    std::stable_sort(want.begin(), want.end(), [](const Subentry& a, const Subentry& b) {
        return Book::compareClass(a, b) < 0;
    });
    for (Subentry& s : want)
        s.text = expected(s.text,
                          isNumberKind(s.kind) ? transfer::MaxNumberChars : transfer::MaxTextChars);
    FUZZ_CHECK(back->name.subs == want);
    return 0;
}
