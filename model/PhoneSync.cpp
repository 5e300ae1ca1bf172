#include "PhoneSync.h"

#include "BookMerge.h"

#include <QHash>
#include <algorithm>
#include <map>
#include <set>

namespace quorix {

namespace {

const QString Arrow = QStringLiteral(" \u2192 ");

QString kindLabel(int kind) {
    return QString::fromLatin1(kindName(kind));
}

} // namespace

QString Comparison::countLine() const {
    QString line = QStringLiteral("%1 changed, %2 new, %3 the same, %4 only on the phone")
                       .arg(changed)
                       .arg(added)
                       .arg(same)
                       .arg(phoneOnly);
    if (unplaced > 0)
        line += QStringLiteral(", %1 without a free location").arg(unplaced);
    return line;
}

QStringList describeChanges(const PhoneContent& old, const PhoneContent& now) {
    QStringList out;
    if (old.name != now.name)
        out << QStringLiteral("Name: ") + old.name + Arrow + now.name;
    std::map<int, std::pair<QStringList, QStringList>> byKind;
    for (const Subentry& s : old.subs)
        byKind[s.kind].first << s.text;
    for (const Subentry& s : now.subs)
        byKind[s.kind].second << s.text;
    for (auto& [kind, texts] : byKind) {
        QStringList& was = texts.first;
        QStringList& is = texts.second;
        // Entries both hold are no change, wherever they stand.
        for (qsizetype i = 0; i < was.size();) {
            if (const qsizetype j = is.indexOf(was[i]); j >= 0) {
                is.removeAt(j);
                was.removeAt(i);
            } else {
                ++i;
            }
        }
        for (qsizetype i = 0; i < std::max(was.size(), is.size()); ++i)
            out << kindLabel(kind) + QStringLiteral(": ") + was.value(i) + Arrow + is.value(i);
    }
    return out;
}

Comparison comparePhone(const std::vector<BookSide>& book, const std::vector<PhoneSlot>& phone,
                        int first, int last) {
    Comparison c;
    c.first = first;
    c.last = last;
    std::map<int, const PhoneSlot*> held; // the phone's used locations in the range
    for (const PhoneSlot& s : phone)
        if (s.location >= first && s.location <= last)
            held.emplace(s.location, &s);

    // Locations claimed by a name of the book, and the book rows placed so far.
    std::map<int, const BookSide*> claimed;
    std::vector<const BookSide*> unmatched;
    for (const BookSide& b : book) {
        if (b.location && *b.location >= first && *b.location <= last &&
            !claimed.contains(*b.location))
            claimed.emplace(*b.location, &b);
        else if (!b.location || (*b.location >= first && *b.location <= last))
            unmatched.push_back(&b);
    }
    // Names without a place meet the phone's unclaimed entries by name.
    QHash<QString, std::vector<int>> byName; // key → unclaimed locations, ascending
    for (const auto& [loc, slot] : held)
        if (!claimed.contains(loc))
            if (const QString key = personKey(slot->content.name); !key.isEmpty())
                byName[key].push_back(loc);
    std::vector<const BookSide*> fresh;
    for (const BookSide* b : unmatched) {
        const QString key = personKey(b->stored.name);
        auto it = key.isEmpty() ? byName.end() : byName.find(key);
        if (it != byName.end() && !it->empty()) {
            // Of several namesakes, the one holding exactly this name's content.
            auto pick = std::find_if(it->begin(), it->end(),
                                     [&](int loc) { return held.at(loc)->content == b->stored; });
            if (pick == it->end())
                pick = it->begin();
            claimed.emplace(*pick, b);
            it->erase(pick);
        } else {
            fresh.push_back(b);
        }
    }

    // New names take the first locations nobody holds or claims.
    std::vector<SlotDiff> unplacedRows;
    std::set<int> placedNew;
    int next = first;
    for (const BookSide* b : fresh) {
        while (next <= last && (held.contains(next) || claimed.contains(next)))
            ++next;
        SlotDiff d;
        d.state = SlotState::New;
        d.bookRow = b->row;
        d.book = b->stored;
        if (next <= last) {
            d.location = next;
            claimed.emplace(next, b);
            placedNew.insert(next);
            c.rows.push_back(std::move(d));
        } else {
            unplacedRows.push_back(std::move(d));
        }
    }

    for (const auto& [loc, b] : claimed) {
        auto h = held.find(loc);
        if (h == held.end())
            continue; // a new name, listed above
        SlotDiff d;
        d.location = loc;
        d.bookRow = b->row;
        d.book = b->stored;
        d.phone = h->second->content;
        if (*d.phone == b->stored) {
            d.state = SlotState::Same;
        } else {
            d.state = SlotState::Changed;
            d.changes = describeChanges(*d.phone, b->stored);
        }
        c.rows.push_back(std::move(d));
    }
    // A recorded location the phone has emptied gets its name back: a new entry there.
    for (const auto& [loc, b] : claimed) {
        if (held.contains(loc) || placedNew.contains(loc))
            continue;
        SlotDiff d;
        d.state = SlotState::New;
        d.location = loc;
        d.bookRow = b->row;
        d.book = b->stored;
        c.rows.push_back(std::move(d));
    }
    for (const auto& [loc, slot] : held) {
        if (claimed.contains(loc))
            continue;
        SlotDiff d;
        d.state = SlotState::PhoneOnly;
        d.location = loc;
        d.phone = slot->content;
        c.rows.push_back(std::move(d));
    }
    std::stable_sort(c.rows.begin(), c.rows.end(),
                     [](const SlotDiff& a, const SlotDiff& b) { return a.location < b.location; });
    for (SlotDiff& d : unplacedRows)
        c.rows.push_back(std::move(d));

    for (const SlotDiff& d : c.rows) {
        switch (d.state) {
        case SlotState::Same:
            ++c.same;
            break;
        case SlotState::Changed:
            ++c.changed;
            break;
        case SlotState::New:
            ++c.added;
            if (d.location == 0)
                ++c.unplaced;
            break;
        case SlotState::PhoneOnly:
            ++c.phoneOnly;
            break;
        }
    }
    return c;
}

WritePlan planChanges(const Comparison& comparison) {
    WritePlan plan;
    for (const SlotDiff& d : comparison.rows) {
        switch (d.state) {
        case SlotState::Same:
            plan.skip.push_back(d.bookRow);
            break;
        case SlotState::Changed:
            plan.send.push_back({d.bookRow, d.location, false});
            break;
        case SlotState::New:
            if (d.location > 0)
                plan.send.push_back({d.bookRow, d.location, true});
            else
                plan.unplaced.push_back(d.bookRow);
            break;
        case SlotState::PhoneOnly:
            plan.left.push_back({d.location, *d.phone});
            break;
        }
    }
    return plan;
}

namespace {
std::map<int, const PhoneContent*> byLocation(const std::vector<PhoneSlot>& held) {
    std::map<int, const PhoneContent*> out;
    for (const PhoneSlot& s : held)
        out.emplace(s.location, &s.content);
    return out;
}
} // namespace

std::vector<WritePlan::Send> changedBehind(const WritePlan& plan,
                                           const std::vector<PhoneSlot>& expected,
                                           const std::vector<PhoneSlot>& found) {
    const auto want = byLocation(expected), have = byLocation(found);
    std::vector<WritePlan::Send> out;
    for (const WritePlan::Send& s : plan.send) {
        const auto w = want.find(s.location), h = have.find(s.location);
        const bool wanted = w != want.end(), had = h != have.end();
        if (wanted != had || (wanted && *w->second != *h->second))
            out.push_back(s);
    }
    return out;
}

std::vector<PhoneSlot> replacedBy(const WritePlan& plan, const std::vector<PhoneSlot>& held) {
    const auto have = byLocation(held);
    std::vector<PhoneSlot> out;
    for (const WritePlan::Send& s : plan.send)
        if (const auto h = have.find(s.location); h != have.end())
            out.push_back({s.location, *h->second});
    return out;
}

std::vector<BookSide> bookSides(const Book& book,
                                const std::function<PhoneContent(const Name&)>& stored) {
    std::vector<BookSide> out;
    out.reserve(size_t(book.entryCount()));
    for (int row = 0; row < book.entryCount(); ++row) {
        const Name& n = book.name(row);
        BookSide b{row, std::nullopt, stored(n)};
        b.location = n.location;
        out.push_back(std::move(b));
    }
    return out;
}

std::vector<PhoneSlot> recordedSlots(const Book& book) {
    std::map<int, const PhoneContent*> byLocation;
    for (const auto& n : book)
        if (n->location && n->phoneContent)
            byLocation.emplace(*n->location, &*n->phoneContent);
    std::vector<PhoneSlot> out;
    out.reserve(byLocation.size());
    for (const auto& [loc, content] : byLocation)
        out.push_back({loc, *content});
    return out;
}

Book slotsBook(const std::vector<PhoneSlot>& held) {
    std::vector<const PhoneSlot*> sorted;
    for (const PhoneSlot& s : held)
        sorted.push_back(&s);
    std::stable_sort(sorted.begin(), sorted.end(), [](const PhoneSlot* a, const PhoneSlot* b) {
        return a->location < b->location;
    });
    Book book;
    for (const PhoneSlot* s : sorted) {
        Name& n = book.insertName(book.entryCount(), s->content.name);
        n.subs = s->content.subs;
        n.location = s->location;
        n.phoneContent = s->content;
    }
    return book;
}

QString diffLine(const SlotDiff& d, const Book& book) {
    const QString where = d.location > 0 ? QString::number(d.location) : QStringLiteral("-");
    const QString bookName =
        d.bookRow >= 0 && d.bookRow < book.entryCount() ? book.name(d.bookRow).text : QString();
    switch (d.state) {
    case SlotState::Same:
        return where + QStringLiteral(" the same: ") + bookName;
    case SlotState::Changed:
        return where + QStringLiteral(" changed: ") + bookName + QStringLiteral(" (") +
               d.changes.join(QStringLiteral("; ")) + u')';
    case SlotState::New:
        return where + QStringLiteral(" new: ") + bookName +
               (d.location > 0 ? QString() : QStringLiteral(" (no free location)"));
    case SlotState::PhoneOnly:
        return where + QStringLiteral(" only on the phone: ") + d.phone->name;
    }
    return {};
}

} // namespace quorix
