#include "VCard.h"

#include "PhoneProperty.h"

#include "Codepage.h"
#include "Filling.h"
#include "LineReader.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace quorix::files {

namespace {

// Our own files say so, and come back exactly as they were written.
constexpr char ProdId[] = "-//Quorix//Quorix phonebook//EN";
constexpr char UnknownProperty[] = "X-QUORIX-UNKNOWN";
constexpr char KindParameter[] = "X-QUORIX-KIND";
constexpr qsizetype FoldAt = 75;

// ---- reading ---------------------------------------------------------------

struct Parameter {
    QByteArray key; // upper case; empty for a bare 2.1 value such as TEL;CELL
    QByteArray value;
};

struct Property {
    QByteArray name;  // upper case, group prefix removed
    QByteArray group; // Apple's "item1" of "item1.TEL", lower case; empty when none
    std::vector<Parameter> params;
    QByteArray value;

    // Every value a parameter key has, split at commas, upper case; bare values
    // count as TYPE.
    QList<QByteArray> values(const QByteArray& key) const {
        QList<QByteArray> out;
        for (const Parameter& p : params) {
            if (p.key == key || (key == "TYPE" && p.key.isEmpty()))
                for (const QByteArray& v : p.value.split(','))
                    out << v.trimmed().toUpper();
        }
        return out;
    }
    bool has(const QByteArray& key, const QByteArray& value) const {
        return values(key).contains(value);
    }
};

QByteArray unquote(QByteArray v) {
    if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"'))
        return v.mid(1, v.size() - 2);
    return v;
}

// "group.NAME;KEY=VALUE;BARE:value"; nothing when there is no colon.
std::optional<Property> parseProperty(const QByteArray& line) {
    bool quoted = false;
    qsizetype colon = -1;
    for (qsizetype i = 0; i < line.size() && colon < 0; ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted)
            colon = i;
    }
    if (colon < 0)
        return std::nullopt;
    Property p;
    p.value = line.mid(colon + 1);
    QList<QByteArray> parts;
    QByteArray part;
    quoted = false;
    for (const char c : QByteArrayView(line).first(colon)) {
        if (c == '"')
            quoted = !quoted;
        if (c == ';' && !quoted) {
            parts << std::exchange(part, {});
            continue;
        }
        part += c;
    }
    parts << part;
    p.name = parts.takeFirst().trimmed().toUpper();
    if (const qsizetype dot = p.name.lastIndexOf('.'); dot >= 0) {
        p.group = p.name.left(dot).toLower();
        p.name = p.name.mid(dot + 1);
    }
    for (const QByteArray& param : parts) {
        const qsizetype eq = param.indexOf('=');
        if (eq < 0)
            p.params.push_back({{}, param.trimmed()});
        else
            p.params.push_back({param.left(eq).trimmed().toUpper(), unquote(param.mid(eq + 1))});
    }
    return p;
}

QByteArray decodeQuotedPrintable(const QByteArray& in) {
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '=' && i + 2 < in.size()) {
            bool ok = false;
            const int v = in.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                out += char(v);
                i += 2;
                continue;
            }
        }
        if (in[i] == '=' && i == in.size() - 1)
            break; // a soft line break left at the end
        out += in[i];
    }
    return out;
}

bool isValidUtf8(const QByteArray& bytes) {
    QStringDecoder d(QStringDecoder::Utf8);
    const QString s = d.decode(bytes);
    return !d.hasError();
}

