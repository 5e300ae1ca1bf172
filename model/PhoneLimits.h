#pragma once

#include "Book.h"

#include <QString>
#include <vector>

namespace quorix {

// The longest texts the phone stores; a write cuts longer ones to these.
inline constexpr int PhoneNumberChars = 43;
inline constexpr int PhoneTextChars = 60;
// What a name block's one-byte length can carry.
inline constexpr int PhoneNameChars = 123;

// The longest text a node of this kind can have in the phone: a name (kind 0
// or 1), a number or a text; 0 when the phone takes no typed text for it.
int phoneTextLimit(int kind);

// A text of a name that the phone will not take whole.
struct TextCut {
    QString what; // "Name", or the subentry's type ("Note", "Mobile")
    int limit = 0;
};

// Every text of the name (the name first, then its subentries in order) that
// is longer than the phone stores.
std::vector<TextCut> textCuts(const Name& name);

// "Note will be cut to 60 characters", joined with ", " for several; empty
// when everything fits. Shown before a write.
QString cutWarning(const Name& name);

} // namespace quorix
