#include "CsvHeaders.h"

#include "model/Kinds.h"

#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace quorix::files {

namespace {

using M = CsvMeaning;

// Slots of the address parts that name no number: home, work, other.
enum AddressSlot { HomeSlot = 101, WorkSlot = 102, OtherSlot = 103 };

// Header cells as the programs write them, lower case, with their meaning.
// Quorix's own columns ("Mobile 2", "E-Mail 2", ...) and Google's numbered
// ones ("Phone 3 - Value") are matched by pattern in csvColumnOf.
const QHash<QString, CsvColumn>& titleTable() {
    static const QHash<QString, CsvColumn> table = [] {
        QHash<QString, CsvColumn> t;
        const auto add = [&](std::initializer_list<const char*> titles, CsvColumn c) {
            for (const char* title : titles)
                t.insert(QString::fromLatin1(title), c);
        };
        add({"name", "display name", "full name"}, {M::Name});
        add({"first name", "given name", "first"}, {M::GivenName});
        add({"middle name", "additional name"}, {M::MiddleName});
        add({"last name", "family name", "surname", "last"}, {M::FamilyName});
        add({"nickname"}, {M::Nickname});
        add({"company", "organization", "organisation", "organization name",
             "organization 1 - name"},
            {M::Company});
        add({"phone", "telephone", "primary phone", "other phone", "main phone", "main",
             "company main phone", "car phone", "callback", "radio phone", "isdn",
             "assistant's phone", "pager", "pager number", "tty/tdd phone", "telex", "other"},
            {M::Number, KindGeneral});
        add({"mobile phone", "mobile number", "cell phone", "iphone", "mobile phone 2"},
            {M::Number, KindMobile});
        add({"home phone", "home phone 2"}, {M::Number, KindHome});
        add({"business phone", "business phone 2", "work phone", "work"}, {M::Number, KindOffice});
        add({"business fax", "home fax", "other fax", "work fax", "fax number"},
            {M::Number, KindFax});
        add({"e-mail address", "e-mail 2 address", "e-mail 3 address", "primary email",
             "secondary email", "email", "email address", "home email", "work email",
             "other email"},
            {M::EMail});
        add({"address", "postal address"}, {M::Address});
        add({"notes", "note"}, {M::Note});
        add({"caller group", "group membership", "labels", "categories", "groups", "group"},
            {M::Group});
        add({"unknown"}, {M::Unknown});
        add({"order"}, {M::Order});
        // Address parts: Outlook ("Business Street"), Thunderbird ("Work
        // Address 2", "Home ZipCode"), Apple ("Home ZIP").
        const std::pair<const char*, int> places[] = {
            {"home", HomeSlot}, {"business", WorkSlot}, {"work", WorkSlot}, {"other", OtherSlot}};
        for (const auto& [place, slot] : places)
            for (const char* part : {"street", "street 2", "street 3", "address", "address 2",
                                     "city", "state", "postal code", "zipcode", "zip", "country",
                                     "country/region", "address po box", "po box"})
                t.insert(QString::fromLatin1(place) + u' ' + QString::fromLatin1(part),
                         {M::AddressPart, 0, slot});
        return t;
    }();
    return table;
}

QString normalised(const QString& title) {
    return title.simplified().toLower();
}

// The programs whose headers are recognised, each by cells only its header has.
struct Signature {
    const char* program;
    std::initializer_list<const char*> all; // every one of these
    std::initializer_list<const char*> any; // and one of these (or none asked)
};
constexpr Signature Signatures[] = {
    {"Google Contacts", {}, {"phone 1 - value", "e-mail 1 - value", "group membership"}},
    {"Outlook", {"e-mail address"}, {"mobile phone", "business phone", "home phone"}},
    {"Thunderbird", {"display name", "primary email"}, {}},
    {"Apple/iCloud", {}, {"iphone", "home zip", "work zip"}},
};

} // namespace