// The property's value as characters: quoted-printable undone, then the
// charset it names; without one, UTF-8 (2.1 files of old phones may hold
// Windows-1252 instead, which is taken when the bytes are no valid UTF-8).
// A UTF-16 file was made UTF-8 on reading, whatever its cards say.
QString valueText(const Property& p, bool fromUtf16) {
    QByteArray bytes = p.value;
    if (p.has("ENCODING", "QUOTED-PRINTABLE") || p.has("TYPE", "QUOTED-PRINTABLE"))
        bytes = decodeQuotedPrintable(bytes);
    const QList<QByteArray> charsets = fromUtf16 ? QList<QByteArray>{} : p.values("CHARSET");
    if (!charsets.isEmpty() && charsets.front() != "UTF-8") {
        QStringDecoder d(charsets.front().constData());
        if (d.isValid())
            return wholeCharacters(d.decode(bytes));
    }
    if (charsets.isEmpty() && !isValidUtf8(bytes))
        return decodeCp1252(bytes);
    return QString::fromUtf8(bytes);
}

// Splits at the separator where it is not escaped; the parts keep their escapes.
QStringList splitUnescaped(const QString& text, QChar separator) {
    QStringList out;
    QString part;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\' && i + 1 < text.size()) {
            part += c;
            part += text[++i];
        } else if (c == separator) {
            out << std::exchange(part, {});
        } else {
            part += c;
        }
    }
    out << part;
    return out;
}

QString unescape(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r')
            continue; // a stray CR is no part of a text (line breaks are "\n")
        if (text[i] != u'\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const QChar next = text[++i];
        out += (next == u'n' || next == u'N') ? QChar(u'\n') : next;
    }
    return out;
}

int telKind(const Property& p) {
    const QList<QByteArray> types = p.values("TYPE");
    if (types.contains("FAX"))
        return KindFax;
    if (types.contains("CELL"))
        return KindMobile;
    if (types.contains("HOME"))
        return KindHome;
    if (types.contains("WORK"))
        return KindOffice;
    return KindGeneral;
}

// The kind an Apple label ("item1.X-ABLabel") gives its number: Apple's own
// ("_$!<Mobile>!$_", "_$!<HomeFAX>!$_") and what people type, in English and
// the common languages; nothing for a label of no kind.
std::optional<int> labelKind(const QString& label) {
    QString bare;
    for (const QChar c : label.normalized(QString::NormalizationForm_D).toLower())
        if (!c.isMark()) // accents go: "Móvil" is "movil"
            bare += c.isLetter() ? c : QChar(u' ');
    const QStringList words = bare.split(u' ', Qt::SkipEmptyParts);
    const auto any = [&](std::initializer_list<const char*> table) {
        return std::any_of(words.begin(), words.end(), [&](const QString& w) {
            return std::any_of(table.begin(), table.end(),
                               [&](const char* t) { return w == QLatin1String(t); });
        });
    };
    // Accents are gone: "movil", "telemovel", "escritorio", "buro".
    if (any({"fax", "homefax", "workfax", "telefax", "telecopie", "telecopieur"}))
        return KindFax;
    if (any({"mobile", "mobil", "cell", "cellular", "iphone", "handy", "portable", "movil",
             "celular", "cellulare", "telefonino", "mobiel", "gsm", "telemovel", "komorka",
             "mobiltelefon"}))
        return KindMobile;
    if (any({"home", "privat", "zuhause", "heim", "domicile", "maison", "casa", "domicilio",
             "particular", "abitazione", "thuis", "prive", "residencial", "dom"}))
        return KindHome;
    if (any({"work",       "office",    "arbeit", "buro",          "geschaftlich", "dienstlich",
             "firma",      "travail",   "bureau", "professionnel", "trabajo",      "oficina",
             "lavoro",     "ufficio",   "werk",   "kantoor",       "zakelijk",     "trabalho",
             "escritorio", "comercial", "praca"}))
        return KindOffice;
    return std::nullopt;
}

// A subentry of a card as read; a number remembers its Apple group, whose
// label may come after it.
struct CardEntry {
    Subentry sub;
    QByteArray group;
};

