#pragma once

#include "model/Book.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace quorix::phonesim {

// What one memory location of the virtual phone holds. The phone keeps fields, not
// the bytes it was sent: a number keeps its kind byte as written (so kinds the
// program does not know come back as they went in), a text block its id.
struct PhoneEntry {
    struct Field {
        quint8 id = 0;   // block id: 0x0B number, 0x08/0x09/0x0A text, others kept as text
        quint8 kind = 0; // number kind byte (numbers only)
        QString text;
        friend bool operator==(const Field&, const Field&) = default;
    };
    QString name;
    std::vector<Field> fields;
    int group = 0; // caller group 1..5 as written; 0 none (the last group block wins)

    friend bool operator==(const PhoneEntry&, const PhoneEntry&) = default;
};

// The phonebook memory: locations 1..size, each empty or holding an entry.
class PhoneMemory {
public:
    static constexpr int DefaultSize = 500;
    static constexpr int MaxSize = 65535; // locations are 16-bit on the line

    explicit PhoneMemory(int size = DefaultSize);

    int size() const { return static_cast<int>(slots_.size()); }
    int used() const;
    bool contains(int location) const { return location >= 1 && location <= size(); }
    // The entry at a location, or null when it is empty or outside the memory.
    const PhoneEntry* at(int location) const;
    void store(int location, PhoneEntry entry);
    void erase(int location);

    // The entry a write request payload carries: the blocks after the header, a name
    // block first. Nothing when the blocks are malformed or the name block is missing.
    static std::optional<PhoneEntry> fromWriteRequest(const QByteArray& payload);
    // The phone's answer to a read of a location: the entry answer, or the
    // empty-location answer for an empty location or one outside the memory.
    QByteArray readAnswer(int location) const;

    // Fills the memory from a book, one name per location from 1, each as the
    // program would write it. With sparse, the names are spread evenly over the
    // memory with empty locations between them. A book whose names all have
    // distinct locations in the memory (a snapshot) puts each at its own. Fails, leaving the memory
    // empty, when the book has more names than the memory has locations.
    bool load(const Book& book, bool sparse, QString* error);
    // The used locations as a book, in location order, each name as a read gives
    // it, with its location.
    Book toBook() const;

private:
    std::vector<std::optional<PhoneEntry>> slots_;
};

} // namespace quorix::phonesim
