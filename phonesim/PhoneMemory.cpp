#include "phonesim/PhoneMemory.h"

#include "transfer/PhoneView.h"
#include "transfer/PhonebookMessages.h"

#include <QSet>

#include <algorithm>

namespace quorix::phonesim {

using namespace quorix::transfer;

PhoneMemory::PhoneMemory(int size) : slots_(static_cast<size_t>(std::clamp(size, 1, MaxSize))) {}

int PhoneMemory::used() const {
    return static_cast<int>(
        std::count_if(slots_.begin(), slots_.end(), [](const auto& s) { return s.has_value(); }));
}

const PhoneEntry* PhoneMemory::at(int location) const {
    if (!contains(location))
        return nullptr;
    const auto& slot = slots_[static_cast<size_t>(location - 1)];
    return slot ? &*slot : nullptr;
}

void PhoneMemory::store(int location, PhoneEntry entry) {
    if (contains(location))
        slots_[static_cast<size_t>(location - 1)] = std::move(entry);
}

void PhoneMemory::erase(int location) {
    if (contains(location))
        slots_[static_cast<size_t>(location - 1)].reset();
}

std::optional<PhoneEntry> PhoneMemory::fromWriteRequest(const QByteArray& payload) {
    if (payload.size() < EntryHeaderSize)
        return std::nullopt;
    bool complete = false;
    const QList<Block> blocks = splitBlocks(payload.mid(EntryHeaderSize), &complete);
    if (!complete || blocks.isEmpty() || blocks.front().id != BlockName)
        return std::nullopt;

    PhoneEntry entry;
    entry.name = decodeText(blocks.front().bytes.mid(blockTextOffset(BlockName)));
    for (qsizetype i = 1; i < blocks.size(); ++i) {
        const Block& b = blocks[i];
        if (b.id == BlockGroup)
            entry.group = quint8(b.bytes[5]);
        else if (b.id == BlockNumber)
            entry.fields.push_back({b.id, quint8(b.bytes[5]), decodeText(b.bytes.mid(10))});
        else
            entry.fields.push_back({b.id, 0, decodeText(b.bytes.mid(blockTextOffset(b.id)))});
    }
    return entry;
}

QByteArray PhoneMemory::readAnswer(int location) const {
    const PhoneEntry* e = at(location);
    if (!e)
        return emptyLocationAnswer(location);
    // The phone answers in its own order: name, numbers, texts, caller group.
    QByteArray blocks = nameBlock(e->name);
    int count = 1;
    for (const bool numbers : {true, false}) {
        for (const PhoneEntry::Field& f : e->fields) {
            if ((f.id == BlockNumber) != numbers)
                continue;
            blocks += numbers ? numberBlock(f.kind, f.text) : textBlock(f.id, f.text);
            ++count;
        }
    }
    if (e->group != 0) {
        blocks += groupBlock(e->group);
        ++count;
    }
    return entryAnswer(location, blocks, count);
}

bool PhoneMemory::load(const Book& book, bool sparse, QString* error) {
    std::fill(slots_.begin(), slots_.end(), std::nullopt);
    const int count = book.entryCount();
    if (count > size()) {
        if (error)
            *error = QStringLiteral("the book holds %1 names, but the memory has only %2 "
                                    "locations (see --memory)")
                         .arg(count)
                         .arg(size());
        return false;
    }
    // A book that knows where the phone keeps each name (a snapshot of a read)
    // goes back to those locations.
    QSet<int> recorded;
    for (const auto& n : book)
        if (n->location && contains(*n->location))
            recorded.insert(*n->location);
    const bool placed = count > 0 && recorded.size() == count;
    const int step = sparse && count > 0 ? std::max(1, size() / count) : 1;
    for (int i = 0; i < count; ++i) {
        const int location = placed ? *book.name(i).location : 1 + i * step;
        const auto entry = fromWriteRequest(writeRequest(book.name(i), location));
        if (entry)
            store(location, *entry);
    }
    return true;
}

Book PhoneMemory::toBook() const {
    Book book;
    for (int location = 1; location <= size(); ++location) {
        if (!at(location))
            continue;
        if (auto entry = decodeEntry(readAnswer(location))) {
            Name& n =
                book.insertName(book.entryCount(), std::make_unique<Name>(std::move(entry->name)));
            n.location = location;
            n.phoneContent = contentOf(n);
        }
    }
    return book;
}

} // namespace quorix::phonesim
