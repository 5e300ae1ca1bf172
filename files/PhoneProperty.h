#pragma once

#include "model/Book.h"

#include <QByteArray>
#include <optional>
#include <set>

// The vCard property by which Quorix's own files remember where the phone keeps
// a name and what it held there: "X-QUORIX-PHONE:17;Anna;3=+49123;9=Neighbour",
// the location, then (when known) the name as the phone holds it and each
// subentry as its kind number and text. Components are escaped as vCard texts
// are. Other programs ignore X- properties, so the file stays plain vCard 3.0.
namespace quorix::files {

inline constexpr char PhoneProperty[] = "X-QUORIX-PHONE";

struct PhoneMark {
    int location = 0;
    std::optional<PhoneContent> content;
};

// The escaped value (UTF-8) for a name's location and phone content.
QByteArray phonePropertyValue(int location, const std::optional<PhoneContent>& content);
// A value as the file holds it (charset decoded, escapes kept); nothing when
// the location is not a number from 1 to 65535 or a subentry has no kind.
std::optional<PhoneMark> parsePhoneProperty(const QString& value);

// The book's first card also says which locations the phone held an entry at
// (Book::phoneHeld), as ascending ranges: "X-QUORIX-HELD:1-31,40,45-50".
inline constexpr char HeldProperty[] = "X-QUORIX-HELD";

QByteArray heldPropertyValue(const std::set<int>& held);
// Adds the locations of a value to held. Reading stops at the first item that
// is no location from 1 to 65535 or does not lie beyond the one before, so a
// value never adds more than 65535 locations.
void parseHeldProperty(const QString& value, std::set<int>& held);

} // namespace quorix::files