// One card as read, turned into names when it ends.
struct Card {
    QString fn;
    QString n;
    QString org;
    bool exact = false;  // written by us: texts and kinds exactly as they stand
    bool broken = false; // a line broke a limit: the card is skipped
    std::vector<CardEntry> subs;
    // Phone fields that hold no number: Notes where the name has room.
    QStringList spare;
    QHash<QByteArray, QString> labels; // Apple group -> label
    std::optional<PhoneMark> phone;
};

class Reader {
public:
    Reader(VCardResult& r, bool fromUtf16) : r_(r), fill_(r.book), fromUtf16_(fromUtf16) {}

    void line(const QByteArray& logical) {
        const std::optional<Property> p = parseProperty(logical);
        if (!p)
            return; // a line without a colon carries nothing
        const bool begin = p->name == "BEGIN" && p->value.trimmed().toUpper() == "VCARD";
        const bool end = p->name == "END";
        if (nested_ > 0) {
            // An AGENT's card inside this one: skipped whole.
            nested_ += begin ? 1 : end ? -1 : 0;
            return;
        }
        if (begin && card_ && std::exchange(agent_, false)) {
            nested_ = 1;
            return;
        }
        agent_ = false;
        if (begin) {
            if (card_)
                finishCard(); // the last card lacked its END; it ends here
            card_.emplace();
            return;
        }
        if (!card_)
            return; // outside a card
        if (end) {
            finishCard();
            return;
        }
        take(*p);
    }
    // A line over the limit: a photo or the like is skipped on its own; any
    // other property breaks its card, which is skipped when it ends.
    void longLine(const QByteArray& name) {
        if (!card_)
            return;
        if (name == "PHOTO" || name == "LOGO" || name == "SOUND" || name == "KEY" ||
            name.startsWith("X-"))
            countSkipped(name);
        else
            card_->broken = true;
    }
    bool finish() {
        if (card_)
            finishCard(); // a file that ends inside a card keeps what it has
        if (r_.contacts == 0) {
            r_.error = r_.tooLong > 0 ? QStringLiteral("No card could be read: ") + r_.report()
                                      : QStringLiteral("This file holds no vCard.");
            return false;
        }
        fill_.finish();
        return true;
    }

private:
    void countSkipped(const QByteArray& name) {
        if (name == "PHOTO")
            ++r_.photos;
        else if (name == "BDAY")
            ++r_.birthdays;
        else
            ++r_.others;
    }