CsvColumn csvColumnOf(const QString& title) {
    const QString t = normalised(title);
    if (const auto it = titleTable().constFind(t); it != titleTable().constEnd())
        return *it;
    // Quorix's own columns: "Mobile 2", "E-Mail 2", "Postal Address 2", "Note 2".
    static const QRegularExpression own(
        QStringLiteral("^(general|mobile|home|office|fax|e-mail|postal address|note)( [2-9])?$"));
    if (const auto m = own.match(t); m.hasMatch()) {
        const QString k = m.captured(1);
        if (k == QLatin1String("e-mail"))
            return {M::EMail};
        if (k == QLatin1String("postal address"))
            return {M::Address};
        if (k == QLatin1String("note"))
            return {M::Note};
        for (int kind = KindGeneral; kind <= KindFax; ++kind)
            if (k == QString::fromLatin1(kindName(kind)).toLower())
                return {M::Number, kind};
    }
    // Google: "Phone 1 - Type" / "Phone 1 - Label" and "Phone 1 - Value",
    // "E-mail 2 - Value", "Address 1 - Formatted", "Address 1 - City", ...
    static const QRegularExpression google(
        QStringLiteral("^(phone|e-mail|address) (\\d{1,2}) - (.+)$"));
    if (const auto m = google.match(t); m.hasMatch()) {
        const QString what = m.captured(1);
        const int slot = m.captured(2).toInt();
        const QString part = m.captured(3);
        const bool type = part == QLatin1String("type") || part == QLatin1String("label");
        if (what == QLatin1String("phone"))
            return type                             ? CsvColumn{M::NumberType, 0, slot}
                   : part == QLatin1String("value") ? CsvColumn{M::Number, 0, slot}
                                                    : CsvColumn{};
        if (what == QLatin1String("e-mail"))
            return part == QLatin1String("value") ? CsvColumn{M::EMail} : CsvColumn{};
        if (type)
            return {};
        return {part == QLatin1String("formatted") ? M::Address : M::AddressPart, 0, slot};
    }
    return {};
}

std::optional<CsvHeader> recogniseCsvHeader(const QStringList& titles) {
    QStringList lower;
    for (const QString& t : titles)
        lower << normalised(t);
    const auto has = [&](const char* t) { return lower.contains(QString::fromLatin1(t)); };
    CsvHeader h;
    h.titles = titles;
    for (const QString& t : titles)
        h.columns << csvColumnOf(t);
    // Ours: Name first, then the kinds, the group and "Unknown".
    if (lower.value(0) == QLatin1String("name") && has("general") && has("mobile") &&
        has("caller group")) {
        h.program = QStringLiteral("Quorix");
        h.ownExport = true;
        return h;
    }
    for (const Signature& s : Signatures) {
        const bool all = std::all_of(s.all.begin(), s.all.end(), has);
        const bool any = s.any.size() == 0 || std::any_of(s.any.begin(), s.any.end(), has);
        if (all && any) {
            h.program = QString::fromLatin1(s.program);
            return h;
        }
    }
    // Any other header whose titles name a contact and something to keep: the
    // first cell a name, no cell left unknown.
    const auto is = [&](M m) {
        return std::any_of(h.columns.begin(), h.columns.end(),
                           [m](const CsvColumn& c) { return c.meaning == m; });
    };
    const M first = h.columns.value(0).meaning;
    const bool named = first == M::Name || first == M::GivenName || first == M::FamilyName;
    const bool allKnown = std::none_of(h.columns.begin(), h.columns.end(),
                                       [](const CsvColumn& c) { return c.meaning == M::Ignore; });
    if (named && allKnown && titles.size() >= 2 &&
        (is(M::Number) || is(M::EMail) || is(M::Address) || is(M::Note))) {
        h.program = QStringLiteral("generic titles");
        return h;
    }
    return std::nullopt;
}

QString csvMeaningName(const CsvColumn& c) {
    switch (c.meaning) {
    case M::Ignore:
        return QStringLiteral("Not imported");
    case M::Name:
        return QStringLiteral("Name");
    case M::GivenName:
        return QStringLiteral("Given name");
    case M::MiddleName:
        return QStringLiteral("Middle name");
    case M::FamilyName:
        return QStringLiteral("Family name");
    case M::Nickname:
        return QStringLiteral("Nickname (name when none)");
    case M::Company:
        return QStringLiteral("Company (name when none)");
    case M::Number:
        return c.kind ? QString::fromLatin1(kindName(c.kind))
                      : QStringLiteral("Phone (kind from its type)");
    case M::NumberType:
        return QStringLiteral("Phone type");
    case M::EMail:
        return QStringLiteral("E-Mail");
    case M::Address:
        return QStringLiteral("Postal Address");
    case M::AddressPart:
        return QStringLiteral("Address part");
    case M::Note:
        return QStringLiteral("Note");
    case M::Group:
        return QStringLiteral("Caller group");
    case M::Unknown:
        return QStringLiteral("Unknown");
    case M::Order:
        return QStringLiteral("Order of the subentries");
    }
    return {};
}

QList<CsvColumn> csvMeaningChoices() {
    QList<CsvColumn> out = {{M::Ignore},     {M::Name},     {M::GivenName}, {M::MiddleName},
                            {M::FamilyName}, {M::Nickname}, {M::Company}};
    for (int kind = KindGeneral; kind <= KindFax; ++kind)
        out << CsvColumn{M::Number, kind};
    out << CsvColumn{M::Number} << CsvColumn{M::NumberType} << CsvColumn{M::EMail}
        << CsvColumn{M::Address} << CsvColumn{M::AddressPart} << CsvColumn{M::Note}
        << CsvColumn{M::Group};
    return out;
}

} // namespace quorix::files
