#include "phonesim/PhoneOptions.h"

#include "phonesim/BookFile.h"
#include "phonesim/Generator.h"

#include "link/Frame.h"

#include <QCommandLineParser>

#include <limits>

namespace quorix::phonesim {

namespace {

const char* const Description =
    "A virtual Nokia 7110 on a pseudo-terminal. It prints the device to open on the first\n"
    "line of its output and answers FBUS phonebook requests there until it is stopped\n"
    "(Ctrl+C or SIGTERM), then saves its memory if --save is given. A read of an empty\n"
    "location, of 0 or beyond the memory gets the empty-location answer; a write to 0 or\n"
    "beyond the memory, or one whose blocks it cannot parse, is refused.\n"
    "\n"
    "Faults count requests and frames from 1 over the whole run. Every message the\n"
    "program sends is one request: the status request that opens a link, the memory\n"
    "information request, each read, each write (with all its frames). Repeated frames\n"
    "the phone already handled, and requests it ignores while silent, are not counted.\n"
    "LIST is a number, or numbers and ranges such as 3,7,10-12. --verbose shows the\n"
    "numbers as it goes.\n"
    "\n"
    "--replay plays the phone's side of a line recording (quorix-cli --record, or\n"
    "Extras > Record the line... in the window) instead of a memory. Each message the\n"
    "program sends is looked up in the recording by its type and content, sequence\n"
    "numbers aside, from where the last one was found on (then from the beginning):\n"
    "the frames the phone sent after it there are sent back, as the phone cut them,\n"
    "numbered and acknowledged afresh. A message the recording does not hold is\n"
    "acknowledged and not answered, and said on stderr; the program then meets a\n"
    "silent phone. The line faults (--corrupt-frame, --drop-ack, --silent-after,\n"
    "--garbage...) apply to a replay too.";

struct IntOption {
    const char* name;
    int* target;
    int min;
    int max;
};

struct ListOption {
    const char* name;
    QSet<int>* target;
};

} // namespace

bool parseNumberList(const QString& text, QSet<int>& numbers) {
    QSet<int> result;
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QStringList ends = part.trimmed().split(QLatin1Char('-'));
        bool ok1 = false, ok2 = true;
        const int from = ends.value(0).toInt(&ok1);
        const int to = ends.size() == 2 ? ends[1].toInt(&ok2) : from;
        if (!ok1 || !ok2 || ends.size() > 2 || from < 0 || to < from || to - from > 100000)
            return false;
        for (int n = from; n <= to; ++n)
            result.insert(n);
    }
    numbers = result;
    return true;
}