    void take(const Property& p) {
        Card& c = *card_;
        const QByteArray& name = p.name;
        if (name == "VERSION" || name == "UID" || name == "REV" || name == "KIND")
            return; // about the card, not the contact
        if (name == "PRODID") {
            c.exact = p.value == ProdId;
            return;
        }
        const QString text = valueText(p, fromUtf16_);
        if (name == "FN") {
            c.fn = unescape(text);
        } else if (name == "N") {
            // Family; Given; Additional; Prefixes; Suffixes: read as a person says it.
            const QStringList parts = splitUnescaped(text, u';');
            QStringList words;
            for (const int i : {3, 1, 2, 0, 4})
                if (i < parts.size() && !unescape(parts[i]).trimmed().isEmpty())
                    words << unescape(parts[i]).trimmed();
            c.n = words.join(u' ');
        } else if (name == "ORG") {
            QStringList parts;
            for (const QString& part : splitUnescaped(text, u';'))
                if (const QString u = unescape(part).trimmed(); !u.isEmpty())
                    parts << u;
            c.org = c.exact ? unescape(text) : parts.join(QStringLiteral(", "));
        } else if (name == "AGENT") {
            ++r_.agents;
            // In 2.1 the agent's card follows on the next lines, or starts on this one.
            const QByteArray value = p.value.trimmed().toUpper();
            if (value == "BEGIN:VCARD")
                nested_ = 1;
            agent_ = value.isEmpty();
        } else if (name == "X-ABLABEL" && !p.group.isEmpty()) {
            c.labels.insert(p.group, unescape(text).trimmed());
        } else if (name == "TEL") {
            const QString typed = unescape(text);
            if (c.exact) {
                add(typed, telKind(p), p.group);
            } else if (const std::optional<QString> number = importedNumber(typed)) {
                add(*number, telKind(p), p.group);
            } else if (!typed.trimmed().isEmpty()) {
                c.spare << typed.trimmed(); // no number: a Note where there is room
            }
        } else if (name == "EMAIL") {
            add(unescape(text), KindEMail);
        } else if (name == "ADR" && c.exact) {
            // Ours hold the whole text in the street part.
            const QStringList parts = splitUnescaped(text, u';');
            add(parts.size() > 2 ? unescape(parts[2]) : QString(), KindPostalAddress);
        } else if (name == "ADR") {
            QStringList parts;
            for (const QString& part : splitUnescaped(text, u';'))
                if (const QString u = unescape(part); !u.trimmed().isEmpty())
                    parts << u;
            add(parts.join(QStringLiteral(", ")), KindPostalAddress);
        } else if (name == "NOTE") {
            add(unescape(text), KindNote);
        } else if (name == "CATEGORIES") {
            if (c.exact) {
                add(unescape(text), KindCallerGroup);
                return;
            }
            for (const QString& category : splitUnescaped(text, u',')) {
                const QString wanted = unescape(category).trimmed();
                for (int g = 1; g < GroupCount; ++g) {
                    if (wanted.compare(groupNames[size_t(g)], Qt::CaseInsensitive) == 0) {
                        setGroup(groupNames[size_t(g)]);
                        return;
                    }
                }
            }
            ++r_.others; // categories of no caller group
        } else if (name == PhoneProperty && c.exact) {
            c.phone = parsePhoneProperty(text);
        } else if (name == HeldProperty && c.exact && r_.book.phoneHeld.empty()) {
            parseHeldProperty(text, r_.book.phoneHeld);
        } else if (name == UnknownProperty) {
            bool ok = false;
            const QList<QByteArray> kinds = p.values(KindParameter);
            const int kind = kinds.isEmpty() ? KindUnknown : kinds.front().toInt(&ok);
            add(unescape(text), ok && kind >= 0 && kind < 16 ? kind : KindUnknown);
        } else {
            countSkipped(name);
        }
    }

    void add(const QString& text, int kind, const QByteArray& group = {}) {
        if (!card_->exact && text.isEmpty())
            return;
        card_->subs.push_back({{text, kind}, group});
    }
    void setGroup(const QString& group) {
        auto& subs = card_->subs;
        std::erase_if(subs, [](const CardEntry& e) { return e.sub.kind == KindCallerGroup; });
        subs.push_back({{group, KindCallerGroup}, {}});
    }

    void finishCard() {
        Card c = std::move(*card_);
        card_.reset();
        if (c.broken) {
            ++r_.tooLong;
            return;
        }
        ++r_.contacts;
        if (c.exact) {
            Name& n = r_.book.addAtTop(c.fn.isEmpty() ? QString(QLatin1String(NoName)) : c.fn);
            n.organization = c.org;
            for (CardEntry& e : c.subs)
                n.subs.push_back(std::move(e.sub));
            if (c.phone) {
                n.location = c.phone->location;
                n.phoneContent = std::move(c.phone->content);
            }
            return;
        }
        QString name = (!c.fn.isEmpty() ? c.fn : c.n).trimmed();
        const bool company = name.isEmpty();
        if (company)
            name = c.org;
        fill_.startName(name);
        fill_.current()->organization = c.org;
        for (CardEntry& e : c.subs) {
            if (isNumberKind(e.sub.kind) && !e.group.isEmpty())
                if (const auto kind = labelKind(c.labels.value(e.group)))
                    e.sub.kind = *kind;
            fill_.makeRoom(e.sub.kind);
            fill_.add(std::move(e.sub.text), e.sub.kind);
        }
        for (QString& text : c.spare) {
            if (fill_.hasRoom(KindNote))
                fill_.add(std::move(text), KindNote);
            else
                ++r_.notNumbers;
        }
        if (!company && !c.org.isEmpty()) {
            if (fill_.hasRoom(KindNote))
                fill_.add(c.org, KindNote);
            else
                ++r_.others;
        }
        fill_.finishName();
    }

