#include "phonesim/Generator.h"

#include "files/Codepage.h"

#include <QSet>

#include <algorithm>
#include <cctype>
#include <random>

namespace quorix::phonesim {

namespace {

// Texts are Latin-1 bytes here, made characters by text() below.
const char* const FirstNames[] = {
    "Anna",
    "Lukas",
    "Sophie",
    "Jonas",
    "Marie",
    "Felix",
    "Lea",
    "Paul",
    "J\xfcrgen",
    "Ren\xe9",
    "Zo\xeb",
    "Bj\xf6rn",
    "Fran\xe7ois",
    "In\xe9s",
    "Jos\xe9",
    "Mika",
    "Aino",
    "Olli",
    "Emma",
    "Oliver",
    "Charlotte",
    "James",
    "Grace",
    "Luca",
    "Giulia",
    "Pablo",
    "Luc\xed"
    "a",
    "Sven",
    "Ingrid",
    "Piotr",
    "Katarzyna",
    "Tom",
    "Sarah",
    "David",
    "Hannah",
    "Daniel",
    "Laura",
    "Ahmet",
    "Elif",
};
const char* const LastNames[] = {
    "Schmidt",
    "M\xfcller",
    "Schneider",
    "Fischer",
    "Weber",
    "Becker",
    "Hoffmann",
    "Koch",
    "Gro\xdf",
    "Wei\xdf",
    "Virtanen",
    "Korhonen",
    "Nieminen",
    "Smith",
    "Jones",
    "Taylor",
    "Brown",
    "Dubois",
    "Lef\xe8vre",
    "Rossi",
    "Bianchi",
    "Garc\xed"
    "a",
    "Mart\xednez",
    "Andersson",
    "Johansson",
    "Nowak",
    "Kowalski",
    "de Vries",
    "Jansen",
    "Yilmaz",
    "Novak",
    "O'Brien",
    "Keller",
    "Huber",
};
const char* const Businesses[] = {
    "Pizzeria Napoli",
    "Taxi Zentrale",
    "Dr. med. Braun",
    "B\xe4"
    "ckerei Kraus",
    "Autohaus Meier",
    "Hotel Adler",
    "Stadtwerke Service",
    "Zahnarzt Dr. Lang",
    "Caf\xe9 Central",
    "Schl\xfcsseldienst 24h",
    "Tierarzt Wolf",
    "Reiseb\xfcro Sonne",
    "Kita Regenbogen",
    "Elektro Schulz",
    "Fahrschule Kurz",
    "Blumen Rosa",
    "Steuerb\xfcro Hahn",
    "Physio am Markt",
    "Pannenhilfe",
    "Apotheke am Dom",
};
const char* const Notes[] = {
    "Birthday 14 March", "Door code 4711",    "Call after 6 pm",      "Met at the trade fair",
    "Has our spare key", "Closed on Mondays", "Ask for extension 12", "Geburtstag 2. Mai",
    "Bring the invoice", "Dog sitter",        "Only in emergencies",  "Customer no. 88231",
};
const char* const Streets[] = {
    "Hauptstra\xdf"
    "e",
    "Bahnhofstr.",
    "Gartenweg",
    "Lindenallee",
    "Am Markt",
    "Schillerstr.",
    "High Street",
    "Rue de la Paix",
    "Via Roma",
    "Mannerheimintie",
};
const char* const Towns[] = {
    "10115 Berlin",    "20095 Hamburg",   "80331 M\xfcnchen", "50667 K\xf6ln", "60311 Frankfurt",
    "70173 Stuttgart", "London SW1A 1AA", "75002 Paris",      "00184 Roma",    "00100 Helsinki",
};
const char* const Domains[] = {"example.com", "example.org", "example.net", "mail.example"};

struct Country {
    const char* code;
    const char* const* fixed; // area codes of fixed lines
    int fixedCount;
    const char* const* mobile; // mobile prefixes after the country code
    int mobileCount;
    int digits; // subscriber digits
};
const char* const DeFixed[] = {"30", "40", "89", "221", "69", "711", "351", "511"};
const char* const DeMobile[] = {"151", "160", "170", "171", "172", "176", "179"};
const char* const UkFixed[] = {"20", "161", "131", "117"};
const char* const UkMobile[] = {"7700", "7911", "7400"};
const char* const FrFixed[] = {"1", "4", "5"};
const char* const FrMobile[] = {"6", "7"};
const char* const FiFixed[] = {"9", "2", "3"};
const char* const FiMobile[] = {"40", "50", "45"};
const char* const UsFixed[] = {"212", "415", "617", "312"};
const char* const ItFixed[] = {"06", "02"};
const char* const ItMobile[] = {"333", "347"};
const Country Countries[] = {
    {"+49", DeFixed, 8, DeMobile, 7, 7}, {"+49", DeFixed, 8, DeMobile, 7, 7},
    {"+49", DeFixed, 8, DeMobile, 7, 8}, {"+44", UkFixed, 4, UkMobile, 3, 6},
    {"+33", FrFixed, 3, FrMobile, 2, 8}, {"+358", FiFixed, 3, FiMobile, 3, 7},
    {"+1", UsFixed, 4, UsFixed, 4, 7},   {"+39", ItFixed, 2, ItMobile, 2, 7},
};

class Maker {
public:
    explicit Maker(quint32 seed) : rng_(seed) {}

