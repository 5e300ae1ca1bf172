#include "PhoneLimits.h"

#include <QStringList>

namespace quorix {

int phoneTextLimit(int kind) {
    if (kind == KindNameCollapsed || kind == KindNameExpanded)
        return PhoneNameChars;
    if (isNumberKind(kind))
        return PhoneNumberChars;
    if (sortClassOf(kind) == ClassText)
        return PhoneTextChars;
    return 0;
}

namespace {

// Characters as the phone counts them: a surrogate pair (an emoji) is one.
qsizetype characters(const QString& text) {
    qsizetype pairs = 0;
    for (qsizetype i = 0; i + 1 < text.size(); ++i)
        if (text[i].isHighSurrogate() && text[i + 1].isLowSurrogate()) {
            ++pairs;
            ++i;
        }
    return text.size() - pairs;
}

} // namespace

std::vector<TextCut> textCuts(const Name& name) {
    std::vector<TextCut> cuts;
    if (characters(name.text) > PhoneNameChars)
        cuts.push_back({QStringLiteral("Name"), PhoneNameChars});
    for (const Subentry& sub : name.subs) {
        const int limit = phoneTextLimit(sub.kind);
        if (limit > 0 && characters(sub.text) > limit)
            cuts.push_back({QString::fromLatin1(kindName(sub.kind)), limit});
    }
    return cuts;
}

QString cutWarning(const Name& name) {
    QStringList parts;
    for (const TextCut& cut : textCuts(name))
        parts.append(
            QStringLiteral("%1 will be cut to %2 characters").arg(cut.what).arg(cut.limit));
    return parts.join(QStringLiteral(", "));
}

} // namespace quorix
