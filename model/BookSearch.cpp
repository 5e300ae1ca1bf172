#include "BookSearch.h"

#include <QChar>
#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <utility>

namespace quorix {

namespace {

// One folded code unit per UTF-16 code unit: the base letter of a canonical
// decomposition, case-folded. Built once; a search then folds with a lookup.
class FoldTable {
public:
    FoldTable() {
        for (size_t u = 0; u < table_.size(); ++u) {
            QChar c(static_cast<char16_t>(u));
            if (c.isSurrogate()) {
                table_[u] = static_cast<char16_t>(u);
                continue;
            }
            // "é" decomposes to "e" and a combining accent; "ǖ" in two steps.
            for (int depth = 0; depth < 4 && c.decompositionTag() == QChar::Canonical; ++depth)
                c = c.decomposition().at(0);
            table_[u] = c.toCaseFolded().unicode();
        }
    }
    char16_t operator()(char16_t u) const { return table_[u]; }

private:
    std::array<char16_t, 0x10000> table_{};
};

const FoldTable& foldTable() {
    static const auto table = std::make_unique<FoldTable>();
    return *table;
}

void foldInto(std::u16string& out, const QString& text) {
    const FoldTable& f = foldTable();
    out.resize(static_cast<size_t>(text.size()));
    const char16_t* in = reinterpret_cast<const char16_t*>(text.utf16());
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = f(in[i]);
}

} // namespace

QString BookSearch::fold(const QString& text) {
    return fold(QString(text));
}

QString BookSearch::fold(QString&& text) {
    const FoldTable& f = foldTable();
    // data() detaches a shared string once; a string of its own is folded where it is.
    for (char16_t *u = reinterpret_cast<char16_t*>(text.data()), *end = u + text.size(); u != end;
         ++u)
        *u = f(*u);
    return std::move(text);
}

std::vector<BookSearch::Hit> BookSearch::findAll(const Book& book, const QString& needle) {
    std::vector<Hit> hits;
    if (needle.isEmpty())
        return hits;
    std::u16string key;
    foldInto(key, needle);
    std::u16string buffer;
    const std::boyer_moore_horspool_searcher searcher(key.begin(), key.end());
    const auto contains = [&](const auto& text) {
        if (text.size() < static_cast<qsizetype>(key.size()))
            return false;
        foldInto(buffer, text);
        return std::search(buffer.begin(), buffer.end(), searcher) != buffer.end();
    };
    for (int row = 0; row < book.entryCount(); ++row) {
        const Name& name = book.name(row);
        if (contains(name.text))
            hits.push_back({row, -1});
        for (size_t pos = 0; pos < name.subs.size(); ++pos)
            if (contains(name.subs[pos].text))
                hits.push_back({row, static_cast<int>(pos)});
    }
    return hits;
}

} // namespace quorix
