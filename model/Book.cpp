#include "Book.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace quorix {

quint64 Name::nextSerial() {
    // Any thread may build a book.
    static std::atomic<quint64> next{1};
    return next++;
}

int Book::rowOf(const Name* n) const {
    if (!n)
        return -1;
    if (rowsDirty_)
        renumber();
    const qint64 row = n->row_ - base_;
    if (row < 0 || row >= entryCount() || names_[static_cast<size_t>(row)].get() != n)
        return -1;
    return static_cast<int>(row);
}

void Book::renumber() const {
    base_ = 0;
    qint64 row = 0;
    for (const auto& n : names_)
        n->row_ = row++;
    rowsDirty_ = false;
}

Name& Book::addAtTop(QString text) {
    return insertName(0, std::move(text));
}

Name& Book::insertName(int row, QString text) {
    return insertName(row, std::make_unique<Name>(std::move(text)));
}

Name& Book::insertName(int row, std::unique_ptr<Name> name) {
    row = std::clamp(row, 0, entryCount());
    const bool atTop = row == 0;
    const bool atEnd = row == entryCount();
    auto it = names_.insert(names_.begin() + row, std::move(name));
    // At either end the other names keep their keys; only the base moves.
    if (!rowsDirty_ && atTop) {
        (*it)->row_ = --base_;
    } else if (!rowsDirty_ && atEnd) {
        (*it)->row_ = base_ + row;
    } else {
        rowsDirty_ = true;
    }
    return **it;
}

std::unique_ptr<Name> Book::takeName(int row) {
    auto it = names_.begin() + row;
    std::unique_ptr<Name> taken = std::move(*it);
    names_.erase(it);
    if (row == 0)
        ++base_;
    else if (row != entryCount())
        rowsDirty_ = true;
    taken->row_ = -1;
    return taken;
}

void Book::clear() {
    names_.clear();
    entryNotes.clear();
    base_ = 0;
    rowsDirty_ = false;
}

void Book::swapContent(Book& other) {
    std::swap(names_, other.names_);
    std::swap(base_, other.base_);
    std::swap(rowsDirty_, other.rowsDirty_);
    std::swap(entryNotes, other.entryNotes);
    std::swap(rootExpanded, other.rootExpanded);
    std::swap(phoneHeld, other.phoneHeld);
}

void Book::flipBook() {
    std::reverse(names_.begin(), names_.end());
    for (const auto& n : names_)
        n->expanded = false;
    rootExpanded = true;
    rowsDirty_ = true;
}

void Book::permuteNames(const std::vector<int>& order) {
    std::deque<std::unique_ptr<Name>> sorted;
    for (const int oldRow : order)
        sorted.push_back(std::move(names_[static_cast<size_t>(oldRow)]));
    names_ = std::move(sorted);
    rowsDirty_ = true;
}

int Book::findName(const QString& text, int skip) const {
    for (int row = 0; row < entryCount(); ++row)
        if (row != skip && names_[static_cast<size_t>(row)]->text == text)
            return row;
    return -1;
}

QString Book::newEntryName() const {
    // One pass collects the taken numbers; the search is then linear too.
    static const QString prefix = QStringLiteral("New Entry ");
    std::vector<bool> taken(static_cast<size_t>(entryCount()) + 2, false);
    for (const auto& n : names_) {
        const QString& t = n->text;
        if (!t.startsWith(prefix) || t.size() == prefix.size() || t.at(prefix.size()) == u'0')
            continue;
        bool ok = true;
        qsizetype value = 0;
        for (qsizetype i = prefix.size(); i < t.size() && ok; ++i) {
            const char16_t c = t.at(i).unicode();
            ok = c >= u'0' && c <= u'9';
            value = value * 10 + (c - u'0');
            if (value >= static_cast<qsizetype>(taken.size()))
                ok = false; // too big to matter: the answer is never above count + 1
        }
        if (ok)
            taken[static_cast<size_t>(value)] = true;
    }
    size_t n = 1;
    while (taken[n])
        ++n;
    return prefix + QString::number(static_cast<qulonglong>(n));
}

int Book::subentryCount(const Name& name, int sortClass) {
    return static_cast<int>(
        std::count_if(name.subs.begin(), name.subs.end(),
                      [&](const Subentry& s) { return sortClassOf(s.kind) == sortClass; }));
}

Subentry& Book::addSubentry(Name& name, QString text, int kind) {
    return name.subs.emplace_back(Subentry{std::move(text), kind});
}

Subentry& Book::insertSubentry(Name& name, int pos, QString text, int kind) {
    pos = std::clamp(pos, 0, static_cast<int>(name.subs.size()));
    return *name.subs.insert(name.subs.begin() + pos, Subentry{std::move(text), kind});
}

void Book::sortByClass(Name& name) {
    std::stable_sort(name.subs.begin(), name.subs.end(),
                     [](const Subentry& a, const Subentry& b) { return compareClass(a, b) < 0; });
}

