// The configuration file: any file reads; what is written back reads as the
// same values, and setting a key changes that key only.
#include "FuzzSupport.h"

#include "app/ProfileFile.h"

#include <algorithm>

using namespace quorix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(fuzz::bytes(data, size));
    // The section and key looked up come from the input too.
    const QByteArray section = in.take(in.byte() % 8).trimmed();
    const QByteArray key = in.take(in.byte() % 8).trimmed();
    ProfileFile file(fuzz::scratchFile(in.rest()));
    FUZZ_CHECK(file.load());
    const std::optional<QByteArray> before = file.value(section, key);

    ProfileFile copy(fuzz::scratchFile(file.contents(), "copy"));
    FUZZ_CHECK(copy.load());
    FUZZ_CHECK(copy.value(section, key) == before);
    FUZZ_CHECK(copy.contents() == file.contents());

    if (section.isEmpty() || key.isEmpty() || section.contains(']') || key.contains('=') ||
        section.contains('\r') || section.contains('\n') || key.contains('\r') ||
        key.contains('\n') || key.startsWith('[') || key.startsWith(';') || key.startsWith('#') ||
        std::any_of(section.begin(), section.end(), [](char c) { return uchar(c) < 0x20; }) ||
        std::any_of(key.begin(), key.end(), [](char c) { return uchar(c) < 0x20; }))
        return 0;
    file.setValue(section, key, "fuzz value");
    FUZZ_CHECK(file.value(section, key) == QByteArray("fuzz value"));
    return 0;
}