    // Deterministic on every platform, unlike the standard distributions.
    int below(int n) { return n <= 1 ? 0 : int(rng_() % quint32(n)); }
    bool chance(int percent) { return below(100) < percent; }
    static QString text(const QByteArray& bytes) { return files::decodeCp1252(bytes); }
    template <typename T, int N> const T& pick(const T (&list)[N]) { return list[below(N)]; }

    QByteArray digits(int n) {
        QByteArray out;
        out.append(char('1' + below(9)));
        for (int i = 1; i < n; ++i)
            out.append(char('0' + below(10)));
        return out;
    }

    QByteArray number(bool mobile, bool local) {
        const Country& c = pick(Countries);
        const char* prefix = mobile ? c.mobile[below(c.mobileCount)] : c.fixed[below(c.fixedCount)];
        if (local && QByteArray(c.code) == "+49") // as typed at home: 0 and the area code
            return QByteArray("0") + prefix + digits(c.digits);
        return QByteArray(c.code) + prefix + digits(c.digits);
    }

    static QByteArray ascii(const QByteArray& text) {
        static const QList<QPair<char, const char*>> map = {
            {'\xe4', "ae"}, {'\xf6', "oe"}, {'\xfc', "ue"}, {'\xdf', "ss"},
            {'\xe9', "e"},  {'\xe8', "e"},  {'\xeb', "e"},  {'\xe7', "c"},
            {'\xed', "i"},  {' ', ""},      {'\'', ""},     {'.', ""}};
        QByteArray out;
        for (char c : text) {
            auto it =
                std::find_if(map.begin(), map.end(), [c](const auto& p) { return p.first == c; });
            if (it != map.end())
                out += it->second;
            else if (quint8(c) < 0x80)
                out += char(std::tolower(quint8(c)));
        }
        return out;
    }

    QByteArray address() {
        return QByteArray(pick(Streets)) + ' ' + QByteArray::number(1 + below(120)) + ", " +
               pick(Towns);
    }

    void person(Name& n) {
        const QByteArray first = pick(FirstNames), last = pick(LastNames);
        n.text = text(chance(15) ? last + ", " + first : first + ' ' + last);
        // Most people have one or two numbers, few have five.
        static const int weights[] = {45, 30, 15, 6, 4};
        int numbers = 1;
        for (int i = 0, r = below(100); i < 5; r -= weights[i++]) {
            if (r < weights[i]) {
                numbers = i + 1;
                break;
            }
        }
        static const int kinds[] = {KindMobile, KindHome, KindOffice, KindGeneral, KindFax};
        for (int i = 0; i < numbers; ++i) {
            const int kind = i == 0 && chance(70) ? KindMobile : kinds[below(5)];
            Book::addSubentry(n, text(number(kind == KindMobile, chance(20))), kind);
        }
        int texts = 0;
        if (chance(45) && texts < MaxTexts) {
            const QByteArray user = chance(50) ? ascii(first) + '.' + ascii(last) : ascii(first);
            Book::addSubentry(n, text(user + '@' + pick(Domains)), KindEMail);
            ++texts;
        }
        if (chance(20) && texts < MaxTexts) {
            Book::addSubentry(n, text(address()), KindPostalAddress);
            ++texts;
        }
        if (chance(20) && texts < MaxTexts)
            Book::addSubentry(n, text(pick(Notes)), KindNote);
        if (chance(40))
            Book::addSubentry(n, groupNames[size_t(1 + below(5))], KindCallerGroup);
    }

    void business(Name& n) {
        const QByteArray name = pick(Businesses);
        n.text = text(name);
        Book::addSubentry(n, text(number(false, chance(40))),
                          chance(50) ? KindOffice : KindGeneral);
        if (chance(30))
            Book::addSubentry(n, text(number(false, false)), KindFax);
        if (chance(20))
            Book::addSubentry(n, text(number(true, false)), KindMobile);
        if (chance(40))
            Book::addSubentry(
                n, text("info@" + ascii(name.split(' ').last()) + '.' + pick(Domains)), KindEMail);
        if (chance(50))
            Book::addSubentry(n, text(address()), KindPostalAddress);
        else if (chance(30))
            Book::addSubentry(n, text(pick(Notes)), KindNote);
        if (chance(10))
            Book::addSubentry(n, QStringLiteral("Other"), KindCallerGroup);
    }

private:
    std::mt19937 rng_;
};

} // namespace

Book generateBook(int count, quint32 seed) {
    Maker make(seed);
    Book book;
    QSet<QString> taken;
    for (int i = 0; i < count; ++i) {
        Name& n = book.insertName(book.entryCount(), QString());
        if (make.chance(20))
            make.business(n);
        else
            make.person(n);
        // Phones hold the same name twice, but a made-up book reads better without.
        const QString base = n.text;
        for (int k = 2; taken.contains(n.text); ++k)
            n.text = base + u' ' + QString::number(k);
        taken.insert(n.text);
    }
    return book;
}

} // namespace quorix::phonesim