void Book::setEntryNote(Name& name, const QString& note) {
    if (name.data > 0 && name.data <= entryNotes.size()) {
        entryNotes[name.data - 1] = note;
        return;
    }
    entryNotes.append(note);
    name.data = static_cast<int>(entryNotes.size());
}

QString Book::entryNote(const Name& name) const {
    if (name.data > 0 && name.data <= entryNotes.size())
        return entryNotes.at(name.data - 1);
    return {};
}

char16_t windows1252Char(unsigned char byte) {
    // Characters of the bytes 0x80 to 0x9F; the rest is Latin-1.
    static constexpr char16_t High[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    return byte >= 0x80 && byte < 0xA0 ? High[byte - 0x80] : char16_t(byte);
}

QString wholeCharacters(QString text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

QString cleanNumber(const QString& text, QStringView emptyNumber) {
    QString result;
    result.reserve(text.size());
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if ((c >= u'0' && c <= u'9') || c == u'#' || c == u'*' || c == u'+' || c == u'p' ||
            c == u'w')
            result.append(qc);
    }
    if (result.isEmpty())
        result = emptyNumber.toString();
    return result;
}

namespace {

// Words that mark the extension after a number, lower case and without
// accents: English, German (Durchwahl), French (poste), Spanish and
// Portuguese (anexo, ramal), Italian (interno), Dutch (toestel, tst).
bool isExtensionWord(const QString& word) {
    static const QStringList words = {
        QStringLiteral("x"),         QStringLiteral("ext"),     QStringLiteral("extn"),
        QStringLiteral("extension"), QStringLiteral("dw"),      QStringLiteral("durchwahl"),
        QStringLiteral("poste"),     QStringLiteral("anexo"),   QStringLiteral("ramal"),
        QStringLiteral("interno"),   QStringLiteral("toestel"), QStringLiteral("tst"),
    };
    return words.contains(word);
}

} // namespace

std::optional<QString> importedNumber(const QString& text) {
    QStringView rest(text);
    rest = rest.trimmed();
    QString extension;
    if (rest.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive)) {
        // A tel: address: the number, then ";name=value" parameters, of which
        // only the extension concerns the phone.
        rest = rest.sliced(4);
        const qsizetype semicolon = rest.indexOf(u';');
        if (semicolon >= 0) {
            for (const QStringView param : rest.sliced(semicolon + 1).split(u';')) {
                if (param.startsWith(QLatin1String("ext="), Qt::CaseInsensitive))
                    extension = QStringLiteral(" ext ") + param.sliced(4).toString();
            }
            rest = rest.first(semicolon);
        }
    }
    const QString whole = rest.toString() + extension;
    QString out;
    bool digit = false;
    bool inExtension = false;
    bool extensionDigits = false;
    for (qsizetype i = 0; i < whole.size();) {
        const QChar c = whole.at(i);
        if (c.isLetter()) {
            qsizetype end = i;
            while (end < whole.size() && whole.at(end).isLetter())
                ++end;
            const QString word =
                whole.sliced(i, end - i).normalized(QString::NormalizationForm_D).toLower();
            QString bare;
            for (const QChar w : word)
                if (!w.isMark())
                    bare += w;
            i = end;
            if (bare == u"p" || bare == u"w") {
                out += bare;
            } else if (isExtensionWord(bare) && digit && !inExtension) {
                out += u'p';
                inExtension = true;
            } else {
                return std::nullopt;
            }
            continue;
        }
        if (c.category() == QChar::Number_DecimalDigit) {
            out += QChar(u'0' + c.digitValue());
            digit = true;
            extensionDigits = extensionDigits || inExtension;
        } else if (c == u'+' || c == u'*' || c == u'#') {
            out += c;
        } else if (c.isHighSurrogate() && i + 1 < whole.size()) {
            // Beyond the Basic Multilingual Plane: no digit of a number.
            if (QChar::isLetter(QChar::surrogateToUcs4(c, whole.at(i + 1))))
                return std::nullopt;
            ++i;
        }
        ++i;
    }
    if (!digit || (inExtension && !extensionDigits))
        return std::nullopt;
    return out;
}

namespace {

// Control characters would break the layout or drive a terminal; a person
// sees "?". That includes the C1 controls 0x80-0x9F, which a terminal obeys.
void appendPrintable(QString& out, const QString& text) {
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        out +=
            (u < 0x20 || (u >= 0x7f && u < 0xa0) || u == 0x2028 || u == 0x2029) ? QChar(u'?') : c;
    }
}

} // namespace

QString describeBook(const Book& book) {
    QString out;
    for (const auto& n : book) {
        appendPrintable(out, n->text);
        out += u'\n';
        for (const Subentry& s : n->subs) {
            out += "  ";
            // Files may hold subentry kinds of no type (0, 1, 12..15): show the number.
            if (s.kind >= KindGeneral && s.kind <= KindUnknown)
                out += QLatin1String(kindName(s.kind));
            else
                out += QStringLiteral("Unknown (") + QString::number(s.kind) + u')';
            out += ": ";
            appendPrintable(out, s.text);
            out += u'\n';
        }
    }
    return out;
}

} // namespace quorix
