#include "BookMerge.h"

#include "BookModel.h"
#include "BookSearch.h"

#include <QHash>
#include <algorithm>
#include <array>
#include <functional>
#include <numeric>

namespace quorix {

namespace {

// Length of the country code at the start of an international number's
// digits. Country codes are prefix-free: 1 and 7 stand alone, these take two
// digits, every other code takes three.
int countryCodeLength(const QString& digits) {
    if (digits.isEmpty())
        return 0;
    if (digits.front() == u'1' || digits.front() == u'7')
        return 1;
    static const std::array<int, 44> twoDigit = {
        20, 27, 30, 31, 32, 33, 34, 36, 39, 40, 41, 43, 44, 45, 46, 47, 48, 49, 51, 52, 53, 54,
        55, 56, 57, 58, 60, 61, 62, 63, 64, 65, 66, 81, 82, 84, 86, 90, 91, 92, 93, 94, 95, 98};
    const int two = digits.left(2).toInt();
    return std::find(twoDigit.begin(), twoDigit.end(), two) != twoDigit.end() ? 2 : 3;
}

// Numbers shorter than this (emergency and service numbers) are shared by
// people who are not one; they do not make names duplicates.
constexpr int MinSharedDigits = 5;

bool sameText(const QString& a, const QString& b) {
    return BookSearch::fold(a.simplified()) == BookSearch::fold(b.simplified());
}

// Whether the subentry says nothing the list does not say already.
bool alreadyIn(const std::vector<Subentry>& subs, const Subentry& sub) {
    const int cls = sortClassOf(sub.kind);
    for (const Subentry& have : subs) {
        if (sortClassOf(have.kind) != cls)
            continue;
        if (cls == ClassGroup)
            return true; // a name keeps its own group
        if (cls == ClassNumber ? sameNumber(have.text, sub.text)
            : cls == ClassText ? sameText(have.text, sub.text)
                               : have == sub)
            return true;
    }
    return false;
}

// What of the others a name does not hold yet; empty when nothing is new.
// fits is false when the name cannot take all of it within its limits.
std::vector<Subentry> newSubentries(const Name& into, const std::vector<const Name*>& others,
                                    bool& fits) {
    std::vector<Subentry> all = into.subs;
    std::vector<Subentry> fresh;
    std::array<int, ClassOther + 1> counts{};
    for (const Subentry& s : into.subs)
        ++counts[static_cast<size_t>(sortClassOf(s.kind))];
    fits = true;
    for (const Name* other : others)
        for (const Subentry& sub : other->subs) {
            if (alreadyIn(all, sub))
                continue;
            const int cls = sortClassOf(sub.kind);
            if (++counts[static_cast<size_t>(cls)] > classLimit(cls))
                fits = false;
            all.push_back(sub);
            fresh.push_back(sub);
        }
    return fresh;
}

// The changes a merge makes, on a plain book or through the item model.
struct PlainTarget {
    Book& b;
    Book& book() { return b; }
    Name& append(const QString& text) { return b.insertName(b.entryCount(), text); }
    void add(Name& name, const Subentry& sub) { Book::addSubentry(name, sub.text, sub.kind); }
    void sort(Name& name) { Book::sortByClass(name); }
    void setOrganization(Name& name, const QString& o) { name.organization = o; }
    void remove(int row) { b.removeName(row); }
};

struct ModelTarget {
    BookModel& m;
    Book& book() { return m.book(); }
    Name& append(const QString& text) { return m.insertName(m.book().entryCount(), text); }
    void add(Name& name, const Subentry& sub) { m.addSubentry(name, sub.text, sub.kind); }
    void sort(Name& name) { m.sortByClass(name); }
    void setOrganization(Name& name, const QString& o) { m.setOrganization(name, o); }
    void remove(int row) { m.removeName(row); }
};

template <typename Target> AddCounts addNames(Target target, Book& incoming) {
    AddCounts counts;
    Book& book = target.book();
    // Each person's first name in the book, the incoming names included once
    // they are in, so that one person is never added twice.
    QHash<QString, Name*> byPerson;
    byPerson.reserve(book.entryCount() + incoming.entryCount());
    const auto remember = [&](const QString& key, Name* name) {
        if (!key.isEmpty() && !byPerson.contains(key))
            byPerson.insert(key, name);
    };
    for (const auto& name : book)
        remember(personKey(name->text), name.get());
    const auto append = [&](const QString& text, const std::vector<Subentry>& subs,
                            const QString& organization) {
        Name& added = target.append(text);
        target.setOrganization(added, organization);
        for (const Subentry& sub : subs)
            target.add(added, sub);
        target.sort(added);
        remember(personKey(text), &added);
        ++counts.added;
    };
    for (const auto& in : incoming) {
        Name* into = byPerson.value(personKey(in->text));
        if (!into) {
            append(in->text, in->subs, in->organization);
            continue;
        }
        bool fits = true;
        const std::vector<Subentry> fresh = newSubentries(*into, {in.get()}, fits);
        // The company goes where the person's first name lacks one.
        const bool company = into->organization.isEmpty() && !in->organization.isEmpty();
        if (fresh.empty() && !company) {
            ++counts.skipped;
        } else if (fits) {
            if (company)
                target.setOrganization(*into, in->organization);
            for (const Subentry& sub : fresh)
                target.add(*into, sub);
            target.sort(*into);
            ++counts.merged;
        } else {
            QString text;
            for (int n = 2; text.isEmpty() || byPerson.contains(personKey(text)); ++n)
                text = into->text + QStringLiteral(" (%1)").arg(n);
            append(text, fresh, in->organization);
        }
    }
    incoming.clear();
    return counts;
}

template <typename Target> bool mergeRows(Target target, const DuplicateGroup& rows) {
    Book& book = target.book();
    if (rows.size() < 2)
        return false;
    for (const int row : rows)
        if (row < 0 || row >= book.entryCount())
            return false;
    Name& into = book.name(rows.front());
    std::vector<const Name*> others;
    for (size_t i = 1; i < rows.size(); ++i)
        if (rows[i] != rows.front())
            others.push_back(&book.name(rows[i]));
    bool fits = true;
    const std::vector<Subentry> fresh = newSubentries(into, others, fits);
    if (!fits)
        return false;
    if (into.organization.isEmpty())
        for (const Name* other : others)
            if (!other->organization.isEmpty()) {
                target.setOrganization(into, other->organization);
                break;
            }
    for (const Subentry& sub : fresh)
        target.add(into, sub);
    target.sort(into);
    // The others go from the bottom up, so the rows still to go stay right.
    std::vector<int> gone(rows.begin() + 1, rows.end());
    std::sort(gone.begin(), gone.end(), std::greater<>());
    gone.erase(std::unique(gone.begin(), gone.end()), gone.end());
    for (const int row : gone)
        if (row != rows.front())
            target.remove(row);
    return true;
}

// Union-find over the rows of the book.
class Groups {
public:
    explicit Groups(int size) : parent_(static_cast<size_t>(size)) {
        std::iota(parent_.begin(), parent_.end(), 0);
    }
    int find(int row) {
        while (parent_[static_cast<size_t>(row)] != row) {
            int& p = parent_[static_cast<size_t>(row)];
            p = parent_[static_cast<size_t>(p)];
            row = p;
        }
        return row;
    }
    void join(int a, int b) {
        a = find(a);
        b = find(b);
        if (a != b)
            parent_[static_cast<size_t>(std::max(a, b))] = std::min(a, b);
    }

private:
    std::vector<int> parent_;
};

// Joins row with the first row that had the same key.
void joinByKey(Groups& groups, QHash<QString, int>& first, const QString& key, int row) {
    const auto it = first.constFind(key);
    if (it == first.cend())
        first.insert(key, row);
    else
        groups.join(it.value(), row);
}

} // namespace

QString personKey(const QString& name) {
    QString text = name.simplified();
    if (text.isEmpty() || text == QLatin1String("<No Name>"))
        return {};
    if (const qsizetype comma = text.indexOf(u','); comma >= 0 && text.count(u',') == 1) {
        const QString family = text.left(comma).trimmed();
        const QString given = text.mid(comma + 1).trimmed();
        if (!family.isEmpty() && !given.isEmpty())
            text = given + u' ' + family;
    }
    return BookSearch::fold(text);
}

NumberKey numberKey(const QString& number) {
    QString digits, extension;
    bool plus = false, pause = false;
    for (const QChar c : number) {
        const QChar lower = c.toLower();
        if (lower == u'p' || lower == u'w')
            pause = true;
        if (pause) {
            // The extension after a pause dials as typed.
            if ((c >= u'0' && c <= u'9') || lower == u'p' || lower == u'w')
                extension += lower;
        } else if (c == u'+' && digits.isEmpty()) {
            plus = true;
        } else if (c >= u'0' && c <= u'9') {
            digits += c;
        }
    }
    NumberKey key;
    if (!plus && digits.startsWith(QLatin1String("00"))) {
        plus = true;
        digits.remove(0, 2);
    }
    if (plus) {
        QString national = digits.mid(countryCodeLength(digits));
        // "+49 (0) 171 ...": the trunk "0" written in by habit.
        if (national.startsWith(u'0'))
            national.remove(0, 1);
        key.international = digits.left(countryCodeLength(digits)) + national + extension;
        key.national = national + extension;
    } else {
        key.national = (digits.startsWith(u'0') ? digits.mid(1) : digits) + extension;
    }
    return key;
}

bool sameNumber(const QString& a, const QString& b) {
    const NumberKey ka = numberKey(a), kb = numberKey(b);
    if (!ka.international.isEmpty() && !kb.international.isEmpty())
        return ka.international == kb.international;
    if (!ka.national.isEmpty() || !kb.national.isEmpty())
        return ka.national == kb.national;
    return cleanNumber(a) == cleanNumber(b);
}

QString AddCounts::summary() const {
    return QStringLiteral("%1 added, %2 merged, %3 skipped (already in the book)")
        .arg(added)
        .arg(merged)
        .arg(skipped);
}

AddCounts addToBook(Book& book, Book& incoming) {
    return addNames(PlainTarget{book}, incoming);
}

AddCounts addToBook(BookModel& model, Book& incoming) {
    return addNames(ModelTarget{model}, incoming);
}

std::vector<DuplicateGroup> findDuplicates(const Book& book) {
    const int count = book.entryCount();
    Groups groups(count);
    QHash<QString, int> byPerson, byInternational, byNational;
    byPerson.reserve(count);
    // International numbers meet national ones on their national part only, so
    // that "+33 ..." and "+49 ..." with equal national parts stay apart.
    std::vector<std::pair<QString, int>> internationals;
    for (int row = 0; row < count; ++row) {
        const Name& name = book.name(row);
        if (const QString key = personKey(name.text); !key.isEmpty())
            joinByKey(groups, byPerson, key, row);
        for (const Subentry& sub : name.subs) {
            if (!isNumberKind(sub.kind))
                continue;
            const NumberKey key = numberKey(sub.text);
            if (key.national.size() < MinSharedDigits)
                continue;
            if (key.international.isEmpty()) {
                joinByKey(groups, byNational, key.national, row);
            } else {
                joinByKey(groups, byInternational, key.international, row);
                internationals.emplace_back(key.national, row);
            }
        }
    }
    for (const auto& [national, row] : internationals)
        if (const auto it = byNational.constFind(national); it != byNational.cend())
            groups.join(it.value(), row);

    // Roots are the smallest row of their group, so groups come out in order.
    std::vector<DuplicateGroup> result;
    std::vector<int> slot(static_cast<size_t>(count), -1);
    std::vector<int> size(static_cast<size_t>(count), 0);
    for (int row = 0; row < count; ++row)
        ++size[static_cast<size_t>(groups.find(row))];
    for (int row = 0; row < count; ++row) {
        const int root = groups.find(row);
        if (size[static_cast<size_t>(root)] < 2)
            continue;
        int& s = slot[static_cast<size_t>(root)];
        if (s < 0) {
            s = static_cast<int>(result.size());
            result.emplace_back();
        }
        result[static_cast<size_t>(s)].push_back(row);
    }
    return result;
}

bool mergeNames(Book& book, const DuplicateGroup& rows) {
    return mergeRows(PlainTarget{book}, rows);
}

bool mergeNames(BookModel& model, const DuplicateGroup& rows) {
    return mergeRows(ModelTarget{model}, rows);
}

} // namespace quorix
