#pragma once

#include "model/Book.h"

// The phone's view of a name: what a location holds after the name was written
// there, found by encoding the write request and decoding it as a read would.
// Comparing the book with the phone goes through this, so a name the phone cuts
// or re-encodes is not taken for a change.
namespace quorix::transfer {

// What writing the name would leave on the phone.
PhoneContent phoneView(const Name& name);
// The content of a name as a read decoded it.
PhoneContent contentOf(const Name& decoded);
// The content as a name of the book (for backups and restores).
Name nameOf(const PhoneContent& content);

} // namespace quorix::transfer
