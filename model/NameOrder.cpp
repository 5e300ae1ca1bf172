#include "NameOrder.h"

#include "Book.h"

#include <QCollatorSortKey>
#include <algorithm>
#include <numeric>

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
    primary.reserve(static_cast<size_t>(count));
    for (int row = 0; row < count; ++row)
        primary.push_back(collator_.sortKey(primaryText(book.name(row).text)));
    std::vector<int> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    const auto key = [&](int row) -> const QCollatorSortKey& {
        return primary[static_cast<size_t>(row)];
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return key(a).compare(key(b)) < 0; });

    // Hyphens and apostrophes only decide between names the first keys find
    // equal, so the full text is keyed for those alone, and rarely.
    for (size_t first = 0; first < order.size();) {
        size_t end = first + 1;
        while (end < order.size() && key(order[first]).compare(key(order[end])) == 0)
            ++end;
        const auto weak = [&](int row) { return hasWeakCharacters(book.name(row).text); };
        if (end - first > 1 &&
            std::any_of(order.begin() + qsizetype(first), order.begin() + qsizetype(end), weak)) {
            std::vector<std::pair<QCollatorSortKey, int>> run;
            for (size_t i = first; i < end; ++i) {
                const QString& text = book.name(order[i]).text;
                run.emplace_back(weak(order[i]) ? collator_.sortKey(text) : key(order[i]),
                                 order[i]);
            }
            std::stable_sort(run.begin(), run.end(), [](const auto& a, const auto& b) {
                return a.first.compare(b.first) < 0;
            });
            for (size_t i = first; i < end; ++i)
                order[i] = run[i - first].second;
        }
        first = end;
    }
    return order;
}

} // namespace quorix