    VCardResult& r_;
    Filling fill_;
    bool fromUtf16_;
    std::optional<Card> card_;
    bool agent_ = false; // the last property was an AGENT whose card follows
    int nested_ = 0;     // depth inside an AGENT's card
};

// The physical lines of a vCard file, read in chunks. A line ends at CR LF, LF
// or CR. A UTF-16 file (either byte order, with or without its mark) is made
// UTF-8 on the way; a UTF-8 mark is dropped. A line longer than MaxVCardLine
// keeps its first MaxVCardLine bytes and is marked overlong.
class PhysicalLines {
public:
    explicit PhysicalLines(QIODevice& device) : device_(device) {
        if (!fill())
            return;
        const auto starts = [&](QByteArrayView mark) { return buffer_.startsWith(mark); };
        std::optional<QStringConverter::Encoding> utf16;
        if (starts("\xff\xfe"))
            utf16 = QStringConverter::Utf16LE;
        else if (starts("\xfe\xff"))
            utf16 = QStringConverter::Utf16BE;
        else if (buffer_.size() >= 2 && buffer_[0] != 0 && buffer_[1] == 0)
            utf16 = QStringConverter::Utf16LE; // "B\0E\0..."; UTF-8 text holds no zero
        else if (buffer_.size() >= 2 && buffer_[0] == 0 && buffer_[1] != 0)
            utf16 = QStringConverter::Utf16BE;
        if (starts("\xef\xbb\xbf"))
            pos_ = 3;
        if (utf16) {
            if (starts("\xff\xfe") || starts("\xfe\xff"))
                buffer_.remove(0, 2);
            decoder_ = QStringDecoder(*utf16, QStringConverter::Flag::ConvertInitialBom);
            buffer_ = QString(decoder_.decode(buffer_)).toUtf8();
        }
    }

    bool fromUtf16() const { return decoder_.isValid(); }
    bool failed() const { return failed_; }

    // The next line without its end; false when the file has no more.
    bool next(QByteArray& line, bool& overlong) {
        line.clear();
        overlong = false;
        bool started = false;
        for (;;) {
            if (pos_ == buffer_.size() && !fill())
                return started;
            if (std::exchange(pendingLf_, false) && buffer_[pos_] == '\n') {
                ++pos_;
                continue;
            }
            started = true;
            const char* begin = buffer_.constData() + pos_;
            const char* end = buffer_.constData() + buffer_.size();
            const char* stop =
                std::find_if(begin, end, [](char c) { return c == '\r' || c == '\n'; });
            if (!overlong && line.size() + (stop - begin) > MaxVCardLine) {
                line.append(begin, MaxVCardLine - line.size());
                overlong = true;
            } else if (!overlong) {
                line.append(begin, stop - begin);
            }
            pos_ = stop - buffer_.constData();
            if (stop != end) {
                pendingLf_ = *stop == '\r';
                ++pos_;
                return true;
            }
        }
    }

private:
    bool fill() {
        if (ended_)
            return false;
        buffer_.resize(ChunkSize);
        const qint64 got = device_.read(buffer_.data(), ChunkSize);
        if (got <= 0) {
            failed_ = got < 0;
            ended_ = true;
            buffer_.clear();
            pos_ = 0;
            return false;
        }
        buffer_.resize(got);
        if (decoder_.isValid())
            buffer_ = QString(decoder_.decode(buffer_)).toUtf8();
        pos_ = 0;
        return !buffer_.isEmpty() || fill(); // an odd byte of UTF-16 waits for its pair
    }

