#include "NameOrder.h"

#include "Book.h"

#include <QCollatorSortKey>
#include <algorithm>
#include <numeric>
#include <optional>

namespace quorix {

namespace {

QLocale wordSortLocale(const QLocale& locale) {
    if (locale.language() == QLocale::C)
        return QLocale(QLocale::English, QLocale::UnitedStates);
    return locale;
}

bool hasWeakCharacters(const QString& text) {
    return text.contains(u'-') || text.contains(u'\'');
}

// The text the first comparison sees: without hyphens and apostrophes.
QString primaryText(const QString& text) {
    QString stripped = text;
    stripped.removeIf([](QChar c) { return c == u'-' || c == u'\''; });
    return stripped;
}

} // namespace

NameOrder::NameOrder(const QLocale& locale) : collator_(wordSortLocale(locale)) {
    collator_.setCaseSensitivity(Qt::CaseSensitive);
    collator_.setNumericMode(false);
    // Punctuation is not ignored as a whole; only hyphens and apostrophes are
    // taken out of the first comparison (primaryText).
    collator_.setIgnorePunctuation(false);
}

int NameOrder::compare(const QString& a, const QString& b) const {
    const int primary = collator_.compare(primaryText(a), primaryText(b));
    if (primary != 0 || (!hasWeakCharacters(a) && !hasWeakCharacters(b)))
        return primary;
    return collator_.compare(a, b);
}

std::vector<int> NameOrder::sortedRows(const Book& book) const {
    const int count = book.entryCount();
    std::vector<QCollatorSortKey> primary;
    // The full text's key, only for names whose hyphens or apostrophes may
    // have to break a tie.
    std::vector<std::optional<QCollatorSortKey>> full(static_cast<size_t>(count));
    primary.reserve(static_cast<size_t>(count));
    for (int row = 0; row < count; ++row) {
        const QString& text = book.name(row).text;
        primary.push_back(collator_.sortKey(primaryText(text)));
        if (hasWeakCharacters(text))
            full[static_cast<size_t>(row)] = collator_.sortKey(text);
    }
    std::vector<int> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const auto ua = static_cast<size_t>(a);
        const auto ub = static_cast<size_t>(b);
        const int first = primary[ua].compare(primary[ub]);
        if (first != 0)
            return first < 0;
        if (!full[ua] && !full[ub])
            return false;
        const QCollatorSortKey& ka = full[ua] ? *full[ua] : primary[ua];
        const QCollatorSortKey& kb = full[ub] ? *full[ub] : primary[ub];
        return ka.compare(kb) < 0;
    });
    return order;
}

} // namespace quorix
