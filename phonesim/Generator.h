#pragma once

#include "model/Book.h"

namespace quorix::phonesim {

// A book of count realistic names for filling the virtual phone: people and
// businesses from several countries (Latin-1 names included), international and
// local numbers of every kind, and some e-mail addresses, postal addresses, notes and
// caller groups, each name within the phone's limits (5 numbers, 2 texts, 1 group).
// The same seed always gives the same book, on every platform.
Book generateBook(int count, quint32 seed);

} // namespace quorix::phonesim