    static constexpr qint64 ChunkSize = 64 * 1024;
    QIODevice& device_;
    QStringDecoder decoder_;
    QByteArray buffer_;
    qsizetype pos_ = 0;
    bool ended_ = false;
    bool failed_ = false;
    bool pendingLf_ = false;
};

// True when a line's property is quoted-printable: its soft line breaks ("="
// at the end) join it with the next line.
bool isQuotedPrintable(const QByteArray& line) {
    const qsizetype colon = line.indexOf(':');
    return colon > 0 && line.left(colon).toUpper().contains("QUOTED-PRINTABLE");
}

QByteArray propertyName(const QByteArray& line) {
    QByteArray name = line.left(line.indexOf(':')).split(';').front().trimmed().toUpper();
    return name.mid(name.lastIndexOf('.') + 1);
}

// ---- writing ---------------------------------------------------------------

QByteArray escapeText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\\' || c == u',' || c == u';')
            out += u'\\';
        if (c == u'\n') {
            out += QStringLiteral("\\n");
            continue;
        }
        if (c == u'\r')
            continue; // a CR LF pair is one line break
        out += c;
    }
    return out.toUtf8();
}

// A content line folded at 75 octets, never inside a UTF-8 sequence.
void appendFolded(QByteArray& out, const QByteArray& line) {
    qsizetype pos = 0;
    qsizetype room = FoldAt;
    while (line.size() - pos > room) {
        qsizetype cut = pos + room;
        while (cut > pos + 1 && (uchar(line[cut]) & 0xC0) == 0x80)
            --cut;
        out += QByteArrayView(line).sliced(pos, cut - pos);
        out += "\r\n ";
        pos = cut;
        room = FoldAt - 1;
    }
    out += QByteArrayView(line).sliced(pos);
    out += "\r\n";
}

// N of a name as shown: "Given Family" and "Family, Given" give Family;Given,
// a single word is the given name. A company's card has no person's name.
QByteArray structuredName(const Name& name) {
    QString family;
    QString given;
    const QString text = name.text.trimmed();
    if (!name.organization.isEmpty() && name.organization == name.text) {
        // a company: N stays empty
    } else if (const qsizetype comma = text.indexOf(u','); comma >= 0) {
        family = text.left(comma).trimmed();
        given = text.mid(comma + 1).trimmed();
    } else if (const qsizetype blank = text.lastIndexOf(u' '); blank >= 0) {
        family = text.mid(blank + 1);
        given = text.left(blank).trimmed();
    } else {
        given = text;
    }
    return "N:" + escapeText(family) + ';' + escapeText(given) + ";;;";
}

QByteArray telType(int kind) {
    switch (kind) {
    case KindMobile:
        return "CELL";
    case KindHome:
        return "HOME";
    case KindOffice:
        return "WORK";
    case KindFax:
        return "FAX";
    default:
        return "VOICE";
    }
}

} // namespace

QString VCardResult::report() const {
    QStringList skipped;
    const auto item = [&](int n, const char* one, const char* many) {
        if (n > 0)
            skipped << (n == 1 ? QStringLiteral("1 %1").arg(QLatin1String(one))
                               : QStringLiteral("%1 %2").arg(n).arg(QLatin1String(many)));
    };
    item(tooLong, "card with a line over 1 MiB", "cards with a line over 1 MiB");
    item(agents, "nested card", "nested cards");
    item(notNumbers, "phone field without a number", "phone fields without a number");
    item(photos, "photo", "photos");
    item(birthdays, "birthday", "birthdays");
    item(others, "other property", "other properties");
    QString out =
        contacts == 1 ? QStringLiteral("1 contact") : QStringLiteral("%1 contacts").arg(contacts);
    if (skipped.isEmpty())
        return out;
    const QString last = skipped.takeLast();
    out +=
        QStringLiteral(", ") +
        (skipped.isEmpty() ? last
                           : skipped.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last) +
        QStringLiteral(" skipped");
    return out;
}

