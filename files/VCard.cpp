#include "VCard.h"

#include "PhoneProperty.h"

#include "Codepage.h"
#include "Filling.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

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
    QByteArray name; // upper case, group prefix removed
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
    if (const qsizetype dot = p.name.lastIndexOf('.'); dot >= 0)
        p.name = p.name.mid(dot + 1);
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
QString valueText(const Property& p) {
    QByteArray bytes = p.value;
    if (p.has("ENCODING", "QUOTED-PRINTABLE") || p.has("TYPE", "QUOTED-PRINTABLE"))
        bytes = decodeQuotedPrintable(bytes);
    const QList<QByteArray> charsets = p.values("CHARSET");
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

// One card as read, turned into names when it ends.
struct Card {
    QString fn;
    QString n;
    bool exact = false; // written by us: texts and kinds exactly as they stand
    std::vector<Subentry> subs;
    std::optional<PhoneMark> phone;
};

class Reader {
public:
    explicit Reader(VCardResult& r) : r_(r), fill_(r.book) {}

    bool line(const QByteArray& logical, int lineNo) {
        const std::optional<Property> p = parseProperty(logical);
        if (!p)
            return true; // a line without a colon carries nothing
        if (p->name == "BEGIN" && p->value.trimmed().toUpper() == "VCARD") {
            if (card_)
                return fail(lineNo, QStringLiteral("a card begins before the last one ended"));
            card_.emplace();
            return true;
        }
        if (!card_)
            return true; // outside a card
        if (p->name == "END") {
            finishCard();
            return true;
        }
        take(*p);
        return true;
    }
    void skippedLongLine(const QByteArray& name) {
        if (card_)
            countSkipped(name);
    }
    bool finish() {
        if (card_)
            finishCard(); // a file that ends inside a card keeps what it has
        if (r_.contacts == 0) {
            r_.error = QStringLiteral("This file holds no vCard.");
            return false;
        }
        fill_.finish();
        return true;
    }
    bool fail(int lineNo, const QString& why) {
        r_.error = QStringLiteral("Line %1: %2").arg(lineNo).arg(why);
        return false;
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
        const QString text = valueText(p);
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
        } else if (name == "TEL") {
            QString number = unescape(text);
            if (number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
                number = number.mid(4);
            add(c.exact ? number : cleanNumber(number), telKind(p), number.trimmed().isEmpty());
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
        } else if (name == UnknownProperty) {
            bool ok = false;
            const QList<QByteArray> kinds = p.values(KindParameter);
            const int kind = kinds.isEmpty() ? KindUnknown : kinds.front().toInt(&ok);
            add(unescape(text), ok && kind >= 0 && kind < 16 ? kind : KindUnknown);
        } else {
            countSkipped(name);
        }
    }

    void add(const QString& text, int kind, bool empty = false) {
        if (!card_->exact && (empty || text.isEmpty()))
            return;
        card_->subs.push_back({text, kind});
    }
    void setGroup(const QString& group) {
        auto& subs = card_->subs;
        std::erase_if(subs, [](const Subentry& s) { return s.kind == KindCallerGroup; });
        subs.push_back({group, KindCallerGroup});
    }

    void finishCard() {
        Card c = std::move(*card_);
        card_.reset();
        ++r_.contacts;
        const QString name = !c.fn.isEmpty() || c.exact ? c.fn : c.n;
        if (c.exact) {
            Name& n = r_.book.addAtTop(name.isEmpty() ? QString(QLatin1String(NoName)) : name);
            n.subs = std::move(c.subs);
            if (c.phone) {
                n.location = c.phone->location;
                n.phoneContent = std::move(c.phone->content);
            }
            return;
        }
        fill_.startName(name.trimmed());
        for (Subentry& s : c.subs) {
            fill_.makeRoom(s.kind);
            fill_.add(std::move(s.text), s.kind);
        }
        fill_.finishName();
    }

    VCardResult& r_;
    Filling fill_;
    std::optional<Card> card_;
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
    item(photos, "photo", "photos");
    item(birthdays, "birthday", "birthdays");
    item(others, "other property", "other properties");
    QString out = contacts == 1 ? QStringLiteral("1 contact")
                                : QStringLiteral("%1 contacts").arg(contacts);
    if (skipped.isEmpty())
        return out;
    const QString last = skipped.takeLast();
    out += QStringLiteral(", ") +
           (skipped.isEmpty() ? last : skipped.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last) +
           QStringLiteral(" skipped");
    return out;
}

VCardResult readVCard(QIODevice& device) {
    VCardResult r;
    Reader reader(r);
    QByteArray logical;
    bool overlong = false; // the unfolded line grew past the limit
    int lineNo = 0;
    int logicalStart = 0;
    const auto flush = [&]() -> bool {
        const QByteArray line = std::exchange(logical, {});
        if (overlong) {
            overlong = false;
            const QByteArray name = propertyName(line);
            if (name == "PHOTO" || name == "LOGO" || name == "SOUND" || name == "KEY" ||
                name.startsWith("X-")) {
                reader.skippedLongLine(name);
                return true;
            }
            return reader.fail(logicalStart, QStringLiteral("the line is longer than 1 MiB"));
        }
        return line.isEmpty() || reader.line(line, logicalStart);
    };
    // One buffer for the file: QIODevice::readLine(maxSize) would allocate the
    // whole limit for every line and keep it as the line's capacity.
    QByteArray buffer(MaxVCardLine + 3, Qt::Uninitialized);
    for (;;) {
        const qint64 got = device.readLine(buffer.data(), buffer.size());
        if (got <= 0)
            break;
        QByteArray physical(buffer.constData(), qsizetype(got));
        ++lineNo;
        if (!physical.endsWith('\n') && !device.atEnd()) {
            reader.fail(lineNo, QStringLiteral("the line is longer than 1 MiB"));
            return r;
        }
        while (physical.endsWith('\n') || physical.endsWith('\r'))
            physical.chop(1);
        const bool folded = !physical.isEmpty() && (physical[0] == ' ' || physical[0] == '\t');
        const bool softBreak = !logical.isEmpty() && logical.endsWith('=') &&
                               isQuotedPrintable(logical);
        if ((folded || softBreak) && (!logical.isEmpty() || overlong)) {
            if (softBreak)
                logical.chop(1);
            const QByteArrayView more = folded && !softBreak ? QByteArrayView(physical).sliced(1)
                                                             : QByteArrayView(physical);
            if (overlong || logical.size() + more.size() > MaxVCardLine) {
                // Keep the name for the decision at the end; drop the rest.
                if (!overlong)
                    logical = logical.left(logical.indexOf(':') + 1);
                overlong = true;
            } else {
                logical += more;
            }
            continue;
        }
        if (!flush())
            return r;
        logical = physical;
        logicalStart = lineNo;
    }
    if (!flush())
        return r;
    if (const auto* file = qobject_cast<QFileDevice*>(&device);
        file && file->error() != QFileDevice::NoError) {
        r.error = file->errorString();
        return r;
    }
    r.ok = reader.finish();
    if (r.ok)
        r.status = r.report();
    return r;
}

VCardResult importVCard(const QString& path) {
    VCardResult r;
    QFile file(path);
    r.path = fullPath(path);
    if (!file.open(QIODevice::ReadOnly)) {
        r.error = file.errorString();
        return r;
    }
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
        const QByteArray fn = escapeText(name->text);
        appendFolded(out, "FN:" + fn);
        appendFolded(out, "N:" + fn + ";;;;");
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
        out += "END:VCARD\r\n";
    }
    return out;
}

FileResult saveVCard(const Book& book, const QString& path) {
    return writeWholeFile(path, vCardText(book));
}

} // namespace quorix::files