ParseResult parseOptions(const QStringList& arguments, PhoneOptions& o, QString& message) {
    QCommandLineParser p;
    p.setApplicationDescription(QString::fromLatin1(Description));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    p.addOption(help);
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version."));
    p.addOption(version);

    auto valued = [&](const char* name, const char* value, const QString& text) {
        p.addOption(
            QCommandLineOption(QString::fromLatin1(name), text, QString::fromLatin1(value)));
    };
    auto flag = [&](const char* name, const QString& text) {
        p.addOption(QCommandLineOption(QString::fromLatin1(name), text));
    };
    const PhoneSettings set;
    valued("memory", "N", QStringLiteral("Phonebook locations (default %1).").arg(o.memorySize));
    valued("book", "FILE",
           QStringLiteral("Fill the memory from this .pbf or .vcf, a name per location."));
    flag("sparse", QStringLiteral("Spread the book's names over the memory, empty locations "
                                  "between them."));
    valued("generate", "N", QStringLiteral("Fill N locations with made-up names."));
    valued("seed", "N",
           QStringLiteral("Seed for --generate and --garbage (default %1).").arg(set.seed));
    valued("save", "FILE",
           QStringLiteral(
               "Write the memory to this .pbf or .vcf on exit (.vcf keeps every character)."));
    valued("link", "PATH", QStringLiteral("Make a symbolic link to the device here."));
    valued("baud", "RATE",
           QStringLiteral("Pace the output to this line rate, 10 bits a byte "
                          "(default %1; 0 sends at once).")
               .arg(set.baud));
    valued("latency", "MS",
           QStringLiteral("Think time before each answer (default %1).").arg(set.latencyMs));
    valued("frame-size", "N",
           QStringLiteral("Payload bytes per answer frame, 1 to 251 "
                          "(default %1).")
               .arg(set.frameSize));
    valued("ack-timeout", "MS",
           QStringLiteral("Send a frame again when it is not acknowledged "
                          "within this time (default %1).")
               .arg(set.ackTimeoutMs));
    valued("retries", "N",
           QStringLiteral("Send an unacknowledged frame again at most N times "
                          "(default %1).")
               .arg(set.retries));
    valued("silent-after", "N", QStringLiteral("Answer N requests, then hear and say nothing."));
    valued("silent-for", "MS",
           QStringLiteral("With --silent-after: answer again after MS "
                          "milliseconds of silence (default: never)."));
    valued("refuse-write", "LIST", QStringLiteral("Refuse writes to these locations."));
    valued("corrupt-frame", "LIST", QStringLiteral("Damage one byte of these frames sent."));
    valued("drop-ack", "LIST", QStringLiteral("Do not acknowledge these frames received."));
    valued("duplicate-answer", "LIST",
           QStringLiteral("Send the answers to these requests "
                          "twice."));
    valued("wrong-location", "LIST",
           QStringLiteral("Answer these requests, if reads or writes, "
                          "for the next location (a write is still "
                          "stored where asked)."));
    valued("late-answer", "LIST",
           QStringLiteral("Answer these requests late (see --late-ms), even when the "
                          "link was set up again meanwhile."));
    valued("late-ms", "MS",
           QStringLiteral("How late --late-answer answers (default %1).").arg(set.faults.lateMs));
    flag("garbage", QStringLiteral("Send 1 to 8 noise bytes in front of every frame."));
    valued("noise-every", "MS",
           QStringLiteral("Send a noise byte every MS milliseconds, also while silent."));
    valued("shuffle-fragments", "LIST",
           QStringLiteral("Send the first two frames of the "
                          "answers to these requests swapped."));
    valued("replay", "FILE",
           QStringLiteral("Answer as the phone of this line recording did (see above)."));
    flag("verbose", QStringLiteral("Log every frame both ways to stderr."));

    if (!p.parse(arguments)) {
        message = p.errorText();
        return ParseResult::Error;
    }
    if (p.isSet(help)) {
        message = p.helpText();
        return ParseResult::Help;
    }
    if (p.isSet(version)) {
        message = QStringLiteral("quorix-phonesim %1").arg(QStringLiteral(QUORIX_VERSION));
        return ParseResult::Version;
    }
    if (!p.positionalArguments().isEmpty()) {
        message = QStringLiteral("unexpected argument: %1").arg(p.positionalArguments().first());
        return ParseResult::Error;
    }

    PhoneSettings& s = o.settings;
    Faults& f = s.faults;
    int seed = int(s.seed);
    const IntOption ints[] = {
        {"memory", &o.memorySize, 1, PhoneMemory::MaxSize},
        {"generate", &o.generate, 0, PhoneMemory::MaxSize},
        {"seed", &seed, 0, std::numeric_limits<int>::max()},
        {"baud", &s.baud, 0, 100'000'000},
        {"latency", &s.latencyMs, 0, 600'000},
        {"frame-size", &s.frameSize, 1, link::MaxFrameData - 2},
        {"ack-timeout", &s.ackTimeoutMs, 1, 600'000},
        {"retries", &s.retries, 0, 1000},
        {"silent-after", &f.silentAfter, 0, std::numeric_limits<int>::max()},
        {"silent-for", &f.silentForMs, 0, std::numeric_limits<int>::max()},
        {"noise-every", &f.noiseEveryMs, 1, 600'000},
        {"late-ms", &f.lateMs, 0, 600'000},
    };
    for (const IntOption& opt : ints) {
        const QString name = QString::fromLatin1(opt.name);
        if (!p.isSet(name))
            continue;
        bool ok = false;
        const int value = p.value(name).toInt(&ok);
        if (!ok || value < opt.min || value > opt.max) {
            message = QStringLiteral("--%1 wants a whole number from %2 to %3, not \"%4\"")
                          .arg(name)
                          .arg(opt.min)
                          .arg(opt.max)
                          .arg(p.value(name));
            return ParseResult::Error;
        }
        *opt.target = value;
    }
    s.seed = quint32(seed);
    const ListOption lists[] = {
        {"refuse-write", &f.refuseWrite},
        {"corrupt-frame", &f.corruptFrame},
        {"drop-ack", &f.dropAck},
        {"duplicate-answer", &f.duplicateAnswer},
        {"wrong-location", &f.wrongLocation},
        {"shuffle-fragments", &f.shuffleFragments},
        {"late-answer", &f.lateAnswer},
    };
    for (const ListOption& opt : lists) {
        const QString name = QString::fromLatin1(opt.name);
        if (p.isSet(name) && !parseNumberList(p.value(name), *opt.target)) {
            message = QStringLiteral("--%1 wants numbers such as 3 or 3,7,10-12, not \"%2\"")
                          .arg(name, p.value(name));
            return ParseResult::Error;
        }
    }
    f.garbage = p.isSet(QStringLiteral("garbage"));
    o.sparse = p.isSet(QStringLiteral("sparse"));
    o.verbose = p.isSet(QStringLiteral("verbose"));
    o.bookFile = p.value(QStringLiteral("book"));
    o.saveFile = p.value(QStringLiteral("save"));
    o.linkPath = p.value(QStringLiteral("link"));
    o.replayFile = p.value(QStringLiteral("replay"));

    if (!o.bookFile.isEmpty() && o.generate >= 0) {
        message = QStringLiteral("--book and --generate cannot be used together");
        return ParseResult::Error;
    }
    // A replay answers from the recording: what would choose or change the answers
    // from the memory has nothing to act on.
    if (p.isSet(QStringLiteral("replay"))) {
        for (const char* name : {"book", "generate", "sparse", "refuse-write", "wrong-location",
                                 "duplicate-answer", "shuffle-fragments"}) {
            if (p.isSet(QString::fromLatin1(name))) {
                message = QStringLiteral("--replay answers from the recording; --%1 cannot be "
                                         "used with it")
                              .arg(QLatin1String(name));
                return ParseResult::Error;
            }
        }
    }
    if (p.isSet(QStringLiteral("silent-for")) && f.silentAfter < 0) {
        message = QStringLiteral("--silent-for needs --silent-after");
        return ParseResult::Error;
    }
    return ParseResult::Run;
}

bool buildMemory(const PhoneOptions& o, PhoneMemory& memory, QString& error) {
    memory = PhoneMemory(o.memorySize);
    Book book;
    if (!o.bookFile.isEmpty()) {
        if (!readBookFile(o.bookFile, book, &error))
            return false;
    } else if (o.generate >= 0) {
        book = generateBook(o.generate, o.settings.seed);
    }
    return memory.load(book, o.sparse, &error);
}

} // namespace quorix::phonesim
