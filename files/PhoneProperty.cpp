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

QByteArray phonePropertyValue(const PhoneSlot& slot) {
    QString value = QString::number(slot.location) + u';' + escaped(slot.content.name);
    for (const Subentry& s : slot.content.subs)
        value += u';' + QString::number(s.kind) + u'=' + escaped(s.text);
    return value.toUtf8();
}

std::optional<PhoneSlot> parsePhoneProperty(const QString& value) {
    const QStringList parts = components(value);
    bool ok = false;
    PhoneSlot slot;
    slot.location = parts.front().trimmed().toInt(&ok);
    if (!ok || slot.location < 1 || slot.location > 0xFFFF)
        return std::nullopt;
    slot.content.name = parts.value(1);
    for (qsizetype i = 2; i < parts.size(); ++i) {
        const qsizetype eq = parts[i].indexOf(u'=');
        const int kind = parts[i].left(eq).toInt(&ok);
        if (eq < 0 || !ok || kind < 0 || kind >= 16)
            return std::nullopt;
        slot.content.subs.push_back({parts[i].mid(eq + 1), kind});
    }
    return slot;
}

} // namespace quorix::files
