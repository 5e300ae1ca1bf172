#include "PhoneProperty.h"

namespace quorix::files {

namespace {

QString escaped(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\n') {
            out += QStringLiteral("\\n");
            continue;
        }
        if (c == u'\\' || c == u',' || c == u';')
            out += u'\\';
        out += c;
    }
    return out;
}

// Splits at unescaped semicolons and resolves the escapes of each part.
QStringList components(const QString& value) {
    QStringList out(1);
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            const QChar next = value[++i];
            out.back() += (next == u'n' || next == u'N') ? QChar(u'\n') : next;
        } else if (c == u';') {
            out << QString();
        } else if (c != u'\r') {
            out.back() += c;
        }
    }
    return out;
}

} // namespace

QByteArray phonePropertyValue(int location, const std::optional<PhoneContent>& content) {
    QString value = QString::number(location);
    if (content) {
        value += u';' + escaped(content->name);
        for (const Subentry& s : content->subs)
            value += u';' + QString::number(s.kind) + u'=' + escaped(s.text);
    }
    return value.toUtf8();
}

std::optional<PhoneMark> parsePhoneProperty(const QString& value) {
    const QStringList parts = components(value);
    bool ok = false;
    PhoneMark mark;
    mark.location = parts.front().trimmed().toInt(&ok);
    if (!ok || mark.location < 1 || mark.location > 0xFFFF)
        return std::nullopt;
    if (parts.size() == 1)
        return mark;
    PhoneContent& content = mark.content.emplace();
    content.name = parts[1];
    for (qsizetype i = 2; i < parts.size(); ++i) {
        const qsizetype eq = parts[i].indexOf(u'=');
        const int kind = parts[i].left(eq).toInt(&ok);
        if (eq < 0 || !ok || kind < 0 || kind >= 16)
            return std::nullopt;
        content.subs.push_back({parts[i].mid(eq + 1), kind});
    }
    return mark;
}

QByteArray heldPropertyValue(const std::set<int>& held) {
    QByteArrayList ranges;
    for (auto it = held.begin(); it != held.end();) {
        const int first = *it;
        int last = first;
        while (++it != held.end() && *it == last + 1)
            ++last;
        ranges << (first == last ? QByteArray::number(first)
                                 : QByteArray::number(first) + '-' + QByteArray::number(last));
    }
    return ranges.join(',');
}

void parseHeldProperty(const QString& value, std::set<int>& held) {
    int after = 0; // the last location of the range before
    for (const QStringView item : QStringView(value).split(u',')) {
        const qsizetype dash = item.indexOf(u'-');
        bool okFirst = false, okLast = false;
        const int first = item.first(dash < 0 ? item.size() : dash).trimmed().toInt(&okFirst);
        const int last = dash < 0 ? first : item.sliced(dash + 1).trimmed().toInt(&okLast);
        if (!okFirst || (dash >= 0 && !okLast) || first <= after || last < first || last > 0xFFFF)
            return;
        for (int l = first; l <= last; ++l)
            held.insert(held.end(), l);
        after = last;
    }
}

} // namespace quorix::files