VCardResult readVCard(QIODevice& device) {
    VCardResult r;
    PhysicalLines lines(device);
    Reader reader(r, lines.fromUtf16());
    QByteArray logical;
    QByteArray physical;
    bool overlong = false; // the unfolded line grew past the limit
    bool physicalOverlong = false;
    const auto flush = [&] {
        const QByteArray line = std::exchange(logical, {});
        if (std::exchange(overlong, false))
            reader.longLine(propertyName(line));
        else if (!line.isEmpty())
            reader.line(line);
    };
    // Keeps the name for the decision at the end; the rest is dropped.
    const auto keepName = [&] {
        logical = logical.left(logical.indexOf(':') + 1);
        overlong = true;
    };
    while (lines.next(physical, physicalOverlong)) {
        const bool folded = !physical.isEmpty() && (physical[0] == ' ' || physical[0] == '\t');
        const bool softBreak =
            !logical.isEmpty() && logical.endsWith('=') && isQuotedPrintable(logical);
        if ((folded || softBreak) && (!logical.isEmpty() || overlong)) {
            if (softBreak)
                logical.chop(1);
            const QByteArrayView more = folded && !softBreak ? QByteArrayView(physical).sliced(1)
                                                             : QByteArrayView(physical);
            if (overlong || physicalOverlong || logical.size() + more.size() > MaxVCardLine) {
                if (!overlong)
                    keepName();
            } else {
                logical += more;
            }
            continue;
        }
        flush();
        logical = physical;
        if (physicalOverlong)
            keepName();
    }
    flush();
    if (lines.failed()) {
        r.error = device.errorString();
        return r;
    }
    r.ok = reader.finish();
    if (r.ok)
        r.status = r.report();
    return r;
}

VCardResult importVCard(const QString& path) {
    VCardResult r;
    QFile file;
    if (!openForReading(file, path, r))
        return r;
    VCardResult read = readVCard(file);
    read.path = r.path;
    return read;
}

QByteArray vCardText(const Book& book) {
    QByteArray out;
    for (const auto& name : book) {
        out += "BEGIN:VCARD\r\nVERSION:3.0\r\nPRODID:";
        out += ProdId;
        out += "\r\n";
        appendFolded(out, "FN:" + escapeText(name->text));
        appendFolded(out, structuredName(*name));
        if (!name->organization.isEmpty())
            appendFolded(out, "ORG:" + escapeText(name->organization));
        for (const Subentry& s : name->subs) {
            const QByteArray text = escapeText(s.text);
            if (isNumberKind(s.kind))
                appendFolded(out, "TEL;TYPE=" + telType(s.kind) + ':' + text);
            else if (s.kind == KindEMail)
                appendFolded(out, "EMAIL;TYPE=INTERNET:" + text);
            else if (s.kind == KindPostalAddress)
                appendFolded(out, "ADR:;;" + text + ";;;;");
            else if (s.kind == KindNote)
                appendFolded(out, "NOTE:" + text);
            else if (s.kind == KindCallerGroup)
                appendFolded(out, "CATEGORIES:" + text);
            else
                appendFolded(out, QByteArray(UnknownProperty) + ';' + KindParameter + '=' +
                                      QByteArray::number(s.kind) + ':' + text);
        }
        if (name->location)
            appendFolded(out, QByteArray(PhoneProperty) + ':' +
                                  phonePropertyValue(*name->location, name->phoneContent));
        if (name == *book.begin() && !book.phoneHeld.empty())
            appendFolded(out, QByteArray(HeldProperty) + ':' + heldPropertyValue(book.phoneHeld));
        out += "END:VCARD\r\n";
    }
    return out;
}

FileResult saveVCard(const Book& book, const QString& path) {
    return writeWholeFile(path, vCardText(book));
}

} // namespace quorix::files
